#pragma once

#include <QByteArray>
#include <QString>

class ConfigDocument;
class TextCodec;

// Restoring the backup a save kept, as `restore-backup` and File, Restore Backup do.
//
// - The backup lies where the save put it: "<name>.bak" beside the file the save replaced,
//   which for a configuration that is a symbolic link is the link's target.
// - The backup is the folder's own earlier file: an old-format backup reads the files it
//   names (auto-reply bodies, key lists) as the configuration itself does, inside the
//   configuration's folder. Names passed over, and names whose file does not exist, are
//   told, so an emptied body is never restored without a word.
// - A backup that holds nothing (no byte but blanks and line ends) would leave an empty
//   configuration: the caller asks or refuses first.
namespace BackupRestore {

// The backup a save of `configuration` kept.
QString backupPath(const QString &configuration);

// Whether the bytes hold nothing but blanks and line ends.
bool isEmpty(const QByteArray &bytes);

struct Loaded
{
    bool empty = false; // the backup holds nothing
    // What the caller tells the user before it restores: the names passed over and those
    // whose file is missing, with what that does; empty when all were read.
    QString notes;
};

// Loads the backup of `configuration` into `doc`. `folder` is the configuration's folder;
// `ownConfiguration` whether it is the folder's own file (a server's local copy names files
// on the server's machine and reads none). Fails with "No backup at <path>" or the load's
// error.
bool load(const QString &folder, const QString &configuration, bool ownConfiguration, const TextCodec &codec,
          ConfigDocument *doc, Loaded *loaded, QString *error);

// What the review says when the current configuration cannot be read: the backup then
// replaces it whole.
QString unreadableCurrentText(const QString &why);

// What a refusal or a question about an empty backup says.
QString emptyBackupText(const QString &backup);

} // namespace BackupRestore
