#pragma once

#include "platform/Prompts.h"

class QWidget;

// The real prompts: modal message boxes and input dialogs over the active window.
class MessageBoxPrompts : public Prompts
{
public:
    // What a box needs beside its title's width: the title bar's icon and buttons.
    static constexpr int TitleBarReserve = 112;

    void error(const QString &text, const QString &caption = {}) override;
    void information(const QString &text, const QString &caption = {}) override;
    void warning(const QString &text, const QString &caption = {}) override;
    bool yesNo(const QString &text, const QString &caption = {}) override;
    Answer yesNoCancel(const QString &text, const QString &caption = {}) override;
    bool okCancel(const QString &text, const QString &caption = {}) override;
    bool informationOkCancel(const QString &text, const QString &caption = {}) override;
    std::optional<QString> text(const QString &caption, const QString &label,
                                const QString &initial = {}, bool masked = false) override;
};
