#include "config/JsonWriter.h"

#include "config/NameList.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"
#include "platform/LargeBuffer.h"

#include <QStringList>
#include <cstring>

namespace {

// Whether a byte stands in a JSON string as itself: printable ASCII but the quote and the
// backslash.
bool isPlain(char c)
{
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
}

bool allPlain(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (!isPlain(c))
            return false;
    }
    return true;
}

// Writes the escape of an ASCII character at `p`; gives the position after it.
char *escapeAscii(char *p, char16_t c)
{
    static const char hex[] = "0123456789abcdef";
    switch (c) {
    case u'"': *p++ = '\\'; *p++ = '"'; break;
    case u'\\': *p++ = '\\'; *p++ = '\\'; break;
    case u'\n': *p++ = '\\'; *p++ = 'n'; break;
    case u'\r': *p++ = '\\'; *p++ = 'r'; break;
    case u'\t': *p++ = '\\'; *p++ = 't'; break;
    case u'\b': *p++ = '\\'; *p++ = 'b'; break;
    case u'\f': *p++ = '\\'; *p++ = 'f'; break;
    default:
        if (c < 0x20) {
            std::memcpy(p, "\\u00", 4);
            p[4] = hex[c >> 4];
            p[5] = hex[c & 15];
            p += 6;
        } else {
            *p++ = char(c);
        }
    }
    return p;
}

// Appends `text` as a quoted JSON string in UTF-8 straight into `out`: ASCII characters
// (escaped where JSON wants it) byte by byte, each run of other characters through Qt's
// UTF-8 encoder, so the bytes are those of quoting the whole text and encoding it at once.
void appendQuoted(QByteArray &out, QStringView text)
{
    const char16_t *s = text.utf16();
    const qsizetype n = text.size();
    qsizetype old = out.size();
    // An ASCII character takes at most 6 bytes ("\u001f"), a UTF-16 unit at most 3.
    out.resize(old + 6 * n + 2);
    char *p = out.data() + old;
    *p++ = '"';
    for (qsizetype i = 0; i < n;) {
        if (s[i] < 0x80) {
            p = escapeAscii(p, s[i++]);
            continue;
        }
        qsizetype j = i;
        while (j < n && s[j] >= 0x80)
            ++j;
        const QByteArray run = text.mid(i, j - i).toUtf8();
        // The encoder may write more than 3 bytes a unit only for what it cannot encode:
        // room is made before copying.
        const qsizetype at = p - out.data();
        if (at + run.size() + 6 * (n - j) + 1 > out.size())
            out.resize(at + run.size() + 6 * (n - j) + 1);
        p = out.data() + at;
        std::memcpy(p, run.constData(), size_t(run.size()));
        p += run.size();
        i = j;
    }
    *p++ = '"';
    out.resize(p - out.data());
}

} // namespace

void JsonWriter::reserve(qsizetype size)
{
    if (!m_out.isEmpty() || size <= 0)
        return;
    m_out.reserve(size);
    LargeBuffer::adviseHugePages(m_out.data(), m_out.capacity());
}

void JsonWriter::prefix(const char *key)
{
    // One resize for the separator, the indent and a plain key: this runs for every value.
    const qsizetype keySize = key ? qsizetype(std::strlen(key)) : 0;
    const bool plainKey = key && allPlain(QByteArrayView(key, keySize));
    const qsizetype indent = m_counts.isEmpty() ? 0 : 2 * m_counts.size();
    const bool comma = !m_counts.isEmpty() && m_counts.last()++ > 0;
    const qsizetype old = m_out.size();
    m_out.resize(old + (comma ? 1 : 0) + (indent ? indent + 1 : 0) + (plainKey ? keySize + 4 : 0));
    char *p = m_out.data() + old;
    if (comma)
        *p++ = ',';
    if (indent) {
        *p++ = '\n';
        std::memset(p, ' ', size_t(indent));
        p += indent;
    }
    if (plainKey) {
        *p++ = '"';
        std::memcpy(p, key, size_t(keySize));
        p += keySize;
        std::memcpy(p, "\": ", 3);
    } else if (key) {
        appendQuoted(m_out, QString::fromLatin1(key, keySize));
        m_out.append(": ", 2);
    }
}

void JsonWriter::beginObject(const char *key)
{
    prefix(key);
    m_out.append('{');
    m_counts.append(0);
}

void JsonWriter::endObject()
{
    const int n = m_counts.takeLast();
    if (n > 0) {
        m_out.append('\n');
        m_out.append(2 * m_counts.size(), ' ');
    }
    m_out.append('}');
    if (m_counts.isEmpty())
        m_out.append('\n');
}

void JsonWriter::beginArray(const char *key)
{
    prefix(key);
    m_out.append('[');
    m_counts.append(0);
}

void JsonWriter::endArray()
{
    const int n = m_counts.takeLast();
    if (n > 0) {
        m_out.append('\n');
        m_out.append(2 * m_counts.size(), ' ');
    }
    m_out.append(']');
}

void JsonWriter::value(const char *key, const QString &text)
{
    prefix(key);
    appendQuoted(m_out, text);
}

void JsonWriter::value(const char *key, int number)
{
    prefix(key);
    m_out.append(QByteArray::number(number));
}

void JsonWriter::value(const char *key, qint64 number)
{
    prefix(key);
    m_out.append(QByteArray::number(number));
}

void JsonWriter::null(const char *key)
{
    prefix(key);
    m_out.append("null");
}

void JsonWriter::value(const char *key, bool flag)
{
    prefix(key);
    m_out.append(flag ? "true" : "false");
}

void JsonWriter::stringArray(const char *key, const QStringList &texts)
{
    prefix(key);
    m_out.append('[');
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            m_out.append(", ", 2);
        appendQuoted(m_out, texts[i]);
    }
    m_out.append(']');
}

void JsonWriter::appendText(QByteArrayView bytes, const TextCodec &codec)
{
    if (codec.keepsAscii() && allPlain(bytes)) {
        const qsizetype old = m_out.size();
        m_out.resize(old + bytes.size() + 2);
        char *p = m_out.data() + old;
        *p = '"';
        if (!bytes.isEmpty())
            std::memcpy(p + 1, bytes.data(), size_t(bytes.size()));
        p[bytes.size() + 1] = '"';
    } else {
        appendQuoted(m_out, codec.decode(bytes));
    }
}

void JsonWriter::text(const char *key, QByteArrayView bytes, const TextCodec &codec)
{
    prefix(key);
    appendText(bytes, codec);
}

void JsonWriter::textArray(const char *key, const QByteArrayList &names, const TextCodec &codec)
{
    prefix(key);
    m_out.append('[');
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            m_out.append(", ", 2);
        appendText(names[i], codec);
    }
    m_out.append(']');
}

void JsonWriter::nameList(const char *key, const NameList &names, const TextCodec &codec)
{
    prefix(key);
    m_out.append('[');
    bool first = true;
    names.forEachName([&](QByteArrayView name) {
        if (!first)
            m_out.append(", ", 2);
        first = false;
        appendText(name, codec);
    });
    m_out.append(']');
}

void JsonWriter::hex(const char *key, QByteArrayView bytes)
{
    prefix(key);
    const qsizetype old = m_out.size();
    m_out.resize(old + 2 * bytes.size() + 2);
    char *p = m_out.data() + old;
    *p++ = '"';
    p = ValueForms::encodeBinaryTo(p, bytes);
    *p = '"';
}

QByteArray JsonWriter::quote(const QString &text)
{
    QByteArray out;
    appendQuoted(out, text);
    return out;
}
