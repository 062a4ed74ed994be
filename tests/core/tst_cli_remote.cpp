// quilmora-config pull and push against the loopback server: output, exit status,
// messages on standard error, the bytes on the wire.
#include "support/CliRunner.h"
#include "support/LoopbackConfigServer.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <QTcpServer>

#include <poll.h>
#include <sys/stat.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Script = LoopbackConfigServer::Script;

namespace {

const QByteArray Config = "[SERVER]\r\nName=Office\r\n";

struct TerminalRun
{
    int status = -1;
    QByteArray shown; // everything the terminal showed
};

// Runs quilmora-config on a pseudo terminal (standard input, output and error), types
// `typed` once `prompt` has shown, and reads on until the program ends.
TerminalRun runOnTerminal(const QStringList &args, const QByteArray &prompt, const QByteArray &typed)
{
    std::vector<QByteArray> storage{QByteArray(QUILMORA_CLI_PATH)};
    for (const QString &a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    TerminalRun run;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return run;
    if (pid == 0) {
        unsetenv("QUILMORA_HOME");
        execv(argv[0], argv.data());
        _exit(127);
    }
    bool typedYet = false;
    for (int rounds = 0; rounds < 600; ++rounds) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[512];
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) // the program ended and closed the terminal
                break;
            run.shown.append(buffer, got);
        }
        if (!typedYet && run.shown.contains(prompt)) {
            typedYet = write(master, typed.constData(), size_t(typed.size())) == typed.size();
        }
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    close(master);
    return run;
}

} // namespace

class TestCliRemote : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pull();
    void pullRefused();
    void pullRefusesUnloadableBlock_data();
    void pullRefusesUnloadableBlock();
    void push();
    void pushWithoutLocalCopy();
    void pushAfterPull_data();
    void pushAfterPull();
    void pushRemembersWhatItReturned();
    void plantedRecord_data();
    void plantedRecord();
    void pushRefusedWhenCheckFails_data();
    void pushRefusedWhenCheckFails();
    void passwordAskedOnTerminal();
    void usageErrors_data();
    void usageErrors();

private:
    // `pull 127.0.0.1` into the test's folder from the server at `port`.
    CliRun pull(quint16 port) const
    {
        return runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("pull"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--port"), QString::number(port)});
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void TestCliRemote::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = m_dir->path();
}

void TestCliRemote::pull()
{
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/pw"), "s3cret\n"));
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
    const CliRun run = runCli(
        {QStringLiteral("--folder"), m_folder, QStringLiteral("pull"), QStringLiteral("127.0.0.1"),
         QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--user"),
         QStringLiteral("admin"), QStringLiteral("--password-file"), m_folder + QStringLiteral("/pw")});
    QVERIFY(server.wait());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, (m_folder + QStringLiteral("/127.0.0.1\n")).toUtf8());
    QCOMPARE(server.received(0), QByteArray("AUTH admin s3cret\r\nGET\r\n"));
    QCOMPARE(TestFiles::read(m_folder + QStringLiteral("/127.0.0.1")), Config);
}

void TestCliRemote::pullRefused()
{
    LoopbackConfigServer server({Script().line().send("500 Bad login\r\n")});
    const CliRun run = pull(server.port());
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("Bad login\n"));
    // Without --user and --password-file both are empty.
    QCOMPARE(server.received(0), QByteArray("AUTH  \r\n"));
}

// A block that is empty or would not load is refused: the good local copy stays byte for
// byte, and the message says why.
void TestCliRemote::pullRefusesUnloadableBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QByteArray>("why");
    QTest::newRow("empty") << QByteArray() << QByteArray("empty configuration");
    QTest::newRow("binary") << QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10) << QByteArray("not a configuration file");
    QTest::newRow("no section line") << QByteArray("Name=Office\r\n") << QByteArray("not a configuration file");
    QTest::newRow("a NUL after a section") << QByteArray("[SERVER]\r\nName=Off\0ice\r\n", 24)
                                           << QByteArray("not a configuration file");
}

void TestCliRemote::pullRefusesUnloadableBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(QByteArray, why);
    const QString copy = m_folder + QStringLiteral("/127.0.0.1");
    QVERIFY(TestFiles::write(copy, Config));
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(block)});
    const CliRun run = pull(server.port());
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains(why), run.err.constData());
    QVERIFY2(run.err.contains("left as it was"), run.err.constData());
    QCOMPARE(TestFiles::read(copy), Config);
    QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{QStringLiteral("127.0.0.1")});
}

void TestCliRemote::push()
{
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/127.0.0.1"), Config));
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().receiveBlock()});
    const CliRun run =
        runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("push"), QStringLiteral("127.0.0.1"),
                QStringLiteral("--port=") + QString::number(server.port()), QStringLiteral("--user=admin")});
    QVERIFY(server.wait());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(server.received(0),
             QByteArray("AUTH admin \r\nPUT\r\n") + LoopbackConfigServer::lengthBytes(Config.size()) + Config);
}

void TestCliRemote::pushWithoutLocalCopy()
{
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("push"),
                               QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QStringLiteral("1")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, (QStringLiteral("No configuration file at ") + m_folder + QStringLiteral("/127.0.0.1\n")).toUtf8());
}

// Pulls Config into the local copy 127.0.0.1, then puts `mine` in its place.
static bool pullThenEdit(const QString &folder, const QByteArray &mine)
{
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
    const CliRun run = runCli({QStringLiteral("--folder"), folder, QStringLiteral("pull"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("--port"), QString::number(server.port())});
    return server.wait() && run.status == 0 && TestFiles::write(folder + QStringLiteral("/127.0.0.1"), mine);
}

// After a pull, a push first fetches the server's configuration again and returns the copy
// only when the server still holds what was pulled, or with --force.
void TestCliRemote::pushAfterPull_data()
{
    QTest::addColumn<QByteArray>("onServer"); // what the server holds at the push
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("status");

    QTest::newRow("unchanged") << Config << false << 0;
    QTest::newRow("changed, same size") << QByteArray("[SERVER]\r\nName=Offic2\r\n") << false << 1;
    QTest::newRow("changed, emptied") << QByteArray() << false << 1;
    QTest::newRow("changed, forced") << QByteArray("[SERVER]\r\nName=Other\r\n") << true << 0;
}

void TestCliRemote::pushAfterPull()
{
    QFETCH(QByteArray, onServer);
    QFETCH(bool, force);
    QFETCH(int, status);
    const QByteArray mine = "[SERVER]\r\nName=Mine\r\n";
    QVERIFY(pullThenEdit(m_folder, mine));

    QList<Script> scripts;
    if (!force) // the check: log in, GET
        scripts.append(Script().line().send("200 OK\r\n").line().sendBlock(onServer));
    if (status == 0)
        scripts.append(Script().line().send("200 OK\r\n").line().receiveBlock());
    LoopbackConfigServer server(scripts);
    QStringList args{QStringLiteral("--folder"), m_folder, QStringLiteral("push"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--user"),
                     QStringLiteral("admin")};
    if (force)
        args.append(QStringLiteral("--force"));
    const CliRun run = runCli(args);
    QVERIFY(server.wait());
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, QByteArray());
    const QByteArray put = QByteArray("AUTH admin \r\nPUT\r\n") + LoopbackConfigServer::lengthBytes(mine.size()) + mine;
    if (!force)
        QCOMPARE(server.received(0), QByteArray("AUTH admin \r\nGET\r\n"));
    if (status == 0) {
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(server.received(force ? 0 : 1), put);
    } else {
        // Nothing but the GET reached the server; the local copy stays as edited.
        QCOMPARE(run.err, QByteArray("The configuration on 127.0.0.1 changed since it was pulled; the server's file "
                                     "was left as it is. Pull it again and redo the change, or push with --force "
                                     "to replace it.\n"));
        QCOMPARE(TestFiles::read(m_folder + QStringLiteral("/127.0.0.1")), mine);
    }
}

// A successful push makes the returned bytes the server's remembered state: the next push
// goes through when the server still holds them and is refused when it holds the pull's.
void TestCliRemote::pushRemembersWhatItReturned()
{
    const QByteArray first = "[SERVER]\r\nName=First\r\n";
    QVERIFY(pullThenEdit(m_folder, first));
    const QStringList push{QStringLiteral("--folder"), m_folder, QStringLiteral("push"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("--port")};
    {
        LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config),
                                     Script().line().send("200 OK\r\n").line().receiveBlock()});
        QCOMPARE(runCli(push + QStringList{QString::number(server.port())}).status, 0);
        QVERIFY(server.wait());
    }
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/127.0.0.1"), "[SERVER]\r\nName=Second\r\n"));
    {
        LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
        QCOMPARE(runCli(push + QStringList{QString::number(server.port())}).status, 1);
        QVERIFY(server.wait());
    }
    {
        LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(first),
                                     Script().line().send("200 OK\r\n").line().receiveBlock()});
        QCOMPARE(runCli(push + QStringList{QString::number(server.port())}).status, 0);
        QVERIFY(server.wait());
    }
}

// What may stand at "<host>.fetched" instead of a record, planted by anyone who can write
// the folder. A pull replaces it with a regular record (a folder excepted) and never writes
// or creates what a link points to; a push reads it without following a link or waiting on
// a FIFO, says the server cannot be checked and why, and sends nothing unless --force.
void TestCliRemote::plantedRecord_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("why"); // what push says about it
    QTest::newRow("link to an outside file") << "link" << QByteArray("is a symbolic link");
    QTest::newRow("dangling link") << "dangling" << QByteArray("is a symbolic link");
    QTest::newRow("FIFO") << "fifo" << QByteArray("is not a regular file");
    QTest::newRow("folder") << "folder" << QByteArray("is a folder");
    QTest::newRow("empty") << "empty" << QByteArray("is empty");
    QTest::newRow("garbled") << "garbled" << QByteArray("does not hold a record of the last fetch");
    QTest::newRow("huge") << "huge" << QByteArray("is larger than a record of the last fetch can be");
}

void TestCliRemote::plantedRecord()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, why);
    QTemporaryDir outside;
    const QString target = outside.filePath(QStringLiteral("passwd"));
    const QByteArray targetBytes = "root:x:0:0:root:/root:/bin/bash\nnobody:x:65534:65534::/:/bin/false\n";
    QVERIFY(TestFiles::write(target, targetBytes));
    const QString dangling = outside.filePath(QStringLiteral("created-by-nobody"));
    const QString copy = m_folder + QStringLiteral("/127.0.0.1");
    const QString record = copy + QStringLiteral(".fetched");
    const auto plant = [&] {
        QFile::remove(record);
        QDir(record).removeRecursively();
        if (kind == QLatin1String("link"))
            return QFile::link(target, record);
        if (kind == QLatin1String("dangling"))
            return QFile::link(dangling, record);
        if (kind == QLatin1String("fifo"))
            return ::mkfifo(QFile::encodeName(record).constData(), 0600) == 0;
        if (kind == QLatin1String("folder"))
            return QDir().mkdir(record);
        if (kind == QLatin1String("empty"))
            return TestFiles::write(record, QByteArray());
        if (kind == QLatin1String("garbled"))
            return TestFiles::write(record, "12 not-a-digest\n");
        return TestFiles::write(record, QByteArray(1024 * 1024, '7'));
    };
    const auto outsideUntouched = [&] {
        return TestFiles::read(target) == targetBytes && !QFileInfo::exists(dangling) &&
               QDir(outside.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries) == QStringList{QStringLiteral("passwd")};
    };

    // pull: the copy arrives, and the record takes the planted thing's place.
    QVERIFY(plant());
    {
        LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
        const CliRun run = pull(server.port());
        QVERIFY(server.wait());
        QCOMPARE(run.status, 0);
        QCOMPARE(TestFiles::read(copy), Config);
        QVERIFY(outsideUntouched());
        if (kind == QLatin1String("folder")) {
            QVERIFY(QFileInfo(record).isDir());
        } else {
            QVERIFY(!QFileInfo(record).isSymLink());
            QVERIFY(QFileInfo(record).isFile());
            QCOMPARE(TestFiles::read(record), QByteArray::number(Config.size()) + ' ' +
                                                  QCryptographicHash::hash(Config, QCryptographicHash::Sha256).toHex() + '\n');
        }
    }

    // push: refused before connecting, with the reason.
    QVERIFY(plant());
    const QStringList push{QStringLiteral("--folder"), m_folder, QStringLiteral("push"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--port")};
    {
        LoopbackConfigServer server(QList<Script>{});
        const CliRun run = runCli(push + QStringList{QString::number(server.port())});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.startsWith("The configuration on 127.0.0.1 cannot be checked for changes made since it was "
                                    "pulled, so nothing was sent: "),
                 run.err.constData());
        QVERIFY2(run.err.contains(QFile::encodeName(record) + ' ' + why), run.err.constData());
        QVERIFY2(run.err.contains("push with --force"), run.err.constData());
        QCOMPARE(server.connections(), 0);
        QVERIFY(outsideUntouched());
    }
    // push --force sends the copy, and the record of what it sent replaces the planted thing.
    {
        LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().receiveBlock()});
        const CliRun run = runCli(push + QStringList{QString::number(server.port()), QStringLiteral("--force")});
        QVERIFY(server.wait());
        QCOMPARE(run.status, 0);
        QCOMPARE(server.blocks(), QList<QByteArray>{Config});
        QVERIFY(outsideUntouched());
        QCOMPARE(QFileInfo(record).isFile() && !QFileInfo(record).isSymLink(), kind != QLatin1String("folder"));
    }
}

// The push's check is a fetch of its own. When it fails, nothing is sent: the message says
// the server cannot be checked and why, and the status is 1.
void TestCliRemote::pushRefusedWhenCheckFails_data()
{
    QTest::addColumn<QList<Script>>("check"); // the check's connection; none: nobody listens
    QTest::addColumn<QByteArray>("why");
    QTest::newRow("login refused") << QList<Script>{Script().line().send("530 Bad login\r\n")}
                                   << QByteArray("Bad login");
    QTest::newRow("socket error") << QList<Script>{} << QByteArray("Socket Error # 111");
    QTest::newRow("negative length")
        << QList<Script>{Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(-5))}
        << QByteArray("-5 bytes");
    QTest::newRow("short block")
        << QList<Script>{Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(100) + "[SERVER]").close()}
        << QByteArray("Connection Closed Gracefully.");
    QTest::newRow("time limit") << QList<Script>{Script().line().send("200 OK\r\n").line().pause(2500).sendBlock(Config)}
                                << QByteArray("did not finish within 1 seconds");
}

void TestCliRemote::pushRefusedWhenCheckFails()
{
    QFETCH(QList<Script>, check);
    QFETCH(QByteArray, why);
    const QByteArray mine = "[SERVER]\r\nName=Mine\r\n";
    QVERIFY(pullThenEdit(m_folder, mine));
    quint16 port = 0;
    std::unique_ptr<LoopbackConfigServer> server;
    if (check.isEmpty()) {
        QTcpServer closed; // a port where nobody listens any more
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    } else {
        server = std::make_unique<LoopbackConfigServer>(check);
        port = server->port();
    }
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("push"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("--port"), QString::number(port), QStringLiteral("--timeout"),
                               QStringLiteral("1")});
    if (server)
        QVERIFY(server->wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("The configuration on 127.0.0.1 cannot be checked for changes made since it was "
                                "pulled, so nothing was sent: "),
             run.err.constData());
    QVERIFY2(run.err.contains(why), run.err.constData());
    QVERIFY2(run.err.endsWith("push with --force to send the local copy without the check.\n"), run.err.constData());
    // Only the check's GET reached the server; no PUT, no block.
    if (server) {
        QCOMPARE(server->connections(), 1);
        QVERIFY(!server->received(0).contains("PUT"));
        QCOMPARE(server->blocks(), QList<QByteArray>());
    }
    QCOMPARE(TestFiles::read(m_folder + QStringLiteral("/127.0.0.1")), mine);
}

// Without --password-file a person at a terminal is asked; what is typed does not show.
void TestCliRemote::passwordAskedOnTerminal()
{
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
    const TerminalRun run = runOnTerminal({QStringLiteral("--folder"), m_folder, QStringLiteral("pull"),
                                           QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                           QString::number(server.port()), QStringLiteral("--user"), QStringLiteral("admin")},
                                          "Password for 127.0.0.1: ", "s3cret\n");
    QVERIFY(server.wait());
    QCOMPARE(run.status, 0);
    QVERIFY2(run.shown.startsWith("Password for 127.0.0.1: "), run.shown.constData());
    QVERIFY2(!run.shown.contains("s3cret"), run.shown.constData());
    QVERIFY(run.shown.contains(QStringLiteral("%1/127.0.0.1").arg(m_folder).toUtf8()));
    QCOMPARE(server.received(0), QByteArray("AUTH admin s3cret\r\nGET\r\n"));
}

void TestCliRemote::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no host") << QStringList{QStringLiteral("pull")};
    QTest::newRow("two hosts") << QStringList{QStringLiteral("push"), QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("port not a number") << QStringList{QStringLiteral("pull"), QStringLiteral("a"),
                                                      QStringLiteral("--port"), QStringLiteral("x")};
    QTest::newRow("port without value") << QStringList{QStringLiteral("pull"), QStringLiteral("a"), QStringLiteral("--port")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("push"), QStringLiteral("a"), QStringLiteral("--pass")};
    QTest::newRow("--file") << QStringList{QStringLiteral("--file"), QStringLiteral("x.ini"), QStringLiteral("pull"),
                                           QStringLiteral("a")};
}

void TestCliRemote::usageErrors()
{
    QFETCH(QStringList, args);
    const CliRun run = runCli(QStringList{QStringLiteral("--folder"), m_folder} + args);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains("usage: quilmora-config"), run.err.constData());
    QCOMPARE(QDir(m_folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

QTEST_GUILESS_MAIN(TestCliRemote)
#include "tst_cli_remote.moc"
