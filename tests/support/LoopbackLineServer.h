#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <mutex>
#include <thread>

// A scripted line-protocol server for tests (SMTP, the version server): listens on
// 127.0.0.1 port 0, takes one connection per script, plays its steps on a thread of its
// own (the client under test blocks) and records every byte received.
//
//   LoopbackLineServer smtp({LoopbackLineServer::Script().send("220 hi\r\n").line()
//                                .send("250 ok\r\n") ...});
//
// After the last step the connection is read until the client closes it. Every wait has a
// time limit, so a silent client cannot hang a test.
class LoopbackLineServer
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
    ~LoopbackLineServer();
    LoopbackLineServer(const LoopbackLineServer &) = delete;
    LoopbackLineServer &operator=(const LoopbackLineServer &) = delete;

    quint16 port() const { return m_port; }
    // Waits for every scripted connection to end; false when one never came.
    bool wait();
    QByteArray received(int connection) const;
    int connections() const;

private:
    void serve(int index, class QTcpSocket &socket, const Script &script);
    void record(int connection, const QByteArray &bytes);

    int m_timeoutMs;
    quint16 m_port = 0;
    bool m_allCame = false;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_received;
};
