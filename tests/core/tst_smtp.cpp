// The mail client against a scripted loopback SMTP server: the dialogue's commands, the
// replies each step accepts, the header block and the body as they go over the wire.
#include "services/MailMessage.h"
#include "services/SmtpClient.h"
#include "support/LoopbackLineServer.h"

#include <QTest>
#include <QTimeZone>

using Script = LoopbackLineServer::Script;

namespace {

MailMessage simpleMessage()
{
    MailMessage m;
    m.From = QStringLiteral("Ann Admin <ann@site.example>");
    m.setRecipients(QStringLiteral("support@quilmora.example"));
    m.Subject = QStringLiteral("Hello");
    m.Body = {QStringLiteral("first"), QStringLiteral("second")};
    m.date = QDateTime(QDate(2026, 12, 3), QTime(9, 5, 7), QTimeZone(3600));
    m.charset = {"ISO-8859-1", 'Q'};
    return m;
}

// Sends `message` through a client on `server`; the client's error text when it fails.
QString send(LoopbackLineServer &server, const MailMessage &message, SmtpClient *client = nullptr)
{
    SmtpClient own;
    SmtpClient &smtp = client ? *client : own;
    smtp.Host = QStringLiteral("127.0.0.1");
    smtp.Port = server.port();
    smtp.HeloName = QStringLiteral("desk");
    smtp.timeoutMs = 5000;
    QString error;
    if (!smtp.Connect() || !smtp.Send(message))
        error = smtp.errorText();
    smtp.Disconnect();
    return error;
}

} // namespace

class TestSmtp : public QObject
{
    Q_OBJECT

private slots:
    // The whole conversation of one mail, byte for byte.
    void wholeDialogue()
    {
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        QCOMPARE(send(server, simpleMessage()), QString());
        QVERIFY(server.wait());
        QCOMPARE(server.received(0),
                 QByteArray("EHLO desk\r\n"
                            "Rset\r\n"
                            "Mail from:<ann@site.example>\r\n"
                            "RCPT to:<support@quilmora.example>\r\n"
                            "Data\r\n"
                            "From: Ann Admin <ann@site.example>\r\n"
                            "Subject: Hello\r\n"
                            "To: support@quilmora.example\r\n"
                            "Date: Thu, 3 Dec 2026 09:05:07 +0100\r\n"
                            "X-Priority: 3\r\n"
                            "X-Library: Quilmora Mail 1.0\r\n"
                            "\r\n"
                            "first\r\n"
                            "second\r\n"
                            ".\r\n"
                            "QUIT\r\n"));
    }

    void ehloRefusedThenHelo()
    {
        Script s;
        s.send("220 hi\r\n").reply("502 not here\r\n").reply("250 hello\r\n").reply("250 ok\r\n").reply("250 ok\r\n")
            .reply("250 ok\r\n").reply("354 go\r\n").data().send("250 done\r\n");
        LoopbackLineServer server({s});
        QCOMPARE(send(server, simpleMessage()), QString());
        QVERIFY(server.wait());
        QVERIFY(server.received(0).startsWith("EHLO desk\r\nHELO desk\r\nRset\r\nMail from:"));
    }

    void heloRefusedFails()
    {
        Script s;
        s.send("220 hi\r\n").reply("502 not here\r\n").reply("501 go away\r\n");
        LoopbackLineServer server({s});
        SmtpClient smtp;
        QCOMPARE(send(server, simpleMessage(), &smtp), QStringLiteral("go away"));
        QVERIFY(!smtp.connected());
        QVERIFY(server.wait());
        QCOMPARE(server.received(0), QByteArray("EHLO desk\r\nHELO desk\r\nQUIT\r\n"));
    }

    // Both forms of the AUTH line count, in any letter case; a mechanism named twice is listed once.
    void authMechanismsFromBothForms()
    {
        Script s;
        s.send("220 hi\r\n")
            .reply("250-loopback greets desk\r\n250-AUTH LOGIN PLAIN\r\n250-auth=login cram-md5\r\n"
                   "250-AUTHENTICATE NOPE\r\n250 SIZE 1000\r\n");
        LoopbackLineServer server({s});
        SmtpClient smtp;
        smtp.Host = QStringLiteral("127.0.0.1");
        smtp.Port = server.port();
        smtp.timeoutMs = 5000;
        QVERIFY(smtp.Connect());
        QCOMPARE(smtp.advertisedMechanisms(),
                 QStringList({QStringLiteral("LOGIN"), QStringLiteral("PLAIN"), QStringLiteral("CRAM-MD5")}));
        smtp.Disconnect();
        QVERIFY(server.wait());
    }

    void loginOnlyWhenAdvertised_data()
    {
        QTest::addColumn<bool>("advertised");
        QTest::addColumn<bool>("asked");
        QTest::newRow("asked, offered") << true << true;
        QTest::newRow("asked, not offered") << false << true;
        QTest::newRow("offered, not asked") << true << false;
    }
    void loginOnlyWhenAdvertised()
    {
        QFETCH(bool, advertised);
        QFETCH(bool, asked);
        const bool login = advertised && asked;
        Script s;
        s.send("220 hi\r\n").reply(advertised ? "250-hi\r\n250 AUTH PLAIN LOGIN\r\n" : "250-hi\r\n250 AUTH PLAIN\r\n");
        s.reply("250 reset\r\n");
        if (login)
            s.reply("334 VXNlcm5hbWU6\r\n").reply("334 UGFzc3dvcmQ6\r\n").reply("235 welcome\r\n");
        s.reply("250 ok\r\n").reply("250 ok\r\n").reply("354 go\r\n").data().send("250 done\r\n");
        LoopbackLineServer server({s});
        SmtpClient smtp;
        if (asked)
            smtp.AuthenticationType = SmtpClient::AuthType::atLogin;
        smtp.Username = QStringLiteral("ann");
        smtp.Password = QStringLiteral("s3cret");
        QCOMPARE(send(server, simpleMessage(), &smtp), QString());
        QVERIFY(server.wait());
        const QByteArray got = server.received(0);
        QCOMPARE(got.contains("auth LOGIN\r\nYW5u\r\nczNjcmV0\r\nMail from:"), login);
        QCOMPARE(got.contains("auth"), login);
    }

    void loginRefusedFails()
    {
        Script s;
        s.send("220 hi\r\n").reply("250 AUTH LOGIN\r\n").reply("250 reset\r\n").reply("334 VXNlcm5hbWU6\r\n")
            .reply("334 UGFzc3dvcmQ6\r\n").reply("535 5.7.8 bad credentials\r\n");
        LoopbackLineServer server({s});
        SmtpClient smtp;
        smtp.AuthenticationType = SmtpClient::AuthType::atLogin;
        smtp.Username = QStringLiteral("ann");
        QCOMPARE(send(server, simpleMessage(), &smtp), QStringLiteral("5.7.8 bad credentials"));
        QVERIFY(!smtp.authenticated());
        QVERIFY(server.wait());
        QVERIFY(!server.received(0).contains("Mail from"));
    }

    void rsetRejectedYetMailGoes()
    {
        Script s;
        s.send("220 hi\r\n").reply("250 hi\r\n").reply("502 no reset here\r\n").reply("250 ok\r\n").reply("251 fwd\r\n")
            .reply("354 go\r\n").data().send("250 done\r\n");
        LoopbackLineServer server({s});
        QCOMPARE(send(server, simpleMessage()), QString());
        QVERIFY(server.wait());
        QVERIFY(server.received(0).contains("Rset\r\nMail from:<ann@site.example>\r\nRCPT to:"));
        QVERIFY(server.received(0).contains("second\r\n.\r\nQUIT\r\n"));
    }

    void replyOutsideTheStepsSetFails_data()
    {
        QTest::addColumn<int>("step"); // which reply after the greeting is refused
        QTest::addColumn<QString>("error");
        QTest::newRow("greeting") << 0 << "service not available";
        QTest::newRow("Mail from") << 3 << "relaying denied";
        QTest::newRow("RCPT to") << 4 << "no such user";
        QTest::newRow("Data") << 5 << "no data now";
        QTest::newRow("end of data") << 6 << "spam";
    }
    void replyOutsideTheStepsSetFails()
    {
        QFETCH(int, step);
        QFETCH(QString, error);
        const QList<QByteArray> good{"220 hi\r\n", "250 hi\r\n", "250 reset\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n",
                                     "250 done\r\n"};
        Script s;
        for (int i = 0; i <= step; ++i) {
            const QByteArray reply = i == step ? "554 " + error.toLatin1() + "\r\n" : good[i];
            if (i == 0)
                s.send(reply);
            else if (i == 6)
                s.data().send(reply);
            else
                s.reply(reply);
        }
        LoopbackLineServer server({s});
        QCOMPARE(send(server, simpleMessage()), error);
        QVERIFY(server.wait());
        QVERIFY(server.received(0).endsWith("QUIT\r\n"));
    }

    void multiLineErrorTextKeepsEveryLine()
    {
        Script s;
        s.send("220 hi\r\n").reply("250 hi\r\n").reply("250 r\r\n").reply("550-first line\r\n550 second line\r\n");
        LoopbackLineServer server({s});
        QCOMPARE(send(server, simpleMessage()), QStringLiteral("first line\r\nsecond line"));
        QVERIFY(server.wait());
    }

    void closedWhileAwaitingReply()
    {
        Script s;
        s.send("220 hi\r\n").line().close();
        LoopbackLineServer server({s});
        QCOMPARE(send(server, simpleMessage()), QStringLiteral("Connection Closed Gracefully."));
        QVERIFY(server.wait());
    }

    void refusedConnectionSendsNothing()
    {
        quint16 port;
        {
            LoopbackLineServer gone({});
            port = gone.port();
        }
        SmtpClient smtp;
        smtp.Host = QStringLiteral("127.0.0.1");
        smtp.Port = port;
        smtp.timeoutMs = 5000;
        QVERIFY(!smtp.Connect());
        QVERIFY(smtp.errorText().startsWith(QStringLiteral("Socket Error # 111")));
        smtp.Disconnect(); // safe when not connected
    }

    void everyRecipientInOrder()
    {
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting("250 hi\r\n", 4)});
        MailMessage m = simpleMessage();
        m.setRecipients(QStringLiteral("a@x.example, \"Bee, B.\" <b@x.example>"));
        m.CCList = {QStringLiteral("c@x.example")};
        m.BccList = {QStringLiteral("d@x.example")};
        QCOMPARE(send(server, m), QString());
        QVERIFY(server.wait());
        const QByteArray got = server.received(0);
        QVERIFY(got.contains("RCPT to:<a@x.example>\r\nRCPT to:<b@x.example>\r\nRCPT to:<c@x.example>\r\n"
                             "RCPT to:<d@x.example>\r\nData\r\n"));
        QVERIFY(got.contains("To: a@x.example, \"Bee, B.\" <b@x.example>\r\nCc: c@x.example\r\n"));
        QVERIFY(!got.contains("d@x.example>\r\n\r\n"));
        QVERIFY(!got.contains("Bcc"));
    }

    void dotStuffing()
    {
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        MailMessage m = simpleMessage();
        m.Body = {QStringLiteral("."), QStringLiteral(".hidden"), QStringLiteral("a.b"), QStringLiteral("..two"),
                  QString()};
        QCOMPARE(send(server, m), QString());
        QVERIFY(server.wait());
        QVERIFY(server.received(0).contains("\r\n\r\n..\r\n..hidden\r\na.b\r\n...two\r\n\r\n.\r\nQUIT\r\n"));
    }

    // A body line holding line breaks cannot end the data early and speak to the server.
    void lineBreaksInsideABodyLineAreStuffedToo()
    {
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        MailMessage m = simpleMessage();
        m.Body = {QStringLiteral("ok\n.\nRSET\r\n.x")};
        QCOMPARE(send(server, m), QString());
        QVERIFY(server.wait());
        QVERIFY(server.received(0).contains("\r\n\r\nok\r\n..\r\nRSET\r\n..x\r\n.\r\nQUIT\r\n"));
    }

    void mailerHeaderOnlyWhenSet_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("set") << QStringLiteral("Desk Mail 2") << QByteArray("X-Mailer: Desk Mail 2\r\n");
    }
    void mailerHeaderOnlyWhenSet()
    {
        QFETCH(QString, agent);
        QFETCH(QByteArray, expected);
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        SmtpClient smtp;
        smtp.MailAgent = agent;
        QCOMPARE(send(server, simpleMessage(), &smtp), QString());
        QVERIFY(server.wait());
        const QByteArray got = server.received(0);
        QCOMPARE(got.contains("X-Mailer"), !expected.isEmpty());
        if (!expected.isEmpty())
            QVERIFY(got.contains("X-Library: Quilmora Mail 1.0\r\n" + expected + "\r\n"));
    }

    void longSubjectIsFolded()
    {
        MailMessage m = simpleMessage();
        m.Subject = QStringLiteral("A subject that is far too long to stand on one header line of a mail, so it "
                                   "has to be folded at the blanks into several lines");
        const QByteArrayList lines = m.headerLines(QDateTime());
        const QByteArray subject = lines.at(1);
        const QByteArrayList pieces = subject.split('\n');
        QVERIFY(pieces.size() >= 2);
        for (QByteArray piece : pieces) {
            if (piece.endsWith('\r'))
                piece.chop(1);
            QVERIFY2(piece.size() <= 78, piece.constData());
        }
        for (qsizetype i = 1; i < pieces.size(); ++i)
            QVERIFY(pieces.at(i).startsWith(' '));
        QByteArray unfolded = subject;
        unfolded.replace("\r\n", "");
        QCOMPARE(unfolded, "Subject: " + m.Subject.toLatin1());
    }

    void encodedWords_data()
    {
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<char>("encoding");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Q") << QByteArray("ISO-8859-1") << 'Q' << QStringLiteral("Grüße aus Köln?")
                           << QByteArray("Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln=3F?=");
        // 日本 in ISO-2022-JP: ESC $ B, "F|K\", ESC ( B
        QTest::newRow("B") << QByteArray("ISO-2022-JP") << 'B' << QStringLiteral("日本")
                           << "Subject: =?ISO-2022-JP?B?" + QByteArray("\x1b$BF|K\\\x1b(B").toBase64() + "?=";
        // "_" stands for a blank in Q-encoding, so a real one is written as its code.
        QTest::newRow("Q underscore") << QByteArray("ISO-8859-1") << 'Q' << QStringLiteral("ä_b c=d")
                                      << QByteArray("Subject: =?ISO-8859-1?Q?=E4=5Fb_c=3Dd?=");
        QTest::newRow("ascii stays") << QByteArray("ISO-8859-1") << 'Q' << QStringLiteral("plain words")
                                     << QByteArray("Subject: plain words");
        // "_" stands for a blank in Q: the character itself is encoded. A lone CR is a blank.
        QTest::newRow("underscore and lone CR") << QByteArray("ISO-8859-1") << 'Q' << QStringLiteral("Grüße_a\rb")
                                                << QByteArray("Subject: =?ISO-8859-1?Q?Gr=FC=DFe=5Fa_b?=");
    }
    void encodedWords()
    {
        QFETCH(QByteArray, charset);
        QFETCH(char, encoding);
        QFETCH(QString, subject);
        QFETCH(QByteArray, expected);
        MailMessage m = simpleMessage();
        m.charset = {charset, encoding};
        m.Subject = subject;
        QCOMPARE(m.headerLines(QDateTime()).at(1), expected);
    }

    // A long non-ASCII subject becomes several encoded words, none longer than 75, on
    // folded lines, and decodes back to the whole text.
    void longEncodedSubject()
    {
        MailMessage m = simpleMessage();
        m.Subject = QString(40, QChar(0xE9)) + QStringLiteral(" and ") + QString(40, QChar(0xFC));
        const QByteArray subject = m.headerLines(QDateTime()).at(1);
        QByteArray decoded;
        for (QByteArray line : subject.split('\n')) {
            line = line.trimmed();
            QVERIFY(line.size() <= 78);
            for (const QByteArray &word : line.split(' ')) {
                if (!word.startsWith("=?"))
                    continue;
                QVERIFY(word.size() <= 75);
                QByteArray q = word.mid(15, word.size() - 17); // after "=?ISO-8859-1?Q?", before "?="
                q.replace('_', ' ');
                decoded += QByteArray::fromPercentEncoding(q, '=');
            }
        }
        QCOMPARE(QString::fromLatin1(decoded), m.Subject);
    }

    void displayNameEncodedAddressKept()
    {
        MailMessage m = simpleMessage();
        m.From = QStringLiteral("José Núñez <jose@site.example>");
        QCOMPARE(m.headerLines(QDateTime()).at(0),
                 QByteArray("From: =?ISO-8859-1?Q?Jos=E9_N=FA=F1ez?= <jose@site.example>"));
        QCOMPARE(MailMessage::bareAddress(m.From), QStringLiteral("jose@site.example"));
    }

    // A line break (CR LF, a lone CR or a lone LF) in a header text or an address cannot
    // add a header or a command: each becomes one blank.
    void lineBreaksCannotInject_data()
    {
        QTest::addColumn<QString>("lineBreak");
        QTest::newRow("CR LF") << QStringLiteral("\r\n");
        QTest::newRow("lone CR") << QStringLiteral("\r");
        QTest::newRow("lone LF") << QStringLiteral("\n");
    }
    void lineBreaksCannotInject()
    {
        QFETCH(QString, lineBreak);
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        MailMessage m = simpleMessage();
        m.Subject = QStringLiteral("Hi") + lineBreak + QStringLiteral("Bcc: victim@x.example");
        m.From = QStringLiteral("ann@site.example") + lineBreak + QStringLiteral("RCPT to:<victim@x.example>");
        QCOMPARE(send(server, m), QString());
        QVERIFY(server.wait());
        const QByteArray got = server.received(0);
        // One envelope sender (the address in brackets), one recipient, one From and one Subject line.
        QVERIFY(got.contains("Mail from:<victim@x.example>\r\nRCPT to:<support@quilmora.example>\r\nData\r\n"));
        QVERIFY(got.contains("\r\nFrom: ann@site.example RCPT to:<victim@x.example>\r\n"));
        QVERIFY(got.contains("\r\nSubject: Hi Bcc: victim@x.example\r\n"));
        QVERIFY(!got.contains("\r\nBcc"));
        QVERIFY(!got.contains("\rBcc"));
        QVERIFY(!got.contains("\rRCPT to:<victim"));
    }

    void emptyHeadersLeftOut()
    {
        MailMessage m = simpleMessage();
        m.Subject.clear();
        m.From.clear();
        const QByteArrayList lines = m.headerLines(QDateTime());
        QCOMPARE(lines.first(), QByteArray("To: support@quilmora.example"));
        for (const QByteArray &line : lines)
            QVERIFY(!line.startsWith("Cc") && !line.startsWith("Subject") && !line.startsWith("From"));
    }

    void dateHeader_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("west") << QDateTime(QDate(2026, 12, 3), QTime(9, 5, 7), QTimeZone(-16200))
                              << QByteArray("Thu, 3 Dec 2026 09:05:07 -0430");
        QTest::newRow("utc") << QDateTime(QDate(2027, 1, 31), QTime(23, 59, 59), QTimeZone::utc())
                             << QByteArray("Sun, 31 Jan 2027 23:59:59 +0000");
        QTest::newRow("east") << QDateTime(QDate(2026, 7, 14), QTime(0, 0), QTimeZone(20700))
                              << QByteArray("Tue, 14 Jul 2026 00:00:00 +0545");
    }
    void dateHeader()
    {
        QFETCH(QDateTime, time);
        QFETCH(QByteArray, expected);
        QCOMPARE(MailMessage::dateText(time), expected);
    }

    void charsetByLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<char>("encoding");
        QTest::newRow("zh_CN") << "zh_CN" << QByteArray("GB2312") << 'B';
        QTest::newRow("zh_TW") << "zh_TW" << QByteArray("Big5") << 'B';
        QTest::newRow("ja_JP") << "ja_JP" << QByteArray("ISO-2022-JP") << 'B';
        QTest::newRow("ko_KR") << "ko_KR" << QByteArray("EUC-KR") << 'B';
        QTest::newRow("de_DE") << "de_DE" << QByteArray("ISO-8859-1") << 'Q';
        QTest::newRow("en_US") << "en_US" << QByteArray("ISO-8859-1") << 'Q';
    }
    void charsetByLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, charset);
        QFETCH(char, encoding);
        const MailCharset c = MailCharset::forLocale(QLocale(locale));
        QCOMPARE(c.name, charset);
        QCOMPARE(c.encoding, encoding);
    }
};

QTEST_GUILESS_MAIN(TestSmtp)
#include "tst_smtp.moc"
