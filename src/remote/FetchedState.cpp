#include "remote/FetchedState.h"

#include "config/SafeFile.h"
#include "config/Sha256.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FetchedState FetchedState::of(QByteArrayView bytes)
{
    return {bytes.size(), Sha256::hash(bytes)};
}

std::optional<FetchedState> FetchedState::ofFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Sha256 hash;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        hash.add(QByteArrayView(buffer.constData(), got));
    }
    return FetchedState{file.size(), hash.result()};
}

namespace {

FetchedState::Recollection unusable(const QString &path, const QString &what)
{
    FetchedState::Recollection r;
    r.kind = FetchedState::Recollection::Kind::Unusable;
    r.problem = SafeFile::displayPath(path) + QLatin1Char(' ') + what;
    return r;
}

// The record's one line, "SIZE SHA256-IN-HEX"; nullopt when it is not that.
std::optional<FetchedState> parsed(const QByteArray &record)
{
    const QList<QByteArray> parts = record.trimmed().split(' ');
    if (parts.size() != 2)
        return std::nullopt;
    bool ok = false;
    const qint64 size = parts[0].toLongLong(&ok);
    const QByteArray hash = QByteArray::fromHex(parts[1]);
    if (!ok || size < 0 || hash.size() != 32 || hash.toHex() != parts[1].toLower())
        return std::nullopt;
    return FetchedState{size, hash};
}

} // namespace

FetchedState::Recollection FetchedState::recall(const QString &copyPath)
{
    const QString path = sidecarPath(copyPath);
    // Not through a link, and without waiting for a writer a FIFO would need.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return {};
        if (error == ELOOP)
            return unusable(path, QStringLiteral("is a symbolic link"));
        return unusable(path, QStringLiteral("cannot be read: ") + qt_error_string(error));
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return unusable(path, QStringLiteral("cannot be read: ") + qt_error_string(errno));
    if (S_ISDIR(st.st_mode))
        return unusable(path, QStringLiteral("is a folder"));
    if (!S_ISREG(st.st_mode))
        return unusable(path, QStringLiteral("is not a regular file"));
    const QString tooLarge = QStringLiteral("is larger than a record of the last fetch can be (%1 bytes)").arg(RecordLimit);
    if (st.st_size > RecordLimit)
        return unusable(path, tooLarge);
    QByteArray record(RecordLimit + 1, Qt::Uninitialized);
    qint64 have = 0;
    while (have < record.size()) {
        const ssize_t got = ::read(fd, record.data() + have, size_t(record.size() - have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return unusable(path, QStringLiteral("cannot be read: ") + qt_error_string(errno));
        if (got == 0)
            break;
        have += got;
    }
    if (have > RecordLimit) // it grew while it was read
        return unusable(path, tooLarge);
    record.truncate(have);
    if (record.isEmpty())
        return unusable(path, QStringLiteral("is empty"));
    const std::optional<FetchedState> state = parsed(record);
    if (!state)
        return unusable(path, QStringLiteral("does not hold a record of the last fetch (a size and a SHA-256)"));
    Recollection r;
    r.kind = Recollection::Kind::Remembered;
    r.state = *state;
    return r;
}

std::optional<FetchedState> FetchedState::recalled(const QString &copyPath)
{
    const Recollection r = recall(copyPath);
    if (r.kind != Recollection::Kind::Remembered)
        return std::nullopt;
    return r.state;
}

bool FetchedState::remember(const QString &copyPath) const
{
    const QByteArray record = QByteArray::number(size) + ' ' + sha256.toHex() + '\n';
    SafeFile::PendingFile file(sidecarPath(copyPath), SafeFile::PendingFile::Links::Replace);
    if (file.open() && file.write(record) && file.finish() && file.commit())
        return true;
    forget(copyPath);
    return false;
}

void FetchedState::forget(const QString &copyPath)
{
    // Removes a link itself, never its target; a folder stays (and stays unusable).
    QFile::remove(sidecarPath(copyPath));
}
