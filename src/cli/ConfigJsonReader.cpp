#include "cli/ConfigJsonReader.h"

#include "cli/ItemKeys.h"
#include "config/ConfigDocument.h"
#include "config/GroupName.h"
#include "config/TextCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>
#include <limits>

namespace {

using ItemKeys::Form;
using ItemKeys::Kind;

class Reader
{
public:
    Reader(const ConfigDocument &current, const TextCodec &codec, ConfigDocument &out)
        : m_current(current), m_codec(codec), m_out(out)
    {
        for (const auto &g : current.groups)
            m_currentGroupNames.insert(g->Name);
    }

    QString error;

    bool fail(const QString &path, const QString &why)
    {
        error = path + QStringLiteral(": ") + why;
        return false;
    }

    bool readItem(const QJsonValue &value, Kind kind, int index, const QString &path)
    {
        if (!value.isObject())
            return fail(path, QStringLiteral("not an object"));
        const QJsonObject object = value.toObject();
        const QList<ItemKeys::Key> &keys = ItemKeys::keys(kind);
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (ItemKeys::findKey(kind, it.key()) < 0 || !hasExactKey(keys, it.key()))
                return fail(path + QLatin1Char('.') + it.key(), QStringLiteral("unknown key"));
        }
        const bool haveCurrent = index < ItemKeys::count(m_current, kind);
        for (int k = 0; k < keys.size(); ++k) {
            const QString keyPath = path + QLatin1Char('.') + QLatin1String(keys[k].name);
            const QJsonValue v = object.value(QLatin1String(keys[k].name));
            if (v.isUndefined())
                return fail(keyPath, QStringLiteral("missing"));
            ItemKeys::Value original;
            if (haveCurrent)
                original = ItemKeys::get(m_current, kind, index, k);
            ItemKeys::Value result;
            if (!readValue(v, keys[k], kind, original, keyPath, &result))
                return false;
            if (kind == Kind::Group && k == 0 && !checkGroupName(v.toString(), std::get<QByteArray>(result), keyPath))
                return false;
            ItemKeys::set(m_out, kind, index, k, result);
        }
        return true;
    }

    bool readList(const QJsonObject &root, const char *name, Kind kind)
    {
        const QString path = QString::fromLatin1(name);
        const QJsonValue v = root.value(path);
        if (v.isUndefined())
            return fail(path, QStringLiteral("missing"));
        if (!v.isArray())
            return fail(path, QStringLiteral("not an array"));
        const QJsonArray array = v.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            switch (kind) {
            case Kind::Pop: m_out.pops.push_back(std::make_unique<TPop>()); break;
            case Kind::User: m_out.users.push_back(std::make_unique<TUser>()); break;
            case Kind::Group: m_out.groups.push_back(std::make_unique<TGroup>()); break;
            case Kind::Server: break;
            }
            if (!readItem(array[i], kind, int(i), QStringLiteral("%1[%2]").arg(path).arg(i)))
                return false;
        }
        return true;
    }

private:
    static bool hasExactKey(const QList<ItemKeys::Key> &keys, const QString &name)
    {
        for (const ItemKeys::Key &k : keys) {
            if (name == QLatin1String(k.name))
                return true;
        }
        return false;
    }

    bool checkGroupName(const QString &name, const QByteArray &bytes, const QString &path)
    {
        // A name the configuration has already is no edit: `dump | apply` must take it back.
        if (GroupName::passes(name) || m_currentGroupNames.contains(bytes))
            return true;
        return fail(path, GroupName::invalidMessage());
    }

    bool text(const QJsonValue &v, bool multiLine, const ItemKeys::Value &original, const QString &path,
              QByteArray *bytes)
    {
        if (!v.isString())
            return fail(path, QStringLiteral("not a string"));
        const QString t = v.toString();
        if (!multiLine && (t.contains(QLatin1Char('\r')) || t.contains(QLatin1Char('\n'))))
            return fail(path, QStringLiteral("a line break cannot stand here"));
        const QByteArray *before = std::get_if<QByteArray>(&original);
        QString why;
        if (!ItemKeys::encodeText(t, before ? *before : QByteArray(), m_codec, bytes, &why))
            return fail(path, why);
        return true;
    }

    bool readValue(const QJsonValue &v, const ItemKeys::Key &key, Kind kind, const ItemKeys::Value &original,
                   const QString &path, ItemKeys::Value *result)
    {
        switch (key.form) {
        case Form::Integer: {
            if (!v.isDouble())
                return fail(path, QStringLiteral("not a number"));
            const double d = v.toDouble();
            // An account's port is taken as the item holds it; the server's values are what
            // the pages show, within the editor's ranges.
            const double low = kind == Kind::Pop ? double(std::numeric_limits<int>::min()) : double(key.min);
            const double high = kind == Kind::Pop ? double(std::numeric_limits<int>::max()) : double(key.max);
            if (d != std::floor(d))
                return fail(path, QStringLiteral("not a whole number"));
            if (d < low || d > high)
                return fail(path, QStringLiteral("%1 is out of range (%2 to %3)").arg(d, 0, 'f', 0).arg(low, 0, 'f', 0).arg(high, 0, 'f', 0));
            *result = int(d);
            return true;
        }
        case Form::Switch:
            if (!v.isBool())
                return fail(path, QStringLiteral("not true or false"));
            *result = v.toBool();
            return true;
        case Form::Bytes: {
            if (!v.isString())
                return fail(path, QStringLiteral("not a string"));
            const QString t = v.toString();
            if (t.size() % 2 != 0)
                return fail(path, QStringLiteral("not hexadecimal (an odd number of digits)"));
            QByteArray bytes;
            bytes.reserve(t.size() / 2);
            for (qsizetype i = 0; i < t.size(); i += 2) {
                const int hi = hexDigit(t[i]);
                const int lo = hexDigit(t[i + 1]);
                if (hi < 0 || lo < 0)
                    return fail(path, QStringLiteral("not hexadecimal"));
                bytes.append(char(hi * 16 + lo));
            }
            *result = bytes;
            return true;
        }
        case Form::List: {
            if (!v.isArray())
                return fail(path, QStringLiteral("not an array"));
            const QJsonArray array = v.toArray();
            const QByteArrayList *before = std::get_if<QByteArrayList>(&original);
            QByteArrayList names;
            names.reserve(array.size());
            for (qsizetype i = 0; i < array.size(); ++i) {
                QByteArray bytes;
                const QByteArray old = before && i < before->size() ? before->at(i) : QByteArray();
                if (!text(array[i], false, old, QStringLiteral("%1[%2]").arg(path).arg(i), &bytes))
                    return false;
                names.append(bytes);
            }
            *result = names;
            return true;
        }
        case Form::Text:
        case Form::Flag:
        case Form::MultiLine: {
            QByteArray bytes;
            if (!text(v, key.form == Form::MultiLine, original, path, &bytes))
                return false;
            *result = bytes;
            return true;
        }
        }
        return false;
    }

    static int hexDigit(QChar c)
    {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            return u - u'0';
        if (u >= u'A' && u <= u'F')
            return u - u'A' + 10;
        if (u >= u'a' && u <= u'f')
            return u - u'a' + 10;
        return -1;
    }

    const ConfigDocument &m_current;
    const TextCodec &m_codec;
    ConfigDocument &m_out;
    QSet<QByteArray> m_currentGroupNames;
};

} // namespace

bool readConfigJson(const QByteArray &json, const ConfigDocument &current, const TextCodec &codec,
                    ConfigDocument *out, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("Invalid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("The JSON is not one object of dump's form");
        return false;
    }
    const QJsonObject root = doc.object();
    static const QStringList known{QStringLiteral("oldFormat"), QStringLiteral("server"), QStringLiteral("pops"),
                                   QStringLiteral("users"), QStringLiteral("groups")};
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!known.contains(it.key())) {
            *error = it.key() + QStringLiteral(": unknown key");
            return false;
        }
    }
    const QJsonValue oldFormat = root.value(QStringLiteral("oldFormat"));
    if (!oldFormat.isUndefined() && !oldFormat.isBool()) {
        *error = QStringLiteral("oldFormat: not true or false");
        return false;
    }

    ConfigDocument result;
    Reader reader(current, codec, result);
    // The server keys read like an item's, against the server settings.
    if (!reader.readItem(root.value(QStringLiteral("server")), Kind::Server, -1, QStringLiteral("server"))
        || !reader.readList(root, "pops", Kind::Pop) || !reader.readList(root, "users", Kind::User)
        || !reader.readList(root, "groups", Kind::Group)) {
        *error = reader.error;
        return false;
    }
    result.oldFormat = false;
    *out = std::move(result);
    return true;
}
