#pragma once

#include <QString>
#include <QStringList>

#include <functional>

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
// Nor does it leave the file system "data" lies on, as `rm --one-file-system`: a folder or
// file below "data" on another device, or the root of any mount (a bind mount of a folder
// of the same disk keeps its device), is neither entered nor
// removed, and is named among what stayed. A folder on the way that cannot be opened (no
// permission) keeps what lies below it and fails the removal; only a missing one means
// there is nothing to remove.
// Fails with *error set and removes nothing when the name cannot name a folder inside "data".
bool remove(const QString &programFolder, const QString &groupName, QString *error);

// The same, with what it did.
struct Removal
{
    bool complete = false;         // everything of the group's data is gone (or there was none)
    bool removedSomething = false; // at least one file, link or folder went
    // What stayed, each "data/<path>" with the reason where it is known; names the group's
    // folder when the removal could not reach it.
    QStringList stayed;
    // When not complete: "Could not remove everything in the data folder <path>: <why>",
    // which names the first few of what stayed, or a refusal of the name or of a link.
    QString error;
};
Removal removeData(const QString &programFolder, const QString &groupName);

// For tests: what the removal sees of an entry, by its path below "data" ("" is "data"
// itself). `device` may give another device than the one the entry lies on (a mount point
// without mounting anything); `openError` may make opening a folder fail with that errno
// (0: opened as usual), as a folder without permission does for a user who is not root.
struct TestHooks
{
    std::function<quint64(const QString &relative, quint64 device)> device;
    std::function<int(const QString &relative)> openError;
};
void setTestHooks(TestHooks hooks);

} // namespace GroupDataFolder
