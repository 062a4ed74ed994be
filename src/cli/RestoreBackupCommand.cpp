// restore-backup: the configuration's backup becomes the configuration again.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ConfigDiff.h"
#include "config/ConfigDocument.h"

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

int runRestoreBackup(CliContext &ctx)
{
    const bool dryRun = Cli::takeSwitch(ctx.args, QStringLiteral("--dry-run"));
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    const QString backupPath = ctx.configPath() + QStringLiteral(".bak");
    if (!QFileInfo::exists(backupPath))
        return ctx.fail(QStringLiteral("No backup at ") + backupPath);
    ConfigDocument backup;
    QString error;
    if (!ConfigChange::loadExisting(ctx.folder, backupPath, ctx.codec, &backup, &error))
        return ctx.fail(error);
    if (dryRun) {
        ConfigDocument mine;
        if (!ConfigChange::loadExisting(ctx, &mine, &error))
            return ctx.fail(error);
        ctx.out(ConfigDiff::text(ConfigDiff::compare(mine, backup, ctx.codec), ctx.codec));
        return 0;
    }
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &) {
        takeContent(doc, backup);
    });
}

const CliRegistration restoreReg{{"restore-backup", "[--dry-run]",
                                  "make the configuration's backup the configuration again", &runRestoreBackup}};

} // namespace
