#include "cli/TerminalPrompts.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

void say(const QString &text, bool lineBreak = true)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    if (lineBreak)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Turns the terminal's echo off for as long as it lives.
class NoEcho
{
public:
    explicit NoEcho(bool active)
    {
        if (active && tcgetattr(STDIN_FILENO, &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            m_active = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
        }
    }
    ~NoEcho()
    {
        if (m_active)
            tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
    }
    NoEcho(const NoEcho &) = delete;
    NoEcho &operator=(const NoEcho &) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

} // namespace

bool TerminalPrompts::isTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

void TerminalPrompts::error(const QString &text, const QString &)
{
    lastError = text;
}

void TerminalPrompts::information(const QString &text, const QString &)
{
    say(text);
}

void TerminalPrompts::warning(const QString &text, const QString &)
{
    say(text);
}

bool TerminalPrompts::yesNo(const QString &text, const QString &)
{
    say(text);
    return false;
}

Prompts::Answer TerminalPrompts::yesNoCancel(const QString &text, const QString &)
{
    say(text);
    return Answer::Cancel;
}

bool TerminalPrompts::okCancel(const QString &text, const QString &)
{
    say(text);
    return false;
}

std::optional<QString> TerminalPrompts::text(const QString &caption, const QString &label, const QString &,
                                             bool masked)
{
    Q_UNUSED(label);
    say(caption + QStringLiteral(": "), false);
    std::string line;
    bool ended = false;
    {
        const NoEcho quiet(masked || !echo);
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n')
            line.push_back(char(c));
        ended = c == EOF;
    }
    if (masked || !echo)
        say(QString()); // the line break the terminal did not echo
    if (ended && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    ++answered;
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}
