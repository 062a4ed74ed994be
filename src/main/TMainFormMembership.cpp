#include "main/TMainForm.h"

#include "main/TMainFormDetail.h"

#include "main/ChecklistFilter.h"
#include "main/MembershipChoices.h"
#include "main/NavTree.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

// The membership check lists: an account's groups and a group's users.

using namespace MainFormDetail;

// ---------------------------------------------------------------------------------------
// Membership lists

namespace {

// Fills a check list with its entries, one per row, checked where `chosen` says. The rows
// go in as one batch; the entries then take their check boxes with the list's model
// quiet, since a fresh list has nobody to tell about each entry: the list is laid out
// and painted once, when it is complete. No entry reports a change of its own, as none
// did when the entries went in one at a time already checked.
void fillCheckList(QListWidget *list, const QStringList &texts, const std::vector<char> &chosen)
{
    list->setUpdatesEnabled(false);
    list->clear();
    list->addItems(texts);
    {
        const QSignalBlocker quiet(list->model());
        for (qsizetype row = 0; row < texts.size(); ++row) {
            QListWidgetItem *entry = list->item(int(row));
            entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            entry->setCheckState(chosen[size_t(row)] ? Qt::Checked : Qt::Unchecked);
        }
    }
    list->setUpdatesEnabled(true);
    list->viewport()->update();
}

// The names of the checked entries, top to bottom, as the bytes they came from.
QByteArrayList checkedBytes(const QListWidget *list, const QByteArrayList &entryBytes)
{
    QByteArrayList out;
    for (int i = 0; i < list->count() && i < entryBytes.size(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            out.append(entryBytes.at(i));
    }
    return out;
}

} // namespace

void TMainForm::ShowGroupChoices()
{
    const NavNode *node = selectedNode();
    const TPop *pop = node ? node->pop() : nullptr;
    m_groupChoices.update(nodeGroups, m_codec);
    const std::vector<char> chosen = pop ? m_groupChoices.chosenRows(pop->Newsgroups, m_codec)
                                         : std::vector<char>(size_t(m_groupChoices.count()), 0);
    fillCheckList(chlstGroups, m_groupChoices.sortedTexts(), chosen);
    filterGroups->apply(); // the filter's text stays from one item to the next
    m_groupEntries = m_groupChoices.sortedBytes();
    // The default list keeps the tree's order. Filling the box would choose its first
    // entry on its own: the refill is no edit, and the item's own default is shown.
    const QSignalBlocker quiet(cboxPopDefault);
    cboxPopDefault->clear();
    cboxPopDefault->addItems(m_groupChoices.treeTexts());
    m_defaultChoices = m_groupChoices.treeBytes();
    cboxPopDefault->setCurrentIndex(pop ? m_groupChoices.firstTreeIndexOf(pop->DefaultGroup, m_codec) : -1);
}

void TMainForm::ShowUserChoices()
{
    const NavNode *node = selectedNode();
    const TGroup *group = node ? node->group() : nullptr;
    m_userChoices.update(nodeUsers, m_codec);
    const std::vector<char> chosen = group ? m_userChoices.chosenRows(group->Users, m_codec)
                                           : std::vector<char>(size_t(m_userChoices.count()), 0);
    fillCheckList(chlstUsers, m_userChoices.sortedTexts(), chosen);
    filterUsers->apply();
    m_userEntries = m_userChoices.sortedBytes();
}

void TMainForm::chlstGroupsClick(QObject *)
{
    NavNode *node = selectedNode();
    if (TPop *pop = node ? node->pop() : nullptr)
        pop->Newsgroups = checkedBytes(chlstGroups, m_groupEntries);
}

void TMainForm::chlstUsersClick(QObject *)
{
    NavNode *node = selectedNode();
    if (TGroup *group = node ? node->group() : nullptr)
        group->Users = checkedBytes(chlstUsers, m_userEntries);
}

