#include "cli/CliCommand.h"
#include "cli/NetworkRun.h"
#include "platform/PrivateModule.h"

int CliNetwork::forward(CliContext &ctx)
{
    QString error;
    const auto entry = reinterpret_cast<Entry>(PrivateModule::resolve(ModuleName, EntryName, &error));
    if (!entry)
        return ctx.fail(error);
    const int status = entry(InterfaceVersion, &ctx);
    if (status < 0)
        return ctx.fail(QStringLiteral("The program's module %1 is not of this version").arg(QLatin1String(ModuleName)));
    return status;
}
