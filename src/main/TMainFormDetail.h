#pragma once

// Small helpers shared by the source files of the main window (not part of its interface).
#include "main/SpinEdit.h"

#include <QByteArray>
#include <QSpinBox>
#include <QString>
#include <utility>

namespace MainFormDetail {

// Sets a flag for the length of a scope, and clears it on every way out.
class FlagScope
{
public:
    explicit FlagScope(bool &flag)
        : m_flag(flag)
        , m_old(flag)
    {
        m_flag = true;
    }
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    bool m_old;
};

// A spin box's value as the save and the stores read it: text that is not a whole number
// gives the lowest value, and the value stays within the box's range.
inline int spinValue(const QSpinBox *box)
{
    return SpinEdit::valueOf(box);
}

// A new widget with its object name, by which tests and the style find it.
template <typename T, typename... Args>
T *named(const char *name, Args &&...args)
{
    T *w = new T(std::forward<Args>(args)...);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A caption or hint written in the source as UTF-8.
inline QString str(const char *text)
{
    return QString::fromUtf8(text);
}

inline QByteArray flag(bool on)
{
    return on ? QByteArrayLiteral("Y") : QByteArrayLiteral("N");
}

// Line breaks of any kind as the one the text editor uses.
inline QString toEditorBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace MainFormDetail
