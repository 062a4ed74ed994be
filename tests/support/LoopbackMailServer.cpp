#include "LoopbackMailServer.h"

#include <QTcpSocket>
#include <QThread>

LoopbackMailServer::Behaviour &LoopbackMailServer::Behaviour::on(const QByteArray &word, const QByteArrayList &r)
{
    for (auto &entry : replies) {
        if (entry.first == word) {
            entry.second = r;
            return *this;
        }
    }
    replies.append({word, r});
    return *this;
}

LoopbackMailServer::Behaviour LoopbackMailServer::pop3()
{
    Behaviour b;
    b.greeting = "+OK loopback POP3 ready\r\n";
    b.otherwise = "-ERR unknown command\r\n";
    b.on("CAPA", {"+OK capability list follows\r\nUSER\r\nUIDL\r\n.\r\n"})
        .on("USER", {"+OK send the password\r\n"})
        .on("PASS", {"+OK mailbox locked and ready\r\n"})
        .on("STAT", {"+OK 3 1200\r\n"})
        .on("QUIT", {"+OK bye\r\n"});
    return b;
}

LoopbackMailServer::Behaviour LoopbackMailServer::smtp()
{
    Behaviour b;
    b.greeting = "220 loopback ESMTP ready\r\n";
    b.otherwise = "500 unknown command\r\n";
    b.on("EHLO", {"250-loopback greets you\r\n250-PIPELINING\r\n250-SIZE 10240000\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME\r\n"})
        .on("HELO", {"250 loopback\r\n"})
        .on("AUTH", {"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 authenticated\r\n"})
        .on("RSET", {"250 reset\r\n"})
        .on("MAIL", {"250 sender ok\r\n"})
        .on("RCPT", {"250 recipient ok\r\n"})
        .on("DATA", {"354 go ahead\r\n"})
        .on("QUIT", {"221 bye\r\n"});
    return b;
}

LoopbackMailServer::LoopbackMailServer(const Behaviour &behaviour, int connections, int timeoutMs)
    : LoopbackListener(timeoutMs)
    , m_b(behaviour)
{
    startConcurrent(connections);
}

LoopbackMailServer::~LoopbackMailServer()
{
    finish();
}

void LoopbackMailServer::serve(Connection &connection)
{
    if (m_b.silent)
        return;
    if (m_b.delayMs > 0)
        QThread::msleep(ulong(m_b.delayMs));
    if (m_b.hugeLine > 0) {
        const QByteArray chunk(64 * 1024, 'A');
        for (qint64 sent = 0; sent < m_b.hugeLine; sent += chunk.size()) {
            if (!connection.write(chunk.constData(), qMin(qint64(chunk.size()), m_b.hugeLine - sent)))
                return;
        }
        connection.send("\r\n");
        return;
    }
    if (m_b.dripMs > 0) {
        for (const char c : m_b.greeting) {
            if (!connection.send(QByteArray(1, c)) || connection.socket.state() != QAbstractSocket::ConnectedState)
                return;
            QThread::msleep(ulong(m_b.dripMs));
        }
    } else if (!connection.send(m_b.greeting)) {
        return;
    }
    if (m_b.closeAfterGreeting) {
        connection.close();
        return;
    }
    QByteArrayList pending; // the rest of an exchange: one reply per line that follows
    for (;;) {
        if (!connection.take("\n"))
            return;
        const QByteArray received = connection.taken.trimmed();
        const QByteArray word = received.left(received.indexOf(' ') < 0 ? received.size() : received.indexOf(' ')).toUpper();
        // What follows the command word; a line inside an exchange is all argument.
        QByteArray arg = received.indexOf(' ') < 0 ? QByteArray() : received.mid(received.indexOf(' ') + 1);
        QByteArray reply;
        bool quit = false;
        bool data = false;
        if (!pending.isEmpty()) {
            reply = pending.takeFirst();
            arg = received;
        } else {
            reply = m_b.otherwise;
            for (const auto &entry : m_b.replies) {
                if (entry.first == word) {
                    pending = entry.second;
                    reply = pending.isEmpty() ? QByteArray() : pending.takeFirst();
                    quit = word == "QUIT";
                    data = word == "DATA" && reply.startsWith("354");
                    break;
                }
            }
        }
        if (m_b.replyDelayMs > 0)
            QThread::msleep(ulong(m_b.replyDelayMs));
        if (reply == "close") {
            connection.close();
            return;
        }
        if (!connection.send(QByteArray(reply).replace("%ARG%", arg)))
            return;
        if (quit)
            return;
        // The mail's text up to its lone "." line, then its acceptance.
        if (data && (!connection.take("\r\n.\r\n") || !connection.send("250 queued\r\n")))
            return;
    }
}
