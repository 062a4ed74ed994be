#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Prompts answered from a script; records every box shown as "kind: text".
// Answers are taken in order; with none left, questions answer No / Cancel and text
// prompts are cancelled.
class ScriptedPrompts : public Prompts
{
public:
    QStringList shown;                  // e.g. "error: Unable to write to /x/quilmora.ini"
    QList<Answer> answers;              // for yesNo (Yes/No), yesNoCancel and the OK/Cancel boxes (Yes = OK)
    QList<std::optional<QString>> texts; // for text prompts
    // Called with each question's text while it is open (before it is answered).
    std::function<void(const QString &)> whileAsked;

    void error(const QString &text, const QString &caption = {}) override;
    void information(const QString &text, const QString &caption = {}) override;
    void warning(const QString &text, const QString &caption = {}) override;
    bool yesNo(const QString &text, const QString &caption = {}) override;
    Answer yesNoCancel(const QString &text, const QString &caption = {}) override;
    bool okCancel(const QString &text, const QString &caption = {}) override;
    bool informationOkCancel(const QString &text, const QString &caption = {}) override;
    std::optional<QString> text(const QString &caption, const QString &label,
                                const QString &initial = {}, bool masked = false) override;

private:
    Answer next(Answer fallback);
};
