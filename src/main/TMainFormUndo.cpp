// Undo and redo: the Edit menu, the history of the edits since the load, and what undoing
// or redoing a step does to the window. Every change that marks the configuration changed
// is one step; the history's clean state is the saved configuration, so the changed flag
// and the title's mark are exactly "the history is not at its clean state".
#include "main/TMainForm.h"

#include "main/TMainFormDetail.h"

#include "main/ChecklistFilter.h"
#include "main/EditSteps.h"
#include "main/FindingsMarker.h"
#include "main/NavTree.h"
#include "widgets/MaskedBytesEdit.h"
#include "widgets/RadioGroup.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QUndoStack>

using namespace MainFormDetail;

namespace {

// The caption of each control as a step names it.
struct ControlLabel
{
    const char *name;
    const char *label;
};

constexpr ControlLabel kLabels[] = {
    // General
    {"editName", "Name"},
    {"cmbBindIP", "Bound IP"},
    {"sedtPort", "Port"},
    {"editSMTPServer", "Outgoing Mail Server"},
    {"editOutBoundPrefix", "Outbound Prefix"},
    {"editOutBoundMarker", "Outbound Marker"},
    {"editAdminEmail", "Administrator E-Mail"},
    {"chkbAdminEmailActive", "Administrator E-Mail Active"},
    {"editAdminUser", "Administrator Username"},
    {"editAdminPass", "Administrator Password"},
    // Advanced
    {"sedtSMTPPort", "SMTP Port"},
    {"editSMTPUserID", "SMTP Username"},
    {"editSMTPUserPass", "SMTP Password"},
    {"sedtConfigPort", "Remote Configuration Port"},
    // Incoming account
    {"editPopHost", "Mail Server"},
    {"sedtPopPort", "Port"},
    {"editPopUser", "User ID"},
    {"editPopPass", "Password"},
    {"chkbPopAutoReply", "AutoReply"},
    {"chkbOBID", "Assign Outbound ID"},
    {"editPopAutoReplyFrom", "Auto Reply From"},
    {"editPopAutoReplySubject", "Auto Reply Subject"},
    {"editAutoReplyFromIgnore", "Auto Reply From Ignore"},
    {"editSafetyBox", "Copy incoming to account"},
    {"memoPopAutoReplyBody", "Auto Reply Body"},
    {"chlstGroups", "Groups"},
    {"cboxPopDefault", "Default group"},
    // User
    {"editUserDesc", "Description"},
    {"editUserName", "Name"},
    {"editUserPass", "Password"},
    // Group
    {"editGroupName", "Name"},
    {"chkbGroupRO", "Read-Only"},
    {"editGroupDesc", "Description"},
    {"editGroupOutboundAddr", "Outbound Address"},
    {"memoGroupKeys", "Keys"},
    {"chlstUsers", "Users"},
    // Log settings
    {"rgrpLogSettings", "Logging"},
    {"rgrpLogFile", "Log File"},
    {"sedtLogSize", "Log File size"},
};

QString labelOf(const QString &control)
{
    for (const ControlLabel &l : kLabels) {
        if (control == QLatin1String(l.name))
            return QString::fromLatin1(l.label);
    }
    return QStringLiteral("Edit"); // a click on a page's free area
}

// Controls typed into: their keystrokes join one step until the focus leaves them.
bool isTyping(const QObject *control)
{
    if (qobject_cast<const MaskedBytesEdit *>(control)) // changed only with its button
        return false;
    if (auto *combo = qobject_cast<const QComboBox *>(control))
        return combo->isEditable();
    return qobject_cast<const QLineEdit *>(control) || qobject_cast<const QPlainTextEdit *>(control)
           || qobject_cast<const QAbstractSpinBox *>(control);
}

bool isUndoKey(const QKeyEvent *e)
{
    const QKeyCombination key(e->modifiers() & ~Qt::KeypadModifier, Qt::Key(e->key()));
    return e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo) || key == (Qt::CTRL | Qt::Key_Y)
           || key == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
}

} // namespace

// The window's side of the history: it records the steps and carries them out.
class EditHistory : public QObject, public EditStepHost
{
public:
    explicit EditHistory(TMainForm *form)
        : QObject(form)
        , f(form)
    {
        // Leaving a field ends its step: the next keystroke there starts a new one.
        connect(qApp, &QApplication::focusChanged, this, [this]() { ++m_session; });
        // The field's own undo would take back keystrokes behind the history's back.
        qApp->installEventFilter(this);
    }

    void begin(QObject *sender)
    {
        if (m_depth++ > 0)
            return; // part of an edit already being recorded
        m_pending = Pending();
        if (!sender)
            return; // a command that records its own step
        m_pending.active = true;
        m_pending.control = sender->objectName();
        m_pending.mergeable = isTyping(sender);
        NavNode *node = f->selectedNode();
        if (node && (node->pop() || node->user() || node->group())) {
            m_pending.node = node;
            m_pending.before = EditStates::ofNode(node);
            m_pending.name = node->text(0);
        } else {
            // With no node selected the General page is in view.
            m_pending.node = node ? node : f->nodeGeneral;
            m_pending.before = m_serverBaseline;
        }
    }

    void end()
    {
        if (--m_depth > 0 || !m_pending.active)
            return;
        m_pending.active = false;
        const bool server = std::holds_alternative<ServerState>(m_pending.before);
        EditState after;
        QString text = labelOf(m_pending.control);
        if (server) {
            m_serverBaseline = serverState();
            after = m_serverBaseline;
            const QString page = m_pending.node == f->nodeLogSettings ? QStringLiteral("Log Settings")
                                                                       : m_pending.node->text(0);
            text += QStringLiteral(" on the ") + page + QStringLiteral(" page");
        } else {
            after = EditStates::ofNode(m_pending.node);
            text += QStringLiteral(" of ") + EditStates::kindWord(after) + QLatin1Char(' ') + itemName(m_pending.name);
        }
        EditStep::Where where;
        where.node = m_pending.node;
        where.control = m_pending.control;
        where.mergeable = m_pending.mergeable;
        where.session = m_session;
        f->m_undoStack->push(new EditStep(this, where, std::move(m_pending.before), std::move(after), text));
        m_pending = Pending();
    }

    // A configuration was loaded: its state is where the history starts.
    void reset()
    {
        f->m_undoStack->clear();
        m_serverBaseline = serverState();
        ++m_session;
    }

    static QString itemName(const QString &caption)
    {
        return caption.isEmpty() ? QStringLiteral("(no name)") : caption;
    }

    // EditStepHost

    void showState(NavNode *node, const EditState &state, const QString &control) override
    {
        ++m_session;
        if (const auto *s = std::get_if<ServerState>(&state)) {
            {
                const FlagScope filling(f->m_pageFill);
                // The settings as they were become the bytes kept for unchanged fields, so
                // the pages give back exactly those bytes; the file's format stays the
                // loaded one until a save.
                const QByteArray version = f->m_server.Version;
                f->LoadServerSettings(s->settings);
                f->m_server.Version = version;
                f->rgrpLogFile->setItemIndex(s->logFileIndex);
                f->rgrpLogFileClick(f->rgrpLogFile);
            }
            m_serverBaseline = serverState();
            if (f->tvNav->currentItem() != node)
                f->tvNav->setCurrentItem(node);
        } else {
            EditStates::putIntoNode(node, state);
            f->setCaptionOf(node);
            if (f->tvNav->currentItem() != node)
                f->tvNav->setCurrentItem(node);
            else
                f->tvNavChange(node); // the page shows the item afresh
        }
        showControl(control);
        f->m_findingsMarker->schedule();
    }

    void insertItemNode(NavNode *root, int index, NavNode *node) override
    {
        ++m_session;
        root->insertChild(qBound(0, index, root->childCount()), node);
        f->tvNav->setCurrentItem(node);
        f->tvNav->scrollToItem(node);
        f->m_findingsMarker->schedule();
    }

    void takeItemNode(NavNode *root, NavNode *node, bool selectRoot) override
    {
        ++m_session;
        const int index = root->indexOfChild(node);
        QTreeWidgetItem *next = selectRoot ? nullptr : root->child(index + 1);
        if (!next && !selectRoot)
            next = root->child(index - 1);
        f->tvNav->setCurrentItem(next ? next : root);
        root->takeChild(index);
        // Out of the tree the node keeps no finding: the check marks it afresh when it is back.
        node->setData(0, FindingsMarker::LevelRole, QVariant());
        node->setData(0, Qt::ToolTipRole, QVariant());
        f->m_findingsMarker->schedule();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z in a field of the pages are the window's Undo and
        // Redo: the field neither claims them (so the Edit menu's shortcuts take them) nor,
        // when there is nothing to undo, acts on them itself.
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
            return false;
        if (!isUndoKey(static_cast<QKeyEvent *>(event)))
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || w->window() != f || !onEditablePage(w))
            return false;
        if (event->type() == QEvent::ShortcutOverride)
            event->ignore();
        return true;
    }

private:
    struct Pending
    {
        bool active = false;
        NavNode *node = nullptr;
        QString control;
        QString name;
        bool mergeable = false;
        EditState before;
    };

    ServerState serverState() const
    {
        return {f->serverSettingsFromPages(), f->rgrpLogFile->itemIndex()};
    }

    bool onEditablePage(const QWidget *w) const
    {
        for (const QWidget *a = w; a; a = a->parentWidget()) {
            if (qobject_cast<const ChecklistFilter *>(a))
                return false; // the list's filter line is no setting
            if (a == f->tabsGeneral || a == f->tabsAdvanced || a == f->tabsIncomingItem || a == f->tabsUserItem
                || a == f->tabsGroupItem || a == f->tabsLogSettings)
                return true;
        }
        return false;
    }

    // Brings the tab that holds the control into view (an account's Groups, a group's Users).
    void showControl(const QString &control)
    {
        if (control.isEmpty())
            return;
        QWidget *w = f->pctrlMain->currentWidget()->findChild<QWidget *>(control);
        for (QWidget *a = w; a && a != f->pctrlMain; a = a->parentWidget()) {
            QWidget *stack = a->parentWidget();
            auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
            if (tabs && tabs != f->pctrlMain && tabs->indexOf(a) >= 0)
                tabs->setCurrentWidget(a);
        }
    }

    TMainForm *f;
    int m_depth = 0;
    quint64 m_session = 0;
    Pending m_pending;
    ServerState m_serverBaseline;
};

// ---------------------------------------------------------------------------------------

void TMainForm::buildEditMenu()
{
    m_undoStack = new QUndoStack(this);
    m_undoStack->setObjectName(QStringLiteral("undoStack"));
    m_history = new EditHistory(this);

    actnUndo = m_undoStack->createUndoAction(this); // "Undo <step>"
    actnUndo->setObjectName(QStringLiteral("actnUndo"));
    actnUndo->setShortcuts(QKeySequence::Undo);
    actnUndo->setStatusTip(QStringLiteral("Take back the last change"));
    actnRedo = m_undoStack->createRedoAction(this);
    actnRedo->setObjectName(QStringLiteral("actnRedo"));
    actnRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    actnRedo->setStatusTip(QStringLiteral("Make the change taken back again"));
    for (QAction *a : {actnUndo, actnRedo})
        a->setToolTip(a->statusTip());

    menuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    menuEdit->setObjectName(QStringLiteral("menuEdit"));
    menuEdit->addAction(actnUndo);
    menuEdit->addAction(actnRedo);

    // The changed flag and the title's mark follow the history.
    auto follow = [this]() {
        m_changed = !m_undoStack->isClean();
        showChangedMark();
    };
    connect(m_undoStack, &QUndoStack::cleanChanged, this, follow);
    connect(m_undoStack, &QUndoStack::indexChanged, this, follow);
}

void TMainForm::showChangedMark()
{
    // Unsaved edits, or a remote save the server has not received.
    setWindowModified(m_changed || m_unsent);
}

void TMainForm::beginEdit(QObject *sender)
{
    m_history->begin(sender);
}

void TMainForm::endEdit()
{
    m_history->end();
}

void TMainForm::clearEditHistory()
{
    m_history->reset();
}

void TMainForm::recordAdd(NavNode *node)
{
    auto *root = static_cast<NavNode *>(node->parent());
    const QString kind = EditStates::kindWord(EditStates::ofNode(node));
    m_undoStack->push(new NodeStep(m_history, NodeStep::Kind::Add, root, node, root->indexOfChild(node),
                                   QStringLiteral("Add of a new ") + kind));
}

void TMainForm::recordDelete(NavNode *node, bool dataRemoved)
{
    auto *root = static_cast<NavNode *>(node->parent());
    QString text = QStringLiteral("Delete of ") + EditStates::kindWord(EditStates::ofNode(node)) + QLatin1Char(' ')
                   + EditHistory::itemName(node->text(0));
    // The group's data went from the disk with the Delete and no undo brings it back.
    if (dataRemoved)
        text += QStringLiteral(" (its messages stay deleted)");
    m_undoStack->push(new NodeStep(m_history, NodeStep::Kind::Delete, root, node, root->indexOfChild(node), text));
}
