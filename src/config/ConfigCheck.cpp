#include "config/ConfigCheck.h"

#include "config/ConfigDocument.h"
#include "config/GroupName.h"
#include "config/NameFolding.h"
#include "config/PasswordDigest.h"
#include "config/TextCodec.h"

#include <functional>
#include <vector>

namespace {

using Level = CheckFinding::Level;
using Kind = CheckFinding::Kind;

// The names of the items of one kind, found letter case aside. An item's name is read
// from the item whenever it is needed (`nameOf`), so the index holds a few integers an
// item: a slot, a hash and its first namesake.
class NameIndex
{
public:
    using NameOf = std::function<ItemName(int)>;

    NameIndex(int count, NameOf nameOf, const NameFolding &folding)
        : m_nameOf(std::move(nameOf)), m_folding(folding)
    {
        size_t capacity = 16;
        while (capacity < 2 * size_t(count))
            capacity *= 2;
        m_slots.assign(capacity, -1);
        m_hashes.resize(size_t(count));
        m_earlier.resize(size_t(count), -1);
        for (int i = 0; i < count; ++i) {
            const ItemName name = m_nameOf(i);
            const quint64 h = m_folding.hash(name);
            m_hashes[size_t(i)] = quint32(h);
            size_t slot = size_t(h) & (capacity - 1);
            for (; m_slots[slot] >= 0; slot = (slot + 1) & (capacity - 1)) {
                const int other = m_slots[slot];
                if (m_hashes[size_t(other)] == quint32(h) && m_folding.same(m_nameOf(other), name))
                    break;
            }
            if (m_slots[slot] >= 0)
                m_earlier[size_t(i)] = m_slots[slot];
            else
                m_slots[slot] = i;
        }
    }

    bool contains(QByteArrayView name) const
    {
        const ItemName probe = ItemName::of(name);
        const quint64 h = m_folding.hash(probe);
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = size_t(h) & mask; m_slots[slot] >= 0; slot = (slot + 1) & mask) {
            const int item = m_slots[slot];
            if (m_hashes[size_t(item)] == quint32(h) && m_folding.same(m_nameOf(item), probe))
                return true;
        }
        return false;
    }

    ItemName name(int i) const { return m_nameOf(i); }
    int size() const { return int(m_earlier.size()); }

    // The first item with the same name as item `i`, when that is an earlier one; else -1.
    int earlierNamesake(int i) const { return m_earlier[size_t(i)]; }
    // Whether another item has the same name as item `i`.
    bool shared(int i) const
    {
        if (m_earlier[size_t(i)] >= 0)
            return true;
        if (m_sharedFirst.empty()) {
            m_sharedFirst.assign(m_earlier.size(), 0);
            for (const int e : m_earlier) {
                if (e >= 0)
                    m_sharedFirst[size_t(e)] = 1;
            }
        }
        return m_sharedFirst[size_t(i)] != 0;
    }

private:
    NameOf m_nameOf;
    const NameFolding &m_folding;
    std::vector<qint32> m_slots; // open addressing: an item, the first of its name; -1 free
    std::vector<quint32> m_hashes;
    std::vector<int> m_earlier;
    mutable std::vector<char> m_sharedFirst;
};

// How the command line names an item: "group:sales", "pop:ann/pop.example", "user:=#2" for
// a name that begins with "#"; empty when the name cannot stand there (empty, an account
// without user ID or host, or holding a control character).
QString nameAddress(Kind kind, const QString &name)
{
    // An account without its user ID or host keeps its position: "pop:/h" says little.
    if (name.isEmpty() || (kind == Kind::Pop && (name.startsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('/')))))
        return {};
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            return {};
    }
    const QString word = kind == Kind::Pop ? QStringLiteral("pop:") : kind == Kind::User ? QStringLiteral("user:")
                                                                                         : QStringLiteral("group:");
    return word + (name.startsWith(QLatin1Char('#')) ? QStringLiteral("=") : QString()) + name;
}

QString address(Kind kind, int index)
{
    switch (kind) {
    case Kind::Server: return QStringLiteral("server");
    case Kind::Pop: return QStringLiteral("pop:#%1").arg(index + 1);
    case Kind::User: return QStringLiteral("user:#%1").arg(index + 1);
    case Kind::Group: return QStringLiteral("group:#%1").arg(index + 1);
    }
    return {};
}

} // namespace

QString CheckFinding::levelText() const
{
    return level == Level::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

QString CheckFinding::item() const
{
    return address(kind, index);
}

QString CheckFinding::itemAddress() const
{
    return name.isEmpty() ? item() : name;
}

QString CheckFinding::line() const
{
    return levelText() + QLatin1Char(' ') + code + QLatin1Char(' ') + itemAddress() + QStringLiteral(": ") + message;
}

namespace ConfigCheck {

QString quoted(const QString &name)
{
    QString out;
    out.reserve(name.size() + 2);
    out.append(QLatin1Char('"'));
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        if (c == u'"' || c == u'\\') {
            out.append(QLatin1Char('\\'));
            out.append(ch);
        } else if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == 0x2028 || c == 0x2029) {
            out.append(QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0')));
        } else {
            out.append(ch);
        }
    }
    out.append(QLatin1Char('"'));
    return out;
}

bool hasError(const QList<CheckFinding> &findings)
{
    for (const CheckFinding &f : findings) {
        if (f.level == Level::Error)
            return true;
    }
    return false;
}

QList<CheckFinding> run(const ServerSettings &server, bool oldFormat, const QList<const TPop *> &pops,
                        const QList<const TUser *> &users, const QList<const TGroup *> &groups,
                        const TextCodec &codec)
{
    QList<CheckFinding> out;
    auto add = [&out](Level level, const QString &code, Kind kind, int index, const QString &message) {
        out.append({level, code, kind, index, message, QString()});
    };
    auto q = [&codec](QByteArrayView bytes) { return quoted(codec.decode(bytes)); };

    // The names are read from the items as they stand: no list of names, no captions.
    const NameFolding folding(codec);
    const NameIndex groupIndex(int(groups.size()), [&groups](int i) { return ItemName::of(groups[i]->Name); },
                               folding);
    const NameIndex userIndex(int(users.size()), [&users](int i) { return ItemName::of(users[i]->Name); },
                              folding);
    const NameIndex popIndex(int(pops.size()),
                             [&pops](int i) { return ItemName::account(pops[i]->UserID, pops[i]->Host); }, folding);

    // Membership lists are read in place, name by name, not made into lists of names.
    for (int i = 0; i < pops.size(); ++i) {
        pops[i]->Newsgroups.forEachName([&](QByteArrayView name) {
            if (!groupIndex.contains(name))
                add(Level::Error, QStringLiteral("unknown-group"), Kind::Pop, i,
                    QStringLiteral("Newsgroups names %1, which is no group").arg(q(name)));
        });
    }
    for (int i = 0; i < pops.size(); ++i) {
        const QByteArray &def = pops[i]->DefaultGroup;
        if (!def.isEmpty() && !groupIndex.contains(def))
            add(Level::Error, QStringLiteral("unknown-default-group"), Kind::Pop, i,
                QStringLiteral("DefaultGroup %1 is no group").arg(q(def)));
    }
    for (int i = 0; i < pops.size(); ++i) {
        const TPop *p = pops[i];
        if (p->DefaultGroup.isEmpty() || !groupIndex.contains(p->DefaultGroup))
            continue;
        const ItemName def = ItemName::of(p->DefaultGroup);
        bool listed = false;
        p->Newsgroups.forEachName([&](QByteArrayView name) {
            listed = listed || name == QByteArrayView(p->DefaultGroup) || folding.same(ItemName::of(name), def);
        });
        if (!listed)
            add(Level::Warning, QStringLiteral("default-not-listed"), Kind::Pop, i,
                QStringLiteral("DefaultGroup %1 is not one of its Newsgroups").arg(q(p->DefaultGroup)));
    }
    for (int i = 0; i < groups.size(); ++i) {
        groups[i]->Users.forEachName([&](QByteArrayView name) {
            if (!userIndex.contains(name))
                add(Level::Error, QStringLiteral("unknown-user"), Kind::Group, i,
                    QStringLiteral("Users names %1, which is no user").arg(q(name)));
        });
    }
    for (int i = 0; i < groups.size(); ++i) {
        const QString name = codec.decode(groups[i]->Name);
        if (name.isEmpty())
            add(Level::Error, QStringLiteral("invalid-group-name"), Kind::Group, i, QStringLiteral("the group has no name"));
        else if (!GroupName::passes(name))
            add(Level::Error, QStringLiteral("invalid-group-name"), Kind::Group, i,
                quoted(name) + QStringLiteral(": ") + GroupName::invalidMessage());
    }
    auto duplicates = [&](const NameIndex &index, Kind kind) {
        for (int i = 0; i < index.size(); ++i) {
            const int first = index.earlierNamesake(i);
            if (first >= 0)
                add(Level::Warning, QStringLiteral("duplicate-name"), kind, i,
                    QStringLiteral("%1 is also the name of %2").arg(q(index.name(i).bytes()), address(kind, first)));
        }
    };
    duplicates(popIndex, Kind::Pop);
    duplicates(userIndex, Kind::User);
    duplicates(groupIndex, Kind::Group);
    if (server.Port == server.ConfigPort)
        add(Level::Error, QStringLiteral("port-conflict"), Kind::Server, -1,
            QStringLiteral("Port and ConfigPort are both %1").arg(server.Port));
    static const QByteArray defaultLogin = "zerevovu";
    if (server.AdminUser == defaultLogin && server.AdminPass == PasswordDigest(defaultLogin))
        add(Level::Warning, QStringLiteral("default-login"), Kind::Server, -1,
            QStringLiteral("AdminUser and AdminPass are the server's default login"));
    // No bytes, or the digest of the empty password (what an old file without one becomes).
    const QByteArray emptyDigest = PasswordDigest(QByteArray());
    auto isEmptyPassword = [&emptyDigest](const QByteArray &pass) {
        return pass.isEmpty() || pass == emptyDigest;
    };
    if (isEmptyPassword(server.AdminPass))
        add(Level::Warning, QStringLiteral("empty-password"), Kind::Server, -1,
            QStringLiteral("the administrator has no password"));
    for (int i = 0; i < users.size(); ++i) {
        if (isEmptyPassword(users[i]->Pass))
            add(Level::Warning, QStringLiteral("empty-password"), Kind::User, i,
                QStringLiteral("the user %1 has no password").arg(q(users[i]->Name)));
    }
    for (int i = 0; i < pops.size(); ++i) {
        if (pops[i]->Newsgroups.isEmpty())
            add(Level::Warning, QStringLiteral("no-groups"), Kind::Pop, i,
                QStringLiteral("Newsgroups is empty: the account files into no group"));
    }
    if (oldFormat)
        add(Level::Warning, QStringLiteral("old-format"), Kind::Server, -1,
            QStringLiteral("the file is in the old format (Version %1); the next save converts it")
                .arg(q(server.Version)));
    // The items by name where that names one item.
    for (CheckFinding &f : out) {
        const NameIndex *index = f.kind == Kind::Pop ? &popIndex : f.kind == Kind::User ? &userIndex
                                 : f.kind == Kind::Group ? &groupIndex : nullptr;
        if (!index || index->shared(f.index))
            continue;
        f.name = nameAddress(f.kind, codec.decode(index->name(f.index).bytes()));
    }
    return out;
}

QList<CheckFinding> run(const ConfigDocument &doc, const TextCodec &codec)
{
    return run(doc.server, doc.oldFormat, itemViews(doc.pops), itemViews(doc.users), itemViews(doc.groups), codec);
}

} // namespace ConfigCheck
