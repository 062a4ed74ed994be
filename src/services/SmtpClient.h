#pragma once

#include "remote/ReplyReader.h"
#include "services/MailMessage.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>

class QTcpSocket;

// The one mail sender: SMTP with the EHLO extension and, when asked for and offered, the
// LOGIN exchange. A client sends one message on one connection:
//   Connect(); Send(message); Disconnect();
// Connect and Send return false with errorText() set on failure; Connect has then already
// disconnected.
class SmtpClient
{
public:
    enum class AuthType { atNone, atLogin };

    QString Host;
    quint16 Port = 25;
    AuthType AuthenticationType = AuthType::atNone;
    QString Username;
    QString Password;
    QString HeloName;  // empty: the local host name
    QString MailAgent; // "X-Mailer"; empty: no such header
    int timeoutMs = Net::DefaultTimeoutMs;
    // The limits of the whole exchange (an overall deadline, Cancel), kept by the caller;
    // null: only the silence of `timeoutMs` ends a wait.
    const Net::WaitLimits *limits = nullptr;

    SmtpClient();
    ~SmtpClient();
    SmtpClient(const SmtpClient &) = delete;
    SmtpClient &operator=(const SmtpClient &) = delete;

    bool Connect();
    bool Send(const MailMessage &message);
    // Writes "QUIT" without waiting for its reply and closes; safe when not connected.
    void Disconnect();

    // The opening dialogue step by step, for a caller that watches each step (the
    // connection test); Connect() runs the three in order. Each returns false with
    // errorText() set and, unlike Connect(), leaves the connection as it is.
    bool Open();         // the TCP connection to Host:Port
    bool ReadGreeting(); // accepts 220
    bool Hello();        // "EHLO", else "HELO" (accepts 250); takes the mechanisms offered
    enum class Mechanism { Plain, Login };
    // Logs in: PLAIN with the credentials on the command line (RFC 4954), or the LOGIN
    // exchange; accepts 235 in the end.
    bool Authenticate(Mechanism mechanism);
    // Writes "QUIT", reads its reply (accepts 221) and closes.
    bool Quit();

    // Called by Hello() right before it falls back to "HELO" (a caller timing each step
    // starts the next one there).
    std::function<void()> beforeHelo;
    // A password of bytes: when set, sent in place of Password's UTF-8 form.
    QByteArray PasswordBytes;
    // The longest reply line taken (a longer one fails the read).
    qsizetype maxLineLength = ReplyReader::MaxLineLength;
    qsizetype maxReplySize = ReplyReader::MaxReplySize;

    // The reply read last, accepted or not (empty before the first).
    const Reply &lastReply() const { return m_lastReply; }
    // Whether Hello() fell back to "HELO", and the reply to "EHLO".
    bool usedHelo() const { return m_usedHelo; }
    const Reply &ehloReply() const { return m_ehloReply; }
    // Why the last failure happened: the reader's reason, or None when a reply came with a
    // code the step does not accept.
    ReplyReader::Failure failure() const { return m_failure; }
    // The socket's error (QAbstractSocket::SocketError) when Open() failed.
    int openError() const { return m_openError; }

    bool connected() const;
    bool authenticated() const { return m_authenticated; }
    // Mechanisms the server offered in its EHLO reply, upper case, each once.
    const QStringList &advertisedMechanisms() const { return m_mechanisms; }
    const QString &errorText() const { return m_error; }

private:
    // Sends one command line (line breaks in it become blanks) and reads the reply; false
    // when the reply's code is not among `accepted` (none listed: any code goes).
    bool command(const QString &line, std::initializer_list<int> accepted, Reply *reply = nullptr);
    bool readReply(std::initializer_list<int> accepted, Reply *reply);
    bool write(const QByteArray &bytes);
    bool waitWritten(int timeoutMs, QString *error);
    bool limitsRanOut() const;
    bool fail(const QString &text);
    bool login();

    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<ReplyReader> m_reader;
    QByteArray passwordBytes() const { return PasswordBytes.isEmpty() ? Password.toUtf8() : PasswordBytes; }

    QStringList m_mechanisms;
    bool m_authenticated = false;
    QString m_error;
    Reply m_lastReply;
    Reply m_ehloReply;
    bool m_usedHelo = false;
    ReplyReader::Failure m_failure = ReplyReader::Failure::None;
    int m_openError = -1;
};
