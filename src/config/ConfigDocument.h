#pragma once

#include "config/ConfigStore.h"
#include "config/LinkedFiles.h"
#include "config/SafeFile.h"
#include "config/ServerSettings.h"
#include "config/TGroup.h"
#include "config/TPop.h"
#include "config/TUser.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <memory>
#include <vector>

class TextCodec;

// The items of a list as the plain pointers that render() and the check take.
template <typename T>
QList<const T *> itemViews(const std::vector<std::unique_ptr<T>> &items)
{
    QList<const T *> out;
    out.reserve(qsizetype(items.size()));
    for (const auto &item : items)
        out.append(item.get());
    return out;
}

// The configuration as the editor holds it: the server settings of the pages and the
// three item lists in file order. This is the one place that maps keys to values: the
// editor and quilmora-config load and save through it.
class ConfigDocument
{
public:
    ServerSettings server;
    bool oldFormat = false;
    std::vector<std::unique_ptr<TPop>> pops;
    std::vector<std::unique_ptr<TUser>> users;
    std::vector<std::unique_ptr<TGroup>> groups;

    // Which files named by an old-format file the load may read (set before load(); none
    // unless the caller knows the file is the folder's own configuration), and after loading, the names it passed over (LinkedFiles::message() tells the user).
    LinkedFiles::Mode linkedFileMode = LinkedFiles::Mode::None;
    // Where those files are looked for, and the configuration that is never read as one of
    // them (with its backup); empty: the loaded file's own folder and the file itself. A
    // backup, the folder's own earlier file, reads them from the folder as the file does.
    QString linkedFolder;
    QString linkedConfiguration;
    LinkedFiles linkedFiles;
    // The loaded file as it was on disk, to tell whether someone else changed it before a save.
    SafeFile::Fingerprint fingerprint;
    // With `keepSha256` set before load(), `sha256` holds the SHA-256 of the bytes the load
    // read (64 lower-case hexadecimal digits), for a guarded write by a later command.
    bool keepSha256 = false;
    QByteArray sha256;

    // What load() reads (set before it): the server settings always, and the item lists
    // named here, all of them unless a reader asks for less. Without items the file is
    // parsed only up to the end of its SERVER section. A reader that never saves needs no
    // fingerprint either.
    enum ItemParts { NoItems = 0, PopItems = 1, UserItems = 2, GroupItems = 4, AllItems = 7 };
    int loadParts = AllItems;
    bool takeFingerprint = true;

    // What a save that would overwrite another program's change fails with.
    static QString changedOnDiskText()
    {
        return QStringLiteral("The configuration file was changed by another program since it was loaded.");
    }

    // Loads a configuration file. A missing file loads as all defaults and no items.
    // Fails with "Cannot open file <path>" for a file that exists but cannot be read,
    // "<path> is not a regular file" for a FIFO, device or folder, "<path> is not a
    // configuration file" for bytes that are not one (ConfigBytes), and
    // with "'<Version>' is not a valid floating point value" when the format cannot be
    // decided; the items are then not loaded. `codec` decodes texts for messages only.
    bool load(const QString &path, const TextCodec &codec, QString *error,
              const QLocale &locale = QLocale());

    // The same from a store already parsed. A store handed over (a temporary) gives its
    // buffer to the items' binary values as well, decoded in place.
    bool loadFromStore(const ConfigStore &store, const TextCodec &codec, QString *error,
                       const QLocale &locale = QLocale());
    bool loadFromStore(ConfigStore &&store, const TextCodec &codec, QString *error,
                       const QLocale &locale = QLocale());

    // Decides the format from a `Version` text: the first "." becomes the locale's decimal
    // separator, then the text is read as a number; below 1.05 is the old format.
    static bool isOldFormat(const QByteArray &version, const QLocale &locale, bool *ok);

    // The file the save writes: SERVER with the counts last, then POP, USER and GROUP
    // sections numbered from 1 in the order given.
    static QByteArray render(const ServerSettings &server, const QList<const TPop *> &pops,
                             const QList<const TUser *> &users, const QList<const TGroup *> &groups);
    QByteArray render() const;

    // What a save that could not keep the previous file as its backup warns of (the save
    // itself went through).
    static QString backupLostText(const QString &path);

    // Writes the file atomically, keeping the previous one as "<name>.bak" and the file's
    // owner, group and mode; on failure the file is kept as it was and `error` holds
    // "Unable to write to <full path>". When the previous file could not be kept as the
    // backup, the save still goes through and `warning` (when given) holds backupLostText().
    static bool saveBytes(const QString &path, const QByteArray &bytes, QString *error, QString *warning = nullptr);
    // The same, but fails with changedOnDiskText() when the file on disk is no longer what
    // `fingerprint` describes: checked before writing, and again once the new content is
    // written and flushed, right before it replaces the file. On success `fingerprint`
    // describes the new file.
    static bool saveBytesChecked(const QString &path, const QByteArray &bytes, SafeFile::Fingerprint &fingerprint,
                                 QString *error, QString *warning = nullptr);
    // The same for this document, rendered straight into the file in pieces: the whole file
    // is never held in memory. The bytes written are render()'s (as save() writes them).
    bool saveChecked(const QString &path, SafeFile::Fingerprint &fingerprint, QString *error,
                     QString *warning = nullptr) const;
    // Whether the file on disk differs from `fingerprint`.
    static bool changedOnDisk(const QString &path, const SafeFile::Fingerprint &fingerprint);
    bool save(const QString &path, QString *error) const;

    // Server settings read from SERVER, spin values clamped, before the format decision.
    static ServerSettings readServerSettings(const ConfigStore &store);

private:
    bool loadItems(const ConfigStore &store, ConfigStore *writable, const TextCodec &codec, QString *error,
                   const QLocale &locale);
};
