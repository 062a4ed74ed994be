#include "main/LogFindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

namespace {

QToolButton *toolButton(const char *name, const QString &text, const QString &hint, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus); // Enter and Shift+Enter in the field do the same
    return b;
}

} // namespace

LogFindBar::LogFindBar(QPlainTextEdit *view, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto *label = new QLabel(QStringLiteral("Find"), this);
    editFind = new QLineEdit(this);
    editFind->setObjectName(QStringLiteral("editFind"));
    editFind->setClearButtonEnabled(true);
    editFind->setToolTip(QStringLiteral("Text to find in the log"));
    editFind->setStatusTip(editFind->toolTip());
    label->setBuddy(editFind);
    butnFindPrevious = toolButton("butnFindPrevious", QStringLiteral("Previous"),
                                  QStringLiteral("Find the previous place (Shift+Enter)"), this);
    butnFindNext = toolButton("butnFindNext", QStringLiteral("Next"), QStringLiteral("Find the next place (Enter)"), this);
    butnFindClose = toolButton("butnFindClose", QString(), QStringLiteral("Close the find bar (Esc)"), this);
    butnFindClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    lablFindStatus = new QLabel(this);
    lablFindStatus->setObjectName(QStringLiteral("lablFindStatus"));
    lablFindStatus->setMinimumWidth(70);

    row->addWidget(label);
    row->addWidget(editFind, 1);
    row->addWidget(butnFindPrevious);
    row->addWidget(butnFindNext);
    row->addWidget(lablFindStatus);
    row->addWidget(butnFindClose);

    connect(butnFindNext, &QToolButton::clicked, this, [this]() { findNext(); });
    connect(butnFindPrevious, &QToolButton::clicked, this, [this]() { findPrevious(); });
    connect(butnFindClose, &QToolButton::clicked, this, [this]() { close(); });
    // Typing searches as it goes, from where the current find began.
    connect(editFind, &QLineEdit::textEdited, this, [this]() { find(false, true); });
    hide();
}

void LogFindBar::open()
{
    show();
    editFind->setFocus(Qt::ShortcutFocusReason);
    editFind->selectAll();
}

void LogFindBar::close()
{
    hide();
    lablFindStatus->clear();
    m_view->setFocus(Qt::OtherFocusReason);
}

bool LogFindBar::findNext()
{
    return find(false, false);
}

bool LogFindBar::findPrevious()
{
    return find(true, false);
}

bool LogFindBar::find(bool backwards, bool fromSelectionStart)
{
    const QString text = editFind->text();
    lablFindStatus->clear();
    if (text.isEmpty())
        return false;
    QTextDocument *doc = m_view->document();
    QTextCursor from = m_view->textCursor();
    if (fromSelectionStart)
        from.setPosition(from.selectionStart());
    const QTextDocument::FindFlags flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextCursor found = doc->find(text, from, flags);
    if (found.isNull()) {
        // Round the end (or the start) of the log.
        QTextCursor wrap(doc);
        wrap.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
        found = doc->find(text, wrap, flags);
    }
    if (found.isNull()) {
        lablFindStatus->setText(QStringLiteral("Not found"));
        return false;
    }
    m_view->setTextCursor(found);
    m_view->ensureCursorVisible();
    return true;
}

void LogFindBar::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & Qt::ShiftModifier)
            findPrevious();
        else
            findNext();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
