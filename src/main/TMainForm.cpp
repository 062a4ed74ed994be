#include "main/TMainForm.h"

#include "archive/TArchiveForm.h"
#include "config/AppIdentity.h"
#include "config/ConfigDocument.h"
#include "main/MaskedBytesEdit.h"
#include "main/MembershipChoices.h"
#include "main/MemoText.h"
#include "main/NavIcons.h"
#include "main/NavTree.h"
#include "main/RadioGroup.h"
#include "main/SpinEdit.h"
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
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTextDocument>
#include <algorithm>

namespace {

// Sets a flag for the length of a scope, and clears it on every way out.
class FlagScope
{
public:
    explicit FlagScope(bool &flag)
        : m_flag(flag)
        , m_old(flag)
    {
        m_flag = true;
    }
    ~FlagScope() { m_flag = m_old; }

private:
    bool &m_flag;
    bool m_old;
};

// A spin box's value as the save and the stores read it: text that is not a whole number
// gives the lowest value, and the value stays within the box's range.
int spinValue(const QSpinBox *box)
{
    return SpinEdit::valueOf(box);
}

QByteArray flag(bool on)
{
    return on ? QByteArrayLiteral("Y") : QByteArrayLiteral("N");
}

// Line breaks of any kind as the one the text editor uses.
QString toEditorBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

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
    ImageList2 = NavIcons::imageList();
    setWindowTitle(QString::fromLatin1(AppIdentity::ApplicationTitle));
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
            if (!onPath && n->isExpanded())
                n->setExpanded(false);
        }
        for (QTreeWidgetItem *n = now; n; n = n->parent())
            if (n->childCount() > 0 && !n->isExpanded())
                n->setExpanded(true);
        tvNavChange(now);
    });
    connect(tvNav, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        PopupMenu1Popup();
        const QList<QAction *> entries = PopupMenu1->actions();
        if (std::any_of(entries.begin(), entries.end(), [](QAction *a) { return a->isVisible(); }))
            PopupMenu1->popup(tvNav->viewport()->mapToGlobal(pos));
    });

    connect(actnDelMsg, &QAction::triggered, this, [this]() { actnDelMsgExecute(); });
    connectItemCommands();
    connectPasswordButtons();
    connectLogView();
    updateItemActions();

    fillBindAddresses();
    setupHelp();

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
// Loading

bool TMainForm::LoadConfiguration()
{
    if (RemoteMode) {
        const QString name = m_transfer ? m_transfer->fetchConfig(m_ctx.programFolder) : QString();
        if (name.isEmpty())
            return false; // the fetch has reported why
        m_fileName = name;
    } else {
        m_fileName = QStringLiteral("quilmora.ini");
    }

    const FlagScope filling(m_pageFill);
    ConfigDocument doc;
    // In remote mode the files an old-format configuration names lie on the server's machine.
    doc.linkedFileMode = RemoteMode ? LinkedFiles::Mode::None : LinkedFiles::Mode::Inside;
    QString error;
    if (!doc.load(configFilePath(), m_codec, &error)) {
        // Going on without the items would let a save delete them all: the editor ends.
        m_prompts->error(error);
        return false;
    }
    OldFormat = doc.oldFormat;
    LoadServerSettings(doc.server);
    m_loading = &doc;
    LoadItems(TPop::KindWord, nodeIncoming);
    LoadItems(TGroup::KindWord, nodeGroups);
    LoadItems(TUser::KindWord, nodeUsers);
    m_loading = nullptr;
    m_diskFingerprint = doc.fingerprint;
    if (const QString skipped = doc.linkedFiles.message(); !skipped.isEmpty())
        m_prompts->information(skipped);
    return true;
}

void TMainForm::LoadServerSettings(const ServerSettings &s)
{
    m_server = s;
    sedtPort->setValue(s.Port);
    showText(editName, s.Name);
    showText(editSMTPServer, s.SMTPHost);
    showText(editOutBoundPrefix, s.OutboundPrefix);
    showText(editOutBoundMarker, s.OutboundMarker);
    cmbBindIP->setEditText(m_codec.decode(s.BindIP));
    showText(editAdminEmail, s.AdminEmail);
    chkbAdminEmailActive->setChecked(s.AdminEmailActive);
    showText(editSMTPUserID, s.SMTPUserID);
    editSMTPUserPass->setBytes(s.SMTPUserPass);
    showText(editAdminUser, s.AdminUser);
    editAdminPass->setBytes(s.AdminPass);
    sedtSMTPPort->setValue(s.SMTPPort);
    sedtLogSize->setValue(s.LogSize);
    rgrpLogSettings->setItemIndex(s.Log);
    sedtConfigPort->setValue(s.ConfigPort);
    rgrpLogFile->setItemIndex(sedtLogSize->value() != 0 ? 1 : 0);
    rgrpLogFileClick(rgrpLogFile);
}

void TMainForm::LoadItems(const QByteArray &kindWord, NavNode *root)
{
    if (!m_loading)
        return;
    // One batch for the whole list keeps loading linear in the number of items.
    QList<QTreeWidgetItem *> nodes;
    auto take = [&](auto &items) {
        nodes.reserve(qsizetype(items.size()));
        for (auto &item : items) {
            using Item = typename std::decay_t<decltype(item)>::element_type;
            NavNode *node = newItemNode(m_codec.decode(item->caption()), Item::ImageIndex, root);
            node->item = std::move(item);
            nodes.append(node);
        }
        items.clear();
    };
    if (kindWord == TPop::KindWord)
        take(m_loading->pops);
    else if (kindWord == TGroup::KindWord)
        take(m_loading->groups);
    else if (kindWord == TUser::KindWord)
        take(m_loading->users);
    root->addChildren(nodes);
}

void TMainForm::showText(QLineEdit *edit, const QByteArray &bytes)
{
    edit->setText(m_codec.decode(bytes));
    edit->setCursorPosition(0); // a long value shows its beginning
}

void TMainForm::showMemo(QPlainTextEdit *memo, const QByteArray &bytes)
{
    MemoText::show(memo, toEditorBreaks(m_codec.decode(bytes)));
}

void TMainForm::ShowPop(TPop *item)
{
    if (item) {
        showText(editPopHost, item->Host);
        sedtPopPort->setValue(item->Port);
        showText(editPopUser, item->UserID);
        editPopPass->setBytes(item->Password);
        chkbPopAutoReply->setChecked(item->AutoReply == "Y");
        showText(editPopAutoReplyFrom, item->AutoReplyFrom);
        showMemo(memoPopAutoReplyBody, item->AutoReplyBody);
        showText(editPopAutoReplySubject, item->AutoReplySubject);
        showText(editAutoReplyFromIgnore, item->AutoReplyFromIgnore);
        showText(editSafetyBox, item->SafetyBox);
        chkbOBID->setChecked(item->AssignOutboundID == "Y");
    } else {
        for (QLineEdit *e : {editPopHost, editPopUser, editPopAutoReplyFrom, editPopAutoReplySubject,
                             editAutoReplyFromIgnore, editSafetyBox})
            e->clear();
        editPopPass->setBytes({});
        memoPopAutoReplyBody->clear();
        sedtPopPort->setValue(110);
        cboxPopDefault->setCurrentIndex(-1);
        chkbPopAutoReply->setChecked(false);
        chkbOBID->setChecked(false);
    }
    ShowGroupChoices();
}

void TMainForm::ShowGroup(TGroup *item)
{
    if (item) {
        showText(editGroupName, item->Name);
        showText(editGroupDesc, item->Description);
        showText(editGroupOutboundAddr, item->OutboundAddress);
        showMemo(memoGroupKeys, item->KeyList);
        chkbGroupRO->setChecked(item->ReadOnly == "Y");
    } else {
        editGroupName->clear();
        editGroupDesc->clear();
        editGroupOutboundAddr->clear();
        memoGroupKeys->clear();
        chkbGroupRO->setChecked(false);
    }
    ShowUserChoices();
}

void TMainForm::ShowUser(TUser *item)
{
    showText(editUserDesc, item ? item->Description : QByteArray());
    showText(editUserName, item ? item->Name : QByteArray());
    editUserPass->setBytes(item ? item->Pass : QByteArray());
}

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
    m_groupEntries = m_groupChoices.sortedBytes();
    // The default list keeps the tree's order.
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

// ---------------------------------------------------------------------------------------
// Storing pages into items

QByteArray TMainForm::memoBytes(const QPlainTextEdit *memo, const QByteArray &original) const
{
    // The raw text keeps no-break spaces, which the plain-text view would turn into blanks.
    QString text = MemoText::text(memo);
    if (toEditorBreaks(m_codec.decode(original)) == text)
        return original; // not edited: the bytes stay as they are, breaks included
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return m_codec.encode(text);
}

void TMainForm::StorePop(TPop *item)
{
    item->Host = m_codec.encodeKeeping(editPopHost->text(), item->Host);
    if (!sedtPopPort->cleanText().isEmpty())
        item->Port = spinValue(sedtPopPort);
    item->UserID = m_codec.encodeKeeping(editPopUser->text(), item->UserID);
    item->Password = editPopPass->bytes();
    const int chosen = cboxPopDefault->currentIndex();
    if (chosen < 0)
        item->DefaultGroup.clear();
    else if (m_codec.decode(item->DefaultGroup) != cboxPopDefault->currentText())
        item->DefaultGroup = m_defaultChoices.value(chosen);
    item->AutoReply = flag(chkbPopAutoReply->isChecked());
    item->AutoReplyFrom = m_codec.encodeKeeping(editPopAutoReplyFrom->text(), item->AutoReplyFrom);
    item->AutoReplyBody = memoBytes(memoPopAutoReplyBody, item->AutoReplyBody);
    item->AutoReplySubject = m_codec.encodeKeeping(editPopAutoReplySubject->text(), item->AutoReplySubject);
    item->AutoReplyFromIgnore = m_codec.encodeKeeping(editAutoReplyFromIgnore->text(), item->AutoReplyFromIgnore);
    item->AssignOutboundID = flag(chkbOBID->isChecked());
    item->SafetyBox = m_codec.encodeKeeping(editSafetyBox->text(), item->SafetyBox);
}

void TMainForm::StoreGroup(TGroup *item)
{
    item->Name = m_codec.encodeKeeping(editGroupName->text(), item->Name);
    item->Description = m_codec.encodeKeeping(editGroupDesc->text(), item->Description);
    item->OutboundAddress = m_codec.encodeKeeping(editGroupOutboundAddr->text(), item->OutboundAddress);
    item->KeyList = memoBytes(memoGroupKeys, item->KeyList);
    item->ReadOnly = flag(chkbGroupRO->isChecked());
}

void TMainForm::StoreUser(TUser *item)
{
    item->Description = m_codec.encodeKeeping(editUserDesc->text(), item->Description);
    item->Name = m_codec.encodeKeeping(editUserName->text(), item->Name);
    item->Pass = editUserPass->bytes();
}

void TMainForm::setCaptionOf(NavNode *node)
{
    if (const TPop *p = node->pop())
        node->setText(0, m_codec.decode(p->caption()));
    else if (const TUser *u = node->user())
        node->setText(0, m_codec.decode(u->caption()));
    else if (const TGroup *g = node->group())
        node->setText(0, m_codec.decode(g->caption()));
}

// ---------------------------------------------------------------------------------------
// Saving

ServerSettings TMainForm::serverSettingsFromPages() const
{
    const ServerSettings &was = m_server;
    ServerSettings s = was;
    s.Port = spinValue(sedtPort);
    s.Name = m_codec.encodeKeeping(editName->text(), was.Name);
    s.Version = AppIdentity::AppVersion;
    s.SMTPHost = m_codec.encodeKeeping(editSMTPServer->text(), was.SMTPHost);
    s.OutboundPrefix = m_codec.encodeKeeping(editOutBoundPrefix->text(), was.OutboundPrefix);
    s.OutboundMarker = m_codec.encodeKeeping(editOutBoundMarker->text(), was.OutboundMarker);
    s.BindIP = m_codec.encodeKeeping(cmbBindIP->currentText(), was.BindIP);
    s.AdminEmail = m_codec.encodeKeeping(editAdminEmail->text(), was.AdminEmail);
    s.AdminEmailActive = chkbAdminEmailActive->isChecked();
    s.SMTPUserID = m_codec.encodeKeeping(editSMTPUserID->text(), was.SMTPUserID);
    s.SMTPUserPass = editSMTPUserPass->bytes();
    s.SMTPPort = spinValue(sedtSMTPPort);
    s.LogSize = spinValue(sedtLogSize);
    s.Log = rgrpLogSettings->itemIndex();
    s.AdminUser = m_codec.encodeKeeping(editAdminUser->text(), was.AdminUser);
    s.AdminPass = editAdminPass->bytes();
    s.ConfigPort = spinValue(sedtConfigPort);
    return s;
}

template <typename T>
QList<const T *> TMainForm::itemsUnder(NavNode *root) const
{
    QList<const T *> out;
    out.reserve(root->childCount());
    for (int i = 0; i < root->childCount(); ++i) {
        const auto *node = static_cast<NavNode *>(root->child(i));
        if constexpr (std::is_same_v<T, TPop>)
            out.append(node->pop());
        else if constexpr (std::is_same_v<T, TUser>)
            out.append(node->user());
        else
            out.append(node->group());
    }
    return out;
}

bool TMainForm::actnSaveExecute()
{
    const ServerSettings settings = serverSettingsFromPages();
    const QByteArray bytes = ConfigDocument::render(settings, itemsUnder<TPop>(nodeIncoming),
                                                    itemsUnder<TUser>(nodeUsers), itemsUnder<TGroup>(nodeGroups));
    QString error;
    // Another program's change is not overwritten unasked; No keeps the edits unsaved.
    if (ConfigDocument::changedOnDisk(configFilePath(), m_diskFingerprint) &&
        !m_prompts->yesNo(ConfigDocument::changedOnDiskText() + QStringLiteral(" Overwrite it?")))
        return false;
    // Written atomically: a failed write keeps the previous file and the changed flag.
    if (!ConfigDocument::saveBytes(configFilePath(), bytes, &error)) {
        m_prompts->error(error);
        return false;
    }
    m_diskFingerprint = SafeFile::fingerprintOf(configFilePath());
    m_server = settings;
    if (RemoteMode && m_transfer)
        m_transfer->putConfig(m_ctx.programFolder); // reports its own failure
    m_changed = false;
    return true;
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
    // With no node selected the General page is in view: the edit is a change to save
    // even though there is no item to store it into.
    m_changed = true;
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
