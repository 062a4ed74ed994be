#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// The find bar of the log view: a text field with Next and Previous, shown under the log's
// tool bar. The search ignores letter case and wraps around the end of the log; Enter finds
// the next place, Shift+Enter the previous one, Esc closes the bar and gives the focus back
// to the log.
class LogFindBar : public QWidget
{
    Q_OBJECT

public:
    explicit LogFindBar(QPlainTextEdit *view, QWidget *parent = nullptr);

    // Shows the bar with the focus in its field, the field's text selected.
    void open();
    void close();

    // Selects the next (previous) place of the field's text in the log, from the cursor on,
    // wrapping around; false, with "Not found" shown, when there is none.
    bool findNext();
    bool findPrevious();

    QLineEdit *editFind;
    QToolButton *butnFindPrevious, *butnFindNext, *butnFindClose;
    QLabel *lablFindStatus;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool find(bool backwards, bool fromSelectionStart);

    QPlainTextEdit *m_view;
};
