// dump and normalize: load as the editor does at start-up; print, or save unchanged.
#include "cli/CliCommand.h"
#include "cli/ItemKeys.h"
#include "cli/JsonWriter.h"
#include "config/ConfigDocument.h"

#include <utility>

namespace {

int runDump(CliContext &ctx)
{
    const bool secrets = !Cli::takeSwitch(ctx.args, QStringLiteral("--no-secrets"));
    const bool sha256 = Cli::takeSwitch(ctx.args, QStringLiteral("--sha256"));
    // --only KIND[,KIND...]: the members of those kinds alone (server, pops, users, groups),
    // for a reader that needs only them from a large configuration.
    QString only;
    bool limited = false;
    if (!Cli::takeOption(ctx.args, QStringLiteral("--only"), &only, &limited))
        return ctx.usageError(QStringLiteral("option --only needs server, pops, users or groups"));
    const QStringList kinds = only.split(QLatin1Char(','));
    for (const QString &k : kinds) {
        if (limited && k != QLatin1String("server") && k != QLatin1String("pops") && k != QLatin1String("users")
            && k != QLatin1String("groups"))
            return ctx.usageError(QStringLiteral("--only takes server, pops, users or groups, not ") + k);
    }
    const auto wanted = [&](const char *member) { return !limited || kinds.contains(QLatin1String(member)); };
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    ConfigDocument doc;
    doc.keepSha256 = sha256;
    doc.takeFingerprint = false; // nothing is saved
    QString error;
    if (!Cli::loadConfiguration(ctx, doc, &error))
        return ctx.fail(error);

    // The keys, their order and forms come from the one table that get, set, add and apply
    // also follow.
    using ItemKeys::Kind;
    // The JSON (about 1.3 times the file's size) goes out in pieces of about a megabyte as
    // it is written, between items, so that it is never held whole beside the items.
    constexpr qsizetype kPiece = 1 << 20;
    JsonWriter j;
    j.reserve(kPiece + kPiece / 4);
    const auto flushFull = [&] {
        if (j.size() >= kPiece) {
            ctx.out(j.bytes());
            j.discardWritten();
        }
    };
    j.beginObject();
    j.value("oldFormat", doc.oldFormat);
    if (wanted("server"))
        ItemKeys::writeItemJson(j, doc, Kind::Server, -1, ctx.codec, "server", secrets);
    for (const auto &[kind, plural] : {std::pair{Kind::Pop, "pops"}, std::pair{Kind::User, "users"},
                                       std::pair{Kind::Group, "groups"}}) {
        if (!wanted(plural))
            continue;
        j.beginArray(plural);
        const int n = ItemKeys::count(doc, kind);
        for (int i = 0; i < n; ++i) {
            ItemKeys::writeItemJson(j, doc, kind, i, ctx.codec, nullptr, secrets);
            flushFull();
        }
        j.endArray();
    }
    // The fingerprint of exactly the bytes this dump shows, for apply --expect-sha256.
    if (sha256)
        j.value("sha256", QString::fromLatin1(doc.sha256));
    j.endObject();
    ctx.out(j.bytes());
    return 0;
}

int runNormalize(CliContext &ctx)
{
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    Cli::ConfigEdit edit(ctx);
    QString error;
    if (!edit.load(&error) || !edit.save(&error))
        return ctx.fail(error);
    return 0;
}

const CliRegistration dumpReg{{"dump", "[--no-secrets] [--sha256] [--only KIND,...]", "print the configuration as one JSON object", &runDump}};
const CliRegistration normalizeReg{{"normalize", "", "load and save the configuration without any change", &runNormalize}};

} // namespace
