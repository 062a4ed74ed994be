#include "LoopbackLineServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <future>
#include <memory>

LoopbackLineServer::Script LoopbackLineServer::smtpAccepting(const QByteArray &ehlo, int recipients)
{
    Script s;
    s.send("220 loopback ESMTP\r\n").reply(ehlo).reply("250 reset\r\n").reply("250 sender ok\r\n");
    for (int i = 0; i < recipients; ++i)
        s.reply("250 recipient ok\r\n");
    s.reply("354 go ahead\r\n").data().send("250 queued\r\n");
    return s;
}

LoopbackLineServer::LoopbackLineServer(const QList<Script> &connections, int timeoutMs)
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

LoopbackLineServer::~LoopbackLineServer()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool LoopbackLineServer::wait()
{
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    return m_allCame;
}

void LoopbackLineServer::record(int connection, const QByteArray &bytes)
{
    std::lock_guard lock(m_mutex);
    m_received[connection] += bytes;
}

QByteArray LoopbackLineServer::received(int connection) const
{
    std::lock_guard lock(m_mutex);
    return connection < m_received.size() ? m_received[connection] : QByteArray();
}

int LoopbackLineServer::connections() const
{
    std::lock_guard lock(m_mutex);
    return int(m_received.size());
}

void LoopbackLineServer::serve(int index, QTcpSocket &socket, const Script &script)
{
    QByteArray pending;
    auto fill = [&]() {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(m_timeoutMs) && socket.bytesAvailable() == 0)
            return false;
        pending += socket.readAll();
        return true;
    };
    auto take = [&](const QByteArray &end) {
        for (;;) {
            const qsizetype at = pending.indexOf(end);
            if (at >= 0) {
                record(index, pending.left(at + end.size()));
                pending.remove(0, at + end.size());
                return true;
            }
            if (!fill())
                return false;
        }
    };
    for (const Step &step : script.steps) {
        bool ok = true;
        switch (step.kind) {
        case Step::Line:
            ok = take("\n");
            break;
        case Step::Data:
            // The header block may already be the end: "\r\n.\r\n" right after it.
            ok = take("\r\n.\r\n");
            break;
        case Step::Send:
            socket.write(step.bytes);
            while (ok && socket.bytesToWrite() > 0)
                ok = socket.waitForBytesWritten(m_timeoutMs);
            break;
        case Step::Close:
            record(index, pending);
            socket.disconnectFromHost();
            if (socket.state() != QAbstractSocket::UnconnectedState)
                socket.waitForDisconnected(m_timeoutMs);
            return;
        }
        if (!ok)
            break;
    }
    record(index, pending);
    while (socket.state() == QAbstractSocket::ConnectedState) {
        if (!socket.waitForReadyRead(m_timeoutMs))
            break;
        record(index, socket.readAll());
    }
    record(index, socket.readAll());
    socket.close();
}
