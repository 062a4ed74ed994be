#include "cli/TerminalPassword.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

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
    if (terminal) {
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
        if (got <= 0) {
            ended = line.isEmpty();
            break;
        }
        if (c == '\n')
            break;
        line += c;
    }
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (line.endsWith('\r'))
        line.chop(1);
    if (ended)
        return std::nullopt;
    return line;
}

} // namespace Cli
