#pragma once

#include "cli/CliCommand.h"

#include <QByteArray>
#include <QString>
#include <functional>

class ConfigDocument;

// The administration commands' way to the configuration file: every command that reads it
// loads through `loadExisting`, and every command that changes it goes through
// `editConfiguration`, which loads, lets the command change the document, and writes the
// file once, atomically, as File, Save does. A command that fails writes nothing.
namespace ConfigChange {

// Loads the configuration in the command's folder. A folder or a file that does not exist
// has already been refused before the command ran ("No such folder: <path>", "No
// configuration file at <path>"), unlike the editor, which starts a new configuration.
bool loadExisting(const CliContext &ctx, ConfigDocument *doc, QString *error);
// Loads another configuration file (diff's OTHER), with the same two refusals.
bool loadExisting(const QString &folder, const QString &path, const TextCodec &codec, ConfigDocument *doc,
                  QString *error);

// What a command did to the document it was given.
struct Edit
{
    QString error;      // not empty: the command failed and nothing is written
    bool write = true;  // false: nothing to write (a dry run)
    QByteArray output;  // printed on standard output once the file is written
    // Runs after the file was written (a group's data removed with it); gives an error text
    // when it failed.
    std::function<QString()> afterWrite;
};

// Loads (holding the folder's lock, as Cli::ConfigEdit does), runs `change`, writes the
// file once. Returns the exit status.
int editConfiguration(CliContext &ctx, const std::function<void(ConfigDocument &, Edit &)> &change);

// A text read for --value-file or a password file: the whole file ("-" for standard input).
bool readFile(const QString &path, QByteArray *bytes, QString *error);

} // namespace ConfigChange
