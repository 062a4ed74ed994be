// quilmora-config as automation drives it: each command's help, "--" ending options, dumps
// without secrets and with the file's SHA-256, guarded writes, apply --merge and --json,
// the names apply refuses, and findings named by their items' names.
#include "support/AdminFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestCliFleet : public QObject, public AdminFixture
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(freshFolder()); }
    void commandHelp_data();
    void commandHelp();
    void doubleDashEndsOptions_data();
    void doubleDashEndsOptions();
    void leadingByteOrderMarkRefused_data();
    void leadingByteOrderMarkRefused();
    void dumpWithoutSecretsAndWithSha256();
    void guardedWrite_data();
    void guardedWrite();
    void merge_data();
    void merge();
    void mergeRefuses_data();
    void mergeRefuses();
    void unchangedMergeWritesNothing();
    void jsonAnswerAndDryRun();
    void mergeRemovesGroupDataAfterSave();
    void applyRefusesNames_data();
    void applyRefusesNames();
    void diffCannotLoadIsStatus2_data();
    void diffCannotLoadIsStatus2();
    void findingsNameTheirItems();
    void failOnFindings_data();
    void failOnFindings();

private:
    QByteArray sha256() const
    {
        return QCryptographicHash::hash(TestFiles::read(ini()), QCryptographicHash::Sha256).toHex();
    }
    CliRun applyMerge(const QByteArray &json, const QStringList &options = {})
    {
        return cli(QStringList{QStringLiteral("apply"), QStringLiteral("--merge")} + options
                   + QStringList{writeFile("merge.json", json)});
    }
    QString get(const QString &address)
    {
        const CliRun r = cli({QStringLiteral("get"), address});
        return r.status == 0 ? QString::fromUtf8(r.out).chopped(1) : QStringLiteral("<status %1>").arg(r.status);
    }
};

void TestCliFleet::commandHelp_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("command");
    const char *commands[] = {"dump", "normalize", "get", "set", "add", "remove", "passwd", "check", "diff",
                              "apply", "wizard", "pull", "push", "restore-backup", "purge"};
    for (const char *c : commands) {
        const QString name = QString::fromLatin1(c);
        QTest::addRow("%s --help", c) << QStringList{name, QStringLiteral("--help")} << name;
        QTest::addRow("%s -h among arguments", c) << QStringList{name, QStringLiteral("x"), QStringLiteral("-h")} << name;
        QTest::addRow("help %s", c) << QStringList{QStringLiteral("help"), name} << name;
    }
}

void TestCliFleet::commandHelp()
{
    QFETCH(QStringList, args);
    QFETCH(QString, command);
    // Help needs no configuration: the folder does not even exist.
    const CliRun r = runCli(QStringList{QStringLiteral("--folder"), folder() + QStringLiteral("/none")} + args);
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.isEmpty());
    const QString out = QString::fromUtf8(r.out);
    QVERIFY2(out.startsWith(QStringLiteral("usage: quilmora-config [--folder DIR] [--file NAME] [--encoding NAME] ") + command),
             qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("\nOptions:\n")));
    QVERIFY(out.contains(QStringLiteral("  --  ")));
    QVERIFY(out.contains(QStringLiteral("\nExit status:\n  0  ")));
    QVERIFY(out.contains(QStringLiteral("\n  2  usage error")));
}

void TestCliFleet::doubleDashEndsOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("stored");
    QTest::newRow("a value-file option as text") << QStringList{"set", "user:ann.Description", "--", "--value-file=/etc/hostname"}
                                                 << "user:ann.Description" << "--value-file=/etc/hostname";
    QTest::newRow("a value-file option and its file as list names")
        << QStringList{"set", "group:comp.lang.Users", "--", "--value-file", "/etc/passwd"} << "group:comp.lang.Users"
        << "--value-file\n/etc/passwd";
    QTest::newRow("-h as a value") << QStringList{"set", "user:ann.Description", "--", "-h"} << "user:ann.Description" << "-h";
    QTest::newRow("-- as a value") << QStringList{"set", "user:ann.Description", "--", "--"} << "user:ann.Description" << "--";
    QTest::newRow("--help as a server text") << QStringList{"set", "server.Name", "--", "--help"} << "server.Name" << "--help";
    QTest::newRow("an option-like name and key value")
        << QStringList{"add", "user", "--", "--value-file=/etc/hostname", "Description=--help"}
        << "user:--value-file=/etc/hostname.Description" << "--help";
    QTest::newRow("a key after -- in an account") << QStringList{"set", "pop:#1.AutoReplyFrom", "--", "-V"}
                                                  << "pop:#1.AutoReplyFrom" << "-V";
}

void TestCliFleet::doubleDashEndsOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, address);
    QFETCH(QString, stored);
    const CliRun r = cli(args);
    QVERIFY2(r.status == 0, r.err.constData());
    QCOMPARE(get(address), stored);
    QCOMPARE(cli({"get", "--", address}).out, stored.toUtf8() + '\n');
}

void TestCliFleet::leadingByteOrderMarkRefused_data()
{
    QTest::addColumn<QStringList>("args");
    const QString bom = QStringLiteral("\uFEFFx");
    QTest::newRow("set") << QStringList{"set", "user:ann.Description", bom};
    QTest::newRow("set after --") << QStringList{"set", "server.Name", "--", bom};
    QTest::newRow("set a list") << QStringList{"set", "group:comp.lang.Users", "ann", bom};
    QTest::newRow("add") << QStringList{"add", "user", "carol", "Description=" + bom};
}

void TestCliFleet::leadingByteOrderMarkRefused()
{
    QFETCH(QStringList, args);
    const QByteArray before = TestFiles::read(ini());
    const CliRun r = cli(args);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("cannot begin with U+FEFF"), r.err.constData());
    QCOMPARE(TestFiles::read(ini()), before);
}

void TestCliFleet::dumpWithoutSecretsAndWithSha256()
{
    CliRun r = cli({"dump", "--no-secrets", "--sha256"});
    QCOMPARE(r.status, 0);
    for (const char *secret : {"\"AdminPass\"", "\"SMTPUserPass\"", "\"Pass\"", "\"Password\""})
        QVERIFY2(!r.out.contains(secret), secret);
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.keys().size(), 6);
    QCOMPARE(o.value(QStringLiteral("sha256")).toString().toLatin1(), sha256());
    QVERIFY(r.out.trimmed().endsWith("\"sha256\": \"" + sha256() + "\"\n}"));
    QVERIFY(o.value(QStringLiteral("users")).toArray().at(0).toObject().contains(QStringLiteral("Description")));
    // Only the kinds asked for; the fingerprint is still the whole file's.
    const CliRun only = cli({"dump", "--only", "server,users", "--sha256"});
    QCOMPARE(only.status, 0);
    const QJsonObject limited = QJsonDocument::fromJson(only.out).object();
    QCOMPARE(limited.keys(), (QStringList{"oldFormat", "server", "sha256", "users"}));
    QCOMPARE(limited.value(QStringLiteral("sha256")).toString().toLatin1(), sha256());
    QCOMPARE(cli({"dump", "--only", "servers"}).status, 2);
    // Without secrets a dump cannot be applied back: the keys are missing, not empty.
    r = cli({"apply", writeFile("nosecrets.json", r.out)});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("missing"));
    // With them, and with its sha256, it can: byte for byte as normalize writes.
    r = cli({"dump", "--sha256"});
    QVERIFY(r.out.contains("\"AdminPass\": \""));
    const QString dumped = writeFile("full.json", r.out);
    QCOMPARE(cli({"apply", dumped}).status, 0);
    const QByteArray applied = TestFiles::read(ini());
    QCOMPARE(cli({"normalize"}).status, 0);
    QCOMPARE(TestFiles::read(ini()), applied);
}

void TestCliFleet::guardedWrite_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("whole") << QStringList() << QByteArray();
    QTest::newRow("merge") << QStringList{"--merge"} << QByteArray("{\"users\": [{\"Name\": \"carol\"}]}");
    QTest::newRow("merge, dry run") << QStringList{"--merge", "--dry-run"} << QByteArray("{\"users\": [{\"Name\": \"carol\"}]}");
}

void TestCliFleet::guardedWrite()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, json);
    if (json.isEmpty())
        json = cli({"dump"}).out;
    const QString input = writeFile("input.json", json);
    const QByteArray read = sha256();
    // Another program changes the file between the read and the write.
    QCOMPARE(cli({"add", "user", "dave"}).status, 0);
    const QByteArray changed = TestFiles::read(ini());
    const QByteArray backup = TestFiles::read(ini() + QStringLiteral(".bak"));
    CliRun r = cli(QStringList{"apply", "--expect-sha256", QString::fromLatin1(read)} + options + QStringList{input});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.startsWith("The configuration changed since it was read"), r.err.constData());
    QVERIFY(r.err.contains(QDir::toNativeSeparators(ini()).toUtf8()));
    QCOMPARE(TestFiles::read(ini()), changed);
    QCOMPARE(TestFiles::read(ini() + QStringLiteral(".bak")), backup);
    // The fingerprint of what is there now passes, in either letter case.
    r = cli(QStringList{"apply", "--expect-sha256", QString::fromLatin1(sha256().toUpper())} + options + QStringList{input});
    QVERIFY2(r.status == 0, r.err.constData());
    // Not a fingerprint at all: a usage error.
    QCOMPARE(cli({"apply", "--expect-sha256", "abc", input}).status, 2);
}

void TestCliFleet::merge_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("server keys given, others kept")
        << QByteArray(R"({"server": {"Port": 120, "Name": "Head office"}})") << QStringList{"server.Port", "server.Name", "server.AdminUser"}
        << QStringList{"120", "Head office", "admin"};
    QTest::newRow("an existing user by name, letter case aside, its other keys kept")
        << QByteArray(R"({"users": [{"Name": "ann", "Description": "Front desk"}]})")
        << QStringList{"user:ann.Description", "user:ann.Pass"}
        << QStringList{"Front desk", QString::fromLatin1(ValueForms::encodeBinary(PasswordDigest("a")))};
    QTest::newRow("a new user, group and account with add's defaults")
        << QByteArray(R"({"users": [{"Name": "carol", "Pass": "0A0B"}], "groups": [{"Name": "news", "Users": ["carol", "ann"]}],
                          "pops": [{"UserID": "carol", "Host": "pop.example", "Newsgroups": ["news"]}]})")
        << QStringList{"user:carol.Pass", "group:news.Users", "group:news.ReadOnly", "pop:carol/pop.example.Port",
                       "pop:carol/pop.example.AutoReply", "pop:carol/pop.example.Newsgroups"}
        << QStringList{"0A0B", "carol\nann", "N", "110", "N", "news"};
    QTest::newRow("an account by user ID and host")
        << QByteArray(R"({"pops": [{"UserID": "INFO", "Host": "mail.example", "Port": 995}]})")
        << QStringList{"pop:info/mail.example.Port", "pop:#1.Newsgroups"} << QStringList{"995", "sales"};
    QTest::newRow("removals, one of them already gone")
        << QByteArray(R"({"remove": ["user:bob", "group:comp.lang", "user:nobody", {"item": "pop:x/y", "withData": false}]})")
        << QStringList{"user:bob", "group:comp.lang", "user:ann.Name"} << QStringList{"<status 1>", "<status 1>", "ann"};
    QTest::newRow("exclusive: unlisted users go, other kinds stay")
        << QByteArray(R"({"users": [{"Name": "BOB"}], "exclusive": ["users"]})")
        << QStringList{"user:ann", "user:#1.Name", "group:comp.lang.Users"} << QStringList{"<status 1>", "BOB", "ann"};
    QTest::newRow("values that look like options") << QByteArray(R"({"users": [{"Name": "--value-file=/etc/hostname", "Description": "-h"}]})")
                                                   << QStringList{"user:--value-file=/etc/hostname.Description"} << QStringList{"-h"};
    QTest::newRow("a sha256 member is ignored") << QByteArray(R"({"sha256": "00", "server": {"Log": -1}})")
                                                << QStringList{"server.Log"} << QStringList{"-1"};
}

void TestCliFleet::merge()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, values);
    const CliRun r = applyMerge(json);
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY(r.out.isEmpty());
    for (qsizetype i = 0; i < addresses.size(); ++i)
        QCOMPARE(get(addresses[i]), values[i]);
}

void TestCliFleet::mergeRefuses_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("an item without its name") << QByteArray(R"({"users": [{"Description": "x"}]})")
                                              << QByteArray("users[0].Name: missing (items are matched by it)");
    QTest::newRow("an account without its host") << QByteArray(R"({"pops": [{"UserID": "x"}]})")
                                                  << QByteArray("pops[0].Host: missing (items are matched by it)");
    QTest::newRow("an empty group name") << QByteArray(R"({"groups": [{"Name": ""}]})")
                                         << QByteArray("groups[0].Name: a group needs a name");
    QTest::newRow("a name the name check refuses") << QByteArray(R"({"groups": [{"Name": "a b"}]})")
                                                   << QByteArray("groups[0].Name: Name value can only contain");
    QTest::newRow("one name twice in a list") << QByteArray(R"({"users": [{"Name": "x"}, {"Name": "X"}]})")
                                              << QByteArray("users[1]: \"X\" stands twice in this list");
    QTest::newRow("a name two items share") << QByteArray(R"({"groups": [{"Name": "sales", "ReadOnly": "Y"}]})")
                                            << QByteArray("groups[0]: 2 items of this kind are named \"sales\": group:#1, group:#3");
    QTest::newRow("an unknown key") << QByteArray(R"({"users": [{"Name": "x", "Colour": "red"}]})")
                                    << QByteArray("users[0].Colour: unknown key");
    QTest::newRow("the program's own key") << QByteArray(R"({"server": {"Version": "9"}})")
                                           << QByteArray("server.Version: written by the program");
    QTest::newRow("out of range") << QByteArray(R"({"server": {"Port": 70000}})") << QByteArray("server.Port: 70000 is out of range");
    QTest::newRow("a list as a string") << QByteArray(R"({"groups": [{"Name": "x", "Users": "ann,bob"}]})")
                                        << QByteArray("groups[0].Users: not an array");
    QTest::newRow("bad hexadecimal") << QByteArray(R"({"users": [{"Name": "ann", "Pass": "XY"}]})")
                                     << QByteArray("users[0].Pass: not hexadecimal");
    QTest::newRow("removing the server") << QByteArray(R"({"remove": ["server"]})") << QByteArray("remove[0]: Not an item: server");
    QTest::newRow("data of a user") << QByteArray(R"({"remove": [{"item": "user:ann", "withData": true}]})")
                                    << QByteArray("remove[0]: withData removes a group's data");
    QTest::newRow("an unknown kind to make exclusive") << QByteArray(R"({"exclusive": ["servers"]})")
                                                       << QByteArray("exclusive[0]: not users, groups or pops");
    QTest::newRow("a member twice") << QByteArray(R"({"users": [], "users": []})") << QByteArray("users: stands twice");
    QTest::newRow("a whole configuration's member") << QByteArray(R"({"oldFormat": false})") << QByteArray("oldFormat: unknown key");
}

void TestCliFleet::mergeRefuses()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, error);
    const QByteArray before = TestFiles::read(ini());
    const CliRun r = applyMerge(json);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.startsWith(error), r.err.constData());
    QCOMPARE(TestFiles::read(ini()), before);
    QVERIFY(!QFileInfo::exists(ini() + QStringLiteral(".bak")));
}

void TestCliFleet::unchangedMergeWritesNothing()
{
    // A file in an older layout (lower-case flag, keys out of order) stays as it is when
    // the changes are already there.
    const QByteArray before = TestFiles::read(ini());
    const QFileInfo info(ini());
    const QDateTime modified = info.lastModified();
    const CliRun r = applyMerge(R"({"users": [{"Name": "ann", "Description": ""}], "groups": [{"Name": "comp.lang", "Users": ["ann"]}],
                                    "server": {"Port": 119}, "remove": ["user:nobody"]})",
                                {"--json"});
    QCOMPARE(r.status, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.value(QStringLiteral("changed")).toBool(true), false);
    QCOMPARE(o.value(QStringLiteral("changes")).toArray().size(), 0);
    QCOMPARE(o.value(QStringLiteral("sha256")).toString().toLatin1(), sha256());
    QCOMPARE(TestFiles::read(ini()), before);
    QCOMPARE(QFileInfo(ini()).lastModified(), modified);
    QVERIFY(!QFileInfo::exists(ini() + QStringLiteral(".bak")));
}

void TestCliFleet::jsonAnswerAndDryRun()
{
    const QByteArray before = TestFiles::read(ini());
    const QByteArray change = R"({"users": [{"Name": "ann", "Description": "Desk", "Pass": "00"}], "remove": ["user:bob"]})";
    CliRun r = applyMerge(change, {"--dry-run", "--json"});
    QCOMPARE(r.status, 0);
    QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.value(QStringLiteral("changed")).toBool(), true);
    QCOMPARE(o.value(QStringLiteral("sha256")).toString().toLatin1(), sha256());
    QCOMPARE(TestFiles::read(ini()), before);
    const QJsonArray changes = o.value(QStringLiteral("changes")).toArray();
    QCOMPARE(changes.size(), 3);
    QCOMPARE(changes.at(0).toObject().value(QStringLiteral("item")).toString(), QStringLiteral("user:ann"));
    QCOMPARE(changes.at(2).toObject().value(QStringLiteral("change")).toString(), QStringLiteral("removed"));
    // The text form of a dry run is diff's.
    r = applyMerge(change, {"--dry-run"});
    QVERIFY(r.out.contains("- user:bob\n"));
    r = applyMerge(change, {"--json"});
    QCOMPARE(r.status, 0);
    o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.value(QStringLiteral("changed")).toBool(), true);
    QCOMPARE(o.value(QStringLiteral("sha256")).toString().toLatin1(), sha256());
    QCOMPARE(get(QStringLiteral("user:ann.Pass")), QStringLiteral("00"));
    // A whole configuration says whether the file's bytes changed.
    r = cli({"apply", "--json", writeFile("whole.json", cli({"dump"}).out)});
    QCOMPARE(QJsonDocument::fromJson(r.out).object().value(QStringLiteral("changed")).toBool(true), false);
}

void TestCliFleet::mergeRemovesGroupDataAfterSave()
{
    QVERIFY(QDir(folder()).mkpath(QStringLiteral("data/comp/lang")));
    QVERIFY(TestFiles::write(folder() + QStringLiteral("/data/comp/lang/xover.dat"), "1\n"));
    QVERIFY(QDir(folder()).mkpath(QStringLiteral("data/sales")));
    const CliRun r = applyMerge(R"({"remove": [{"item": "group:comp.lang", "withData": true}]})");
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY(!QFileInfo::exists(folder() + QStringLiteral("/data/comp/lang")));
    QVERIFY(QFileInfo::exists(folder() + QStringLiteral("/data/sales")));
    QCOMPARE(get(QStringLiteral("group:comp.lang")), QStringLiteral("<status 1>"));
}

void TestCliFleet::applyRefusesNames_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("edit"); // a text replaced in the dump: "from|to"
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("a group without a name") << kSmall << QByteArray("\"Name\": \"comp.lang\"|\"Name\": \"\"")
                                            << QByteArray("groups[1].Name: a group needs a name");
    QTest::newRow("a user's name twice") << kSmall << QByteArray("\"Name\": \"bob\"|\"Name\": \"ANN\"")
                                         << QByteArray("users[1].Name: \"ANN\" is also the name of users[0]");
    QTest::newRow("a group's name twice") << kSmall.left(kSmall.indexOf("[GROUP3]")) << QByteArray("\"Name\": \"comp.lang\"|\"Name\": \"Sales\"")
                                          << QByteArray("groups[1].Name: \"Sales\" is also the name of groups[0]");
    QTest::newRow("an account twice") << kSmall + "[POP2]\r\nHost=mail.example\r\nUserID=other\r\n"
                                      << QByteArray("\"UserID\": \"other\"|\"UserID\": \"info\"")
                                      << QByteArray("pops[1].UserID: \"info/mail.example\" is also the name of pops[0]");
    // What the file holds already can be applied back.
    QTest::newRow("names the file shares already") << kSmall << QByteArray() << QByteArray();
    QTest::newRow("a group without a name already") << kSmall + "[GROUP4]\r\nName=\r\n" << QByteArray() << QByteArray();
}

void TestCliFleet::applyRefusesNames()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, edit);
    QFETCH(QByteArray, error);
    QVERIFY(TestFiles::write(ini(), file));
    QByteArray dump = cli({"dump"}).out;
    if (!edit.isEmpty()) {
        const QList<QByteArray> parts = edit.split('|');
        QVERIFY(dump.contains(parts[0]));
        dump.replace(dump.indexOf(parts[0]), parts[0].size(), parts[1]);
    }
    const CliRun r = cli({"apply", writeFile("in.json", dump)});
    if (error.isEmpty()) {
        QVERIFY2(r.status == 0, r.err.constData());
        return;
    }
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, error + '\n');
    QCOMPARE(TestFiles::read(ini()), file);
}

void TestCliFleet::diffCannotLoadIsStatus2_data()
{
    QTest::addColumn<QByteArray>("other"); // the other file's bytes; "<dir>" a folder, "<none>" missing
    QTest::newRow("missing") << QByteArray("<none>");
    QTest::newRow("a folder") << QByteArray("<dir>");
    QTest::newRow("binary") << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0", 16);
    QTest::newRow("no number as its version") << QByteArray("[SERVER]\r\nVersion=abc\r\n");
}

void TestCliFleet::diffCannotLoadIsStatus2()
{
    QFETCH(QByteArray, other);
    QString path = folder() + QStringLiteral("/other.ini");
    if (other == "<dir>")
        QVERIFY(QDir(folder()).mkdir(QStringLiteral("other.ini")));
    else if (other != "<none>")
        path = writeFile("other.ini", other);
    for (const QStringList &args : {QStringList{"diff", path}, QStringList{"diff", "--json", path}}) {
        const CliRun r = cli(args);
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }
}

void TestCliFleet::findingsNameTheirItems()
{
    QCOMPARE(cli({"add", "group", "x", "Users=gone"}).status, 0);
    QCOMPARE(cli({"add", "user", "#2"}).status, 0);
    QCOMPARE(cli({"add", "pop", "ann/pop.example", "Newsgroups=none"}).status, 0);
    const CliRun r = cli({"check"});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QByteArray("error unknown-group pop:ann/pop.example: Newsgroups names \"none\", which is no group\n"
                               "error unknown-user group:x: Users names \"gone\", which is no user\n"
                               "warning duplicate-name group:#3: \"SALES\" is also the name of group:#1\n"
                               "warning empty-password user:=#2: the user \"#2\" has no password\n"));
    const QJsonArray json = QJsonDocument::fromJson(cli({"check", "--json"}).out).array();
    QCOMPARE(json.at(2).toObject().value(QStringLiteral("item")).toString(), QStringLiteral("group:#3"));
    // The name a finding gives is an address the other commands take.
    QCOMPARE(get(QStringLiteral("user:=#2.Name")), QStringLiteral("#2"));
}

void TestCliFleet::failOnFindings_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("refused");
    const QByteArray unknownUser = R"({"groups": [{"Name": "news", "Users": ["ghost"]}]})";
    const QByteArray noPassword = R"({"users": [{"Name": "carol"}]})";
    QTest::newRow("a new error, error level") << "error" << unknownUser << true;
    QTest::newRow("a new warning, error level") << "error" << noPassword << false;
    QTest::newRow("a new warning, warning level") << "warning" << noPassword << true;
    QTest::newRow("a warning the file had already") << "warning" << QByteArray(R"({"users": [{"Name": "ann", "Description": "x"}]})") << false;
    QTest::newRow("removing a user a group admits") << "error" << QByteArray(R"({"remove": ["user:bob"]})") << true;
}

void TestCliFleet::failOnFindings()
{
    QFETCH(QString, level);
    QFETCH(QByteArray, json);
    QFETCH(bool, refused);
    // (kSmall's sales and SALES share a name: a warning already there.)
    const QByteArray before = TestFiles::read(ini());
    for (const QStringList &extra : {QStringList{"--dry-run"}, QStringList()}) {
        const CliRun r = applyMerge(json, QStringList{"--json", "--fail-on-findings", level} + extra);
        if (refused) {
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.startsWith("The change would leave new findings; nothing was written:\n"), r.err.constData());
            QVERIFY(r.out.isEmpty());
            QCOMPARE(TestFiles::read(ini()), before);
        } else {
            QVERIFY2(r.status == 0, r.err.constData());
            QVERIFY(QJsonDocument::fromJson(r.out).object().value(QStringLiteral("findings")).isArray());
        }
    }
    QCOMPARE(cli({"apply", "--fail-on-findings", "fatal", writeFile("x.json", json)}).status, 2);
}

QTEST_GUILESS_MAIN(TestCliFleet)
#include "tst_cli_fleet.moc"
