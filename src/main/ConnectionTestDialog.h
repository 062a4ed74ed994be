#pragma once

#include "services/ConnectionTest.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The connection tests' results, one row for each account tested (and the outgoing mail
// server): its verdict, how long it took and the step that failed. The steps of the row
// chosen, with the server's own words, stand below. The window stays open beside the
// editor: double-clicking a row (or Enter on it) asks for its account to be selected.
class ConnectionTestDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConnectionTestDialog(QWidget *parent = nullptr);

    // New rows for `targets`, each waiting for its result; `captions` names each as the
    // tree shows it.
    void setTargets(const QList<ConnectionTest::Target> &targets, const QStringList &captions);
    // Fills the row of targets[row].
    void setResult(int row, const ConnectionTest::Result &result);
    const QList<ConnectionTest::Result> &results() const { return m_results; }
    // What the rows test (without their passwords).
    const QList<ConnectionTest::Target> &targets() const { return m_targets; }
    // Rows still waiting (a cancelled run leaves them so).
    int waiting() const;

    QLabel *lablSummary = nullptr;
    QTreeWidget *tvResults = nullptr;
    QPlainTextEdit *memoSteps = nullptr;
    QPushButton *butnTestAgain = nullptr;
    QPushButton *butnSendTestMessage = nullptr;
    QPushButton *butnClose = nullptr;

signals:
    // kind: ConnectionTest::Kind; index: the account's position (-1: the outgoing server).
    void targetActivated(int kind, int index);
    void testAgainRequested();
    void sendTestMessageRequested();

private:
    void showSteps();
    void updateSummary();

    QList<ConnectionTest::Target> m_targets; // passwords are not kept: cleared on the way in
    QList<ConnectionTest::Result> m_results;
    QList<bool> m_done;
};
