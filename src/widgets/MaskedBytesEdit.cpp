#include "widgets/MaskedBytesEdit.h"

#include <QPalette>

MaskedBytesEdit::MaskedBytesEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
    // Read-only fields wear the button face, as the other read-only fields of the editor.
    QPalette p = palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    setPalette(p);
}

void MaskedBytesEdit::setBytes(const QByteArray &bytes)
{
    if (bytes == m_bytes)
        return;
    m_bytes = bytes;
    setText(QString(bytes.size(), QLatin1Char('*')));
    emit bytesChanged();
}
