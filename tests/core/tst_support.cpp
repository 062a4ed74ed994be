// The support request without its dialog: the system information taken, the report's
// lines and the mail that carries it.
#include "platform/SystemInfo.h"
#include "services/TKDSupport.h"
#include "support/LoopbackConfigServer.h"
#include "support/LoopbackLineServer.h"
#include "support/StalledListener.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <memory>

namespace {

FixedSystemInfo machine()
{
    FixedSystemInfo s;
    s.os = {true, QStringLiteral("Debian GNU/Linux 12 (bookworm)"), QStringLiteral("6.1"),
            QStringLiteral("6.1.0-13-amd64")};
    s.mem = {8ull * 1024 * 1024 * 1024 + 1023, 3ull * 1024 * 1024 * 1024};
    s.diskSpace = {true, 500107862016, 123456789012};
    return s;
}

} // namespace

class TestSupport : public QObject
{
    Q_OBJECT

private slots:
    void gathersTheMachine()
    {
        FixedSystemInfo s = machine();
        TKDSupport support(s, QStringLiteral("/srv/quilmora"));
        QCOMPARE(s.askedFolder, QStringLiteral("/srv/quilmora"));
        QCOMPARE(support.OSName, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
        QCOMPARE(support.OSVersion, QStringLiteral("6.1"));
        QCOMPARE(support.OSExtraInfo, QStringLiteral("6.1.0-13-amd64"));
        QCOMPARE(support.TotalMemoryKB, 8388608u);
        QCOMPARE(support.FreeMemoryKB, 3145728u);
        QCOMPARE(support.TotalDiskBytes, 500107862016);
        QCOMPARE(support.FreeDiskBytes, 123456789012);
    }

    // Failed queries leave their fields empty or 0; the report goes anyway.
    void failedQueriesLeaveZeros()
    {
        FixedSystemInfo s;
        s.os.name = QStringLiteral("ignored when unknown");
        TKDSupport support(s, QStringLiteral("/nowhere"));
        QCOMPARE(support.OSName, QString());
        QCOMPARE(support.TotalDiskBytes, 0);
        QVERIFY(support.SystemReport().contains(QStringLiteral("Total Space on Application Drive       : 0 Bytes")));
    }

    void theRealMachineAnswers()
    {
        LocalSystemInfo local;
        TKDSupport support(local, QDir::tempPath());
        QVERIFY(!support.OSName.isEmpty());
        QVERIFY(support.OSVersion.contains(QLatin1Char('.')));
        QVERIFY(support.TotalMemoryKB > 0);
        QVERIFY(support.TotalDiskBytes >= support.FreeDiskBytes);
        QVERIFY(support.TotalDiskBytes > 0);
    }

    void sendsTheExactReport()
    {
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        FixedSystemInfo s = machine();
        TKDSupport support(s, QStringLiteral("/srv/quilmora"));
        support.UserInfo = {QStringLiteral("Name     : Ann"), QStringLiteral("Details  : "), QStringLiteral(".dotted")};
        support.EmailFrom = QStringLiteral("ann@site.example");
        support.EmailRecipient = QStringLiteral("support@quilmora.example");
        support.EmailSubject = QStringLiteral("Technical Support: Quilmora Configuration Editor");
        support.ApplicationName = QStringLiteral("Quilmora Configuration Editor");
        support.ApplicationVersion = QStringLiteral("1.05");
        support.SMTPHost = QStringLiteral("127.0.0.1");
        support.SMTPPort = server.port();
        support.timeoutMs = 5000;
        QString error;
        QVERIFY2(support.SendRequest(&error), qPrintable(error));
        QVERIFY(server.wait());
        const QByteArray got = server.received(0);
        QVERIFY(got.contains("Mail from:<ann@site.example>\r\nRCPT to:<support@quilmora.example>\r\nData\r\n"
                             "From: ann@site.example\r\nSubject: Technical Support: Quilmora Configuration Editor\r\n"
                             "To: support@quilmora.example\r\n"));
        QVERIFY(!got.contains("auth"));
        const QByteArray body = got.mid(got.indexOf("\r\n\r\n") + 4);
        QCOMPARE(body, QByteArray("SUPPORT REQUEST\r\n"
                                  "===============\r\n"
                                  "Name     : Ann\r\n"
                                  "Details  : \r\n"
                                  "..dotted\r\n"
                                  "\r\n"
                                  "APPLICATION\r\n"
                                  "===========\r\n"
                                  "Application                            : Quilmora Configuration Editor\r\n"
                                  "Version                                : 1.05\r\n"
                                  "\r\n"
                                  "SYSTEM INFORMATION\r\n"
                                  "==================\r\n"
                                  "\r\n"
                                  "Operating System                       : Debian GNU/Linux 12 (bookworm)\r\n"
                                  "Operation System Version               : 6.1\r\n"
                                  "Operating System Additional infomation : 6.1.0-13-amd64\r\n"
                                  "Total Physical Memory                  : 8388608 KBytes\r\n"
                                  "Free Physical Memory                   : 3145728 KBytes\r\n"
                                  "Total Space on Application Drive       : 500107862016 Bytes\r\n"
                                  "Free Space on Application Drive        : 123456789012 Bytes\r\n"
                                  "\r\n"
                                  ".\r\n"
                                  "QUIT\r\n"));
    }

    void failureMessage_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("error");
        QTest::newRow("refused sender") << QByteArray("550 5.7.1 Relaying denied\r\n")
                                        << "Message could not be sent: 5.7.1 Relaying denied";
        QTest::newRow("closed") << QByteArray() << "Message could not be sent: Connection Closed Gracefully.";
    }
    void failureMessage()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, error);
        LoopbackLineServer::Script s;
        s.send("220 hi\r\n").reply("250 hi\r\n").reply("250 reset\r\n").line().send(reply);
        if (reply.isEmpty())
            s.close();
        LoopbackLineServer server({s});
        FixedSystemInfo sys = machine();
        TKDSupport support(sys, QString());
        support.EmailFrom = QStringLiteral("ann@site.example");
        support.EmailRecipient = QStringLiteral("support@quilmora.example");
        support.SMTPHost = QStringLiteral("127.0.0.1");
        support.SMTPPort = server.port();
        support.timeoutMs = 5000;
        QString got;
        QVERIFY(!support.SendRequest(&got));
        QCOMPARE(got, error);
        QVERIFY(server.wait());
    }

    // However the mail server stalls the mail, it is given up on at the overall limit, long
    // before the silence allowed between two replies would end it.
    void overallLimit_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("silent after the connection") << QStringLiteral("silent");
        QTest::newRow("dripping its greeting") << QStringLiteral("drip");
        QTest::newRow("connection never made") << QStringLiteral("stalled");
    }
    void overallLimit()
    {
        QFETCH(QString, server);
        std::unique_ptr<LoopbackLineServer> silent;
        std::unique_ptr<LoopbackConfigServer> drip;
        StalledListener stalled;
        quint16 port = stalled.port();
        if (server == QLatin1String("silent")) {
            silent = std::make_unique<LoopbackLineServer>(QList<LoopbackLineServer::Script>{{}});
            port = silent->port();
        } else if (server == QLatin1String("drip")) {
            LoopbackConfigServer::Script greeting = LoopbackConfigServer::Script().send("220-");
            for (int i = 0; i < 25; ++i)
                greeting.send("x").pause(100);
            drip = std::make_unique<LoopbackConfigServer>(QList<LoopbackConfigServer::Script>{greeting});
            port = drip->port();
        } else if (!stalled.stalls()) {
            QSKIP("this system completes connections to a listener with a full backlog");
        }
        FixedSystemInfo sys = machine();
        TKDSupport support(sys, QString());
        support.EmailFrom = QStringLiteral("ann@site.example");
        support.EmailRecipient = QStringLiteral("support@quilmora.example");
        support.SMTPHost = QStringLiteral("127.0.0.1");
        support.SMTPPort = port;
        support.timeoutMs = 5000;
        support.overallLimitSeconds = 1;
        QElapsedTimer clock;
        clock.start();
        QString error;
        QVERIFY(!support.SendRequest(&error));
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(error, QStringLiteral("Message could not be sent: The transfer did not finish within 1 seconds."));
    }

    void acceptableAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << QStringLiteral("ann@harbour.example") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("a second address smuggled into MAIL FROM") << QStringLiteral("a@b> AUTH=<evil@x>") << false;
        QTest::newRow("opening bracket") << QStringLiteral("<ann@harbour.example") << false;
        QTest::newRow("blank") << QStringLiteral("ann @harbour.example") << false;
        QTest::newRow("CR LF") << QStringLiteral("ann@h.example\r\nRCPT TO:<x@y>") << false;
        QTest::newRow("tab") << QStringLiteral("ann@h.example\t") << false;
        QTest::newRow("NUL") << QStringLiteral("ann@h.example") + QChar(0) << false;
    }
    void acceptableAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, accepted);
        QCOMPARE(TKDSupport::isPlainAddress(address), accepted);
    }

    void unreachableServer()
    {
        quint16 port;
        {
            LoopbackLineServer gone({});
            port = gone.port();
        }
        FixedSystemInfo sys;
        TKDSupport support(sys, QString());
        support.SMTPHost = QStringLiteral("127.0.0.1");
        support.SMTPPort = port;
        support.EmailFrom = QStringLiteral("ann@site.example");
        QString error;
        QVERIFY(!support.SendRequest(&error));
        QVERIFY(error.startsWith(QStringLiteral("Message could not be sent: Socket Error # 111")));
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
