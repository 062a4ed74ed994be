#include "config/JsonWriter.h"

#include <QStringList>

void JsonWriter::prefix(const char *key)
{
    if (!m_counts.isEmpty()) {
        if (m_counts.last()++ > 0)
            m_out.append(',');
        m_out.append('\n');
        m_out.append(QByteArray(2 * m_counts.size(), ' '));
    }
    if (key) {
        m_out.append(quote(QString::fromLatin1(key)));
        m_out.append(": ");
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
        m_out.append(QByteArray(2 * m_counts.size(), ' '));
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
        m_out.append(QByteArray(2 * m_counts.size(), ' '));
    }
    m_out.append(']');
}

void JsonWriter::value(const char *key, const QString &text)
{
    prefix(key);
    m_out.append(quote(text));
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
            m_out.append(", ");
        m_out.append(quote(texts[i]));
    }
    m_out.append(']');
}

QByteArray JsonWriter::quote(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out.append(QLatin1Char('"'));
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'"': out.append(QLatin1String("\\\"")); break;
        case u'\\': out.append(QLatin1String("\\\\")); break;
        case u'\n': out.append(QLatin1String("\\n")); break;
        case u'\r': out.append(QLatin1String("\\r")); break;
        case u'\t': out.append(QLatin1String("\\t")); break;
        case u'\b': out.append(QLatin1String("\\b")); break;
        case u'\f': out.append(QLatin1String("\\f")); break;
        default:
            if (c < 0x20)
                out.append(QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0')));
            else
                out.append(ch);
        }
    }
    out.append(QLatin1Char('"'));
    return out.toUtf8();
}
