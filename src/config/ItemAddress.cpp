// Addresses of quilmora-config's administration commands: "server", "user:NAME",
// "group:#3", "pop:USERID/HOST" and a key after a dot, resolved against a configuration.
#include "config/ItemKeys.h"

#include "config/ConfigCheck.h"
#include "config/TextCodec.h"

namespace ItemKeys {

QString positionAddress(Kind kind, int index)
{
    if (kind == Kind::Server)
        return QStringLiteral("server");
    return QStringLiteral("%1:#%2").arg(kindWord(kind)).arg(index + 1);
}

QString keyPath(const Address &a, const ConfigDocument &doc, const TextCodec &codec)
{
    QString path = a.kind == Kind::Server
                       ? QStringLiteral("server")
                       : kindWord(a.kind) + QLatin1Char(':') + codec.decode(itemName(doc, a.kind, a.index));
    if (a.key >= 0)
        path += QLatin1Char('.') + QLatin1String(keys(a.kind)[a.key].name);
    return path;
}

QList<int> itemsNamed(const ConfigDocument &doc, Kind kind, const QByteArray &name, const TextCodec &codec,
                      int except)
{
    QList<int> out;
    QString key;
    bool haveKey = false;
    const int n = count(doc, kind);
    for (int i = 0; i < n; ++i) {
        if (i == except)
            continue;
        const QByteArray other = itemName(doc, kind, i);
        if (other == name) {
            out.append(i);
            continue;
        }
        if (!haveKey) {
            key = codec.decode(name).toCaseFolded();
            haveKey = true;
        }
        if (codec.decode(other).toCaseFolded() == key)
            out.append(i);
    }
    return out;
}

namespace {
// "#N" addresses the Nth item: "#" and decimal digits without a leading zero.
bool isPosition(const QString &rest)
{
    if (rest.size() < 2 || rest.size() > 10 || rest[0] != QLatin1Char('#') || rest[1] == QLatin1Char('0'))
        return false;
    for (qsizetype i = 1; i < rest.size(); ++i) {
        if (rest[i] < QLatin1Char('0') || rest[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

// A name that begins with "#" (or "=") is written with a leading "=": "=#2" names "#2".
QString unescapeName(const QString &rest)
{
    if (rest.size() >= 2 && rest[0] == QLatin1Char('=') && (rest[1] == QLatin1Char('#') || rest[1] == QLatin1Char('=')))
        return rest.mid(1);
    return rest;
}
} // namespace

int partsNamed(const QString &text)
{
    // As resolve() splits the text: the kind is what stands before the first colon.
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return ConfigDocument::NoItems;
    const QStringView head = QStringView(text).left(colon);
    if (head.compare(QLatin1String("pop"), Qt::CaseInsensitive) == 0)
        return ConfigDocument::PopItems;
    if (head.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0)
        return ConfigDocument::UserItems;
    if (head.compare(QLatin1String("group"), Qt::CaseInsensitive) == 0)
        return ConfigDocument::GroupItems;
    return ConfigDocument::NoItems;
}

bool resolve(const QString &text, const ConfigDocument &doc, const TextCodec &codec, Address *address,
             QString *error, bool allowSmtp, bool preferItem)
{
    Address a;
    QString rest;
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QString head = colon < 0 ? text.section(QLatin1Char('.'), 0, 0) : text.left(colon);
    if (colon < 0 && head.compare(QLatin1String("server"), Qt::CaseInsensitive) == 0) {
        a.kind = Kind::Server;
        const QString key = text.mid(head.size() + 1);
        if (text.size() > head.size()) {
            if (allowSmtp && key.compare(QLatin1String("smtp"), Qt::CaseInsensitive) == 0) {
                a.smtp = true;
            } else {
                a.key = findKey(Kind::Server, key);
                if (a.key < 0) {
                    *error = QStringLiteral("The server has no key %1").arg(key);
                    return false;
                }
            }
        }
        *address = a;
        return true;
    }
    if (colon < 0) {
        *error = QStringLiteral("Not an item: %1 (server, user:NAME, group:NAME, pop:USERID/HOST or KIND:#N)").arg(text);
        return false;
    }
    if (head.compare(QLatin1String("pop"), Qt::CaseInsensitive) == 0)
        a.kind = Kind::Pop;
    else if (head.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0)
        a.kind = Kind::User;
    else if (head.compare(QLatin1String("group"), Qt::CaseInsensitive) == 0)
        a.kind = Kind::Group;
    else {
        *error = QStringLiteral("Unknown kind of item %1 (pop, user or group)").arg(head);
        return false;
    }
    rest = text.mid(colon + 1);
    const int n = count(doc, a.kind);
    // Where no key is wanted, an item whose whole name is the text is that item, dots and
    // all ("group:x.Users" is the group named x.Users when there is one).
    if (preferItem && !isPosition(rest)) {
        const QList<int> whole = itemsNamed(doc, a.kind, codec.encode(unescapeName(rest)), codec);
        if (whole.size() == 1) {
            a.index = whole.first();
            *address = a;
            return true;
        }
    }
    // Names may hold dots: the part after the last one is a key only when it names one.
    const qsizetype dot = rest.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const int key = findKey(a.kind, QStringView(rest).mid(dot + 1));
        if (key >= 0) {
            a.key = key;
            rest.truncate(dot);
        }
    }
    if (isPosition(rest)) {
        // Plain decimal digits, no sign, blank or leading zero; anything else after "#" is a name.
        bool ok = false;
        const int position = rest.mid(1).toInt(&ok);
        if (!ok || position < 1 || position > n) {
            *error = QStringLiteral("There is no %1:%2 (%3 %4)").arg(kindWord(a.kind), rest).arg(n).arg(kindPlural(a.kind));
            return false;
        }
        a.index = position - 1;
        *address = a;
        return true;
    }
    rest = unescapeName(rest);
    const QList<int> found = itemsNamed(doc, a.kind, codec.encode(rest), codec);
    if (found.isEmpty()) {
        *error = QStringLiteral("There is no %1 named %2").arg(
            a.kind == Kind::Pop ? QStringLiteral("account") : kindWord(a.kind), ConfigCheck::quoted(rest));
        return false;
    }
    if (found.size() > 1) {
        QStringList positions;
        for (int i : found)
            positions.append(positionAddress(a.kind, i));
        *error = QStringLiteral("%1 %2 are named %3: %4")
                     .arg(found.size())
                     .arg(kindPlural(a.kind), rest, positions.join(QStringLiteral(", ")));
        return false;
    }
    a.index = found.first();
    *address = a;
    return true;
}

} // namespace ItemKeys
