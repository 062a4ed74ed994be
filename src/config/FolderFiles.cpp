#include "config/FolderFiles.h"

#include "config/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace FolderFiles {

namespace {

QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

// Opens `name` in the folder for reading without following a link and without blocking on
// a FIFO; gives the descriptor (or -1) and the status of what stands there.
int openEntry(const Folder &folder, const QString &name, Status *status, struct stat *st)
{
    const QByteArray entry = encoded(name);
    struct stat seen {};
    if (::fstatat(folder.fd(), entry.constData(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
        *status = (errno == ENOENT || errno == ENOTDIR) ? Status::Missing : Status::Failed;
        return -1;
    }
    if (S_ISLNK(seen.st_mode)) {
        *status = Status::Link;
        return -1;
    }
    if (!S_ISREG(seen.st_mode)) {
        *status = Status::NotRegular;
        return -1;
    }
    const int fd = ::openat(folder.fd(), entry.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // Swapped for something else since the look: a link gives ELOOP, a socket ENXIO.
        *status = errno == ELOOP ? Status::Link
                  : errno == ENXIO ? Status::NotRegular
                  : errno == ENOENT ? Status::Missing
                                    : Status::Failed;
        return -1;
    }
    if (::fstat(fd, st) != 0) {
        ::close(fd);
        *status = Status::Failed;
        return -1;
    }
    if (!S_ISREG(st->st_mode)) {
        ::close(fd);
        *status = Status::NotRegular;
        return -1;
    }
    *status = Status::Ok;
    return fd;
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

} // namespace

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Folder::Folder(Folder &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

Folder &Folder::operator=(Folder &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

bool Folder::open(const QString &path)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_path = path;
    m_fd = ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_fd >= 0;
}

QString Folder::filePath(const QString &name) const
{
    return QDir(m_path).filePath(name);
}

Status inspect(const Folder &folder, const QString &name, struct stat *st)
{
    struct stat seen {};
    if (::fstatat(folder.fd(), encoded(name).constData(), &seen, AT_SYMLINK_NOFOLLOW) != 0)
        return (errno == ENOENT || errno == ENOTDIR) ? Status::Missing : Status::Failed;
    if (st)
        *st = seen;
    if (S_ISLNK(seen.st_mode))
        return Status::Link;
    return S_ISREG(seen.st_mode) ? Status::Ok : Status::NotRegular;
}

Status readRegular(const Folder &folder, const QString &name, QByteArray *bytes, struct stat *st)
{
    bytes->clear();
    struct stat own {};
    struct stat &status = st ? *st : own;
    Status result = Status::Failed;
    const int fd = openEntry(folder, name, &result, &status);
    if (fd < 0)
        return result;
    QByteArray data;
    if (status.st_size > 0 && status.st_size < (qint64(1) << 40))
        data.reserve(qsizetype(status.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return Status::Failed;
        }
        if (n == 0)
            break;
        data.append(buffer, qsizetype(n));
    }
    ::close(fd);
    *bytes = std::move(data);
    return Status::Ok;
}

Status removeRegular(const Folder &folder, const QString &name)
{
    Status status = Status::Failed;
    struct stat opened {};
    const int fd = openEntry(folder, name, &status, &opened);
    if (fd < 0)
        return status;
    ::close(fd);
    // The entry is removed only while it is still the file just checked: unlinkat itself
    // never follows a link, and a file swapped in meanwhile stays.
    struct stat now {};
    const QByteArray entry = encoded(name);
    if (::fstatat(folder.fd(), entry.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Status::Missing : Status::Failed;
    if (now.st_dev != opened.st_dev || now.st_ino != opened.st_ino)
        return S_ISLNK(now.st_mode) ? Status::Link : S_ISREG(now.st_mode) ? Status::Failed : Status::NotRegular;
    if (::unlinkat(folder.fd(), entry.constData(), 0) != 0)
        return errno == ENOENT ? Status::Missing : Status::Failed;
    return Status::Ok;
}

QString refusalText(const QString &path, Status status)
{
    if (status == Status::Link)
        return SafeFile::displayPath(path) + QStringLiteral(" is a symbolic link, which is not followed");
    return SafeFile::notRegularText(path);
}

PendingFile::PendingFile(const Folder &folder, const QString &name, const struct stat &like)
    : m_folder(folder), m_name(name), m_like(like)
{
}

PendingFile::~PendingFile()
{
    discard();
}

bool PendingFile::open()
{
    SafeFile::ignoreFileSizeSignal();
    discard();
    m_failed = false;
    m_finished = false;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temp = '.' + encoded(m_name) + ".new-" +
                 QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        m_fd = ::openat(m_folder.fd(), m_temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_temp.clear();
        return false;
    }
    // Owner and group can be set as they were only by a process allowed to; the mode always.
    struct stat mine {};
    if (::fstat(m_fd, &mine) == 0 && (mine.st_uid != m_like.st_uid || mine.st_gid != m_like.st_gid)) {
        if (::fchown(m_fd, m_like.st_uid, m_like.st_gid) != 0) {
            [[maybe_unused]] const int ignored = ::fchown(m_fd, uid_t(-1), m_like.st_gid);
        }
    }
    ::fchmod(m_fd, m_like.st_mode & 07777);
    return true;
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
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    m_finished = synced && closed;
    m_failed = !m_finished;
    return m_finished;
}

bool PendingFile::commit()
{
    if (!m_finished || m_temp.isEmpty())
        return false;
    if (::renameat(m_folder.fd(), m_temp.constData(), m_folder.fd(), encoded(m_name).constData()) != 0)
        return false;
    m_temp.clear();
    ::fsync(m_folder.fd());
    return true;
}

void PendingFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlinkat(m_folder.fd(), m_temp.constData(), 0);
        m_temp.clear();
    }
    m_finished = false;
}

} // namespace FolderFiles
