#include "platform/ProgramFolder.h"

#include <QDir>

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

QString filePath(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

} // namespace ProgramFolder
