#include "config/ItemKeys.h"

#include "config/JsonWriter.h"
#include "config/ConfigCheck.h"
#include "config/GroupName.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

#include <limits>

namespace ItemKeys {

namespace {

template <typename T>
using Member = std::variant<int T::*, bool T::*, QByteArray T::*, QByteArrayList T::*, NameList T::*>;

template <typename T>
struct Field
{
    Key key;
    Member<T> member;
};

const QList<Field<ServerSettings>> &serverFields()
{
    using S = ServerSettings;
    static const QList<Field<S>> fields{
        {{"Port", Form::Integer, 0, S::PortMax}, &S::Port},
        {{"Name", Form::Text}, &S::Name},
        {{"Version", Form::Text, 0, 0, false}, &S::Version},
        {{"SMTPHost", Form::Text}, &S::SMTPHost},
        {{"OutboundPrefix", Form::Text}, &S::OutboundPrefix},
        {{"OutboundMarker", Form::Text}, &S::OutboundMarker},
        {{"BindIP", Form::Text}, &S::BindIP},
        {{"AdminEmail", Form::Text}, &S::AdminEmail},
        {{"AdminEmailActive", Form::Switch}, &S::AdminEmailActive},
        {{"SMTPUserID", Form::Text}, &S::SMTPUserID},
        {{"SMTPUserPass", Form::Bytes, 0, 0, false}, &S::SMTPUserPass},
        {{"SMTPPort", Form::Integer, 0, S::PortMax}, &S::SMTPPort},
        {{"LogSize", Form::Integer, 0, S::LogSizeMax}, &S::LogSize},
        {{"Log", Form::Integer, -1, 1}, &S::Log},
        {{"AdminUser", Form::Text}, &S::AdminUser},
        {{"AdminPass", Form::Bytes, 0, 0, false}, &S::AdminPass},
        {{"ConfigPort", Form::Integer, 0, S::PortMax}, &S::ConfigPort},
    };
    return fields;
}

const QList<Field<TPop>> &popFields()
{
    static const QList<Field<TPop>> fields{
        {{"Host", Form::Text}, &TPop::Host},
        {{"Port", Form::Integer, 0, 65535}, &TPop::Port},
        {{"UserID", Form::Text}, &TPop::UserID},
        {{"Password", Form::Bytes, 0, 0, false}, &TPop::Password},
        {{"Newsgroups", Form::List}, &TPop::Newsgroups},
        {{"DefaultGroup", Form::Text}, &TPop::DefaultGroup},
        {{"AutoReply", Form::Flag}, &TPop::AutoReply},
        {{"AutoReplyFrom", Form::Text}, &TPop::AutoReplyFrom},
        {{"AutoReplyBody", Form::MultiLine}, &TPop::AutoReplyBody},
        {{"AutoReplySubject", Form::Text}, &TPop::AutoReplySubject},
        {{"AutoReplyFromIgnore", Form::Text}, &TPop::AutoReplyFromIgnore},
        {{"AssignOutboundID", Form::Flag}, &TPop::AssignOutboundID},
        {{"SafetyBox", Form::Text}, &TPop::SafetyBox},
    };
    return fields;
}

const QList<Field<TUser>> &userFields()
{
    static const QList<Field<TUser>> fields{
        {{"Name", Form::Text}, &TUser::Name},
        {{"Pass", Form::Bytes, 0, 0, false}, &TUser::Pass},
        {{"Description", Form::Text}, &TUser::Description},
    };
    return fields;
}

const QList<Field<TGroup>> &groupFields()
{
    static const QList<Field<TGroup>> fields{
        {{"Name", Form::Text}, &TGroup::Name},
        {{"Description", Form::Text}, &TGroup::Description},
        {{"OutboundAddress", Form::Text}, &TGroup::OutboundAddress},
        {{"KeyList", Form::MultiLine}, &TGroup::KeyList},
        {{"Users", Form::List}, &TGroup::Users},
        {{"ReadOnly", Form::Flag}, &TGroup::ReadOnly},
    };
    return fields;
}

template <typename T>
QList<Key> keysOf(const QList<Field<T>> &fields)
{
    QList<Key> out;
    for (const Field<T> &f : fields)
        out.append(f.key);
    return out;
}

template <typename T>
Value getField(const T &item, const Field<T> &field)
{
    return std::visit(
        [&item](auto member) -> Value {
            using V = std::remove_cv_t<std::remove_reference_t<decltype(item.*member)>>;
            if constexpr (std::is_same_v<V, NameList>)
                return (item.*member).names();
            else
                return item.*member;
        },
        field.member);
}

template <typename T>
void setField(T &item, const Field<T> &field, const Value &value)
{
    std::visit(
        [&item, &value](auto member) {
            using V = std::remove_reference_t<decltype(item.*member)>;
            if constexpr (std::is_same_v<V, NameList>)
                item.*member = std::get<QByteArrayList>(value); // membership lists: names
            else
                item.*member = std::get<V>(value);
        },
        field.member);
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

bool parseInteger(const QString &text, qint64 *number)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    bool ok = false;
    *number = text.toLongLong(&ok, 10);
    // toLongLong takes a leading "+" and blanks; a number here is digits with an optional "-".
    for (qsizetype i = 0; ok && i < text.size(); ++i) {
        const QChar c = text[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && c == QLatin1Char('-') && text.size() > 1))
            ok = false;
    }
    return ok;
}

} // namespace

const QList<Key> &keys(Kind kind)
{
    static const QList<Key> server = keysOf(serverFields());
    static const QList<Key> pop = keysOf(popFields());
    static const QList<Key> user = keysOf(userFields());
    static const QList<Key> group = keysOf(groupFields());
    switch (kind) {
    case Kind::Server: return server;
    case Kind::Pop: return pop;
    case Kind::User: return user;
    case Kind::Group: return group;
    }
    return server;
}

int findKey(Kind kind, QStringView name)
{
    const QList<Key> &list = keys(kind);
    for (int i = 0; i < list.size(); ++i) {
        if (name.compare(QLatin1String(list[i].name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString kindWord(Kind kind)
{
    switch (kind) {
    case Kind::Server: return QStringLiteral("server");
    case Kind::Pop: return QStringLiteral("pop");
    case Kind::User: return QStringLiteral("user");
    case Kind::Group: return QStringLiteral("group");
    }
    return {};
}

QString kindPlural(Kind kind)
{
    switch (kind) {
    case Kind::Server: return QStringLiteral("servers");
    case Kind::Pop: return QStringLiteral("accounts");
    case Kind::User: return QStringLiteral("users");
    case Kind::Group: return QStringLiteral("groups");
    }
    return {};
}

int count(const ConfigDocument &doc, Kind kind)
{
    switch (kind) {
    case Kind::Server: return 1;
    case Kind::Pop: return int(doc.pops.size());
    case Kind::User: return int(doc.users.size());
    case Kind::Group: return int(doc.groups.size());
    }
    return 0;
}

Value get(const ConfigDocument &doc, Kind kind, int index, int key)
{
    switch (kind) {
    case Kind::Server: return getField(doc.server, serverFields()[key]);
    case Kind::Pop: return getField(*doc.pops[size_t(index)], popFields()[key]);
    case Kind::User: return getField(*doc.users[size_t(index)], userFields()[key]);
    case Kind::Group: return getField(*doc.groups[size_t(index)], groupFields()[key]);
    }
    return {};
}

void set(ConfigDocument &doc, Kind kind, int index, int key, const Value &value)
{
    switch (kind) {
    case Kind::Server: setField(doc.server, serverFields()[key], value); break;
    case Kind::Pop: setField(*doc.pops[size_t(index)], popFields()[key], value); break;
    case Kind::User: setField(*doc.users[size_t(index)], userFields()[key], value); break;
    case Kind::Group: setField(*doc.groups[size_t(index)], groupFields()[key], value); break;
    }
}

QByteArray itemName(const ConfigDocument &doc, Kind kind, int index)
{
    switch (kind) {
    case Kind::Server: return QByteArray("server");
    case Kind::Pop: return doc.pops[size_t(index)]->caption();
    case Kind::User: return doc.users[size_t(index)]->Name;
    case Kind::Group: return doc.groups[size_t(index)]->Name;
    }
    return {};
}

void writeValueJson(JsonWriter &json, const char *key, Form form, const Value &value, const TextCodec &codec)
{
    switch (form) {
    case Form::Integer: json.value(key, std::get<int>(value)); break;
    case Form::Switch: json.value(key, std::get<bool>(value)); break;
    case Form::Bytes:
        json.value(key, QString::fromLatin1(ValueForms::encodeBinary(std::get<QByteArray>(value))));
        break;
    case Form::List: {
        QStringList names;
        for (const QByteArray &n : std::get<QByteArrayList>(value))
            names.append(codec.decode(n));
        json.stringArray(key, names);
        break;
    }
    case Form::Text:
    case Form::MultiLine:
    case Form::Flag: json.value(key, codec.decode(std::get<QByteArray>(value))); break;
    }
}

void writeItemJson(JsonWriter &json, const ConfigDocument &doc, Kind kind, int index, const TextCodec &codec,
                   const char *key)
{
    json.beginObject(key);
    const QList<Key> &list = keys(kind);
    for (int k = 0; k < list.size(); ++k)
        writeValueJson(json, list[k].name, list[k].form, get(doc, kind, index, k), codec);
    json.endObject();
}

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

QString refusedText(const QString &text, bool oneLine)
{
    if (text.startsWith(QChar(0xFEFF)))
        return QStringLiteral("a text cannot begin with U+FEFF (it would be read as a byte-order mark)");
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    if (oneLine && !text.isEmpty() && (blank(text.front()) || blank(text.back())))
        return QStringLiteral("blanks at the start or end of %1 would be lost when the file is read")
            .arg(ConfigCheck::quoted(text));
    return {};
}

bool encodeText(const QString &text, const QByteArray &original, const TextCodec &codec, QByteArray *bytes,
                QString *error, bool binary)
{
    if (!binary && text.contains(QChar(0))) {
        *error = QStringLiteral("a NUL character cannot stand in the file");
        return false;
    }
    const QByteArray kept = codec.encodeKeeping(text, original);
    // The original bytes come back shared when they were kept; anything else was encoded
    // afresh and must decode to the very text (no character replaced on the way).
    if (kept.constData() != original.constData() && codec.decode(kept) != text) {
        *error = QStringLiteral("%1 cannot be written in the configuration's character set")
                     .arg(ConfigCheck::quoted(text));
        return false;
    }
    *bytes = kept;
    return true;
}

bool parseValue(const Key &key, const QStringList &args, const TextCodec &codec, const Value &original,
                Value *value, QString *error)
{
    if (key.form != Form::List && args.size() != 1) {
        *error = args.isEmpty() ? QStringLiteral("no value given") : QStringLiteral("takes one value, not %1").arg(args.size());
        return false;
    }
    switch (key.form) {
    case Form::Integer: {
        qint64 number = 0;
        if (!parseInteger(args.first(), &number)) {
            *error = QStringLiteral("%1 is not a number").arg(ConfigCheck::quoted(args.first()));
            return false;
        }
        if (number < key.min || number > key.max) {
            *error = QStringLiteral("%1 is out of range (%2 to %3)").arg(number).arg(key.min).arg(key.max);
            return false;
        }
        *value = int(number);
        return true;
    }
    case Form::Switch: {
        const QString t = args.first().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("y"))
            *value = true;
        else if (t == QLatin1String("false") || t == QLatin1String("n"))
            *value = false;
        else {
            *error = QStringLiteral("%1 is not true, false, Y or N").arg(ConfigCheck::quoted(args.first()));
            return false;
        }
        return true;
    }
    case Form::Flag: {
        const QString t = args.first();
        if (t.compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0)
            *value = QByteArray("Y");
        else if (t.compare(QLatin1String("N"), Qt::CaseInsensitive) == 0)
            *value = QByteArray("N");
        else {
            *error = QStringLiteral("%1 is not Y or N").arg(ConfigCheck::quoted(t));
            return false;
        }
        return true;
    }
    case Form::List: {
        const QByteArrayList *old = std::get_if<QByteArrayList>(&original);
        QByteArrayList names;
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (hasLineBreak(args[i])) {
                *error = QStringLiteral("the name %1 holds a line break").arg(ConfigCheck::quoted(args[i]));
                return false;
            }
            if (const QString why = refusedText(args[i], false); !why.isEmpty()) {
                *error = why;
                return false;
            }
            QByteArray bytes;
            const QByteArray before = old && i < old->size() ? old->at(i) : QByteArray();
            if (!encodeText(args[i], before, codec, &bytes, error))
                return false;
            names.append(bytes);
        }
        *value = names;
        return true;
    }
    case Form::Text:
    case Form::MultiLine: {
        const QString &t = args.first();
        if (key.form == Form::Text && hasLineBreak(t)) {
            *error = QStringLiteral("a line break cannot stand in %1").arg(QLatin1String(key.name));
            return false;
        }
        if (const QString why = refusedText(t, key.form == Form::Text); !why.isEmpty()) {
            *error = why;
            return false;
        }
        const QByteArray *before = std::get_if<QByteArray>(&original);
        QByteArray bytes;
        if (!encodeText(t, before ? *before : QByteArray(), codec, &bytes, error, key.form == Form::MultiLine))
            return false;
        *value = bytes;
        return true;
    }
    case Form::Bytes:
        *error = QStringLiteral("%1 is a password: use passwd").arg(QLatin1String(key.name));
        return false;
    }
    return false;
}

bool assign(ConfigDocument &doc, Kind kind, int index, int key, const QStringList &args, const TextCodec &codec,
            QString *error)
{
    const Key &k = keys(kind)[key];
    const QString path = (kind == Kind::Server ? QStringLiteral("server") : positionAddress(kind, index))
                         + QLatin1Char('.') + QLatin1String(k.name);
    if (!k.settable) {
        *error = k.form == Form::Bytes ? QStringLiteral("%1 is a password: use passwd").arg(path)
                                       : QStringLiteral("%1 is written by the program").arg(path);
        return false;
    }
    const Value original = get(doc, kind, index, key);
    Value value;
    QString why;
    if (!parseValue(k, args, codec, original, &value, &why)) {
        *error = path + QStringLiteral(": ") + why;
        return false;
    }
    if (kind == Kind::Group && key == findKey(Kind::Group, u"Name")) {
        const QString name = args.first();
        if (name.isEmpty()) {
            *error = path + QStringLiteral(": a group needs a name");
            return false;
        }
        if (!GroupName::passes(name)) {
            *error = path + QStringLiteral(": ") + GroupName::invalidMessage();
            return false;
        }
    }
    set(doc, kind, index, key, value);
    // Names are how scripts and the other items find an item: a second one of the same name
    // would make both unreachable by name.
    const bool naming = (kind == Kind::User || kind == Kind::Group) ? QByteArrayView(k.name) == "Name"
                        : kind == Kind::Pop ? (QByteArrayView(k.name) == "UserID" || QByteArrayView(k.name) == "Host")
                                            : false;
    if (naming) {
        const QList<int> others = itemsNamed(doc, kind, itemName(doc, kind, index), codec, index);
        if (!others.isEmpty()) {
            *error = QStringLiteral("%1: %2 is already named %3")
                         .arg(path, positionAddress(kind, others.first()),
                              ConfigCheck::quoted(codec.decode(itemName(doc, kind, index))));
            set(doc, kind, index, key, original);
            return false;
        }
    }
    return true;
}

QString formatValue(Form form, const Value &value, const TextCodec &codec)
{
    switch (form) {
    case Form::Integer: return QString::number(std::get<int>(value)) + QLatin1Char('\n');
    case Form::Switch: return (std::get<bool>(value) ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('\n');
    case Form::Bytes: return QString::fromLatin1(ValueForms::encodeBinary(std::get<QByteArray>(value))) + QLatin1Char('\n');
    case Form::List: {
        QString out;
        for (const QByteArray &n : std::get<QByteArrayList>(value))
            out += codec.decode(n) + QLatin1Char('\n');
        return out;
    }
    case Form::Text:
    case Form::MultiLine:
    case Form::Flag: return codec.decode(std::get<QByteArray>(value)) + QLatin1Char('\n');
    }
    return {};
}

} // namespace ItemKeys
