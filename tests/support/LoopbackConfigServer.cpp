#include "LoopbackConfigServer.h"

#include <QFile>
#include <QtEndian>
#include <chrono>

LoopbackConfigServer::LoopbackConfigServer(const QList<Script> &connections, int timeoutMs)
    : LoopbackListener(timeoutMs)
    , m_scripts(connections)
{
    start(m_scripts.size());
}

LoopbackConfigServer::~LoopbackConfigServer()
{
    finish();
}

bool LoopbackConfigServer::wait()
{
    return finish() && !leftOpen();
}

void LoopbackConfigServer::serve(Connection &connection)
{
    for (const Step &step : m_scripts[connection.index()].steps) {
        bool ok = true;
        switch (step.kind) {
        case Step::Line:
            ok = connection.take("\n");
            break;
        case Step::Send:
            ok = connection.send(step.bytes);
            break;
        case Step::SendFileBlock:
            ok = sendFile(connection, step.path);
            break;
        case Step::ReceiveBlock:
            ok = receiveBlock(connection);
            break;
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.bytes.toInt()));
            break;
        case Step::Close:
            connection.close();
            return;
        }
        if (!ok)
            return;
    }
}

// The file's content as a data block, streamed from disk a piece at a time.
bool LoopbackConfigServer::sendFile(Connection &connection, const QString &path)
{
    constexpr qint64 Chunk = 64 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray length = lengthBytes(qint32(file.size()));
    if (!connection.write(length.constData(), 4))
        return false;
    QByteArray buffer(Chunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got <= 0)
            break;
        if (!connection.write(buffer.constData(), got))
            return false;
    }
    return connection.flush();
}

// One data block. A block cut short by the client is kept as far as it came, and the
// script goes on; false only when not even its length came.
bool LoopbackConfigServer::receiveBlock(Connection &connection)
{
    QByteArray &pending = connection.pending;
    while (pending.size() < 4) {
        if (!connection.fill())
            return false;
    }
    connection.record(pending.left(4));
    qint64 left = qFromBigEndian<qint32>(pending.constData());
    pending.remove(0, 4);
    QByteArray content;
    while (left > 0) {
        if (pending.isEmpty() && !connection.fill())
            break;
        const qsizetype take = qsizetype(qMin<qint64>(left, pending.size()));
        if (m_keepBlocks)
            content += pending.left(take);
        pending.remove(0, take);
        left -= take;
        std::lock_guard lock(m_mutex);
        m_blockBytes += take;
    }
    if (m_keepBlocks)
        connection.record(content);
    std::lock_guard lock(m_mutex);
    m_blocks.append(content);
    return true;
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

QByteArray LoopbackConfigServer::lengthBytes(qint32 length)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<qint32>(length, bytes.data());
    return bytes;
}
