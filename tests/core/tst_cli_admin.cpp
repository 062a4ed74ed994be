// quilmora-config's administration commands as scripts use them: get, set, add, remove and
// passwd (check, apply and diff: tst_cli_apply); their output, exit status and the file
// afterwards.
#include "support/AdminFixture.h"
#include "support/CliRunner.h"
#include "support/ProcessLimits.h"
#include "support/TestFiles.h"
#include "config/PasswordDigest.h"
#include "config/ValueForms.h"

#include "../../bench/ConfigGenerator.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class TestCliAdmin : public QObject, public AdminFixture
{
    Q_OBJECT
private slots:
    void init();
    void refusedChangesLeaveTheFile_data();
    void refusedChangesLeaveTheFile();
    void missingFolderOrFile_data();
    void missingFolderOrFile();
    void getValues_data();
    void getServerReadsOnlyTheServer_data();
    void getServerReadsOnlyTheServer();
    void getValues();
    void getItemIsDumpsObject();
    void setListAndMultiLineText();
    void addWithDefaultsAndKeys();
    void removeLeavesListsAlone();
    void addresses_data();
    void addresses();
    void removeGroupWithData();
    void removeWithDataKeepsDataWhenSaveFails();
    void passwdFromFile_data();
    void passwdFromFile();
    void passwdNeedsFileWithoutTerminal();
    void passwdAsksTwiceOnATerminal_data();
    void passwdAsksTwiceOnATerminal();
    void valueFileRefusesAByteOrderMark();
};

void TestCliAdmin::init()
{
    QVERIFY(freshFolder());
}

void TestCliAdmin::refusedChangesLeaveTheFile_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("message");

    auto row = [](const char *name, QStringList args, int status, const char *message) {
        QTest::newRow(name) << args << status << QByteArray(message);
    };
    row("unknown item", {"set", "user:carol.Description", "x"}, 1, "There is no user named \"carol\"\n");
    row("unknown position", {"get", "group:#9"}, 1, "There is no group:#9 (3 groups)\n");
    row("ambiguous name", {"set", "group:sales.Description", "x"}, 1,
        "2 groups are named sales: group:#1, group:#3\n");
    row("out of range", {"set", "server.Port", "65535"}, 1, "server.Port: 65535 is out of range (0 to 65534)\n");
    row("not a number", {"set", "pop:info/mail.example.Port", "1e3"}, 1, "pop:#1.Port: \"1e3\" is not a number\n");
    row("not a switch", {"set", "server.AdminEmailActive", "yes"}, 1,
        "server.AdminEmailActive: \"yes\" is not true, false, Y or N\n");
    row("not a flag", {"set", "group:#1.ReadOnly", "true"}, 1, "group:#1.ReadOnly: \"true\" is not Y or N\n");
    row("password key", {"set", "user:ann.Pass", "00"}, 1, "user:#1.Pass is a password: use passwd\n");
    row("version", {"set", "server.Version", "2"}, 1, "server.Version is written by the program\n");
    row("group name with a blank", {"set", "group:#2.Name", "comp lang"}, 1,
        "group:#2.Name: Name value can only contain alphanumeric characters and periods\n");
    row("add group with a blank", {"add", "group", "new group"}, 1,
        "group:#4.Name: Name value can only contain alphanumeric characters and periods\n");
    row("add twice", {"add", "user", "ANN"}, 1, "user:#1 is already named \"ANN\"\n");
    row("rename onto another", {"set", "user:bob.Name", "Ann"}, 1, "user:#2.Name: user:#1 is already named \"Ann\"\n");
    row("add with a bad key value", {"add", "pop", "x/y", "Port=70000"}, 1, "pop:#2.Port: 70000 is out of range (0 to 65535)\n");
    row("line break in a text", {"set", "server.Name", "a\nb"}, 1, "server.Name: a line break cannot stand in Name\n");
    row("lone CR in a text", {"set", "server.Name", "a\rb"}, 1, "server.Name: a line break cannot stand in Name\n");
    row("blanks the reader would trim", {"set", "server.Name", "  padded  "}, 1,
        "server.Name: blanks at the start or end of \"  padded  \" would be lost when the file is read\n");
    row("a tab at the end", {"set", "user:ann.Description", "desk\t"}, 1,
        "user:#1.Description: blanks at the start or end of \"desk\\u0009\" would be lost when the file is read\n");
    row("remove of an item's key", {"remove", "user:ann.Name"}, 1, "Not an item: user:ann.Name\n");
    row("position with a leading zero is a name", {"get", "user:#01"}, 1, "There is no user named \"#01\"\n");
    row("position with a sign is a name", {"get", "user:#+1"}, 1, "There is no user named \"#+1\"\n");
    row("position with a blank is a name", {"get", "user:# 1"}, 1, "There is no user named \"# 1\"\n");
    row("add pop with a padded host", {"add", "pop", "jo/ pop.example"}, 1,
        "blanks at the start or end of \" pop.example\" would be lost when the file is read\n");
    row("unknown key", {"set", "server.Colour", "red"}, 1, "The server has no key Colour\n");
    row("no key", {"set", "user:ann", "x"}, 1, "No key given: user:ann.KEY\n");
    row("remove the server", {"remove", "server"}, 1, "Not an item: server\n");
    row("unknown command option", {"check", "--colour"}, 2, "");
    row("set without key", {"set"}, 2, "");
    row("with-data on a user", {"remove", "user:ann", "--with-data"}, 2, "");
}

void TestCliAdmin::refusedChangesLeaveTheFile()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, message);
    const CliRun r = cli(args);
    QCOMPARE(r.status, status);
    if (!message.isEmpty())
        QCOMPARE(r.err, message);
    else
        QVERIFY2(r.err.contains("usage: quilmora-config"), r.err.constData());
    QVERIFY(r.out.isEmpty());
    QCOMPARE(TestFiles::read(ini()), kSmall);
}

void TestCliAdmin::missingFolderOrFile_data()
{
    QTest::addColumn<QStringList>("args");
    for (const char *command : {"check", "get", "set", "add", "remove", "passwd", "apply"}) {
        QStringList args{QString::fromLatin1(command)};
        if (args.first() == QLatin1String("get") || args.first() == QLatin1String("remove"))
            args << QStringLiteral("server");
        else if (args.first() == QLatin1String("set"))
            args << QStringLiteral("server.Name") << QStringLiteral("x");
        else if (args.first() == QLatin1String("add"))
            args << QStringLiteral("user") << QStringLiteral("x");
        else if (args.first() == QLatin1String("passwd"))
            args << QStringLiteral("server") << QStringLiteral("--password-file") << QStringLiteral(QUILMORA_TEST_DATA "/example.ini");
        else if (args.first() == QLatin1String("apply"))
            args << QStringLiteral(QUILMORA_TEST_DATA "/example.dump.json");
        QTest::newRow(command) << args;
    }
}

void TestCliAdmin::missingFolderOrFile()
{
    QFETCH(QStringList, args);
    QVERIFY(QFile::remove(ini()));
    CliRun r = cli(args);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, "No configuration file at " + QDir::toNativeSeparators(ini()).toUtf8() + '\n');
    QVERIFY(!QFile::exists(ini()));

    const QString gone = m_dir->filePath(QStringLiteral("gone"));
    r = runCli(QStringList{QStringLiteral("--folder"), gone} + args);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, "No such folder: " + QDir::toNativeSeparators(gone).toUtf8() + '\n');
    QVERIFY(!QFileInfo::exists(gone));
}

void TestCliAdmin::getValues_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("integer") << "server.port" << QByteArray("119\n");
    QTest::newRow("switch") << "server.AdminEmailActive" << QByteArray("false\n");
    QTest::newRow("flag as read") << "pop:#1.AutoReply" << QByteArray("y\n");
    QTest::newRow("account by user ID and host") << "pop:INFO/mail.example.Host" << QByteArray("mail.example\n");
    QTest::newRow("list one name a line") << "group:#1.Users" << QByteArray("ann\nbob\n");
    QTest::newRow("empty list") << "group:#3.Users" << QByteArray();
    QTest::newRow("name with dots") << "group:comp.lang.Users" << QByteArray("ann\n");
    QTest::newRow("name with dots, no key") << "group:comp.lang" << QByteArray();
    QTest::newRow("digest in hexadecimal") << "user:ann.Pass" << ValueForms::encodeBinary(PasswordDigest("a")) + '\n';
}

void TestCliAdmin::getValues()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, out);
    const CliRun r = cli({QStringLiteral("get"), address});
    QCOMPARE(r.status, 0);
    if (out.isEmpty() && !address.contains(QLatin1String("#3")))
        QVERIFY(r.out.startsWith("{\n  \"Name\": \"comp.lang\""));
    else
        QCOMPARE(r.out, out);
}

// get of a server key parses the file only up to the end of the SERVER section; what it
// prints and its refusals are those of a whole load.
void TestCliAdmin::getServerReadsOnlyTheServer_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err"); // its end
    QTest::newRow("after the items") << QByteArray("[USER1]\r\nName=ann\r\n[SERVER]\r\nName=Late\r\nVersion=1.05\r\n[GROUP1]\r\n")
                                     << 0 << QByteArray("Late\n") << QByteArray();
    QTest::newRow("the first of two") << QByteArray("[SERVER]\r\nVersion=1.05\r\n[USER1]\r\n[SERVER]\r\nName=Second\r\n")
                                      << 0 << QByteArray("\n") << QByteArray();
    QTest::newRow("version not a number") << QByteArray("[SERVER]\r\nName=X\r\nVersion=one\r\n[USER1]\r\n") << 1
                                          << QByteArray() << QByteArray("'one' is not a valid floating point value\n");
    QTest::newRow("a NUL after the server") << QByteArray("[SERVER]\r\nName=X\r\n[USER1]\r\nName=a\0b\r\n", 37) << 1
                                            << QByteArray() << QByteArray(" is not a configuration file\n");
}

void TestCliAdmin::getServerReadsOnlyTheServer()
{
    QFETCH(QByteArray, file);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    writeFile("quilmora.ini", file);
    const CliRun r = cli({QStringLiteral("get"), QStringLiteral("server.Name")});
    QCOMPARE(r.status, status);
    QCOMPARE(r.out, out);
    QVERIFY2(r.err.endsWith(err), r.err.constData());
}

void TestCliAdmin::getItemIsDumpsObject()
{
    const CliRun dump = cli({QStringLiteral("dump")});
    QCOMPARE(dump.status, 0);
    const QJsonObject all = QJsonDocument::fromJson(dump.out).object();
    const struct { const char *address; QJsonValue expected; } cases[] = {
        {"pop:#1", all.value(QStringLiteral("pops")).toArray().at(0)},
        {"user:bob", all.value(QStringLiteral("users")).toArray().at(1)},
        {"group:#2", all.value(QStringLiteral("groups")).toArray().at(1)},
        {"server", all.value(QStringLiteral("server"))},
    };
    for (const auto &c : cases) {
        const CliRun r = cli({QStringLiteral("get"), QString::fromLatin1(c.address)});
        QCOMPARE(r.status, 0);
        QCOMPARE(QJsonDocument::fromJson(r.out).object(), c.expected.toObject());
    }
}

void TestCliAdmin::setListAndMultiLineText()
{
    CliRun r = cli({"set", "group:#2.Users", "bob", "front desk", "a,b"});
    QCOMPARE(r.status, 0);
    QVERIFY(TestFiles::read(ini()).contains("[GROUP2]\r\nName=comp.lang\r\nDescription=\r\nOutboundAddress=\r\nKeyList=\r\n"
                                            "Users=bob,\"front desk\",\"a,b\"\r\n"));
    r = cli({"get", "group:#2.Users"});
    QCOMPARE(r.out, QByteArray("bob\nfront desk\na,b\n"));
    QCOMPARE(cli({"set", "group:#2.Users"}).status, 0); // no names: the empty list
    QCOMPARE(cli({"get", "group:#2.Users"}).out, QByteArray());

    // A file's lines are joined by CR LF, whatever ended them; its final break is not part.
    const QString body = writeFile("body.txt", "Thanks\nWe answer soon\r\n\r\nThe office\n");
    r = cli({"set", "pop:#1.AutoReplyBody", "--value-file", body});
    QCOMPARE(r.status, 0);
    QCOMPARE(cli({"get", "pop:#1.AutoReplyBody"}).out, QByteArray("Thanks\r\nWe answer soon\r\n\r\nThe office\n"));
    QVERIFY(TestFiles::read(ini()).contains(
        "AutoReplyBody=" + ValueForms::encodeBinary("Thanks\r\nWe answer soon\r\n\r\nThe office") + "\r\n"));
    // Everything else as normalize writes it: one write, the file's canonical form.
    const QByteArray after = TestFiles::read(ini());
    QCOMPARE(cli({"normalize"}).status, 0);
    QCOMPARE(TestFiles::read(ini()), after);
}

void TestCliAdmin::addWithDefaultsAndKeys()
{
    CliRun r = cli({"add", "pop", "new/pop.example", "Newsgroups=sales", "Newsgroups=comp.lang", "DefaultGroup=sales"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("pop:#2\n"));
    QVERIFY(TestFiles::read(ini()).contains("[POP2]\r\nHost=pop.example\r\nPort=110\r\nUserID=new\r\nPassword=\r\n"
                                            "Newsgroups=sales,comp.lang\r\nDefaultGroup=sales\r\nAutoReply=N\r\n"
                                            "AutoReplyFrom=\r\nAutoReplyBody=\r\nAutoReplySubject=\r\n"
                                            "AutoReplyFromIgnore=\r\nAssignOutboundID=N\r\nSafetyBox=\r\n"));
    r = cli({"add", "group", "comp.lang.misc", "Description=Talk", "Users=ann"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("group:#4\n"));
    QVERIFY(TestFiles::read(ini()).endsWith("[GROUP4]\r\nName=comp.lang.misc\r\nDescription=Talk\r\nOutboundAddress=\r\n"
                                            "KeyList=\r\nUsers=ann\r\nReadOnly=N\r\n"));
    r = cli({"add", "user", "carol", "Description=New hire"});
    QCOMPARE(r.out, QByteArray("user:#3\n"));
    QVERIFY(TestFiles::read(ini()).contains("[USER3]\r\nName=carol\r\nPass=\r\nDescription=New hire\r\n"));
    // A script that runs twice makes no second account.
    r = cli({"add", "pop", "NEW/pop.example"});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, QByteArray("pop:#2 is already named \"NEW/pop.example\"\n"));
}

void TestCliAdmin::removeLeavesListsAlone()
{
    QCOMPARE(cli({"remove", "user:bob"}).status, 0);
    QCOMPARE(cli({"remove", "group:#1"}).status, 0);
    const QByteArray file = TestFiles::read(ini());
    QVERIFY(!file.contains("Name=bob"));
    QVERIFY(file.contains("[GROUP1]\r\nName=comp.lang\r\n"));
    QVERIFY(file.contains("Newsgroups=sales\r\n"));
    const CliRun r = cli({"check"});
    QCOMPARE(r.status, 0); // SALES (group 2 now) still answers for sales
    QCOMPARE(cli({"remove", "group:SALES"}).status, 0);
    const CliRun after = cli({"check"});
    QCOMPARE(after.status, 1);
    QCOMPARE(after.out, QByteArray("error unknown-group pop:info/mail.example: Newsgroups names \"sales\", which is no group\n"
                                   "error unknown-default-group pop:info/mail.example: DefaultGroup \"sales\" is no group\n"));
}

void TestCliAdmin::addresses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QStringList>("then"); // a get afterwards, and what it prints
    QTest::addColumn<QByteArray>("thenOut");

    auto row = [](const char *name, QStringList args, int status, const char *out, const char *err,
                  QStringList then = {}, const char *thenOut = "") {
        QTest::newRow(name) << args << status << QByteArray(out) << QByteArray(err) << then << QByteArray(thenOut);
    };
    row("position", {"get", "user:#2.Name"}, 0, "bob\n", "");
    row("name starting with #", {"get", "user:=#2.Name"}, 0, "#2\n", "");
    row("sign is a name", {"get", "user:#+1.Name"}, 0, "#+1\n", "");
    row("blank is a name", {"get", "user:# 1.Name"}, 1, "", "There is no user named \"# 1\"\n");
    row("leading zero is a name", {"get", "user:#01.Name"}, 1, "", "There is no user named \"#01\"\n");
    row("zero is a name", {"get", "user:#0"}, 1, "", "There is no user named \"#0\"\n");
    row("past the end", {"get", "user:#5"}, 1, "", "There is no user:#5 (4 users)\n");
    row("user ID with a slash", {"get", "pop:dom/jo/pop.example.UserID"}, 0, "dom/jo\n", "");
    row("key after a dotted name", {"get", "group:comp.lang.Users"}, 0, "ann\n", "");
    row("remove names the item whole", {"remove", "group:x.Users"}, 0, "", "", {"get", "group:#4.Name"}, "x\n");
    row("remove item with key", {"remove", "user:ann.Name"}, 1, "", "Not an item: user:ann.Name\n");
    row("remove by escaped name", {"remove", "user:=#2"}, 0, "", "", {"get", "user:#3.Name"}, "#+1\n");
    row("add pop splits at the last slash", {"add", "pop", "a/b/pop2.example"}, 0, "pop:#3\n", "",
        {"get", "pop:#3.UserID"}, "a/b\n");
}

void TestCliAdmin::addresses()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QStringList, then);
    QFETCH(QByteArray, thenOut);
    const QByteArray file = kSmall + "[USER3]\r\nName=#2\r\n[USER4]\r\nName=#+1\r\n"
                                     "[GROUP4]\r\nName=x.Users\r\n[GROUP5]\r\nName=x\r\n"
                                     "[POP2]\r\nHost=pop.example\r\nUserID=dom/jo\r\n";
    QVERIFY(TestFiles::write(ini(), file));
    const CliRun r = cli(args);
    QCOMPARE(r.err, err);
    QCOMPARE(r.out, out);
    QCOMPARE(r.status, status);
    if (status != 0)
        QCOMPARE(TestFiles::read(ini()), file);
    if (!then.isEmpty()) {
        const CliRun after = cli(then);
        QCOMPARE(after.err, QByteArray());
        QCOMPARE(after.out, thenOut);
    }
}

void TestCliAdmin::removeGroupWithData()
{
    // comp.lang's folder goes, and "comp" above it once empty; another group's data stays.
    const QString data = m_dir->filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/comp/lang")));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/sales")));
    QVERIFY(TestFiles::write(data + QStringLiteral("/comp/lang/xover.dat"), "1\t\t\r\n"));
    CliRun r = cli({"remove", "group:comp.lang", "--with-data"});
    QCOMPARE(r.status, 0);
    QVERIFY(!QFileInfo::exists(data + QStringLiteral("/comp")));
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/sales")));
    QVERIFY(!TestFiles::read(ini()).contains("comp.lang"));

    // A name that would lead outside "data" removes nothing, and the group stays.
    QVERIFY(TestFiles::write(ini(), kSmall + "[GROUP9]\r\nName=..\r\n"));
    const QByteArray before = TestFiles::read(ini());
    r = cli({"remove", "group:..", "--with-data"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("does not name a data folder"), r.err.constData());
    QCOMPARE(TestFiles::read(ini()), before);
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/sales")));
    QVERIFY(QFileInfo::exists(ini()));
}

void TestCliAdmin::removeWithDataKeepsDataWhenSaveFails()
{
    // The file system refuses the save (a file size limit): the group and its data both stay.
    const QString data = m_dir->filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/comp/lang")));
    QVERIFY(TestFiles::write(data + QStringLiteral("/comp/lang/xover.dat"), "1\t\t\r\n"));
    QProcess remove;
    limitFileSize(remove, 100);
    remove.start(QStringLiteral(QUILMORA_CLI_PATH), {QStringLiteral("--folder"), folder(), QStringLiteral("remove"),
                                                      QStringLiteral("group:comp.lang"), QStringLiteral("--with-data")});
    QVERIFY(remove.waitForFinished(60000));
    QCOMPARE(remove.exitStatus(), QProcess::NormalExit);
    QCOMPARE(remove.exitCode(), 1);
    QVERIFY(remove.readAllStandardError().startsWith("Unable to write to "));
    QCOMPARE(TestFiles::read(ini()), kSmall);
    QCOMPARE(TestFiles::read(data + QStringLiteral("/comp/lang/xover.dat")), QByteArray("1\t\t\r\n"));
}

void TestCliAdmin::passwdFromFile_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("user: digest, CR LF dropped as one break")
        << "user:ann" << QByteArray("s3cret\r\n") << QByteArray("[USER1]\r\nName=ann\r\nPass=")
        << ValueForms::encodeBinary(PasswordDigest("s3cret"));
    QTest::newRow("account: plain, one of two breaks dropped")
        << "pop:#1" << QByteArray("s3cret\n\n") << QByteArray("Password=") << ValueForms::encodeBinary("s3cret\n");
    QTest::newRow("administrator: digest, no break") << "server" << QByteArray("adm in") << QByteArray("AdminPass=")
                                                      << ValueForms::encodeBinary(PasswordDigest("adm in"));
    QTest::newRow("SMTP login: plain, a lone CR dropped") << "server.smtp" << QByteArray("relay\r")
                                                           << QByteArray("SMTPUserPass=") << ValueForms::encodeBinary("relay");
}

void TestCliAdmin::passwdFromFile()
{
    QFETCH(QString, item);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, stored);
    const QString path = writeFile("pw.txt", file);
    const CliRun r = cli({QStringLiteral("passwd"), item, QStringLiteral("--password-file"), path});
    QCOMPARE(r.status, 0);
    QVERIFY2(TestFiles::read(ini()).contains(key + stored + "\r\n"), TestFiles::read(ini()).constData());
}

void TestCliAdmin::passwdNeedsFileWithoutTerminal()
{
    // Standard input is a pipe here: no prompt, the file is required.
    CliRun r = cli({"passwd", "user:ann"});
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains("--password-file is needed"));
    const QString empty = writeFile("empty.txt", "\n");
    r = cli({"passwd", "user:ann", "--password-file", empty});
    QCOMPARE(r.status, 1);
    r = cli({"passwd", "group:#1", "--password-file", writeFile("pw.txt", "x")});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, QByteArray("A group has no password\n"));
    QCOMPARE(TestFiles::read(ini()), kSmall);
}

void TestCliAdmin::passwdAsksTwiceOnATerminal_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("user: digest") << "user:ann" << QByteArray("n3w pw\nn3w pw\n") << 0
                                  << "Pass=" + ValueForms::encodeBinary(PasswordDigest("n3w pw")) + "\r\n";
    QTest::newRow("account: plain") << "pop:#1" << QByteArray("box\nbox\n") << 0
                                    << "Password=" + ValueForms::encodeBinary("box") + "\r\n";
    QTest::newRow("mismatch") << "user:ann" << QByteArray("a\nA\n") << 1 << QByteArray();
    QTest::newRow("empty first entry") << "user:ann" << QByteArray("\n") << 1 << QByteArray();
}

void TestCliAdmin::passwdAsksTwiceOnATerminal()
{
    QFETCH(QString, item);
    QFETCH(QByteArray, typed);
    QFETCH(int, status);
    QFETCH(QByteArray, stored);
    // script(1) gives the command a terminal and types what it reads.
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script(1) is not installed");
    QProcess p;
    const QString command = QStringLiteral("'%1' --folder '%2' passwd '%3'").arg(QStringLiteral(QUILMORA_CLI_PATH), folder(), item);
    p.start(script, {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    QVERIFY(p.waitForStarted());
    // Each line is typed once its prompt shows, as a person would (type-ahead may be dropped
    // when echo goes off).
    QByteArray out;
    const QList<QByteArray> lines = typed.split('\n');
    const char *prompts[] = {"Enter Password: ", "Confirm Password: "};
    for (int i = 0; i < 2 && i < lines.size() - 1; ++i) {
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains(prompts[i]) || p.state() == QProcess::NotRunning,
                                 10000);
        if (p.state() == QProcess::NotRunning)
            break;
        p.write(lines[i] + '\n');
    }
    QVERIFY(p.waitForFinished(20000));
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitCode(), status);
    QVERIFY2(out.contains("Enter Password: "), out.constData());
    if (status == 0) {
        QVERIFY(out.contains("Confirm Password: "));
        QVERIFY2(TestFiles::read(ini()).contains(stored), TestFiles::read(ini()).constData());
    } else {
        QVERIFY(out.contains(typed.startsWith('\n') ? "New password not set" : "Passwords do not match! New password not set"));
        QCOMPARE(TestFiles::read(ini()), kSmall);
    }
}

void TestCliAdmin::valueFileRefusesAByteOrderMark()
{
    // Decoding would drop it: the file would not hold the text as given.
    const QString bom = writeFile("bom.txt", "\xEF\xBB\xBFOffice");
    const CliRun r = cli({"set", "server.Name", "--value-file", bom});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, QByteArray("server.Name: a text cannot begin with U+FEFF (it would be read as a byte-order mark)\n"));
    QCOMPARE(TestFiles::read(ini()), kSmall);
    // A multi-line binary value takes a NUL from a value file.
    const QString nul = writeFile("nul.txt", QByteArray("a\0b\nc", 5));
    QCOMPARE(cli({"set", "pop:#1.AutoReplyBody", "--value-file", nul}).status, 0);
    QCOMPARE(cli({"get", "pop:#1.AutoReplyBody"}).out, QByteArray("a\0b\r\nc\n", 7));
}

QTEST_GUILESS_MAIN(TestCliAdmin)
#include "tst_cli_admin.moc"
