// quilmora-config's administration commands as scripts use them: check, get, set, add,
// remove, passwd, apply and diff; their output, exit status and the file afterwards.
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

namespace {

const QByteArray kSmall = "[SERVER]\r\nPort=119\r\nName=Office\r\nVersion=1.05\r\nAdminUser=admin\r\n"
                          "AdminPass=" + ValueForms::encodeBinary(PasswordDigest("pw")) + "\r\n"
                          "[POP1]\r\nHost=mail.example\r\nPort=110\r\nUserID=info\r\nNewsgroups=sales\r\n"
                          "DefaultGroup=sales\r\nAutoReply=y\r\n"
                          "[USER1]\r\nName=ann\r\nPass=" + ValueForms::encodeBinary(PasswordDigest("a")) + "\r\n"
                          "[USER2]\r\nName=bob\r\nPass=" + ValueForms::encodeBinary(PasswordDigest("b")) + "\r\n"
                          "[GROUP1]\r\nName=sales\r\nUsers=ann,bob\r\nReadOnly=N\r\n"
                          "[GROUP2]\r\nName=comp.lang\r\nUsers=ann\r\n"
                          "[GROUP3]\r\nName=SALES\r\n";

} // namespace

class TestCliAdmin : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void refusedChangesLeaveTheFile_data();
    void refusedChangesLeaveTheFile();
    void missingFolderOrFile_data();
    void missingFolderOrFile();
    void getValues_data();
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
    void checkOutputAndStatus();
    void applyRoundTrips_data();
    void applyRoundTrips();
    void applyReplacesAndDryRun();
    void valueFileRefusesAByteOrderMark();
    void nulInBinaryValues_data();
    void nulInBinaryValues();
    void applyRefusesBadMembers_data();
    void applyRefusesBadMembers();
    void diffStatusAndOutput();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder() const { return m_dir->path(); }
    QString ini() const { return m_dir->filePath(QStringLiteral("quilmora.ini")); }
    CliRun cli(const QStringList &args) { return runCli(QStringList{QStringLiteral("--folder"), folder()} + args); }
    QString writeFile(const char *name, const QByteArray &bytes)
    {
        const QString path = m_dir->filePath(QString::fromLatin1(name));
        if (!TestFiles::write(path, bytes))
            qFatal("cannot write %s", name);
        return path;
    }
};

void TestCliAdmin::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(TestFiles::write(ini(), kSmall));
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
    QCOMPARE(after.out, QByteArray("error unknown-group pop:#1: Newsgroups names \"sales\", which is no group\n"
                                   "error unknown-default-group pop:#1: DefaultGroup \"sales\" is no group\n"));
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

void TestCliAdmin::checkOutputAndStatus()
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
    QCOMPARE(first.value(QStringLiteral("item")).toString(), QStringLiteral("group:#4"));
    QCOMPARE(first.value(QStringLiteral("message")).toString(), QStringLiteral("Users names \"gone\", which is no user"));
    // A control character in a name never reaches the terminal as such.
    r = cli({"check"});
    QVERIFY(!r.out.contains('\x1b'));
    QVERIFY(!r.out.contains('\x07'));
    QVERIFY(r.out.contains("Users names \"\\u001b]0;owned\\u0007\", which is no user"));
}

void TestCliAdmin::applyRoundTrips_data()
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

void TestCliAdmin::applyRoundTrips()
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

void TestCliAdmin::nulInBinaryValues_data()
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

void TestCliAdmin::nulInBinaryValues()
{
    // dump | apply onto another configuration gives the same values, byte for byte.
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, line);
    QVERIFY(TestFiles::write(ini(), file));
    const CliRun dump = cli({"dump"});
    QCOMPARE(dump.status, 0);
    const QString json = writeFile("dump.json", dump.out);
    QVERIFY(TestFiles::write(ini(), "[SERVER]\r\nName=other\r\n"));
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

void TestCliAdmin::applyReplacesAndDryRun()
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

void TestCliAdmin::applyRefusesBadMembers_data()
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
    // No text to put: the member found, the last one, is cut off with everything after it.
    QTest::newRow("no groups") << QByteArray("\"groups\"") << QByteArray() << QByteArray("groups: missing\n");
}

void TestCliAdmin::applyRefusesBadMembers()
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

void TestCliAdmin::diffStatusAndOutput()
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
