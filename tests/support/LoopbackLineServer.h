#pragma once

#include "LoopbackListener.h"

#include <QByteArray>
#include <QList>

// A scripted line-protocol server for tests (SMTP, the version server): listens on
// 127.0.0.1 port 0, takes one connection per script, plays its steps on a thread of its
// own (the client under test blocks) and records every byte received.
//
//   LoopbackLineServer smtp({LoopbackLineServer::Script().send("220 hi\r\n").line()
//                                .send("250 ok\r\n") ...});
//
// After the last step the connection is read until the client closes it. Every wait has a
// time limit, so a silent client cannot hang a test.
class LoopbackLineServer : public LoopbackListener
{
public:
    struct Step
    {
        enum Kind { Line, Send, Data, Close } kind;
        QByteArray bytes;
    };

    class Script
    {
    public:
        Script &line() { return add({Step::Line, {}}); }              // one line, through its LF
        Script &send(const QByteArray &b) { return add({Step::Send, b}); }
        Script &reply(const QByteArray &b) { return line().send(b); } // a command, then its reply
        Script &data() { return add({Step::Data, {}}); }               // up to and with "\r\n.\r\n"
        Script &close() { return add({Step::Close, {}}); }

        QList<Step> steps;

    private:
        Script &add(const Step &s)
        {
            steps.append(s);
            return *this;
        }
    };

    // An SMTP server that takes one mail: greeting, EHLO reply `ehlo`, then 250 for
    // everything, 354 for Data, and reads to the end.
    static Script smtpAccepting(const QByteArray &ehlo = "250 loopback\r\n", int recipients = 1);

    explicit LoopbackLineServer(const QList<Script> &connections, int timeoutMs = 10000);
    ~LoopbackLineServer() override;

    // port(), received(n) and connections() come with the listener.

    // Waits for every scripted connection to end; false when one never came.
    bool wait();

private:
    void serve(Connection &connection) override;

    const QList<Script> m_scripts;
};
