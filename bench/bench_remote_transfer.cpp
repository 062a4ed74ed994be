// Fetch and return of a large configuration over loopback, against a plain copy of the
// same bytes through a loopback socket in the same run, and the peak memory of the process
// (which must stay flat: no whole-file buffer on either side).
//
//   bench_remote_transfer [MEGABYTES]     (default 50)
#include "BenchUtil.h"

#include "platform/Prompts.h"
#include "remote/TRemoteInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <future>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr qint64 Chunk = 64 * 1024;

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class PrintingPrompts : public Prompts
{
public:
    void error(const QString &text, const QString & = {}) override { std::printf("error: %s\n", qPrintable(text)); }
    void information(const QString &, const QString & = {}) override {}
    void warning(const QString &, const QString & = {}) override {}
    bool yesNo(const QString &, const QString & = {}) override { return false; }
    Answer yesNoCancel(const QString &, const QString & = {}) override { return Answer::Cancel; }
    bool okCancel(const QString &, const QString & = {}) override { return false; }
    std::optional<QString> text(const QString &, const QString &, const QString &, bool) override { return {}; }
};

bool flushSome(QTcpSocket &s, qint64 limit)
{
    while (s.bytesToWrite() > limit) {
        if (!s.waitForBytesWritten(30000))
            return false;
    }
    return true;
}

bool readLine(QTcpSocket &s, QByteArray *line)
{
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(30000))
            return false;
    }
    *line = s.readLine().trimmed();
    return true;
}

// Reads `count` bytes and drops them; false when the connection ended first.
bool drain(QTcpSocket &s, qint64 count)
{
    QByteArray buffer(Chunk, Qt::Uninitialized);
    while (count > 0) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(30000))
            return false;
        const qint64 got = s.read(buffer.data(), qMin(count, Chunk));
        if (got < 0)
            return false;
        count -= got;
    }
    return true;
}

bool sendFile(QTcpSocket &s, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray buffer(Chunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got <= 0)
            break;
        s.write(buffer.constData(), got);
        if (!flushSome(s, 4 * Chunk))
            return false;
    }
    return flushSome(s, 0);
}

// The server's side on a thread of its own. Per connection the first line decides:
// "AUTH ..." speaks the configuration protocol (GET streams the file as a block, PUT reads
// a block and drops it); "RAWGET" sends the file's bytes and closes; "RAWPUT" reads until
// the client closes. Ends after `connections` connections.
void serve(QTcpServer &server, const QString &path, int connections)
{
    for (int i = 0; i < connections; ++i) {
        if (!server.waitForNewConnection(60000))
            return;
        std::unique_ptr<QTcpSocket> s(server.nextPendingConnection());
        s->setReadBufferSize(4 * Chunk);
        QByteArray line;
        if (!readLine(*s, &line))
            continue;
        if (line.startsWith("AUTH")) {
            s->write("200 OK\r\n");
            flushSome(*s, 0);
            if (!readLine(*s, &line))
                continue;
            if (line == "GET") {
                char length[4];
                qToBigEndian<qint32>(qint32(QFile(path).size()), length);
                s->write(length, 4);
                sendFile(*s, path);
            } else if (line == "PUT") {
                while (s->bytesAvailable() < 4 && s->waitForReadyRead(30000)) {
                }
                char length[4];
                s->read(length, 4);
                drain(*s, qFromBigEndian<qint32>(length));
            }
        } else if (line == "RAWGET") {
            sendFile(*s, path);
        } else if (line == "RAWPUT") {
            while (s->state() == QAbstractSocket::ConnectedState && s->waitForReadyRead(30000))
                s->readAll();
        }
        s->disconnectFromHost();
        if (s->state() != QAbstractSocket::UnconnectedState)
            s->waitForDisconnected(30000);
    }
}

// The plain copies: the same bytes through a loopback socket, to or from a file.
bool rawFetch(quint16 port, const QString &into)
{
    QTcpSocket s;
    s.setReadBufferSize(16 * Chunk);
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(30000))
        return false;
    s.write("RAWGET\r\n");
    flushSome(s, 0);
    QFile file(into);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray buffer(Chunk, Qt::Uninitialized);
    for (;;) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(30000))
            break;
        const qint64 got = s.read(buffer.data(), buffer.size());
        if (got <= 0)
            break;
        file.write(buffer.constData(), got);
    }
    return true;
}

bool rawReturn(quint16 port, const QString &from)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(30000))
        return false;
    s.write("RAWPUT\r\n");
    if (!sendFile(s, from))
        return false;
    s.disconnectFromHost();
    if (s.state() != QAbstractSocket::UnconnectedState)
        s.waitForDisconnected(30000);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 50;
    const qint64 size = megabytes * 1024 * 1024;
    constexpr int Runs = 3;

    QTemporaryDir dir;
    const QString served = dir.filePath(QStringLiteral("served.ini"));
    {
        QFile file(served);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray line = "Key=0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789AB\r\n";
        for (qint64 written = 0; written < size; written += line.size())
            file.write(line.constData(), qMin<qint64>(line.size(), size - written));
    }
    const QString folder = dir.path() + QLatin1Char('/');
    const QString rawCopy = dir.filePath(QStringLiteral("raw-copy"));

    // The server lives on its own thread; each run has four connections: plain fetch,
    // fetch, plain return, return.
    std::promise<quint16> listening;
    std::future<quint16> listeningPort = listening.get_future();
    std::thread serverThread([&listening, &served]() {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            listening.set_value(0);
            return;
        }
        listening.set_value(server.serverPort());
        serve(server, served, 4 * Runs);
    });
    const quint16 port = listeningPort.get();
    if (port == 0)
        return 1;

    PrintingPrompts prompts;
    TRemoteInfo remote(prompts);
    remote.Host = QStringLiteral("127.0.0.1");
    remote.User = "bench";
    remote.Password = "bench";
    remote.Port = port;

    const long rssBefore = peakRssKb();
    bool ok = true;
    const auto [rawFetchMs, fetchMs] = BenchUtil::pairedMs(
        Runs, [&] { ok &= rawFetch(port, rawCopy); }, [&] { ok &= !remote.GetConfig(folder).isEmpty(); });
    const bool same = QFile(rawCopy).size() == size && QFile(folder + remote.Host).size() == size;
    const auto [rawReturnMs, returnMs] = BenchUtil::pairedMs(
        Runs, [&] { ok &= rawReturn(port, served); }, [&] { ok &= remote.PutConfig(folder); });
    const long rssAfter = peakRssKb();
    serverThread.join();

    std::printf("remote transfer of %lld MB over loopback, median of %d paired runs\n", megabytes, Runs);
    BenchUtil::row("plain copy socket -> file (baseline)", rawFetchMs, rawFetchMs);
    BenchUtil::row("GetConfig (fetch into the local copy)", fetchMs, rawFetchMs);
    BenchUtil::row("plain copy file -> socket (baseline)", rawReturnMs, rawReturnMs);
    BenchUtil::row("PutConfig (return of the local copy)", returnMs, rawReturnMs);
    std::printf("throughput: fetch %.0f MB/s, return %.0f MB/s\n", double(megabytes) / (fetchMs / 1e3),
                double(megabytes) / (returnMs / 1e3));
    std::printf("peak RSS: %ld KB before the transfers, %ld KB after (+%ld KB for %lld MB moved %d times)\n",
                rssBefore, rssAfter, rssAfter - rssBefore, megabytes, 4 * Runs);
    if (!ok || !same) {
        std::printf("FAILED: a transfer did not complete\n");
        return 1;
    }
    return 0;
}
