#include "main/TMainForm.h"

#include "main/TMainFormDetail.h"

#include "archive/TArchiveForm.h"
#include "config/AppIdentity.h"
#include "config/ConfigDocument.h"
#include "widgets/MaskedBytesEdit.h"
#include "main/MembershipChoices.h"
#include "main/MemoText.h"
#include "main/FindingsMarker.h"
#include "main/NavIcons.h"
#include "main/NavTree.h"
#include "widgets/RadioGroup.h"
#include "main/SpinEdit.h"
#include "main/TreeFilter.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "services/TKDTipDay.h"
#include "services/TTipForm.h"
#include "platform/gui/DesktopShell.h"
#include "wizard/TWizardForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTextDocument>
#include <algorithm>

using namespace MainFormDetail;

namespace {

// Whether a hooked control counts a click on its free area (group boxes and panels).
bool isPanel(const QWidget *w)
{
    if (qobject_cast<const RadioGroup *>(w))
        return false;
    if (qobject_cast<const QGroupBox *>(w))
        return true;
    return w->metaObject() == &QFrame::staticMetaObject;
}

// Controls that hold other controls of the page, as against composite controls (a spin
// box, a list) whose inner parts are their own business.
bool holdsControls(const QWidget *w)
{
    const QMetaObject *m = w->metaObject();
    return m == &QWidget::staticMetaObject || m == &QFrame::staticMetaObject || m == &QStackedWidget::staticMetaObject
           || qobject_cast<const QGroupBox *>(w) || qobject_cast<const QTabWidget *>(w);
}

} // namespace

TMainForm::TMainForm(const MainFormContext &context, QWidget *parent)
    : QMainWindow(parent)
    , m_ctx(context)
    , m_prompts(context.prompts)
    , m_systemClock(context.clock ? nullptr : std::make_unique<SystemClock>())
    , m_clock(context.clock ? context.clock : m_systemClock.get())
    , m_codec(context.codec)
{
    Q_ASSERT(m_prompts);
    const FlagScope filling(m_pageFill); // nothing built here is an edit
    ImageList2 = m_ctx.navIcons.isEmpty() ? NavIcons::imageList() : m_ctx.navIcons;
    // The title carries a mark while there are unsaved changes.
    setWindowTitle(QString::fromLatin1(AppIdentity::ApplicationTitle) + QStringLiteral("[*]"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildWindow();

    for (QWidget *page : {tabsGeneral, tabsAdvanced, tabsIncomingItem, tabsUserItem, tabsGroupItem, tabsLogSettings})
        HookPageControls(page);

    buildTree();
    connect(tvNav, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *now, QTreeWidgetItem *before) {
        // Only the selected node's branch stands open.
        for (QTreeWidgetItem *n = before; n; n = n->parent()) {
            bool onPath = false;
            for (QTreeWidgetItem *m = now; m && !onPath; m = m->parent())
                onPath = (m == n);
            // While the tree is filtered, every branch with matches stays open.
            if (!onPath && n->isExpanded() && !m_treeFilter->isActive())
                n->setExpanded(false);
        }
        for (QTreeWidgetItem *n = now; n; n = n->parent())
            if (n->childCount() > 0 && !n->isExpanded())
                n->setExpanded(true);
        tvNavChange(now);
    });
    connect(tvNav, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (m_refusedGroupNode) // a refused group name is shown first; the menu waits
            return;
        PopupMenu1Popup();
        const QList<QAction *> entries = PopupMenu1->actions();
        if (std::any_of(entries.begin(), entries.end(), [](QAction *a) { return a->isVisible(); }))
            PopupMenu1->popup(tvNav->viewport()->mapToGlobal(pos));
    });

    setupFilterAndFindings();

    connect(actnDelMsg, &QAction::triggered, this, [this]() { actnDelMsgExecute(); });
    connectItemCommands();
    connectPasswordButtons();
    connectLogView();
    updateItemActions();

    fillBindAddresses();
    setupHelp();
    setupConnectionTests();

    pctrlMain->setCurrentWidget(tabsGeneral);
    pctrlGroup->setCurrentIndex(0);
    pctrlIncoming->setCurrentIndex(0);

    // Fixed size from the client area; the menu bar stands above it.
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}

TMainForm::~TMainForm()
{
    // Hiding takes the focus from its control, and a number box left empty is corrected
    // then: with everything still in place, and nothing taken as an edit.
    m_pageFill = true;
    hide();
}

RunModeChoice TMainForm::chooseRunMode()
{
    if (m_ctx.runModeChooser)
        return m_ctx.runModeChooser->choose(this);
    return RunModeChoice::local();
}

TMainForm::StartResult TMainForm::start(bool wizard)
{
    hide();
    if (wizard) {
        // The setup wizard runs here, modally, and the program ends when it closes, however
        // it closes: the editor window is never shown.
        DesktopShell desktop;
        WizardContext wc;
        wc.prompts = m_prompts;
        wc.shell = m_ctx.shell ? m_ctx.shell : &desktop;
        wc.clock = m_clock;
        wc.programFolder = m_ctx.programFolder;
        wc.codec = m_codec;
        TWizardForm form(wc, this);
        form.exec();
        return StartResult::Ended;
    }
    RunModeChoice choice = chooseRunMode();
    switch (choice.mode) {
    case RunModeChoice::Mode::Cancel:
        return StartResult::Ended;
    case RunModeChoice::Mode::Remote:
        RemoteMode = true;
        m_transfer = std::move(choice.transfer);
        break;
    case RunModeChoice::Mode::Local:
        RemoteMode = false;
        nodeLogView = AddPageNode(nodeLog, QStringLiteral("View"), 9, tabsLogView);
        break;
    }
    updateItemActions(); // the mode decides what the tree's commands may do
    if (!LoadConfiguration())
        return StartResult::Failed;
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    return StartResult::Run;
}

QString TMainForm::configFilePath() const
{
    return ProgramFolder::filePath(m_ctx.programFolder, m_fileName);
}

// ---------------------------------------------------------------------------------------
// Navigation tree

NavNode *TMainForm::AddPageNode(NavNode *parent, const QString &caption, int imageIndex, QWidget *page)
{
    auto *node = new NavNode(imageIndex, ImageList2.value(imageIndex));
    node->setText(0, caption);
    node->page = page;
    if (parent)
        parent->addChild(node);
    else
        tvNav->addTopLevelItem(node);
    return node;
}

NavNode *TMainForm::newItemNode(const QString &caption, int imageIndex, NavNode *parent)
{
    Q_UNUSED(parent);
    auto *node = new NavNode(imageIndex, ImageList2.value(imageIndex));
    node->setText(0, caption);
    return node;
}

template <typename T>
static NavNode *addItem(TMainForm *form, NavNode *node, std::unique_ptr<T> item, bool select, NavNode *parent)
{
    node->item = std::move(item);
    parent->addChild(node);
    if (select)
        form->tvNav->setCurrentItem(node);
    return node;
}

NavNode *TMainForm::AddItemNode(const QString &caption, std::unique_ptr<TPop> item, bool select, NavNode *parent)
{
    return addItem(this, newItemNode(caption, TPop::ImageIndex, parent), std::move(item), select, parent);
}

NavNode *TMainForm::AddItemNode(const QString &caption, std::unique_ptr<TUser> item, bool select, NavNode *parent)
{
    return addItem(this, newItemNode(caption, TUser::ImageIndex, parent), std::move(item), select, parent);
}

NavNode *TMainForm::AddItemNode(const QString &caption, std::unique_ptr<TGroup> item, bool select, NavNode *parent)
{
    return addItem(this, newItemNode(caption, TGroup::ImageIndex, parent), std::move(item), select, parent);
}

NavNode *TMainForm::selectedNode() const
{
    return tvNav->currentNode();
}

void TMainForm::tvNavChange(QTreeWidgetItem *item)
{
    const FlagScope filling(m_pageFill);
    auto *node = static_cast<NavNode *>(item);
    updateItemActions();
    if (!node)
        return;
    QTreeWidgetItem *parent = node->parent();
    if (parent == nodeIncoming) {
        pctrlMain->setCurrentWidget(tabsIncomingItem);
        ShowPop(node->pop());
    } else if (parent == nodeUsers) {
        pctrlMain->setCurrentWidget(tabsUserItem);
        ShowUser(node->user());
    } else if (parent == nodeGroups) {
        pctrlMain->setCurrentWidget(tabsGroupItem);
        ShowGroup(node->group());
    } else if (node->page) {
        pctrlMain->setCurrentWidget(node->page);
    }
}

void TMainForm::PopupMenu1Popup()
{
    const NavNode *node = selectedNode();
    const QTreeWidgetItem *parent = node ? node->parent() : nullptr;
    const bool root = node && (node == nodeIncoming || node == nodeUsers || node == nodeGroups);
    const bool accountOrUser = node && (parent == nodeIncoming || parent == nodeUsers);
    const bool group = node && parent == nodeGroups;
    actnAdd->setVisible(root);
    actnDelete->setVisible((accountOrUser || group) && !RemoteMode);
    actnReset->setVisible(group && !RemoteMode);
    actnDelMsg->setVisible(group && !RemoteMode);
    updateItemActions();
}

TGroup *TMainForm::selectedGroup() const
{
    const NavNode *node = selectedNode();
    return node && node->parent() == nodeGroups ? node->group() : nullptr;
}

// Commands that work on the selected item are enabled only where they apply, so they
// cannot run on another node however they are reached.
void TMainForm::updateItemActions()
{
    // The archive works on the files in the program's folder: never in remote mode.
    actnDelMsg->setEnabled(selectedGroup() && !RemoteMode);
}

void TMainForm::actnDelMsgExecute()
{
    const TGroup *group = selectedGroup();
    if (!group || RemoteMode)
        return;
    TArchiveForm::execForGroup(m_ctx.programFolder, m_codec.decode(group->Name), *m_clock, *m_prompts, this);
}

// ---------------------------------------------------------------------------------------
// Change tracking

void TMainForm::HookPageControls(QWidget *container)
{
    const QObjectList children = container->children();
    for (QObject *child : children) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || qobject_cast<QLabel *>(w)) // plain labels take no input
            continue;
        if (holdsControls(w))
            HookPageControls(w);
        const bool groupButton = qobject_cast<QRadioButton *>(w) && qobject_cast<RadioGroup *>(container);
        if (groupButton || qobject_cast<QTabWidget *>(w) || qobject_cast<QPushButton *>(w))
            continue;
        if (!HookEvent(w, true))
            HookEvent(w, false);
    }
}

bool TMainForm::HookEvent(QWidget *control, bool changeEvent)
{
    auto route = [this, control]() { DataChange(control); };
    bool hooked = true;
    if (changeEvent) {
        if (auto *m = qobject_cast<MaskedBytesEdit *>(control))
            connect(m, &MaskedBytesEdit::bytesChanged, this, route);
        else if (auto *e = qobject_cast<QLineEdit *>(control))
            connect(e, &QLineEdit::textChanged, this, route);
        else if (auto *n = qobject_cast<SpinEdit *>(control))
            connect(n, &SpinEdit::typed, this, route); // every keystroke, an emptied box too
        else if (auto *s = qobject_cast<QSpinBox *>(control))
            connect(s, &QSpinBox::textChanged, this, route);
        else if (auto *t = qobject_cast<QPlainTextEdit *>(control))
            connect(t, &QPlainTextEdit::textChanged, this, route);
        else if (auto *c = qobject_cast<QComboBox *>(control))
            connect(c, &QComboBox::currentTextChanged, this, route);
        else
            hooked = false;
    } else {
        if (auto *r = qobject_cast<RadioGroup *>(control))
            connect(r, &RadioGroup::clicked, this, route);
        else if (auto *b = qobject_cast<QCheckBox *>(control))
            connect(b, &QCheckBox::clicked, this, route);
        else if (auto *l = qobject_cast<QListWidget *>(control)) {
            connect(l, &QListWidget::itemChanged, this, route); // an entry checked or cleared
            connect(l, &QListWidget::itemClicked, this, route); // a click on an entry's text too
        }
        else if (isPanel(control))
            control->installEventFilter(this);
        else
            hooked = false;
    }
    if (!hooked)
        return false;
    const auto own = m_designHandlers.constFind(control);
    if (own != m_designHandlers.constEnd())
        m_savedHandlers.insert(control->objectName(), *own);
    return true;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    // A click on the free area of a group box or panel counts as a change of its page.
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *w = qobject_cast<QWidget *>(watched);
        auto *me = static_cast<QMouseEvent *>(event);
        if (w && me->button() == Qt::LeftButton && w->rect().contains(me->position().toPoint()))
            DataChange(w);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::DataChange(QObject *sender)
{
    if (m_pageFill)
        return;
    // The edit, with whatever it sets off, is one step of the undo history, which marks
    // the configuration changed. With no node selected the General page is in view: the
    // edit is a change to save even though there is no item to store it into.
    beginEdit(sender);
    const auto stepDone = qScopeGuard([this]() { endEdit(); });
    m_findingsMarker->schedule();
    NavNode *node = selectedNode();
    if (!node)
        return;
    if (TPop *p = node->pop()) {
        StorePop(p);
        setCaptionOf(node);
    } else if (TUser *u = node->user()) {
        StoreUser(u);
        setCaptionOf(node);
    } else if (TGroup *g = node->group()) {
        StoreGroup(g);
        setCaptionOf(node);
    }
    const auto saved = m_savedHandlers.constFind(sender->objectName());
    if (saved != m_savedHandlers.constEnd())
        (*saved)(sender);
}

void TMainForm::rgrpLogFileClick(QObject *)
{
    if (rgrpLogFile->itemIndex() == 1) {
        sedtLogSize->setEnabled(true);
    } else if (rgrpLogFile->itemIndex() == 0) {
        sedtLogSize->setEnabled(false);
        sedtLogSize->setValue(0);
    }
}

bool TMainForm::FormCloseQuery()
{
    if (!m_changed)
        return true;
    switch (m_prompts->yesNoCancel(QStringLiteral("Configuration has changed, do you want to save?"))) {
    case Prompts::Answer::Yes:
        // A save that could not write keeps the window open, so the changes are not lost.
        return actnSaveExecute();
    case Prompts::Answer::No:
        return true;
    case Prompts::Answer::Cancel:
        break;
    }
    return false;
}

void TMainForm::actnExitExecute()
{
    close();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TMainForm::DisplayHint(const QString &hint)
{
    StatusBar1->showMessage(hint);
}

bool TMainForm::event(QEvent *event)
{
    if (event->type() == QEvent::StatusTip) {
        DisplayHint(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    // The first activation shows the tip of the day; a desktop without a window manager
    // never activates the window, so its first showing counts as well.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)
        FormActivate();
    return QMainWindow::event(event);
}
