#pragma once

#include "config/HistoryPack.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <sys/types.h>

// The parts of history.git that its writer (every save, in the programs themselves) and its
// reader (the git module: listing, reading, pruning) share: the repository's lock, the
// journal, trees, and the branch's reference, read and moved as git itself does.
namespace History::Store {

using HistoryPack::ObjectId;

// How long a save waits for another program's save to finish with the repository.
constexpr int LockWaitMs = 30000;

QString display(const QString &path);
// The line of a commit's message that names the file it records.
QString fileLine(const QString &fileName);

// An exclusive flock on the repository's folder for one writer at a time.
class RepoLock
{
public:
    RepoLock() = default;
    ~RepoLock();
    RepoLock(const RepoLock &) = delete;
    RepoLock &operator=(const RepoLock &) = delete;
    bool acquire(const QString &dir, QString *error);

private:
    int m_fd = -1;
};

struct TreeEntry
{
    QByteArray name;
    QByteArray mode; // as git writes it: "100644", "40000"
    ObjectId id;
};

// A tree object's content from its entries (sorted as git sorts them), and back.
QByteArray treeContent(QList<TreeEntry> entries);
bool parseTree(QByteArrayView content, QList<TreeEntry> *entries);

// What the repository says about the configuration files after the last recorded save:
// the commit it made and that commit's tree (so the next save needs not read them back),
// which pack the next entries join, and for each file the blob of its last version, where
// that blob stands in the pack (its delta chain's end) and the file's identity on disk
// then (to know without reading it that it is still that version).
struct Journal
{
    struct FileState
    {
        ObjectId blob;
        qint64 offset = -1; // in `pack`; -1: not there
        int depth = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
    };
    ObjectId head;   // empty: unknown
    QByteArray tree; // the content of head's tree
    QString pack;    // file name in objects/pack
    QHash<QString, FileState> files;

    static Journal read(const QString &repo);
    bool write(const QString &repo) const;
};

struct FileStat
{
    bool ok = false;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    uid_t owner = 0;
};

FileStat statOf(const QString &path);

// Whether the folder holds a git repository's beginnings (HEAD and objects).
bool looksLikeRepository(const QString &dir);

// Makes an empty bare repository in the empty folder `dir`, its branch "main".
bool initRepository(const QString &dir, QString *error);

// The reference HEAD names ("refs/heads/main"), or "HEAD" itself when it holds a commit.
bool headReference(const QString &dir, QString *ref, QString *error);

// The commit a reference points at (its loose file, else packed-refs); empty when it has
// none yet.
bool readReference(const QString &dir, const QString &ref, ObjectId *id, QString *error);

// Moves the reference to `to` only from `from` (empty: the reference must not exist), as
// git does: "<ref>.lock" made exclusively, the value compared under it, written, renamed
// in place. `logEntry` ("<who> <when>\t<why>") joins the reference's log when it keeps one.
bool updateReference(const QString &dir, const QString &ref, const ObjectId &to, const ObjectId &from,
                     const QByteArray &logEntry, QString *error);

} // namespace History::Store
