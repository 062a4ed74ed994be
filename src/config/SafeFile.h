#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// How the program reads and replaces the files it owns (the configuration, a remote local
// copy, the archive's index files) without ever losing one:
// - only regular files are read: a FIFO or a device given as a file would block or never end;
// - a file is replaced by writing a temporary file in the same folder and renaming it over
//   the old one, keeping the old file's owner, group and mode, so a failure at any point
//   leaves the old file as it was;
// - a write beyond the process's file size limit fails (EFBIG) instead of killing the
//   process with SIGXFSZ;
// - the previous generation can be kept as "<name>.bak" next to the file;
// - a fingerprint (size, modification time, hash of the bytes) tells whether a file was
//   changed by someone else since it was read;
// - commands that load, change and save take an advisory lock on the folder.
namespace SafeFile {

enum class ReadStatus { Ok, Missing, NotRegular, Failed };

// What a file looked like when it was read. Two fingerprints are equal when the file did
// not exist both times, or when size, modification time and hash all agree.
struct Fingerprint
{
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    QByteArray hash;

    bool operator==(const Fingerprint &other) const;
    bool operator!=(const Fingerprint &other) const { return !(*this == other); }
};

// Reads a regular file whole. Never blocks on a FIFO and never reads a device.
// `fingerprint`, when given, describes what was read.
ReadStatus readRegular(const QString &path, QByteArray *bytes, Fingerprint *fingerprint = nullptr);

// The same checks, but the bytes are handed to `piece` as they are read, through one small
// buffer, and never held whole: for a reader that keeps only part of a large file. When
ReadStatus readRegularPieces(const QString &path, const std::function<void(QByteArrayView)> &piece);

// The fingerprint of a file as it is on disk now (not existing: `exists` false).
Fingerprint fingerprintOf(const QString &path);
// Whether the file's existence, size or modification time already show that it is no
// longer what `fingerprint` describes; no byte is read (a false answer proves nothing:
// unchangedSince() reads the file).
bool differsAtAGlance(const QString &path, const Fingerprint &fingerprint);
// Whether the file on disk is still what `fingerprint` describes. The file is read and
// hashed only when its existence, size and modification time all agree.
bool unchangedSince(const QString &path, const Fingerprint &fingerprint);
Fingerprint fingerprintOf(const QByteArray &bytes, qint64 modifiedNs);
// The fingerprint of a file just written with `bytes`: its time from the file system, its
// hash from the bytes in memory, so the file is not read back. Reads it when it does not
// stand there with that size (something replaced it at once).
Fingerprint fingerprintOfWritten(const QString &path, const QByteArray &bytes);
// The same for a file just written with exactly the bytes of the file `replaced` describes
// (found so by the save's last look): the same hash, the new file's time.
Fingerprint fingerprintOfWrittenSame(const QString &path, const Fingerprint &replaced);

// The absolute path in the system's notation, as messages show it.
QString displayPath(const QString &path);

// "<path> is not a regular file".
QString notRegularText(const QString &path);

// The file that a save of `path` really replaces: a symbolic link is followed, so the link
// stays and its target gets the new content.
QString replacedFile(const QString &path);

// The backup a save keeps: "<name>.bak" next to the file replaced.
QString backupPath(const QString &path);

// Makes a write beyond the file size limit fail with EFBIG instead of ending the process.
// Idempotent; done by every writer below.
void ignoreFileSizeSignal();

// Runs in a checked commit right before the file on disk is compared for the last time,
// given the file replaced. Tests use it to play another program that writes at that moment.
void setBeforeLastCheck(std::function<void(const QString &path)> hook);

// Which file a path led to when it was looked at: its inode, size and modification time.
struct FileIdentity
{
    bool known = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileIdentity &other) const = default;
};

// A replacement of one file in progress: the new content goes to a hidden temporary file
// ".<name>.new-<random>" in the same folder (with the old file's owner, group and mode);
// commit() renames it over the file. Destroyed without commit, the temporary file is
// removed and nothing changed.
//
// The writer holds an flock on its temporary file until it is renamed or removed. open()
// first removes the temporary files of the same file whose writer is gone (a save killed
// half-way): a file nobody holds the lock of is left over; one whose lock is held belongs
// to a save still running and is left alone.
class PendingFile
{
public:
    enum class Commit { Done, Changed, Failed };

    explicit PendingFile(const QString &path);
    // How a symbolic link standing at the path is treated. Follow: the link stays and its
    // target gets the new content (a save of the configuration). Replace: the new file
    // takes the link's place; the target is never written, and a dangling link's target
    // never created (small files of the program's own beside a file, which anyone who can
    // write the folder could plant as a link).
    enum class Links { Follow, Replace };
    PendingFile(const QString &path, Links links);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool open();
    bool write(QByteArrayView bytes);
    // Flushes the content to disk and closes the temporary file.
    bool finish();
    // Renames the finished temporary file over the file. With `keepBackup` the previous
    // file, if there was one, becomes "<name>.bak" (a hard link made before the rename, a
    // copy where the file system has none); a failed commit leaves file and backup as
    // they were.
    //
    // A backup that cannot be made, or cannot take the name "<name>.bak" (a folder stands
    // there), does not stop the commit: backupLost() then tells, and "<name>.bak" is left
    // as it was.
    bool commit(bool keepBackup = false);
    // The same, but only when the file on disk is still what `expected` describes, checked
    // after the temporary file is complete, right before the rename; Changed leaves the file
    // as the other program wrote it (the temporary file is removed).
    Commit commitIfUnchanged(const Fingerprint &expected, bool keepBackup = false);
    void discard();

    // Whether the last commit with `keepBackup` replaced a file but could not keep it.
    bool backupLost() const { return m_backupLost; }

    // With `on`, the last look of a checked commit, which reads the file it replaces, also
    // compares it with the new content (read back from the temporary file, through a small
    // buffer). After the commit, replacedSame() tells whether the replaced file held exactly
    // the new bytes, and replacedIdentity() which file that was (its backup is a link to it).
    void setCompareReplaced(bool on) { m_compareReplaced = on; }
    bool replacedSame() const { return m_replacedSame; }
    const FileIdentity &replacedIdentity() const { return m_replacedIdentity; }
    // The new file as finish() left it on disk (unknown before).
    const FileIdentity &writtenIdentity() const { return m_writtenIdentity; }

    const QString &path() const { return m_path; }

private:
    bool lockTemporary();
    Commit commitChecked(const Fingerprint *expected, bool keepBackup);

    QString m_path;   // as given, for messages
    QString m_target; // the file really replaced
    QString m_temp;
    int m_fd = -1;
    int m_lockFd = -1; // holds the flock on the temporary file from open() to its rename or removal
    bool m_failed = false;
    bool m_backupLost = false;
    Links m_links = Links::Follow;
    bool m_compareReplaced = false;
    bool m_replacedSame = false;
    FileIdentity m_replacedIdentity;
    FileIdentity m_writtenIdentity;
};

// Removes the temporary files of saves of `path` that were killed half-way (their writer
// holds no lock on them any more). Done by PendingFile::open(); gives how many it removed.
int removeLeftovers(const QString &path);

// Replaces `path` with `bytes` in one go (open, write, finish, commit).
bool replace(const QString &path, QByteArrayView bytes, bool keepBackup = false);

// An advisory lock on a folder, held for the life of the object, so that two commands that
// load, change and save the folder's configuration run one after the other.
class FolderLock
{
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // Waits up to `timeoutMs` for the lock. A folder that cannot be opened is not locked
    // and not an error (the command then reports the missing folder itself).
    bool acquire(const QString &folder, int timeoutMs, QString *error);

private:
    int m_fd = -1;
};

} // namespace SafeFile
