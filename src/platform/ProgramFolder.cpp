#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

namespace ProgramFolder {

QString resolve(const QString &folderOption, const QString &fallback)
{
    QString folder = folderOption;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("QUILMORA_HOME");
    if (folder.isEmpty())
        folder = fallback;
    return QDir(folder).absolutePath();
}

QString resolveEditor(const QString &folderOption, const QString &programFolder, const QString &systemFolder)
{
    QString folder = folderOption;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("QUILMORA_HOME");
    if (folder.isEmpty()) {
        if (QFileInfo(QDir(programFolder).filePath(QStringLiteral("quilmora.ini"))).isFile())
            folder = programFolder;
        else if (!systemFolder.isEmpty() && QFileInfo(systemFolder).isDir())
            folder = systemFolder;
        else
            folder = programFolder;
    }
    return QDir(folder).absolutePath();
}

QString filePath(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

} // namespace ProgramFolder
