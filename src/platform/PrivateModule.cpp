#include "platform/PrivateModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <dlfcn.h>
#include <mutex>

#ifndef QUILMORA_MODULE_SUBDIR
#define QUILMORA_MODULE_SUBDIR "lib/quilmora"
#endif

namespace PrivateModule {

namespace {

QStringList folders()
{
    QStringList out;
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (!exe.isEmpty())
        out.append(QDir::cleanPath(QFileInfo(exe).absolutePath() + QStringLiteral("/../")
                                   + QLatin1String(QUILMORA_MODULE_SUBDIR)));
#ifdef QUILMORA_MODULE_DIR
    const QString installed = QDir::cleanPath(QStringLiteral(QUILMORA_MODULE_DIR));
    if (!out.contains(installed))
        out.append(installed);
#endif
    return out;
}

} // namespace

void *resolve(const char *name, const char *symbol, QString *error)
{
    static std::mutex mutex;
    static QHash<QByteArray, void *> handles;
    const std::lock_guard<std::mutex> guard(mutex);
    void *handle = handles.value(QByteArray(name));
    if (!handle) {
        QStringList tried;
        QString cause;
        for (const QString &folder : folders()) {
            const QString path = QDir(folder).filePath(QLatin1String(name) + QStringLiteral(".so"));
            tried.append(QDir::toNativeSeparators(path));
            if (!QFileInfo::exists(path))
                continue;
            handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
            if (handle)
                break;
            const char *e = ::dlerror();
            cause = e ? QString::fromLocal8Bit(e) : path;
        }
        if (!handle) {
            *error = cause.isEmpty()
                         ? QStringLiteral("The program's module %1 is missing (looked for %2)")
                               .arg(QLatin1String(name), tried.join(QStringLiteral(", ")))
                         : QStringLiteral("The program's module %1 cannot be loaded: %2").arg(QLatin1String(name), cause);
            return nullptr;
        }
        handles.insert(QByteArray(name), handle);
    }
    ::dlerror();
    void *address = ::dlsym(handle, symbol);
    if (!address)
        *error = QStringLiteral("The program's module %1 is not of this version (it has no %2)")
                     .arg(QLatin1String(name), QLatin1String(symbol));
    return address;
}

} // namespace PrivateModule
