#pragma once

#include "LoopbackListener.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <mutex>

// The server's side of the remote configuration protocol, for tests: listens on 127.0.0.1,
// takes one connection per script in order, plays each script's steps and records every
// byte it receives. It runs on a thread of its own, so the client under test may block.
//
//   LoopbackConfigServer server({LoopbackConfigServer::Script().line().send("200 OK\r\n")
//                                    .line().sendBlock("[SERVER]\r\n")});
//   remote.Port = server.port();
//   ... remote.GetConfig(folder) ...
//   server.wait();
//   QCOMPARE(server.received(0), QByteArray("AUTH u p\r\nGET\r\n"));
//
// After its last step a connection reads on until the client closes it (everything read
// is recorded), then closes; a close() step ends it at once. Every wait has a time limit,
// so a client that goes quiet cannot hang the test; a client that leaves its connection
// open until that limit makes wait() fail.
class LoopbackConfigServer : public LoopbackListener
{
public:
    struct Step
    {
        enum Kind { Line, Send, SendFileBlock, ReceiveBlock, Close, Pause } kind;
        QByteArray bytes;
        QString path;
    };

    class Script
    {
    public:
        // Waits for one command line (through its LF).
        Script &line() { return add({Step::Line, {}, {}}); }
        // Sends bytes as they are.
        Script &send(const QByteArray &bytes) { return add({Step::Send, bytes, {}}); }
        // Sends a data block: the 4-byte big-endian length, then the content.
        Script &sendBlock(const QByteArray &content) { return send(lengthBytes(qint32(content.size())) + content); }
        // Sends a file's content as a data block, streamed from disk.
        Script &sendFileBlock(const QString &path) { return add({Step::SendFileBlock, {}, path}); }
        // Reads one data block (the length and that many bytes).
        Script &receiveBlock() { return add({Step::ReceiveBlock, {}, {}}); }
        // Waits `ms` milliseconds before the next step (a slow server).
        Script &pause(int ms) { return add({Step::Pause, QByteArray::number(ms), {}}); }
        // Closes the connection at once (after what was sent has gone out).
        Script &close() { return add({Step::Close, {}, {}}); }

        QList<Step> steps;

    private:
        Script &add(const Step &step)
        {
            steps.append(step);
            return *this;
        }
    };

    explicit LoopbackConfigServer(const QList<Script> &connections, int timeoutMs = 10000);
    ~LoopbackConfigServer() override;

    // port(), received(n) (every byte received on the n-th connection, in order) and
    // connections() (how many were accepted) come with the listener.

    // With false, the content of received blocks is counted but not kept (for large
    // transfers); everything else is still recorded. Set before the client connects.
    void setKeepBlockContent(bool keep) { m_keepBlocks = keep; }

    // Waits until every scripted connection has ended. False when one never came, or when
    // one was still open at the end of its script's time limit: a client must close every
    // connection it opens (unless the script closed it first).
    bool wait();

    // The content of every block received, over all connections, in order.
    QList<QByteArray> blocks() const;
    // Bytes of block content received (kept or not).
    qint64 blockBytes() const;

    static QByteArray lengthBytes(qint32 length);

private:
    void serve(Connection &connection) override;
    bool sendFile(Connection &connection, const QString &path);
    bool receiveBlock(Connection &connection);

    const QList<Script> m_scripts;
    std::atomic<bool> m_keepBlocks = true;
    mutable std::mutex m_mutex; // guards the blocks
    QList<QByteArray> m_blocks;
    qint64 m_blockBytes = 0;
};
