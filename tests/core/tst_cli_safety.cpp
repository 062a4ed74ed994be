// quilmora-config and the administrator's data: bad files refused with nothing written, a
// configuration that cannot pull a file of this machine to the server, a refused return
// reported as a failure, the overall transfer limit, and server text that cannot drive
// the terminal.
#include "config/PasswordDigest.h"
#include "support/CliRunner.h"
#include "support/LoopbackConfigServer.h"
#include "support/StalledListener.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

using Script = LoopbackConfigServer::Script;

class TestCliSafety : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void badFileRefused_data();
    void badFileRefused();
    void byteOrderMark();
    void noFileOfThisMachineReachesTheServer();
    void ownConfigurationReadsNoConfiguration();
    void pushRefusedIsAFailure();
    void overallLimit_data();
    void overallLimit();
    void serverTextIsEscaped();

private:
    QStringList remoteArgs(const char *command, const LoopbackConfigServer &server) const
    {
        return {QStringLiteral("--folder"), m_folder, QString::fromLatin1(command), QStringLiteral("127.0.0.1"),
                QStringLiteral("--port"), QString::number(server.port())};
    }
    QStringList entries() const
    {
        QStringList list = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        list.sort();
        return list;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void TestCliSafety::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("server")));
    m_folder = m_dir->filePath(QStringLiteral("server"));
}

void TestCliSafety::badFileRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray utf16("\xFF\xFE[\0S\0E\0R\0V\0E\0R\0]\0", 18);
    for (const char *command : {"normalize", "dump"}) {
        const QString c = QString::fromLatin1(command);
        QTest::addRow("%s: UTF-16", command) << c << utf16 << QStringLiteral(" is not a configuration file");
        QTest::addRow("%s: NUL", command) << c << QByteArray("[SERVER]\0", 9) << QStringLiteral(" is not a configuration file");
        QTest::addRow("%s: no section", command) << c << QByteArray("#!/bin/sh\nrm -rf /tmp/x\n")
                                                 << QStringLiteral(" is not a configuration file");
        QTest::addRow("%s: FIFO", command) << c << QByteArray() << QStringLiteral(" is not a regular file");
    }
}

// normalize on a file that is not a configuration (a mistyped --file) fails and writes
// nothing; a FIFO neither blocks nor is read.
void TestCliSafety::badFileRefused()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = m_folder + QStringLiteral("/notes.txt");
    if (bytes.isEmpty())
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(TestFiles::write(path, bytes));
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("--file"),
                               QStringLiteral("notes.txt"), command});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err), path + message + QLatin1Char('\n'));
    if (!bytes.isEmpty())
        QCOMPARE(TestFiles::read(path), bytes);
    QCOMPARE(entries(), QStringList{QStringLiteral("notes.txt")});
}

// A configuration saved by Notepad, with a byte-order mark: normalize keeps every digest
// (the file is not taken for the old format) and writes no mark.
void TestCliSafety::byteOrderMark()
{
    const QString path = m_folder + QStringLiteral("/quilmora.ini");
    QVERIFY(TestFiles::write(path, "\xEF\xBB\xBF[SERVER]\r\nVersion=1.05\r\nAdminPass=" +
                                       PasswordDigest("admin").toHex().toUpper() + "\r\n"));
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("normalize")});
    QCOMPARE(run.status, 0);
    const QByteArray saved = TestFiles::read(path);
    QVERIFY(saved.startsWith("[SERVER]\r\n"));
    QVERIFY(saved.contains("AdminPass=" + PasswordDigest("admin").toHex().toUpper() + "\r\n"));
}

// A server hands out an old-format configuration naming files of this machine and files
// of the folder (another server's local copy, the folder's own configuration, its backup):
// pull, normalize --file HOST and push never send their content back. A local copy reads
// no file at all, and the load names each one it passed over.
void TestCliSafety::noFileOfThisMachineReachesTheServer()
{
    const QString secret = m_dir->filePath(QStringLiteral("id_rsa"));
    QVERIFY(TestFiles::write(secret, "PRIVATE KEY\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/reply.txt"), "Thanks\n"));
    const QByteArray otherPass = QByteArray("other-secret").toHex().toUpper();
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/other-server.example"),
                             "[SERVER]\r\nAdminUser=admin\r\nSMTPUserPass=" + otherPass + "\r\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini"), "[SERVER]\r\nName=Own " + otherPass + "\r\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini.bak"), "[SERVER]\r\nName=Bak " + otherPass + "\r\n"));
    const QByteArray served = "[SERVER]\r\nName=Office\r\n"
                              "[POP1]\r\nUserID=a\r\nAutoReplyFile=" + QFile::encodeName(secret) + "\r\n"
                              "[POP2]\r\nUserID=b\r\nAutoReplyFile=reply.txt\r\n"
                              "[POP3]\r\nUserID=c\r\nAutoReplyFile=other-server.example\r\n"
                              "[POP4]\r\nUserID=d\r\nAutoReplyFile=./../" + QFileInfo(m_folder).fileName().toUtf8() + "/quilmora.ini\r\n"
                              "[GROUP1]\r\nName=g\r\nKeyListFile=/etc/passwd\r\n"
                              "[GROUP2]\r\nName=h\r\nKeyListFile=quilmora.ini.bak\r\n";
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(served),
                                 Script().line().send("200 OK\r\n").line().sendBlock(served),
                                 Script().line().send("200 OK\r\n").line().receiveBlock()});
    QCOMPARE(runCli(remoteArgs("pull", server)).status, 0);

    const CliRun normalize = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("--file"),
                                     QStringLiteral("127.0.0.1"), QStringLiteral("normalize")},
                                    QDir::rootPath());
    QCOMPARE(normalize.status, 0);
    // The load says which names it passed over.
    for (const QByteArray &name : {"POP1 AutoReplyFile=" + QFile::encodeName(secret), QByteArray("POP2 AutoReplyFile=reply.txt"),
                                   QByteArray("POP3 AutoReplyFile=other-server.example"), QByteArray("GROUP1 KeyListFile=/etc/passwd"),
                                   QByteArray("GROUP2 KeyListFile=quilmora.ini.bak")})
        QVERIFY2(normalize.err.contains(name), normalize.err.constData());

    QCOMPARE(runCli(remoteArgs("push", server)).status, 0);
    QVERIFY(server.wait());
    const QByteArray sent = server.blocks().value(0);
    QVERIFY(!sent.isEmpty());
    for (const QByteArray &leak : {QByteArray("PRIVATE KEY").toHex().toUpper(), QByteArray("root:").toHex().toUpper(),
                                   QByteArray("Thanks").toHex().toUpper(), otherPass, otherPass.toHex().toUpper(),
                                   QByteArray("[SERVER]").toHex().toUpper()})
        QVERIFY2(!sent.contains(leak), leak.constData());
    QVERIFY(!sent.contains("AutoReplyBody=4"));
    QVERIFY(sent.contains("KeyList=\r\n"));
}

// The folder's own configuration reads the files it names inside the folder, but never one
// that holds a configuration (its own backup here).
void TestCliSafety::ownConfigurationReadsNoConfiguration()
{
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini.bak"), "[SERVER]\r\nAdminPass=00FF\r\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/keys.txt"), "alpha\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini"),
                             "[SERVER]\r\nName=Office\r\n[POP1]\r\nUserID=a\r\nAutoReplyFile=quilmora.ini.bak\r\n"
                             "[GROUP1]\r\nName=g\r\nKeyListFile=keys.txt\r\n"));
    const CliRun dump = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("dump")});
    QCOMPARE(dump.status, 0);
    QVERIFY2(dump.err.contains("POP1 AutoReplyFile=quilmora.ini.bak"), dump.err.constData());
    QVERIFY(dump.out.contains("\"AutoReplyBody\": \"\""));
    QVERIFY(dump.out.contains("\"KeyList\": \"alpha\\r\\n\""));
}

// A return whose login the server refused is a failure in the server's words, though the
// block was sent all the same.
void TestCliSafety::pushRefusedIsAFailure()
{
    const QByteArray config = "[SERVER]\r\nName=Office\r\n";
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/127.0.0.1"), config));
    LoopbackConfigServer server({Script().line().send("500 Not allowed\r\n").line().receiveBlock()});
    const CliRun run = runCli(remoteArgs("push", server));
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("Not allowed\n"));
    QCOMPARE(server.blocks(), QList<QByteArray>{config});
}

// --timeout ends the whole transfer, however the server stalls it: a server that drips
// its block, one that takes the login and never answers, one that never completes the
// connection. The previous copy stays.
void TestCliSafety::overallLimit_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QByteArray>("alsoSaid");
    QTest::newRow("dripping block") << QStringLiteral("drip") << QByteArray(" of 100 bytes arrived");
    QTest::newRow("silent after the login") << QStringLiteral("silent") << QByteArray();
    QTest::newRow("connection never made") << QStringLiteral("stalled") << QByteArray();
}

void TestCliSafety::overallLimit()
{
    QFETCH(QString, server);
    QFETCH(QByteArray, alsoSaid);
    const QString copy = m_folder + QStringLiteral("/127.0.0.1");
    QVERIFY(TestFiles::write(copy, "[SERVER]\r\n"));
    Script drip = Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(100));
    for (int i = 0; i < 100; ++i)
        drip.send("x").pause(50);
    std::unique_ptr<LoopbackConfigServer> loopback;
    StalledListener stalled;
    quint16 port = stalled.port();
    if (server == QLatin1String("stalled")) {
        if (!stalled.stalls())
            QSKIP("this system completes connections to a listener with a full backlog");
    } else {
        loopback = std::make_unique<LoopbackConfigServer>(QList<Script>{server == QLatin1String("drip") ? drip
                                                                                                   : Script().line()});
        port = loopback->port();
    }
    QStringList args = {QStringLiteral("--folder"), m_folder, QStringLiteral("pull"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--port"), QString::number(port), QStringLiteral("--timeout"), QStringLiteral("1")};
    QElapsedTimer clock;
    clock.start();
    const CliRun run = runCli(args);
    const qint64 took = clock.elapsed();
    if (loopback)
        loopback->wait();
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("The transfer did not finish within 1 seconds."), run.err.constData());
    QVERIFY(run.err.contains(alsoSaid));
    QVERIFY2(took < 4000, qPrintable(QString::number(took))); // the default silence would be 60 s
    QCOMPARE(TestFiles::read(copy), QByteArray("[SERVER]\r\n"));

    args.removeLast();
    args << QStringLiteral("0");
    QCOMPARE(runCli(args).status, 2);
}

// Escape sequences in what the server says are shown, not passed to the terminal.
void TestCliSafety::serverTextIsEscaped()
{
    LoopbackConfigServer server({Script().line().send("500 \x1b]0;owned\x07\x1b[31mred\r\n")});
    const CliRun run = runCli(remoteArgs("pull", server));
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("\\x1b]0;owned\\x07\\x1b[31mred\n"));
}

QTEST_GUILESS_MAIN(TestCliSafety)
#include "tst_cli_safety.moc"
