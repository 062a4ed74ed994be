#include "config/ConfigCheck.h"

#include "config/ConfigDocument.h"
#include "config/GroupName.h"
#include "config/PasswordDigest.h"
#include "config/TextCodec.h"

#include <unordered_map>

namespace {

using Level = CheckFinding::Level;
using Kind = CheckFinding::Kind;

// A name with letter case folded, as the check compares names: decoded and case-folded,
// except that printable ASCII in a codec that keeps it is folded byte by byte (the same
// text, without the decoder and two copies).
QString foldedKey(QByteArrayView name, const TextCodec &codec)
{
    if (codec.keepsAscii()) {
        const char *p = name.data();
        const qsizetype n = name.size();
        qsizetype i = 0;
        while (i < n && p[i] >= 0x20 && p[i] < 0x7f)
            ++i;
        if (i == n) {
            QString key(n, Qt::Uninitialized);
            char16_t *out = reinterpret_cast<char16_t *>(key.data());
            for (i = 0; i < n; ++i)
                out[i] = char16_t(p[i] >= 'A' && p[i] <= 'Z' ? p[i] - 'A' + 'a' : p[i]);
            return key;
        }
    }
    return codec.decode(name).toCaseFolded();
}

// A name's key as the check compares names (foldedKey()), without making it where that can
// be helped: a printable ASCII name in a codec that keeps ASCII is its own bytes with the
// capitals lowered; any other name is its case-folded text.
class FoldedKey
{
public:
    FoldedKey(QByteArrayView name, const TextCodec &codec)
    {
        if (codec.keepsAscii() && isPrintableAscii(name))
            m_ascii = name;
        else {
            m_text = codec.decode(name).toCaseFolded();
            m_isText = true;
        }
    }
    static bool isPrintableAscii(QByteArrayView name)
    {
        for (const char c : name) {
            if (c < 0x20 || c >= 0x7f)
                return false;
        }
        return true;
    }
    qsizetype size() const { return m_isText ? m_text.size() : m_ascii.size(); }
    char16_t at(qsizetype i) const
    {
        if (m_isText)
            return m_text.at(i).unicode();
        const char c = m_ascii[i];
        return char16_t(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    size_t hash() const
    {
        size_t h = 14695981039346656037ull; // FNV-1a over the UTF-16 units
        for (qsizetype i = 0; i < size(); ++i) {
            h ^= at(i);
            h *= 1099511628211ull;
        }
        return h;
    }
    bool operator==(const FoldedKey &other) const
    {
        if (size() != other.size())
            return false;
        if (m_isText && other.m_isText)
            return m_text == other.m_text;
        for (qsizetype i = 0; i < size(); ++i) {
            if (at(i) != other.at(i))
                return false;
        }
        return true;
    }

private:
    QByteArrayView m_ascii;
    QString m_text;
    bool m_isText = false;
};

// The names of the items of one kind, found letter case aside. Most names in lists are
// spelt as the item spells its own, so the exact bytes are looked up first and a name is
// case-folded only when they miss. Two flat tables of positions in the names (open
// addressing), no block per name: a name's folded key is made again when it is compared,
// and kept only for the few names that are not printable ASCII.
class NameIndex
{
public:
    NameIndex(const QByteArrayList &names, const TextCodec &codec)
        : m_names(names), m_codec(codec)
    {
        size_t room = 16;
        while (room < 2 * size_t(names.size()))
            room *= 2;
        m_exact.assign(room, -1);
        m_folded.assign(room, -1);
        m_earlier.resize(names.size(), -1);
        const size_t mask = room - 1;
        for (int i = 0; i < names.size(); ++i) {
            size_t slot = exactHash(names[i]) & mask;
            for (; m_exact[slot] >= 0; slot = (slot + 1) & mask) {
                if (names[m_exact[slot]] == names[i])
                    break;
            }
            if (m_exact[slot] < 0)
                m_exact[slot] = i;
            const FoldedKey key(names[i], codec);
            if (!FoldedKey::isPrintableAscii(names[i]) || !codec.keepsAscii())
                m_texts.emplace(i, key);
            slot = key.hash() & mask;
            for (; m_folded[slot] >= 0; slot = (slot + 1) & mask) {
                if (keyOf(m_folded[slot]) == key)
                    break;
            }
            if (m_folded[slot] < 0)
                m_folded[slot] = i;
            else
                m_earlier[i] = m_folded[slot];
        }
    }

    bool contains(QByteArrayView name) const
    {
        const size_t mask = m_exact.size() - 1;
        for (size_t slot = exactHash(name) & mask; m_exact[slot] >= 0; slot = (slot + 1) & mask) {
            if (QByteArrayView(m_names[m_exact[slot]]) == name)
                return true;
        }
        const FoldedKey key(name, m_codec);
        for (size_t slot = key.hash() & mask; m_folded[slot] >= 0; slot = (slot + 1) & mask) {
            if (keyOf(m_folded[slot]) == key)
                return true;
        }
        return false;
    }

    // The first item with the same name as item `i`, when that is an earlier one; else -1.
    int earlierNamesake(int i) const { return m_earlier[i]; }
    // Whether another item has the same name as item `i`.
    bool shared(int i) const
    {
        if (m_earlier[i] >= 0)
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
    static size_t exactHash(QByteArrayView name) { return qHashBits(name.data(), size_t(name.size())); }
    FoldedKey keyOf(int i) const
    {
        const auto it = m_texts.find(i);
        return it != m_texts.end() ? it->second : FoldedKey(m_names[i], m_codec);
    }

    const QByteArrayList &m_names;
    const TextCodec &m_codec;
    std::vector<int> m_exact;  // positions of names by their bytes; -1 for free
    std::vector<int> m_folded; // positions of the first name of each folded key; -1 for free
    std::unordered_map<int, FoldedKey> m_texts; // folded keys of names not printable ASCII
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

bool sameName(QByteArrayView a, QByteArrayView b, const TextCodec &codec)
{
    return a == b || foldedKey(a, codec) == foldedKey(b, codec);
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
    auto add = [&out](Level level, const char *code, Kind kind, int index, const QString &message) {
        out.append({level, QString::fromLatin1(code), kind, index, message, QString()});
    };
    auto q = [&codec](QByteArrayView bytes) { return quoted(codec.decode(bytes)); };

    QByteArrayList groupNames, userNames, popNames;
    groupNames.reserve(groups.size());
    for (const TGroup *g : groups)
        groupNames.append(g->Name);
    userNames.reserve(users.size());
    for (const TUser *u : users)
        userNames.append(u->Name);
    popNames.reserve(pops.size());
    for (const TPop *p : pops)
        popNames.append(p->caption());
    const NameIndex groupIndex(groupNames, codec);
    const NameIndex userIndex(userNames, codec);
    const NameIndex popIndex(popNames, codec);

    // Membership lists are read in place, name by name, not made into lists of names.
    for (int i = 0; i < pops.size(); ++i) {
        pops[i]->Newsgroups.forEachName([&](QByteArrayView name) {
            if (!groupIndex.contains(name))
                add(Level::Error, "unknown-group", Kind::Pop, i,
                    QStringLiteral("Newsgroups names %1, which is no group").arg(q(name)));
        });
    }
    for (int i = 0; i < pops.size(); ++i) {
        const QByteArray &def = pops[i]->DefaultGroup;
        if (!def.isEmpty() && !groupIndex.contains(def))
            add(Level::Error, "unknown-default-group", Kind::Pop, i,
                QStringLiteral("DefaultGroup %1 is no group").arg(q(def)));
    }
    for (int i = 0; i < pops.size(); ++i) {
        const TPop *p = pops[i];
        if (p->DefaultGroup.isEmpty() || !groupIndex.contains(p->DefaultGroup))
            continue;
        bool listed = false;
        p->Newsgroups.forEachName([&](QByteArrayView name) {
            listed = listed || sameName(name, p->DefaultGroup, codec);
        });
        if (!listed)
            add(Level::Warning, "default-not-listed", Kind::Pop, i,
                QStringLiteral("DefaultGroup %1 is not one of its Newsgroups").arg(q(p->DefaultGroup)));
    }
    for (int i = 0; i < groups.size(); ++i) {
        groups[i]->Users.forEachName([&](QByteArrayView name) {
            if (!userIndex.contains(name))
                add(Level::Error, "unknown-user", Kind::Group, i,
                    QStringLiteral("Users names %1, which is no user").arg(q(name)));
        });
    }
    for (int i = 0; i < groups.size(); ++i) {
        const QString name = codec.decode(groups[i]->Name);
        if (name.isEmpty())
            add(Level::Error, "invalid-group-name", Kind::Group, i, QStringLiteral("the group has no name"));
        else if (!GroupName::passes(name))
            add(Level::Error, "invalid-group-name", Kind::Group, i,
                quoted(name) + QStringLiteral(": ") + GroupName::invalidMessage());
    }
    auto duplicates = [&](const NameIndex &index, const QByteArrayList &names, Kind kind) {
        for (int i = 0; i < names.size(); ++i) {
            const int first = index.earlierNamesake(i);
            if (first >= 0)
                add(Level::Warning, "duplicate-name", kind, i,
                    QStringLiteral("%1 is also the name of %2").arg(q(names[i]), address(kind, first)));
        }
    };
    duplicates(popIndex, popNames, Kind::Pop);
    duplicates(userIndex, userNames, Kind::User);
    duplicates(groupIndex, groupNames, Kind::Group);
    if (server.Port == server.ConfigPort)
        add(Level::Error, "port-conflict", Kind::Server, -1,
            QStringLiteral("Port and ConfigPort are both %1").arg(server.Port));
    static const QByteArray defaultLogin = "zerevovu";
    if (server.AdminUser == defaultLogin && server.AdminPass == PasswordDigest(defaultLogin))
        add(Level::Warning, "default-login", Kind::Server, -1,
            QStringLiteral("AdminUser and AdminPass are the server's default login"));
    // No bytes, or the digest of the empty password (what an old file without one becomes).
    const QByteArray emptyDigest = PasswordDigest(QByteArray());
    auto isEmptyPassword = [&emptyDigest](const QByteArray &pass) {
        return pass.isEmpty() || pass == emptyDigest;
    };
    if (isEmptyPassword(server.AdminPass))
        add(Level::Warning, "empty-password", Kind::Server, -1, QStringLiteral("the administrator has no password"));
    for (int i = 0; i < users.size(); ++i) {
        if (isEmptyPassword(users[i]->Pass))
            add(Level::Warning, "empty-password", Kind::User, i,
                QStringLiteral("the user %1 has no password").arg(q(users[i]->Name)));
    }
    for (int i = 0; i < pops.size(); ++i) {
        if (pops[i]->Newsgroups.isEmpty())
            add(Level::Warning, "no-groups", Kind::Pop, i, QStringLiteral("Newsgroups is empty: the account files into no group"));
    }
    if (oldFormat)
        add(Level::Warning, "old-format", Kind::Server, -1,
            QStringLiteral("the file is in the old format (Version %1); the next save converts it")
                .arg(q(server.Version)));
    // The items by name where that names one item.
    for (CheckFinding &f : out) {
        const NameIndex *index = f.kind == Kind::Pop ? &popIndex : f.kind == Kind::User ? &userIndex
                                 : f.kind == Kind::Group ? &groupIndex : nullptr;
        if (!index || index->shared(f.index))
            continue;
        const QByteArrayList &names = f.kind == Kind::Pop ? popNames : f.kind == Kind::User ? userNames : groupNames;
        f.name = nameAddress(f.kind, codec.decode(names[f.index]));
    }
    return out;
}

QList<CheckFinding> run(const ConfigDocument &doc, const TextCodec &codec)
{
    return run(doc.server, doc.oldFormat, itemViews(doc.pops), itemViews(doc.users), itemViews(doc.groups), codec);
}

} // namespace ConfigCheck
