#pragma once

#include "platform/Prompts.h"

#include <QPointer>
#include <QWidget>

// The real prompts: modal message boxes and input dialogs, each a child of the window that
// asked, so that the window manager keeps it over that window and centres it there. That is
// the modal dialog open at the time, else the active window, else the owner (the program's
// main window) while it is shown. A box without a parent would belong to a hidden window of
// the toolkit's own: centred on the screen, and free to fall behind the main window.
class MessageBoxPrompts : public Prompts
{
public:
    void setOwner(QWidget *owner) { m_owner = owner; }
    // The window the next box stands over (none before any window is shown).
    QWidget *parentWindow() const;

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

private:
    QPointer<QWidget> m_owner;
};
