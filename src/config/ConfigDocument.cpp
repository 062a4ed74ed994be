#include "config/ConfigDocument.h"

#include "config/AppIdentity.h"
#include "config/ConfigBytes.h"
#include "config/PasswordDigest.h"
#include "config/TextCodec.h"
#include "config/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

constexpr char kServer[] = "SERVER";

int clamp(int value, int low, int high)
{
    return std::clamp(value, low, high);
}

// Whether a section name, in upper case, holds a kind word.
bool holdsKindWord(const QByteArray &section, const char *kindWord)
{
    return section.toUpper().contains(kindWord);
}

// The text of a file named by an old-format key, each line followed by CR LF; empty when
// the file does not exist or may not be read (LinkedFiles says which).
QByteArray readOldFormatFile(LinkedFiles *linked, const QByteArray &section, const char *key, const QByteArray &path)
{
    if (path.isEmpty())
        return {};
    LinkedFiles none;
    return (linked ? *linked : none).read(path, QString::fromLatin1(section + ' ' + key));
}

} // namespace

ServerSettings ConfigDocument::readServerSettings(const ConfigStore &store)
{
    ServerSettings s;
    const ServerSettings d; // defaults
    s.Port = clamp(store.readInteger(kServer, "Port", d.Port), 0, ServerSettings::PortMax);
    s.Name = store.readString(kServer, "Name");
    s.Version = store.readString(kServer, "Version", d.Version);
    s.SMTPHost = store.readString(kServer, "SMTPHost");
    s.OutboundPrefix = store.readString(kServer, "OutboundPrefix", d.OutboundPrefix);
    s.OutboundMarker = store.readString(kServer, "OutboundMarker", d.OutboundMarker);
    s.BindIP = store.readString(kServer, "BindIP");
    s.AdminEmail = store.readString(kServer, "AdminEmail");
    s.AdminEmailActive = store.readSwitch(kServer, "AdminEmailActive");
    s.SMTPUserID = store.readString(kServer, "SMTPUserID");
    s.SMTPUserPass = store.readBinary(kServer, "SMTPUserPass");
    s.AdminUser = store.readString(kServer, "AdminUser");
    s.AdminPass = store.readBinary(kServer, "AdminPass");
    s.SMTPPort = clamp(store.readInteger(kServer, "SMTPPort", d.SMTPPort), 0, ServerSettings::PortMax);
    s.LogSize = clamp(store.readInteger(kServer, "LogSize", d.LogSize), 0, ServerSettings::LogSizeMax);
    // A value above 1 selects "Activate", one below 0 selects neither.
    s.Log = clamp(store.readInteger(kServer, "Log", d.Log), -1, 1);
    s.ConfigPort = clamp(store.readInteger(kServer, "ConfigPort", d.ConfigPort), 0, ServerSettings::PortMax);
    // "Never overwrite" sets the size to 0; a size other than 0 means "Overwrite when file
    // reaches ", so the two always agree after loading.
    return s;
}

bool ConfigDocument::isOldFormat(const QByteArray &version, const QLocale &locale, bool *ok)
{
    QString text = QString::fromLatin1(version);
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        text.replace(dot, 1, locale.decimalPoint());
    QLocale reader = locale;
    reader.setNumberOptions(QLocale::RejectGroupSeparator);
    bool parsed = false;
    const double number = reader.toDouble(text, &parsed);
    parsed = parsed && std::isfinite(number);
    if (ok)
        *ok = parsed;
    return parsed && number < 1.05;
}

std::unique_ptr<TPop> ConfigDocument::readPop(const ConfigStore &store, const QByteArray &section,
                                              bool oldFormat, LinkedFiles *linked)
{
    auto pop = std::make_unique<TPop>();
    pop->Host = store.readString(section, "Host");
    pop->Port = store.readInteger(section, "Port", 110);
    pop->UserID = store.readString(section, "UserID");
    pop->Password = store.readBinary(section, "Password");
    pop->Newsgroups = store.readList(section, "Newsgroups");
    pop->DefaultGroup = store.readString(section, "DefaultGroup");
    pop->AutoReply = store.readString(section, "AutoReply", "N");
    pop->AutoReplyFrom = store.readString(section, "AutoReplyFrom");
    // Old-format accounts keep their plain mailbox password: the server needs it to log
    // into the mailbox, and a digest of it would be of no use there.
    if (oldFormat)
        pop->AutoReplyBody =
            readOldFormatFile(linked, section, "AutoReplyFile", store.readString(section, "AutoReplyFile"));
    else
        pop->AutoReplyBody = store.readBinary(section, "AutoReplyBody");
    pop->AutoReplySubject = store.readString(section, "AutoReplySubject");
    pop->AutoReplyFromIgnore = store.readString(section, "AutoReplyFromIgnore");
    pop->AssignOutboundID = store.readString(section, "AssignOutboundID", "N");
    pop->SafetyBox = store.readString(section, "SafetyBox");
    return pop;
}

std::unique_ptr<TGroup> ConfigDocument::readGroup(const ConfigStore &store, const QByteArray &section,
                                                  bool oldFormat, LinkedFiles *linked)
{
    auto group = std::make_unique<TGroup>();
    group->Name = store.readString(section, "Name");
    group->Description = store.readString(section, "Description");
    group->OutboundAddress = store.readString(section, "OutboundAddress");
    if (oldFormat)
        group->KeyList = readOldFormatFile(linked, section, "KeyListFile", store.readString(section, "KeyListFile"));
    else
        group->KeyList = store.readBinary(section, "KeyList");
    group->Users = store.readList(section, "Users");
    group->ReadOnly = store.readString(section, "ReadOnly", "N");
    return group;
}

std::unique_ptr<TUser> ConfigDocument::readUser(const ConfigStore &store, const QByteArray &section,
                                                bool oldFormat)
{
    auto user = std::make_unique<TUser>();
    user->Name = store.readString(section, "Name");
    user->Pass = store.readBinary(section, "Pass");
    user->Description = store.readString(section, "Description");
    if (oldFormat)
        user->Pass = PasswordDigest(user->Pass);
    return user;
}

bool ConfigDocument::load(const QString &path, const TextCodec &codec, QString *error,
                          const QLocale &locale)
{
    QByteArray bytes;
    switch (SafeFile::readRegular(path, &bytes, &fingerprint)) {
    case SafeFile::ReadStatus::Ok:
    case SafeFile::ReadStatus::Missing:
        break;
    case SafeFile::ReadStatus::NotRegular:
        if (error)
            *error = SafeFile::notRegularText(path);
        return false;
    case SafeFile::ReadStatus::Failed:
        if (error)
            *error = QStringLiteral("Cannot open file ") + SafeFile::displayPath(path);
        return false;
    }
    if (!ConfigBytes::prepare(bytes, path, error))
        return false;
    linkedFiles = LinkedFiles(linkedFileMode, QFileInfo(path).absolutePath());
    return loadFromStore(ConfigStore::fromBytes(bytes), codec, error, locale);
}

bool ConfigDocument::loadFromStore(const ConfigStore &store, const TextCodec &codec, QString *error,
                                   const QLocale &locale)
{
    server = readServerSettings(store);
    pops.clear();
    users.clear();
    groups.clear();

    bool ok = false;
    oldFormat = isOldFormat(server.Version, locale, &ok);
    if (!ok) {
        if (error)
            *error = QStringLiteral("'%1' is not a valid floating point value").arg(codec.decode(server.Version));
        return false;
    }
    if (oldFormat)
        server.AdminPass = PasswordDigest(server.AdminPass);

    const QByteArrayList sections = store.sectionNames();
    for (const QByteArray &name : sections) {
        if (holdsKindWord(name, TPop::KindWord))
            pops.push_back(readPop(store, name, oldFormat, &linkedFiles));
    }
    for (const QByteArray &name : sections) {
        if (holdsKindWord(name, TGroup::KindWord))
            groups.push_back(readGroup(store, name, oldFormat, &linkedFiles));
    }
    for (const QByteArray &name : sections) {
        if (holdsKindWord(name, TUser::KindWord))
            users.push_back(readUser(store, name, oldFormat));
    }
    return true;
}

QByteArray ConfigDocument::render(const ServerSettings &s, const QList<const TPop *> &pops,
                                  const QList<const TUser *> &users, const QList<const TGroup *> &groups)
{
    ConfigWriter w;
    w.beginSection(kServer);
    w.writeInteger("Port", s.Port);
    w.writeString("Name", s.Name);
    w.writeString("Version", AppIdentity::AppVersion);
    w.writeString("SMTPHost", s.SMTPHost);
    w.writeString("OutboundPrefix", s.OutboundPrefix);
    w.writeString("OutboundMarker", s.OutboundMarker);
    w.writeString("BindIP", s.BindIP);
    w.writeString("AdminEmail", s.AdminEmail);
    w.writeSwitch("AdminEmailActive", s.AdminEmailActive);
    w.writeString("SMTPUserID", s.SMTPUserID);
    w.writeBinary("SMTPUserPass", s.SMTPUserPass);
    w.writeInteger("SMTPPort", s.SMTPPort);
    w.writeInteger("LogSize", s.LogSize);
    w.writeInteger("Log", s.Log);
    w.writeString("AdminUser", s.AdminUser);
    w.writeBinary("AdminPass", s.AdminPass);
    w.writeInteger("ConfigPort", s.ConfigPort);
    w.writeInteger("Pops", int(pops.size()));
    w.writeInteger("Users", int(users.size()));
    w.writeInteger("Groups", int(groups.size()));

    int n = 0;
    for (const TPop *p : pops) {
        w.beginSection(QByteArray(TPop::KindWord) + QByteArray::number(++n));
        w.writeString("Host", p->Host);
        w.writeInteger("Port", p->Port);
        w.writeString("UserID", p->UserID);
        w.writeBinary("Password", p->Password);
        w.writeList("Newsgroups", p->Newsgroups);
        w.writeString("DefaultGroup", p->DefaultGroup);
        w.writeString("AutoReply", p->AutoReply);
        w.writeString("AutoReplyFrom", p->AutoReplyFrom);
        w.writeBinary("AutoReplyBody", p->AutoReplyBody);
        w.writeString("AutoReplySubject", p->AutoReplySubject);
        w.writeString("AutoReplyFromIgnore", p->AutoReplyFromIgnore);
        w.writeString("AssignOutboundID", p->AssignOutboundID);
        w.writeString("SafetyBox", p->SafetyBox);
    }
    n = 0;
    for (const TUser *u : users) {
        w.beginSection(QByteArray(TUser::KindWord) + QByteArray::number(++n));
        w.writeString("Name", u->Name);
        w.writeBinary("Pass", u->Pass);
        w.writeString("Description", u->Description);
    }
    n = 0;
    for (const TGroup *g : groups) {
        w.beginSection(QByteArray(TGroup::KindWord) + QByteArray::number(++n));
        w.writeString("Name", g->Name);
        w.writeString("Description", g->Description);
        w.writeString("OutboundAddress", g->OutboundAddress);
        w.writeBinary("KeyList", g->KeyList);
        w.writeList("Users", g->Users);
        w.writeString("ReadOnly", g->ReadOnly);
    }
    return w.bytes();
}

namespace {
template <typename T>
QList<const T *> views(const std::vector<std::unique_ptr<T>> &items)
{
    QList<const T *> out;
    out.reserve(qsizetype(items.size()));
    for (const auto &item : items)
        out.append(item.get());
    return out;
}
} // namespace

QByteArray ConfigDocument::render() const
{
    return render(server, views(pops), views(users), views(groups));
}

bool ConfigDocument::saveBytes(const QString &path, const QByteArray &bytes, QString *error)
{
    if (SafeFile::replace(path, bytes, true))
        return true;
    if (error)
        *error = QStringLiteral("Unable to write to ") + SafeFile::displayPath(path);
    return false;
}

bool ConfigDocument::changedOnDisk(const QString &path, const SafeFile::Fingerprint &fingerprint)
{
    return SafeFile::fingerprintOf(path) != fingerprint;
}

bool ConfigDocument::saveBytesChecked(const QString &path, const QByteArray &bytes, SafeFile::Fingerprint &fingerprint,
                                      QString *error)
{
    if (changedOnDisk(path, fingerprint)) {
        if (error)
            *error = changedOnDiskText();
        return false;
    }
    if (!saveBytes(path, bytes, error))
        return false;
    fingerprint = SafeFile::fingerprintOf(path);
    return true;
}

bool ConfigDocument::save(const QString &path, QString *error) const
{
    return saveBytes(path, render(), error);
}
