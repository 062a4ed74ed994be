#include "config/ConfigDiff.h"

#include "config/JsonWriter.h"
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"
#include "config/NameFolding.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

#include <vector>

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

using Sink = std::function<void(const Entry &)>;

void compareKeys(const ConfigDocument &a, int ia, const ConfigDocument &b, int ib, Kind kind, const Sink &sink)
{
    const QList<ItemKeys::Key> &keys = ItemKeys::keys(kind);
    for (int k = 0; k < keys.size(); ++k) {
        if (!ItemKeys::sameValue(a, ia, b, ib, kind, k))
            sink({Entry::Type::Changed, kind, ItemKeys::itemName(a, kind, ia), k, ItemKeys::get(a, kind, ia, k),
                  ItemKeys::get(b, kind, ib, k)});
    }
}

ItemName nameOf(const ConfigDocument &doc, Kind kind, int i)
{
    switch (kind) {
    case Kind::Pop: return ItemName::account(doc.pops[size_t(i)]->UserID, doc.pops[size_t(i)]->Host);
    case Kind::User: return ItemName::of(doc.users[size_t(i)]->Name);
    case Kind::Group: return ItemName::of(doc.groups[size_t(i)]->Name);
    case Kind::Server: break;
    }
    return {};
}

// The items of one kind of a configuration by name, letter case aside, handed out in file
// order: the first take() of a name gives the first item of that name, the next one the
// second. A few integers an item; names are read from the items when compared.
class Namesakes
{
public:
    Namesakes(const ConfigDocument &doc, Kind kind, const NameFolding &folding)
        : m_doc(doc), m_kind(kind), m_folding(folding)
    {
        const int n = ItemKeys::count(doc, kind);
        size_t capacity = 16;
        while (capacity < 2 * size_t(n))
            capacity *= 2;
        m_slots.assign(capacity, -1);
        m_hashes.resize(size_t(n));
        m_next.assign(size_t(n), -1);
        m_cursor.assign(size_t(n), -1);
        for (int i = 0; i < n; ++i) {
            const ItemName name = nameOf(doc, kind, i);
            const quint64 h = folding.hash(name);
            m_hashes[size_t(i)] = quint32(h);
            const size_t slot = find(name, h);
            const int first = m_slots[slot];
            if (first < 0) {
                m_slots[slot] = i;
                m_cursor[size_t(i)] = i; // while building: the last of the name
            } else {
                m_next[size_t(m_cursor[size_t(first)])] = i;
                m_cursor[size_t(first)] = i;
            }
        }
        for (const int first : m_slots) {
            if (first >= 0)
                m_cursor[size_t(first)] = first;
        }
    }

    // The next item named `name` not taken yet, or -1.
    int take(const ItemName &name)
    {
        const int first = m_slots[find(name, m_folding.hash(name))];
        if (first < 0)
            return -1;
        const int item = m_cursor[size_t(first)];
        if (item >= 0)
            m_cursor[size_t(first)] = m_next[size_t(item)];
        return item;
    }

private:
    // The slot of the first item named `name`, or the free slot where it would go.
    size_t find(const ItemName &name, quint64 h) const
    {
        const size_t mask = m_slots.size() - 1;
        size_t slot = size_t(h) & mask;
        for (; m_slots[slot] >= 0; slot = (slot + 1) & mask) {
            const int item = m_slots[slot];
            if (m_hashes[size_t(item)] == quint32(h) && m_folding.same(nameOf(m_doc, m_kind, item), name))
                break;
        }
        return slot;
    }

    const ConfigDocument &m_doc;
    const Kind m_kind;
    const NameFolding &m_folding;
    std::vector<qint32> m_slots;  // open addressing: the first item of a name; -1 free
    std::vector<quint32> m_hashes; // by item
    std::vector<qint32> m_next;    // by item: the next item of its name
    std::vector<qint32> m_cursor;  // by the first item of a name: the next one to take
};

void compareItems(const ConfigDocument &a, const ConfigDocument &b, Kind kind, const NameFolding &folding,
                  const Sink &sink)
{
    Namesakes inB(b, kind, folding);
    const int nb = ItemKeys::count(b, kind);
    std::vector<char> matched(size_t(nb), 0);
    const int na = ItemKeys::count(a, kind);
    for (int i = 0; i < na; ++i) {
        const int j = inB.take(nameOf(a, kind, i));
        if (j < 0) {
            sink({Entry::Type::Removed, kind, ItemKeys::itemName(a, kind, i), -1, {}, {}});
            continue;
        }
        matched[size_t(j)] = 1;
        compareKeys(a, i, b, j, kind, sink);
    }
    for (int j = 0; j < nb; ++j) {
        if (!matched[size_t(j)])
            sink({Entry::Type::Added, kind, ItemKeys::itemName(b, kind, j), -1, {}, {}});
    }
}

} // namespace

void compare(const ConfigDocument &a, const ConfigDocument &b, const TextCodec &codec, const Sink &sink)
{
    const NameFolding folding(codec);
    compareKeys(a, -1, b, -1, Kind::Server, sink);
    compareItems(a, b, Kind::Pop, folding, sink);
    compareItems(a, b, Kind::User, folding, sink);
    compareItems(a, b, Kind::Group, folding, sink);
}

QList<Entry> compare(const ConfigDocument &a, const ConfigDocument &b, const TextCodec &codec)
{
    QList<Entry> out;
    compare(a, b, codec, [&out](const Entry &e) { out.append(e); });
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

void writeJson(JsonWriter &j, const Entry &e, const TextCodec &codec)
{
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

QByteArray json(const QList<Entry> &entries, const TextCodec &codec)
{
    JsonWriter j;
    j.beginArray();
    for (const Entry &e : entries)
        writeJson(j, e, codec);
    j.endArray();
    return j.bytes() + '\n';
}

} // namespace ConfigDiff
