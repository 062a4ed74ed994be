// quilmora-config diff as a script reads it: the changes in file order, items matched by
// name letter case aside (namesakes in turn), binary values and membership lists compared
// by what they hold rather than how they are written, and the output of a large
// comparison, which goes out in pieces as the changes are found, byte for byte what the
// whole list of changes gives.
#include "config/ConfigDiff.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/TextCodec.h"
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include "../../bench/ConfigGenerator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kMine = "[SERVER]\r\nPort=119\r\nVersion=1.05\r\nAdminUser=admin\r\n"
                         "[POP1]\r\nHost=mail.example\r\nUserID=info\r\nNewsgroups=sales\r\n"
                         "[POP2]\r\nHost=MAIL.example\r\nUserID=INFO\r\nPort=111\r\n"
                         "[USER1]\r\nName=ann\r\nDescription=a1\r\n"
                         "[USER2]\r\nName=ANN\r\nDescription=a2\r\n"
                         "[USER3]\r\nName=Ann\r\nDescription=a3\r\n"
                         "[USER4]\r\nName=bob\r\nPass=0A0b\r\n"
                         "[GROUP1]\r\nName=sales\r\nUsers=ann,bob\r\n";

// Namesakes in turn, a binary value in other letter case, a list with other quoting and
// blanks, an item more and an item fewer.
const QByteArray kOther = "[SERVER]\r\nPort=120\r\nVersion=1.05\r\nAdminUser=admin\r\n"
                          "[POP1]\r\nHost=mail.example\r\nUserID=info\r\nNewsgroups=sales\r\n"
                          "[POP2]\r\nHost=Mail.Example\r\nUserID=Info\r\nPort=995\r\n"
                          "[USER1]\r\nName=Ann\r\nDescription=a1\r\n"
                          "[USER2]\r\nName=ann\r\nDescription=b2\r\n"
                          "[USER3]\r\nName=carol\r\n"
                          "[USER4]\r\nName=BOB\r\nPass=0a0B\r\n"
                          "[GROUP1]\r\nName=SALES\r\nUsers= \"ann\" , bob\r\n"
                          "[GROUP2]\r\nName=new\r\n";

const QByteArray kChangesText = "~ server.Port: 119 -> 120\n"
                                "~ pop:INFO/MAIL.example.Host: \"MAIL.example\" -> \"Mail.Example\"\n"
                                "~ pop:INFO/MAIL.example.Port: 111 -> 995\n"
                                "~ pop:INFO/MAIL.example.UserID: \"INFO\" -> \"Info\"\n"
                                "~ user:ann.Name: \"ann\" -> \"Ann\"\n"
                                "~ user:ANN.Name: \"ANN\" -> \"ann\"\n"
                                "~ user:ANN.Description: \"a2\" -> \"b2\"\n"
                                "- user:Ann\n"
                                "~ user:bob.Name: \"bob\" -> \"BOB\"\n"
                                "+ user:carol\n"
                                "~ group:sales.Name: \"sales\" -> \"SALES\"\n"
                                "+ group:new\n";

ConfigDocument loaded(const QByteArray &bytes)
{
    ConfigDocument doc;
    QString error;
    if (!doc.loadFromStore(ConfigStore::fromBytes(bytes), TextCodec(), &error))
        qFatal("fixture does not load: %s", qPrintable(error));
    return doc;
}

} // namespace

class TestCliDiff : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void changesAndStatus_data();
    void changesAndStatus();
    void jsonOfChanges();
    void largeOutputInPieces_data();
    void largeOutputInPieces();

private:
    CliRun diff(const QByteArray &mine, const QByteArray &other, bool json)
    {
        const QString folder = m_dir.path();
        if (!TestFiles::write(folder + QStringLiteral("/quilmora.ini"), mine)
            || !TestFiles::write(folder + QStringLiteral("/other.ini"), other))
            qFatal("cannot write the fixtures");
        QStringList args{QStringLiteral("--folder"), folder, QStringLiteral("diff"), folder + QStringLiteral("/other.ini")};
        if (json)
            args << QStringLiteral("--json");
        return runCli(args);
    }
    QTemporaryDir m_dir;
};

void TestCliDiff::changesAndStatus_data()
{
    QTest::addColumn<QByteArray>("mine");
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("status");
    QTest::newRow("the same file") << kMine << kMine << QByteArray() << 0;
    // Line breaks, blanks, a value's hexadecimal letter case and a list's quoting are not
    // what the configurations hold.
    QByteArray relaid = kMine;
    relaid.replace("\r\n", "\n").replace("Pass=0A0b", "Pass = 0a0b  ").replace("Users=ann,bob", "Users=\"ann\",  bob");
    QTest::newRow("the same, written otherwise") << kMine << relaid << QByteArray() << 0;
    QTest::newRow("every kind of change") << kMine << kOther << kChangesText << 1;
    QTest::newRow("an item added")
        << kMine << kMine + "[GROUP2]\r\nName=comp.lang\r\n" << QByteArray("+ group:comp.lang\n") << 1;
    QTest::newRow("items removed")
        << kMine << QByteArray(kMine).replace("[USER3]\r\nName=Ann\r\nDescription=a3\r\n[USER4]\r\nName=bob\r\nPass=0A0b\r\n", "")
        << QByteArray("- user:Ann\n- user:bob\n") << 1;
    QTest::newRow("a binary value changed")
        << kMine << QByteArray(kMine).replace("Pass=0A0b", "Pass=0A0c")
        << QByteArray("~ user:bob.Pass: \"0A0B\" -> \"0A0C\"\n") << 1;
    QTest::newRow("a list changed")
        << kMine << QByteArray(kMine).replace("Users=ann,bob", "Users=bob,ann")
        << QByteArray("~ group:sales.Users: [\"ann\", \"bob\"] -> [\"bob\", \"ann\"]\n") << 1;
}

// The text form: one line a change, in file order, and the status diff(1) gives.
void TestCliDiff::changesAndStatus()
{
    QFETCH(QByteArray, mine);
    QFETCH(QByteArray, other);
    QFETCH(QByteArray, expected);
    QFETCH(int, status);
    const CliRun r = diff(mine, other, false);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, expected);
    QCOMPARE(r.status, status);
    // The JSON form lists the same changes; no change is an empty array.
    const CliRun j = diff(mine, other, true);
    QCOMPARE(j.status, status);
    QCOMPARE(QJsonDocument::fromJson(j.out).array().size(), qsizetype(expected.count('\n')));
    if (expected.isEmpty())
        QCOMPARE(j.out, QByteArray("[]\n"));
}

void TestCliDiff::jsonOfChanges()
{
    const CliRun r = diff(kMine, kOther, true);
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.endsWith("}\n]\n"));
    const QJsonArray changes = QJsonDocument::fromJson(r.out).array();
    QCOMPARE(changes.size(), 12);
    const QJsonObject port = changes.at(0).toObject();
    QCOMPARE(port.value(QStringLiteral("change")).toString(), QStringLiteral("changed"));
    QCOMPARE(port.value(QStringLiteral("item")).toString(), QStringLiteral("server"));
    QCOMPARE(port.value(QStringLiteral("from")).toInt(), 119);
    QCOMPARE(port.value(QStringLiteral("to")).toInt(), 120);
    const QJsonObject second = changes.at(6).toObject();
    QCOMPARE(second.value(QStringLiteral("item")).toString(), QStringLiteral("user:ANN"));
    QCOMPARE(second.value(QStringLiteral("key")).toString(), QStringLiteral("Description"));
    QCOMPARE(changes.at(7).toObject().value(QStringLiteral("change")).toString(), QStringLiteral("removed"));
    QCOMPARE(changes.at(11).toObject().value(QStringLiteral("change")).toString(), QStringLiteral("added"));
    // Byte for byte what the list of changes gives, written whole.
    QCOMPARE(r.out, ConfigDiff::json(ConfigDiff::compare(loaded(kMine), loaded(kOther), TextCodec()), TextCodec()));
}

void TestCliDiff::largeOutputInPieces_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << false;
    QTest::newRow("JSON") << true;
}

// Thousands of changes, many pieces of output: the bytes are those of the whole list.
void TestCliDiff::largeOutputInPieces()
{
    QFETCH(bool, json);
    const QByteArray mine = ConfigGenerator::manyAccounts(4000);
    QByteArray other = mine;
    other.replace("AutoReplySubject=Received", "AutoReplySubject=Seen");
    const CliRun r = diff(mine, other, json);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.out.size() > 4 * 64 * 1024, QByteArray::number(r.out.size()).constData());
    const QList<ConfigDiff::Entry> entries = ConfigDiff::compare(loaded(mine), loaded(other), TextCodec());
    QCOMPARE(entries.size(), 4000);
    const QByteArray whole = json ? ConfigDiff::json(entries, TextCodec()) : ConfigDiff::text(entries, TextCodec());
    QCOMPARE(r.out.size(), whole.size());
    QVERIFY(r.out == whole);
}

QTEST_GUILESS_MAIN(TestCliDiff)
#include "tst_cli_diff.moc"
