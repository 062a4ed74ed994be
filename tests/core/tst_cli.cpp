// quilmora-config as scripts see it: exit status, standard output and error, files.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run cli(const QStringList &args, const QString &workingDir = {})
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QUILMORA_HOME"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUILMORA_CLI_PATH), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

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
    void invalidVersionFailsAndWritesNothing();
    void normalizeOldFormat();
    void folderFromEnvironmentAndCurrentFolder();
};

void TestCli::versionAndHelp()
{
    const Run v = cli({QStringLiteral("--version")});
    QCOMPARE(v.status, 0);
    QCOMPARE(v.out, QByteArray("quilmora-config 1.05\n"));
    const Run h = cli({QStringLiteral("--help")});
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
    const Run r = cli(args);
    QCOMPARE(r.status, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains("usage: quilmora-config"), r.err.constData());
}

void TestCli::dumpExample()
{
    const Run r = cli({QStringLiteral("--folder"), dataDir, QStringLiteral("--file"), QStringLiteral("example.ini"),
                       QStringLiteral("dump")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, readAll(dataDir + QStringLiteral("/example.dump.json")));
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(r.out, &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(json.object().value(QStringLiteral("server")).toObject().value(QStringLiteral("Log")).toInt(), 1);
}

void TestCli::dumpDecodesWithEncoding()
{
    QTemporaryDir dir;
    writeAll(dir.filePath("quilmora.ini"), "[SERVER]\r\nVersion=1.05\r\nName=Caf\xe9\r\n"
                                           "[POP1]\r\nPassword=00FF\r\nAutoReplyBody=610D0A62\r\n");
    const Run r = cli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--encoding"),
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

void TestCli::invalidVersionFailsAndWritesNothing()
{
    QTemporaryDir dir;
    const QByteArray original = "[SERVER]\r\nVersion=abc\r\n[USER1]\r\nName=keep me\r\n";
    writeAll(dir.filePath("quilmora.ini"), original);
    for (const char *command : {"dump", "normalize"}) {
        const Run r = cli({QStringLiteral("--folder"), dir.path(), QString::fromLatin1(command)});
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err, QByteArray("'abc' is not a valid floating point value\n"));
        QCOMPARE(readAll(dir.filePath("quilmora.ini")), original);
    }
}

void TestCli::normalizeOldFormat()
{
    QTemporaryDir dir;
    writeAll(dir.filePath("body.txt"), "Hello\n");
    writeAll(dir.filePath("server.ini"), "[SERVER]\nAdminPass=6162\nLastUser=4\n"
                                          "[POP3]\nUserID=x\nAutoReplyFile=body.txt\n"
                                          "[USER9]\nName=a b\nPass=616263\n");
    // A relative body file counts from the current folder.
    const Run r = cli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--file"),
                       QStringLiteral("server.ini"), QStringLiteral("normalize")},
                      dir.path());
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.isEmpty());
    const QByteArray saved = readAll(dir.filePath("server.ini"));
    QVERIFY(saved.startsWith("[SERVER]\r\nPort=119\r\nName=\r\nVersion=1.05\r\n"));
    QVERIFY(saved.contains("AdminPass=187EF4436122D1CC2F40DC2B92F0EBA0\r\n")); // MD5("ab")
    QVERIFY(saved.contains("[POP1]\r\n"));
    QVERIFY(saved.contains("AutoReplyBody=48656C6C6F0D0A\r\n"));
    QVERIFY(saved.contains("[USER1]\r\nName=a b\r\nPass=900150983CD24FB0D6963F7D28E17F72\r\n"));
    QVERIFY(!saved.contains("LastUser"));
    // A second normalize changes nothing.
    QCOMPARE(cli({QStringLiteral("--folder"), dir.path(), QStringLiteral("--file"), QStringLiteral("server.ini"),
                  QStringLiteral("normalize")}).status, 0);
    QCOMPARE(readAll(dir.filePath("server.ini")), saved);
}

void TestCli::folderFromEnvironmentAndCurrentFolder()
{
    QTemporaryDir dir;
    writeAll(dir.filePath("quilmora.ini"), "[SERVER]\r\nVersion=1.05\r\nName=here\r\n");
    const Run r = cli({QStringLiteral("dump")}, dir.path());
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains("\"Name\": \"here\""));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILMORA_HOME"), dir.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QDir::tempPath());
    p.start(QStringLiteral(QUILMORA_CLI_PATH), {QStringLiteral("dump")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("\"Name\": \"here\""));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
