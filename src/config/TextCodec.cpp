#include "config/TextCodec.h"

TextCodec::TextCodec(const QByteArray &name) : m_name(name)
{
    setUp();
}

TextCodec::TextCodec(const TextCodec &other) : m_name(other.m_name)
{
    setUp();
}

TextCodec &TextCodec::operator=(const TextCodec &other)
{
    if (this != &other) {
        m_name = other.m_name;
        setUp();
    }
    return *this;
}

void TextCodec::setUp()
{
    const auto flags = QStringConverter::Flag::Stateless;
    if (m_name.isEmpty()) {
        m_decoder = QStringDecoder(QStringConverter::System, flags);
        m_encoder = QStringEncoder(QStringConverter::System, flags);
    } else {
        m_decoder = QStringDecoder(m_name.constData(), flags);
        m_encoder = QStringEncoder(m_name.constData(), flags);
    }
    m_valid = m_decoder.isValid() && m_encoder.isValid();
    m_keepsAscii = -1;
}

QString TextCodec::decode(QByteArrayView bytes) const
{
    if (!m_valid)
        return QString::fromLatin1(bytes);
    return m_decoder.decode(bytes);
}

QByteArray TextCodec::encode(const QString &text) const
{
    if (!m_valid)
        return text.toLatin1();
    return m_encoder.encode(text);
}

QByteArray TextCodec::encodeKeeping(const QString &text, const QByteArray &original) const
{
    if (decode(original) == text)
        return original;
    return encode(text);
}

bool TextCodec::keepsAscii() const
{
    if (m_keepsAscii < 0) {
        // Qt's own UTF-8 and Latin-1 keep it; any other is tried on every pair of printable
        // characters, one after the other, so that a shift sequence made of printable
        // characters ("~{" of HZ, "+" of UTF-7) shows as a difference.
        const char *name = m_valid ? m_decoder.name() : "ISO-8859-1";
        if (qstrcmp(name, "UTF-8") == 0 || qstrcmp(name, "ISO-8859-1") == 0) {
            m_keepsAscii = 1;
        } else {
            QByteArray pairs;
            pairs.reserve(2 * 95 * 95);
            for (char a = 0x20; a < 0x7f; ++a) {
                for (char b = 0x20; b < 0x7f; ++b) {
                    pairs.append(a);
                    pairs.append(b);
                }
            }
            m_keepsAscii = decode(pairs) == QLatin1StringView(pairs) ? 1 : 0;
        }
    }
    return m_keepsAscii == 1;
}
