// purge: takes a group's expired messages out of its index files, as Delete in the message
// archive dialog does. It needs only the group's name and the program folder: the
// configuration file is not read.
#include "archive/MsgArchive.h"
#include "cli/CliCommand.h"
#include "config/GroupDataFolder.h"
#include "platform/Clock.h"

#include <QRegularExpression>

namespace {

QString summary(const MsgArchive::PurgeResult &r, bool dryRun)
{
    return QStringLiteral("%1 %2 %3 (xover.dat %4, msgid.dat %5, outbound.dat %6, message files %7)")
        .arg(r.removedXover)
        .arg(r.removedXover == 1 ? QStringLiteral("entry") : QStringLiteral("entries"),
             dryRun ? QStringLiteral("would be removed") : QStringLiteral("removed"))
        .arg(r.removedXover)
        .arg(r.removedMsgid)
        .arg(r.removedOutbound)
        .arg(r.messageFilesRemoved);
}

int runPurge(CliContext &ctx)
{
    QStringList args = ctx.args;
    QString days;
    QString before;
    bool hasDays = false;
    bool hasBefore = false;
    if (!Cli::takeOption(args, QStringLiteral("--older-than"), &days, &hasDays))
        return ctx.usageError(QStringLiteral("option --older-than needs a number of days"));
    if (!Cli::takeOption(args, QStringLiteral("--before"), &before, &hasBefore))
        return ctx.usageError(QStringLiteral("option --before needs a date"));
    const bool dryRun = Cli::takeSwitch(args, QStringLiteral("--dry-run"));

    if (QString unknown; !Cli::endOptions(args, &unknown))
        return ctx.usageError(QStringLiteral("unknown option ") + unknown);
    if (args.isEmpty())
        return ctx.usageError(QStringLiteral("no group given"));
    if (args.size() > 1)
        return ctx.usageError(QStringLiteral("unexpected argument ") + args.at(1));
    if (hasDays == hasBefore)
        return ctx.usageError(QStringLiteral("give either --older-than DAYS or --before YYYY-MM-DD"));

    MsgArchive::DateTime cutOff = 0;
    if (hasDays) {
        bool ok = false;
        const int count = days.toInt(&ok);
        if (!ok)
            return ctx.usageError(QStringLiteral("--older-than needs a whole number of days, not ") + days);
        cutOff = MsgArchive::cutOffOlderThan(SystemClock().today(), count);
    } else {
        static const QRegularExpression isoDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        const QDate date = QDate::fromString(before, Qt::ISODate);
        if (!isoDate.match(before).hasMatch() || !date.isValid())
            return ctx.usageError(QStringLiteral("--before needs a date YYYY-MM-DD, not ") + before);
        cutOff = MsgArchive::cutOffBefore(date);
    }

    QString error;
    const QString folder = GroupDataFolder::path(ctx.folder, args.first(), &error);
    if (folder.isEmpty())
        return ctx.fail(error);

    MsgArchive::PurgeOptions options;
    options.dryRun = dryRun;
    options.listKeys = dryRun;
    const MsgArchive::PurgeResult result = MsgArchive::PurgeGroup(folder, cutOff, options);
    if (!result.ok)
        return ctx.fail(result.error);
    if (dryRun) {
        // The keys of the entries that would go, one a line, then the counts.
        QByteArray keys;
        for (const QByteArray &key : result.removedKeys)
            keys += key + '\n';
        ctx.out(keys);
    }
    ctx.outLine(summary(result, dryRun));
    return 0;
}

const CliRegistration purgeReg{
    {"purge", "GROUP (--older-than DAYS | --before YYYY-MM-DD) [--dry-run]",
     "purge the group's messages dated before the cut-off from its index files; prints how many "
     "entries were removed (--dry-run: the keys and counts that would go, nothing changed)",
     &runPurge}};

} // namespace
