// Peak memory of a whole process that fetches a large configuration: the block is streamed
// from the socket to the local copy's temporary file, so the process's peak resident size
// stays flat whatever the block's size. For each size a fresh process (this program, run
// with --fetch) connects to the server run here, takes its own peak RSS after start-up and
// after the fetch, and prints both; this side prints the growth and its ratio to the
// smallest block's growth.
//
//   bench_remote_fetch_memory [MEGABYTES...]     (default 10 100 1000)
#include "BenchUtil.h"

#include "platform/Prompts.h"
#include "remote/TRemoteInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
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
    void error(const QString &text, const QString & = {}) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    void information(const QString &, const QString & = {}) override {}
    void warning(const QString &, const QString & = {}) override {}
    bool yesNo(const QString &, const QString & = {}) override { return false; }
    Answer yesNoCancel(const QString &, const QString & = {}) override { return Answer::Cancel; }
    bool okCancel(const QString &, const QString & = {}) override { return false; }
    std::optional<QString> text(const QString &, const QString &, const QString &, bool) override { return {}; }
};

bool readLine(QTcpSocket &s)
{
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(60000))
            return false;
    }
    s.readLine();
    return true;
}

// Serves one fetch of a configuration of `size` bytes, made up as it is sent (the server
// holds no block either): a section line, then key lines.
bool serveOne(QTcpServer &server, qint64 size)
{
    if (!server.waitForNewConnection(60000))
        return false;
    std::unique_ptr<QTcpSocket> s(server.nextPendingConnection());
    if (!readLine(*s))
        return false;
    s->write("200 OK\r\n");
    if (!readLine(*s))
        return false;
    char length[4];
    qToBigEndian<qint32>(qint32(size), length);
    s->write(length, 4);
    const QByteArray line = "Key=0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789AB\r\n";
    QByteArray body;
    while (body.size() < Chunk)
        body += line;
    body.truncate(Chunk);
    const QByteArray first = (QByteArray("[SERVER]\r\n") + body).left(Chunk);
    for (qint64 left = size; left > 0;) {
        const qint64 n = qMin(left, Chunk);
        s->write((left == size ? first : body).constData(), n);
        left -= n;
        while (s->bytesToWrite() > 4 * Chunk) {
            if (!s->waitForBytesWritten(60000))
                return false;
        }
    }
    while (s->bytesToWrite() > 0) {
        if (!s->waitForBytesWritten(60000))
            return false;
    }
    s->disconnectFromHost();
    if (s->state() != QAbstractSocket::UnconnectedState)
        s->waitForDisconnected(60000);
    return true;
}

// The fetching process: prints "STARTUP_KB PEAK_KB".
int fetchChild(quint16 port, const QString &folder)
{
    PrintingPrompts prompts;
    TRemoteInfo remote(prompts);
    remote.Host = QStringLiteral("127.0.0.1");
    remote.User = "bench";
    remote.Password = "bench";
    remote.Port = port;
    const long startup = peakRssKb();
    if (remote.GetConfig(folder).isEmpty())
        return 1;
    std::printf("%ld %ld\n", startup, peakRssKb());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args.first() == QLatin1String("--fetch"))
        return fetchChild(quint16(args.at(1).toUInt()), args.at(2));

    QList<qint64> sizesMb;
    for (const QString &a : args)
        sizesMb.append(a.toLongLong());
    if (sizesMb.isEmpty())
        sizesMb = {10, 100, 1000};

    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    std::printf("peak resident memory of a process fetching a configuration (whole process, fresh per size)\n");
    std::printf("%10s %14s %14s %14s %10s\n", "block", "start-up KB", "peak KB", "growth KB", "vs first");
    long firstGrowth = 0;
    bool ok = true;
    for (const qint64 mb : sizesMb) {
        const qint64 size = mb * 1024 * 1024;
        std::promise<quint16> listening;
        std::future<quint16> port = listening.get_future();
        bool served = false;
        std::thread serverThread([&] {
            QTcpServer server;
            if (!server.listen(QHostAddress::LocalHost, 0)) {
                listening.set_value(0);
                return;
            }
            listening.set_value(server.serverPort());
            served = serveOne(server, size);
        });
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--fetch"), QString::number(port.get()), folder});
        child.waitForFinished(-1);
        serverThread.join();
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        const qint64 copySize = QFileInfo(folder + QStringLiteral("127.0.0.1")).size();
        if (!served || child.exitCode() != 0 || figures.size() != 2 || copySize != size) {
            std::printf("FAILED: the fetch of %lld MB did not complete\n", mb);
            ok = false;
            continue;
        }
        const long startup = figures[0].toLong();
        const long peak = figures[1].toLong();
        const long growth = peak - startup;
        if (firstGrowth == 0)
            firstGrowth = qMax(1L, growth);
        std::printf("%7lld MB %14ld %14ld %14ld %9.2fx\n", mb, startup, peak, growth, double(growth) / double(firstGrowth));
        QFile::remove(folder + QStringLiteral("127.0.0.1"));
    }
    return ok ? 0 : 1;
}
