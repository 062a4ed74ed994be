#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "config/SafeFile.h"

#include <functional>

// The history of saves: every save of a configuration file keeps the saved version as a
// commit in the bare git repository "history.git" beside it (git's own formats, read by
// plain git: `git --git-dir=history.git log -p`). A save writes it without libgit2
// (HistoryRecord.cpp); Repository reads it through libgit2 in the private module
// history-git.so, loaded on first use.
//
// The one save path (ConfigDocument's) calls record() once the new file is in place, so
// every program that saves records versions without code of its own. A history that
// cannot be written never fails the save: its cause goes to the warning sink once (on
// standard error unless a program sets another sink, as the editor does for its status
// bar).
namespace History {

// The repository's folder for a configuration folder: "<folder>/history.git".
QString repositoryPath(const QString &folder);

// Who saves: the program and what it does ("quilmora-config set", "quilmora-editor"), used
// in the message of every commit. The author is the operating-system user; in remote mode
// the login on the server is added (setLogin).
void setProgram(const QString &program);
QString program();
void setLogin(const QString &login);

// Where a warning about the history goes; an empty function restores standard error.
void setWarningSink(std::function<void(const QString &)> sink);

// Whether saves are recorded: always, unless QUILMORA_HISTORY is "off" (for measurements
// and for folders whose administrators keep the configuration elsewhere).
bool enabled();

// Records the file `path` just saved with `bytes`. `backupKept`: the previous file stands
// as "<name>.bak" (the save made it), so its bytes are what was replaced. Never fails: a
// problem is told to the warning sink.
void record(const QString &path, const QByteArray &bytes, bool backupKept);

// The same, giving the problem instead of telling it (tests).
bool recordChecked(const QString &path, const QByteArray &bytes, bool backupKept, QString *error);

// What a save tells the history of the version it has just put in place.
struct SavedVersion
{
    // The bytes written. Empty with `size` above 0: the save wrote them in pieces and they
    // stand only in the file, which `written` names (read from it only when needed).
    QByteArray bytes;
    qint64 size = 0;
    SafeFile::FileIdentity written;
    bool backupKept = false; // the previous file stands as "<name>.bak"
    // The save's last look at the file it replaced found exactly these bytes there, in the
    // file `replaced` names (the backup is a link to it): the history then need not read it.
    bool replacedSame = false;
    SafeFile::FileIdentity replaced;
};
void record(const QString &path, const SavedVersion &version);
bool recordChecked(const QString &path, const SavedVersion &version, QString *error);

// The one-line summary of a change in the core diff's words: "user tom: Description; group
// sales: Users", "user ann added", "no change". `old` empty: the file was new.
QString summarize(const QByteArray &oldBytes, const QByteArray &newBytes);

// One recorded version of a file.
struct Version
{
    QByteArray revision; // the commit's id, 40 hexadecimal digits
    QDateTime date;      // the time of the save, with its offset from UTC
    QString author;
    QString summary;     // the first line of the message: program and summary
};

// Reading the history of one configuration file (and pruning it).
class Repository
{
public:
    Repository();
    ~Repository();
    Repository(const Repository &) = delete;
    Repository &operator=(const Repository &) = delete;

    // Opens the history of the folder's file `fileName`. Fails with the cause: "The program's
    // module history-git is missing (looked for ...)", "No history
    // at <path> (no save has been recorded yet)", "<path> is not a folder", "<path> is not a
    // git repository", "<path>: <what git says>".
    bool open(const QString &folder, const QString &fileName, QString *error);

    // The versions of the file, newest first (at most `limit` when not negative).
    bool versions(QList<Version> *out, int limit, QString *error) const;

    // The commit a revision names: a commit id or a unique beginning of one, or git's forms
    // (HEAD, HEAD~2, main).
    bool resolve(const QString &revision, Version *version, QString *error) const;
    // The bytes of the file in a version; fails when the version holds no such file.
    bool fileAt(const QByteArray &revision, QByteArray *bytes, QString *error) const;
    // The version before `revision` that holds the file (none: an empty revision).
    bool previous(const QByteArray &revision, QByteArray *parent, QString *error) const;

    // Drops old versions: keeps the newest `keep` (at least 1), or with `before` valid those
    // saved on or after it (the newest is always kept). Writes the kept versions anew into
    // one pack and removes the rest. Gives how many versions were dropped.
    bool prune(int keep, const QDateTime &before, int *dropped, QString *error);

    QString path() const { return m_path; }

private:
    struct Private;
    Private *d;
    QString m_path;
    QString m_fileName;
};

} // namespace History
