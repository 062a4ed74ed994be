#pragma once

#include "platform/Registry.h"

#include <memory>

// The settings key of the version check and the tip of the day, named by a text such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\Kovalen Designs\Quilmora": the part before the first
// backslash names the root (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE,
// spelt exactly, letter case included; any other text stands for HKEY_USERS), the rest is
// the key's path (none: the root key itself). Opened with full access.
namespace ComponentKey {

Registry::Root root(const QString &registryKey);
QString path(const QString &registryKey);
std::unique_ptr<RegistryKey> open(Registry &registry, const QString &registryKey, bool create);

} // namespace ComponentKey
