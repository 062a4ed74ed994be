// The item commands of the tree's menu: Add, Delete and Reset, the removal of a group's
// data, and the check of a group's name when its field is left.
#include "config/GroupDataFolder.h"
#include "config/GroupName.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "platform/Prompts.h"

#include <QAction>
#include <QFocusEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTabWidget>
#include <algorithm>
#include <utility>

namespace {

// Runs a function when its watched object loses the keyboard focus.
class FocusOutWatch : public QObject
{
public:
    FocusOutWatch(QObject *watched, std::function<void()> onFocusOut)
        : QObject(watched)
        , m_onFocusOut(std::move(onFocusOut))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // Only a move to another control counts: the window losing the activation (to a
        // message box, another program) or a popup menu opening leave the field in place.
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason why = static_cast<QFocusEvent *>(event)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
                m_onFocusOut();
        }
        return false;
    }

private:
    std::function<void()> m_onFocusOut;
};

} // namespace

void TMainForm::connectItemCommands()
{
    connect(actnAdd, &QAction::triggered, this, [this]() { actnAddExecute(); });
    connect(actnDelete, &QAction::triggered, this, [this]() { actnDeleteExecute(); });
    connect(actnReset, &QAction::triggered, this, [this]() { actnResetExecute(); });
    new FocusOutWatch(editGroupName, [this]() {
        // The name as it was left is checked; the message waits until the focus has
        // settled, so no box opens in the middle of the change. The field is left before
        // a click on the tree is handed to it: until the message has been shown, the tree
        // keeps the group selected, so the message stands over the group it is about.
        if (GroupName::passes(editGroupName->text()) || m_refusedGroupNode)
            return;
        m_refusedGroupNode = tvNav->currentItem();
        QMetaObject::invokeMethod(this, [this]() { refuseGroupName(); }, Qt::QueuedConnection);
    });
    tvNav->setSelectionGuard([this]() { return m_refusedGroupNode == nullptr; });

    // A popup menu is a window of its own, so its entries' hints would never reach the
    // status bar: they are shown from here while highlighted, as the File menu's are.
    connect(PopupMenu1, &QMenu::hovered, this, [this](QAction *entry) { DisplayHint(entry->statusTip()); });
    connect(PopupMenu1, &QMenu::aboutToHide, this, [this]() { DisplayHint({}); });
}

void TMainForm::actnAddExecute()
{
    // The page's defaults that go into the new item are part of the Add, not steps of
    // their own.
    beginEdit(nullptr);
    auto stepDone = qScopeGuard([this]() { endEdit(); });
    QWidget *page = pctrlMain->currentWidget();
    if (page == tabsIncoming || page == tabsIncomingItem) {
        AddItemNode(QStringLiteral("New"), std::make_unique<TPop>(), true, nodeIncoming)->added = true;
        ShowPop(nullptr);
    } else if (page == tabsUsers || page == tabsUserItem) {
        AddItemNode(QStringLiteral("New"), std::make_unique<TUser>(), true, nodeUsers)->added = true;
        ShowUser(nullptr);
    } else if (page == tabsGroups || page == tabsGroupItem) {
        AddItemNode(QStringLiteral("New"), std::make_unique<TGroup>(), true, nodeGroups)->added = true;
        ShowGroup(nullptr);
    } else {
        return;
    }
    stepDone.dismiss();
    endEdit();
    // The new item is a change to save even where none of its page's defaults differed
    // from what the page showed (a user, a group): closing must not lose it unasked.
    recordAdd(selectedNode());
}

void TMainForm::actnDeleteExecute()
{
    NavNode *node = selectedNode();
    if (!node || RemoteMode)
        return;
    QTreeWidgetItem *parent = node->parent();
    if (parent != nodeIncoming && parent != nodeUsers && parent != nodeGroups)
        return;
    if (!m_prompts->yesNo(QStringLiteral("Are you sure?")))
        return;

    bool dataRemoved = false;
    if (const TGroup *group = node->group()) {
        const QString name = m_codec.decode(group->Name);
        QString error;
        const QString folder = GroupDataFolder::path(m_ctx.programFolder, name, &error);
        if (folder.isEmpty()) {
            // A group without a name has no data; any other name that cannot name a folder
            // inside "data" would have the removal reach "data" itself or beyond it.
            if (!name.isEmpty())
                m_prompts->error(error + QStringLiteral(". Its data is left as it is."));
        } else if (QFileInfo(folder).exists() || QFileInfo(folder).isSymLink()) {
            if (m_prompts->yesNo(QStringLiteral("Do you want to delete the data associated with this group also"))) {
                dataRemoved = removeGroupData(*group);
            }
        }
    }

    // The node leaves the tree as a step that undo takes back; the selection goes to the
    // node below, else the one above, else the list's root, and the page follows it.
    recordDelete(node, dataRemoved);
}

void TMainForm::actnResetExecute()
{
    const TGroup *group = selectedGroup();
    if (!group || RemoteMode)
        return;
    if (!m_prompts->yesNo(QStringLiteral("Reseting a group will delete all existing data associated with it. "
                                         "Are you sure?")))
        return;
    removeGroupData(*group);
}

bool TMainForm::removeGroupData(const TGroup &group)
{
    const GroupDataFolder::Removal removal = GroupDataFolder::removeData(m_ctx.programFolder, m_codec.decode(group.Name));
    if (!removal.complete)
        m_prompts->error(removal.error);
    return removal.removedSomething;
}

bool TMainForm::editGroupNameExit()
{
    if (GroupName::passes(editGroupName->text()))
        return true;
    refuseGroupName();
    return false;
}

void TMainForm::refuseGroupName()
{
    // The group the name belongs to is the one shown while the message is read, and its
    // name field takes the focus back (unless the group went meanwhile).
    QTreeWidgetItem *group = std::exchange(m_refusedGroupNode, nullptr);
    const bool stillThere = group && nodeGroups->indexOfChild(group) >= 0;
    if (stillThere && tvNav->currentItem() != group)
        tvNav->setCurrentItem(group);
    m_prompts->error(GroupName::invalidMessage());
    if (stillThere || !group)
        editGroupName->setFocus();
}
