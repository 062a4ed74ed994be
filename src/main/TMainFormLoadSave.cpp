#include "main/TMainForm.h"

#include "main/TMainFormDetail.h"

#include "config/AppIdentity.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "main/ConfigPreload.h"
#include "main/FindingsMarker.h"
#include "widgets/MaskedBytesEdit.h"
#include "main/MemoText.h"
#include "main/NavTree.h"
#include "main/StartupTrace.h"
#include "widgets/RadioGroup.h"
#include "platform/Prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QUndoStack>

// Loading the configuration into the pages and items, storing pages into items, saving.

using namespace MainFormDetail;

namespace {
// How long a save waits for a command of quilmora-config that holds the folder's lock.
constexpr int SaveLockWaitMs = 10000;
} // namespace

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

    ConfigDocument doc;
    // A read made ahead while start-up waited stands for this one when the file has not
    // changed since; otherwise (or in remote mode, where it is let go) the file is read now.
    std::unique_ptr<ConfigPreload::Loaded> early;
    if (m_ctx.preload)
        early = m_ctx.preload->take(RemoteMode ? QString() : configFilePath());
    if (early) {
        doc = std::move(early->doc);
        if (const QString skipped = doc.linkedFiles.message(); !skipped.isEmpty())
            m_prompts->information(skipped);
    } else if (!readDocument(configFilePath(), &doc)) {
        // Going on without the items would let a save delete them all: the editor ends.
        return false;
    }
    StartupTrace::mark("config-loaded");
    m_loadedAhead = early.get();
    showDocument(doc);
    m_loadedAhead = nullptr;
    StartupTrace::mark("tree-filled");
    m_diskFingerprint = doc.fingerprint;
    m_changed = false;
    return true;
}

bool TMainForm::readDocument(const QString &path, ConfigDocument *doc)
{
    // In remote mode the files an old-format configuration names lie on the server's machine.
    doc->linkedFileMode = RemoteMode ? LinkedFiles::Mode::None : LinkedFiles::Mode::Inside;
    QString error;
    if (!doc->load(path, m_codec, &error)) {
        m_prompts->error(error);
        return false;
    }
    if (const QString skipped = doc->linkedFiles.message(); !skipped.isEmpty())
        m_prompts->information(skipped);
    return true;
}

void TMainForm::showDocument(ConfigDocument &doc)
{
    const FlagScope filling(m_pageFill);
    // The items of an earlier load go first; the General page stands in view meanwhile.
    if (nodeIncoming->childCount() + nodeUsers->childCount() + nodeGroups->childCount() > 0) {
        tvNav->setCurrentItem(nodeGeneral);
        for (NavNode *root : {nodeIncoming, nodeUsers, nodeGroups})
            qDeleteAll(root->takeChildren());
    }
    OldFormat = doc.oldFormat;
    LoadServerSettings(doc.server);
    m_loading = &doc;
    LoadItems(TPop::KindWord, nodeIncoming);
    LoadItems(TGroup::KindWord, nodeGroups);
    LoadItems(TUser::KindWord, nodeUsers);
    m_loading = nullptr;
    tvNavChange(tvNav->currentItem());
    if (m_findingsMarker)
        m_findingsMarker->schedule();
    clearEditHistory(); // nothing before a load can be undone
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
    if (kindWord == TPop::KindWord)
        nodes = m_loadedAhead ? std::exchange(m_loadedAhead->popNodes, {})
                              : NavNode::makeItemNodes(m_loading->pops, m_codec, ImageList2.value(TPop::ImageIndex));
    else if (kindWord == TGroup::KindWord)
        nodes = m_loadedAhead ? std::exchange(m_loadedAhead->groupNodes, {})
                              : NavNode::makeItemNodes(m_loading->groups, m_codec, ImageList2.value(TGroup::ImageIndex));
    else if (kindWord == TUser::KindWord)
        nodes = m_loadedAhead ? std::exchange(m_loadedAhead->userNodes, {})
                              : NavNode::makeItemNodes(m_loading->users, m_codec, ImageList2.value(TUser::ImageIndex));
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
    QByteArray caption;
    bool unnamed = false;
    if (const TPop *p = node->pop()) {
        caption = p->caption();
        unnamed = p->UserID.isEmpty() && p->Host.isEmpty();
    } else if (const TUser *u = node->user()) {
        caption = u->caption();
        unnamed = caption.isEmpty();
    } else if (const TGroup *g = node->group()) {
        caption = g->caption();
        unnamed = caption.isEmpty();
    } else {
        return;
    }
    // A new item reads "New" while it has no name (also when its name is cleared again),
    // so that no blank row shows.
    if (unnamed && (node->added || node->text(0) == QLatin1String("New"))) {
        node->setText(0, QStringLiteral("New"));
        return;
    }
    node->setText(0, m_codec.decode(caption));
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

// What the window holds, as the save would write it.
ConfigDocument TMainForm::windowDocument() const
{
    const QByteArray bytes = ConfigDocument::render(serverSettingsFromPages(), itemsUnder<TPop>(nodeIncoming),
                                                    itemsUnder<TUser>(nodeUsers), itemsUnder<TGroup>(nodeGroups));
    ConfigDocument doc;
    QString error;
    doc.loadFromStore(ConfigStore::fromBytes(bytes), m_codec, &error);
    return doc;
}

bool TMainForm::actnSaveExecute()
{
    const ServerSettings settings = serverSettingsFromPages();
    const QByteArray bytes = ConfigDocument::render(settings, itemsUnder<TPop>(nodeIncoming),
                                                    itemsUnder<TUser>(nodeUsers), itemsUnder<TGroup>(nodeGroups));
    const QString path = configFilePath();
    // Another program's change is not overwritten unasked; No keeps the edits unsaved. Yes
    // agrees to overwrite the file as it stands now, not whatever comes after.
    SafeFile::Fingerprint expected = m_diskFingerprint;
    if (ConfigDocument::changedOnDisk(path, expected)) {
        if (!m_prompts->yesNo(ConfigDocument::changedOnDiskText() + QStringLiteral(" Overwrite it?")))
            return false;
        expected = SafeFile::fingerprintOf(path);
    }
    // The folder's lock, as quilmora-config's commands take it, so a command's load-change-
    // save and this save run one after the other. Taken after the question: no dialog waits
    // while it is held.
    QString error;
    SafeFile::FolderLock lock;
    if (!lock.acquire(QFileInfo(path).absolutePath(), SaveLockWaitMs, &error)) {
        m_prompts->error(error);
        return false;
    }
    // Written atomically, and only over the file agreed to: a change by a program that takes
    // no lock, made while the new file was written, is still noticed. A failed write keeps
    // the previous file and the changed flag.
    QString warning;
    if (!ConfigDocument::saveBytesChecked(path, bytes, expected, &error, &warning)) {
        m_prompts->error(error);
        return false;
    }
    m_diskFingerprint = expected;
    if (!warning.isEmpty())
        m_prompts->warning(warning);
    m_server = settings;
    if (RemoteMode && m_transfer) {
        m_transfer->putConfig(m_ctx.programFolder); // reports its own failure
        // A copy the server did not get keeps the title's mark until a save sends it.
        m_unsent = !m_transfer->lastPutSent();
    }
    // What is saved is the undo history's clean state: undoing back to it leaves nothing
    // to save.
    m_undoStack->setClean();
    showChangedMark();
    return true;
}

