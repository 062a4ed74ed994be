#pragma once

#include "platform/Prompts.h"

// The prompts of quilmora-config on a terminal: messages go to standard error (an error is
// kept for the command to report as its failure), a text
// prompt reads one line from standard input, without echo when it is masked. Used for
// `passwd`, which asks for a password twice as the editor's Change button does.
class TerminalPrompts : public Prompts
{
public:
    // Whether standard input is a terminal.
    static bool isTerminal();

    // Text prompts echo what is typed only when this is set: the one thing quilmora-config
    // asks for is a password.
    bool echo = false;
    QString lastError;       // an error is kept here for the caller to report, not printed
    int answered = 0;        // text prompts answered (not ended by end of input)

    void error(const QString &text, const QString &caption = {}) override;
    void information(const QString &text, const QString &caption = {}) override;
    void warning(const QString &text, const QString &caption = {}) override;
    bool yesNo(const QString &text, const QString &caption = {}) override;
    Answer yesNoCancel(const QString &text, const QString &caption = {}) override;
    bool okCancel(const QString &text, const QString &caption = {}) override;
    std::optional<QString> text(const QString &caption, const QString &label, const QString &initial = {},
                                bool masked = false) override;
};
