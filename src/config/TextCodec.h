#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

// Decodes the configuration's bytes for display and encodes edited text back, in the
// configuration's character set: the locale's when no name is given, else a named one
// such as "windows-1252" (through Qt's converters, ICU on Debian).
class TextCodec
{
public:
    explicit TextCodec(const QByteArray &name = {});
    TextCodec(const TextCodec &other);
    TextCodec &operator=(const TextCodec &other);

    bool isValid() const { return m_valid; }
    const QByteArray &name() const { return m_name; }

    QString decode(QByteArrayView bytes) const;
    // Whether printable ASCII (0x20 to 0x7E) decodes to the same characters, as in UTF-8,
    // Latin-1 and the Windows code pages, so that such bytes need no decoding for output.
    bool keepsAscii() const;
    QByteArray encode(const QString &text) const;

    // The bytes to store for `text` shown in place of `original`: the original bytes when
    // the text is what they decode to (the field was not edited), else the encoded text.
    QByteArray encodeKeeping(const QString &text, const QByteArray &original) const;

private:
    void setUp();

    QByteArray m_name;
    bool m_valid = false;
    mutable signed char m_keepsAscii = -1; // -1: not found out yet
    mutable QStringDecoder m_decoder;
    mutable QStringEncoder m_encoder;
};
