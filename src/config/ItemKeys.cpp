#include "config/ItemKeys.h"

#include "config/JsonWriter.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

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
    case Form::List: json.textArray(key, std::get<QByteArrayList>(value), codec); break;
    case Form::Text:
    case Form::MultiLine:
    case Form::Flag: json.text(key, std::get<QByteArray>(value), codec); break;
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

} // namespace ItemKeys
