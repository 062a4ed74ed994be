#include "config/GroupDataFolder.h"

#include <QDir>
#include <QStringList>

namespace GroupDataFolder {

namespace {

QString refusal(const QString &groupName, const char *why)
{
    return QStringLiteral("The group name \"%1\" does not name a data folder: %2")
        .arg(groupName, QString::fromLatin1(why));
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

} // namespace GroupDataFolder
