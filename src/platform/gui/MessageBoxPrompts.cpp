#include "platform/gui/MessageBoxPrompts.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpacerItem>

QWidget *MessageBoxPrompts::parentWindow() const
{
    if (QWidget *w = QApplication::activeModalWidget(); w && w->isVisible())
        return w;
    // Between one box closing and the window manager activating the window below it, no
    // window is active: the owner stands in.
    if (QWidget *w = QApplication::activeWindow(); w && w->isVisible())
        return w;
    if (m_owner && m_owner->isVisible())
        return m_owner->window();
    return nullptr;
}

namespace {

QString titleOr(const QString &caption)
{
    return caption.isEmpty() ? QApplication::applicationName() : caption;
}

// A window system cuts a title that is wider than its window's title bar. A box is made
// at least as wide as its title set in bold, plus room for the bar's icon and buttons.
int widthForTitle(const QWidget &box, const QString &title)
{
    QFont bold = box.font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(title) + MessageBoxPrompts::TitleBarReserve;
}

QMessageBox::StandardButton ask(QWidget *parent, QMessageBox::Icon icon, const QString &text, const QString &caption,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, titleOr(caption), text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    // A message box sizes itself to its text; a spacer across its grid keeps it wide enough.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(widthForTitle(box, box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void MessageBoxPrompts::error(const QString &text, const QString &caption)
{
    ask(parentWindow(), QMessageBox::Critical, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxPrompts::information(const QString &text, const QString &caption)
{
    ask(parentWindow(), QMessageBox::Information, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxPrompts::warning(const QString &text, const QString &caption)
{
    ask(parentWindow(), QMessageBox::Warning, text, caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxPrompts::yesNo(const QString &text, const QString &caption)
{
    return ask(parentWindow(), QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes) == QMessageBox::Yes;
}

Prompts::Answer MessageBoxPrompts::yesNoCancel(const QString &text, const QString &caption)
{
    switch (ask(parentWindow(), QMessageBox::Question, text, caption,
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
    return ask(parentWindow(), QMessageBox::Question, text, caption, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Ok) == QMessageBox::Ok;
}

bool MessageBoxPrompts::informationOkCancel(const QString &text, const QString &caption)
{
    return ask(parentWindow(), QMessageBox::Information, text, caption, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Ok) == QMessageBox::Ok;
}

std::optional<QString> MessageBoxPrompts::text(const QString &caption, const QString &label,
                                               const QString &initial, bool masked)
{
    QInputDialog box(parentWindow());
    box.setWindowTitle(titleOr(caption));
    box.setLabelText(label);
    box.setTextEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    box.setTextValue(initial);
    // The dialog's layout sets its smallest size from its fields, so the field is widened.
    if (auto *edit = box.findChild<QLineEdit *>()) {
        const QMargins margins = box.layout() ? box.layout()->contentsMargins() : QMargins();
        edit->setMinimumWidth(widthForTitle(box, box.windowTitle()) - margins.left() - margins.right());
    }
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}
