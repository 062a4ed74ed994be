#pragma once

#include "remote/ReplyReader.h"

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
    // The mail is given up on when it has not gone within this many seconds as a whole,
    // however the server paces its replies.
    int overallLimitSeconds = 60;

    QString OSName;
    QString OSVersion;
    QString OSExtraInfo;
    quint32 TotalMemoryKB = 0;
    quint32 FreeMemoryKB = 0;
    qint64 TotalDiskBytes = 0;
    qint64 FreeDiskBytes = 0;

    void GatherSystemInfo(const SystemInfo &system, const QString &programFolder);

    // The body of the mail, line by line.
    QStringList SystemReport() const;

    // Whether `text` can stand as the sender's address in the mail's commands as it is:
    // not empty, and no "<", ">", blank or control character (which would end the address
    // early or add words to the command).
    static bool isPlainAddress(const QString &text);

    // Mails the report (nothing is sent when the sender's address is not plain). False with
    // `error` set to "Message could not be sent: " and the reason when the mail was not
    // accepted, was cancelled or ran past the overall limit. The exchange with the mail
    // server runs through `runner` (empty: on the calling thread).
    bool SendRequest(QString *error, const Net::Runner &runner = {});
};
