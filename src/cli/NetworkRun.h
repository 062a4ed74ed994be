#pragma once

struct CliContext;

// The commands that talk to a server (pull, push, test) run in the module cli-network.so,
// so that quilmora-config itself does not load QtNetwork and what it brings (Kerberos,
// libproxy, brotli...): every other command starts without them. The commands register
// here as any other, with forward() as their run function.
namespace CliNetwork {

constexpr char ModuleName[] = "cli-network";
constexpr char EntryName[] = "quilmora_cli_network_run";
// The version of CliContext the module is built for: a module of another build refuses.
constexpr int InterfaceVersion = 1;
using Entry = int (*)(int version, CliContext *ctx);

// Runs the context's command in the module; a module that cannot be loaded is a failure
// with its cause (status 1).
int forward(CliContext &ctx);

// In the module.
int runPull(CliContext &ctx);
int runPush(CliContext &ctx);
int runTest(CliContext &ctx);

} // namespace CliNetwork
