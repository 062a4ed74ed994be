// quilmora-config test: the table, the JSON answer, the exit statuses, naming items, the
// test message, and the password kept out of standard output and standard error.
#include "config/ValueForms.h"
#include "support/CliRunner.h"
#include "support/LoopbackMailServer.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Password = "Cli-unique-Pw!4471";

quint16 closedPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

QByteArray configuration(int smtpPort, int popPort, int refusingPopPort)
{
    const QByteArray pw = ValueForms::encodeBinary(Password);
    return "[SERVER]\r\nName=Office\r\nVersion=1.05\r\nSMTPHost=127.0.0.1\r\nSMTPPort=" + QByteArray::number(smtpPort)
           + "\r\nSMTPUserID=mailer\r\nSMTPUserPass=" + pw + "\r\nAdminEmail=admin@site.example\r\n"
           + "[POP1]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(popPort) + "\r\nUserID=ann\r\nPassword=" + pw
           + "\r\n" + "[POP2]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(refusingPopPort)
           + "\r\nUserID=bob\r\nPassword=" + pw + "\r\n";
}

void verifyNoPassword(const CliRun &run)
{
    for (const QByteArray &form : {Password, Password.toBase64()}) {
        QVERIFY2(!run.out.contains(form), run.out.constData());
        QVERIFY2(!run.err.contains(form), run.err.constData());
    }
}

} // namespace

class TestCliTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList base() const { return {QStringLiteral("--folder"), m_dir.path()}; }
    bool writeConfig(const QByteArray &bytes)
    {
        return TestFiles::write(m_dir.filePath(QStringLiteral("quilmora.ini")), bytes);
    }

private slots:
    // Every account and the outgoing server: one row each, status 1 as one fails.
    void everything()
    {
        LoopbackMailServer pop(LoopbackMailServer::pop3().on("PASS", {"-ERR wrong password %ARG%\r\n"}), 1, 5000);
        LoopbackMailServer smtp(LoopbackMailServer::smtp(), 1, 5000);
        QVERIFY(writeConfig(configuration(smtp.port(), pop.port(), closedPort())));
        const CliRun run = runCli(base() + QStringList{QStringLiteral("test"), QStringLiteral("--steps"),
                                                       QStringLiteral("--timeout"), QStringLiteral("3")});
        QCOMPARE(run.status, 1);
        const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'));
        QVERIFY2(lines.value(0).startsWith(QLatin1String("ITEM")), run.out.constData());
        QVERIFY(lines.value(1).startsWith(QLatin1String("pop:ann/127.0.0.1")));
        QVERIFY(lines.value(1).contains(QLatin1String("login refused")));
        QVERIFY(lines.value(1).contains(QLatin1String("-ERR wrong password ****")));
        QVERIFY(lines.value(2).startsWith(QLatin1String("pop:bob/127.0.0.1")));
        QVERIFY(lines.value(2).contains(QLatin1String("unreachable")));
        QVERIFY(lines.value(3).startsWith(QLatin1String("server.smtp")));
        QVERIFY(lines.value(3).contains(QLatin1String("works")));
        QCOMPARE(lines.value(4), QStringLiteral("3 tested: 1 working, 2 not working"));
        QVERIFY(run.out.contains("> PASS ****"));
        verifyNoPassword(run);
        QVERIFY(pop.received(0).contains("PASS " + Password + "\r\n"));
    }

    // Items named: only those, and status 0 when they all work; JSON for scripts.
    void namedItemsAsJson()
    {
        LoopbackMailServer pop(LoopbackMailServer::pop3(), 1, 5000);
        QVERIFY(writeConfig(configuration(closedPort(), pop.port(), closedPort())));
        const CliRun run = runCli(base() + QStringList{QStringLiteral("test"), QStringLiteral("pop:ann/127.0.0.1"),
                                                       QStringLiteral("pop:#1"), QStringLiteral("--json"),
                                                       QStringLiteral("--jobs"), QStringLiteral("2")});
        QCOMPARE(run.status, 0);
        const QJsonArray results = QJsonDocument::fromJson(run.out).array();
        QCOMPARE(results.size(), 1); // named twice, tested once
        const QJsonObject r = results[0].toObject();
        QCOMPARE(r[QStringLiteral("item")].toString(), QStringLiteral("pop:ann/127.0.0.1"));
        QCOMPARE(r[QStringLiteral("verdict")].toString(), QStringLiteral("works"));
        QCOMPARE(r[QStringLiteral("messages")].toInt(), 3);
        const QJsonArray steps = r[QStringLiteral("steps")].toArray();
        QStringList names;
        for (const QJsonValue &s : steps)
            names.append(s.toObject()[QStringLiteral("step")].toString());
        QCOMPARE(names, (QStringList{QStringLiteral("resolve"), QStringLiteral("connect"), QStringLiteral("greeting"),
                                     QStringLiteral("CAPA"), QStringLiteral("USER"), QStringLiteral("PASS"),
                                     QStringLiteral("STAT"), QStringLiteral("QUIT")}));
        verifyNoPassword(run);
    }

    void testMessage()
    {
        LoopbackMailServer smtp(LoopbackMailServer::smtp(), 1, 5000);
        QVERIFY(writeConfig(configuration(smtp.port(), 1, 1)));
        const CliRun run = runCli(base() + QStringList{QStringLiteral("test"), QStringLiteral("--send-test-message")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray("Test message sent to admin@site.example\n"));
        QVERIFY(smtp.wait());
        QVERIFY(smtp.received(0).contains("RCPT to:<admin@site.example>"));
        verifyNoPassword(run);
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("too many jobs") << QStringList{QStringLiteral("--jobs"), QStringLiteral("9")} << 2
                                       << QStringLiteral("--jobs takes a number from 1 to 8");
        QTest::newRow("no time") << QStringList{QStringLiteral("--timeout"), QStringLiteral("0")} << 2
                                 << QStringLiteral("--timeout takes a number of seconds");
        QTest::newRow("not a number") << QStringList{QStringLiteral("--step-timeout=soon")} << 2
                                      << QStringLiteral("--step-timeout takes");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--verbose")} << 2
                                        << QStringLiteral("unknown option --verbose");
        QTest::newRow("item with the test message")
            << QStringList{QStringLiteral("--send-test-message"), QStringLiteral("pop:#1")} << 2
            << QStringLiteral("takes no ITEM");
        QTest::newRow("not a mail server") << QStringList{QStringLiteral("server")} << 1
                                           << QStringLiteral("Not a mail server to test: server");
        QTest::newRow("no such account") << QStringList{QStringLiteral("pop:#7")} << 1 << QStringLiteral("pop:#7");
    }

    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        QVERIFY(writeConfig(configuration(1, 1, 1)));
        const CliRun run = runCli(base() + QStringList{QStringLiteral("test")} + args);
        QCOMPARE(run.status, status);
        QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }

    void help()
    {
        QVERIFY(writeConfig(configuration(1, 1, 1)));
        const CliRun run = runCli(base() + QStringList{QStringLiteral("test"), QStringLiteral("--help")});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains("Verdicts: works, login refused"));
        QVERIFY(run.out.contains("Exit status:"));
    }
};

QTEST_GUILESS_MAIN(TestCliTest)
#include "tst_cli_test.moc"
