#include "LoopbackConfigServer.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <chrono>
#include <future>
#include <memory>

namespace {

constexpr qint64 Chunk = 64 * 1024;

// One accepted connection: what has arrived but no step has consumed yet, and the
// waits every step shares.
class Peer
{
public:
    Peer(QTcpSocket &socket, int timeoutMs) : socket(socket), timeoutMs(timeoutMs) {}

    // Reads what is there, waiting for it if need be. False when nothing more can come.
    bool fill()
    {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs) && socket.bytesAvailable() == 0)
            return false;
        pending += socket.readAll();
        return true;
    }

    bool flush()
    {
        while (socket.bytesToWrite() > 0) {
            if (!socket.waitForBytesWritten(timeoutMs))
                return false;
        }
        return true;
    }

    bool write(const char *data, qint64 size)
    {
        if (socket.write(data, size) != size)
            return false;
        while (socket.bytesToWrite() > 4 * Chunk) {
            if (!socket.waitForBytesWritten(timeoutMs))
                return false;
        }
        return true;
    }

    QTcpSocket &socket;
    int timeoutMs;
    QByteArray pending;
};

} // namespace

LoopbackConfigServer::LoopbackConfigServer(const QList<Script> &connections, int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
    auto listening = std::make_shared<std::promise<quint16>>();
    std::future<quint16> port = listening->get_future();
    m_thread = std::thread([this, connections, listening]() {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            listening->set_value(0);
            return;
        }
        listening->set_value(server.serverPort());
        for (qsizetype i = 0; i < connections.size(); ++i) {
            if (!server.waitForNewConnection(m_timeoutMs))
                return;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            if (!socket)
                return;
            {
                std::lock_guard lock(m_mutex);
                m_received.append(QByteArray());
            }
            serve(int(i), *socket, connections[i]);
        }
        std::lock_guard lock(m_mutex);
        m_allCame = true;
    });
    m_port = port.get();
}

LoopbackConfigServer::~LoopbackConfigServer()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool LoopbackConfigServer::wait()
{
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    return m_allCame && !m_leftOpen;
}

void LoopbackConfigServer::record(int connection, const QByteArray &bytes)
{
    std::lock_guard lock(m_mutex);
    m_received[connection] += bytes;
}

void LoopbackConfigServer::serve(int index, QTcpSocket &socket, const Script &script)
{
    Peer peer(socket, m_timeoutMs);
    for (const Step &step : script.steps) {
        switch (step.kind) {
        case Step::Line: {
            while (!peer.pending.contains('\n')) {
                if (!peer.fill())
                    goto readToEnd;
            }
            const qsizetype end = peer.pending.indexOf('\n') + 1;
            record(index, peer.pending.left(end));
            peer.pending.remove(0, end);
            break;
        }
        case Step::Send:
            if (!peer.write(step.bytes.constData(), step.bytes.size()) || !peer.flush())
                goto readToEnd;
            break;
        case Step::SendFileBlock: {
            QFile file(step.path);
            if (!file.open(QIODevice::ReadOnly))
                goto readToEnd;
            const QByteArray length = lengthBytes(qint32(file.size()));
            if (!peer.write(length.constData(), 4))
                goto readToEnd;
            QByteArray buffer(Chunk, Qt::Uninitialized);
            for (;;) {
                const qint64 got = file.read(buffer.data(), buffer.size());
                if (got <= 0)
                    break;
                if (!peer.write(buffer.constData(), got))
                    goto readToEnd;
            }
            if (!peer.flush())
                goto readToEnd;
            break;
        }
        case Step::ReceiveBlock: {
            while (peer.pending.size() < 4) {
                if (!peer.fill())
                    goto readToEnd;
            }
            record(index, peer.pending.left(4));
            qint64 left = qFromBigEndian<qint32>(peer.pending.constData());
            peer.pending.remove(0, 4);
            QByteArray content;
            while (left > 0) {
                if (peer.pending.isEmpty() && !peer.fill())
                    break;
                const qsizetype take = qsizetype(qMin<qint64>(left, peer.pending.size()));
                if (m_keepBlocks)
                    content += peer.pending.left(take);
                peer.pending.remove(0, take);
                left -= take;
                std::lock_guard lock(m_mutex);
                m_blockBytes += take;
            }
            if (m_keepBlocks)
                record(index, content);
            std::lock_guard lock(m_mutex);
            m_blocks.append(content);
            break;
        }
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.bytes.toInt()));
            break;
        case Step::Close:
            peer.flush();
            record(index, peer.pending);
            socket.disconnectFromHost();
            if (socket.state() != QAbstractSocket::UnconnectedState)
                socket.waitForDisconnected(m_timeoutMs);
            return;
        }
    }
readToEnd:
    record(index, peer.pending);
    peer.pending.clear();
    while (socket.state() == QAbstractSocket::ConnectedState) {
        if (!socket.waitForReadyRead(m_timeoutMs))
            break;
        record(index, socket.readAll());
    }
    record(index, socket.readAll());
    if (socket.state() == QAbstractSocket::ConnectedState) {
        std::lock_guard lock(m_mutex);
        m_leftOpen = true;
    }
    socket.close();
}

QByteArray LoopbackConfigServer::received(int connection) const
{
    std::lock_guard lock(m_mutex);
    return connection < m_received.size() ? m_received[connection] : QByteArray();
}

QList<QByteArray> LoopbackConfigServer::blocks() const
{
    std::lock_guard lock(m_mutex);
    return m_blocks;
}

qint64 LoopbackConfigServer::blockBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_blockBytes;
}

int LoopbackConfigServer::connections() const
{
    std::lock_guard lock(m_mutex);
    return int(m_received.size());
}

QByteArray LoopbackConfigServer::lengthBytes(qint32 length)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<qint32>(length, bytes.data());
    return bytes;
}
