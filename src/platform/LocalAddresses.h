#pragma once

#include <QStringList>

// The machine's own IPv4 addresses in dotted-decimal form, for the bind address list:
// first what the resolver gives for the host name, in its order, then every other IPv4
// address of the network interfaces not listed yet (on Linux the resolver alone often
// gives only a loopback alias such as 127.0.1.1).
namespace LocalAddresses {

QStringList ipv4();

} // namespace LocalAddresses
