#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class SystemInfo;

// A problem report for the maker's support mailbox: the user's entries, the application's
// name and version and the machine's details, mailed as plain text. The machine's details
// are taken when the object is made, so each report tells the state at that moment.
class TKDSupport
{
public:
    // Gathers the system information; the disk is the one holding `programFolder`.
    TKDSupport(const SystemInfo &system, const QString &programFolder);

    QStringList UserInfo;
    QString EmailFrom;
    QString EmailRecipient;
    QString EmailSubject;
    QString ApplicationName;
    QString ApplicationVersion;
    QString SMTPHost;
    int SMTPPort = 0; // 0: 25
    QString SMTPUser; // empty: no login
    QString SMTPPassword;
    int timeoutMs = 60000;

    QString OSName;
    QString OSVersion;
    QString OSExtraInfo;
    quint32 TotalMemoryKB = 0;
    quint32 FreeMemoryKB = 0;
    qint64 TotalDiskBytes = 0;
    qint64 FreeDiskBytes = 0;

    void GatherSystemInfo(const SystemInfo &system, const QString &programFolder);

    // An address that can stand in MAIL FROM and the From line as it is: not empty, without
    // angle brackets, blanks or control characters (any of which would let the text change
    // the command or the header around it).
    static bool IsAcceptableAddress(const QString &address);

    // The body of the mail, line by line.
    QStringList SystemReport() const;

    // Mails the report. False with `error` set to "Message could not be sent: " and the
    // reason when the mail was not accepted.
    bool SendRequest(QString *error);
};
