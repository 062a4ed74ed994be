// restore-backup: the configuration's backup becomes the configuration again.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ConfigDiff.h"
#include "config/BackupRestore.h"
#include "config/ConfigDocument.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Takes everything the backup holds into `doc`; what `doc` knows of the file on disk (its
// fingerprint, for the save's check) stays.
void takeContent(ConfigDocument &doc, ConfigDocument &backup)
{
    doc.server = std::move(backup.server);
    doc.oldFormat = backup.oldFormat;
    doc.pops = std::move(backup.pops);
    doc.users = std::move(backup.users);
    doc.groups = std::move(backup.groups);
}

// Whether the configuration is the folder's own file (whose backup reads the files an
// old-format file names), as the load of the configuration itself decides it.
bool isOwnConfiguration(const CliContext &ctx)
{
    if (!ctx.fileNameGiven)
        return true;
    const QString own = QFileInfo(QDir(ctx.folder).filePath(QStringLiteral("quilmora.ini"))).canonicalFilePath();
    return !own.isEmpty() && QFileInfo(ctx.configPath()).canonicalFilePath() == own;
}

int runRestoreBackup(CliContext &ctx)
{
    const bool dryRun = Cli::takeSwitch(ctx.args, QStringLiteral("--dry-run"));
    const bool force = Cli::takeSwitch(ctx.args, QStringLiteral("--force"));
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());

    // The backup where the save put it: beside the file it replaced (a link's target).
    ConfigDocument backup;
    BackupRestore::Loaded loaded;
    QString error;
    if (!BackupRestore::load(ctx.folder, ctx.configPath(), isOwnConfiguration(ctx), ctx.codec, &backup, &loaded, &error))
        return ctx.fail(error);
    if (loaded.empty && !force)
        return ctx.fail(BackupRestore::emptyBackupText(BackupRestore::backupPath(ctx.configPath())) +
                        QStringLiteral(" Give --force to restore it all the same."));
    if (!loaded.notes.isEmpty())
        ctx.warn(loaded.notes);

    if (dryRun) {
        // A current configuration that cannot be loaded is what a backup is for: the review
        // says so and compares with an empty configuration.
        ConfigDocument mine;
        if (!ConfigChange::loadExisting(ctx, &mine, &error)) {
            ctx.outLine(BackupRestore::unreadableCurrentText(error));
            mine = ConfigDocument();
        }
        ctx.out(ConfigDiff::text(ConfigDiff::compare(mine, backup, ctx.codec), ctx.codec));
        return 0;
    }

    Cli::ConfigEdit config(ctx);
    QString unreadable;
    if (!config.loadForReplace(&error, &unreadable))
        return ctx.fail(error);
    if (!unreadable.isEmpty())
        ctx.warn(BackupRestore::unreadableCurrentText(unreadable));
    takeContent(config.doc, backup);
    if (!config.save(&error))
        return ctx.fail(error);
    return 0;
}

const CliRegistration restoreReg{{"restore-backup", "[--dry-run] [--force]",
                                  "make the configuration's backup the configuration again (--force: also an empty "
                                  "backup)",
                                  &runRestoreBackup}};

} // namespace
