#pragma once

#include "config/ConfigCheck.h"

#include <QDialog>
#include <QList>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The findings of the consistency check, one a row, errors marked as such. The window
// stays open beside the editor: double-clicking a finding (or Enter on it) asks for its
// item to be selected in the tree, so the administrator can mend it and check again.
class CheckResultsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CheckResultsDialog(QWidget *parent = nullptr);

    // Shows a new set of findings in place of the last; `captions` (when given, one for each
    // finding) names the item as the tree shows it.
    void setFindings(const QList<CheckFinding> &findings, const QStringList &captions = {});
    const QList<CheckFinding> &findings() const { return m_findings; }

    // Where the window goes beside `window` (both as frames on `screen`): on the side with
    // the most room, shrunk to that room down to its smallest useful size, so the tree and
    // page a finding selects are not covered. Where no side has room, the screen's
    // bottom-right corner, away from the tree.
    static QRect placeBeside(QSize preferred, QSize minimum, const QRect &window, const QRect &screen);
    // Moves the window by placeBeside(), given the editor's window.
    void moveBeside(const QWidget *window);

    QLabel *lablSummary = nullptr;
    QListWidget *lstFindings = nullptr;
    QPushButton *butnCheckAgain = nullptr;
    QPushButton *butnClose = nullptr;

signals:
    void findingActivated(const CheckFinding &finding);
    void checkAgainRequested();

private:
    void activate(QListWidgetItem *row);

    QList<CheckFinding> m_findings;
};
