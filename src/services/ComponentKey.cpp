#include "services/ComponentKey.h"

namespace ComponentKey {

Registry::Root root(const QString &registryKey)
{
    const qsizetype slash = registryKey.indexOf(QLatin1Char('\\'));
    const QString name = slash < 0 ? registryKey : registryKey.left(slash);
    if (name == QLatin1String("HKEY_CLASSES_ROOT"))
        return Registry::Root::ClassesRoot;
    if (name == QLatin1String("HKEY_CURRENT_USER"))
        return Registry::Root::CurrentUser;
    if (name == QLatin1String("HKEY_LOCAL_MACHINE"))
        return Registry::Root::LocalMachine;
    return Registry::Root::Users;
}

QString path(const QString &registryKey)
{
    const qsizetype slash = registryKey.indexOf(QLatin1Char('\\'));
    return QLatin1Char('\\') + (slash < 0 ? QString() : registryKey.mid(slash + 1));
}

std::unique_ptr<RegistryKey> open(Registry &registry, const QString &registryKey, bool create)
{
    return registry.openKey(root(registryKey), path(registryKey), Registry::Access::Full, create);
}

} // namespace ComponentKey
