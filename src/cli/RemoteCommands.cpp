// pull and push: the remote transfer of a remote-mode run, from the command line. They run
// in the module cli-network.so (network/RemoteRun.cpp), which only they load.
#include "cli/CliCommand.h"
#include "cli/NetworkRun.h"

namespace {

const CliRegistration pullReg{{"pull", "HOST [--port N] [--user U] [--password-file F] [--timeout SECONDS]",
                               "fetch the server's configuration into the local copy named HOST", &CliNetwork::forward}};
const CliRegistration pushReg{{"push", "HOST [--port N] [--user U] [--password-file F] [--timeout SECONDS] [--force]",
                               "return the local copy named HOST to the server", &CliNetwork::forward}};

} // namespace
