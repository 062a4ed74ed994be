#include "platform/gui/StartupWarmup.h"

#include <QGuiApplication>
#include <QString>

#ifdef QUILMORA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif
#ifdef QUILMORA_HAVE_QTDBUS
#include <QDBusConnection>
#endif

FontWarmup::FontWarmup()
{
#ifdef QUILMORA_HAVE_FONTCONFIG
    // FcInit is safe on any thread; once it has run, the call Qt makes returns at once.
    m_thread = std::thread([] { FcInit(); });
#endif
}

FontWarmup::~FontWarmup()
{
    wait();
}

void FontWarmup::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

SessionBusWarmup::SessionBusWarmup()
{
#ifdef QUILMORA_HAVE_QTDBUS
    if (!QGuiApplication::instance())
        return;
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return;
    // Qt keeps one session bus connection for the process, made by whichever thread asks
    // first; the others are given the same one, and wait while it is being made.
    m_thread = std::thread([] { QDBusConnection::sessionBus(); });
#endif
}

SessionBusWarmup::~SessionBusWarmup()
{
    if (m_thread.joinable())
        m_thread.join();
}
