#include "remote/FetchedState.h"

#include "config/SafeFile.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

constexpr qint64 RecordLimit = 256; // a record is one short line

} // namespace

FetchedState FetchedState::of(QByteArrayView bytes)
{
    return {bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}

std::optional<FetchedState> FetchedState::ofFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return std::nullopt;
    return FetchedState{file.size(), hash.result()};
}

std::optional<FetchedState> FetchedState::recalled(const QString &copyPath)
{
    QFile file(sidecarPath(copyPath));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.read(RecordLimit).trimmed();
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 2)
        return std::nullopt;
    bool ok = false;
    const qint64 size = parts[0].toLongLong(&ok);
    const QByteArray hash = QByteArray::fromHex(parts[1]);
    if (!ok || size < 0 || hash.size() != 32 || hash.toHex() != parts[1].toLower())
        return std::nullopt;
    return FetchedState{size, hash};
}

bool FetchedState::remember(const QString &copyPath) const
{
    const QByteArray record = QByteArray::number(size) + ' ' + sha256.toHex() + '\n';
    if (SafeFile::replace(sidecarPath(copyPath), record))
        return true;
    forget(copyPath);
    return false;
}

void FetchedState::forget(const QString &copyPath)
{
    QFile::remove(sidecarPath(copyPath));
}
