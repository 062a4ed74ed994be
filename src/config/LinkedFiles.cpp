#include "config/LinkedFiles.h"

#include "config/SafeFile.h"
#include "config/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

LinkedFiles::LinkedFiles(Mode mode, const QString &folder)
    : m_mode(mode), m_folder(QFileInfo(folder).canonicalFilePath())
{
}

namespace {
// A file whose first line that is not blank is a section line, as the configuration's reader
// takes one: a configuration file (the folder's own, its backup, a server's local copy).
bool holdsConfiguration(const QByteArray &bytes)
{
    qsizetype i = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    if (i >= bytes.size() || bytes[i] != '[')
        return false;
    const qsizetype end = bytes.indexOf('\n', i);
    const qsizetype close = bytes.indexOf(']', i);
    return close > i && (end < 0 || close < end);
}
} // namespace

QByteArray LinkedFiles::read(const QByteArray &name, const QString &where)
{
    if (name.isEmpty())
        return {};
    const QString note = where + QLatin1Char('=') + QFile::decodeName(name);
    if (m_mode == Mode::None || m_folder.isEmpty()) {
        m_skipped.append(note);
        return {};
    }
    const QString given = QFile::decodeName(name);
    const QString absolute = QDir::isAbsolutePath(given) ? given : m_folder + QLatin1Char('/') + given;
    const QString inside = m_folder == QLatin1String("/") ? m_folder : m_folder + QLatin1Char('/');
    const QFileInfo info(absolute);
    const QString resolved = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(absolute);
    if (!resolved.startsWith(inside)) {
        m_skipped.append(note);
        return {};
    }
    QByteArray bytes;
    const SafeFile::ReadStatus status = SafeFile::readRegular(resolved, &bytes);
    if (status == SafeFile::ReadStatus::NotRegular)
        m_skipped.append(note);
    if (status != SafeFile::ReadStatus::Ok)
        return {};
    if (holdsConfiguration(bytes)) {
        // The configuration, its backup or a server's local copy: passwords, never a body.
        m_skipped.append(note);
        return {};
    }
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 8 + 2);
    TextLines::forEachLine(bytes, [&out](QByteArrayView line) {
        out.append(line.data(), line.size());
        out.append("\r\n", 2);
    });
    return out;
}

QString LinkedFiles::message() const
{
    if (m_skipped.isEmpty())
        return {};
    const QString list = QStringLiteral("\n  ") + m_skipped.join(QStringLiteral("\n  "));
    if (m_mode == Mode::None)
        return QStringLiteral("The configuration names files on the server's machine, which were not read:") + list +
               QStringLiteral("\nTheir auto-reply bodies and key lists are empty, and the next save writes them empty.");
    return QStringLiteral("The configuration names files outside its folder or holding a configuration, which were "
                          "not read and count as missing:") +
           list + QStringLiteral("\nTheir auto-reply bodies and key lists are empty, and the next save writes them empty.");
}
