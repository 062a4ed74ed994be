#include "main/StartupTrace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

namespace {

QElapsedTimer g_clock;
bool g_on = false;

// Sees the first paint of any widget inside the connection dialog, and inside the main
// window, then leaves the application's events alone.
class FirstPaintWatch : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        const QWidget *top = static_cast<QWidget *>(watched)->window();
        if (!m_dialog && top->inherits("TConnectForm")) {
            m_dialog = true;
            StartupTrace::mark("dialog-painted");
        } else if (!m_window && top->inherits("TMainForm")) {
            m_window = true;
            StartupTrace::mark("window-painted");
            // Deleted on the way back to the event loop: the filter is running now.
            deleteLater();
        }
        return false;
    }

private:
    bool m_dialog = false;
    bool m_window = false;
};

} // namespace

void StartupTrace::begin()
{
    g_clock.start();
    const char *value = std::getenv("QUILMORA_STARTUP_TRACE");
    g_on = value && std::strcmp(value, "1") == 0;
}

void StartupTrace::mark(const char *stage)
{
    if (!g_on)
        return;
    // The application exists by the first stage; the watch goes in once.
    static bool watching = false;
    if (!watching && QCoreApplication::instance()) {
        watching = true;
        QCoreApplication::instance()->installEventFilter(new FirstPaintWatch(QCoreApplication::instance()));
    }
    // The processor time of the thread that marks the stages, the window's, beside the
    // clock: on a busy machine it tells the work done from the waiting.
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    // The page faults that thread took so far: on some virtual machines each costs tens of
    // microseconds, and they are then much of the processor time.
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    std::fprintf(stderr, "startup-trace: %s %lld mono=%lld cpu=%lld faults=%ld\n", stage,
                 static_cast<long long>(g_clock.elapsed()),
                 static_cast<long long>(g_clock.msecsSinceReference() + g_clock.elapsed()),
                 static_cast<long long>(cpu.tv_sec) * 1000 + cpu.tv_nsec / 1000000, usage.ru_minflt + usage.ru_majflt);
    std::fflush(stderr);
}
