#include "config/ConfigBytes.h"

#include "config/SafeFile.h"

#include <cstring>

namespace ConfigBytes {

void skipByteOrderMark(QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
}

bool isConfiguration(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return true;
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    if (std::memchr(data, '\0', size_t(size)))
        return false;
    // A section line as the reader takes one: blanks, "[", and a "]" somewhere after it.
    qsizetype i = 0;
    while (i < size) {
        while (i < size && (data[i] == ' ' || data[i] == '\t'))
            ++i;
        const bool opens = i < size && data[i] == '[';
        while (i < size && data[i] != '\r' && data[i] != '\n') {
            if (opens && data[i] == ']')
                return true;
            ++i;
        }
        while (i < size && (data[i] == '\r' || data[i] == '\n'))
            ++i;
    }
    return false;
}

bool prepare(QByteArray &bytes, const QString &path, QString *error)
{
    skipByteOrderMark(bytes);
    if (isConfiguration(bytes))
        return true;
    if (error)
        *error = notConfigurationText(path);
    return false;
}

QString notConfigurationText(const QString &path)
{
    return SafeFile::displayPath(path) + QStringLiteral(" is not a configuration file");
}

namespace {
const QByteArray ByteOrderMark("\xEF\xBB\xBF");
} // namespace

void Scanner::add(QByteArrayView piece)
{
    if (m_headDone) {
        scan(piece);
        return;
    }
    // The mark may be cut between pieces: the first three bytes are held until they are
    // all there (or one of them is no part of a mark).
    const qsizetype take = qMin<qsizetype>(piece.size(), ByteOrderMark.size() - m_head.size());
    m_head.append(piece.first(take));
    if (m_head.size() == ByteOrderMark.size() || !ByteOrderMark.startsWith(m_head)) {
        m_headDone = true;
        if (m_head != ByteOrderMark)
            scan(m_head);
        m_head.clear();
    }
    scan(piece.sliced(take));
}

void Scanner::scan(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    m_any = true;
    if (m_section) { // only a NUL byte could change the verdict now
        m_nul = m_nul || std::memchr(bytes.data(), '\0', size_t(bytes.size()));
        return;
    }
    for (const char c : bytes) {
        if (c == '\0') {
            m_nul = true;
            return; // nothing after it changes the verdict
        }
        if (c == '\r' || c == '\n') {
            m_line = Line::Start;
            continue;
        }
        switch (m_line) {
        case Line::Start:
            if (c == '[')
                m_line = Line::Opened;
            else if (c != ' ' && c != '\t')
                m_line = Line::Other;
            break;
        case Line::Opened:
            if (c == ']')
                m_section = true;
            break;
        case Line::Other:
            break;
        }
    }
}

bool Scanner::isConfiguration() const
{
    if (m_nul)
        return false;
    // A stream that ended inside its first three bytes: they were no mark unless they were
    // the whole of one.
    if (!m_headDone && !m_head.isEmpty()) {
        Scanner rest = *this;
        rest.m_headDone = true;
        rest.scan(rest.m_head);
        return rest.isConfiguration();
    }
    return !m_any || m_section;
}

} // namespace ConfigBytes
