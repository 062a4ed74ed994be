// quilmora-config's check, apply and diff as scripts use them: findings and status, dump
// and apply round trips byte for byte, NUL in byte-string values, refused members, and the
// differences between two files.
#include "support/AdminFixture.h"

#include "../../bench/ConfigGenerator.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestCliApply : public QObject, public AdminFixture
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(freshFolder()); }
    void checkOutputAndStatus();
    void applyRoundTrips_data();
    void applyRoundTrips();
    void applyReplacesAndDryRun();
    void nulInBinaryValues_data();
    void nulInBinaryValues();
    void applyRefusesBadMembers_data();
    void applyRefusesBadMembers();
    void applyEditsMemberLists_data();
    void applyEditsMemberLists();
    void diffStatusAndOutput();
};

void TestCliApply::checkOutputAndStatus()
{
    // Only warnings: status 0.
    CliRun r = cli({"check"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("warning duplicate-name group:#3: \"SALES\" is also the name of group:#1\n"));
    QCOMPARE(cli({"add", "group", "x", "Users=gone", "Users=\x1b]0;owned\x07"}).status, 0);
    r = cli({"check", "--json"});
    QCOMPARE(r.status, 1);
    const QJsonArray findings = QJsonDocument::fromJson(r.out).array();
    QCOMPARE(findings.size(), 3);
    const QJsonObject first = findings.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("level")).toString(), QStringLiteral("error"));
    QCOMPARE(first.value(QStringLiteral("code")).toString(), QStringLiteral("unknown-user"));
    QCOMPARE(first.value(QStringLiteral("item")).toString(), QStringLiteral("group:x"));
    QCOMPARE(first.value(QStringLiteral("message")).toString(), QStringLiteral("Users names \"gone\", which is no user"));
    // A control character in a name never reaches the terminal as such.
    r = cli({"check"});
    QVERIFY(!r.out.contains('\x1b'));
    QVERIFY(!r.out.contains('\x07'));
    QVERIFY(r.out.contains("Users names \"\\u001b]0;owned\\u0007\", which is no user"));
}

void TestCliApply::applyRoundTrips_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("example") << TestFiles::read(QStringLiteral(QUILMORA_TEST_DATA "/example.ini")) << QByteArray();
    QTest::newRow("demo") << TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini"))
                          << QByteArray();
    QTest::newRow("small, refused group name kept, lower-case flag") << kSmall + "[GROUP9]\r\nName=front desk\r\nReadOnly=y\r\n"
                                                                     << QByteArray();
    QTest::newRow("old format, sections out of order")
        << QByteArray("[GROUP7]\r\nName=b\r\n[SERVER]\r\nAdminPass=7077\r\nPort=70000\r\nLog=5\r\n[USER3]\r\nName=u\r\nPass=41\r\n"
                      "[pop2]\r\nPort=99999\r\nNewsgroups=\"a b\",\"\"\"q\"\"\",\r\n")
        << QByteArray();
    QTest::newRow("windows-1252 bytes UTF-8 cannot show") << QByteArray("[SERVER]\r\nVersion=1.05\r\nName=Caf\xe9\r\n[USER1]\r\nName=J\xfcrgen\r\n"
                                                                        "[GROUP1]\r\nName=g\r\nUsers=J\xfcrgen,\xff\r\n")
                                                          << QByteArray();
    QTest::newRow("windows-1252 decoded") << QByteArray("[SERVER]\r\nVersion=1.05\r\nName=Caf\xe9 \x80\r\n[USER1]\r\nName=J\xfcrgen\r\n")
                                          << QByteArray("windows-1252");
    ConfigGenerator::Size size;
    size.users = 60;
    size.groups = 12;
    size.usersPerGroup = 25;
    size.pops = 7;
    QTest::newRow("generated") << ConfigGenerator::generate(size) << QByteArray();
    // Binary values hold any byte; a NUL in an auto-reply body or a key list goes through
    // dump and apply unchanged.
    QTest::newRow("NUL in binary values")
        << QByteArray("[SERVER]\r\nVersion=1.05\r\n[POP1]\r\nHost=h\r\nUserID=u\r\nAutoReplyBody=6100620D0A00\r\n"
                      "[GROUP1]\r\nName=g\r\nKeyList=000D0A41\r\n")
        << QByteArray();
}

void TestCliApply::applyRoundTrips()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, encoding);
    const QStringList enc = encoding.isEmpty() ? QStringList()
                                               : QStringList{QStringLiteral("--encoding"), QString::fromLatin1(encoding)};
    QVERIFY(TestFiles::write(ini(), file));
    const CliRun dump = cli(enc + QStringList{QStringLiteral("dump")});
    QCOMPARE(dump.status, 0);
    const QString json = writeFile("dump.json", dump.out);
    QCOMPARE(cli(enc + QStringList{QStringLiteral("normalize")}).status, 0);
    const QByteArray normalized = TestFiles::read(ini());

    QVERIFY(TestFiles::write(ini(), file));
    const CliRun dry = cli(enc + QStringList{QStringLiteral("apply"), json, QStringLiteral("--dry-run")});
    QCOMPARE(dry.status, 0);
    QCOMPARE(TestFiles::read(ini()), file);
    const CliRun apply = cli(enc + QStringList{QStringLiteral("apply"), json});
    QCOMPARE(apply.err, QByteArray());
    QCOMPARE(apply.status, 0);
    QCOMPARE(TestFiles::read(ini()), normalized);
}

void TestCliApply::applyReplacesAndDryRun()
{
    const CliRun dump = cli({"dump"});
    QJsonObject all = QJsonDocument::fromJson(dump.out).object();
    QJsonObject server = all.value(QStringLiteral("server")).toObject();
    server.insert(QStringLiteral("Port"), 120);
    all.insert(QStringLiteral("server"), server);
    QJsonArray users = all.value(QStringLiteral("users")).toArray();
    users.removeAt(1);
    all.insert(QStringLiteral("users"), users);
    const QString json = writeFile("new.json", QJsonDocument(all).toJson());

    CliRun r = cli({"apply", json, "--dry-run"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("~ server.Port: 119 -> 120\n- user:bob\n"));
    QCOMPARE(TestFiles::read(ini()), kSmall);
    r = cli({"apply", json});
    QCOMPARE(r.status, 0);
    QCOMPARE(cli({"get", "server.Port"}).out, QByteArray("120\n"));
    QCOMPARE(cli({"get", "user:bob"}).status, 1);

    // Bad input: the first bad field with its path, and nothing written.
    const QByteArray now = TestFiles::read(ini());
    const struct { const char *json; const char *message; } bad[] = {
        {"{\"server\": {}}", "server.Port: missing\n"},
        {"[1]", "Invalid JSON at offset 0: the JSON is not one object of dump's form\n"},
        {"{\"server\": ", "Invalid JSON at offset 11: a value was expected\n"},
    };
    for (const auto &b : bad) {
        r = cli({"apply", writeFile("bad.json", b.json)});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QByteArray(b.message));
    }
    users = all.value(QStringLiteral("users")).toArray();
    QJsonObject first = users.at(0).toObject();
    auto tryField = [&](const char *what, const QJsonObject &changed, const char *message) {
        QJsonObject copy = all;
        QJsonArray list = copy.value(QLatin1String(what)).toArray();
        list.replace(0, changed);
        copy.insert(QLatin1String(what), list);
        const CliRun run = cli({QStringLiteral("apply"), writeFile("bad.json", QJsonDocument(copy).toJson())});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QByteArray(message));
        QCOMPARE(TestFiles::read(ini()), now);
    };
    QJsonObject u = first;
    u.insert(QStringLiteral("Pass"), QStringLiteral("XYZ0"));
    tryField("users", u, "users[0].Pass: not hexadecimal\n");
    u = first;
    u.insert(QStringLiteral("Colour"), QStringLiteral("red"));
    tryField("users", u, "users[0].Colour: unknown key\n");
    QJsonObject g = all.value(QStringLiteral("groups")).toArray().at(0).toObject();
    g.insert(QStringLiteral("Name"), QStringLiteral("new group"));
    tryField("groups", g, "groups[0].Name: Name value can only contain alphanumeric characters and periods\n");
    g = all.value(QStringLiteral("groups")).toArray().at(0).toObject();
    g.insert(QStringLiteral("Users"), QJsonArray{QStringLiteral("ann"), 7});
    tryField("groups", g, "groups[0].Users[1]: not a string\n");
    u = first;
    u.insert(QStringLiteral("Description"), QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
    tryField("users", u, "users[0].Description: a NUL character cannot stand in the file\n");
    QJsonObject p = all.value(QStringLiteral("pops")).toArray().at(0).toObject();
    p.insert(QStringLiteral("Port"), 1.5);
    tryField("pops", p, "pops[0].Port: not a whole number\n");
}

void TestCliApply::nulInBinaryValues_data()
{
    // Files whose byte-string values hold NUL characters, and the line each must keep.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("line");
    auto line = [](const char *key, const QByteArray &bytes) {
        return QByteArray(key) + '=' + ValueForms::encodeBinary(bytes) + "\r\n";
    };
    const QByteArray middle = line("AutoReplyBody", QByteArray("Away\0until\r\nMonday", sizeof "Away\0until\r\nMonday" - 1));
    QTest::newRow("reply body, NUL inside") << kSmall + "[POP2]\r\nHost=h\r\nUserID=u\r\n" + middle << middle;
    const QByteArray ends = line("KeyList", QByteArray("\0key\0", 5));
    QTest::newRow("key list, NUL first and last") << kSmall + "[GROUP4]\r\nName=keys\r\n" + ends << ends;
    const QByteArray only = line("KeyList", QByteArray(3, '\0'));
    QTest::newRow("key list, NULs only") << kSmall + "[GROUP4]\r\nName=keys\r\n" + only << only;
    ConfigGenerator::Size size;
    size.users = 20;
    size.groups = 5;
    size.usersPerGroup = 10;
    size.pops = 4;
    const QByteArray generated = line("AutoReplyBody", QByteArray("\0\x01\r\n\0", 5));
    QTest::newRow("generated") << ConfigGenerator::generate(size) + "[POP99]\r\nHost=h\r\nUserID=n\r\n" + generated
                               << generated;
}

void TestCliApply::nulInBinaryValues()
{
    // dump | apply onto another configuration gives the same values, byte for byte.
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, line);
    QVERIFY(TestFiles::write(ini(), file));
    const CliRun dump = cli({"dump"});
    QCOMPARE(dump.status, 0);
    const QString json = writeFile("dump.json", dump.out);
    // (Two groups the file names alike: apply takes them where they already are.)
    QVERIFY(TestFiles::write(ini(), "[SERVER]\r\nName=other\r\n[GROUP1]\r\nName=sales\r\n[GROUP2]\r\nName=SALES\r\n"));
    const CliRun apply = cli({QStringLiteral("apply"), json});
    QCOMPARE(apply.err, QByteArray());
    QCOMPARE(apply.status, 0);
    QVERIFY(TestFiles::read(ini()).contains(line));
    QCOMPARE(cli({"dump"}).out, dump.out);

    // set --value-file takes a NUL into a multi-line text; a one-line text refuses one.
    const QString value = writeFile("value.txt", QByteArray("a\0b\nc\n", 6));
    const CliRun set = cli({QStringLiteral("set"), QStringLiteral("pop:#1.AutoReplyBody"), QStringLiteral("--value-file"), value});
    QCOMPARE(set.err, QByteArray());
    QCOMPARE(set.status, 0);
    QVERIFY(TestFiles::read(ini()).contains("AutoReplyBody=" + ValueForms::encodeBinary(QByteArray("a\0b\r\nc", 6)) + "\r\n"));
    const QByteArray before = TestFiles::read(ini());
    const CliRun text = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("--value-file"),
                             writeFile("name.txt", QByteArray("a\0b", 3))});
    QCOMPARE(text.err, QByteArray("server.Name: a NUL character cannot stand in the file\n"));
    QCOMPARE(text.status, 1);
    QCOMPARE(TestFiles::read(ini()), before);
}

void TestCliApply::applyRefusesBadMembers_data()
{
    // Each row edits dump's own text: what it finds (first occurrence) becomes what it puts.
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("put");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("users twice at the top") << QByteArray("{") << QByteArray("{\"users\": [],") << QByteArray("users: stands twice\n");
    QTest::newRow("server twice") << QByteArray("\"pops\"") << QByteArray("\"server\": {}, \"pops\"")
                                  << QByteArray("server: stands twice\n");
    QTest::newRow("oldFormat twice") << QByteArray("\"oldFormat\": false,")
                                     << QByteArray("\"oldFormat\": false, \"oldFormat\": true,")
                                     << QByteArray("oldFormat: stands twice\n");
    QTest::newRow("key twice in server") << QByteArray("\"Port\": 119") << QByteArray("\"Port\": 119, \"Port\": 120")
                                         << QByteArray("server.Port: stands twice\n");
    QTest::newRow("key twice in an item") << QByteArray("\"Name\": \"ann\"") << QByteArray("\"Name\": \"ann\", \"Name\": \"x\"")
                                          << QByteArray("users[0].Name: stands twice\n");
    QTest::newRow("byte order mark first") << QByteArray("\"Name\": \"ann\"") << QByteArray("\"Name\": \"\\uFEFFann\"")
                                           << QByteArray("users[0].Name: a text cannot begin with U+FEFF (it would be read as a byte-order mark)\n");
    QTest::newRow("lone CR in a one-line text") << QByteArray("\"Name\": \"ann\"") << QByteArray("\"Name\": \"a\\rnn\"")
                                                << QByteArray("users[0].Name: a line break cannot stand here\n");
    QTest::newRow("outer blank") << QByteArray("\"Name\": \"ann\"") << QByteArray("\"Name\": \"ann \"")
                                 << QByteArray("users[0].Name: blanks at the start or end of \"ann \" would be lost when the file is read\n");
    QTest::newRow("blank first in a member's name") << QByteArray("\"Users\": [") << QByteArray("\"Users\": [\" x\", ")
                                                   << QByteArray("groups[0].Users[0]: blanks at the start or end of \" x\" would be lost when the file is read\n");
    QTest::newRow("tab last in a member's name") << QByteArray("\"Users\": [") << QByteArray("\"Users\": [\"ann\", \"x\\t\", ")
                                                << QByteArray("groups[0].Users[1]: blanks at the start or end of \"x\\u0009\" would be lost when the file is read\n");
    QTest::newRow("byte order mark first in a multi-line text")
        << QByteArray("\"AutoReply\"") << QByteArray("\"AutoReplyBody\": \"\\uFEFFhello\\r\\n\", \"AutoReply\"")
        << QByteArray("pops[0].AutoReplyBody: a text cannot begin with U+FEFF (it would be read as a byte-order mark)\n");
    // No text to put: the member found, the last one, is cut off with everything after it.
    QTest::newRow("no groups") << QByteArray("\"groups\"") << QByteArray() << QByteArray("groups: missing\n");
}

void TestCliApply::applyRefusesBadMembers()
{
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, put);
    QFETCH(QByteArray, message);
    QByteArray json = cli({"dump"}).out;
    const qsizetype at = json.indexOf(find);
    QVERIFY2(at >= 0, json.constData());
    if (put.isEmpty())
        json = json.left(json.lastIndexOf(',', at)) + "\n}\n";
    else
        json.replace(at, find.size(), put);
    const CliRun r = cli({QStringLiteral("apply"), writeFile("twice.json", json)});
    QCOMPARE(r.err, message);
    QCOMPARE(r.status, 1);
    QCOMPARE(TestFiles::read(ini()), kSmall);
}

void TestCliApply::applyEditsMemberLists_data()
{
    // A group's Users as the file holds it, the names a whole configuration gives for it,
    // and the value written.
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QByteArray>("written");
    const QByteArray quoted = "ann,bob,\"c d\",\"say \"\"hi\"\"\"";
    const QStringList all{"ann", "bob", "c d", "say \"hi\""};
    QTest::newRow("the same names") << quoted << all << quoted;
    QTest::newRow("first one other") << quoted << QStringList{"zed", "bob", "c d", "say \"hi\""}
                                     << QByteArray("zed,bob,\"c d\",\"say \"\"hi\"\"\"");
    QTest::newRow("quoted one other") << quoted << QStringList{"ann", "bob", "c d", "say \"yo\""}
                                      << QByteArray("ann,bob,\"c d\",\"say \"\"yo\"\"\"");
    QTest::newRow("last one left out") << quoted << QStringList{"ann", "bob", "c d"} << QByteArray("ann,bob,\"c d\"");
    QTest::newRow("one more") << quoted << all + QStringList{"eve"} << quoted + ",eve";
    QTest::newRow("one empty name more") << QByteArray("ann") << QStringList{"ann", ""} << QByteArray("ann,");
    QTest::newRow("stored loosely, same names") << QByteArray("ann , bob") << QStringList{"ann", "bob"}
                                                << QByteArray("ann,bob");
    QTest::newRow("one empty name") << QByteArray("\"\"") << QStringList{""} << QByteArray("\"\"");
    QTest::newRow("none for some") << QByteArray("ann,bob") << QStringList{} << QByteArray();
}

void TestCliApply::applyEditsMemberLists()
{
    QFETCH(QByteArray, stored);
    QFETCH(QStringList, names);
    QFETCH(QByteArray, written);
    QByteArray file = kSmall;
    file.replace("Users=ann,bob\r\n", "Users=" + stored + "\r\n");
    QVERIFY(TestFiles::write(ini(), file));
    QJsonObject all = QJsonDocument::fromJson(cli({"dump"}).out).object();
    QJsonArray groups = all.value(QStringLiteral("groups")).toArray();
    QJsonObject sales = groups.at(0).toObject();
    QCOMPARE(sales.value(QStringLiteral("Name")).toString(), QStringLiteral("sales"));
    sales.insert(QStringLiteral("Users"), QJsonArray::fromStringList(names));
    groups.replace(0, sales);
    all.insert(QStringLiteral("groups"), groups);
    const CliRun r = cli({QStringLiteral("apply"), writeFile("lists.json", QJsonDocument(all).toJson())});
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
    const QByteArray now = TestFiles::read(ini());
    const qsizetype group = now.indexOf("[GROUP1]\r\nName=sales\r\n");
    QVERIFY2(group >= 0, now.constData());
    const QByteArray section = now.mid(group, now.indexOf("\r\n[", group) - group);
    QVERIFY2(section.contains("\r\nUsers=" + written + "\r\n"), section.constData());
    const QJsonArray back = QJsonDocument::fromJson(cli({"dump"}).out).object().value(QStringLiteral("groups"))
                                .toArray().at(0).toObject().value(QStringLiteral("Users")).toArray();
    QCOMPARE(back, QJsonArray::fromStringList(names));
}

void TestCliApply::diffStatusAndOutput()
{
    const QString other = writeFile("other.ini", kSmall);
    CliRun r = cli({"diff", other});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray());
    QVERIFY(TestFiles::write(other, kSmall + "[USER3]\r\nName=carol\r\n"));
    QCOMPARE(cli({"set", "group:#1.Description", "Sales\x1b[2J"}).status, 0);
    QCOMPARE(cli({"remove", "user:ann"}).status, 0);
    r = cli({"diff", other});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QByteArray("+ user:ann\n+ user:carol\n~ group:sales.Description: \"Sales\\u001b[2J\" -> \"\"\n"));
    r = cli({"diff", other, "--json"});
    QCOMPARE(r.status, 1);
    const QJsonArray changes = QJsonDocument::fromJson(r.out).array();
    QCOMPARE(changes.size(), 3);
    QCOMPARE(changes.at(2).toObject().value(QStringLiteral("to")).toString(), QString());
    r = cli({"diff", m_dir->filePath(QStringLiteral("none.ini"))});
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.startsWith("No configuration file at "));
}

QTEST_GUILESS_MAIN(TestCliApply)
#include "tst_cli_apply.moc"
