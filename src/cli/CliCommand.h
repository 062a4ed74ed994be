#pragma once

#include "config/TextCodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// One run of quilmora-config: the global options and the command's own arguments.
struct CliContext
{
    QString folder;       // absolute program folder
    QString fileName;     // configuration file inside it ("quilmora.ini" unless --file)
    bool fileNameGiven = false;
    TextCodec codec;      // --encoding, else the locale's
    QString command;
    QStringList args;     // the command's arguments, after its name

    QString configPath() const;

    // Prints a message on standard error and gives the exit status 1.
    int fail(const QString &message) const;
    // Prints the message and the command's usage line on standard error; exit status 2.
    int usageError(const QString &message) const;

    void out(const QByteArray &bytes) const; // standard output, as is
    void outLine(const QString &text) const; // standard output, UTF-8, then a line break
};

using CliRun = int (*)(CliContext &);

struct CliCommand
{
    const char *name;
    const char *usage; // arguments after the command name
    const char *summary;
    CliRun run;
};

// Commands register themselves from their own source file:
//   static const CliRegistration reg{{"dump", "", "print the configuration as JSON", &runDump}};
struct CliRegistration
{
    explicit CliRegistration(const CliCommand &command);
};

namespace Cli {

const QList<CliCommand> &commands();
const CliCommand *find(const QString &name);
QString usageLine();

// Takes the value of an option "--name VALUE" or "--name=VALUE" out of `args`; `present`
// tells whether it stood there. Fails (false) when the value is missing.
bool takeOption(QStringList &args, const QString &name, QString *value, bool *present = nullptr);
// Takes a switch "--name" out of `args`.
bool takeSwitch(QStringList &args, const QString &name);

// A mistyped folder or file name is an error, not a new configuration: every command but
// those that make the first configuration (wizard, pull) needs the folder ("No such folder:
// <path>") and, except push whose file is the local copy named after its host, the
// configuration file ("No configuration file at <path>"). Gives the exit status of the
// failure, or nothing when the command may go on.
std::optional<int> checkConfigurationExists(const CliContext &ctx);
QString missingConfigurationMessage(const QString &path);

// Reads a password file whole ("-" is standard input) and drops one trailing line break.
bool readPasswordFile(const QString &path, QByteArray *password, QString *error);

} // namespace Cli
