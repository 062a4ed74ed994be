#pragma once

#include <QByteArray>
#include <QLineEdit>

// A read-only password field. It holds its content as bytes (a password's own bytes or a
// 16-byte digest, zero bytes included) and shows one "*" per byte; the visible text is
// never the content.
class MaskedBytesEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QByteArray bytes READ bytes WRITE setBytes NOTIFY bytesChanged)

public:
    explicit MaskedBytesEdit(QWidget *parent = nullptr);

    const QByteArray &bytes() const { return m_bytes; }
    // Writing the same content again is no change and emits nothing.
    void setBytes(const QByteArray &bytes);

signals:
    void bytesChanged();

private:
    QByteArray m_bytes;
};
