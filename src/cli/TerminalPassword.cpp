#include "cli/TerminalPassword.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal's settings while echo is off, so Ctrl+C or a kill does not leave a shell
// that shows nothing typed.
termios g_saved{};

extern "C" void restoreAndRaise(int signal)
{
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

namespace Cli {

bool stdinIsTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

std::optional<QByteArray> askPasswordWithoutEcho(const QString &prompt)
{
    // Echo goes off before the prompt shows, so nothing typed after it can appear.
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    using Handler = void (*)(int);
    Handler previous[3] = {};
    const int caught[3] = {SIGINT, SIGTERM, SIGHUP};
    if (terminal) {
        g_saved = saved;
        for (int i = 0; i < 3; ++i)
            previous[i] = std::signal(caught[i], restoreAndRaise);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL; // the line break still shows, so the next output starts a line
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const QByteArray text = prompt.toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
    QByteArray line;
    bool ended = false;
    for (;;) {
        char c = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ended = line.isEmpty();
            break;
        }
        if (c == '\n')
            break;
        line += c;
    }
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        for (int i = 0; i < 3; ++i)
            std::signal(caught[i], previous[i]);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    if (ended)
        return std::nullopt;
    return line;
}

} // namespace Cli
