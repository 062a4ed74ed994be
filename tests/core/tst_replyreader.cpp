// The reply reader shared by every protocol: line rules, multi-line replies, the code
// rule, the message text, and a server that misbehaves.
#include "remote/ReplyReader.h"

#include <QBuffer>
#include <QTest>

class TestReplyReader : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void failures_data();
    void failures();
    void longestLineIsAccepted();
    void messageDropsFinalLineBreak();
    void followingReplyStaysUnread();
};

void TestReplyReader::reads_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("one line") << QByteArray("200 OK\r\n") << 200 << 1 << QByteArray("OK\r\n");
    QTest::newRow("LF alone ends a line") << QByteArray("250 fine\n") << 250 << 1 << QByteArray("fine\r\n");
    QTest::newRow("blank lines skipped") << QByteArray("\r\n \t\r\n\n200 OK\r\n") << 200 << 1
                                         << QByteArray("OK\r\n");
    QTest::newRow("blanks and controls trimmed") << QByteArray(" \x01 200 OK there \t\r\n") << 200 << 1
                                                 << QByteArray("OK there\r\n");
    QTest::newRow("multi-line") << QByteArray("200-Welcome\r\n200-to the\r\n200 server\r\n") << 200 << 3
                                << QByteArray("Welcome\r\nto the\r\nserver\r\n");
    QTest::newRow("blank lines inside a multi-line reply")
        << QByteArray("200-a\r\n\r\n200 b\r\n") << 200 << 2 << QByteArray("a\r\nb\r\n");
    QTest::newRow("other codes do not close") << QByteArray("220-a\r\n221 b\r\n220-c\r\n220 d\r\n") << 220 << 4
                                              << QByteArray("a\r\nb\r\nc\r\nd\r\n");
    QTest::newRow("closing line matched without case") << QByteArray("ab1-x\r\nAB1 y\r\n") << 0 << 2
                                                       << QByteArray("x\r\ny\r\n");
    QTest::newRow("short line closes") << QByteArray("200-a\r\nok\r\n200 more\r\n") << 200 << 2
                                       << QByteArray("a\r\n\r\n");
    QTest::newRow("code alone") << QByteArray("200\r\n") << 200 << 1 << QByteArray("\r\n");
    QTest::newRow("code alone, multi-line close") << QByteArray("354-go\r\n354\r\n") << 354 << 2
                                                  << QByteArray("go\r\n\r\n");
    QTest::newRow("not a number") << QByteArray("OK fine\r\n") << 0 << 1 << QByteArray("ine\r\n");
    QTest::newRow("four digits") << QByteArray("2000 x\r\n") << 2000 << 1 << QByteArray(" x\r\n");
    QTest::newRow("no blank after code") << QByteArray("200OK\r\n") << 0 << 1 << QByteArray("K\r\n");
    QTest::newRow("refusal") << QByteArray("500 Bad login\r\n") << 500 << 1 << QByteArray("Bad login\r\n");
}

void TestReplyReader::reads()
{
    QFETCH(QByteArray, input);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    ReplyReader reader(buffer);
    Reply reply;
    QVERIFY2(reader.readReply(&reply), qPrintable(reader.errorText()));
    QTEST(reply.code, "code");
    QTEST(int(reply.lines.size()), "lineCount");
    QTEST(reply.text(), "text");
}

void TestReplyReader::failures_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error");

    const QString closed = QStringLiteral("Connection Closed Gracefully.");
    QTest::newRow("nothing") << QByteArray() << closed;
    QTest::newRow("only blank lines") << QByteArray("\r\n\r\n") << closed;
    QTest::newRow("line without end") << QByteArray("200 OK") << closed;
    QTest::newRow("multi-line cut off") << QByteArray("200-a\r\n200-b\r\n") << closed;
    QTest::newRow("endless line") << QByteArray(ReplyReader::MaxLineLength + 10, 'x')
                                  << QStringLiteral("The server sent a line longer than 65536 bytes.");
    QTest::newRow("one byte too long") << QByteArray(ReplyReader::MaxLineLength + 1, 'x') + "\n"
                                       << QStringLiteral("The server sent a line longer than 65536 bytes.");
    QTest::newRow("endless blank lines") << QByteArray(ReplyReader::MaxReplySize + 10, '\n')
                                         << QStringLiteral("The server's reply is larger than 1048576 bytes.");
    QByteArray many = "200-start\r\n";
    while (many.size() <= ReplyReader::MaxReplySize)
        many += "200-again and again\r\n";
    QTest::newRow("endless multi-line reply")
        << many << QStringLiteral("The server's reply is larger than 1048576 bytes.");
}

void TestReplyReader::failures()
{
    QFETCH(QByteArray, input);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    ReplyReader reader(buffer);
    Reply reply;
    QVERIFY(!reader.readReply(&reply));
    QTEST(reader.errorText(), "error");
}

void TestReplyReader::longestLineIsAccepted()
{
    QByteArray input = "200 " + QByteArray(ReplyReader::MaxLineLength - 4, 'y') + "\r\n";
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    ReplyReader reader(buffer);
    Reply reply;
    QVERIFY2(reader.readReply(&reply), qPrintable(reader.errorText()));
    QCOMPARE(reply.lines.first().size(), ReplyReader::MaxLineLength);
}

void TestReplyReader::messageDropsFinalLineBreak()
{
    Reply reply;
    reply.lines = {"500-Bad", "500 login"};
    QCOMPARE(reply.text(), QByteArray("Bad\r\nlogin\r\n"));
    QCOMPARE(reply.message(), QStringLiteral("Bad\r\nlogin"));
}

void TestReplyReader::followingReplyStaysUnread()
{
    // The reader must not swallow what follows its reply (a data block, the next reply).
    QByteArray input = QByteArray("200 OK\r\n") + QByteArray("\x00\x00\x00\x02zz", 6);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    ReplyReader reader(buffer);
    Reply reply;
    QVERIFY(reader.readReply(&reply));
    QCOMPARE(buffer.readAll(), QByteArray("\x00\x00\x00\x02zz", 6));
}

QTEST_GUILESS_MAIN(TestReplyReader)
#include "tst_replyreader.moc"
