#include "support/PlantedEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace PlantedEntry {

bool plant(const QString &path, Kind kind, const QString &target)
{
    const QByteArray where = QFile::encodeName(path);
    ::unlink(where.constData());
    ::rmdir(where.constData());
    switch (kind) {
    case Kind::LinkToFile:
        return ::symlink(QFile::encodeName(target).constData(), where.constData()) == 0;
    case Kind::Dangling:
        return ::symlink(QFile::encodeName(path + QStringLiteral(".nowhere")).constData(), where.constData()) == 0;
    case Kind::Fifo:
        return ::mkfifo(where.constData(), 0600) == 0;
    case Kind::Folder:
        return QDir().mkdir(path);
    }
    return false;
}

const char *name(Kind kind)
{
    switch (kind) {
    case Kind::LinkToFile: return "link";
    case Kind::Dangling: return "dangling link";
    case Kind::Fifo: return "FIFO";
    case Kind::Folder: return "folder";
    }
    return "";
}

} // namespace PlantedEntry
