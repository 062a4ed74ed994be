#include "platform/ProgramFolder.h"

#include <QCoreApplication>
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

QString filePath(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

QString findDocument(const QString &programFolder, const QString &name)
{
    QStringList folders{programFolder};
    if (QCoreApplication::instance())
        folders.append(QCoreApplication::applicationDirPath());
#ifdef QUILMORA_DATA_DIR
    folders.append(QStringLiteral(QUILMORA_DATA_DIR));
#endif
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString path = filePath(folder, name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return filePath(programFolder, name);
}

} // namespace ProgramFolder
