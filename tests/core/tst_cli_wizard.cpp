// quilmora-config wizard: the wizard's file from options, and what it refuses.
#include "config/PasswordDigest.h"
#include "support/CliRunner.h"
#include "support/TestFiles.h"
#include "wizard/WizardWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(WizardFields)

// Files written into the folder first, by name; a name starting "--" is a global option.
using Files = QHash<QString, QByteArray>;

class TestCliWizard : public QObject
{
    Q_OBJECT
private slots:
    void writesFields_data();
    void writesFields();
    void existingFileNeedsForce();
    void refusedCommandLines_data();
    void refusedCommandLines();
    void missingFolderOrFile();
};

void TestCliWizard::writesFields_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Files>("files"); // written into the folder first
    QTest::addColumn<WizardFields>("expected");

    QTest::newRow("initial contents") << QStringList() << Files() << WizardFields();

    WizardFields all;
    all.serverName = "news.harbour.example";
    all.smtpServer = "smtp.harbour.example";
    all.adminEmail = "ops@harbour.example";
    all.adminEmailActive = true;
    all.outboundPrefix = "HB-";
    all.outboundMarker = "##";
    all.popServer = "pop.harbour.example";
    all.popUser = "sales";
    all.popPassword = "pw 1"; // one trailing line break of the file dropped
    all.autoReplyFrom = "sales@harbour.example";
    all.autoReplySubject = "Received";
    all.autoReplyBody = "Thanks\r\n\r\nBye"; // LF lines joined by CR LF, final break dropped
    all.groupName = "sales.support";
    all.groupDescription = "Sales enquiries";
    all.groupOutboundAddress = "reply@harbour.example";
    all.userDescription = "Corporate";
    all.userName = "front desk";
    all.userPass = PasswordDigest("s3cret");
    QTest::newRow("every option")
        << QStringList{"--server-name", "news.harbour.example", "--smtp-server", "smtp.harbour.example",
                       "--admin-email=ops@harbour.example", "--admin-email-active", "--prefix", "HB-", "--marker",
                       "##", "--pop-server", "pop.harbour.example", "--pop-user", "sales", "--pop-password-file",
                       "pop.txt", "--auto-reply-from", "sales@harbour.example", "--auto-reply-subject", "Received",
                       "--auto-reply-body-file", "body.txt", "--group-name", "sales.support",
                       "--group-description", "Sales enquiries", "--group-outbound-address",
                       "reply@harbour.example", "--user-description", "Corporate", "--user-name", "front desk",
                       "--user-password-file", "user.txt"}
        << Files{{"pop.txt", "pw 1\n"}, {"body.txt", "Thanks\n\nBye\n"}, {"user.txt", "s3cret\r\n"}}
        << all;

    // No auto-reply: its fields are not written even when given. An empty password file
    // sets no password, as an empty entry after Change does; empty texts stay empty.
    WizardFields off;
    off.autoReply = false;
    off.serverName.clear();
    off.userName = "frontdesk";
    QTest::newRow("no auto-reply, empty password")
        << QStringList{"--no-auto-reply", "--auto-reply-subject", "ignored", "--server-name", "", "--user-name",
                       "frontdesk", "--user-password-file", "empty.txt"}
        << Files{{"empty.txt", "\n"}} << off;

    // Texts are encoded with --encoding.
    WizardFields latin;
    latin.groupDescription = "Zo\xEB";
    QTest::newRow("encoding") << QStringList{"--group-description", QStringLiteral("Zo\u00EB")}
                              << Files{{"--encoding", "windows-1252"}} << latin;
}

void TestCliWizard::writesFields()
{
    QFETCH(QStringList, args);
    QFETCH(Files, files);
    QFETCH(WizardFields, expected);

    QTemporaryDir dir;
    QStringList global{QStringLiteral("--folder"), dir.path()};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("--")))
            global << it.key() << QString::fromLatin1(it.value());
        else
            QVERIFY(TestFiles::write(dir.filePath(it.key()), it.value()));
    }
    const QDate before = QDate::currentDate();
    const CliRun r = runCli(global + QStringList{QStringLiteral("wizard")} + args, dir.path());
    const QDate after = QDate::currentDate();
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY(r.out.isEmpty());
    if (before != after)
        QSKIP("the date changed while the command ran");
    QCOMPARE(TestFiles::read(dir.filePath(QStringLiteral("quilmora.ini"))), WizardWriter::render(expected, before));
}

void TestCliWizard::existingFileNeedsForce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    const QByteArray old = "[SERVER]\r\nName=old\r\n";
    QVERIFY(TestFiles::write(path, old));

    const CliRun refused = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("wizard")});
    QCOMPARE(refused.status, 1);
    QCOMPARE(refused.err, QByteArray("A configuration file already exists at ") + path.toUtf8()
                              + "; --force replaces it\n");
    QCOMPARE(TestFiles::read(path), old);

    const CliRun forced = runCli({QStringLiteral("--folder"), dir.path(), QStringLiteral("wizard"),
                                  QStringLiteral("--force"), QStringLiteral("--server-name"), QStringLiteral("new")});
    QVERIFY2(forced.status == 0, forced.err.constData());
    const QByteArray written = TestFiles::read(path);
    QVERIFY(written.startsWith("[SERVER]\r\nPort=119\r\nName=new\r\nVersion=1.05\r\n"));
    QVERIFY(!written.contains("old"));
}

void TestCliWizard::refusedCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--colour", "blue"};
    QTest::newRow("missing value") << QStringList{"--server-name"};
    QTest::newRow("argument") << QStringList{"extra"};
    QTest::newRow("two files from standard input")
        << QStringList{"--pop-password-file", "-", "--user-password-file", "-"};
}

void TestCliWizard::refusedCommandLines()
{
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    const CliRun r = runCli(QStringList{QStringLiteral("--folder"), dir.path(), QStringLiteral("wizard")} + args);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains("usage: quilmora-config"), r.err.constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

void TestCliWizard::missingFolderOrFile()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("nowhere"));
    const CliRun noFolder = runCli({QStringLiteral("--folder"), missing, QStringLiteral("wizard")});
    QCOMPARE(noFolder.status, 1);
    QCOMPARE(noFolder.err, QByteArray("No such folder: ") + missing.toUtf8() + '\n');
    QVERIFY(!QFileInfo::exists(missing));

    const CliRun noPasswordFile = runCli(
        {QStringLiteral("--folder"), dir.path(), QStringLiteral("wizard"), QStringLiteral("--pop-password-file"),
         dir.filePath(QStringLiteral("absent.txt"))});
    QCOMPARE(noPasswordFile.status, 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(TestCliWizard)
#include "tst_cli_wizard.moc"
