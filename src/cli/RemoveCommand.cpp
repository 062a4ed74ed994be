// remove: takes an item out of the configuration; lists naming it stay as they are.
#include "cli/CliCommand.h"
#include "cli/ConfigChange.h"
#include "cli/ItemKeys.h"
#include "config/ConfigDocument.h"
#include "config/GroupDataFolder.h"

namespace {

using ItemKeys::Kind;

int runRemove(CliContext &ctx)
{
    const bool withData = Cli::takeSwitch(ctx.args, QStringLiteral("--with-data"));
    Cli::endOptions(ctx.args);
    if (ctx.args.size() != 1)
        return ctx.usageError(ctx.args.isEmpty() ? QStringLiteral("no item given")
                                                 : QStringLiteral("unexpected argument ") + ctx.args.at(1));
    const QString target = ctx.args.first();
    if (withData && !target.startsWith(QLatin1String("group:"), Qt::CaseInsensitive))
        return ctx.usageError(QStringLiteral("--with-data removes a group's data: it needs a group"));
    return ConfigChange::editConfiguration(ctx, [&](ConfigDocument &doc, ConfigChange::Edit &edit) {
        ItemKeys::Address a;
        if (!ItemKeys::resolve(target, doc, ctx.codec, &a, &edit.error, false, true))
            return;
        if (a.kind == Kind::Server || a.key >= 0) {
            edit.error = QStringLiteral("Not an item: %1").arg(target);
            return;
        }
        if (withData) {
            // The same safe rule as Delete in the editor: a name that cannot name a folder
            // inside "data" removes nothing, and then the group stays too.
            const QString name = ctx.codec.decode(doc.groups[size_t(a.index)]->Name);
            QString refused;
            if (GroupDataFolder::path(ctx.folder, name, &refused).isEmpty()) {
                edit.error = refused;
                return;
            }
            // The data goes after the file is written: a failed write keeps both.
            const QString folder = ctx.folder;
            edit.afterWrite = [folder, name]() {
                QString error;
                if (!GroupDataFolder::remove(folder, name, &error))
                    return QStringLiteral("The group was removed, but not all of its data: ") + error;
                return QString();
            };
        }
        switch (a.kind) {
        case Kind::Pop: doc.pops.erase(doc.pops.begin() + a.index); break;
        case Kind::User: doc.users.erase(doc.users.begin() + a.index); break;
        case Kind::Group: doc.groups.erase(doc.groups.begin() + a.index); break;
        case Kind::Server: break;
        }
    });
}

const CliRegistration removeReg{{"remove", "ITEM [--with-data]", "remove an item (a group with its data folder)",
                                 &runRemove}};

} // namespace
