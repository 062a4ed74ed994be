// apply: makes a JSON object of dump's form the configuration.
#include "cli/CliCommand.h"
#include "cli/ConfigDiff.h"
#include "cli/ConfigChange.h"
#include "cli/ConfigJsonReader.h"
#include "config/ConfigDocument.h"

namespace {

int runApply(CliContext &ctx)
{
    const bool dryRun = Cli::takeSwitch(ctx.args, QStringLiteral("--dry-run"));
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no file given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    QByteArray json;
    QString error;
    if (!ConfigChange::readFile(ctx.args.first(), &json, &error))
        return ctx.fail(error);
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        ConfigDocument wanted;
        if (!readConfigJson(json, doc, ctx.codec, &wanted, &edit.error))
            return;
        if (dryRun) {
            edit.write = false;
            edit.output = ConfigDiff::text(ConfigDiff::compare(doc, wanted, ctx.codec), ctx.codec);
            return;
        }
        // The content only: what the load knows of the file itself (when it was read) stays.
        doc.server = wanted.server;
        doc.pops = std::move(wanted.pops);
        doc.users = std::move(wanted.users);
        doc.groups = std::move(wanted.groups);
        doc.oldFormat = false;
    });
}

const CliRegistration applyReg{{"apply", "FILE [--dry-run]", "make a JSON object of dump's form the configuration",
                                &runApply}};

} // namespace
