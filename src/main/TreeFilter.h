#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The filter line above the navigation tree. Typing keeps in view only the item nodes
// (under the branches it is given) whose caption contains the text, letter case aside;
// every other node stays. Nothing is taken out of the tree or reordered: nodes are only
// hidden, so the items, their order and the selection are what they were, and an empty
// text shows every node again.
//
// Each keystroke looks at every item caption once; a text that extends the previous one
// looks only at the nodes still in view. Only nodes whose state changes are touched.
class TreeFilter : public QObject
{
    Q_OBJECT

public:
    struct Branch
    {
        QTreeWidgetItem *root;
        QString singular; // "user"
        QString plural;   // "users"
        bool countedWhenEmpty = true; // false: the summary leaves out a branch without items
    };

    TreeFilter(QTreeWidget *tree, QLineEdit *edit, QObject *parent = nullptr);

    void setBranches(const QList<Branch> &branches);

    bool isActive() const { return !m_text.isEmpty(); }
    const QString &text() const { return m_text; }

    // "12 of 10,000 users, 3 of 2,000 groups" (accounts only where there are any); empty
    // while no text is given.
    QString summary() const;

    // The first node in view, in tree order, or none.
    QTreeWidgetItem *firstMatch() const;

    // Brings a hidden item node into view, whatever the text says, until the text changes:
    // the selected node is always shown.
    void reveal(QTreeWidgetItem *node);

    // Puts the focus into the filter line with its text selected; Esc gives it back to the
    // control that had it.
    void focusFilter();

signals:
    void summaryChanged(const QString &summary);
    // Enter in the filter line: the node to select (the first in view), or none.
    void matchChosen(QTreeWidgetItem *node);
    // The text became empty: every node is shown again.
    void cleared();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct State
    {
        std::vector<QTreeWidgetItem *> nodes; // the branch's children when last seen
        std::vector<char> hidden;             // by row
        int shown = 0;
    };

    void apply(const QString &text);
    // Brings the branch's state up to date with its children (after an Add or a Delete).
    void sync(const Branch &branch, State &state);
    void syncAll();
    void setHidden(State &state, size_t row, bool hide);
    void recount();
    void giveFocusBack();

    QTreeWidget *m_tree;
    QLineEdit *m_edit;
    QList<Branch> m_branches;
    std::vector<State> m_states;
    QString m_text;
    QPointer<QWidget> m_returnFocus;
    bool m_recountQueued = false;
    bool m_rowsChanged = false; // rows came or went since the states were taken
};
