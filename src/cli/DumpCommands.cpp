// dump and normalize: load as the editor does at start-up; print, or save unchanged.
#include "cli/CliCommand.h"
#include "cli/ItemKeys.h"
#include "cli/JsonWriter.h"
#include "config/ConfigDocument.h"

#include <QFileInfo>
#include <utility>

namespace {

int runDump(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    ConfigDocument doc;
    doc.takeFingerprint = false; // nothing is saved
    QString error;
    if (!Cli::loadConfiguration(ctx, doc, &error))
        return ctx.fail(error);

    // The keys, their order and forms come from the one table that get, set, add and apply
    // also follow.
    using ItemKeys::Kind;
    JsonWriter j;
    // The JSON of a configuration is about 1.3 times its size.
    j.reserve(QFileInfo(ctx.configPath()).size() * 2);
    j.beginObject();
    j.value("oldFormat", doc.oldFormat);
    ItemKeys::writeItemJson(j, doc, Kind::Server, -1, ctx.codec, "server");
    for (const auto &[kind, plural] : {std::pair{Kind::Pop, "pops"}, std::pair{Kind::User, "users"},
                                       std::pair{Kind::Group, "groups"}}) {
        j.beginArray(plural);
        const int n = ItemKeys::count(doc, kind);
        for (int i = 0; i < n; ++i)
            ItemKeys::writeItemJson(j, doc, kind, i, ctx.codec);
        j.endArray();
    }
    j.endObject();
    ctx.out(j.bytes());
    return 0;
}

int runNormalize(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    Cli::ConfigEdit edit(ctx);
    QString error;
    if (!edit.load(&error) || !edit.save(&error))
        return ctx.fail(error);
    return 0;
}

const CliRegistration dumpReg{{"dump", "", "print the configuration as one JSON object", &runDump}};
const CliRegistration normalizeReg{{"normalize", "", "load and save the configuration without any change", &runNormalize}};

} // namespace
