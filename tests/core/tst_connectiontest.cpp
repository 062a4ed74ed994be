// The connection tests against scripted loopback POP3 and SMTP servers: one table of
// server behaviours against the verdicts, the password kept out of everything shown, the
// deadlines of a step and of a whole test, Cancel, many accounts side by side within the
// limit, and the test message.
#include "config/ServerSettings.h"
#include "config/TextCodec.h"
#include "services/ConnectionTest.h"
#include "support/LoopbackMailServer.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTcpServer>
#include <QTest>
#include <atomic>

using namespace ConnectionTest;
using Behaviour = LoopbackMailServer::Behaviour;

Q_DECLARE_METATYPE(LoopbackMailServer::Behaviour)
Q_DECLARE_METATYPE(ConnectionTest::Verdict)

namespace {

// Unique, so that any appearance of it in what the tests produce is a leak.
const QByteArray Password = "Zq7!unique-PW#81x";
const QByteArray User = "mailbox.user";

QByteArray plainBlob()
{
    return QByteArray(1, '\0') + User + QByteArray(1, '\0') + Password;
}

// Every Qt message logged while a test runs.
QMutex logMutex;
QStringList logged;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    {
        QMutexLocker lock(&logMutex);
        logged.append(text);
    }
    if (previousHandler)
        previousHandler(type, context, text);
}

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

Options quickOptions()
{
    Options o;
    o.stepTimeoutMs = 600;
    o.testTimeoutMs = 2000;
    o.heloName = QStringLiteral("tester");
    return o;
}

Target target(Kind kind, const QString &host, int port)
{
    Target t;
    t.kind = kind;
    t.index = kind == Kind::Pop ? 0 : -1;
    t.item = kind == Kind::Pop ? QStringLiteral("pop:mailbox.user/") + host : QStringLiteral("server.smtp");
    t.host = host;
    t.port = port;
    t.user = QString::fromLatin1(User);
    t.userBytes = User;
    t.password = Password;
    return t;
}

// Everything a result shows, in every form it is shown in.
QByteArray everythingShown(const Result &r)
{
    return json({r}) + table({r}).toUtf8() + stepsText(r).toUtf8();
}

void verifyNoSecret(const QByteArray &text)
{
    for (const QByteArray &secret : {Password, Password.toBase64(), plainBlob().toBase64()}) {
        if (text.contains(secret))
            QFAIL(qPrintable(QStringLiteral("a password form appears in: ") + QString::fromUtf8(text.left(4000))));
    }
}

} // namespace

class TestConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QMutexLocker lock(&logMutex);
        logged.clear();
        previousHandler = qInstallMessageHandler(captureMessage);
    }

    void cleanup() { qInstallMessageHandler(previousHandler); }

    void verdicts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<QString>("host"); // empty: the loopback server
        QTest::addColumn<bool>("closed");  // a port where nothing listens
        QTest::addColumn<int>("testTimeoutMs");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("failedStep"); // "*": any
        QTest::addColumn<QString>("shows");      // a text the result shows

        const int pop = int(Kind::Pop);
        const int smtp = int(Kind::Smtp);
        const Behaviour p = LoopbackMailServer::pop3();
        const Behaviour s = LoopbackMailServer::smtp();
        auto with = [](Behaviour b, auto change) {
            change(b);
            return b;
        };
        const QString none;

        QTest::newRow("pop accepts") << pop << p << none << false << 2000 << Verdict::Works << none
                                     << QStringLiteral("3 messages, 1200 octets");
        QTest::newRow("pop -ERR on PASS, echoing it")
            << pop << Behaviour(p).on("PASS", {"-ERR [AUTH] invalid password %ARG%\r\n"}) << none << false << 2000
            << Verdict::LoginRefused << QStringLiteral("PASS") << QStringLiteral("-ERR [AUTH] invalid password ****");
        QTest::newRow("pop -ERR on USER") << pop << Behaviour(p).on("USER", {"-ERR no mailbox %ARG%\r\n"}) << none
                                          << false << 2000 << Verdict::LoginRefused << QStringLiteral("USER")
                                          << QStringLiteral("-ERR no mailbox mailbox.user");
        QTest::newRow("pop silent after connect") << pop << with(p, [](Behaviour &b) { b.silent = true; }) << none
                                                  << false << 2000 << Verdict::NoAnswer << QStringLiteral("greeting")
                                                  << QStringLiteral("No answer within 600 ms.");
        QTest::newRow("pop greeting drips a byte a second")
            << pop << with(p, [](Behaviour &b) { b.dripMs = 1000; }) << none << false << 2000 << Verdict::NoAnswer
            << QStringLiteral("greeting") << QStringLiteral("No answer within 600 ms.");
        QTest::newRow("pop garbage greeting")
            << pop << with(p, [](Behaviour &b) { b.greeting = "HTTP/1.1 400 Bad Request\r\n"; }) << none << false
            << 2000 << Verdict::NotServer << QStringLiteral("greeting") << QStringLiteral("not a POP3 server");
        QTest::newRow("pop closes after greeting")
            << pop << with(p, [](Behaviour &b) { b.closeAfterGreeting = true; }) << none << false << 2000
            << Verdict::ClosedEarly << QStringLiteral("CAPA") << QStringLiteral("The server closed the connection.");
        QTest::newRow("pop 10 MB line") << pop << with(p, [](Behaviour &b) { b.hugeLine = qint64(10) << 20; }) << none
                                        << false << 2000 << Verdict::NotServer << QStringLiteral("greeting")
                                        << QStringLiteral("longer than 4096 bytes");
        QTest::newRow("pop STAT of 100,000 messages")
            << pop << Behaviour(p).on("STAT", {"+OK 100000 7340032000\r\n"}) << none << false << 2000 << Verdict::Works
            << none << QStringLiteral("100000 messages, 7340032000 octets");
        QTest::newRow("pop STLS offered")
            << pop << Behaviour(p).on("CAPA", {"+OK\r\nUSER\r\nSTLS\r\nSASL PLAIN\r\n.\r\n"}) << none << false << 2000
            << Verdict::Works << none << QStringLiteral("offers STLS");
        QTest::newRow("pop without CAPA") << pop << Behaviour(p).on("CAPA", {"-ERR unknown command\r\n"}) << none
                                          << false << 2000 << Verdict::Works << none << QStringLiteral("3 messages");
        QTest::newRow("pop replies too slow for the test as a whole")
            << pop << with(p, [](Behaviour &b) { b.replyDelayMs = 300; }) << none << false << 1000
            << Verdict::NoAnswer << QStringLiteral("*") << QStringLiteral("The test did not finish within 1 s.");
        QTest::newRow("pop host under .invalid") << pop << p << QStringLiteral("nowhere.invalid") << false << 2000
                                                 << Verdict::HostUnknown << QStringLiteral("resolve")
                                                 << QStringLiteral("does not resolve");
        QTest::newRow("pop closed port") << pop << p << none << true << 2000 << Verdict::Unreachable
                                         << QStringLiteral("connect") << QStringLiteral("refused");

        QTest::newRow("smtp accepts") << smtp << s << none << false << 2000 << Verdict::Works << none
                                      << QStringLiteral("extensions: PIPELINING, SIZE 10240000, AUTH PLAIN LOGIN");
        QTest::newRow("smtp PLAIN only") << smtp
                                         << Behaviour(s).on("EHLO", {"250-loopback\r\n250 AUTH PLAIN\r\n"})
                                                .on("AUTH", {"235 ok\r\n"})
                                         << none << false << 2000 << Verdict::Works << none
                                         << QStringLiteral("AUTH PLAIN ****");
        QTest::newRow("smtp without ESMTP")
            << smtp << Behaviour(s).on("EHLO", {"500 command not recognized\r\n"}) << none << false << 2000
            << Verdict::Works << none << QStringLiteral("does not speak ESMTP");
        QTest::newRow("smtp AUTH refused, echoing it")
            << smtp
            << Behaviour(s).on("AUTH", {"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "535 5.7.8 %ARG% rejected\r\n"})
            << none << false << 2000 << Verdict::LoginRefused << QStringLiteral("AUTH LOGIN")
            << QStringLiteral("535 5.7.8 **** rejected");
        QTest::newRow("smtp AUTH with an unsupported mechanism only")
            << smtp << Behaviour(s).on("EHLO", {"250-loopback\r\n250 AUTH CRAM-MD5 GSSAPI\r\n"}) << none << false
            << 2000 << Verdict::NoUsableLogin << QStringLiteral("AUTH") << QStringLiteral("CRAM-MD5, GSSAPI");
        QTest::newRow("smtp garbage greeting")
            << smtp << with(s, [](Behaviour &b) { b.greeting = "+OK POP3 here\r\n"; }) << none << false << 2000
            << Verdict::NotServer << QStringLiteral("greeting") << QStringLiteral("not an SMTP server");
        QTest::newRow("smtp greeting refuses service")
            << smtp << with(s, [](Behaviour &b) { b.greeting = "554 no service for you\r\n"; }) << none << false
            << 2000 << Verdict::Unreachable << QStringLiteral("greeting") << QStringLiteral("no service for you");
        QTest::newRow("smtp greeting that never ends")
            << smtp << with(s, [](Behaviour &b) { b.greeting = "220-first line\r\n220-second line\r\n"; }) << none
            << false << 2000 << Verdict::NoAnswer << QStringLiteral("greeting") << QStringLiteral("No answer");
        QTest::newRow("smtp 10 MB line") << smtp << with(s, [](Behaviour &b) { b.hugeLine = qint64(10) << 20; })
                                         << none << false << 2000 << Verdict::NotServer << QStringLiteral("greeting")
                                         << QStringLiteral("longer than 4096 bytes");
        QTest::newRow("smtp closes after greeting")
            << smtp << with(s, [](Behaviour &b) { b.closeAfterGreeting = true; }) << none << false << 2000
            << Verdict::ClosedEarly << QStringLiteral("EHLO") << QStringLiteral("closed");
        QTest::newRow("smtp host under .invalid") << smtp << s << QStringLiteral("nowhere.invalid") << false << 2000
                                                  << Verdict::HostUnknown << QStringLiteral("resolve")
                                                  << QStringLiteral("does not resolve");
        QTest::newRow("smtp closed port") << smtp << s << none << true << 2000 << Verdict::Unreachable
                                          << QStringLiteral("connect") << QStringLiteral("refused");
    }

    void verdicts()
    {
        QFETCH(int, kind);
        QFETCH(Behaviour, behaviour);
        QFETCH(QString, host);
        QFETCH(bool, closed);
        QFETCH(int, testTimeoutMs);
        QFETCH(Verdict, verdict);
        QFETCH(QString, failedStep);
        QFETCH(QString, shows);

        const bool served = host.isEmpty() && !closed;
        std::unique_ptr<LoopbackMailServer> server;
        if (served) {
            server = std::make_unique<LoopbackMailServer>(behaviour, 1, 5000);
            QVERIFY(server->port() != 0);
        }
        const int port = closed ? closedPort() : served ? server->port() : 110;
        Options options = quickOptions();
        options.testTimeoutMs = testTimeoutMs;
        QElapsedTimer clock;
        clock.start();
        const Result r = run(target(Kind(kind), host.isEmpty() ? QStringLiteral("127.0.0.1") : host, port), options);
        const qint64 elapsed = clock.elapsed();
        if (server)
            server->wait();

        const QByteArray shown = everythingShown(r);
        QCOMPARE(r.verdict, verdict);
        if (failedStep == QLatin1String("*"))
            QVERIFY(!r.failedStep.isEmpty());
        else
            QCOMPARE(r.failedStep, failedStep);
        QVERIFY2(shown.contains(shows.toUtf8()), shown.constData());
        // A test ends within its deadline (with room for the last slice of a wait).
        QVERIFY2(elapsed < testTimeoutMs + 1000, qPrintable(QString::number(elapsed)));
        QVERIFY(r.ms <= elapsed);
        // Every step is timed, and the times add up to no more than the whole.
        qint64 sum = 0;
        for (const Step &step : r.steps)
            sum += step.ms;
        QVERIFY(sum <= r.ms + 1);
        if (r.works())
            QVERIFY(r.failedStep.isEmpty());

        verifyNoSecret(shown);
        {
            QMutexLocker lock(&logMutex);
            verifyNoSecret(logged.join(QLatin1Char('\n')).toUtf8());
        }
        // The login really went over the wire where the dialogue came that far: what is kept
        // out of the output was sent.
        if (server && r.works()) {
            const QByteArray wire = server->received(0);
            if (kind == int(Kind::Pop))
                QVERIFY(wire.contains("PASS " + Password + "\r\n"));
            else if (!wire.contains("HELO"))
                QVERIFY(wire.contains(Password.toBase64()) || wire.contains(plainBlob().toBase64()));
            QVERIFY(wire.endsWith("QUIT\r\n"));
        }
    }

    // A step's deadline and the whole test's are set apart.
    void stepDeadlineIsItsOwn()
    {
        Behaviour b = LoopbackMailServer::pop3();
        b.silent = true;
        LoopbackMailServer server(b, 1, 5000);
        Options o = quickOptions();
        o.stepTimeoutMs = 300;
        o.testTimeoutMs = 5000;
        QElapsedTimer clock;
        clock.start();
        const Result r = run(target(Kind::Pop, QStringLiteral("127.0.0.1"), server.port()), o);
        QCOMPARE(r.verdict, Verdict::NoAnswer);
        QCOMPARE(r.message, QStringLiteral("No answer within 300 ms."));
        QVERIFY(clock.elapsed() < 2000);
    }

    void cancel()
    {
        Behaviour b = LoopbackMailServer::smtp();
        b.silent = true;
        LoopbackMailServer server(b, 1, 5000);
        Options o = quickOptions();
        o.stepTimeoutMs = 10000;
        o.testTimeoutMs = 10000;
        QElapsedTimer clock;
        clock.start();
        const Result r = run(target(Kind::Smtp, QStringLiteral("127.0.0.1"), server.port()), o,
                             [&clock] { return clock.elapsed() < 200; });
        QCOMPARE(r.verdict, Verdict::Cancelled);
        QCOMPARE(r.failedStep, QStringLiteral("greeting"));
        QVERIFY(clock.elapsed() < 2000);
    }

    // Many accounts against one server: all tested, never more than `jobs` connections at
    // once, and done within the bound their deadlines set.
    void sideBySide_data()
    {
        QTest::addColumn<int>("accounts");
        QTest::addColumn<int>("jobs");
        QTest::newRow("500 accounts, 8 at a time") << 500 << 8;
        QTest::newRow("30 accounts, 3 at a time") << 30 << 3;
        QTest::newRow("more than 8 asked for") << 40 << 50;
    }

    void sideBySide()
    {
        QFETCH(int, accounts);
        QFETCH(int, jobs);
        Behaviour b = LoopbackMailServer::pop3();
        b.delayMs = 5; // each connection stays open a moment, so they overlap
        LoopbackMailServer server(b, accounts, 20000);
        QList<Target> targets;
        for (int i = 0; i < accounts; ++i) {
            Target t = target(Kind::Pop, QStringLiteral("127.0.0.1"), server.port());
            t.index = i;
            t.item = QStringLiteral("pop:#%1").arg(i + 1);
            targets.append(t);
        }
        Options o = quickOptions();
        o.jobs = jobs;
        o.stepTimeoutMs = 3000;
        o.testTimeoutMs = 5000;
        std::atomic<int> told = 0;
        QElapsedTimer clock;
        clock.start();
        const QList<Result> results = runAll(targets, o, {}, [&](int, const Result &) { ++told; });
        const qint64 elapsed = clock.elapsed();
        QVERIFY(server.wait());

        const int limit = qMin(jobs, Options::MaxJobs);
        qInfo("%d accounts, %d side by side: %lld ms, at most %d connections open at once", accounts, limit, elapsed,
              server.maxOpen());
        QCOMPARE(results.size(), accounts);
        QCOMPARE(told.load(), accounts);
        for (int i = 0; i < accounts; ++i) {
            QCOMPARE(results[i].item, targets[i].item); // in the order asked
            QVERIFY2(results[i].works(), qPrintable(results[i].message));
        }
        QCOMPARE(server.connections(), accounts);
        QVERIFY2(server.maxOpen() <= limit, qPrintable(QString::number(server.maxOpen())));
        if (limit > 1)
            QVERIFY2(server.maxOpen() > 1, "the tests ran one after the other");
        // Every test ends within its own deadline, so the run ends within one deadline per
        // round of `limit` tests.
        const qint64 bound = qint64((accounts + limit - 1) / limit) * o.testTimeoutMs;
        QVERIFY2(elapsed < bound, qPrintable(QStringLiteral("%1 ms, bound %2 ms").arg(elapsed).arg(bound)));
    }

    void blanking_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("as sent") << QByteArray("-ERR bad pass s3cret!") << QByteArray("s3cret!")
                                 << QByteArray("-ERR bad pass ****");
        QTest::newRow("letter case aside") << QByteArray("535 S3CRET! wrong") << QByteArray("s3cret!")
                                           << QByteArray("535 **** wrong");
        QTest::newRow("in Base64") << QByteArray("535 ") + QByteArray("s3cret!").toBase64() << QByteArray("s3cret!")
                                   << QByteArray("535 ****");
        QTest::newRow("twice") << QByteArray("abcXabc") << QByteArray("abc") << QByteArray("****X****");
        QTest::newRow("no password") << QByteArray("250 ok") << QByteArray() << QByteArray("250 ok");
    }

    void blanking()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, expected);
        QCOMPARE(blanked(text, password, User), expected);
    }

    // The one action that sends: one mail to the administrator's address, its subject
    // saying what it is, after the login.
    void testMessage()
    {
        LoopbackMailServer server(LoopbackMailServer::smtp(), 1, 5000);
        ServerSettings settings;
        settings.Name = "Office";
        settings.SMTPHost = "127.0.0.1";
        settings.SMTPPort = server.port();
        settings.SMTPUserID = User;
        settings.SMTPUserPass = Password;
        settings.AdminEmail = "admin@site.example";
        QString recipient, error;
        QVERIFY2(sendTestMessage(settings, TextCodec(), quickOptions(), {}, &recipient, &error), qPrintable(error));
        QVERIFY(server.wait());
        QCOMPARE(recipient, QStringLiteral("admin@site.example"));
        const QByteArray wire = server.received(0);
        QVERIFY(wire.contains("auth LOGIN\r\n"));
        QVERIFY(wire.contains("RCPT to:<admin@site.example>\r\n"));
        QVERIFY(wire.contains("\r\nSubject: Quilmora test message"));
        QVERIFY(wire.endsWith("QUIT\r\n"));
    }

    void testMessageRefused_data()
    {
        QTest::addColumn<QByteArray>("adminEmail");
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<QString>("error");
        QTest::newRow("no address") << QByteArray() << false << QStringLiteral("No administrator e-mail address is set.");
        QTest::newRow("not a plain address") << QByteArray("Ann <a@b>") << false
                                             << QStringLiteral("not a plain address");
        QTest::newRow("login refused") << QByteArray("admin@site.example") << true
                                       << QStringLiteral("Message could not be sent: 5.7.8 **** rejected");
    }

    void testMessageRefused()
    {
        QFETCH(QByteArray, adminEmail);
        QFETCH(bool, serverUp);
        QFETCH(QString, error);
        Behaviour b = LoopbackMailServer::smtp().on(
            "AUTH", {"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "535 5.7.8 %ARG% rejected\r\n"});
        std::unique_ptr<LoopbackMailServer> server;
        if (serverUp)
            server = std::make_unique<LoopbackMailServer>(b, 1, 5000);
        ServerSettings settings;
        settings.SMTPHost = "127.0.0.1";
        settings.SMTPPort = server ? server->port() : closedPort();
        settings.SMTPUserID = User;
        settings.SMTPUserPass = Password;
        settings.AdminEmail = adminEmail;
        QString recipient, got;
        QVERIFY(!sendTestMessage(settings, TextCodec(), quickOptions(), {}, &recipient, &got));
        QVERIFY2(got.contains(error), qPrintable(got));
        verifyNoSecret(got.toUtf8());
        if (server) {
            server->wait();
            QVERIFY(!server->received(0).contains("RCPT"));
        }
    }
};

QTEST_GUILESS_MAIN(TestConnectionTest)
#include "tst_connectiontest.moc"
