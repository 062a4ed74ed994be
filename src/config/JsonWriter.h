#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

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

    const QByteArray &bytes() const { return m_out; }

    static QByteArray quote(const QString &text);

private:
    void prefix(const char *key);

    QByteArray m_out;
    QList<int> m_counts; // members written so far at each open level
};
