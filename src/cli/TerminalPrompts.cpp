#include "cli/TerminalPrompts.h"

#include "cli/TerminalPassword.h"

#include <cstdio>
#include <string>

namespace {

void say(const QString &text, bool lineBreak = true)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    if (lineBreak)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

bool TerminalPrompts::isTerminal()
{
    return Cli::stdinIsTerminal();
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
    std::optional<QByteArray> line;
    if (masked || !echo) {
        // The same no-echo reader as pull and push, which restores the terminal on a signal.
        line = Cli::askPasswordWithoutEcho(caption + QStringLiteral(": "));
    } else {
        say(caption + QStringLiteral(": "), false);
        std::string typed;
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n')
            typed.push_back(char(c));
        if (!(c == EOF && typed.empty())) {
            if (!typed.empty() && typed.back() == '\r')
                typed.pop_back();
            line = QByteArray(typed.data(), qsizetype(typed.size()));
        }
    }
    if (!line)
        return std::nullopt;
    ++answered;
    return QString::fromLocal8Bit(*line);
}
