// quilmora-config pull and push against the loopback server: output, exit status,
// messages on standard error, the bytes on the wire.
#include "support/CliRunner.h"
#include "support/LoopbackConfigServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Script = LoopbackConfigServer::Script;

namespace {

const QByteArray Config = "[SERVER]\r\nName=Office\r\n";

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
    QCOMPARE(run.err, (QStringLiteral("Cannot open file ") + m_folder + QStringLiteral("/127.0.0.1\n")).toUtf8());
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
