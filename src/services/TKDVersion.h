#pragma once

#include "remote/ReplyReader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class Prompts;
class Registry;
class Shell;

// Asks the version server which release of the application is current, and when it names
// another one tells the owner (ntNone), asks the user and opens the download address
// (ntPrompt) or mails the news (ntEmail). The same object carries the application's own
// name, version and settings key, which the rest of the program reads.
//
// Failures of the check (no server, a refused request, a broken reply, Cancel, the overall
// limit) and of the mail are silent: a version check never interrupts the user with an
// error.
class TKDVersion : public QObject
{
    Q_OBJECT

public:
    enum TNotifyType { ntNone, ntPrompt, ntEmail };
    using TDiffVersionEvent =
        std::function<void(TKDVersion *ASender, const QString &AURL, const QString &AVersion, const QString &AMsg)>;
    using TSameVersionEvent = std::function<void(TKDVersion *ASender)>;

    explicit TKDVersion(QObject *parent = nullptr);

    // The seams it works through; a missing one disables what needs it (no registry: no
    // gate, no prompts or shell: ntPrompt does nothing).
    Registry *registry = nullptr;
    Prompts *prompts = nullptr;
    Shell *shell = nullptr;

    QString RegistryKey;
    QString AppVersion;
    QString AppName;
    QString ServerHost;
    int ServerPort = 0;
    TNotifyType NotifyType = ntPrompt;
    QString DialogMessage;
    QString SMTPHost;
    int SMTPPort = 25;
    QString EMailRecipient;
    QString EmailFrom;
    QString EmailSubject;
    TDiffVersionEvent OnDiffVersion;
    TSameVersionEvent OnSameVersion;
    int timeoutMs = 60000; // a silent server or mail server gives up after this
    // One check, and one notification mail, ends within this many seconds as a whole,
    // however the server paces its reply.
    int overallLimitSeconds = 60;
    // How the exchange with the server runs: empty, on the calling thread; the window
    // hands in one that runs it on a thread of its own, with Cancel.
    Net::Runner runner;

    int CheckInterval() const { return m_checkInterval; }
    void setCheckInterval(int milliseconds);
    const QStringList &EmailMessage() const { return m_emailMessage; }
    void setEmailMessage(const QStringList &lines) { m_emailMessage = lines; }
    const QTimer &checkTimer() const { return m_timer; }

    // One check; `forced` skips the once-per-release gate of scheduled checks.
    void CheckVersion(bool forced);
    // The timer's handler.
    void ScheduledCheck();
    void SendNotifyEmail(const QString &url, const QString &message, const QString &version);

    // The reply's name=value lines, by name (any letter case); the first line of a name
    // counts, the value is everything after the first "=".
    static QString replyValue(const QStringList &lines, const QString &name);
    // The body template with %URL%, %MESSAGE% and %VERSION% replaced in that order,
    // ignoring letter case.
    static QStringList notifyBody(const QStringList &templ, const QString &url, const QString &message,
                                  const QString &version);

private:
    bool askServer(QStringList *lines, const Net::WaitLimits &limits);
    void notify(const QString &url, const QString &version, const QString &message);

    QTimer m_timer;
    int m_checkInterval = 0;
    QStringList m_emailMessage;
};
