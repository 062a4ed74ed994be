#include "services/RegularFileTail.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFileTail {

namespace {

// Opens without blocking (a FIFO with no writer returns at once) and checks the type on the
// descriptor, so what is read is what was checked.
int openRegular(const QString &path, Result *result, struct stat *st)
{
    if (path.isEmpty()) {
        result->status = Status::Missing;
        return -1;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        result->status = (errno == ENOENT || errno == ENOTDIR) ? Status::Missing : Status::Failed;
        return -1;
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        result->status = S_ISREG(st->st_mode) || S_ISDIR(st->st_mode) ? Status::Failed : Status::NotRegular;
        ::close(fd);
        return -1;
    }
    result->fileSize = qint64(st->st_size);
    return fd;
}

// Reads from `offset` to the end, but never more than `limit` bytes (the file may grow
// while it is read).
bool readFrom(int fd, qint64 offset, qint64 limit, QByteArray *out)
{
    out->clear();
    out->reserve(qsizetype(limit));
    char buffer[1 << 16];
    while (out->size() < limit) {
        const size_t want = size_t(qMin<qint64>(qint64(sizeof buffer), limit - out->size()));
        const ssize_t n = ::pread(fd, buffer, want, off_t(offset + out->size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        out->append(buffer, qsizetype(n));
    }
    return true;
}

} // namespace

Result readTail(const QString &path, qint64 maxBytes)
{
    Result result;
    struct stat st {};
    const int fd = openRegular(path, &result, &st);
    if (fd < 0)
        return result;
    qint64 offset = result.fileSize > maxBytes ? result.fileSize - maxBytes : 0;
    QByteArray bytes;
    const bool ok = readFrom(fd, offset, maxBytes, &bytes);
    ::close(fd);
    if (!ok) {
        result.status = Status::Failed;
        return result;
    }
    if (offset > 0) {
        // Start with the first whole line: after the first LF, or after a CR not followed
        // by LF. A window without any line break holds no whole line: nothing of it is kept.
        qsizetype start = -1;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const char c = bytes.at(i);
            if (c == '\n' || (c == '\r' && (i + 1 >= bytes.size() || bytes.at(i + 1) != '\n'))) {
                start = i + 1;
                break;
            }
        }
        if (start < 0)
            start = bytes.size(); // all of it is the end of one line begun before the window
        bytes.remove(0, start);
        offset += start;
    }
    result.skipped = offset;
    result.bytes = std::move(bytes);
    result.status = Status::Ok;
    return result;
}

Result readLimited(const QString &path, qint64 maxBytes)
{
    Result result;
    struct stat st {};
    const int fd = openRegular(path, &result, &st);
    if (fd < 0)
        return result;
    if (result.fileSize > maxBytes) {
        ::close(fd);
        result.status = Status::TooLarge;
        return result;
    }
    QByteArray bytes;
    // One byte more than allowed tells a file that grew past the limit meanwhile.
    const bool ok = readFrom(fd, 0, maxBytes + 1, &bytes);
    ::close(fd);
    if (!ok) {
        result.status = Status::Failed;
        return result;
    }
    if (bytes.size() > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    result.bytes = std::move(bytes);
    result.status = Status::Ok;
    return result;
}

} // namespace RegularFileTail
