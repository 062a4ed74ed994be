#include "main/TMainForm.h"

#include "config/BackupRestore.h"
#include "config/ConfigDocument.h"
#include "main/NavTree.h"
#include "main/ReviewChangesDialog.h"
#include "platform/Prompts.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QUndoStack>

// File, Review Changes; Revert to Saved; Restore Backup.

void TMainForm::buildReviewActions(QMenu *file)
{
    actnReview = new QAction(QStringLiteral("Review Changes..."), this);
    actnReview->setObjectName(QStringLiteral("actnReview"));
    actnReview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    actnReview->setStatusTip(QStringLiteral("List what a save would change in the file"));
    actnRevert = new QAction(QStringLiteral("Revert to Saved"), this);
    actnRevert->setObjectName(QStringLiteral("actnRevert"));
    actnRevert->setStatusTip(QStringLiteral("Throw the unsaved changes away and load the file again"));
    actnRestoreBackup = new QAction(QStringLiteral("Restore Backup..."), this);
    actnRestoreBackup->setObjectName(QStringLiteral("actnRestoreBackup"));
    actnRestoreBackup->setStatusTip(QStringLiteral("Load the backup of the last save as unsaved changes"));
    for (QAction *a : {actnReview, actnRevert, actnRestoreBackup})
        a->setToolTip(a->statusTip());
    connect(actnReview, &QAction::triggered, this, [this]() { actnReviewExecute(); });
    connect(actnRevert, &QAction::triggered, this, [this]() { actnRevertExecute(); });
    connect(actnRestoreBackup, &QAction::triggered, this, [this]() { actnRestoreBackupExecute(); });
    // Whether there is a backup is asked each time the menu opens: a save or another
    // program may have made or removed one.
    connect(file, &QMenu::aboutToShow, this,
            [this]() { actnRestoreBackup->setEnabled(QFileInfo(backupFilePath()).isFile()); });
    file->addAction(actnReview);
    file->addAction(actnRevert);
    file->addAction(actnRestoreBackup);
}

void TMainForm::actnReviewExecute()
{
    ConfigDocument onDisk;
    if (!readSavedDocument(&onDisk))
        return;
    const ConfigDocument pending = windowDocument();
    ReviewChangesDialog dialog(onDisk, pending, m_codec, ReviewChangesDialog::Buttons::Close, this);
    connect(&dialog, &ReviewChangesDialog::itemChosen, this, &TMainForm::selectChange);
    dialog.exec();
}

// The file as saved; one that is gone compares as an empty configuration.
bool TMainForm::readSavedDocument(ConfigDocument *doc)
{
    doc->linkedFileMode = LinkedFiles::Mode::None;
    QString error;
    if (QFileInfo::exists(configFilePath()) && !doc->load(configFilePath(), m_codec, &error)) {
        m_prompts->error(error);
        return false;
    }
    return true;
}

bool TMainForm::actnRevertExecute()
{
    if (!m_prompts->yesNo(QStringLiteral("Throw away all changes made since the last save and load %1 again?")
                              .arg(configFilePath())))
        return false;
    ConfigDocument doc;
    if (!readDocument(configFilePath(), &doc))
        return false;
    showDocument(doc);
    m_diskFingerprint = doc.fingerprint;
    m_changed = false;
    return true;
}

QString TMainForm::backupFilePath() const
{
    return BackupRestore::backupPath(configFilePath());
}

bool TMainForm::actnRestoreBackupExecute()
{
    const QString backup = backupFilePath();
    if (!QFileInfo(backup).isFile()) {
        m_prompts->error(QStringLiteral("No backup at ") + backup);
        return false;
    }
    // The backup is the folder's own earlier file: an old-format one reads the files it
    // names inside the folder, as the load of the file itself does (none in remote mode,
    // where they lie on the server's machine).
    ConfigDocument restored;
    BackupRestore::Loaded loaded;
    QString error;
    if (!BackupRestore::load(m_ctx.programFolder, configFilePath(), !RemoteMode, m_codec, &restored, &loaded, &error)) {
        m_prompts->error(error);
        return false;
    }
    if (loaded.empty &&
        !m_prompts->yesNo(BackupRestore::emptyBackupText(backup) + QStringLiteral(" Restore it all the same?")))
        return false;
    if (!loaded.notes.isEmpty())
        m_prompts->information(loaded.notes);
    // The review is of what the restore does to the window: unsaved edits it throws away
    // are listed too.
    const ConfigDocument held = windowDocument();
    ReviewChangesDialog dialog(held, restored, m_codec, ReviewChangesDialog::Buttons::OkCancel, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // The backup's content in the window, to be saved over the file: what is known of the
    // file on disk stays, so the save still sees another program's change.
    showDocument(restored);
    m_undoStack->resetClean(); // no step leads back to the saved file
    return true;
}

void TMainForm::selectChange(ItemKeys::Kind kind, int index)
{
    NavNode *root = nullptr;
    switch (kind) {
    case ItemKeys::Kind::Server: tvNav->setCurrentItem(nodeGeneral); return;
    case ItemKeys::Kind::Pop: root = nodeIncoming; break;
    case ItemKeys::Kind::User: root = nodeUsers; break;
    case ItemKeys::Kind::Group: root = nodeGroups; break;
    }
    if (index >= 0 && index < root->childCount())
        tvNav->setCurrentItem(root->child(index));
    else
        tvNav->setCurrentItem(root);
}
