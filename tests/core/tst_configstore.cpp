#include "config/ConfigStore.h"
#include "config/ValueForms.h"

#include <QTemporaryDir>
#include <algorithm>
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
    void keysOfSection_data();
    void keysOfSection();
    void binaryDecodedInPlace_data();
    void binaryDecodedInPlace();
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

namespace {

// A section's keys as "key=value" lines, in file order.
QByteArrayList keyLines(const ConfigStore &store, qsizetype section)
{
    std::vector<ConfigStore::KeyValue> keys;
    store.keys(section, keys);
    QByteArrayList lines;
    for (const ConfigStore::KeyValue &kv : keys)
        lines.append(kv.key.toByteArray() + '=' + kv.value.toByteArray());
    return lines;
}

} // namespace

void TestConfigStore::keysOfSection_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("keys"); // of section S, key=value in file order
    QTest::newRow("CR LF") << QByteArray("[S]\r\na=1\r\nb=2\r\n") << QByteArrayList{"a=1", "b=2"};
    QTest::newRow("LF") << QByteArray("[S]\na=1\nb=2\n") << QByteArrayList{"a=1", "b=2"};
    QTest::newRow("CR") << QByteArray("[S]\ra=1\rb=2\r") << QByteArrayList{"a=1", "b=2"};
    QTest::newRow("mixed breaks") << QByteArray("[S]\r\na=1\rb=2\nc=3\r\n") << QByteArrayList{"a=1", "b=2", "c=3"};
    QTest::newRow("= in values") << QByteArray("[S]\r\na==\r\nb = x=y = z \r\n") << QByteArrayList{"a==", "b=x=y = z"};
    QTest::newRow("empty values") << QByteArray("[S]\r\na=\r\nb=   \r\nc= \t\nd=4\r\n")
                                  << QByteArrayList{"a=", "b=", "c=", "d=4"};
    QTest::newRow("last line without break") << QByteArray("[S]\r\na=1\r\nb= 2 ") << QByteArrayList{"a=1", "b=2"};
    QTest::newRow("last line an empty value") << QByteArray("[S]\na=1\nb=") << QByteArrayList{"a=1", "b="};
    QTest::newRow("blanks before breaks") << QByteArray("[S]  \r\n a = 1 \t \r\n\t b\t=\t2\t\r\n")
                                          << QByteArrayList{"a=1", "b=2"};
    QTest::newRow("lines without =") << QByteArray("[S]\r\nno key here\r\n\r\na=1\r\n   \r\n[unclosed\r\nb=2\r\n")
                                     << QByteArrayList{"a=1", "b=2"};
    QTest::newRow("empty key, bracket in a key") << QByteArray("[S]\n=v\n[k=w\n") << QByteArrayList{"=v", "[k=w"};
    QTest::newRow("twice the same key") << QByteArray("[S]\na=1\nA=2\na=3\n") << QByteArrayList{"a=1", "A=2", "a=3"};
    QTest::newRow("text after the section line") << QByteArray("[S] x=y\r\na=1\r\n") << QByteArrayList{"a=1"};
    QTest::newRow("the section repeated")
        << QByteArray("[S]\r\na=1\r\n[T]\r\nt=0\r\n[s]\r\na=late\r\nb=late\r\n[U]\r\n") << QByteArrayList{"a=1"};
    QTest::newRow("keys before any section") << QByteArray("x=0\n[S]\na=1\n") << QByteArrayList{"a=1"};
    QTest::newRow("a section without keys") << QByteArray("[S]\r\n[T]\r\nt=1\r\n") << QByteArrayList{};
    QTest::newRow("the last line a section line") << QByteArray("x=0\n[S]") << QByteArrayList{};
    QTest::newRow("8-bit bytes") << QByteArray("[S]\r\nname=J\xdcrgen \xff\r\n") << QByteArrayList{"name=J\xdcrgen \xff"};
}

// A section's keys are found again after the parse, from the text it ended every value in:
// the keys and values as parsed, no NUL or line break in any of them, each value the one
// a lookup by its key gives (the first of equal keys). A text holding a NUL of its own
// (before the sections here) gives the same.
void TestConfigStore::keysOfSection()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, keys);
    for (const QByteArray &bytes : {text, QByteArray("z=\0\n", 4) + text}) {
        const ConfigStore store = ConfigStore::fromBytes(bytes);
        const qsizetype s = store.sectionNames().indexOf("S");
        QVERIFY(s >= 0);
        const QByteArrayList lines = keyLines(store, s);
        QCOMPARE(lines, keys);
        for (const QByteArray &line : lines) {
            QVERIFY(!line.contains('\0') && !line.contains('\r') && !line.contains('\n'));
            const QByteArray key = line.left(line.indexOf('='));
            const QByteArray first = *std::find_if(lines.begin(), lines.end(), [&key](const QByteArray &l) {
                return l.left(l.indexOf('=')).compare(key, Qt::CaseInsensitive) == 0;
            });
            QCOMPARE(store.value("S", key), std::optional<QByteArray>(first.mid(key.size() + 1)));
            std::vector<ConfigStore::KeyValue> kv;
            store.keys(s, kv);
            QCOMPARE(ConfigStore::find(kv, key.toLower())->toByteArray(), first.mid(key.size() + 1));
        }
        // Every other section's keys are whole too.
        for (qsizetype other = 0; other < store.sectionCount(); ++other) {
            for (const QByteArray &line : keyLines(store, other))
                QVERIFY(!line.contains('\0') && !line.contains('\r') && !line.contains('\n'));
        }
    }
}

void TestConfigStore::binaryDecodedInPlace_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("one digit") << QByteArray("4") << QByteArray();
    QTest::newRow("upper case") << QByteArray("0A1BFF") << QByteArray("\x0a\x1b\xff", 3);
    QTest::newRow("lower case") << QByteArray("0a1bff") << QByteArray("\x0a\x1b\xff", 3);
    QTest::newRow("mixed case") << QByteArray("aBcD") << QByteArray("\xab\xcd", 2);
    QTest::newRow("odd length: the last digit dropped") << QByteArray("41424") << QByteArray("AB");
    QTest::newRow("NUL bytes") << QByteArray("00410000") << QByteArray("\0A\0\0", 4);
    QTest::newRow("bad first pair") << QByteArray("g141") << QByteArray();
    QTest::newRow("bad digit: up to its pair") << QByteArray("41424g4344") << QByteArray("AB");
    QTest::newRow("bad second digit") << QByteArray("414x") << QByteArray("A");
    QTest::newRow("a blank inside") << QByteArray("41 42") << QByteArray("A");
    QTest::newRow("8-bit byte") << QByteArray("41\xc3\x84") << QByteArray("A");
    QTest::newRow("long") << QByteArray("5468616E6B73").repeated(1000) << QByteArray("Thanks").repeated(1000);
}

// A binary value decoded over its own digits gives the bytes the decoder gives, leaves the
// section's other values as they were, and lasts as long as it is held.
void TestConfigStore::binaryDecodedInPlace()
{
    QFETCH(QByteArray, digits);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ValueForms::decodeBinary(digits), bytes);
    QByteArray decoded;
    for (const QByteArray &tail : {QByteArray("\r\nc=3\r\n"), QByteArray("  \nc=3"), QByteArray()}) {
        {
            ConfigStore store = ConfigStore::fromBytes("[S]\r\na=1\r\nb= " + digits + tail);
            std::vector<ConfigStore::KeyValue> keys;
            store.keys(0, keys);
            decoded = store.decodeBinaryInPlace(*ConfigStore::find(keys, "b"));
            QCOMPARE(ConfigStore::find(keys, "a")->toByteArray(), QByteArray("1"));
            if (!tail.isEmpty())
                QCOMPARE(ConfigStore::find(keys, "c")->toByteArray(), QByteArray("3"));
            QCOMPARE(store.readString("S", "a"), QByteArray("1"));
        }
        QCOMPARE(decoded, bytes);
        QCOMPARE(decoded.constData()[decoded.size()], '\0');
    }
}

QTEST_GUILESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"
