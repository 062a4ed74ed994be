// Fetch and return of the configuration against a loopback server that records every
// byte: the exact wire bytes, the reply rules, every failure text, the local copy, the
// busy cursor and the connection left closed on every way out.
#include "support/LoopbackConfigServer.h"
#include "support/ScriptedPrompts.h"
#include "support/StalledListener.h"
#include "support/TestFiles.h"
#include "platform/BusyCursor.h"
#include "remote/TRemoteInfo.h"
#include "remote/TransferMonitor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using Script = LoopbackConfigServer::Script;

namespace {

class CountingCursor : public BusyCursor
{
public:
    int shown = 0;
    int restored = 0;
    void show() override { ++shown; }
    void restore() override { ++restored; }
};

// Reaches the loopback server whatever the host text says, so that host texts naming no
// machine still get as far as the file.
class LoopbackRemoteInfo : public TRemoteInfo
{
public:
    using TRemoteInfo::TRemoteInfo;

protected:
    QString connectAddress() const override { return QStringLiteral("127.0.0.1"); }
};

QByteArray someBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

const QByteArray Config = "[SERVER]\r\nPort=119\r\nName=Office\r\n";

} // namespace

class TestRemoteInfo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fetch_data();
    void fetch();
    void fetchRefused_data();
    void fetchRefused();
    void fetchFailureKeepsCopy_data();
    void fetchFailureKeepsCopy();
    void fetchOverallLimit();
    void monitorCancels();
    void connectingEnds_data();
    void connectingEnds();
    void fetchSilentServerTimesOut();
    void fetchUnusableHostFailsOnTheFile_data();
    void fetchUnusableHostFailsOnTheFile();
    void fetchIntoUncreatableCopy();
    void putSendsExactBytes_data();
    void putSendsExactBytes();
    void putWithoutLocalCopy();
    void loginIsSentUnchanged();
    void lineBreakInLoginIsRefused_data();
    void lineBreakInLoginIsRefused();
    void connectFailure_data();
    void connectFailure();
    void largeRoundTrip();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    ScriptedPrompts m_prompts;
    CountingCursor m_cursor;
    std::unique_ptr<TRemoteInfo> m_remote;

    void useServer(const LoopbackConfigServer &server) { m_remote->Port = server.port(); }
    QString copyPath() const { return m_folder + QStringLiteral("127.0.0.1"); }
    void verifyCursorRestored() const
    {
        QCOMPARE(m_cursor.shown, 1);
        QCOMPARE(m_cursor.restored, 1);
    }
};

void TestRemoteInfo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("prog")));
    m_folder = m_dir->path() + QStringLiteral("/prog/");
    m_prompts = ScriptedPrompts();
    m_cursor = CountingCursor();
    m_remote = std::make_unique<TRemoteInfo>(m_prompts, &m_cursor);
    m_remote->Host = QStringLiteral("127.0.0.1");
    m_remote->User = "admin";
    m_remote->Password = "secret";
    m_remote->setTimeout(5000);
}

void TestRemoteInfo::cleanup()
{
    m_remote.reset();
    m_dir.reset();
}

void TestRemoteInfo::fetch_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("stale");

    QTest::newRow("one-line 200") << QByteArray("200 OK\r\n") << Config << QByteArray();
    QTest::newRow("multi-line 200") << QByteArray("200-Welcome\r\n200-Quilmora\r\n200 OK\r\n") << Config
                                    << QByteArray();
    QTest::newRow("blank lines before the reply") << QByteArray("\r\n\r\n  \r\n200 OK\r\n") << Config
                                                  << QByteArray();
    QTest::newRow("stale copy replaced") << QByteArray("200 OK\r\n") << QByteArray("[SERVER]\r\n")
                                         << QByteArray("[SERVER]\r\nName=an older and longer file\r\n");
    QTest::newRow("any bytes after a section line") << QByteArray("200 OK\r\n")
                                                    << QByteArray("[SERVER]\r\n\xff\r\n\x1a") << QByteArray();
}

void TestRemoteInfo::fetch()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, stale);
    if (!stale.isNull())
        QVERIFY(TestFiles::write(copyPath(), stale));

    LoopbackConfigServer server({Script().line().send(reply).line().sendBlock(content)});
    useServer(server);
    QCOMPARE(m_remote->GetConfig(m_folder), QStringLiteral("127.0.0.1"));
    QVERIFY(server.wait());

    QCOMPARE(server.received(0), QByteArray("AUTH admin secret\r\nGET\r\n"));
    QCOMPARE(TestFiles::read(copyPath()), content);
    QCOMPARE(m_prompts.shown, QStringList());
    verifyCursorRestored();
}

void TestRemoteInfo::fetchRefused_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");

    QTest::newRow("500") << QByteArray("500 Bad login\r\n") << QStringLiteral("Bad login");
    QTest::newRow("multi-line 530") << QByteArray("530-Login refused\r\n530 try again\r\n")
                                    << QStringLiteral("Login refused\r\ntry again");
    QTest::newRow("no code") << QByteArray("Go away\r\n") << QStringLiteral("way");
}

void TestRemoteInfo::fetchRefused()
{
    QFETCH(QByteArray, reply);
    QVERIFY(TestFiles::write(copyPath(), Config));

    LoopbackConfigServer server({Script().line().send(reply)});
    useServer(server);
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QVERIFY(server.wait());

    // No GET follows a refused login, and the copy of an earlier run is left alone.
    QCOMPARE(server.received(0), QByteArray("AUTH admin secret\r\n"));
    QFETCH(QString, message);
    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: ") + message});
    QCOMPARE(TestFiles::read(copyPath()), Config);
    verifyCursorRestored();
}

void TestRemoteInfo::fetchFailureKeepsCopy_data()
{
    QTest::addColumn<QByteArray>("afterGet");
    QTest::addColumn<QString>("message");

    const QByteArray content = someBytes(100);
    QTest::newRow("closed after GET") << QByteArray() << QStringLiteral("Connection Closed Gracefully.");
    QTest::newRow("closed inside the length") << QByteArray("\0\0", 2)
                                              << QStringLiteral("Connection Closed Gracefully.");
    QTest::newRow("closed after the length")
        << LoopbackConfigServer::lengthBytes(100)
        << QStringLiteral("Connection Closed Gracefully.\r\n0 of 100 bytes arrived; the local copy was left as it was.");
    QTest::newRow("closed in the middle of the block")
        << LoopbackConfigServer::lengthBytes(100) + content.left(40)
        << QStringLiteral("Connection Closed Gracefully.\r\n40 of 100 bytes arrived; the local copy was left as it was.");
    QTest::newRow("one byte short")
        << LoopbackConfigServer::lengthBytes(100) + content.left(99)
        << QStringLiteral("Connection Closed Gracefully.\r\n99 of 100 bytes arrived; the local copy was left as it was.");
    QTest::newRow("empty block") << LoopbackConfigServer::lengthBytes(0)
                                 << QStringLiteral("The server sent an empty configuration; the local copy was left as it was.");
    const QString notConfig = QStringLiteral("What the server sent is not a configuration file (no section line, or a "
                                             "NUL byte); the local copy was left as it was.");
    QTest::newRow("binary block") << LoopbackConfigServer::lengthBytes(5) + QByteArray("\x00\xff\r\n\x1a", 5) << notConfig;
    QTest::newRow("no section line") << LoopbackConfigServer::lengthBytes(12) + "Name=Office\n" << notConfig;
    QTest::newRow("NUL after a section line")
        << LoopbackConfigServer::lengthBytes(12) + QByteArray("[SERVER]\r\n\0x", 12) << notConfig;
    QTest::newRow("negative length") << LoopbackConfigServer::lengthBytes(-5) + "abcde"
                                     << QStringLiteral("The server announced a configuration of -5 bytes; nothing was received.");
}

// Whatever way a fetch fails, the local copy of the earlier fetch stays byte for byte, and
// no temporary file is left beside it.
void TestRemoteInfo::fetchFailureKeepsCopy()
{
    QFETCH(QByteArray, afterGet);
    QFETCH(QString, message);
    const QByteArray previous = "[SERVER]\r\nName=the copy of an earlier fetch\r\n";
    QVERIFY(TestFiles::write(copyPath(), previous));

    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().send(afterGet).close()});
    useServer(server);
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QVERIFY(server.wait());

    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: ") + message});
    QCOMPARE(TestFiles::read(copyPath()), previous);
    QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("127.0.0.1")});
    verifyCursorRestored();
}

// A server that keeps sending, but too slowly, is given up on at the overall limit even
// though no single wait comes near the limit between two pieces.
void TestRemoteInfo::fetchOverallLimit()
{
    QVERIFY(TestFiles::write(copyPath(), Config));
    Script drip = Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(40));
    for (int i = 0; i < 40; ++i)
        drip.send("x").pause(100);
    LoopbackConfigServer server({drip});
    useServer(server);
    m_remote->setTimeout(5000);
    m_remote->setOverallLimit(1);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    server.wait();

    QCOMPARE(m_prompts.shown.size(), 1);
    QVERIFY2(m_prompts.shown.first().startsWith(
                 QStringLiteral("error: The transfer did not finish within 1 seconds.\r\n")),
             qPrintable(m_prompts.shown.first()));
    QVERIFY(m_prompts.shown.first().contains(QStringLiteral(" of 40 bytes arrived")));
    QCOMPARE(TestFiles::read(copyPath()), Config);
    verifyCursorRestored();
}

// The monitor sees the progress of the block and its Cancel ends the transfer as any
// failure does.
void TestRemoteInfo::monitorCancels()
{
    struct CancelAfter : TransferMonitor
    {
        QList<qint64> totals;
        int begun = 0;
        int ended = 0;
        qint64 cancelAt = 0;
        void begin(Direction) override { ++begun; }
        bool progress(qint64 done, qint64 total) override
        {
            totals.append(total);
            return done < cancelAt;
        }
        void end() override { ++ended; }
    } monitor;
    monitor.cancelAt = 10;
    QVERIFY(TestFiles::write(copyPath(), Config));
    Script slow = Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(100));
    for (int i = 0; i < 20; ++i)
        slow.send("xxxxx").pause(20);
    LoopbackConfigServer server({slow});
    useServer(server);
    m_remote->setMonitor(&monitor);
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    server.wait();

    QCOMPARE(monitor.begun, 1);
    QCOMPARE(monitor.ended, 1);
    QVERIFY(monitor.totals.contains(-1));  // asked while the length was not known yet
    QVERIFY(monitor.totals.contains(100));
    QCOMPARE(m_prompts.shown.size(), 1);
    QVERIFY2(m_prompts.shown.first().startsWith(QStringLiteral("error: Transfer cancelled\r\n")),
             qPrintable(m_prompts.shown.first()));
    QCOMPARE(TestFiles::read(copyPath()), Config);
    verifyCursorRestored();
}

// Before the connection is made (a server whose backlog is full never completes it),
// the overall limit and the monitor's Cancel end the wait all the same, long before the
// silence of the time-out would.
void TestRemoteInfo::connectingEnds_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("shown");
    QTest::newRow("overall limit") << false << QStringLiteral("error: The transfer did not finish within 1 seconds.");
    QTest::newRow("Cancel") << true << QStringLiteral("error: Transfer cancelled");
}

void TestRemoteInfo::connectingEnds()
{
    QFETCH(bool, cancel);
    QFETCH(QString, shown);
    StalledListener stalled;
    if (!stalled.stalls())
        QSKIP("this system completes connections to a listener with a full backlog");
    struct CancelLater : TransferMonitor
    {
        QElapsedTimer clock;
        int cancelAfterMs = -1;
        void begin(Direction) override { clock.start(); }
        bool progress(qint64, qint64) override { return cancelAfterMs < 0 || clock.elapsed() < cancelAfterMs; }
        void end() override {}
    } monitor;
    monitor.cancelAfterMs = cancel ? 300 : -1;
    QVERIFY(TestFiles::write(copyPath(), Config));
    m_remote->Port = stalled.port();
    m_remote->setTimeout(30000);
    m_remote->setOverallLimit(1);
    m_remote->setMonitor(&monitor);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    const qint64 took = clock.elapsed();
    QVERIFY2(took < (cancel ? 1200 : 2500), qPrintable(QString::number(took)));
    QCOMPARE(m_prompts.shown, QStringList{shown});
    QCOMPARE(TestFiles::read(copyPath()), Config);
    verifyCursorRestored();
}

void TestRemoteInfo::fetchSilentServerTimesOut()
{
    LoopbackConfigServer server({Script().line()});
    useServer(server);
    m_remote->setTimeout(300);
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QVERIFY(server.wait());

    QCOMPARE(m_prompts.shown.size(), 1);
    QVERIFY2(m_prompts.shown.first().startsWith(QStringLiteral("error: Socket Error # 110\r\n")),
             qPrintable(m_prompts.shown.first()));
    verifyCursorRestored();
}

void TestRemoteInfo::fetchUnusableHostFailsOnTheFile_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("dot dot") << QStringLiteral("..");
    QTest::newRow("climbing out") << QStringLiteral("../escaped");
    QTest::newRow("sub-folder") << QStringLiteral("sub/copy");
    QTest::newRow("absolute") << QStringLiteral("/tmp/quilmora-escaped");
    QTest::newRow("backslash") << QStringLiteral("..\\escaped");
    QTest::newRow("line break") << QStringLiteral("host\nname");
}

void TestRemoteInfo::fetchUnusableHostFailsOnTheFile()
{
    QFETCH(QString, host);
    LoopbackRemoteInfo remote(m_prompts, &m_cursor);
    remote.Host = host;
    remote.User = "admin";
    remote.Password = "secret";
    remote.setTimeout(5000);

    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
    remote.Port = server.port();
    QCOMPARE(remote.GetConfig(m_folder), QString());
    QVERIFY(server.wait());

    // The server heard AUTH and GET before the fetch failed on the file.
    QVERIFY(server.received(0).startsWith("AUTH admin secret\r\nGET\r\n"));
    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: Cannot create file ") + m_folder + host});
    // Nothing was written anywhere: the program's folder and its parent hold what they held.
    QCOMPARE(QDir(m_folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("prog")});
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/quilmora-escaped")));
    verifyCursorRestored();
}

void TestRemoteInfo::fetchIntoUncreatableCopy()
{
    // A folder where the copy should go: the stale "copy" cannot be deleted, so creating fails.
    QVERIFY(QDir(m_folder).mkdir(QStringLiteral("127.0.0.1")));
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config)});
    useServer(server);
    QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QVERIFY(server.wait());
    QVERIFY(server.received(0).startsWith("AUTH admin secret\r\nGET\r\n"));
    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: Cannot create file ") + copyPath()});
    verifyCursorRestored();
}

void TestRemoteInfo::putSendsExactBytes_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("refusal"); // empty: accepted

    QTest::newRow("accepted") << QByteArray("200 OK\r\n") << Config << QString();
    // The block goes out all the same, but the server dropped it: that is a failure, told
    // in the server's words.
    QTest::newRow("refused login still sends the block") << QByteArray("500 Bad login\r\n") << Config
                                                         << QStringLiteral("Bad login");
    QTest::newRow("multi-line reply read whole") << QByteArray("\r\n250-a\r\n250 b\r\n") << Config
                                                 << QStringLiteral("a\r\nb");
    QTest::newRow("multi-line 200") << QByteArray("\r\n200-a\r\n200 b\r\n") << Config << QString();
    QTest::newRow("empty file") << QByteArray("200 OK\r\n") << QByteArray() << QString();
    QTest::newRow("binary content") << QByteArray("200 OK\r\n") << QByteArray("\x00\xff\r\n\x1a", 5) << QString();
}

void TestRemoteInfo::putSendsExactBytes()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, content);
    QVERIFY(TestFiles::write(copyPath(), content));

    QFETCH(QString, refusal);
    LoopbackConfigServer server({Script().line().send(reply).line().receiveBlock()});
    useServer(server);
    QCOMPARE(m_remote->PutConfig(m_folder), refusal.isEmpty());
    QVERIFY(server.wait());

    QCOMPARE(server.received(0), QByteArray("AUTH admin secret\r\nPUT\r\n") +
                                     LoopbackConfigServer::lengthBytes(qint32(content.size())) + content);
    QCOMPARE(m_prompts.shown, refusal.isEmpty() ? QStringList() : QStringList{QStringLiteral("error: ") + refusal});
    verifyCursorRestored();
}

void TestRemoteInfo::putWithoutLocalCopy()
{
    // The server must not be told PUT when there is nothing to send.
    LoopbackConfigServer server({Script()}, 300);
    useServer(server);
    QVERIFY(!m_remote->PutConfig(m_folder));
    QVERIFY(!server.wait());
    QCOMPARE(server.connections(), 0);
    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: Cannot open file ") + copyPath()});
    verifyCursorRestored();
}

void TestRemoteInfo::loginIsSentUnchanged()
{
    m_remote->User = "front desk";
    m_remote->Password = "two words";
    QVERIFY(TestFiles::write(copyPath(), Config));
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(Config),
                                 Script().line().send("200 OK\r\n").line().receiveBlock()});
    useServer(server);
    QCOMPARE(m_remote->GetConfig(m_folder), QStringLiteral("127.0.0.1"));
    QVERIFY(m_remote->PutConfig(m_folder));
    QVERIFY(server.wait());
    QCOMPARE(server.received(0), QByteArray("AUTH front desk two words\r\nGET\r\n"));
    QVERIFY(server.received(1).startsWith("AUTH front desk two words\r\nPUT\r\n"));
}

void TestRemoteInfo::lineBreakInLoginIsRefused_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("put");
    QTest::addColumn<QString>("message");

    const QString user = QStringLiteral("The user name holds a line break and cannot be sent to the server.");
    const QString password = QStringLiteral("The password holds a line break and cannot be sent to the server.");
    QTest::newRow("fetch, LF in the user") << QByteArray("admin\nPUT") << QByteArray("x") << false << user;
    QTest::newRow("fetch, CR in the password") << QByteArray("admin") << QByteArray("x\rGET") << false << password;
    QTest::newRow("return, CR LF in the password") << QByteArray("admin") << QByteArray("x\r\nPUT") << true << password;
    QTest::newRow("return, CR in the user") << QByteArray("a\rb") << QByteArray("x") << true << user;
}

void TestRemoteInfo::lineBreakInLoginIsRefused()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(bool, put);
    m_remote->User = user;
    m_remote->Password = password;
    QVERIFY(TestFiles::write(copyPath(), Config));

    LoopbackConfigServer server({Script()}, 300);
    useServer(server);
    if (put)
        QVERIFY(!m_remote->PutConfig(m_folder));
    else
        QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QVERIFY(!server.wait());
    QCOMPARE(server.connections(), 0);
    QFETCH(QString, message);
    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: ") + message});
    QCOMPARE(TestFiles::read(copyPath()), Config);
    verifyCursorRestored();
}

void TestRemoteInfo::connectFailure_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("put");
    QTest::addColumn<QString>("prefix");

    QTest::newRow("fetch, port 0") << QStringLiteral("127.0.0.1") << 0 << false
                                   << QStringLiteral("Socket Error # 111\r\n");
    QTest::newRow("return, port 0") << QStringLiteral("127.0.0.1") << 0 << true
                                    << QStringLiteral("Socket Error # 111\r\n");
    QTest::newRow("port out of range") << QStringLiteral("127.0.0.1") << 70000 << false
                                       << QStringLiteral("Socket Error # 22\r\nInvalid port number 70000");
    QTest::newRow("negative port") << QStringLiteral("127.0.0.1") << -1 << true
                                   << QStringLiteral("Socket Error # 22\r\nInvalid port number -1");
    QTest::newRow("unknown host") << QStringLiteral("no-such-host.invalid") << 35000 << false
                                  << QStringLiteral("Socket Error # "); // the resolver decides which
}

void TestRemoteInfo::connectFailure()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, put);
    QFETCH(QString, prefix);
    m_remote->Host = host;
    m_remote->Port = port;
    QVERIFY(TestFiles::write(m_folder + host, Config));
    if (put)
        QVERIFY(!m_remote->PutConfig(m_folder));
    else
        QCOMPARE(m_remote->GetConfig(m_folder), QString());
    QCOMPARE(m_prompts.shown.size(), 1);
    QVERIFY2(m_prompts.shown.first().startsWith(QStringLiteral("error: ") + prefix), qPrintable(m_prompts.shown.first()));
    QCOMPARE(TestFiles::read(m_folder + host), Config);
    verifyCursorRestored();
}

void TestRemoteInfo::largeRoundTrip()
{
    // Several megabytes cross many reads and writes; every byte must arrive in order.
    QByteArray content = "[SERVER]\r\n" + someBytes(3 * 1024 * 1024 + 17);
    content.replace('\0', 'x'); // a configuration holds no NUL
    const QString source = m_dir->path() + QStringLiteral("/served");
    QVERIFY(TestFiles::write(source, content));
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendFileBlock(source),
                                 Script().line().send("200 OK\r\n").line().receiveBlock()});
    useServer(server);
    QCOMPARE(m_remote->GetConfig(m_folder), QStringLiteral("127.0.0.1"));
    QVERIFY(TestFiles::read(copyPath()) == content);
    QVERIFY(m_remote->PutConfig(m_folder));
    QVERIFY(server.wait());
    QCOMPARE(server.blocks().size(), 1);
    QVERIFY(server.blocks().first() == content);
}

QTEST_GUILESS_MAIN(TestRemoteInfo)
#include "tst_remoteinfo.moc"
