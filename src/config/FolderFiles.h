#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/stat.h>

// Files of one folder reached through the folder's descriptor, never through a link: the
// purge of a group's index files and message files works this way, so a link planted in a
// group folder cannot make it read, rewrite or delete a file elsewhere.
//
// - A file is opened with openat(O_NOFOLLOW | O_NONBLOCK) and must be a regular file
//   (fstat): a link, a FIFO, a device or a folder in its place is refused, and nothing
//   blocks on a FIFO.
// - A file is replaced by a hidden temporary file ".<name>.new-<random>" created in the
//   same folder (with the old file's owner, group and mode), flushed, then renamed over the
//   name with renameat: a rename replaces a link standing there as a link, it never writes
//   through it.
namespace FolderFiles {

// A folder's descriptor, closed with the object.
class Folder
{
public:
    Folder() = default;
    ~Folder();
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&other) noexcept;
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    // Opens the folder at `path` as the path gives it (a folder that is a link is followed:
    // the administrator may keep it on another disk). False when it is no folder.
    bool open(const QString &path);

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }
    // "<folder>/<name>", for messages.
    QString filePath(const QString &name) const;

private:
    int m_fd = -1;
    QString m_path;
};

enum class Status {
    Ok,
    Missing,    // no entry of that name
    Link,       // a symbolic link stands there
    NotRegular, // a FIFO, a device, a socket or a folder
    Failed      // it could not be opened or read (permissions, an I/O error)
};

// What stands at `name` in the folder, not following a link; `st` (when given) its status.
Status inspect(const Folder &folder, const QString &name, struct stat *st = nullptr);

// Reads the regular file `name` whole; `st` (when given) is its status as read.
Status readRegular(const Folder &folder, const QString &name, QByteArray *bytes, struct stat *st = nullptr);

// Removes the regular file `name`, opened and checked first without following a link.
// Anything else standing there stays and gives its status; Missing when it is gone.
Status removeRegular(const Folder &folder, const QString &name);

// The message for a refused entry: "<path> is a symbolic link, which is not followed" or
// "<path> is not a regular file".
QString refusalText(const QString &path, Status status);

// A replacement of one file of the folder in progress. Destroyed without commit(), the
// temporary file is removed and nothing changed.
class PendingFile
{
public:
    // `like`: the status of the file replaced, whose owner, group and mode the new file takes.
    PendingFile(const Folder &folder, const QString &name, const struct stat &like);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool open();
    bool write(QByteArrayView bytes);
    // Flushes the content to disk and closes the temporary file.
    bool finish();
    // Renames the finished temporary file over the name (renameat in the folder).
    bool commit();
    void discard();

private:
    const Folder &m_folder;
    QString m_name;
    struct stat m_like;
    QByteArray m_temp; // the temporary file's name in the folder
    int m_fd = -1;
    bool m_failed = false;
    bool m_finished = false;
};

} // namespace FolderFiles
