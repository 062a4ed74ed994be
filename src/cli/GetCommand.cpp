// get: a key's value, or an item as dump prints it.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ItemKeys.h"
#include "cli/JsonWriter.h"
#include "config/ConfigDocument.h"

namespace {

int runGet(CliContext &ctx)
{
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no item given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    // Only the kind of item asked for is read, and for the server the file only up to the
    // end of its SERVER section: no address resolves against another kind.
    ConfigDocument doc;
    doc.takeFingerprint = false;
    doc.loadParts = ItemKeys::partsNamed(ctx.args.first());
    QString error;
    if (!ConfigChange::loadExisting(ctx, &doc, &error))
        return ctx.fail(error);
    ItemKeys::Address a;
    if (!ItemKeys::resolve(ctx.args.first(), doc, ctx.codec, &a, &error))
        return ctx.fail(error);
    if (a.key < 0) {
        JsonWriter j;
        ItemKeys::writeItemJson(j, doc, a.kind, a.index, ctx.codec);
        ctx.out(j.bytes());
        return 0;
    }
    const ItemKeys::Key &key = ItemKeys::keys(a.kind)[a.key];
    ctx.out(ItemKeys::formatValue(key.form, ItemKeys::get(doc, a.kind, a.index, a.key), ctx.codec).toUtf8());
    return 0;
}

const CliRegistration getReg{{"get", "ITEM[.KEY]", "print a key's value, or an item as JSON", &runGet}};

} // namespace
