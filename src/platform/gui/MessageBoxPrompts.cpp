#include "platform/gui/MessageBoxPrompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QWidget *parentWindow()
{
    if (QWidget *w = QApplication::activeModalWidget())
        return w;
    return QApplication::activeWindow();
}

QString titleOr(const QString &caption)
{
    return caption.isEmpty() ? QApplication::applicationName() : caption;
}

QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &text, const QString &caption,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, titleOr(caption), text, buttons, parentWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void MessageBoxPrompts::error(const QString &text, const QString &caption)
{
    ask(QMessageBox::Critical, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxPrompts::information(const QString &text, const QString &caption)
{
    ask(QMessageBox::Information, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxPrompts::warning(const QString &text, const QString &caption)
{
    ask(QMessageBox::Warning, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxPrompts::yesNo(const QString &text, const QString &caption)
{
    return ask(QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes) == QMessageBox::Yes;
}

Prompts::Answer MessageBoxPrompts::yesNoCancel(const QString &text, const QString &caption)
{
    switch (ask(QMessageBox::Question, text, caption,
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool MessageBoxPrompts::okCancel(const QString &text, const QString &caption)
{
    return ask(QMessageBox::Question, text, caption, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Ok) == QMessageBox::Ok;
}

std::optional<QString> MessageBoxPrompts::text(const QString &caption, const QString &label,
                                               const QString &initial, bool masked)
{
    bool ok = false;
    const QString value = QInputDialog::getText(parentWindow(), titleOr(caption), label,
                                                masked ? QLineEdit::Password : QLineEdit::Normal,
                                                initial, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}
