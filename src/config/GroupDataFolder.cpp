#include "config/GroupDataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace GroupDataFolder {

namespace {

QString refusal(const QString &groupName, const char *why)
{
    return QStringLiteral("The group name \"%1\" does not name a data folder: %2")
        .arg(groupName, QString::fromLatin1(why));
}

// Removes what lies at `entry`: a symbolic link or a file as itself, a folder with its
// content first. Goes on past what cannot be removed, so as much as possible goes; false
// when anything stayed.
bool removeEntry(const QFileInfo &entry)
{
    if (entry.isSymLink() || !entry.isDir())
        return QFile::remove(entry.absoluteFilePath());
    bool all = true;
    const QDir folder(entry.absoluteFilePath());
    const QFileInfoList children = folder.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &child : children)
        all = removeEntry(child) && all;
    return QDir().rmdir(entry.absoluteFilePath()) && all;
}

} // namespace

QString dataRoot(const QString &programFolder)
{
    return QDir::cleanPath(QDir(programFolder).absoluteFilePath(QStringLiteral("data")));
}

QString path(const QString &programFolder, const QString &groupName, QString *error)
{
    auto refuse = [error](const QString &message) {
        if (error)
            *error = message;
        return QString();
    };
    if (groupName.isEmpty())
        return refuse(QStringLiteral("The group has no name, so it has no data folder"));

    const QStringList parts = groupName.split(QLatin1Char('.'));
    for (const QString &part : parts) {
        if (part.isEmpty())
            return refuse(refusal(groupName, "it starts or ends with \".\" or holds \"..\""));
        for (const QChar c : part) {
            if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
                return refuse(refusal(groupName, "it holds a path separator"));
            if (c == QLatin1Char(':'))
                return refuse(refusal(groupName, "it holds a drive colon"));
            if (c.unicode() == 0)
                return refuse(refusal(groupName, "it holds a NUL character"));
        }
    }

    const QString root = dataRoot(programFolder);
    const QString folder = root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    // The parts above cannot climb out of "data"; this keeps that true whatever changes.
    if (!QDir::cleanPath(folder).startsWith(root + QLatin1Char('/')))
        return refuse(refusal(groupName, "it leads outside the data folder"));
    if (error)
        error->clear();
    return folder;
}

bool remove(const QString &programFolder, const QString &groupName, QString *error)
{
    QString refused;
    const QString folder = path(programFolder, groupName, &refused);
    if (folder.isEmpty()) {
        if (error)
            *error = refused;
        return false;
    }

    // The group folder itself is never followed either: a link standing in its place goes
    // as a link. A folder above it may be a link the administrator set up (data on another
    // disk); the name cannot climb out of it, so it is used as it is.
    const QFileInfo target(folder);
    bool removed = true;
    if (target.isSymLink() || target.exists())
        removed = removeEntry(target);

    // The walk upwards: each folder above that has become empty goes, up to "data"; the
    // first that still holds something (or is a link) ends it. The program's folder is
    // above "data" and so never reached.
    const QString root = dataRoot(programFolder);
    QString above = folder;
    while (above != root) {
        above = above.left(above.lastIndexOf(QLatin1Char('/')));
        if (!QFileInfo(above).isDir() || QFileInfo(above).isSymLink() || !QDir().rmdir(above))
            break;
    }

    if (!removed) {
        if (error)
            *error = QStringLiteral("Could not remove everything in the data folder %1").arg(folder);
        return false;
    }
    if (error)
        error->clear();
    return true;
}

} // namespace GroupDataFolder
