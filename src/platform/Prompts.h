#pragma once

#include <QString>
#include <optional>

// Every message box and prompt of the program goes through this seam, so tests answer
// them from a script and read back every text shown. An empty caption means the
// application's title.
class Prompts
{
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~Prompts() = default;

    virtual void error(const QString &text, const QString &caption = {}) = 0;
    virtual void information(const QString &text, const QString &caption = {}) = 0;
    virtual void warning(const QString &text, const QString &caption = {}) = 0;
    // true for Yes
    virtual bool yesNo(const QString &text, const QString &caption = {}) = 0;
    virtual Answer yesNoCancel(const QString &text, const QString &caption = {}) = 0;
    // true for OK
    virtual bool okCancel(const QString &text, const QString &caption = {}) = 0;
    // OK and Cancel under the information sign rather than the question mark: news the user
    // may act on. True for OK.
    virtual bool informationOkCancel(const QString &text, const QString &caption = {})
    {
        return okCancel(text, caption);
    }
    // A one-line text prompt; nothing when cancelled. `masked` hides what is typed.
    virtual std::optional<QString> text(const QString &caption, const QString &label,
                                        const QString &initial = {}, bool masked = false) = 0;
};
