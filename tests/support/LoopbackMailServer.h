#pragma once

#include "LoopbackListener.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <utility>

// A scriptable POP3 or SMTP server for the connection tests, on the loopback listener:
// it greets, then answers each command line by its first word from a table of replies,
// the same for every connection. Connections are served side by side (each on a thread
// of its own), and the listener counts how many were open at once (maxOpen()).
//
//   LoopbackMailServer pop(LoopbackMailServer::pop3().on("PASS", {"-ERR wrong %ARG%\r\n"}));
//   target.port = pop.port();
//
// In a reply, "%ARG%" stands for what followed the command word on its line (an echo of
// the password, say). A reply list plays one reply for the command and one for each line
// after it (AUTH LOGIN's exchange). After "QUIT" is answered, or a line for which the
// table has "close", the connection is read until the client closes it.
class LoopbackMailServer : public LoopbackListener
{
public:
    struct Behaviour
    {
        QByteArray greeting;
        int delayMs = 0;      // waits this long before greeting (keeps connections open a while)
        int replyDelayMs = 0; // waits this long before every reply
        int dripMs = 0;       // sends the greeting one byte every dripMs
        bool silent = false;  // says nothing at all
        bool closeAfterGreeting = false;
        qint64 hugeLine = 0;  // greets with one line of this many bytes instead
        QList<std::pair<QByteArray, QByteArrayList>> replies;
        QByteArray otherwise;

        // Sets the replies to a command word (upper case), in place of any set before.
        Behaviour &on(const QByteArray &word, const QByteArrayList &r);
    };

    // Accepts any login; CAPA lists USER; STAT says 3 messages of 1200 octets.
    static Behaviour pop3();
    // ESMTP with "AUTH PLAIN LOGIN"; every login succeeds.
    static Behaviour smtp();

    LoopbackMailServer(const Behaviour &behaviour, int connections = 1, int timeoutMs = 10000);
    ~LoopbackMailServer() override;

    // Waits until every expected connection has come and ended; false when one never came.
    bool wait() { return finish(); }

private:
    void serve(Connection &connection) override;

    const Behaviour m_b;
};
