#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <mutex>
#include <thread>

class QTcpSocket;

// What the loopback servers of the tests share: a listening socket on 127.0.0.1 at a port
// the system picks, a thread of its own that accepts the scripted connections one after
// the other and hands each to serve(), and the record of every byte each one received.
// Every wait has a time limit, so a client that goes quiet cannot hang a test.
//
// A server built on it calls start() at the end of its constructor and finish() first in
// its destructor, so that serve() never runs on an object that is not whole.
class LoopbackListener
{
public:
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    // 0 when the server could not listen.
    quint16 port() const { return m_port; }
    // Every byte received on the n-th connection, in order.
    QByteArray received(int connection) const;
    // How many connections were accepted.
    int connections() const;
    // With startConcurrent(): the most connections open at once, as the server saw them
    // at each accept (the new one and every earlier one whose client had not closed it).
    int maxOpen() const { return m_maxOpen; }

protected:
    // One accepted connection: the socket, what has arrived but no step has consumed yet,
    // and the reads and writes every step shares. Everything read is recorded.
    class Connection
    {
    public:
        Connection(LoopbackListener &server, int index, QTcpSocket &socket);

        // Reads what is there, waiting for it if need be. False when nothing more can come.
        bool fill();
        // Reads up to and with `end` and records it. False when it never came.
        bool take(const QByteArray &end);
        // Writes bytes, waiting while a large backlog has not gone out yet.
        bool write(const char *data, qint64 size);
        // Waits until everything written has gone out.
        bool flush();
        bool send(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()) && flush(); }
        // Ends the connection at once (after what was written has gone out); no reading
        // to the end follows.
        void close();
        void record(const QByteArray &bytes) { m_server.record(m_index, bytes); }

        int index() const { return m_index; }
        int timeoutMs() const { return m_server.m_timeoutMs; }
        QTcpSocket &socket;
        QByteArray pending;
        QByteArray taken; // what the last take() read, through its end

    private:
        friend class LoopbackListener;
        // Records what is pending and everything until the client closes. False when the
        // client still held the connection open at the time limit.
        bool readToEnd();

        LoopbackListener &m_server;
        int m_index;
        bool m_closed = false;
    };

    explicit LoopbackListener(int timeoutMs);
    virtual ~LoopbackListener();

    // Listens and starts accepting `count` connections on the server's thread; returns
    // once the port is known.
    void start(qsizetype count);
    // The same, but every connection is served on a thread of its own as soon as it comes,
    // so clients are served side by side; maxOpen() then counts them.
    void startConcurrent(qsizetype count);
    // Waits until the thread has ended. True when every connection came.
    bool finish();
    // Whether a client kept a connection open until the time limit.
    bool leftOpen() const { return m_leftOpen; }

    // Plays the n-th connection's script (on the server's thread). Unless it closed the
    // connection, the connection is then read until the client closes it.
    virtual void serve(Connection &connection) = 0;

private:
    void record(int connection, const QByteArray &bytes);

    const int m_timeoutMs;
    quint16 m_port = 0;
    bool m_allCame = false;
    std::atomic<bool> m_leftOpen = false;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_received;
    QList<qintptr> m_open; // startConcurrent(): descriptors of the connections being served
    std::atomic<int> m_maxOpen = 0;
};
