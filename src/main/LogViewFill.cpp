#include "main/LogViewFill.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

LogViewFill::LogViewFill(QPlainTextEdit *view) : QObject(view), m_view(view)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &LogViewFill::turn);
}

// The view is being destroyed (this is its child) or is gone: nothing here touches it.
LogViewFill::~LogViewFill() = default;

void LogViewFill::start(QStringList pieces, qint64 viewLimit)
{
    abandon();
    if (!m_view) {
        release();
        return;
    }
    // What the view holds once the text still to leave has left.
    const QTextDocument *doc = m_view->document();
    if (!isFilling())
        m_keep = doc->characterCount() - 1;
    qint64 total = 0;
    for (const QString &piece : std::as_const(pieces))
        total += piece.size();
    // The view never holds much more than one window's worth: when appending would pass
    // it, the view starts afresh.
    if (m_keep == 0 || m_keep + 1 + total > viewLimit) {
        m_keep = 0;
        m_separate = false;
    } else {
        m_separate = true;
    }
    m_pieces = std::move(pieces);
    m_piece = 0;
    m_done = 0;
    m_removing = true;
    m_inserting = true;
    m_timer.start();
    turn();
}

void LogViewFill::abandon()
{
    if (!isFilling())
        return;
    // m_keep stays: what this fill added after it, and whatever it had still to remove,
    // leave in the turns that follow.
    m_removing = true;
    m_inserting = false;
    m_separate = false;
    drop();
}

void LogViewFill::clear()
{
    abandon();
    m_keep = 0;
    m_removing = true;
    m_inserting = false;
    m_timer.start();
    turn();
}

// Lets go of the text still to go in.
void LogViewFill::drop()
{
    m_pieces = QStringList();
    m_piece = 0;
    m_done = 0;
}

void LogViewFill::turn()
{
    if (!m_view) {
        m_timer.stop();
        drop();
        release();
        return;
    }
    QElapsedTimer spent;
    spent.start();
    do {
        if (!step()) {
            finish();
            return;
        }
    } while (spent.elapsed() < limits.budgetMs);
}

// One slice: text to leave first, then the line break after the kept text, then the
// pieces. False once there is nothing left to do.
bool LogViewFill::step()
{
    QTextDocument *doc = m_view->document();
    const qsizetype slice = qMax<qsizetype>(1, limits.sliceChars);
    const int end = doc->characterCount() - 1;
    if (m_removing && m_keep == 0 && end > 0) {
        // Emptying the whole view at once costs less than removing it slice by slice, where
        // the document's bookkeeping took from a tenth of a second to over a second for
        // some single slices of a 64 MB text.
        m_view->clear();
        return true;
    }
    if (m_removing && end > m_keep) {
        // A document without an undo history compacts its text after every removal of more
        // than a little, copying all it keeps: removed slice by slice, a large text would
        // be copied again and again. While text leaves, the history is on (and emptied
        // after each slice), so the removed text is only let go of when it ends.
        doc->setUndoRedoEnabled(true);
        // From the front of what leaves: cheaper for the document than from its end.
        QTextCursor leaving(doc);
        leaving.setPosition(m_keep);
        leaving.setPosition(int(qMin<qint64>(end, qint64(m_keep) + slice)), QTextCursor::KeepAnchor);
        leaving.removeSelectedText();
        doc->clearUndoRedoStacks();
        return true;
    }
    if (m_removing) {
        m_removing = false;
        doc->setUndoRedoEnabled(false);
    }
    if (m_separate) {
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock();
        m_separate = false;
        return true;
    }
    while (m_piece < m_pieces.size() && m_done >= m_pieces.at(m_piece).size()) {
        m_pieces[m_piece] = QString(); // its memory goes as soon as it is in
        ++m_piece;
        m_done = 0;
    }
    if (m_piece >= m_pieces.size())
        return false;
    const QString &text = m_pieces.at(m_piece);
    const qsizetype size = text.size();
    qsizetype stop = qMin(size, m_done + slice);
    if (stop < size) {
        // Whole lines where the slice holds a line break; never half of a surrogate pair.
        const qsizetype lf = QStringView(text).mid(m_done, stop - m_done).lastIndexOf(QLatin1Char('\n'));
        if (lf >= 0)
            stop = m_done + lf + 1;
        else if (text.at(stop - 1).isHighSurrogate())
            stop += stop - 1 > m_done ? -1 : 1;
    }
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text.mid(m_done, stop - m_done));
    m_done = stop;
    return true;
}

void LogViewFill::finish()
{
    m_timer.stop();
    drop();
    if (m_inserting) {
        m_inserting = false;
        // The newest lines in view, each line from its start (the time stamps).
        m_view->moveCursor(QTextCursor::End);
        m_view->moveCursor(QTextCursor::StartOfBlock);
        m_view->horizontalScrollBar()->setValue(0);
        release();
    }
    emit filled();
}
