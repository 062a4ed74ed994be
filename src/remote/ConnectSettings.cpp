#include "remote/ConnectSettings.h"

#include "config/TextCodec.h"
#include "platform/Registry.h"
#include "remote/TRemoteInfo.h"

namespace {

const QString Connection = QStringLiteral("Connection");
const QString Server = QStringLiteral("Server");
const QString Username = QStringLiteral("Username");
const QString Port = QStringLiteral("Port");

std::unique_ptr<RegistryKey> openKey(Registry &registry)
{
    return registry.openKey(Registry::Root::LocalMachine, QString::fromLatin1(ConnectSettings::RegistryPath),
                            Registry::Access::Full, true);
}

} // namespace

qint32 ConnectSettings::portValue() const
{
    bool ok = false;
    const qint32 value = portText.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

bool ConnectSettings::usesDefaultLogin() const
{
    const QString login = QString::fromLatin1(DefaultLogin);
    return user == login && password == login;
}

ConnectSettings ConnectSettings::load(Registry &registry)
{
    ConnectSettings s;
    const auto key = openKey(registry);
    if (!key)
        return s;
    // A choice that is missing or not a number is Local; so is any index but Remote's.
    bool ok = false;
    const int connection = key->readString(Connection).value_or(QString()).trimmed().toInt(&ok);
    s.connection = ok && connection == 1 ? 1 : 0;
    s.server = key->readString(Server).value_or(QString());
    s.user = key->readString(Username).value_or(QString());
    if (const auto port = key->readInteger(Port))
        s.portText = QString::number(*port);
    return s;
}

bool ConnectSettings::store(Registry &registry) const
{
    const auto key = openKey(registry);
    if (!key)
        return false;
    return key->writeString(Connection, QString::number(connection)) && key->writeString(Server, server) &&
           key->writeString(Username, user) && key->writeInteger(Port, portValue());
}

std::unique_ptr<TRemoteInfo> ConnectSettings::makeRemoteInfo(Prompts &prompts, BusyCursor *cursor) const
{
    if (!remote())
        return nullptr;
    auto info = std::make_unique<TRemoteInfo>(prompts, cursor);
    const TextCodec system;
    info->Host = server;
    info->User = system.encode(user);
    info->Password = system.encode(password);
    if (!portText.isEmpty())
        info->Port = portValue();
    return info;
}
