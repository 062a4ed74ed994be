#include "LoopbackListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <future>
#include <memory>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// How much written data may wait to go out before a write waits for it.
constexpr qint64 Backlog = 256 * 1024;

// A server that hands each new connection's descriptor over instead of making a socket
// of it on the accepting thread, so another thread can own the socket.
class DescriptorServer : public QTcpServer
{
public:
    QList<qintptr> descriptors;

protected:
    void incomingConnection(qintptr descriptor) override { descriptors.append(descriptor); }
};

// Whether the client of a connection has closed its end (an end of file is waiting).
bool peerClosed(int descriptor)
{
    char byte = 0;
    const ssize_t got = ::recv(descriptor, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

} // namespace

LoopbackListener::LoopbackListener(int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
}

LoopbackListener::~LoopbackListener()
{
    finish();
}

void LoopbackListener::start(qsizetype count)
{
    auto listening = std::make_shared<std::promise<quint16>>();
    std::future<quint16> port = listening->get_future();
    m_thread = std::thread([this, count, listening]() {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            listening->set_value(0);
            return;
        }
        listening->set_value(server.serverPort());
        for (qsizetype i = 0; i < count; ++i) {
            if (!server.waitForNewConnection(m_timeoutMs))
                return;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            if (!socket)
                return;
            {
                std::lock_guard lock(m_mutex);
                m_received.append(QByteArray());
            }
            Connection connection(*this, int(i), *socket);
            serve(connection);
            if (!connection.m_closed && !connection.readToEnd())
                m_leftOpen = true;
        }
        std::lock_guard lock(m_mutex);
        m_allCame = true;
    });
    m_port = port.get();
}

void LoopbackListener::startConcurrent(qsizetype count)
{
    auto listening = std::make_shared<std::promise<quint16>>();
    std::future<quint16> port = listening->get_future();
    m_thread = std::thread([this, count, listening]() {
        DescriptorServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            listening->set_value(0);
            return;
        }
        listening->set_value(server.serverPort());
        std::vector<std::thread> workers;
        qsizetype accepted = 0;
        while (accepted < count) {
            if (server.descriptors.isEmpty() && !server.waitForNewConnection(m_timeoutMs))
                break;
            while (!server.descriptors.isEmpty() && accepted < count) {
                const qintptr descriptor = server.descriptors.takeFirst();
                const int index = int(accepted++);
                // A descriptor of the count's own, so the socket's may close (and its number
                // be taken again) while the count still asks about the connection.
                const int watch = ::dup(int(descriptor));
                {
                    std::lock_guard lock(m_mutex);
                    m_received.append(QByteArray());
                    int open = 1;
                    for (const qintptr other : std::as_const(m_open))
                        open += peerClosed(int(other)) ? 0 : 1;
                    m_open.append(watch);
                    if (open > m_maxOpen)
                        m_maxOpen = open;
                }
                workers.emplace_back([this, descriptor, index, watch]() {
                    {
                        QTcpSocket socket;
                        socket.setSocketDescriptor(descriptor);
                        Connection connection(*this, index, socket);
                        serve(connection);
                        if (!connection.m_closed && !connection.readToEnd())
                            m_leftOpen = true;
                        socket.abort();
                    }
                    std::lock_guard lock(m_mutex);
                    m_open.removeOne(watch);
                    ::close(watch);
                });
            }
        }
        for (std::thread &w : workers)
            w.join();
        std::lock_guard lock(m_mutex);
        m_allCame = accepted == count;
    });
    m_port = port.get();
}

bool LoopbackListener::finish()
{
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    return m_allCame;
}

void LoopbackListener::record(int connection, const QByteArray &bytes)
{
    std::lock_guard lock(m_mutex);
    m_received[connection] += bytes;
}

QByteArray LoopbackListener::received(int connection) const
{
    std::lock_guard lock(m_mutex);
    return connection < m_received.size() ? m_received[connection] : QByteArray();
}

int LoopbackListener::connections() const
{
    std::lock_guard lock(m_mutex);
    return int(m_received.size());
}

LoopbackListener::Connection::Connection(LoopbackListener &server, int index, QTcpSocket &socket)
    : socket(socket)
    , m_server(server)
    , m_index(index)
{
}

bool LoopbackListener::Connection::fill()
{
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs()) && socket.bytesAvailable() == 0)
        return false;
    pending += socket.readAll();
    return true;
}

bool LoopbackListener::Connection::take(const QByteArray &end)
{
    for (;;) {
        const qsizetype at = pending.indexOf(end);
        if (at >= 0) {
            taken = pending.left(at + end.size());
            record(taken);
            pending.remove(0, at + end.size());
            return true;
        }
        if (!fill())
            return false;
    }
}

bool LoopbackListener::Connection::write(const char *data, qint64 size)
{
    if (socket.write(data, size) != size)
        return false;
    while (socket.bytesToWrite() > Backlog) {
        if (!socket.waitForBytesWritten(timeoutMs()))
            return false;
    }
    return true;
}

bool LoopbackListener::Connection::flush()
{
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMs()))
            return false;
    }
    return true;
}

void LoopbackListener::Connection::close()
{
    flush();
    record(pending);
    pending.clear();
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs());
    m_closed = true;
}

bool LoopbackListener::Connection::readToEnd()
{
    record(pending);
    pending.clear();
    while (socket.state() == QAbstractSocket::ConnectedState) {
        if (!socket.waitForReadyRead(timeoutMs()))
            break;
        record(socket.readAll());
    }
    record(socket.readAll());
    const bool closedByClient = socket.state() != QAbstractSocket::ConnectedState;
    socket.close();
    return closedByClient;
}
