#include "platform/Registry.h"

#include "config/ConfigStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace {

struct RootName
{
    Registry::Root root;
    const char *name;
};

constexpr RootName RootNames[] = {
    {Registry::Root::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {Registry::Root::CurrentUser, "HKEY_CURRENT_USER"},
    {Registry::Root::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {Registry::Root::Users, "HKEY_USERS"},
    {Registry::Root::CurrentConfig, "HKEY_CURRENT_CONFIG"},
};

// ---- the file of one root ----

struct Value
{
    QString name;
    bool isInteger = false;
    QString text;
    qint32 number = 0;
};

struct Key
{
    QString path;
    QList<Value> values;
};

struct Hive
{
    QList<Key> keys;

    Key *find(const QString &path)
    {
        for (Key &k : keys) {
            if (k.path.compare(path, Qt::CaseInsensitive) == 0)
                return &k;
        }
        return nullptr;
    }

    // A key exists when it was written or when one below it was.
    bool exists(const QString &path) const
    {
        if (path.isEmpty()) // the root itself
            return true;
        const QString below = path + QLatin1Char('\\');
        for (const Key &k : keys) {
            if (k.path.compare(path, Qt::CaseInsensitive) == 0 || k.path.startsWith(below, Qt::CaseInsensitive))
                return true;
        }
        return false;
    }
};

const Value *findValue(const Key *key, const QString &name)
{
    if (!key)
        return nullptr;
    for (const Value &v : key->values) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return &v;
    }
    return nullptr;
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 32)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// Reads a quoted text starting at `pos` (on its opening quote); leaves `pos` after the
// closing one. False when the text is not properly quoted.
bool unquote(const QString &line, qsizetype &pos, QString *text)
{
    if (pos >= line.size() || line[pos] != QLatin1Char('"'))
        return false;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == QLatin1Char('"')) {
            ++pos;
            *text = out;
            return true;
        }
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++pos >= line.size())
            return false;
        switch (line[pos].unicode()) {
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'x': {
            bool ok = false;
            const int code = line.mid(pos + 1, 2).toInt(&ok, 16);
            if (!ok)
                return false;
            out += QChar(code);
            pos += 2;
            break;
        }
        default:
            out += line[pos];
        }
    }
    return false;
}

Hive parse(const QByteArray &bytes)
{
    Hive hive;
    Key *current = nullptr;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString path = Registry::normalizedPath(line.mid(1, line.size() - 2));
            current = hive.find(path);
            if (!current) {
                hive.keys.append(Key{path, {}});
                current = &hive.keys.last();
            }
            continue;
        }
        if (!current)
            continue;
        qsizetype pos = 0;
        Value value;
        if (!unquote(line, pos, &value.name) || pos >= line.size() || line[pos] != QLatin1Char('='))
            continue;
        ++pos;
        if (line.mid(pos).startsWith(QLatin1String("dword:"))) {
            bool ok = false;
            value.number = line.mid(pos + 6).trimmed().toInt(&ok);
            if (!ok)
                continue;
            value.isInteger = true;
        } else if (!unquote(line, pos, &value.text)) {
            continue;
        }
        if (!findValue(current, value.name))
            current->values.append(value);
    }
    return hive;
}

QByteArray serialize(const Hive &hive)
{
    QString out = QStringLiteral("; Settings of the Quilmora Configuration Editor, one section per key.\n");
    for (const Key &key : hive.keys) {
        out += QLatin1Char('[') + key.path + QLatin1String("]\n");
        for (const Value &v : key.values) {
            out += quoted(v.name) + QLatin1Char('=');
            out += v.isInteger ? QStringLiteral("dword:%1").arg(v.number) : quoted(v.text);
            out += QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}

// A missing file is an empty hive; one that exists but cannot be read gives nothing.
std::optional<Hive> load(const QString &file)
{
    QFile f(file);
    if (!f.exists())
        return Hive();
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(f.readAll());
}

class IniFileKey : public RegistryKey
{
public:
    IniFileKey(QString file, QString path, bool writable)
        : m_file(std::move(file)), m_path(std::move(path)), m_writable(writable)
    {
    }

    bool valueExists(const QString &name) const override { return read(name).has_value(); }

    std::optional<QString> readString(const QString &name) const override
    {
        const auto v = read(name);
        if (!v || v->isInteger)
            return std::nullopt;
        return v->text;
    }

    std::optional<qint32> readInteger(const QString &name) const override
    {
        const auto v = read(name);
        if (!v || !v->isInteger)
            return std::nullopt;
        return v->number;
    }

    bool writeString(const QString &name, const QString &value) override
    {
        Value v;
        v.name = name;
        v.text = value;
        return write(v);
    }

    bool writeInteger(const QString &name, qint32 value) override
    {
        Value v;
        v.name = name;
        v.isInteger = true;
        v.number = value;
        return write(v);
    }

private:
    std::optional<Value> read(const QString &name) const
    {
        auto hive = load(m_file);
        if (!hive)
            return std::nullopt;
        if (const Value *v = findValue(hive->find(m_path), name))
            return *v;
        return std::nullopt;
    }

    bool write(const Value &value)
    {
        if (!m_writable)
            return false;
        // Read again before writing, so that keys written meanwhile through another open
        // key of the same root are kept.
        auto hive = load(m_file);
        if (!hive)
            return false;
        Key *key = hive->find(m_path);
        if (!key) {
            hive->keys.append(Key{m_path, {}});
            key = &hive->keys.last();
        }
        bool replaced = false;
        for (Value &v : key->values) {
            if (v.name.compare(value.name, Qt::CaseInsensitive) == 0) {
                const QString kept = v.name; // the name keeps the spelling it was created with
                v = value;
                v.name = kept;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            key->values.append(value);
        return writeFileAtomically(m_file, serialize(*hive));
    }

    QString m_file;
    QString m_path;
    bool m_writable;
};

} // namespace

QString Registry::rootName(Root root)
{
    for (const RootName &r : RootNames) {
        if (r.root == root)
            return QString::fromLatin1(r.name);
    }
    return {};
}

bool Registry::splitKeyName(const QString &fullName, Root *root, QString *path)
{
    const QString normalized = normalizedPath(fullName);
    const QString head = normalized.section(QLatin1Char('\\'), 0, 0);
    for (const RootName &r : RootNames) {
        if (head.compare(QLatin1String(r.name), Qt::CaseInsensitive) == 0) {
            *root = r.root;
            *path = normalized.section(QLatin1Char('\\'), 1);
            return true;
        }
    }
    return false;
}

QString Registry::normalizedPath(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

IniFileRegistry::IniFileRegistry(const QString &folder) : m_folder(folder) {}

QString IniFileRegistry::defaultFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("QUILMORA_REGISTRY_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quilmora/registry");
}

QString IniFileRegistry::filePath(Root root) const
{
    return QDir(m_folder).filePath(rootName(root) + QStringLiteral(".ini"));
}

std::unique_ptr<RegistryKey> IniFileRegistry::openKey(Root root, const QString &path, Access access, bool create)
{
    const QString file = filePath(root);
    const QString key = normalizedPath(path);
    const bool full = access == Access::Full;
    if (full) {
        // Full access to a key is the right to write it: the folder must take the file's
        // replacement, and a file already there must be writable.
        if (!QDir().mkpath(m_folder) || !QFileInfo(m_folder).isWritable())
            return nullptr;
        const QFileInfo info(file);
        if (info.exists() && (!info.isFile() || !info.isWritable()))
            return nullptr;
    }
    auto hive = load(file);
    if (!hive)
        return nullptr;
    if (!hive->exists(key)) {
        if (!create || !full)
            return nullptr;
        hive->keys.append(Key{key, {}});
        if (!writeFileAtomically(file, serialize(*hive)))
            return nullptr;
    }
    return std::make_unique<IniFileKey>(file, key, full);
}
