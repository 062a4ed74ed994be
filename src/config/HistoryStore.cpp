#include "config/HistoryStore.h"

#include "config/SafeFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace History::Store {

namespace {

constexpr char kJournal[] = "quilmora-journal";

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (!(n < 0 && errno == EINTR))
            return false;
    }
    return true;
}

bool isObjectId(QByteArrayView hex)
{
    return hex.size() == 40 && std::all_of(hex.begin(), hex.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

} // namespace

QString display(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString fileLine(const QString &fileName)
{
    return QStringLiteral("File: ") + fileName;
}

RepoLock::~RepoLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RepoLock::acquire(const QString &dir, QString *error)
{
    m_fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        *error = QStringLiteral("%1: %2").arg(display(dir), systemError());
        return false;
    }
    QDeadlineTimer deadline(LockWaitMs);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return true; // a file system without locks: used unlocked
        if (deadline.hasExpired()) {
            *error = QStringLiteral("%1 is in use by another program").arg(display(dir));
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

// git's order of tree entries: by name, a folder's name compared as if it ended in "/".
QByteArray treeContent(QList<TreeEntry> entries)
{
    const auto key = [](const TreeEntry &e) { return e.mode == "40000" ? e.name + '/' : e.name; };
    std::sort(entries.begin(), entries.end(), [&](const TreeEntry &a, const TreeEntry &b) { return key(a) < key(b); });
    QByteArray out;
    for (const TreeEntry &e : entries)
        out += e.mode + ' ' + e.name + '\0' + e.id;
    return out;
}

bool parseTree(QByteArrayView content, QList<TreeEntry> *entries)
{
    entries->clear();
    while (!content.isEmpty()) {
        const qsizetype space = content.indexOf(' ');
        const qsizetype nul = content.indexOf('\0');
        if (space <= 0 || nul <= space + 1 || content.size() < nul + 1 + 20)
            return false;
        entries->append({content.sliced(space + 1, nul - space - 1).toByteArray(), content.first(space).toByteArray(),
                         content.sliced(nul + 1, 20).toByteArray()});
        content = content.sliced(nul + 21);
    }
    return true;
}

Journal Journal::read(const QString &repo)
{
    Journal j;
    QByteArray bytes;
    if (SafeFile::readRegular(QDir(repo).filePath(QLatin1String(kJournal)), &bytes) != SafeFile::ReadStatus::Ok)
        return j;
    for (const QByteArray &line : bytes.split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (w.size() == 2 && w[0] == "pack") {
            j.pack = QString::fromUtf8(w[1]);
        } else if (w.size() == 2 && w[0] == "head" && isObjectId(w[1])) {
            j.head = QByteArray::fromHex(w[1]);
        } else if (w.size() == 2 && w[0] == "tree") {
            j.tree = QByteArray::fromHex(w[1]);
        } else if (w.size() == 8 && w[0] == "file") {
            FileState s;
            s.blob = QByteArray::fromHex(w[2]);
            s.offset = w[3].toLongLong();
            s.depth = w[4].toInt();
            s.inode = w[5].toULongLong();
            s.size = w[6].toLongLong();
            s.mtimeNs = w[7].toLongLong();
            if (s.blob.size() == 20)
                j.files.insert(QString::fromUtf8(QByteArray::fromHex(w[1])), s);
        }
    }
    return j;
}

bool Journal::write(const QString &repo) const
{
    QByteArray out = "pack " + pack.toUtf8() + '\n';
    if (!head.isEmpty())
        out += "head " + head.toHex() + "\ntree " + tree.toHex() + '\n';
    for (auto it = files.begin(); it != files.end(); ++it) {
        const FileState &s = it.value();
        out += "file " + it.key().toUtf8().toHex() + ' ' + s.blob.toHex() + ' ' + QByteArray::number(s.offset) + ' '
               + QByteArray::number(s.depth) + ' ' + QByteArray::number(s.inode) + ' ' + QByteArray::number(s.size)
               + ' ' + QByteArray::number(s.mtimeNs) + '\n';
    }
    // Not synced: a journal lost in a crash only makes the next save read the repository.
    return HistoryPack::writeFile(QDir(repo).filePath(QLatin1String(kJournal)), out, false);
}

FileStat statOf(const QString &path)
{
    FileStat s;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        s.ok = true;
        s.inode = quint64(st.st_ino);
        s.size = qint64(st.st_size);
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        s.owner = st.st_uid;
    }
    return s;
}

bool looksLikeRepository(const QString &dir)
{
    const QDir d(dir);
    return QFileInfo(d.filePath(QStringLiteral("HEAD"))).isFile()
           && QFileInfo(d.filePath(QStringLiteral("objects"))).isDir();
}

bool initRepository(const QString &dir, QString *error)
{
    const QDir d(dir);
    for (const char *sub : {"objects/info", "objects/pack", "refs/heads", "refs/tags", "info"}) {
        if (!d.mkpath(QLatin1String(sub))) {
            *error = QStringLiteral("creating the history: cannot create %1").arg(display(d.filePath(QLatin1String(sub))));
            return false;
        }
    }
    const struct
    {
        const char *name;
        QByteArray content;
    } files[] = {
        {"config", "[core]\n\trepositoryformatversion = 0\n\tfilemode = true\n\tbare = true\n"},
        {"description", "The saved versions of the Quilmora server's configuration.\n"},
        {"info/exclude", "# git ls-files --others --exclude-from=.git/info/exclude\n"},
        // Last: with HEAD in place the folder is a repository.
        {"HEAD", "ref: refs/heads/main\n"},
    };
    for (const auto &f : files) {
        if (!HistoryPack::writeFile(d.filePath(QLatin1String(f.name)), f.content, false)) {
            *error = QStringLiteral("creating the history: cannot write %1").arg(display(d.filePath(QLatin1String(f.name))));
            return false;
        }
    }
    return true;
}

bool headReference(const QString &dir, QString *ref, QString *error)
{
    QByteArray headBytes;
    if (SafeFile::readRegular(QDir(dir).filePath(QStringLiteral("HEAD")), &headBytes) != SafeFile::ReadStatus::Ok) {
        *error = QStringLiteral("%1 is not a git repository: no HEAD").arg(display(dir));
        return false;
    }
    const QByteArray head = headBytes.first(std::min<qsizetype>(headBytes.size(), 4096)).trimmed();
    if (head.startsWith("ref: refs/")) {
        const QByteArray name = head.mid(5);
        if (name.contains("..") || name.contains('\\') || name.endsWith(".lock") || name.endsWith('/')) {
            *error = QStringLiteral("%1: HEAD names no usable branch").arg(display(dir));
            return false;
        }
        *ref = QString::fromUtf8(name);
        return true;
    }
    if (isObjectId(head)) {
        *ref = QStringLiteral("HEAD");
        return true;
    }
    *error = QStringLiteral("%1 is not a git repository: HEAD is damaged").arg(display(dir));
    return false;
}

bool readReference(const QString &dir, const QString &ref, ObjectId *id, QString *error)
{
    id->clear();
    const QDir d(dir);
    // Read as regular files only: a FIFO or a device in the repository never holds a save.
    QByteArray looseBytes;
    const QString loose = d.filePath(ref);
    if (SafeFile::readRegular(loose, &looseBytes) == SafeFile::ReadStatus::Ok) {
        const QByteArray value = looseBytes.first(std::min<qsizetype>(looseBytes.size(), 4096)).trimmed();
        if (!isObjectId(value)) {
            *error = QStringLiteral("%1: the branch %2 is damaged").arg(display(dir), ref);
            return false;
        }
        *id = QByteArray::fromHex(value);
        return true;
    }
    if (QFileInfo(loose).isDir()) {
        *error = QStringLiteral("%1: %2 is a folder").arg(display(dir), ref);
        return false;
    }
    QByteArray packed;
    if (SafeFile::readRegular(d.filePath(QStringLiteral("packed-refs")), &packed) != SafeFile::ReadStatus::Ok)
        return true; // no such reference yet
    const QByteArray name = ref.toUtf8();
    for (const QByteArray &line : packed.split('\n')) {
        if (line.size() == 41 + name.size() && line.endsWith(name) && line[40] == ' ' && isObjectId(line.first(40))) {
            *id = QByteArray::fromHex(line.first(40));
            return true;
        }
    }
    return true;
}

bool updateReference(const QString &dir, const QString &ref, const ObjectId &to, const ObjectId &from,
                     const QByteArray &logEntry, QString *error)
{
    const QString path = QDir(dir).filePath(ref);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray lockName = QFile::encodeName(path) + ".lock";
    const int fd = ::open(lockName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno == EEXIST
                     ? QStringLiteral("moving the branch: %1 exists (another program is changing the history, or one "
                                      "stopped while it did)")
                           .arg(display(QFile::decodeName(lockName)))
                     : QStringLiteral("moving the branch: %1: %2").arg(display(QFile::decodeName(lockName)), systemError());
        return false;
    }
    const auto fail = [&](const QString &message) {
        ::close(fd);
        ::unlink(lockName.constData());
        *error = message;
        return false;
    };
    ObjectId current;
    QString readError;
    if (!readReference(dir, ref, &current, &readError))
        return fail(readError);
    if (current != from)
        return fail(QStringLiteral("moving the branch: another program moved %1 meanwhile").arg(ref));
    if (!writeAll(fd, to.toHex() + '\n'))
        return fail(QStringLiteral("moving the branch: %1: %2").arg(display(QFile::decodeName(lockName)), systemError()));
    if (::close(fd) != 0) {
        ::unlink(lockName.constData());
        *error = QStringLiteral("moving the branch: %1: %2").arg(display(QFile::decodeName(lockName)), systemError());
        return false;
    }
    if (::rename(lockName.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("moving the branch: %1: %2").arg(display(path), systemError());
        ::unlink(lockName.constData());
        return false;
    }
    // The reference's log, when the repository keeps one for it (git keeps none in a bare
    // repository unless asked to).
    const QByteArray log = QFile::encodeName(QDir(dir).filePath(QStringLiteral("logs/") + ref));
    // Appended to only as a regular file of its own: never through a link, never to a FIFO.
    const int logFd = ::open(log.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat logStat {};
    if (logFd >= 0 && (::fstat(logFd, &logStat) != 0 || !S_ISREG(logStat.st_mode))) {
        ::close(logFd);
    } else if (logFd >= 0) {
        const QByteArray zero(40, '0');
        writeAll(logFd, (from.isEmpty() ? zero : from.toHex()) + ' ' + to.toHex() + ' ' + logEntry + '\n');
        ::close(logFd);
    }
    return true;
}

} // namespace History::Store
