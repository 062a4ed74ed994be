#pragma once

#include <QString>

// Where the server keeps a group's stored messages: the program's folder, "data", then the
// group's name with every "." as a folder separator (comp.lang.misc lives in
// data/comp/lang/misc). The purge of old messages and the removal of a group's data both
// build the folder here, so a name can never lead either of them outside "data".
namespace GroupDataFolder {

// The group's data folder (absolute, no trailing separator), or an empty text with
// `*error` set when the name cannot name a folder inside "data": an empty name, an empty
// part (a leading, trailing or doubled "."; so also ".." and "."), or a part holding a
// path separator ("/" or "\"), a drive colon or a NUL character. An absolute path always
// holds one of these.
QString path(const QString &programFolder, const QString &groupName, QString *error = nullptr);

// The "data" folder of the program's folder, under which every group folder lies.
QString dataRoot(const QString &programFolder);

// Removes a group's data folder with everything in it, then the folders above it that
// became empty, up to but never including "data". "data" itself is opened as it is (it may
// be a link the administrator made); below it no symbolic link is ever followed, at any
// depth, even one swapped in while the removal runs: a link is removed as a link, and a link
// standing for a folder on the way to the group's folder ends the removal with *error set.
// Fails with *error set and removes nothing when the name cannot name a folder inside "data".
bool remove(const QString &programFolder, const QString &groupName, QString *error);

} // namespace GroupDataFolder
