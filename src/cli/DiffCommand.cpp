// diff: what differs between the configuration and another configuration file.
#include "cli/CliCommand.h"
#include "cli/ConfigDiff.h"
#include "cli/ConfigChange.h"
#include "config/ConfigDocument.h"

#include <QDir>
#include <QFileInfo>

namespace {

int runDiff(CliContext &ctx)
{
    const bool json = Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no file to compare with")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    // As diff(1) does: 0 the same, 1 different, 2 trouble (here also a file that cannot be read).
    ConfigDocument mine, other;
    QString error;
    if (!ConfigChange::loadExisting(ctx, &mine, &error)) {
        ctx.fail(error);
        return 2;
    }
    const QString otherPath = QDir::current().absoluteFilePath(ctx.args.first());
    if (!ConfigChange::loadExisting(QFileInfo(otherPath).absolutePath(), otherPath, ctx.codec, &other, &error)) {
        ctx.fail(error);
        return 2;
    }
    const QList<ConfigDiff::Entry> entries = ConfigDiff::compare(mine, other, ctx.codec);
    ctx.out(json ? ConfigDiff::json(entries, ctx.codec) : ConfigDiff::text(entries, ctx.codec));
    return entries.isEmpty() ? 0 : 1;
}

const CliRegistration diffReg{{"diff", "OTHER [--json]", "show what differs from another configuration file", &runDiff}};

} // namespace
