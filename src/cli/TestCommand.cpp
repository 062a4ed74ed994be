// test: connection tests of the incoming accounts and the outgoing mail server. The tests
// run in the module cli-network.so (network/TestRun.cpp), which only this command loads.
#include "cli/CliCommand.h"
#include "cli/CliHelp.h"
#include "cli/NetworkRun.h"

namespace {

const char TestUsage[] = "[ITEM...] [--json] [--steps] [--timeout S] [--step-timeout S] [--jobs N] | --send-test-message";

// The command's help (`test --help`, `help test`), after its usage line and summary.
const CliHelpRegistration testHelp{"test",
            "Tests the connection to every incoming account (POP3) and to the outgoing mail server\n"
            "(SMTP), or to the ITEMs named: pop:USERID/HOST, pop:#N, server.smtp (or smtp).\n"
            "A POP3 test resolves the host, connects, reads the greeting, asks CAPA (an offered\n"
            "STLS is reported, never a failure), logs in with USER and PASS, asks STAT and ends\n"
            "with QUIT. An SMTP test resolves, connects, reads the greeting, sends EHLO (HELO when\n"
            "EHLO is refused) and lists the extensions, logs in with AUTH LOGIN or PLAIN when a\n"
            "user is set, and ends with QUIT. No mail is fetched, deleted or sent.\n"
            "Passwords are never printed: a command carrying one shows ****, and so does a reply\n"
            "that echoes it.\n"
            "\n"
            "Verdicts: works, login refused, no usable login, host unknown, unreachable,\n"
            "no answer in time, not a POP3 server / not an SMTP server, closed early.\n"
            "\n"
            "Options:\n"
            "  --json               one JSON array: verdict, failed step, time and each step\n"
            "                       with the server's words\n"
            "  --steps              print each test's steps under the table\n"
            "  --timeout S          the limit of each test as a whole, in seconds (default 15)\n"
            "  --step-timeout S     the limit of each step, in seconds (default 10)\n"
            "  --jobs N             tests run side by side, 1 to 8 (default 8)\n"
            "  --send-test-message  send one test mail through the outgoing mail server to the\n"
            "                       administrator's address (AdminEmail) instead of testing\n"
            "\n"
            "Exit status:\n"
            "  0  every test works (the test message was sent)\n"
            "  1  something does not work, or the configuration cannot be read\n"
            "  2  usage error\n"};

const CliRegistration testReg{{"test", TestUsage, "test the connections to the incoming accounts and the outgoing mail server",
                               &CliNetwork::forward}};

} // namespace
