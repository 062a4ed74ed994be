// quilmora-config and the administrator's data: bad files refused with nothing written, a
// configuration that cannot pull a file of this machine to the server, a refused return
// reported as a failure, the overall transfer limit, server text that cannot drive the
// terminal, the limit on files named on the command line, running out of memory, a backup
// that cannot be kept, and passwd's prompts while another command changes the file.
#include "config/PasswordDigest.h"
#include "support/CliRunner.h"
#include "support/LoopbackConfigServer.h"
#include "support/ProcessLimits.h"
#include "support/StalledListener.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

const QByteArray Small = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n[USER1]\r\nName=ann\r\n[GROUP1]\r\nName=sales\r\n";

// Runs quilmora-config with standard input from `input` (none: empty) and, when
// `addressSpace` is not 0, that limit on its address space.
CliRun runLimited(const QStringList &args, const QString &input, rlim_t addressSpace = 0)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUILMORA_HOME"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(input.isEmpty() ? QProcess::nullDevice() : input);
    if (addressSpace != 0) {
        process.setChildProcessModifier([addressSpace] {
            struct rlimit limit {};
            limit.rlim_cur = limit.rlim_max = addressSpace;
            ::setrlimit(RLIMIT_AS, &limit);
        });
    }
    process.start(QStringLiteral(QUILMORA_CLI_PATH), args);
    CliRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.status = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

using Script = LoopbackConfigServer::Script;

class TestCliSafety : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void badFileRefused_data();
    void badFileRefused();
    void byteOrderMark();
    void noFileOfThisMachineReachesTheServer();
    void ownConfigurationReadsNoConfiguration();
    void pushRefusedIsAFailure();
    void overallLimit_data();
    void overallLimit();
    void serverTextIsEscaped();
    void namedFilesAreLimited_data();
    void namedFilesAreLimited();
    void outOfMemoryIsAFailure();
    void backupThatCannotBeKeptIsTold();
    void passwdWithAChangeMeanwhile();

private:
    QStringList remoteArgs(const char *command, const LoopbackConfigServer &server) const
    {
        return {QStringLiteral("--folder"), m_folder, QString::fromLatin1(command), QStringLiteral("127.0.0.1"),
                QStringLiteral("--port"), QString::number(server.port())};
    }
    QStringList entries() const
    {
        QStringList list = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        list.sort();
        return list;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void TestCliSafety::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("server")));
    m_folder = m_dir->filePath(QStringLiteral("server"));
}

void TestCliSafety::badFileRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray utf16("\xFF\xFE[\0S\0E\0R\0V\0E\0R\0]\0", 18);
    for (const char *command : {"normalize", "dump"}) {
        const QString c = QString::fromLatin1(command);
        QTest::addRow("%s: UTF-16", command) << c << utf16 << QStringLiteral(" is not a configuration file");
        QTest::addRow("%s: NUL", command) << c << QByteArray("[SERVER]\0", 9) << QStringLiteral(" is not a configuration file");
        QTest::addRow("%s: no section", command) << c << QByteArray("#!/bin/sh\nrm -rf /tmp/x\n")
                                                 << QStringLiteral(" is not a configuration file");
        QTest::addRow("%s: FIFO", command) << c << QByteArray() << QStringLiteral(" is not a regular file");
    }
}

// normalize on a file that is not a configuration (a mistyped --file) fails and writes
// nothing; a FIFO neither blocks nor is read.
void TestCliSafety::badFileRefused()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = m_folder + QStringLiteral("/notes.txt");
    if (bytes.isEmpty())
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(TestFiles::write(path, bytes));
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("--file"),
                               QStringLiteral("notes.txt"), command});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err), path + message + QLatin1Char('\n'));
    if (!bytes.isEmpty())
        QCOMPARE(TestFiles::read(path), bytes);
    QCOMPARE(entries(), QStringList{QStringLiteral("notes.txt")});
}

// A configuration saved by Notepad, with a byte-order mark: normalize keeps every digest
// (the file is not taken for the old format) and writes no mark.
void TestCliSafety::byteOrderMark()
{
    const QString path = m_folder + QStringLiteral("/quilmora.ini");
    QVERIFY(TestFiles::write(path, "\xEF\xBB\xBF[SERVER]\r\nVersion=1.05\r\nAdminPass=" +
                                       PasswordDigest("admin").toHex().toUpper() + "\r\n"));
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("normalize")});
    QCOMPARE(run.status, 0);
    const QByteArray saved = TestFiles::read(path);
    QVERIFY(saved.startsWith("[SERVER]\r\n"));
    QVERIFY(saved.contains("AdminPass=" + PasswordDigest("admin").toHex().toUpper() + "\r\n"));
}

// A server hands out an old-format configuration naming files of this machine and files
// of the folder (another server's local copy, the folder's own configuration, its backup):
// pull, normalize --file HOST and push never send their content back. A local copy reads
// no file at all, and the load names each one it passed over.
void TestCliSafety::noFileOfThisMachineReachesTheServer()
{
    const QString secret = m_dir->filePath(QStringLiteral("id_rsa"));
    QVERIFY(TestFiles::write(secret, "PRIVATE KEY\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/reply.txt"), "Thanks\n"));
    const QByteArray otherPass = QByteArray("other-secret").toHex().toUpper();
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/other-server.example"),
                             "[SERVER]\r\nAdminUser=admin\r\nSMTPUserPass=" + otherPass + "\r\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini"), "[SERVER]\r\nName=Own " + otherPass + "\r\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini.bak"), "[SERVER]\r\nName=Bak " + otherPass + "\r\n"));
    const QByteArray served = "[SERVER]\r\nName=Office\r\n"
                              "[POP1]\r\nUserID=a\r\nAutoReplyFile=" + QFile::encodeName(secret) + "\r\n"
                              "[POP2]\r\nUserID=b\r\nAutoReplyFile=reply.txt\r\n"
                              "[POP3]\r\nUserID=c\r\nAutoReplyFile=other-server.example\r\n"
                              "[POP4]\r\nUserID=d\r\nAutoReplyFile=./../" + QFileInfo(m_folder).fileName().toUtf8() + "/quilmora.ini\r\n"
                              "[GROUP1]\r\nName=g\r\nKeyListFile=/etc/passwd\r\n"
                              "[GROUP2]\r\nName=h\r\nKeyListFile=quilmora.ini.bak\r\n";
    LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(served),
                                 Script().line().send("200 OK\r\n").line().sendBlock(served),
                                 Script().line().send("200 OK\r\n").line().receiveBlock()});
    QCOMPARE(runCli(remoteArgs("pull", server)).status, 0);

    const CliRun normalize = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("--file"),
                                     QStringLiteral("127.0.0.1"), QStringLiteral("normalize")},
                                    QDir::rootPath());
    QCOMPARE(normalize.status, 0);
    // The load says which names it passed over.
    for (const QByteArray &name : {"POP1 AutoReplyFile=" + QFile::encodeName(secret), QByteArray("POP2 AutoReplyFile=reply.txt"),
                                   QByteArray("POP3 AutoReplyFile=other-server.example"), QByteArray("GROUP1 KeyListFile=/etc/passwd"),
                                   QByteArray("GROUP2 KeyListFile=quilmora.ini.bak")})
        QVERIFY2(normalize.err.contains(name), normalize.err.constData());

    QCOMPARE(runCli(remoteArgs("push", server)).status, 0);
    QVERIFY(server.wait());
    const QByteArray sent = server.blocks().value(0);
    QVERIFY(!sent.isEmpty());
    for (const QByteArray &leak : {QByteArray("PRIVATE KEY").toHex().toUpper(), QByteArray("root:").toHex().toUpper(),
                                   QByteArray("Thanks").toHex().toUpper(), otherPass, otherPass.toHex().toUpper(),
                                   QByteArray("[SERVER]").toHex().toUpper()})
        QVERIFY2(!sent.contains(leak), leak.constData());
    QVERIFY(!sent.contains("AutoReplyBody=4"));
    QVERIFY(sent.contains("KeyList=\r\n"));
}

// The folder's own configuration reads a body file inside the folder, but never a file that
// holds a configuration, whichever way its name leads there (a link included).
void TestCliSafety::ownConfigurationReadsNoConfiguration()
{
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/reply.txt"), "Thanks\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/other-server.example"), "[SERVER]\r\nPassword=otherSecret\r\n"));
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini.bak"), "[SERVER]\r\nName=backupSecret\r\n"));
    QVERIFY(QFile::link(m_folder + QStringLiteral("/quilmora.ini"), m_folder + QStringLiteral("/alias.txt")));
    const QByteArray own = "[SERVER]\r\nName=ownSecret\r\n"
                           "[POP1]\r\nUserID=a\r\nAutoReplyFile=reply.txt\r\n"
                           "[POP2]\r\nUserID=b\r\nAutoReplyFile=other-server.example\r\n"
                           "[POP3]\r\nUserID=c\r\nAutoReplyFile=./../server/quilmora.ini\r\n"
                           "[POP4]\r\nUserID=d\r\nAutoReplyFile=alias.txt\r\n"
                           "[GROUP1]\r\nName=g\r\nKeyListFile=quilmora.ini.bak\r\n";
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/quilmora.ini"), own));
    const CliRun normalize = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("normalize")}, m_folder);
    QCOMPARE(normalize.status, 0);
    for (const char *skipped : {"POP2 AutoReplyFile=other-server.example", "POP3 AutoReplyFile=./../server/quilmora.ini",
                                "POP4 AutoReplyFile=alias.txt", "GROUP1 KeyListFile=quilmora.ini.bak"})
        QVERIFY2(normalize.err.contains(skipped), normalize.err.constData());
    QVERIFY(!normalize.err.contains("reply.txt"));
    const QByteArray saved = TestFiles::read(m_folder + QStringLiteral("/quilmora.ini"));
    QVERIFY(saved.contains("AutoReplyBody=" + QByteArray("Thanks\r\n").toHex().toUpper() + "\r\n"));
    for (const char *secret : {"otherSecret", "ownSecret", "backupSecret"})
        QVERIFY2(!saved.contains(QByteArray(secret).toHex().toUpper()), secret);
}

// A return whose login the server refused is a failure in the server's words, though the
// block was sent all the same.
void TestCliSafety::pushRefusedIsAFailure()
{
    const QByteArray config = "[SERVER]\r\nName=Office\r\n";
    QVERIFY(TestFiles::write(m_folder + QStringLiteral("/127.0.0.1"), config));
    LoopbackConfigServer server({Script().line().send("500 Not allowed\r\n").line().receiveBlock()});
    const CliRun run = runCli(remoteArgs("push", server));
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("Not allowed\n"));
    QCOMPARE(server.blocks(), QList<QByteArray>{config});
}

// --timeout ends the whole transfer, however the server stalls it: a server that drips
// its block, one that takes the login and never answers, one that never completes the
// connection. The previous copy stays.
void TestCliSafety::overallLimit_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QByteArray>("alsoSaid");
    QTest::newRow("dripping block") << QStringLiteral("drip") << QByteArray(" of 100 bytes arrived");
    QTest::newRow("silent after the login") << QStringLiteral("silent") << QByteArray();
    QTest::newRow("connection never made") << QStringLiteral("stalled") << QByteArray();
}

void TestCliSafety::overallLimit()
{
    QFETCH(QString, server);
    QFETCH(QByteArray, alsoSaid);
    const QString copy = m_folder + QStringLiteral("/127.0.0.1");
    QVERIFY(TestFiles::write(copy, "[SERVER]\r\n"));
    Script drip = Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(100));
    for (int i = 0; i < 100; ++i)
        drip.send("x").pause(50);
    std::unique_ptr<LoopbackConfigServer> loopback;
    StalledListener stalled;
    quint16 port = stalled.port();
    if (server == QLatin1String("stalled")) {
        if (!stalled.stalls())
            QSKIP("this system completes connections to a listener with a full backlog");
    } else {
        loopback = std::make_unique<LoopbackConfigServer>(QList<Script>{server == QLatin1String("drip") ? drip
                                                                                                   : Script().line()});
        port = loopback->port();
    }
    QStringList args = {QStringLiteral("--folder"), m_folder, QStringLiteral("pull"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--port"), QString::number(port), QStringLiteral("--timeout"), QStringLiteral("1")};
    QElapsedTimer clock;
    clock.start();
    const CliRun run = runCli(args);
    const qint64 took = clock.elapsed();
    if (loopback)
        loopback->wait();
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("The transfer did not finish within 1 seconds."), run.err.constData());
    QVERIFY(run.err.contains(alsoSaid));
    QVERIFY2(took < 4000, qPrintable(QString::number(took))); // the default silence would be 60 s
    QCOMPARE(TestFiles::read(copy), QByteArray("[SERVER]\r\n"));

    args.removeLast();
    args << QStringLiteral("0");
    QCOMPARE(runCli(args).status, 2);
}

// Escape sequences in what the server says are shown, not passed to the terminal.
void TestCliSafety::serverTextIsEscaped()
{
    LoopbackConfigServer server({Script().line().send("500 \x1b]0;owned\x07\x1b[31mred\r\n")});
    const CliRun run = runCli(remoteArgs("pull", server));
    QVERIFY(server.wait());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("\\x1b]0;owned\\x07\\x1b[31mred\n"));
}

void TestCliSafety::namedFilesAreLimited_data()
{
    QTest::addColumn<QStringList>("args");   // after --folder; BIG and EXACT stand for the files below
    QTest::addColumn<QString>("input");      // standard input
    QTest::addColumn<QString>("refused");    // what the message names; empty: read and done

    const QString zero = QStringLiteral("/dev/zero");
    QTest::newRow("set --value-file, an endless device")
        << QStringList{"set", "group:#1.KeyList", "--value-file", zero} << QString() << zero;
    QTest::newRow("apply, an endless device") << QStringList{"apply", zero} << QString() << zero;
    QTest::newRow("apply -, an endless standard input")
        << QStringList{"apply", "-"} << zero << QStringLiteral("Standard input");
    QTest::newRow("passwd --password-file, a file over the limit")
        << QStringList{"passwd", "user:ann", "--password-file", "BIG"} << QString() << QStringLiteral("BIG");
    QTest::newRow("wizard --auto-reply-body-file, an endless device")
        << QStringList{"wizard", "--force", "--auto-reply-body-file", zero} << QString() << zero;
    QTest::newRow("wizard --user-password-file -, an endless standard input")
        << QStringList{"wizard", "--force", "--user-password-file", "-"} << zero << QStringLiteral("Standard input");
    QTest::newRow("pull --password-file, an endless device")
        << QStringList{"pull", "127.0.0.1", "--port", "1", "--password-file", zero} << QString() << zero;
    QTest::newRow("passwd --password-file, a file of exactly 64 MB")
        << QStringList{"passwd", "user:ann", "--password-file", "EXACT"} << QString() << QString();
}

// A file named on the command line is read up to 64 MB; beyond, the command fails with a
// message, reads no further and writes nothing.
void TestCliSafety::namedFilesAreLimited()
{
    QFETCH(QStringList, args);
    QFETCH(QString, input);
    QFETCH(QString, refused);
    const QString ini = m_folder + QStringLiteral("/quilmora.ini");
    QVERIFY(TestFiles::write(ini, Small));
    const QString big = m_dir->filePath(QStringLiteral("big"));
    const QString exact = m_dir->filePath(QStringLiteral("exact"));
    QVERIFY(TestFiles::write(big, "x"));
    QVERIFY(TestFiles::write(exact, "x"));
    QCOMPARE(::truncate(QFile::encodeName(big).constData(), (off_t(64) << 20) + 1), 0);
    QCOMPARE(::truncate(QFile::encodeName(exact).constData(), off_t(64) << 20), 0);
    args.replaceInStrings(QStringLiteral("BIG"), big);
    args.replaceInStrings(QStringLiteral("EXACT"), exact);
    args.prepend(m_folder);
    args.prepend(QStringLiteral("--folder"));

    // An address space that 64 MB fit in easily, and that reading on would soon exhaust.
    const CliRun run = runLimited(args, input, ADDRESS_SPACE_LIMITS ? rlim_t(1) << 31 : 0);
    if (refused.isEmpty()) {
        QCOMPARE(run.status, 0);
        QVERIFY(TestFiles::read(ini) != Small);
        return;
    }
    QCOMPARE(run.status, 1);
    QCOMPARE(QString::fromUtf8(run.err), (refused == QLatin1String("BIG") ? big : refused) +
                                             QStringLiteral(" is larger than 64 MB: not read\n"));
    QCOMPARE(TestFiles::read(ini), Small);
    QCOMPARE(entries(), QStringList{QStringLiteral("quilmora.ini")});
}

// Running out of memory ends the command with one line and status 1, not an abort, and
// leaves the file as it was.
void TestCliSafety::outOfMemoryIsAFailure()
{
    if (!ADDRESS_SPACE_LIMITS)
        QSKIP("no address-space limit under AddressSanitizer");
    const QString ini = m_folder + QStringLiteral("/quilmora.ini");
    // Large enough that loading it needs more than twice its size (the save writes it in
    // pieces: it no longer holds a second copy of it).
    QByteArray big = Small;
    const QByteArray user = "[USER%1]\r\nName=user %1\r\nDescription=" + QByteArray(200, 'd') + "\r\n";
    for (int i = 2; i < 200000; ++i)
        big += QByteArray(user).replace("%1", QByteArray::number(i));
    QVERIFY(TestFiles::write(ini, big));
    // Enough to start, not enough for the work.
    const CliRun run = runLimited({QStringLiteral("--folder"), m_folder, QStringLiteral("normalize")}, QString(),
                                  rlim_t(100) << 20);
    QCOMPARE(run.err, QByteArray("Out of memory\n"));
    QCOMPARE(run.status, 1);
    QCOMPARE(TestFiles::read(ini), big);
    QCOMPARE(entries(), QStringList{QStringLiteral("quilmora.ini")});
}

// When the backup cannot be kept (a folder stands at "<name>.bak"), the change is saved and
// a warning on standard error says so.
void TestCliSafety::backupThatCannotBeKeptIsTold()
{
    const QString ini = m_folder + QStringLiteral("/quilmora.ini");
    QVERIFY(TestFiles::write(ini, Small));
    QVERIFY(QDir(m_folder).mkdir(QStringLiteral("quilmora.ini.bak")));
    const CliRun run = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("set"),
                               QStringLiteral("server.Name"), QStringLiteral("Harbour")});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("The previous configuration could not be kept as %1.bak; the new "
                                                        "one was saved all the same.\n").arg(ini));
    QVERIFY(TestFiles::read(ini).contains("Name=Harbour\r\n"));
    QVERIFY(QFileInfo(ini + QStringLiteral(".bak")).isDir());
}

// passwd on a terminal does not hold the folder's lock while the administrator types, so
// another command goes on meanwhile; the password is then not stored over that change.
void TestCliSafety::passwdWithAChangeMeanwhile()
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script(1) is not installed");
    const QString ini = m_folder + QStringLiteral("/quilmora.ini");
    QVERIFY(TestFiles::write(ini, Small));
    QProcess p;
    p.start(script, {QStringLiteral("-qec"),
                     QStringLiteral("'%1' --folder '%2' passwd user:ann").arg(QStringLiteral(QUILMORA_CLI_PATH), m_folder),
                     QStringLiteral("/dev/null")});
    QVERIFY(p.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("Enter Password: "), 10000);

    // Another command while passwd waits: it does not wait for the lock (60 s) but runs.
    QElapsedTimer clock;
    clock.start();
    const CliRun set = runCli({QStringLiteral("--folder"), m_folder, QStringLiteral("set"), QStringLiteral("server.Name"),
                               QStringLiteral("Harbour")});
    QCOMPARE(set.status, 0);
    QVERIFY2(clock.elapsed() < 20000, "the other command waited for passwd's lock");
    const QByteArray changed = TestFiles::read(ini);
    QVERIFY(changed.contains("Name=Harbour\r\n"));

    p.write("n3w pw\n");
    QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("Confirm Password: "), 10000);
    p.write("n3w pw\n");
    QVERIFY(p.waitForFinished(20000));
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(out.contains("The configuration file was changed by another program since it was loaded. New password not set"),
             out.constData());
    QCOMPARE(TestFiles::read(ini), changed);
}

QTEST_GUILESS_MAIN(TestCliSafety)
#include "tst_cli_safety.moc"
