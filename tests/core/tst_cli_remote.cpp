// quilmora-config pull and push against the loopback server: output, exit status,
// messages on standard error, the bytes on the wire.
#include "support/CliRunner.h"
#include "support/LoopbackConfigServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
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
    void push();
    void pushWithoutLocalCopy();
    void pushAfterPull_data();
    void pushAfterPull();
    void pushRemembersWhatItReturned();
    void passwordAskedOnTerminal();
    void usageErrors_data();
    void usageErrors();

private:
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
    const CliRun run =
        runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("pull"), QStringLiteral("127.0.0.1"),
                QStringLiteral("--port"), QString::number(server.port())});
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("Bad login\n"));
    // Without --user and --password-file both are empty.
    QCOMPARE(server.received(0), QByteArray("AUTH  \r\n"));
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
