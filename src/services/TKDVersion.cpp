#include "services/TKDVersion.h"

#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "remote/ReplyReader.h"
#include "services/ComponentKey.h"
#include "services/SmtpClient.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

namespace {

// The most a version reply may hold, so a server that never sends its "." line cannot
// make the program grow without end.
constexpr qsizetype MaxReplyLines = 10000;

// Only a web address goes to the shell: the server names it, and the shell would start
// whatever program or document any other text names.
bool isWebAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty();
}

} // namespace

TKDVersion::TKDVersion(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &TKDVersion::ScheduledCheck);
}

void TKDVersion::setCheckInterval(int milliseconds)
{
    m_checkInterval = milliseconds;
    if (milliseconds > 0) {
        m_timer.setInterval(milliseconds);
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

void TKDVersion::ScheduledCheck()
{
    m_timer.stop();
    CheckVersion(false);
    if (m_checkInterval > 0)
        m_timer.start();
}

QString TKDVersion::replyValue(const QStringList &lines, const QString &name)
{
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && line.left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return {};
}

QStringList TKDVersion::notifyBody(const QStringList &templ, const QString &url, const QString &message,
                                   const QString &version)
{
    QString text = templ.join(QStringLiteral("\r\n"));
    text.replace(QStringLiteral("%URL%"), url, Qt::CaseInsensitive);
    text.replace(QStringLiteral("%MESSAGE%"), message, Qt::CaseInsensitive);
    text.replace(QStringLiteral("%VERSION%"), version, Qt::CaseInsensitive);
    return text.split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
}

// Runs on the runner's thread: touches nothing but its own socket and `lines`.
bool TKDVersion::askServer(QStringList *lines, const Net::WaitLimits &limits)
{
    QTcpSocket socket;
    QString error; // a failed check is silent
    if (!Net::connectWithin(socket, ServerHost, quint16(ServerPort), timeoutMs, &limits, &error))
        return false;
    const QByteArray request = (QStringLiteral("VERSION ") + AppName + QLatin1Char(' ') + AppVersion).toLocal8Bit();
    socket.write(QByteArray(request).replace('\r', ' ').replace('\n', ' ') + "\r\n");
    while (socket.bytesToWrite() > 0) {
        if (!Net::waitSliced([&socket](int ms) { return socket.bytesToWrite() == 0 || socket.waitForBytesWritten(ms); },
                             [&socket] { return socket.state() == QAbstractSocket::ConnectedState; }, timeoutMs,
                             &limits, &error, nullptr))
            return false;
    }
    ReplyReader reader(socket, timeoutMs);
    reader.setLimits(&limits);
    Reply reply;
    if (!reader.readReply(&reply) || reply.code != 200)
        return false;
    for (;;) {
        QByteArray line;
        if (!reader.readRawLine(&line))
            return false;
        if (line == ".")
            break;
        if (line.startsWith(".."))
            line.remove(0, 1);
        if (lines->size() >= MaxReplyLines)
            return false;
        lines->append(QString::fromLocal8Bit(line));
    }
    socket.abort(); // no closing command in this protocol
    return true;
}

void TKDVersion::CheckVersion(bool forced)
{
    if (!forced && registry) {
        QString stored;
        if (auto key = ComponentKey::open(*registry, RegistryKey, true)) {
            stored = key->readString(QStringLiteral("Version")).value_or(QString());
            // A release that cannot be recorded would ask the server on every tick: the
            // failure is reported and this check ends.
            if (!key->writeString(QStringLiteral("Version"), AppVersion)) {
                if (prompts)
                    prompts->error(QStringLiteral("Failed to set data for 'Version'"));
                return;
            }
        }
        if (stored.compare(AppVersion, Qt::CaseInsensitive) == 0)
            return;
    }
    QStringList lines;
    bool answered = false;
    Net::run(runner, Net::limitsWithin(overallLimitSeconds),
             [this, &lines, &answered](const Net::WaitLimits &limits) { answered = askServer(&lines, limits); });
    if (!answered)
        return;
    const QString version = replyValue(lines, QStringLiteral("VERSION"));
    if (version.isEmpty() || version.compare(AppVersion, Qt::CaseInsensitive) == 0) {
        if (OnSameVersion)
            OnSameVersion(this);
        return;
    }
    notify(replyValue(lines, QStringLiteral("URL")), version, replyValue(lines, QStringLiteral("MESSAGE")));
}

void TKDVersion::notify(const QString &url, const QString &version, const QString &message)
{
    switch (NotifyType) {
    case ntNone:
        if (OnDiffVersion)
            OnDiffVersion(this, url, version, message);
        break;
    case ntPrompt:
        if (prompts && prompts->informationOkCancel(DialogMessage) && shell && isWebAddress(url))
            shell->open(url);
        break;
    case ntEmail:
        SendNotifyEmail(url, message, version);
        break;
    }
}

void TKDVersion::SendNotifyEmail(const QString &url, const QString &message, const QString &version)
{
    if (EMailRecipient.isEmpty() || EmailFrom.isEmpty())
        return;
    MailMessage mail;
    mail.From = EmailFrom;
    mail.setRecipients(EMailRecipient);
    mail.Subject = EmailSubject;
    mail.Body = notifyBody(m_emailMessage, url, message, version);
    const QString host = SMTPHost;
    const quint16 port = quint16(SMTPPort);
    const int waitMs = timeoutMs;
    Net::run(runner, Net::limitsWithin(overallLimitSeconds), [&](const Net::WaitLimits &limits) {
        SmtpClient smtp;
        smtp.timeoutMs = waitMs;
        smtp.limits = &limits;
        smtp.Host = host;
        smtp.Port = port;
        if (smtp.Connect())
            smtp.Send(mail);
        smtp.Disconnect();
    });
}
