// add: a new user, group or incoming account with the editor's defaults, then its keys.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ItemKeys.h"
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"

namespace {

using ItemKeys::Kind;

int runAdd(CliContext &ctx)
{
    Cli::endOptions(ctx.args);
    if (ctx.args.size() < 2)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no kind given") : QStringLiteral("no name given"));
    const QString kindText = ctx.args.takeFirst();
    Kind kind;
    if (kindText == QLatin1String("user"))
        kind = Kind::User;
    else if (kindText == QLatin1String("group"))
        kind = Kind::Group;
    else if (kindText == QLatin1String("pop"))
        kind = Kind::Pop;
    else
        return ctx.usageError(QStringLiteral("unknown kind ") + kindText + QStringLiteral(" (user, group or pop)"));
    const QString name = ctx.args.takeFirst();
    if (kind == Kind::Pop && !name.contains(QLatin1Char('/')))
        return ctx.usageError(QStringLiteral("an account is named USERID/HOST"));
    // KEY=VALUE pairs; a list key may stand more than once, each adding a name.
    QList<std::pair<int, QStringList>> pairs;
    for (const QString &arg : std::as_const(ctx.args)) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return ctx.usageError(QStringLiteral("not KEY=VALUE: ") + arg);
        const int key = ItemKeys::findKey(kind, QStringView(arg).left(eq));
        if (key < 0)
            return ctx.fail(QStringLiteral("A %1 has no key %2").arg(kindText, arg.left(eq)));
        const QString value = arg.mid(eq + 1);
        bool merged = false;
        if (ItemKeys::keys(kind)[key].form == ItemKeys::Form::List) {
            for (auto &p : pairs) {
                if (p.first == key) {
                    if (!value.isEmpty())
                        p.second.append(value);
                    merged = true;
                }
            }
        }
        if (!merged)
            pairs.append({key, ItemKeys::keys(kind)[key].form == ItemKeys::Form::List && value.isEmpty()
                                   ? QStringList()
                                   : QStringList{value}});
    }

    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        const QByteArray bytes = ctx.codec.encode(name);
        const QList<int> same = ItemKeys::itemsNamed(doc, kind, bytes, ctx.codec);
        if (!same.isEmpty()) {
            edit.error = QStringLiteral("%1 is already named %2")
                             .arg(ItemKeys::positionAddress(kind, same.first()), ConfigCheck::quoted(name));
            return;
        }
        int index = 0;
        QList<std::pair<int, QStringList>> all;
        // The values the editor's Add gives: what storing the emptied page puts into the item.
        if (kind == Kind::User) {
            doc.users.push_back(std::make_unique<TUser>());
            index = int(doc.users.size()) - 1;
            all.append({ItemKeys::findKey(kind, u"Name"), {name}});
        } else if (kind == Kind::Group) {
            auto group = std::make_unique<TGroup>();
            group->ReadOnly = "N";
            doc.groups.push_back(std::move(group));
            index = int(doc.groups.size()) - 1;
            all.append({ItemKeys::findKey(kind, u"Name"), {name}});
        } else {
            auto pop = std::make_unique<TPop>();
            pop->Port = 110;
            pop->AutoReply = "N";
            pop->AssignOutboundID = "N";
            doc.pops.push_back(std::move(pop));
            index = int(doc.pops.size()) - 1;
            // The host follows the last "/": a user ID may hold one, a host name cannot.
            const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
            TPop &p = *doc.pops.back();
            if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n'))) {
                edit.error = QStringLiteral("The name %1 holds a line break").arg(ConfigCheck::quoted(name));
                return;
            }
            // The file's reader drops blanks and tabs around a value.
            for (const QString &part : {name.left(slash), name.mid(slash + 1)}) {
                if (const QString why = ItemKeys::refusedText(part, true); !why.isEmpty()) {
                    edit.error = why;
                    return;
                }
            }
            if (!ItemKeys::encodeText(name.left(slash), {}, ctx.codec, &p.UserID, &edit.error)
                || !ItemKeys::encodeText(name.mid(slash + 1), {}, ctx.codec, &p.Host, &edit.error))
                return;
        }
        all += pairs;
        for (const auto &[key, values] : std::as_const(all)) {
            if (!ItemKeys::assign(doc, kind, index, key, values, ctx.codec, &edit.error))
                return;
        }
        edit.output = ItemKeys::positionAddress(kind, index).toUtf8() + '\n';
    });
}

const CliRegistration addReg{{"add", "(user NAME | group NAME | pop USERID/HOST) [KEY=VALUE ...]",
                              "add an item with the editor's defaults, then the given keys", &runAdd}};

} // namespace
