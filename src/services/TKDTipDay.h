#pragma once

#include <QString>
#include <QStringList>

class Registry;

// The tip of the day: one line of the tips file at a time, with the position and the
// "show at start-up" choice kept in the registry. This is the window-free part; the
// window (TTipForm) shows what it holds and calls ShowTip, ReadSettings and SaveSettings.
//
// Tips file: one entry per line; the first character chooses the heading ("*" did you
// know, "+" joke, "-" tip, "=" message of the day, anything else none), characters 2 to
// 256 are the text, in which "%s" (up to five) is a line break and "%%" a "%".
class TKDTipDay
{
public:
    explicit TKDTipDay(Registry *registry = nullptr);

    QString TipFile;
    QString RegistryKey;
    bool TipsEnabled = false;

    QStringList Tips;
    int TipIndex = 0;

    // The shown entry: heading and text. "Oops..." and nothing until a tip is shown.
    QString title = QStringLiteral("Oops...");
    QString text;

    // Why the tips file was not read (too large, not a regular file); empty otherwise.
    QString LoadError;
    static constexpr qint64 MaxTipFileBytes = 1 << 20;

    // Reads the tips file (when there is one; only a regular file of at most 1 MB) and the settings, then steps to the first
    // tip to show. The window is built by its owner afterwards.
    void LoadTips();
    // One entry forward or back, wrapping at both ends; nothing without tips.
    void ShowTip(bool forward);
    void ReadSettings();
    void SaveSettings();

    static QString headingOf(const QString &entry);
    static QString textOf(const QString &entry);
    // "%s" (the first five) as line breaks, "%%" as "%"; any other "%" as it stands.
    static QString expandTemplate(const QString &text);

private:
    Registry *m_registry;
};
