#include "services/TKDSupport.h"

#include "platform/SystemInfo.h"
#include "services/SmtpClient.h"

namespace {

QString labelled(const char *label, const QString &value)
{
    return QString::fromLatin1(label).leftJustified(39) + QStringLiteral(": ") + value;
}

quint32 kilobytes(quint64 bytes)
{
    return quint32(qMin<quint64>(bytes >> 10, 0xFFFFFFFFu));
}

} // namespace

TKDSupport::TKDSupport(const SystemInfo &system, const QString &programFolder)
{
    GatherSystemInfo(system, programFolder);
}

void TKDSupport::GatherSystemInfo(const SystemInfo &system, const QString &programFolder)
{
    const SystemInfo::OsVersion os = system.osVersion();
    if (os.known) {
        OSName = os.name;
        OSVersion = os.version;
        OSExtraInfo = os.extraInfo.left(128);
    }
    const SystemInfo::Memory memory = system.memory();
    TotalMemoryKB = kilobytes(memory.totalBytes);
    FreeMemoryKB = kilobytes(memory.availableBytes);
    const SystemInfo::Disk disk = system.disk(programFolder);
    if (disk.known) {
        TotalDiskBytes = disk.totalBytes;
        FreeDiskBytes = disk.freeBytes;
    }
}

QStringList TKDSupport::SystemReport() const
{
    QStringList lines{QStringLiteral("SUPPORT REQUEST"), QStringLiteral("===============")};
    lines += UserInfo;
    lines += {QString(),
              QStringLiteral("APPLICATION"),
              QStringLiteral("==========="),
              labelled("Application", ApplicationName),
              labelled("Version", ApplicationVersion),
              QString(),
              QStringLiteral("SYSTEM INFORMATION"),
              QStringLiteral("=================="),
              QString(),
              labelled("Operating System", OSName),
              labelled("Operation System Version", OSVersion),
              labelled("Operating System Additional infomation", OSExtraInfo),
              labelled("Total Physical Memory", QString::number(TotalMemoryKB) + QStringLiteral(" KBytes")),
              labelled("Free Physical Memory", QString::number(FreeMemoryKB) + QStringLiteral(" KBytes")),
              labelled("Total Space on Application Drive", QString::number(TotalDiskBytes) + QStringLiteral(" Bytes")),
              labelled("Free Space on Application Drive", QString::number(FreeDiskBytes) + QStringLiteral(" Bytes")),
              QString()};
    return lines;
}

bool TKDSupport::isPlainAddress(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u <= 32 || u == 127 || (u >= 0x80 && u < 0xA0) || c == QLatin1Char('<') || c == QLatin1Char('>')
            || c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

bool TKDSupport::SendRequest(QString *error, const Net::Runner &runner)
{
    if (!isPlainAddress(EmailFrom)) {
        if (error)
            *error = QStringLiteral("Please provide a valid e-mail address");
        return false;
    }
    MailMessage message;
    message.Body = SystemReport();
    message.Subject = EmailSubject;
    message.From = EmailFrom;
    message.setRecipients(EmailRecipient);

    bool sent = false;
    QString reason;
    Net::run(runner, Net::limitsWithin(overallLimitSeconds), [&](const Net::WaitLimits &limits) {
        SmtpClient smtp;
        smtp.timeoutMs = timeoutMs;
        smtp.limits = &limits;
        smtp.Host = SMTPHost;
        smtp.Port = quint16(SMTPPort == 0 ? 25 : SMTPPort);
        if (!SMTPUser.isEmpty()) {
            smtp.Username = SMTPUser;
            smtp.Password = SMTPPassword;
            smtp.AuthenticationType = SmtpClient::AuthType::atLogin;
        }
        sent = smtp.Connect() && smtp.Send(message);
        reason = smtp.errorText();
        smtp.Disconnect();
    });
    if (!sent) {
        if (error)
            *error = QStringLiteral("Message could not be sent: ") + reason;
        return false;
    }
    return true;
}
