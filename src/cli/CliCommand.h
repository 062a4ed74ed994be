#pragma once

#include "config/ConfigDocument.h"
#include "config/SafeFile.h"
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
    // Prints a message on standard error (the command goes on).
    void warn(const QString &message) const;
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
// "--" ends a command's options: takeOption and takeSwitch look only at the words before
// it, and every word after it is an operand, also one that begins with "-". A command
// calls endOptions once it has taken its options: it drops that "--" (the first one only;
// a later "--" is an operand) and, with `unknownOption`, fails (false) naming the first
// word before it that still begins with "--".
qsizetype optionsEnd(const QStringList &args);
bool endOptions(QStringList &args, QString *unknownOption = nullptr);

// A mistyped folder or file name is an error, not a new configuration: every command but
// those that make the first configuration (wizard, pull) needs the folder ("No such folder:
// <path>") and, except push whose file is the local copy named after its host, the
// configuration file ("No configuration file at <path>"). Gives the exit status of the
// failure, or nothing when the command may go on.
std::optional<int> checkConfigurationExists(const CliContext &ctx);
QString missingConfigurationMessage(const QString &path);

// How much of a file named on the command line is read: a larger one (or an endless one,
// such as /dev/zero) is refused rather than filling the memory.
constexpr qint64 InputLimit = qint64(64) << 20;

// Reads a file named on the command line whole ("-" is standard input): a value, password,
// JSON or body file. Fails with "Cannot open file <path>", or with "<path> is larger than
// 64 MB: not read" once more than InputLimit bytes came (nothing more is read).
bool readNamedFile(const QString &path, QByteArray *bytes, QString *error);

// Reads a password file whole ("-" is standard input) and drops one trailing line break.
bool readPasswordFile(const QString &path, QByteArray *password, QString *error);

// Text for the terminal: control characters other than CR and LF (an escape sequence sent
// by a server, say) are shown as \x1b instead of being acted on.
QString escapeControls(const QString &text);

// Loads the configuration as the editor does, for a command that only reads it; the names
// of old-format files passed over are told on standard error.
bool loadConfiguration(const CliContext &ctx, ConfigDocument &doc, QString *error);

// One load, change and save of the folder's configuration by a command (normalize and the
// administration commands). It holds the folder's advisory lock from load to save, so two
// commands on the same folder run one after the other, and the save fails with
// ConfigDocument::changedOnDiskText() when another program changed the file since the load
// (nothing is written then).
//
//   ConfigEdit edit(ctx);
//   if (!edit.load(&error)) return ctx.fail(error);
//   ... change edit.doc ...
//   if (!edit.save(&error)) return ctx.fail(error);
class ConfigEdit
{
public:
    // How long a command waits for another one on the same folder.
    static constexpr int LockWaitMs = 60000;

    explicit ConfigEdit(const CliContext &ctx) : m_ctx(ctx) {}

    ConfigDocument doc;

    bool load(QString *error);
    // For restore-backup, which replaces the configuration whole: takes the lock and loads,
    // but a configuration that cannot be loaded (not one, a bad Version, unreadable) is no
    // failure. `unreadable` then says why, `doc` is empty, and a save still checks that no
    // one changed the file meanwhile. Fails only when the lock cannot be had.
    bool loadForReplace(QString *error, QString *unreadable);
    // Renders `doc` and saves it.
    bool save(QString *error);
    // Saves bytes rendered elsewhere (by the wizard's writer, say) under the same checks.
    bool saveBytes(const QByteArray &bytes, QString *error);

private:
    const CliContext &m_ctx;
    SafeFile::FolderLock m_lock;
    bool m_loaded = false;
};

} // namespace Cli
