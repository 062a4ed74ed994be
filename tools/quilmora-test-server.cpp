// quilmora-test-server: the server's side of the remote configuration protocol, serving
// the configuration file of one folder, to try the editor's remote mode (and
// quilmora-config pull/push) without a Quilmora server.
//
//   quilmora-test-server [--port N] [--user U] [--password P] [--file NAME] FOLDER
//
// Listens on 127.0.0.1 (port 35000 unless --port). A login is accepted when the AUTH line
// carries exactly the given user and password (the server's default login "zerevovu" /
// "zerevovu" unless told otherwise): "200 OK", else "500 Login refused". GET sends the file
// as a data block; PUT after an accepted login replaces the file with the block received
// (atomically), after a refused one reads the block and drops it. Connections are served
// one at a time; each step waits at most 30 seconds. Every exchange is logged on standard
// output.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <cstdio>
#include <memory>

namespace {

constexpr int WaitMs = 30000;
constexpr qint64 Chunk = 64 * 1024;
constexpr qint64 MaxLine = 64 * 1024;

void log(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int usage(const char *problem)
{
    std::fprintf(stderr, "quilmora-test-server: %s\n"
                         "usage: quilmora-test-server [--port N] [--user U] [--password P] [--file NAME] FOLDER\n",
                 problem);
    return 2;
}

bool flush(QTcpSocket &s)
{
    while (s.bytesToWrite() > 0) {
        if (!s.waitForBytesWritten(WaitMs))
            return false;
    }
    return true;
}

// A command line without its CR LF; false when the client closed, went quiet or sent a
// line without end.
bool readCommand(QTcpSocket &s, QByteArray *line)
{
    while (!s.canReadLine()) {
        if (s.bytesAvailable() > MaxLine || !s.waitForReadyRead(WaitMs))
            return false;
    }
    QByteArray got = s.readLine(MaxLine + 2);
    while (got.endsWith('\n') || got.endsWith('\r'))
        got.chop(1);
    *line = got;
    return true;
}

bool readExactly(QTcpSocket &s, char *into, qint64 count)
{
    while (count > 0) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(WaitMs))
            return false;
        const qint64 got = s.read(into, count);
        if (got < 0)
            return false;
        into += got;
        count -= got;
    }
    return true;
}

void sendFile(QTcpSocket &s, const QString &path)
{
    QFile file(path);
    const bool open = file.open(QIODevice::ReadOnly);
    const qint64 size = open ? file.size() : 0;
    char length[4];
    qToBigEndian<qint32>(qint32(size), length);
    s.write(length, 4);
    QByteArray buffer(Chunk, Qt::Uninitialized);
    qint64 sent = 0;
    while (open && sent < size) {
        const qint64 got = file.read(buffer.data(), qMin(Chunk, size - sent));
        if (got <= 0)
            break;
        s.write(buffer.constData(), got);
        sent += got;
        while (s.bytesToWrite() > 4 * Chunk) {
            if (!s.waitForBytesWritten(WaitMs))
                return;
        }
    }
    flush(s);
    log(open ? QStringLiteral("  GET: sent %1 bytes of %2").arg(sent).arg(path)
             : QStringLiteral("  GET: %1 cannot be read; sent an empty configuration").arg(path));
}

void receiveFile(QTcpSocket &s, const QString &path, bool store)
{
    char lengthBytes[4];
    if (!readExactly(s, lengthBytes, 4)) {
        log(QStringLiteral("  PUT: no data block"));
        return;
    }
    const qint32 length = qFromBigEndian<qint32>(lengthBytes);
    if (length < 0) {
        log(QStringLiteral("  PUT: invalid length %1").arg(length));
        return;
    }
    QSaveFile file(path);
    if (store && !file.open(QIODevice::WriteOnly)) {
        log(QStringLiteral("  PUT: cannot write %1").arg(path));
        store = false;
    }
    QByteArray buffer(Chunk, Qt::Uninitialized);
    qint64 left = length;
    while (left > 0) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(WaitMs))
            break;
        const qint64 got = s.read(buffer.data(), qMin(Chunk, left));
        if (got < 0)
            break;
        if (store)
            file.write(buffer.constData(), got);
        left -= got;
    }
    if (left > 0) {
        // An incomplete block never replaces the configuration.
        if (store)
            file.cancelWriting();
        log(QStringLiteral("  PUT: the connection ended %1 bytes short; nothing stored").arg(left));
        return;
    }
    if (!store) {
        log(QStringLiteral("  PUT: %1 bytes received and dropped (login refused)").arg(length));
        return;
    }
    log(file.commit() ? QStringLiteral("  PUT: stored %1 bytes in %2").arg(length).arg(path)
                      : QStringLiteral("  PUT: cannot write %1").arg(path));
}

void serve(QTcpSocket &s, const QByteArray &expectedAuth, const QString &path)
{
    log(QStringLiteral("connection from %1").arg(s.peerAddress().toString()));
    bool accepted = false;
    QByteArray line;
    while (readCommand(s, &line)) {
        if (line.startsWith("AUTH ")) {
            accepted = line == expectedAuth;
            log(QStringLiteral("  AUTH %1").arg(accepted ? QStringLiteral("accepted") : QStringLiteral("refused")));
            s.write(accepted ? "200 OK\r\n" : "500 Login refused\r\n");
            flush(s);
        } else if (line == "GET") {
            if (!accepted) {
                log(QStringLiteral("  GET without an accepted login; closing"));
                break;
            }
            sendFile(s, path);
        } else if (line == "PUT") {
            receiveFile(s, path, accepted);
        } else {
            log(QStringLiteral("  unknown command %1; closing").arg(QString::fromLocal8Bit(line.left(40))));
            break;
        }
    }
    s.disconnectFromHost();
    if (s.state() != QAbstractSocket::UnconnectedState)
        s.waitForDisconnected(WaitMs);
    log(QStringLiteral("  closed"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int port = 35000;
    QByteArray user = "zerevovu";
    QByteArray password = "zerevovu";
    QString fileName = QStringLiteral("quilmora.ini");
    QString folder;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs("usage: quilmora-test-server [--port N] [--user U] [--password P] [--file NAME] FOLDER\n"
                       "\n"
                       "Serves FOLDER's configuration file over the remote configuration protocol on\n"
                       "127.0.0.1, to try the editor's remote mode or quilmora-config pull/push without\n"
                       "a Quilmora server. A test tool: the login travels in plain text.\n"
                       "\n"
                       "Options:\n"
                       "  --port N        the port to listen on (default 35000; 0 picks a free one)\n"
                       "  --user U        the login's user name (default zerevovu)\n"
                       "  --password P    the login's password (default zerevovu)\n"
                       "  --file NAME     the configuration file in FOLDER (default quilmora.ini)\n"
                       "\n"
                       "GET sends the file; PUT after an accepted login replaces it atomically. Every\n"
                       "exchange is logged on standard output; Ctrl+C ends the server.\n"
                       "\n"
                       "Exit status: 1 when the port cannot be opened, 2 on a usage error.\n",
                       stdout);
            return 0;
        }
        if (a == QLatin1String("--port") && hasValue) {
            bool ok = false;
            port = args.at(++i).toInt(&ok);
            if (!ok || port < 0 || port > 65535)
                return usage("--port needs a port number");
        } else if (a == QLatin1String("--user") && hasValue) {
            user = args.at(++i).toLocal8Bit();
        } else if (a == QLatin1String("--password") && hasValue) {
            password = args.at(++i).toLocal8Bit();
        } else if (a == QLatin1String("--file") && hasValue) {
            fileName = args.at(++i);
        } else if (a.startsWith(QLatin1String("--")) || !folder.isEmpty()) {
            return usage("unexpected argument");
        } else {
            folder = a;
        }
    }
    if (folder.isEmpty())
        return usage("no FOLDER given");
    if (!QDir(folder).exists())
        return usage("FOLDER does not exist");

    const QString path = QDir(folder).absoluteFilePath(fileName);
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "quilmora-test-server: cannot listen on 127.0.0.1:%d: %s\n", port,
                     qPrintable(server.errorString()));
        return 1;
    }
    log(QStringLiteral("serving %1 on 127.0.0.1:%2 (login %3 / %4); Ctrl+C ends")
            .arg(path)
            .arg(server.serverPort())
            .arg(QString::fromLocal8Bit(user), QString::fromLocal8Bit(password)));
    const QByteArray expectedAuth = "AUTH " + user + ' ' + password;
    for (;;) {
        if (!server.waitForNewConnection(-1))
            return 1;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        if (socket)
            serve(*socket, expectedAuth, path);
    }
}
