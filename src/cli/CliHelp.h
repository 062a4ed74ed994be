#pragma once

#include <QString>

struct CliCommand;

// Each command's own help: `quilmora-config COMMAND --help` (or -h) and `quilmora-config
// help COMMAND` print its usage line, what it does, its options and its exit statuses.
// A command file may register its text beside the command:
//   static const CliHelpRegistration help{"dump", "Options:\n  --sha256 ...\n"};
// A command without a registered text gets its usage, summary and the common statuses.
struct CliHelpRegistration
{
    CliHelpRegistration(const char *command, const char *text);
};

namespace Cli {

QString commandHelp(const CliCommand &command);

} // namespace Cli
