#include "ScriptedPrompts.h"

Prompts::Answer ScriptedPrompts::next(Answer fallback)
{
    return answers.isEmpty() ? fallback : answers.takeFirst();
}

void ScriptedPrompts::error(const QString &text, const QString &)
{
    shown.append(QStringLiteral("error: ") + text);
}

void ScriptedPrompts::information(const QString &text, const QString &)
{
    shown.append(QStringLiteral("information: ") + text);
}

void ScriptedPrompts::warning(const QString &text, const QString &)
{
    shown.append(QStringLiteral("warning: ") + text);
}

bool ScriptedPrompts::yesNo(const QString &text, const QString &)
{
    shown.append(QStringLiteral("yesNo: ") + text);
    if (whileAsked)
        whileAsked(text);
    return next(Answer::No) == Answer::Yes;
}

Prompts::Answer ScriptedPrompts::yesNoCancel(const QString &text, const QString &)
{
    shown.append(QStringLiteral("yesNoCancel: ") + text);
    return next(Answer::Cancel);
}

bool ScriptedPrompts::okCancel(const QString &text, const QString &)
{
    shown.append(QStringLiteral("okCancel: ") + text);
    return next(Answer::Cancel) == Answer::Yes;
}

bool ScriptedPrompts::informationOkCancel(const QString &text, const QString &)
{
    shown.append(QStringLiteral("informationOkCancel: ") + text);
    return next(Answer::Cancel) == Answer::Yes;
}

std::optional<QString> ScriptedPrompts::text(const QString &caption, const QString &label,
                                             const QString &, bool)
{
    shown.append(QStringLiteral("text: ") + caption + QStringLiteral(" / ") + label);
    return texts.isEmpty() ? std::nullopt : texts.takeFirst();
}
