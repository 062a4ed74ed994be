#include "config/SafeFile.h"

#include "platform/LargeBuffer.h"

#include <QDeadlineTimer>
#include <QHashFunctions>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

std::function<void(const QString &)> &beforeLastCheck()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

qint64 modifiedNsOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

void syncFolder(const QString &file)
{
    const int fd = ::open(encoded(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

mode_t creationMode()
{
    // The mode a plain new file would get: 0666 less the process's umask.
    static const mode_t mode = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

// Gives the temporary file at `fd` the owner, group and mode of `like` (the file it will
// replace). Owner and group can only be set as they were by a process allowed to do so;
// otherwise what can be kept is kept.
void copyOwnership(int fd, const struct stat &like)
{
    struct stat mine {};
    if (::fstat(fd, &mine) == 0 && (mine.st_uid != like.st_uid || mine.st_gid != like.st_gid)) {
        if (::fchown(fd, like.st_uid, like.st_gid) != 0) {
            [[maybe_unused]] const int ignored = ::fchown(fd, uid_t(-1), like.st_gid);
        }
    }
    ::fchmod(fd, like.st_mode & 07777);
}

// A name for a new file next to `target` that does not exist yet: ".<name>.<tag>XXXXXX".
QString hiddenSibling(const QString &target, const QString &tag)
{
    const QFileInfo info(target);
    const QString random = QString::number(QRandomGenerator::global()->generate64(), 36);
    return info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1Char('.') + tag + random;
}

// Copies `from` into a new hidden file next to `to`, with `from`'s ownership and mode;
// gives its name, or an empty text on failure. For file systems without hard links.
QString copyAside(const QString &from, const QString &to, const struct stat &st)
{
    QByteArray bytes;
    if (readRegular(from, &bytes) != ReadStatus::Ok)
        return {};
    const QString name = hiddenSibling(to, QStringLiteral("bak-"));
    const int fd = ::open(encoded(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    copyOwnership(fd, st);
    const bool ok = writeAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok) {
        ::unlink(encoded(name).constData());
        return {};
    }
    return name;
}

// The fingerprint's hash, taken in chunks of this size so that a file can be hashed as it
// is read, through one small buffer, with the same result as its bytes in memory.
constexpr qsizetype kHashChunk = 64 * 1024;

size_t hashChunks(size_t seed, const char *data, qsizetype size)
{
    for (qsizetype at = 0; at < size; at += kHashChunk)
        seed = qHashBits(data + at, size_t(qMin(kHashChunk, size - at)), seed);
    return seed;
}

} // namespace

bool Fingerprint::operator==(const Fingerprint &other) const
{
    if (!exists || !other.exists)
        return exists == other.exists;
    return size == other.size && modifiedNs == other.modifiedNs && hash == other.hash;
}

ReadStatus readRegularPieces(const QString &path, const std::function<void(QByteArrayView)> &piece)
{
    if (path.isEmpty())
        return ReadStatus::Missing;
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? ReadStatus::Failed : ReadStatus::NotRegular;
    }
    // Small enough to stay in the processor's cache, large enough for few system calls.
    constexpr size_t kPiece = 256 * 1024;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), kPiece);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        piece(QByteArrayView(buffer.get(), qsizetype(n)));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

Fingerprint fingerprintOf(const QByteArray &bytes, qint64 modifiedNs)
{
    Fingerprint f;
    f.exists = true;
    f.size = bytes.size();
    f.modifiedNs = modifiedNs;
    // A fast 64-bit hash beside size and time: the fingerprint notices another program's
    // edit, it does not stand against an attacker, and SHA-256 of a large file cost more
    // than the whole load and save (it is taken at the load and twice around a save).
    const size_t h = hashChunks(0, bytes.constData(), bytes.size());
    f.hash = QByteArray(reinterpret_cast<const char *>(&h), sizeof h);
    return f;
}

ReadStatus readRegular(const QString &path, QByteArray *bytes, Fingerprint *fingerprint)
{
    bytes->clear();
    if (fingerprint)
        *fingerprint = Fingerprint();
    if (path.isEmpty())
        return ReadStatus::Missing;
    // Non-blocking, so opening a FIFO with no writer returns at once.
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        // A folder simply cannot be opened as a file; a FIFO or a device must not be read.
        return S_ISDIR(st.st_mode) ? ReadStatus::Failed : ReadStatus::NotRegular;
    }
    // Read straight into a buffer of the file's size (one copy of the bytes); a file that
    // grows meanwhile is read to its end all the same.
    QByteArray data;
    qsizetype size = 0;
    qsizetype room = st.st_size > 0 && st.st_size < (qint64(1) << 40) ? qsizetype(st.st_size) + 1 : 64 * 1024;
    data.resize(room);
    LargeBuffer::adviseHugePages(data.data(), room);
    LargeBuffer::populate(data.data(), room);
    for (;;) {
        if (size == room) {
            room *= 2;
            data.resize(room);
        }
        const ssize_t n = ::read(fd, data.data() + size, size_t(room - size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        size += qsizetype(n);
    }
    ::close(fd);
    data.resize(size);
    if (fingerprint)
        *fingerprint = fingerprintOf(data, modifiedNsOf(st));
    *bytes = std::move(data);
    return ReadStatus::Ok;
}

namespace {

FileIdentity identityOf(const struct stat &st)
{
    FileIdentity id;
    id.known = true;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modifiedNs = modifiedNsOf(st);
    return id;
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 on an error.
ssize_t readFully(int fd, char *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

// The fingerprint of the file at `path`, hashed as it is read through one small buffer: no
// copy of the whole file is made. With `other`, the file is compared with that one on the
// way (`same`: both hold exactly the same bytes). `seen`: the file that was read.
Fingerprint readFingerprint(const QString &path, const QString *other, bool *same, FileIdentity *seen)
{
    Fingerprint f;
    if (same)
        *same = false;
    // Something that cannot be read stands there: it differs from any file read before.
    const auto unreadable = [&f] {
        f = Fingerprint();
        f.exists = true;
        f.size = -1;
        return f;
    };
    if (path.isEmpty())
        return f;
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? f : unreadable();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return unreadable();
    }
    if (seen)
        *seen = identityOf(st);
    // The other file is compared only while it can be: a difference, or one that cannot be
    // read, ends the comparison (not the hash).
    int otherFd = -1;
    std::unique_ptr<char[]> otherBuffer;
    if (other && same) {
        otherFd = ::open(encoded(*other).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat ost {};
        if (otherFd >= 0 && (::fstat(otherFd, &ost) != 0 || !S_ISREG(ost.st_mode) || ost.st_size != st.st_size)) {
            ::close(otherFd);
            otherFd = -1;
        }
        if (otherFd >= 0)
            otherBuffer.reset(new char[kHashChunk]);
    }
    bool matching = otherFd >= 0;
    const auto compareNext = [&](const char *data, qsizetype size) {
        if (!matching)
            return;
        const ssize_t n = readFully(otherFd, otherBuffer.get(), size_t(size));
        matching = n == ssize_t(size) && std::memcmp(data, otherBuffer.get(), size_t(size)) == 0;
    };
    char buffer[kHashChunk];
    size_t h = 0;
    qint64 size = 0;
    bool failed = false;
    for (;;) {
        const ssize_t n = readFully(fd, buffer, size_t(kHashChunk));
        if (n < 0) {
            failed = true;
            break;
        }
        if (n > 0) {
            h = hashChunks(h, buffer, qsizetype(n));
            compareNext(buffer, qsizetype(n));
            size += n;
        }
        if (n < kHashChunk)
            break;
    }
    ::close(fd);
    if (otherFd >= 0) {
        // The other file must end where this one does.
        char extra;
        matching = matching && readFully(otherFd, &extra, 1) == 0;
        ::close(otherFd);
    }
    if (failed)
        return unreadable();
    if (same)
        *same = matching;
    f.exists = true;
    f.size = size;
    f.modifiedNs = modifiedNsOf(st);
    f.hash = QByteArray(reinterpret_cast<const char *>(&h), sizeof h);
    return f;
}

// Whether the file on disk is still what `fingerprint` describes (unchangedSince()), with
// the comparison and the identity of readFingerprint().
bool unchangedComparing(const QString &path, const Fingerprint &fingerprint, const QString *other, bool *same,
                        FileIdentity *seen)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(encoded(path).constData(), &st) != 0)
        return !fingerprint.exists && (path.isEmpty() || errno == ENOENT || errno == ENOTDIR);
    // Something unreadable that the caller saw and chose to replace (a folder, a FIFO) is
    // unchanged while it still cannot be read; replacing it then fails on its own terms.
    if (fingerprint.exists && fingerprint.size < 0)
        return readFingerprint(path, nullptr, nullptr, nullptr) == fingerprint;
    // Size and time tell most changes without reading a byte.
    if (!fingerprint.exists || !S_ISREG(st.st_mode) || qint64(st.st_size) != fingerprint.size ||
        modifiedNsOf(st) != fingerprint.modifiedNs)
        return false;
    return readFingerprint(path, other, same, seen) == fingerprint;
}

} // namespace

Fingerprint fingerprintOf(const QString &path)
{
    // As readRegular() takes it, without holding the file.
    return readFingerprint(path, nullptr, nullptr, nullptr);
}

bool differsAtAGlance(const QString &path, const Fingerprint &fingerprint)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(encoded(path).constData(), &st) != 0)
        return fingerprint.exists || !(path.isEmpty() || errno == ENOENT || errno == ENOTDIR);
    if (!fingerprint.exists)
        return true;
    if (fingerprint.size < 0) // something unreadable: only a read tells
        return false;
    return !S_ISREG(st.st_mode) || qint64(st.st_size) != fingerprint.size || modifiedNsOf(st) != fingerprint.modifiedNs;
}

Fingerprint fingerprintOfWritten(const QString &path, const QByteArray &bytes)
{
    struct stat st {};
    if (::stat(encoded(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != bytes.size())
        return fingerprintOf(path);
    return fingerprintOf(bytes, modifiedNsOf(st));
}

Fingerprint fingerprintOfWrittenSame(const QString &path, const Fingerprint &replaced)
{
    struct stat st {};
    if (!replaced.exists || replaced.size < 0 || ::stat(encoded(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size != replaced.size)
        return fingerprintOf(path);
    Fingerprint f = replaced;
    f.modifiedNs = modifiedNsOf(st);
    return f;
}

bool unchangedSince(const QString &path, const Fingerprint &fingerprint)
{
    return unchangedComparing(path, fingerprint, nullptr, nullptr, nullptr);
}

void setBeforeLastCheck(std::function<void(const QString &path)> hook)
{
    beforeLastCheck() = std::move(hook);
}

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString notRegularText(const QString &path)
{
    return displayPath(path) + QStringLiteral(" is not a regular file");
}

QString replacedFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // A dangling link: the save creates its target.
    return QFileInfo(info.symLinkTarget()).absoluteFilePath();
}

QString backupPath(const QString &path)
{
    return replacedFile(path) + QStringLiteral(".bak");
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            ::sigaction(SIGXFSZ, &ignore, nullptr);
        }
    });
#endif
}

PendingFile::PendingFile(const QString &path) : m_path(path), m_target(replacedFile(path)) {}

PendingFile::PendingFile(const QString &path, Links links)
    : m_path(path),
      m_target(links == Links::Follow ? replacedFile(path) : QFileInfo(path).absoluteFilePath()),
      m_links(links)
{
}

PendingFile::~PendingFile()
{
    discard();
}

bool PendingFile::open()
{
    ignoreFileSizeSignal();
    discard();
    m_failed = false;
    removeLeftovers(m_target);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temp = hiddenSibling(m_target, QStringLiteral("new-"));
        m_fd = ::open(encoded(m_temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd < 0 && errno != EEXIST)
            break;
        if (m_fd >= 0 && !lockTemporary()) {
            ::close(m_fd); // another save took it for a leftover and removed it: a new name
            m_fd = -1;
        }
    }
    if (m_fd < 0) {
        m_temp.clear();
        return false;
    }
    struct stat old {};
    // A link that is replaced lends nothing: lstat sees the link, never its target.
    const int looked = m_links == Links::Follow ? ::stat(encoded(m_target).constData(), &old)
                                                : ::lstat(encoded(m_target).constData(), &old);
    if (looked == 0 && S_ISREG(old.st_mode))
        copyOwnership(m_fd, old);
    else
        ::fchmod(m_fd, creationMode());
    return true;
}

// Takes the lock that marks the temporary file as a running save's. Another save may have
// found the file between its creation and this lock and removed it as a leftover: then the
// name no longer leads to this file, and false asks for a new one.
bool PendingFile::lockTemporary()
{
    m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (m_lockFd < 0)
        return true; // unlocked: nothing else removes a file it cannot lock either
    while (::flock(m_lockFd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return true; // a file system without locks: likewise
    }
    struct stat mine {};
    struct stat there {};
    if (::fstat(m_fd, &mine) == 0 && ::lstat(encoded(m_temp).constData(), &there) == 0 &&
        mine.st_dev == there.st_dev && mine.st_ino == there.st_ino)
        return true;
    ::close(m_lockFd);
    m_lockFd = -1;
    return false;
}

bool PendingFile::write(QByteArrayView bytes)
{
    if (m_fd < 0 || m_failed)
        return false;
    if (!writeAll(m_fd, bytes.data(), bytes.size()))
        m_failed = true;
    return !m_failed;
}

bool PendingFile::finish()
{
    if (m_fd < 0 || m_failed)
        return false;
    const bool synced = ::fsync(m_fd) == 0;
    struct stat st {};
    m_writtenIdentity = ::fstat(m_fd, &st) == 0 ? identityOf(st) : FileIdentity();
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    m_failed = !(synced && closed);
    return !m_failed;
}

bool PendingFile::commit(bool keepBackup)
{
    return commitChecked(nullptr, keepBackup) == Commit::Done;
}

PendingFile::Commit PendingFile::commitIfUnchanged(const Fingerprint &expected, bool keepBackup)
{
    return commitChecked(&expected, keepBackup);
}

PendingFile::Commit PendingFile::commitChecked(const Fingerprint *expected, bool keepBackup)
{
    m_backupLost = false;
    m_replacedSame = false;
    m_replacedIdentity = FileIdentity();
    if (m_temp.isEmpty() || m_failed)
        return Commit::Failed;
    if (m_fd >= 0 && !finish())
        return Commit::Failed;
    // Another program may have written the file while the new content was written and
    // flushed (a large file takes a while): looked at again as late as possible.
    if (expected) {
        if (beforeLastCheck())
            beforeLastCheck()(m_path);
        const QString temp = m_temp;
        if (!unchangedComparing(m_path, *expected, m_compareReplaced ? &temp : nullptr, &m_replacedSame,
                                &m_replacedIdentity)) {
            m_replacedSame = false;
            m_replacedIdentity = FileIdentity();
            discard();
            return Commit::Changed;
        }
    }

    // The backup is made beside the old file before anything is renamed, under a hidden
    // name; it takes the name "<name>.bak" only once the new file stands in place.
    QString asideBackup;
    if (keepBackup) {
        struct stat old {};
        if (::stat(encoded(m_target).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
            for (int attempt = 0; attempt < 100 && asideBackup.isEmpty(); ++attempt) {
                const QString name = hiddenSibling(m_target, QStringLiteral("bak-"));
                if (::link(encoded(m_target).constData(), encoded(name).constData()) == 0)
                    asideBackup = name;
                else if (errno != EEXIST)
                    break;
            }
            if (asideBackup.isEmpty())
                asideBackup = copyAside(m_target, m_target, old);
            // Without a backup the save still goes on; the caller says so.
            m_backupLost = asideBackup.isEmpty();
        }
    }
    if (::rename(encoded(m_temp).constData(), encoded(m_target).constData()) != 0) {
        if (!asideBackup.isEmpty())
            ::unlink(encoded(asideBackup).constData());
        m_backupLost = false;
        return Commit::Failed;
    }
    m_temp.clear();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    if (!asideBackup.isEmpty() &&
        ::rename(encoded(asideBackup).constData(), encoded(m_target + QStringLiteral(".bak")).constData()) != 0) {
        ::unlink(encoded(asideBackup).constData());
        m_backupLost = true;
    }
    syncFolder(m_target);
    return Commit::Done;
}

void PendingFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(encoded(m_temp).constData());
        m_temp.clear();
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd); // after the removal, so no other save takes the file for a leftover first
        m_lockFd = -1;
    }
}

int removeLeftovers(const QString &path)
{
    const QFileInfo target(replacedFile(path));
    const QByteArray prefix = encoded(QLatin1Char('.') + target.fileName() + QLatin1String(".new-"));
    DIR *dir = ::opendir(encoded(target.absolutePath()).constData());
    if (!dir)
        return 0;
    const int folder = ::dirfd(dir);
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.constData(), size_t(prefix.size())) != 0)
            continue;
        const int fd = ::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Locked: its save is still running. Free: its writer is gone. The name must still
        // lead to the file locked, so nothing another save just created there is removed.
        struct stat mine {};
        struct stat there {};
        if (::fstat(fd, &mine) == 0 && S_ISREG(mine.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(folder, entry->d_name, &there, AT_SYMLINK_NOFOLLOW) == 0 && mine.st_dev == there.st_dev &&
            mine.st_ino == there.st_ino && ::unlinkat(folder, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

bool replace(const QString &path, QByteArrayView bytes, bool keepBackup)
{
    PendingFile file(path);
    return file.open() && file.write(bytes) && file.finish() && file.commit(keepBackup);
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the lock
}

bool FolderLock::acquire(const QString &folder, int timeoutMs, QString *error)
{
    if (m_fd >= 0)
        return true;
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            return true; // a folder that cannot be locked (a network file system) is used unlocked
        }
        if (deadline.hasExpired()) {
            ::close(fd);
            if (error)
                *error = QStringLiteral("The folder %1 is in use by another command.").arg(displayPath(folder));
            return false;
        }
        QThread::msleep(20);
    }
}

} // namespace SafeFile
