#include "config/ConfigStore.h"

#include <QTemporaryDir>
#include <QTest>

class TestConfigStore : public QObject
{
    Q_OBJECT
private slots:
    void lineEndings_data();
    void lineEndings();
    void namesIgnoreCaseValuesTrimmed();
    void firstSectionAndKeyWin();
    void absentEmptyAndDefaults();
    void lookupsAfterIndexReleased();
    void linesOutsideSectionsIgnored();
    void valueAfterItsKey_data();
    void valueAfterItsKey();
    void longValueSurvives();
    void missingAndUnreadableFiles();
    void writerFormat();
    void atomicWriteKeepsOldFileOnFailure();
    void parseUntilSection_data();
    void parseUntilSection();
    void sectionEndWhileReading_data() { parseUntilSection_data(); }
    void sectionEndWhileReading();
};

void TestConfigStore::lineEndings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("CR LF") << QByteArray("[S]\r\na=1\r\nb=2\r\n");
    QTest::newRow("LF") << QByteArray("[S]\na=1\nb=2\n");
    QTest::newRow("CR") << QByteArray("[S]\ra=1\rb=2\r");
    QTest::newRow("mixed, no final break") << QByteArray("[S]\r\na=1\rb=2");
}

void TestConfigStore::lineEndings()
{
    QFETCH(QByteArray, bytes);
    const ConfigStore store = ConfigStore::fromBytes(bytes);
    QCOMPARE(store.sectionNames(), QByteArrayList{"S"});
    QCOMPARE(store.readString("S", "a"), QByteArray("1"));
    QCOMPARE(store.readString("S", "b"), QByteArray("2"));
}

void TestConfigStore::namesIgnoreCaseValuesTrimmed()
{
    const ConfigStore store = ConfigStore::fromBytes(
        "[Server]\r\n  Name =  Office Main \t\r\nQuote=\" x \"\r\nEq=a=b\r\n[ pop1 ]\r\nHost=h\r\n");
    QCOMPARE(store.sectionNames(), (QByteArrayList{"Server", "pop1"}));
    QCOMPARE(store.readString("SERVER", "name"), QByteArray("Office Main"));
    QCOMPARE(store.readString("server", "QUOTE"), QByteArray("\" x \""));
    QCOMPARE(store.readString("SERVER", "Eq"), QByteArray("a=b"));
    QCOMPARE(store.readString("POP1", "host"), QByteArray("h"));
}

void TestConfigStore::firstSectionAndKeyWin()
{
    const ConfigStore store = ConfigStore::fromBytes(
        "[A]\nk=first\nk=second\n[B]\nx=1\n[a]\nk=third\nother=4\n");
    QCOMPARE(store.sectionNames(), (QByteArrayList{"A", "B"}));
    QCOMPARE(store.readString("A", "k"), QByteArray("first"));
    QVERIFY(!store.value("A", "other"));
}

void TestConfigStore::absentEmptyAndDefaults()
{
    const ConfigStore store = ConfigStore::fromBytes("[S]\nempty=\nnum=0x77\nbad=1x\nsw=1\nsw2=2\n");
    QCOMPARE(store.readString("S", "empty", "dflt"), QByteArray());
    QCOMPARE(store.readString("S", "absent", "dflt"), QByteArray("dflt"));
    QCOMPARE(store.readString("Nope", "absent", "dflt"), QByteArray("dflt"));
    QCOMPARE(store.readInteger("S", "empty", 110), 110);
    QCOMPARE(store.readInteger("S", "num", 0), 119);
    QCOMPARE(store.readInteger("S", "bad", 25), 25);
    QVERIFY(store.readSwitch("S", "sw"));
    QVERIFY(!store.readSwitch("S", "sw2"));
    QVERIFY(!store.readSwitch("S", "absent"));
    QCOMPARE(store.readBinary("S", "absent"), QByteArray());
    QCOMPARE(store.readList("S", "absent"), QByteArrayList());
}

// Once the index of names is released, lookups by name give what they gave before.
void TestConfigStore::lookupsAfterIndexReleased()
{
    const ConfigStore store = ConfigStore::fromBytes("[A]\nk=first\n[B]\nx=1\n[a]\nk=third\n[Server]\nName=s\n");
    store.releaseIndex();
    QCOMPARE(store.readString("a", "K"), QByteArray("first"));
    QCOMPARE(store.readString("SERVER", "name"), QByteArray("s"));
    QCOMPARE(store.readInteger("b", "x", 0), 1);
    QVERIFY(!store.value("C", "x"));
    QCOMPARE(ConfigStore().value("A", "k"), std::nullopt);
}

void TestConfigStore::linesOutsideSectionsIgnored()
{
    const ConfigStore store = ConfigStore::fromBytes("orphan=1\n\n[S]\nno equals sign\n=nokey\nk=v\n");
    QCOMPARE(store.sectionNames(), QByteArrayList{"S"});
    QCOMPARE(store.readString("S", "k"), QByteArray("v"));
    QVERIFY(!store.value("S", "no equals sign"));
}

void TestConfigStore::valueAfterItsKey_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("blanks and tabs around =") << QByteArray("[S]\r\nk \t = \t v w \t\r\n") << QByteArray("k") << QByteArray("v w");
    QTest::newRow("only blanks after =") << QByteArray("[S]\nk=  \t \nn=1\n") << QByteArray("k") << QByteArray();
    QTest::newRow("blanks then line end") << QByteArray("[S]\nk =   ") << QByteArray("k") << QByteArray();
    QTest::newRow("= in the value") << QByteArray("[S]\nk = = v=\n") << QByteArray("k") << QByteArray("= v=");
    QTest::newRow("empty key") << QByteArray("[S]\n = v\n") << QByteArray("") << QByteArray("v");
    QTest::newRow("next line's key") << QByteArray("[S]\na=\nb= x\n") << QByteArray("b") << QByteArray("x");
    QTest::newRow("last line, no break") << QByteArray("[S]\nk= end") << QByteArray("k") << QByteArray("end");
}

// The value a key gives, however blanks stand between them, and next to other keys.
void TestConfigStore::valueAfterItsKey()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    const ConfigStore store = ConfigStore::fromBytes(bytes);
    const auto v = store.value("S", key);
    QVERIFY(v);
    QCOMPARE(*v, value);
    QCOMPARE(store.view(0, key)->size(), value.size());
}

void TestConfigStore::longValueSurvives()
{
    const QByteArray body(100000, 'A');
    const ConfigStore store = ConfigStore::fromBytes("[POP1]\r\nAutoReplyBody=" + body + "\r\n");
    QCOMPARE(store.readString("POP1", "AutoReplyBody"), body);
}

void TestConfigStore::missingAndUnreadableFiles()
{
    QTemporaryDir dir;
    const auto missing = ConfigStore::fromFile(dir.filePath("none.ini"));
    QVERIFY(missing);
    QVERIFY(missing->sectionNames().isEmpty());
    // A folder in place of the file cannot be read: nothing is loaded (a save would
    // otherwise replace what could not be read).
    QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
    QVERIFY(!ConfigStore::fromFile(dir.filePath("folder.ini")));
}

void TestConfigStore::writerFormat()
{
    ConfigWriter w;
    w.beginSection("SERVER");
    w.writeInteger("Port", 119);
    w.writeString("Name", "Office");
    w.writeSwitch("On", true);
    w.writeBinary("Pass", "abc");
    w.writeList("Users", {"front desk", "b"});
    QCOMPARE(w.bytes(), QByteArray("[SERVER]\r\nPort=119\r\nName=Office\r\nOn=1\r\nPass=616263\r\n"
                                   "Users=\"front desk\",b\r\n"));

    // A line break inside a text value cannot add lines to the file.
    ConfigWriter broken;
    broken.beginSection("SERVER");
    broken.writeString("Name", "a\r\n[POP1]\rHost=x\ny");
    broken.writeString("Port", "119");
    QCOMPARE(broken.bytes(), QByteArray("[SERVER]\r\nName=a  [POP1] Host=x y\r\nPort=119\r\n"));
    const auto store = ConfigStore::fromBytes(broken.bytes());
    QCOMPARE(store.sectionNames(), QByteArrayList{"SERVER"});
}

void TestConfigStore::atomicWriteKeepsOldFileOnFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    QVERIFY(writeFileAtomically(path, "old"));
    QVERIFY(writeFileAtomically(path, "new"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("new"));
    // A file in a folder that does not exist cannot be written.
    QVERIFY(!writeFileAtomically(dir.filePath("no/such/folder/a.ini"), "x"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.ini"});
}

void TestConfigStore::parseUntilSection_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("name"); // SERVER's Name as a whole parse reads it
    QTest::addColumn<int>("sections");    // sections the parse up to SERVER keeps
    QTest::newRow("first") << QByteArray("[SERVER]\r\nName=a\r\n[USER1]\r\nName=u\r\n") << QByteArray("a") << 1;
    QTest::newRow("after items") << QByteArray("[USER1]\r\nName=u\r\n[ server ]\nName = b\n[GROUP1]\nName=g\n")
                                 << QByteArray("b") << 2;
    QTest::newRow("twice: the first counts") << QByteArray("[SERVER]\r\nPort=1\r\n[Server]\r\nName=late\r\n")
                                             << QByteArray() << 1;
    QTest::newRow("last line without break") << QByteArray("[X]\r\n[SERVER]\r\nName=c") << QByteArray("c") << 2;
    QTest::newRow("a bracket in a value") << QByteArray("[SERVER]\r\nName=[d]\r\nPort=2\r\n[USER1]\r\n")
                                          << QByteArray("[d]") << 1;
    QTest::newRow("no such section") << QByteArray("[USER1]\r\nName=u\r\n[GROUP1]\r\n") << QByteArray() << 2;
    QTest::newRow("a section twice before it") << QByteArray("[A]\n[a]\nk=1\n[SERVER]\nName=e\n[B]\n") << QByteArray("e") << 2;
    QTest::newRow("CR lines") << QByteArray("[SERVER]\rName=f\r[USER1]\rName=u\r") << QByteArray("f") << 1;
    QTest::newRow("unclosed bracket is no section") << QByteArray("[SERVER]\nName=g\n  [USER1\nPort=3\n\t[X]\n")
                                                    << QByteArray("g") << 1;
}

void TestConfigStore::parseUntilSection()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, name);
    QFETCH(int, sections);
    const ConfigStore whole = ConfigStore::fromBytes(text);
    const ConfigStore part = ConfigStore::fromBytesUntil(QByteArray(text), "SERVER");
    QCOMPARE(part.readString("SERVER", "Name"), name);
    QCOMPARE(part.value("SERVER", "Name"), whole.value("SERVER", "Name"));
    QCOMPARE(part.readInteger("server", "Port", -1), whole.readInteger("server", "Port", -1));
    QCOMPARE(part.sectionCount(), sections);
}

// The bytes before the position SectionEndFinder gives, parsed whole, are what a parse up
// to the SERVER section reads, wherever the bytes are cut as they arrive.
void TestConfigStore::sectionEndWhileReading()
{
    QFETCH(QByteArray, text);
    QFETCH(int, sections);
    const ConfigStore until = ConfigStore::fromBytesUntil(QByteArray(text), "SERVER");
    for (qsizetype cut = 0; cut <= text.size(); ++cut) {
        SectionEndFinder finder("SERVER");
        finder.scan(text.first(cut), false);
        const qsizetype end = finder.scan(text, true);
        const ConfigStore head = ConfigStore::fromBytes(end < 0 ? text : text.first(end));
        QCOMPARE(head.sectionNames(), until.sectionNames());
        QCOMPARE(head.sectionCount(), sections);
        for (const char *key : {"Name", "Port"})
            QCOMPARE(head.value("SERVER", key), until.value("SERVER", key));
        QCOMPARE(head.value("SERVER", "Name"), ConfigStore::fromBytes(text).value("SERVER", "Name"));
    }
}

QTEST_GUILESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"
