#pragma once

#include "config/ConfigStore.h"
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

    // Loads a configuration file. A missing file loads as all defaults and no items.
    // Fails with "Cannot open file <path>" for a file that exists but cannot be read, and
    // with "'<Version>' is not a valid floating point value" when the format cannot be
    // decided; the items are then not loaded. `codec` decodes texts for messages only.
    bool load(const QString &path, const TextCodec &codec, QString *error,
              const QLocale &locale = QLocale());

    // The same from a store already parsed.
    bool loadFromStore(const ConfigStore &store, const TextCodec &codec, QString *error,
                       const QLocale &locale = QLocale());

    // Decides the format from a `Version` text: the first "." becomes the locale's decimal
    // separator, then the text is read as a number; below 1.05 is the old format.
    static bool isOldFormat(const QByteArray &version, const QLocale &locale, bool *ok);

    // The file the save writes: SERVER with the counts last, then POP, USER and GROUP
    // sections numbered from 1 in the order given.
    static QByteArray render(const ServerSettings &server, const QList<const TPop *> &pops,
                             const QList<const TUser *> &users, const QList<const TGroup *> &groups);
    QByteArray render() const;

    // Writes the file atomically; on failure the previous file is kept and `error` holds
    // "Unable to write to <full path>".
    static bool saveBytes(const QString &path, const QByteArray &bytes, QString *error);
    bool save(const QString &path, QString *error) const;

    // Server settings read from SERVER, spin values clamped, before the format decision.
    static ServerSettings readServerSettings(const ConfigStore &store);
};
