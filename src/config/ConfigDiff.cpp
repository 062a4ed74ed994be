#include "config/ConfigDiff.h"

#include "config/JsonWriter.h"
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

#include <QHash>
#include <deque>

namespace ConfigDiff {

namespace {

using ItemKeys::Kind;

QString itemText(const Entry &e, const TextCodec &codec)
{
    if (e.kind == Kind::Server)
        return QStringLiteral("server");
    const QString q = ConfigCheck::quoted(codec.decode(e.name));
    return ItemKeys::kindWord(e.kind) + QLatin1Char(':') + q.mid(1, q.size() - 2);
}

QString valueText(ItemKeys::Form form, const ItemKeys::Value &value, const TextCodec &codec)
{
    using ItemKeys::Form;
    switch (form) {
    case Form::Integer: return QString::number(std::get<int>(value));
    case Form::Switch: return std::get<bool>(value) ? QStringLiteral("true") : QStringLiteral("false");
    case Form::Bytes:
        return QLatin1Char('"') + QString::fromLatin1(ValueForms::encodeBinary(std::get<QByteArray>(value)))
               + QLatin1Char('"');
    case Form::List: {
        QStringList names;
        for (const QByteArray &n : std::get<QByteArrayList>(value))
            names.append(ConfigCheck::quoted(codec.decode(n)));
        return QLatin1Char('[') + names.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    case Form::Text:
    case Form::MultiLine:
    case Form::Flag: return ConfigCheck::quoted(codec.decode(std::get<QByteArray>(value)));
    }
    return {};
}

void compareKeys(const ConfigDocument &a, int ia, const ConfigDocument &b, int ib, Kind kind, QList<Entry> &out)
{
    const QList<ItemKeys::Key> &keys = ItemKeys::keys(kind);
    for (int k = 0; k < keys.size(); ++k) {
        ItemKeys::Value va = ItemKeys::get(a, kind, ia, k);
        ItemKeys::Value vb = ItemKeys::get(b, kind, ib, k);
        if (va != vb)
            out.append({Entry::Type::Changed, kind, ItemKeys::itemName(a, kind, ia), k, std::move(va), std::move(vb)});
    }
}

void compareItems(const ConfigDocument &a, const ConfigDocument &b, Kind kind, const TextCodec &codec,
                  QList<Entry> &out)
{
    const int nb = ItemKeys::count(b, kind);
    QHash<QString, std::deque<int>> inB;
    inB.reserve(nb);
    for (int i = 0; i < nb; ++i)
        inB[codec.decode(ItemKeys::itemName(b, kind, i)).toCaseFolded()].push_back(i);
    std::vector<char> matched(size_t(nb), 0);
    const int na = ItemKeys::count(a, kind);
    for (int i = 0; i < na; ++i) {
        const QByteArray name = ItemKeys::itemName(a, kind, i);
        auto it = inB.find(codec.decode(name).toCaseFolded());
        if (it == inB.end() || it->empty()) {
            out.append({Entry::Type::Removed, kind, name, -1, {}, {}});
            continue;
        }
        const int j = it->front();
        it->pop_front();
        matched[size_t(j)] = 1;
        compareKeys(a, i, b, j, kind, out);
    }
    for (int j = 0; j < nb; ++j) {
        if (!matched[size_t(j)])
            out.append({Entry::Type::Added, kind, ItemKeys::itemName(b, kind, j), -1, {}, {}});
    }
}

} // namespace

QList<Entry> compare(const ConfigDocument &a, const ConfigDocument &b, const TextCodec &codec)
{
    QList<Entry> out;
    compareKeys(a, -1, b, -1, Kind::Server, out);
    compareItems(a, b, Kind::Pop, codec, out);
    compareItems(a, b, Kind::User, codec, out);
    compareItems(a, b, Kind::Group, codec, out);
    return out;
}

QString describe(const Entry &e, const TextCodec &codec, bool hideSecrets)
{
    switch (e.type) {
    case Entry::Type::Removed: return QStringLiteral("- ") + itemText(e, codec);
    case Entry::Type::Added: return QStringLiteral("+ ") + itemText(e, codec);
    case Entry::Type::Changed: break;
    }
    const ItemKeys::Key &key = ItemKeys::keys(e.kind)[e.key];
    const QString head = QStringLiteral("~ ") + itemText(e, codec) + QLatin1Char('.') + QLatin1String(key.name)
                         + QStringLiteral(": ");
    if (hideSecrets && key.form == ItemKeys::Form::Bytes)
        return head + QStringLiteral("(changed)");
    return head + valueText(key.form, e.from, codec) + QStringLiteral(" -> ") + valueText(key.form, e.to, codec);
}

QByteArray text(const QList<Entry> &entries, const TextCodec &codec)
{
    QString out;
    for (const Entry &e : entries)
        out += describe(e, codec) + QLatin1Char('\n');
    return out.toUtf8();
}

QByteArray json(const QList<Entry> &entries, const TextCodec &codec)
{
    JsonWriter j;
    j.beginArray();
    for (const Entry &e : entries) {
        j.beginObject();
        j.value("change", e.type == Entry::Type::Changed   ? QStringLiteral("changed")
                          : e.type == Entry::Type::Removed ? QStringLiteral("removed")
                                                           : QStringLiteral("added"));
        j.value("item", e.kind == Kind::Server ? QStringLiteral("server")
                                               : ItemKeys::kindWord(e.kind) + QLatin1Char(':') + codec.decode(e.name));
        if (e.type == Entry::Type::Changed) {
            const ItemKeys::Key &key = ItemKeys::keys(e.kind)[e.key];
            j.value("key", QString::fromLatin1(key.name));
            ItemKeys::writeValueJson(j, "from", key.form, e.from, codec);
            ItemKeys::writeValueJson(j, "to", key.form, e.to, codec);
        }
        j.endObject();
    }
    j.endArray();
    return j.bytes() + '\n';
}

} // namespace ConfigDiff
