#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace Cli {

// Whether standard input is a terminal a person types at.
bool stdinIsTerminal();

// Asks for a password on the terminal: the prompt goes to standard error, the typed line
// is read from standard input with echo off (restored afterwards, also when reading
// fails), without its line break. Nothing when standard input ended or could not be read.
std::optional<QByteArray> askPasswordWithoutEcho(const QString &prompt);

} // namespace Cli
