#pragma once

#include "platform/BusyCursor.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>

class QPlainTextEdit;

// Changes the log view's text a slice at a time: each turn of the event loop inserts (or
// removes) slices for at most `Limits::budgetMs`, so the window paints and answers between
// them however long the text is. A change that fits in the first turn is done when the call
// returns. Once a refresh's whole text is in, the view shows its end (the newest lines,
// each from its start) and filled() is emitted.
//
// A fill that gives way (a second refresh, Clear) takes out what it had added before
// anything else goes in, so the view never holds a part of one refresh's text beside
// another's; text that is to go (a view started afresh, a fill taken back) leaves in
// slices too.
class LogViewFill : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        // A log at least this large is read and decoded on a worker thread.
        qint64 readAsideBytes = 256 * 1024;
        // Characters per insertion or removal (an insertion ends after a line break within
        // it where there is one).
        qsizetype sliceChars = 32 * 1024;
        // How long one turn of the event loop may change the view (one slice at least).
        int budgetMs = 8;
    };

    // A child of the view; it never touches the view once the view is being destroyed.
    explicit LogViewFill(QPlainTextEdit *view);
    ~LogViewFill() override;

    Limits limits;

    // Keeps the hourglass until the refresh's text that follows is in, or release().
    void hold(std::unique_ptr<BusyCursorScope> busy) { m_busy = std::move(busy); }
    void release() { m_busy.reset(); }

    // Puts a refresh's text (`pieces` one after the other) into the view: as new lines after
    // what it holds, or in its place when the view is empty or would then hold more than
    // `viewLimit` characters. A fill still running gives way first.
    void start(QStringList pieces, qint64 viewLimit);
    // A fill still running stops, and what it added leaves the view again.
    void abandon();
    // Everything leaves the view (a fill still running stops).
    void clear();

    // The view is still changing.
    bool isFilling() const { return m_timer.isActive(); }

signals:
    // The view holds its final text (after start(), its end in sight).
    void filled();

private:
    void turn();
    bool step();
    void finish();
    void drop();

    QPointer<QPlainTextEdit> m_view;
    QTimer m_timer;
    // The document's first m_keep characters stay; while m_removing, anything after them
    // leaves, before the pieces go in.
    int m_keep = 0;
    bool m_removing = false;
    bool m_separate = false; // the pieces begin a new line after the kept text
    bool m_inserting = false; // a refresh's text goes in (not only a removal)
    QStringList m_pieces;
    qsizetype m_piece = 0; // the piece going in
    qsizetype m_done = 0;  // its characters already in the view
    std::unique_ptr<BusyCursorScope> m_busy;
};
