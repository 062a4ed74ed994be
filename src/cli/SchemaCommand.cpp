// schema: the keys of the server and the items as the editor's window shows them, for front
// ends that build their forms from the core's key table instead of a copy of it.
#include "cli/CliCommand.h"
#include "cli/CliHelp.h"
#include "cli/ItemKeys.h"
#include "cli/JsonWriter.h"

#include <utility>

namespace {

int runSchema(CliContext &ctx)
{
    // JSON is the one form; --json is accepted so that a caller can say which it expects.
    Cli::takeSwitch(ctx.args, QStringLiteral("--json"));
    Cli::endOptions(ctx.args);
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    using ItemKeys::Kind;
    JsonWriter j;
    j.beginObject();
    for (const auto &[kind, member] : {std::pair{Kind::Server, "server"}, std::pair{Kind::Pop, "pops"},
                                       std::pair{Kind::User, "users"}, std::pair{Kind::Group, "groups"}}) {
        j.beginArray(member);
        for (const ItemKeys::Key &key : ItemKeys::keys(kind)) {
            j.beginObject();
            j.value("key", QString::fromLatin1(key.name));
            j.value("form", QString::fromLatin1(ItemKeys::formName(key.form)));
            if (key.form == ItemKeys::Form::Integer) {
                j.value("min", key.min);
                j.value("max", key.max);
            }
            j.value("settable", key.settable);
            j.value("caption", QString::fromUtf8(key.caption));
            j.value("hint", QString::fromUtf8(key.hint));
            j.value("page", QString::fromUtf8(key.page));
            j.value("box", QString::fromUtf8(key.box));
            j.value("control", QString::fromLatin1(key.control));
            if (*key.choices)
                j.stringArray("choices", QString::fromUtf8(key.choices).split(QLatin1Char('|')));
            j.endObject();
        }
        j.endArray();
    }
    j.endObject();
    ctx.out(j.bytes() + '\n');
    return 0;
}

const CliRegistration schemaReg{{"schema", "[--json]",
                                 "print every key with its form, range, caption, hint, page and box as JSON",
                                 &runSchema}};

const CliHelpRegistration schemaHelp{
    "schema",
    "One JSON object with the members server, pops, users and groups, each an array of\n"
    "{\"key\", \"form\", \"min\", \"max\" (integers only), \"settable\", \"caption\", \"hint\",\n"
    "\"page\", \"box\", \"control\", \"choices\" (radio groups only)} in dump's key order. Forms:\n"
    "text, multiline, integer, switch, flag, list, bytes. No configuration is read.\n\n"
    "Options:\n"
    "  --json          the JSON form (the only one)\n"
    "%END%\n"
    "Exit status:\n"
    "  0  printed\n"
    "  2  usage error\n"};

} // namespace
