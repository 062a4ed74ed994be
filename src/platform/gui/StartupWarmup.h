#pragma once

#include <thread>

// Start-up work that Qt does on the window's thread the first time it needs it, begun ahead
// on threads of their own while the window's thread waits for the display. Each does what Qt
// would do itself, with the same result: only earlier, and elsewhere.

// fontconfig's configuration and font caches, which the first text measured loads. Made
// before the QApplication, which does not need them.
class FontWarmup
{
public:
    // Starts loading them.
    FontWarmup();
    FontWarmup(const FontWarmup &) = delete;
    FontWarmup &operator=(const FontWarmup &) = delete;
    ~FontWarmup();

    // Waits until they are loaded, so that Qt does not load them a second time beside the
    // thread. Call before the first widget is made.
    void wait();

private:
    std::thread m_thread;
};

// The connection to the D-Bus session bus, which the accessibility bridge asks for when the
// first widget is made, and waits for (without a session bus, libdbus first tries to start
// one, running dbus-launch from a copy of the process). Made once the QApplication exists,
// on the platforms whose accessibility bridge uses it (X11, Wayland); it must end before the
// QApplication does.
class SessionBusWarmup
{
public:
    SessionBusWarmup();
    SessionBusWarmup(const SessionBusWarmup &) = delete;
    SessionBusWarmup &operator=(const SessionBusWarmup &) = delete;
    // Waits for the connection to be made (or to fail).
    ~SessionBusWarmup();

private:
    std::thread m_thread;
};
