#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

class NameList;
class TextCodec;

// A JSON writer that keeps keys in the order written (the output format fixes the order).
class JsonWriter
{
public:
    void beginObject(const char *key = nullptr);
    void endObject();
    void beginArray(const char *key = nullptr);
    void endArray();
    void value(const char *key, const QString &text);
    void value(const char *key, int number);
    void value(const char *key, qint64 number);
    void null(const char *key);
    void value(const char *key, bool flag);
    void stringArray(const char *key, const QStringList &texts);
    // A text given in the configuration's bytes: written as value(key, codec.decode(bytes)),
    // but bytes that decode to themselves (printable ASCII in a codec that keeps it) go
    // into the output as they are, without a decoded copy.
    void text(const char *key, QByteArrayView bytes, const TextCodec &codec);
    void textArray(const char *key, const QByteArrayList &names, const TextCodec &codec);
    // The same for the names of a membership list, read in place.
    void nameList(const char *key, const NameList &names, const TextCodec &codec);
    // Bytes as a string of upper-case hexadecimal digits, two a byte.
    void hex(const char *key, QByteArrayView bytes);

    const QByteArray &bytes() const { return m_out; }
    qsizetype size() const { return m_out.size(); }
    // Forgets the bytes written so far but keeps their room, for a writer whose output
    // goes out in pieces (the caller has taken bytes() first); the nesting stays as it is.
    void discardWritten() { m_out.resize(0); }
    // Room for about `size` bytes of output, so that a large one is not copied as it grows
    // (room never written costs no memory).
    void reserve(qsizetype size);

    static QByteArray quote(const QString &text);

private:
    void prefix(const char *key);
    void appendText(QByteArrayView bytes, const TextCodec &codec);

    QByteArray m_out;
    QList<int> m_counts; // members written so far at each open level
};
