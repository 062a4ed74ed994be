#include "services/SmtpClient.h"

#include <QHostInfo>
#include <QRegularExpression>
#include <QTcpSocket>

SmtpClient::SmtpClient() = default;

SmtpClient::~SmtpClient()
{
    Disconnect();
}

bool SmtpClient::connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool SmtpClient::fail(const QString &text)
{
    m_error = text;
    return false;
}

bool SmtpClient::write(const QByteArray &bytes)
{
    m_failure = ReplyReader::Failure::Closed;
    if (!connected())
        return fail(Net::closedGracefullyText());
    m_failure = ReplyReader::Failure::Network;
    if (m_socket->write(bytes) != bytes.size())
        return fail(Net::socketFailureText(*m_socket));
    QString error;
    if (!waitWritten(timeoutMs, &error)) {
        if (limitsRanOut())
            m_failure = ReplyReader::Failure::Limits;
        else if (!connected())
            m_failure = ReplyReader::Failure::Closed;
        return fail(error);
    }
    m_failure = ReplyReader::Failure::None;
    return true;
}

bool SmtpClient::waitWritten(int waitMs, QString *error)
{
    QTcpSocket &socket = *m_socket;
    while (socket.bytesToWrite() > 0) {
        if (!limits) {
            if (!socket.waitForBytesWritten(waitMs)) {
                *error = Net::socketFailureText(socket);
                return false;
            }
            continue;
        }
        bool timedOut = false;
        error->clear();
        if (!Net::waitSliced([&socket](int ms) { return socket.bytesToWrite() == 0 || socket.waitForBytesWritten(ms); },
                             [&socket] { return socket.state() == QAbstractSocket::ConnectedState; }, waitMs, limits,
                             error, &timedOut)) {
            if (error->isEmpty())
                *error = Net::socketFailureText(socket);
            return false;
        }
    }
    return true;
}

bool SmtpClient::limitsRanOut() const
{
    return limits && ((limits->keepGoing && !limits->keepGoing()) || limits->deadline.hasExpired());
}

bool SmtpClient::readReply(std::initializer_list<int> accepted, Reply *reply)
{
    Reply r;
    m_lastReply = Reply();
    if (!m_reader->readReply(&r)) {
        m_failure = m_reader->failure();
        return fail(m_reader->errorText());
    }
    m_failure = ReplyReader::Failure::None;
    m_lastReply = r;
    const bool any = accepted.size() == 0;
    bool ok = any;
    for (int code : accepted)
        ok = ok || code == r.code;
    if (reply)
        *reply = r;
    if (!ok)
        return fail(r.message());
    return true;
}

bool SmtpClient::command(const QString &line, std::initializer_list<int> accepted, Reply *reply)
{
    if (!write(MailMessage::withoutLineBreaks(line).toLocal8Bit() + "\r\n"))
        return false;
    return readReply(accepted, reply);
}

bool SmtpClient::Connect()
{
    if (!Open())
        return false;
    if (ReadGreeting() && Hello())
        return true;
    const QString error = m_error;
    Disconnect();
    m_error = error;
    return false;
}

bool SmtpClient::Open()
{
    Disconnect();
    m_error.clear();
    m_openError = -1;
    m_usedHelo = false;
    m_lastReply = Reply();
    m_socket = std::make_unique<QTcpSocket>();
    m_reader = std::make_unique<ReplyReader>(*m_socket, timeoutMs);
    m_reader->setLimits(limits);
    m_reader->setMaxLineLength(maxLineLength);
    m_reader->setMaxReplySize(maxReplySize);
    if (!Net::connectWithin(*m_socket, Host, Port, timeoutMs, limits, &m_error, &m_openError)) {
        m_failure = limitsRanOut() ? ReplyReader::Failure::Limits : ReplyReader::Failure::Network;
        const QString error = m_error;
        Disconnect();
        m_error = error;
        return false;
    }
    return true;
}

bool SmtpClient::ReadGreeting()
{
    if (!m_reader)
        return fail(Net::closedGracefullyText());
    return readReply({220}, nullptr);
}

bool SmtpClient::Hello()
{
    m_mechanisms.clear();
    m_usedHelo = false;
    const QString name = HeloName.isEmpty() ? QHostInfo::localHostName() : HeloName;
    Reply &ehlo = m_ehloReply;
    ehlo = Reply();
    if (!command(QStringLiteral("EHLO ") + name, {}, &ehlo))
        return false;
    if (ehlo.code == 250) {
        for (const QByteArray &raw : ehlo.lines) {
            const QString line = QString::fromLatin1(raw.mid(4)).toUpper();
            if (!line.startsWith(QLatin1String("AUTH ")) && !line.startsWith(QLatin1String("AUTH=")))
                continue;
            const QStringList words = line.mid(4).split(QRegularExpression(QStringLiteral("[ =]")), Qt::SkipEmptyParts);
            for (const QString &word : words) {
                if (!m_mechanisms.contains(word))
                    m_mechanisms.append(word);
            }
        }
        return true;
    }
    m_usedHelo = true;
    if (beforeHelo)
        beforeHelo();
    return command(QStringLiteral("HELO ") + name, {250});
}

bool SmtpClient::Authenticate(Mechanism mechanism)
{
    m_error.clear();
    if (mechanism == Mechanism::Login)
        return login();
    const QByteArray credentials = QByteArray(1, '\0') + Username.toUtf8() + QByteArray(1, '\0') + passwordBytes();
    if (!command(QStringLiteral("AUTH PLAIN ") + QString::fromLatin1(credentials.toBase64()), {235}))
        return false;
    m_authenticated = true;
    return true;
}

bool SmtpClient::Quit()
{
    m_error.clear();
    const bool ok = command(QStringLiteral("QUIT"), {221});
    if (m_socket)
        m_socket->abort();
    m_reader.reset();
    m_socket.reset();
    m_authenticated = false;
    return ok;
}

bool SmtpClient::login()
{
    if (!command(QStringLiteral("auth LOGIN"), {334}))
        return false;
    if (!command(QString::fromLatin1(Username.toUtf8().toBase64()), {334}))
        return false;
    if (!command(QString::fromLatin1(passwordBytes().toBase64()), {235}))
        return false;
    m_authenticated = true;
    return true;
}

bool SmtpClient::Send(const MailMessage &message)
{
    m_error.clear();
    if (!connected())
        return fail(Net::closedGracefullyText());
    if (!command(QStringLiteral("Rset"), {}))
        return false;
    if (AuthenticationType == AuthType::atLogin && m_mechanisms.contains(QLatin1String("LOGIN")) && !m_authenticated) {
        if (!login())
            return false;
    }
    if (!command(QStringLiteral("Mail from:<") + MailMessage::bareAddress(message.From) + QLatin1Char('>'), {250}))
        return false;
    for (const QStringList *list : {&message.Recipients, &message.CCList, &message.BccList}) {
        for (const QString &address : *list) {
            if (!command(QStringLiteral("RCPT to:<") + MailMessage::bareAddress(address) + QLatin1Char('>'), {250, 251}))
                return false;
        }
    }
    if (!command(QStringLiteral("Data"), {354}))
        return false;
    MailMessage out = message;
    out.setExtraHeader(QStringLiteral("X-Mailer"), MailAgent);
    if (!write(out.wireData(QDateTime::currentDateTime()) + ".\r\n"))
        return false;
    return readReply({250}, nullptr);
}

void SmtpClient::Disconnect()
{
    m_authenticated = false;
    if (!m_socket)
        return;
    // A cancelled exchange, or one past its deadline, ends at once, without the polite QUIT.
    if (m_socket->state() == QAbstractSocket::ConnectedState && !limitsRanOut()) {
        m_socket->write("QUIT\r\n");
        QString ignored;
        waitWritten(timeoutMs, &ignored);
        m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState && !limitsRanOut()) {
            int closeMs = 1000;
            if (limits && !limits->deadline.isForever())
                closeMs = int(qBound(qint64(0), limits->deadline.remainingTime(), qint64(closeMs)));
            m_socket->waitForDisconnected(closeMs);
        }
    }
    m_socket->abort();
    m_reader.reset();
    m_socket.reset();
}
