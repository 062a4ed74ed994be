#pragma once

#include "remote/ReplyReader.h"
#include "services/MailMessage.h"

#include <QString>
#include <QStringList>
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
    QStringList m_mechanisms;
    bool m_authenticated = false;
    QString m_error;
};
