#pragma once

#include <QWidget>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;

// The filter line above a membership check list, with "Show checked only". It only hides
// entries: every entry stays in the list with its check, so the list value built from the
// checks is the same whether an entry is in view or not.
//
// An entry checked or cleared while "Show checked only" is on stays in view until the
// filter is applied again (a change of the text or of the box, or a new list), so an entry
// never disappears under the mouse.
class ChecklistFilter : public QWidget
{
    Q_OBJECT

public:
    // `names` gives the object names of the line and the box ("editUsersFilter",
    // "chkbUsersCheckedOnly" for "Users").
    ChecklistFilter(QListWidget *list, const QString &names, QWidget *parent = nullptr);

    // Applies the filter to the list as it now stands (after it was filled afresh).
    void apply();

    QLineEdit *editFilter;
    QCheckBox *chkbCheckedOnly;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QListWidget *m_list;
    std::vector<char> m_hidden; // by row, as last applied
};
