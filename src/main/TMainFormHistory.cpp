#include "main/TMainForm.h"

#include "config/ConfigBytes.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/History.h"
#include "main/HistoryDialog.h"
#include "platform/Prompts.h"

#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <QUndoStack>

// File, History...: the versions every save keeps in history.git; restoring one.

void TMainForm::buildHistoryAction(QMenu *file)
{
    actnHistory = new QAction(QStringLiteral("History..."), this);
    actnHistory->setObjectName(QStringLiteral("actnHistory"));
    actnHistory->setStatusTip(QStringLiteral("List the saved versions and load one as unsaved changes"));
    actnHistory->setToolTip(actnHistory->statusTip());
    connect(actnHistory, &QAction::triggered, this, [this]() { actnHistoryExecute(); });
    file->addAction(actnHistory);
    // A history that cannot be written is told in the status bar; the save itself went through.
    History::setWarningSink([this](const QString &text) { statusBar()->showMessage(text); });
    connect(this, &QObject::destroyed, [] { History::setWarningSink({}); });
}

bool TMainForm::actnHistoryExecute()
{
    History::Repository repo;
    QString error;
    QList<History::Version> versions;
    if (!repo.open(m_ctx.programFolder, m_fileName, &error) || !repo.versions(&versions, -1, &error)) {
        m_prompts->error(error);
        return false;
    }
    const auto reader = [this, &repo](const QByteArray &revision, ConfigDocument *doc, QString *why) {
        QByteArray bytes;
        if (!repo.fileAt(revision, &bytes, why) || !ConfigBytes::prepare(bytes, QStringLiteral("The version"), why))
            return false;
        return doc->loadFromStore(ConfigStore::fromBytes(std::move(bytes)), m_codec, why);
    };
    const ConfigDocument current = windowDocument();
    HistoryDialog dialog(versions, reader, current, m_codec, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ConfigDocument restored;
    if (!reader(dialog.chosenRevision(), &restored, &error)) {
        m_prompts->error(error);
        return false;
    }
    // As Restore Backup: the version's content in the window, to be saved over the file;
    // what is known of the file on disk stays.
    showDocument(restored);
    m_undoStack->resetClean();
    return true;
}
