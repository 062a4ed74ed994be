#pragma once

#include <QString>
#include <memory>
#include <optional>

// One open registry key: typed values (strings and 32-bit integers) under names matched
// without regard to letter case. A value read with the wrong type counts as missing.
class RegistryKey
{
public:
    virtual ~RegistryKey() = default;

    virtual bool valueExists(const QString &name) const = 0;
    virtual std::optional<QString> readString(const QString &name) const = 0;
    virtual std::optional<qint32> readInteger(const QString &name) const = 0;
    // False when the value could not be stored.
    virtual bool writeString(const QString &name, const QString &value) = 0;
    virtual bool writeInteger(const QString &name, qint32 value) = 0;
};

// The settings store of the editor itself (the connection details, the tip of the day,
// the version check), shaped like the Windows registry: roots, keys named by paths of
// backslash-separated parts, typed values. Handed to the windows that need it, so tests
// can give each run a registry of its own.
class Registry
{
public:
    enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };
    enum class Access { ReadOnly, Full };

    virtual ~Registry() = default;

    // Opens the key `path` (e.g. "\SOFTWARE\Kovalen Designs\Quilmora\Server") under `root`.
    // With `create`, a missing key is created. Nothing when the key is missing, or when
    // `access` is Full and the key cannot be written.
    virtual std::unique_ptr<RegistryKey> openKey(Root root, const QString &path, Access access,
                                                 bool create) = 0;

    // "HKEY_LOCAL_MACHINE" and the like.
    static QString rootName(Root root);
    // Splits a full key name such as "HKEY_LOCAL_MACHINE\SOFTWARE\Kovalen Designs\Quilmora"
    // into its root and path. False when it names no known root.
    static bool splitKeyName(const QString &fullName, Root *root, QString *path);
    // The path in one spelling: parts joined by single backslashes, none at either end.
    static QString normalizedPath(const QString &path);
};

// The registry on Linux: one text file per root ("HKEY_LOCAL_MACHINE.ini") in a folder,
// a section per key and a line per value:
//   [SOFTWARE\Kovalen Designs\Quilmora\Server]
//   "Server"="mail.example.com"
//   "Port"=dword:35000
// A key opened with full access needs the folder (and the file, if there is one) to be
// writable. Every write rewrites the file atomically.
class IniFileRegistry : public Registry
{
public:
    explicit IniFileRegistry(const QString &folder);

    // $QUILMORA_REGISTRY_DIR, else quilmora/registry in the user's configuration folder.
    static QString defaultFolder();

    const QString &folder() const { return m_folder; }
    QString filePath(Root root) const;

    std::unique_ptr<RegistryKey> openKey(Root root, const QString &path, Access access, bool create) override;

private:
    QString m_folder;
};
