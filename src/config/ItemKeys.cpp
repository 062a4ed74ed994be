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
        {{"Port", Form::Integer, 0, S::PortMax, true,
          "Port", "Port on which the server will respond", "General Settings", "Server Settings", "sedtPort"}, &S::Port},
        {{"Name", Form::Text, 0, 0, true,
          "Name", "Server name", "General Settings", "Server Settings", "editName"}, &S::Name},
        {{"Version", Form::Text, 0, 0, false,
          "Version", "", "", "", ""}, &S::Version},
        {{"SMTPHost", Form::Text, 0, 0, true,
          "Outgoing Mail Server", "Server for outgoing mail (SMTP)", "General Settings", "Options", "editSMTPServer"}, &S::SMTPHost},
        {{"OutboundPrefix", Form::Text, 0, 0, true,
          "Outbound Prefix", "Outbound prefix for messages", "General Settings", "Options", "editOutBoundPrefix"}, &S::OutboundPrefix},
        {{"OutboundMarker", Form::Text, 0, 0, true,
          "Outbound Marker", "Outbound marker for messages", "General Settings", "Options", "editOutBoundMarker"}, &S::OutboundMarker},
        {{"BindIP", Form::Text, 0, 0, true,
          "Bound IP", "", "General Settings", "Server Settings", "cmbBindIP"}, &S::BindIP},
        {{"AdminEmail", Form::Text, 0, 0, true,
          "Administrator E-Mail", "", "General Settings", "Options", "editAdminEmail"}, &S::AdminEmail},
        {{"AdminEmailActive", Form::Switch, 0, 0, true,
          "Active", "", "General Settings", "Options", "chkbAdminEmailActive"}, &S::AdminEmailActive},
        {{"SMTPUserID", Form::Text, 0, 0, true,
          "Username", "", "Advanced Settings", "Outgoing E-Mail (SMTP) Settings", "editSMTPUserID"}, &S::SMTPUserID},
        {{"SMTPUserPass", Form::Bytes, 0, 0, false,
          "Password", "", "Advanced Settings", "Outgoing E-Mail (SMTP) Settings", "editSMTPUserPass"}, &S::SMTPUserPass},
        {{"SMTPPort", Form::Integer, 0, S::PortMax, true,
          "SMTP Port", "", "Advanced Settings", "Outgoing E-Mail (SMTP) Settings", "sedtSMTPPort"}, &S::SMTPPort},
        {{"LogSize", Form::Integer, 0, S::LogSizeMax, true,
          "Overwrite when file reaches", "", "Log Settings", "Log File", "sedtLogSize"}, &S::LogSize},
        {{"Log", Form::Integer, -1, 1, true,
          "Settings", "", "Log Settings", "Settings", "rgrpLogSettings", "Deactivate|Activate"}, &S::Log},
        {{"AdminUser", Form::Text, 0, 0, true,
          "Administrator Username", "", "General Settings", "Options", "editAdminUser"}, &S::AdminUser},
        {{"AdminPass", Form::Bytes, 0, 0, false,
          "Administrator Password", "", "General Settings", "Options", "editAdminPass"}, &S::AdminPass},
        {{"ConfigPort", Form::Integer, 0, S::PortMax, true,
          "Port", "", "Advanced Settings", "Remote Configuration", "sedtConfigPort"}, &S::ConfigPort},
    };
    return fields;
}

const QList<Field<TPop>> &popFields()
{
    static const QList<Field<TPop>> fields{
        {{"Host", Form::Text, 0, 0, true,
          "Mail Server", "", "Incoming Account Settings", "General", "editPopHost"}, &TPop::Host},
        {{"Port", Form::Integer, 0, 65535, true,
          "Port", "", "Incoming Account Settings", "General", "sedtPopPort"}, &TPop::Port},
        {{"UserID", Form::Text, 0, 0, true,
          "User ID", "", "Incoming Account Settings", "General", "editPopUser"}, &TPop::UserID},
        {{"Password", Form::Bytes, 0, 0, false,
          "Password", "", "Incoming Account Settings", "General", "editPopPass"}, &TPop::Password},
        {{"Newsgroups", Form::List, 0, 0, true,
          "Groups", "", "Incoming Account Settings", "Groups", "chlstGroups"}, &TPop::Newsgroups},
        {{"DefaultGroup", Form::Text, 0, 0, true,
          "Default", "", "Incoming Account Settings", "Groups", "cboxPopDefault"}, &TPop::DefaultGroup},
        {{"AutoReply", Form::Flag, 0, 0, true,
          "AutoReply", "", "Incoming Account Settings", "General", "chkbPopAutoReply"}, &TPop::AutoReply},
        {{"AutoReplyFrom", Form::Text, 0, 0, true,
          "Auto Reply From", "", "Incoming Account Settings", "General", "editPopAutoReplyFrom"}, &TPop::AutoReplyFrom},
        {{"AutoReplyBody", Form::MultiLine, 0, 0, true,
          "Auto Reply Body", "", "Incoming Account Settings", "General", "memoPopAutoReplyBody"}, &TPop::AutoReplyBody},
        {{"AutoReplySubject", Form::Text, 0, 0, true,
          "Auto Reply Subject", "", "Incoming Account Settings", "General", "editPopAutoReplySubject"}, &TPop::AutoReplySubject},
        {{"AutoReplyFromIgnore", Form::Text, 0, 0, true,
          "Auto Reply From Ignore", "", "Incoming Account Settings", "General", "editAutoReplyFromIgnore"}, &TPop::AutoReplyFromIgnore},
        {{"AssignOutboundID", Form::Flag, 0, 0, true,
          "Assign Outbound ID", "", "Incoming Account Settings", "General", "chkbOBID"}, &TPop::AssignOutboundID},
        {{"SafetyBox", Form::Text, 0, 0, true,
          "Copy incoming to account", "", "Incoming Account Settings", "General", "editSafetyBox"}, &TPop::SafetyBox},
    };
    return fields;
}

const QList<Field<TUser>> &userFields()
{
    static const QList<Field<TUser>> fields{
        {{"Name", Form::Text, 0, 0, true,
          "Name", "", "User Settings", "Data", "editUserName"}, &TUser::Name},
        {{"Pass", Form::Bytes, 0, 0, false,
          "Password", "", "User Settings", "Data", "editUserPass"}, &TUser::Pass},
        {{"Description", Form::Text, 0, 0, true,
          "Description", "", "User Settings", "Data", "editUserDesc"}, &TUser::Description},
    };
    return fields;
}

const QList<Field<TGroup>> &groupFields()
{
    static const QList<Field<TGroup>> fields{
        {{"Name", Form::Text, 0, 0, true,
          "Name", "", "Group Settings", "General", "editGroupName"}, &TGroup::Name},
        {{"Description", Form::Text, 0, 0, true,
          "Description", "", "Group Settings", "General", "editGroupDesc"}, &TGroup::Description},
        {{"OutboundAddress", Form::Text, 0, 0, true,
          "Outbound Address", "", "Group Settings", "General", "editGroupOutboundAddr"}, &TGroup::OutboundAddress},
        {{"KeyList", Form::MultiLine, 0, 0, true,
          "Keys", "", "Group Settings", "General", "memoGroupKeys"}, &TGroup::KeyList},
        {{"Users", Form::List, 0, 0, true,
          "Users", "", "Group Settings", "Users", "chlstUsers"}, &TGroup::Users},
        {{"ReadOnly", Form::Flag, 0, 0, true,
          "Read-Only", "", "Group Settings", "General", "chkbGroupRO"}, &TGroup::ReadOnly},
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
                return (item.*member).decodedNames();
            else
                return item.*member;
        },
        field.member);
}

template <typename T>
bool sameField(const T &a, const T &b, const Field<T> &field)
{
    return std::visit(
        [&a, &b](auto member) -> bool {
            using V = std::remove_cv_t<std::remove_reference_t<decltype(a.*member)>>;
            if constexpr (std::is_same_v<V, NameList>)
                return (a.*member).sameNames(b.*member);
            else
                return a.*member == b.*member;
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

template <typename T>
void listNamesOf(const T &item, const Field<T> &field, std::vector<QByteArrayView> *names, QByteArrayList *held)
{
    std::visit(
        [&](auto member) {
            using V = std::remove_cv_t<std::remove_reference_t<decltype(item.*member)>>;
            if constexpr (std::is_same_v<V, NameList>) {
                // A view into the stored value, except for a name with quotes: that one may
                // have been unescaped into a scratch buffer.
                (item.*member).forEachName([&](QByteArrayView name) {
                    if (name.contains('"')) {
                        held->append(name.toByteArray());
                        names->push_back(QByteArrayView(held->constLast()));
                    } else {
                        names->push_back(name);
                    }
                });
            } else if constexpr (std::is_same_v<V, QByteArrayList>) {
                for (const QByteArray &name : item.*member)
                    names->push_back(QByteArrayView(name));
            }
        },
        field.member);
}

template <typename T>
void copyField(const T &from, T &to, const Field<T> &field)
{
    std::visit([&](auto member) { to.*member = from.*member; }, field.member);
}

} // namespace

void listNames(const ConfigDocument &doc, Kind kind, int index, int key, std::vector<QByteArrayView> *names,
               QByteArrayList *held)
{
    switch (kind) {
    case Kind::Server: listNamesOf(doc.server, serverFields()[key], names, held); break;
    case Kind::Pop: listNamesOf(*doc.pops[size_t(index)], popFields()[key], names, held); break;
    case Kind::User: listNamesOf(*doc.users[size_t(index)], userFields()[key], names, held); break;
    case Kind::Group: listNamesOf(*doc.groups[size_t(index)], groupFields()[key], names, held); break;
    }
}

void copyValue(const ConfigDocument &from, int fromIndex, ConfigDocument &to, int toIndex, Kind kind, int key)
{
    switch (kind) {
    case Kind::Server: copyField(from.server, to.server, serverFields()[key]); break;
    case Kind::Pop: copyField(*from.pops[size_t(fromIndex)], *to.pops[size_t(toIndex)], popFields()[key]); break;
    case Kind::User: copyField(*from.users[size_t(fromIndex)], *to.users[size_t(toIndex)], userFields()[key]); break;
    case Kind::Group: copyField(*from.groups[size_t(fromIndex)], *to.groups[size_t(toIndex)], groupFields()[key]); break;
    }
}

const char *formName(Form form)
{
    switch (form) {
    case Form::Text: return "text";
    case Form::MultiLine: return "multiline";
    case Form::Integer: return "integer";
    case Form::Switch: return "switch";
    case Form::Flag: return "flag";
    case Form::List: return "list";
    case Form::Bytes: return "bytes";
    }
    return "text";
}

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

bool sameValue(const ConfigDocument &a, int ia, const ConfigDocument &b, int ib, Kind kind, int key)
{
    switch (kind) {
    case Kind::Server: return sameField(a.server, b.server, serverFields()[key]);
    case Kind::Pop: return sameField(*a.pops[size_t(ia)], *b.pops[size_t(ib)], popFields()[key]);
    case Kind::User: return sameField(*a.users[size_t(ia)], *b.users[size_t(ib)], userFields()[key]);
    case Kind::Group: return sameField(*a.groups[size_t(ia)], *b.groups[size_t(ib)], groupFields()[key]);
    }
    return true;
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

namespace {

// The fields of an item as writeValueJson() writes them, read where the item holds them:
// no copy of a value, and a membership list read in place rather than made into names.
template <typename T>
void writeFieldsJson(JsonWriter &json, const T &item, const QList<Field<T>> &fields, const TextCodec &codec,
                     bool secrets)
{
    for (const Field<T> &f : fields) {
        const Key &k = f.key;
        if (!secrets && k.form == Form::Bytes)
            continue;
        std::visit(
            [&](auto member) {
                const auto &v = item.*member;
                using V = std::remove_cv_t<std::remove_reference_t<decltype(v)>>;
                if constexpr (std::is_same_v<V, int> || std::is_same_v<V, bool>)
                    json.value(k.name, v);
                else if constexpr (std::is_same_v<V, QByteArray>) {
                    if (k.form == Form::Bytes)
                        json.hex(k.name, v);
                    else
                        json.text(k.name, v, codec);
                } else if constexpr (std::is_same_v<V, NameList>)
                    json.nameList(k.name, v, codec);
                else
                    json.textArray(k.name, v, codec);
            },
            f.member);
    }
}

} // namespace

void writeItemJson(JsonWriter &json, const ConfigDocument &doc, Kind kind, int index, const TextCodec &codec,
                   const char *key, bool secrets)
{
    json.beginObject(key);
    switch (kind) {
    case Kind::Server: writeFieldsJson(json, doc.server, serverFields(), codec, secrets); break;
    case Kind::Pop: writeFieldsJson(json, *doc.pops[size_t(index)], popFields(), codec, secrets); break;
    case Kind::User: writeFieldsJson(json, *doc.users[size_t(index)], userFields(), codec, secrets); break;
    case Kind::Group: writeFieldsJson(json, *doc.groups[size_t(index)], groupFields(), codec, secrets); break;
    }
    json.endObject();
}

} // namespace ItemKeys
