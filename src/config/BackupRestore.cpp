#include "config/BackupRestore.h"

#include "config/ConfigDocument.h"
#include "config/SafeFile.h"

#include <QFileInfo>

namespace BackupRestore {

QString backupPath(const QString &configuration)
{
    return SafeFile::backupPath(configuration);
}

bool isEmpty(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

bool load(const QString &folder, const QString &configuration, bool ownConfiguration, const TextCodec &codec,
          ConfigDocument *doc, Loaded *loaded, QString *error)
{
    *loaded = Loaded();
    const QString backup = backupPath(configuration);
    const QFileInfo info(backup);
    if (!info.exists() && !info.isSymLink()) {
        *error = QStringLiteral("No backup at ") + backup;
        return false;
    }
    doc->linkedFileMode = ownConfiguration ? LinkedFiles::Mode::Inside : LinkedFiles::Mode::None;
    doc->linkedFolder = QFileInfo(folder).absoluteFilePath();
    doc->linkedConfiguration = configuration;
    // A backup of nothing but blanks and line ends loads as an empty configuration (the
    // caller asks or refuses first).
    QByteArray bytes;
    loaded->empty = SafeFile::readRegular(backup, &bytes) == SafeFile::ReadStatus::Ok && isEmpty(bytes);
    if (loaded->empty)
        bytes.clear();
    if (loaded->empty ? !doc->loadFromStore(ConfigStore::fromBytes(std::move(bytes)), codec, error)
                      : !doc->load(backup, codec, error))
        return false;

    QStringList notes;
    if (const QString skipped = doc->linkedFiles.message(); !skipped.isEmpty())
        notes.append(skipped);
    if (const QStringList &missing = doc->linkedFiles.missing(); !missing.isEmpty())
        notes.append(QStringLiteral("The backup names files that do not exist in %1:\n  %2\nTheir auto-reply bodies and "
                                    "key lists are restored empty.")
                         .arg(doc->linkedFolder, missing.join(QStringLiteral("\n  "))));
    loaded->notes = notes.join(QLatin1Char('\n'));
    return true;
}

QString unreadableCurrentText(const QString &why)
{
    return QStringLiteral("The current configuration cannot be read (%1): the backup replaces it whole.").arg(why);
}

QString emptyBackupText(const QString &backup)
{
    return QStringLiteral("The backup %1 is empty: restoring it leaves a configuration without any item and with "
                          "every server setting at its default.")
        .arg(backup);
}

} // namespace BackupRestore
