// The entry point of cli-network.so: runs pull, push or test for quilmora-config.
#include "cli/CliCommand.h"
#include "cli/NetworkRun.h"
#include "config/History.h"

extern "C" __attribute__((visibility("default"))) int quilmora_cli_network_run(int version, CliContext *ctx)
{
    if (version != CliNetwork::InterfaceVersion)
        return -1;
    // The module holds its own copy of the core: the history's record of a save names the
    // command here too.
    History::setProgram(QStringLiteral("quilmora-config ") + ctx->command);
    try {
        if (ctx->command == QLatin1String("pull"))
            return CliNetwork::runPull(*ctx);
        if (ctx->command == QLatin1String("push"))
            return CliNetwork::runPush(*ctx);
        if (ctx->command == QLatin1String("test"))
            return CliNetwork::runTest(*ctx);
    } catch (const std::bad_alloc &) {
        std::fputs("Out of memory\n", stderr);
        return 1;
    }
    return ctx->fail(QStringLiteral("The program's module %1 has no command %2")
                         .arg(QLatin1String(CliNetwork::ModuleName), ctx->command));
}
