// quilmora-config as scripts see it: exit status, standard output and error, files.
#include "support/CliRunner.h"
#include "support/ProcessLimits.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString dataDir = QStringLiteral(QUILMORA_TEST_DATA);

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void versionAndHelp();
    void usageErrors_data();
    void usageErrors();
    void dumpExample();
    void dumpDecodesWithEncoding();
    void largeDumpWhole();
    void invalidVersionFailsAndWritesNothing();
    void normalizeOldFormat();
    void failedWritesExitOne();
    void folderFromEnvironmentAndCurrentFolder();
    void missingFolderOrFile_data();
    void missingFolderOrFile();
};

void TestCli::versionAndHelp()
{
    const CliRun v = runCli({QStringLiteral("--version")});
    QCOMPARE(v.status, 0);
    QCOMPARE(v.out, QByteArray("quilmora-config 1.05\n"));
    const CliRun h = runCli({QStringLiteral("--help")});
    QCOMPARE(h.status, 0);
    QVERIFY(h.out.contains("dump"));
    QVERIFY(h.out.contains("normalize"));
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList{"frobnicate"};
    QTest::newRow("unknown option") << QStringList{"--colour", "dump"};
    QTest::newRow("option without value") << QStringList{"--folder"};
    QTest::newRow("extra argument") << QStringList{"dump", "extra"};
    QTest::newRow("unknown encoding") << QStringList{"--encoding", "no-such-charset", "dump"};
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    // A folder holding a configuration: what fails is the command line alone.
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"), "[SERVER]\r\nVersion=1.05\r\n"));
    const CliRun r = runCli(args, dir.path());
    QCOMPARE(r.status, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains("usage: quilmora-config"), r.err.constData());
}

void TestCli::dumpExample()
{
    const CliRun r = runCli({QStringLiteral("--folder"), dataDir, QStringLiteral("--file"),
                             QStringLiteral("example.ini"), QStringLiteral("dump")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, TestFiles::read(dataDir + QStringLiteral("/example.dump.json")));
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(r.out, &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(json.object().value(QStringLiteral("server")).toObject().value(QStringLiteral("Log")).toInt(), 1);
}

void TestCli::dumpDecodesWithEncoding()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"),
                             "[SERVER]\r\nVersion=1.05\r\nName=Caf\xe9\r\n"
                             "[POP1]\r\nPassword=00FF\r\nAutoReplyBody=610D0A62\r\n"));
    const CliRun r = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--encoding"),
                             QStringLiteral("windows-1252"), QStringLiteral("dump")});
    QCOMPARE(r.status, 0);
    const QJsonObject root = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(root.value(QStringLiteral("server")).toObject().value(QStringLiteral("Name")).toString(),
             QString::fromUtf8("Caf\xc3\xa9"));
    const QJsonObject pop = root.value(QStringLiteral("pops")).toArray().at(0).toObject();
    QCOMPARE(pop.value(QStringLiteral("Password")).toString(), QStringLiteral("00FF"));
    QCOMPARE(pop.value(QStringLiteral("AutoReplyBody")).toString(), QStringLiteral("a\r\nb"));
    QVERIFY(r.out.contains("\"AutoReplyBody\": \"a\\r\\nb\""));
}

// A dump many times the size of the pieces it is printed in: every item once, in order,
// and the output one JSON document.
void TestCli::largeDumpWhole()
{
    QTemporaryDir dir;
    QByteArray file = "[SERVER]\r\nName=big\r\nVersion=1.05\r\n";
    constexpr int kUsers = 60000;
    for (int i = 1; i <= kUsers; ++i)
        file += "[USER" + QByteArray::number(i) + "]\r\nName=user " + QByteArray::number(i)
                + "\r\nPass=00112233445566778899AABBCCDDEEFF\r\nDescription=\"quoted\" \\ text\r\n";
    file += "[GROUP1]\r\nName=all\r\nUsers=\"user 1\",\"user 2\"\r\n";
    QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"), file));
    const CliRun r = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("dump")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.size() > 4 * 1024 * 1024);
    QJsonParseError error;
    const QJsonObject loaded = QJsonDocument::fromJson(r.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray users = loaded.value(QStringLiteral("users")).toArray();
    QCOMPARE(users.size(), kUsers);
    for (int i = 0; i < kUsers; ++i) {
        const QJsonObject u = users.at(i).toObject();
        QCOMPARE(u.value(QStringLiteral("Name")).toString(), QStringLiteral("user %1").arg(i + 1));
        QCOMPARE(u.value(QStringLiteral("Description")).toString(), QStringLiteral("\"quoted\" \\ text"));
    }
    QCOMPARE(loaded.value(QStringLiteral("groups")).toArray().at(0).toObject().value(QStringLiteral("Users")).toArray(),
             QJsonArray({QStringLiteral("user 1"), QStringLiteral("user 2")}));
    QVERIFY(r.out.endsWith("]\n}\n"));
}

void TestCli::invalidVersionFailsAndWritesNothing()
{
    QTemporaryDir dir;
    const QByteArray original = "[SERVER]\r\nVersion=abc\r\n[USER1]\r\nName=keep me\r\n";
    QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"), original));
    for (const char *command : {"dump", "normalize"}) {
        const CliRun r = runCli({QStringLiteral("--folder"), dir.path(), QString::fromLatin1(command)});
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err, QByteArray("'abc' is not a valid floating point value\n"));
        QCOMPARE(TestFiles::read(dir.filePath("quilmora.ini")), original);
    }
}

void TestCli::normalizeOldFormat()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("body.txt"), "Hello\n"));
    QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"), "[SERVER]\nAdminPass=6162\nLastUser=4\n"
                                                         "[POP3]\nUserID=x\nAutoReplyFile=body.txt\n"
                                                         "[USER9]\nName=a b\nPass=616263\n"));
    // A relative body file counts from the configuration's folder; the folder's own file reads it,
    // also when named with --file.
    const CliRun dump = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--file"),
                                QStringLiteral("quilmora.ini"), QStringLiteral("dump")},
                               dir.path());
    QCOMPARE(dump.status, 0);
    const QJsonObject loaded = QJsonDocument::fromJson(dump.out).object();
    QCOMPARE(loaded.value(QStringLiteral("oldFormat")).toBool(), true);
    QCOMPARE(loaded.value(QStringLiteral("server")).toObject().value(QStringLiteral("Version")).toString(),
             QStringLiteral("0"));
    QCOMPARE(loaded.value(QStringLiteral("server")).toObject().value(QStringLiteral("AdminPass")).toString(),
             QStringLiteral("187EF4436122D1CC2F40DC2B92F0EBA0"));
    const QJsonObject pop = loaded.value(QStringLiteral("pops")).toArray().at(0).toObject();
    QCOMPARE(pop.value(QStringLiteral("AutoReplyBody")).toString(), QStringLiteral("Hello\r\n"));

    const CliRun r = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--file"),
                             QStringLiteral("quilmora.ini"), QStringLiteral("normalize")},
                            dir.path());
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.isEmpty());
    const QByteArray saved = TestFiles::read(dir.filePath("quilmora.ini"));
    QVERIFY(saved.startsWith("[SERVER]\r\nPort=119\r\nName=\r\nVersion=1.05\r\n"));
    QVERIFY(saved.contains("AdminPass=187EF4436122D1CC2F40DC2B92F0EBA0\r\n")); // MD5("ab")
    QVERIFY(saved.contains("[POP1]\r\n"));
    QVERIFY(saved.contains("AutoReplyBody=48656C6C6F0D0A\r\n"));
    QVERIFY(saved.contains("[USER1]\r\nName=a b\r\nPass=900150983CD24FB0D6963F7D28E17F72\r\n"));
    QVERIFY(!saved.contains("LastUser"));
    // A second normalize changes nothing.
    const CliRun again = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--file"),
                                 QStringLiteral("quilmora.ini"), QStringLiteral("normalize")});
    QCOMPARE(again.status, 0);
    QCOMPARE(TestFiles::read(dir.filePath("quilmora.ini")), saved);
}

void TestCli::failedWritesExitOne()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    const QByteArray original = TestFiles::read(dataDir + QStringLiteral("/example.ini"));
    QVERIFY(TestFiles::write(path, original + "[USER7]\r\nName=extra\r\n"));

    // The file system refuses the save part-way (a file size limit): the old file stays whole.
    QProcess normalize;
    limitFileSize(normalize, 100);
    normalize.start(QStringLiteral(QUILMORA_CLI_PATH), {QStringLiteral("--folder"), dir.path(), QStringLiteral("normalize")});
    QVERIFY(normalize.waitForFinished(60000));
    QCOMPARE(normalize.exitStatus(), QProcess::NormalExit);
    QCOMPARE(normalize.exitCode(), 1);
    QCOMPARE(normalize.readAllStandardError(), "Unable to write to " + QFile::encodeName(path) + "\n");
    QCOMPARE(TestFiles::read(path), original + "[USER7]\r\nName=extra\r\n");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("quilmora.ini")});

    // A dump whose output cannot be written has not been done.
    QProcess dump;
    dump.setStandardOutputFile(QStringLiteral("/dev/full"));
    dump.start(QStringLiteral(QUILMORA_CLI_PATH), {QStringLiteral("--folder"), dir.path(), QStringLiteral("dump")});
    QVERIFY(dump.waitForFinished(60000));
    QCOMPARE(dump.exitCode(), 1);
    QCOMPARE(dump.readAllStandardError(), QByteArray("Unable to write to standard output\n"));
}

void TestCli::folderFromEnvironmentAndCurrentFolder()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"), "[SERVER]\r\nVersion=1.05\r\nName=here\r\n"));
    const CliRun r = runCli({QStringLiteral("dump")}, dir.path());
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains("\"Name\": \"here\""));

    const CliRun home =
        runCli({QStringLiteral("dump")}, QDir::tempPath(), {{QStringLiteral("QUILMORA_HOME"), dir.path()}});
    QCOMPARE(home.status, 0);
    QVERIFY(home.out.contains("\"Name\": \"here\""));
}

// A mistyped folder or file name fails with status 1 and its message and creates nothing;
// it never reads as a new, empty configuration.
void TestCli::missingFolderOrFile_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("missing"); // "folder", "file" or "--file"
    QTest::addColumn<QString>("file");    // the file named in the message, in the folder
    const QList<QPair<const char *, QStringList>> commands = {
        {"dump", {"dump"}},
        {"normalize", {"normalize"}},
        {"purge", {"purge", "sales", "--older-than", "30"}},
        {"purge dry run", {"purge", "sales", "--older-than", "30", "--dry-run"}},
        {"push", {"push", "127.0.0.1", "--port", "1"}},
    };
    for (const auto &[name, command] : commands) {
        const QString file = command.first() == QLatin1String("push") ? QStringLiteral("127.0.0.1") : QStringLiteral("quilmora.ini");
        QTest::addRow("%s, no folder", name) << command << "folder" << file;
        QTest::addRow("%s, no file", name) << command << "file" << file;
        if (command.first() != QLatin1String("push"))
            QTest::addRow("%s, --file names none", name) << command << "--file" << QStringLiteral("other.ini");
    }
}

void TestCli::missingFolderOrFile()
{
    QFETCH(QStringList, command);
    QFETCH(QString, missing);
    QFETCH(QString, file);
    QTemporaryDir dir;
    // The folder holds a group's data, so purge would find something to do.
    QVERIFY(QDir().mkpath(dir.filePath("data/sales")));
    QVERIFY(TestFiles::write(dir.filePath("data/sales/xover.dat"), "1=s\ta\t1 Jan 2000\r\n"));
    QString folder = dir.path();
    QStringList args{QStringLiteral("--folder"), folder};
    if (missing == QLatin1String("folder")) {
        folder = dir.filePath(QStringLiteral("mistyped"));
        args = {QStringLiteral("--folder"), folder};
    } else if (missing == QLatin1String("--file")) {
        QVERIFY(TestFiles::write(dir.filePath("quilmora.ini"), "[SERVER]\r\nVersion=1.05\r\n"));
        args << QStringLiteral("--file") << file;
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

    const CliRun r = runCli(args + command, dir.path());
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QByteArray());
    const QString message = missing == QLatin1String("folder")
                                ? QStringLiteral("No such folder: ") + folder
                                : QStringLiteral("No configuration file at ") + QDir(dir.path()).filePath(file);
    QCOMPARE(QString::fromUtf8(r.err), message + QLatin1Char('\n'));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    QVERIFY(!QFileInfo::exists(dir.filePath("mistyped")));
    QCOMPARE(TestFiles::read(dir.filePath("data/sales/xover.dat")), QByteArray("1=s\ta\t1 Jan 2000\r\n"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
