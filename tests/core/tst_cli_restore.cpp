// quilmora-config restore-backup: the backup becomes the configuration, and the dry run
// shows the change as diff does and writes nothing.
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Current = "[SERVER]\r\nPort=120\r\nName=Office\r\nVersion=1.05\r\n"
                           "[USER1]\r\nName=ann\r\nDescription=Front desk\r\n"
                           "[GROUP1]\r\nName=sales\r\nUsers=ann\r\n";
const QByteArray Backup = "[SERVER]\r\nPort=119\r\nName=Office\r\nVersion=1.05\r\n"
                          "[USER1]\r\nName=ann\r\nDescription=Desk\r\n"
                          "[USER2]\r\nName=bob\r\n"
                          "[GROUP1]\r\nName=sales\r\nUsers=ann,bob\r\n";

// Files of a case: name and bytes; bytes "->TARGET" make a symbolic link to TARGET.
using Files = QList<QPair<QString, QByteArray>>;

const QByteArray OldFormatBackup = "[SERVER]\r\nVersion=1.0\r\nName=Old\r\n"
                                   "[POP1]\r\nUserID=a\r\nAutoReplyFile=reply.txt\r\n"
                                   "[GROUP1]\r\nName=g\r\nKeyListFile=keys/g.txt\r\n";

} // namespace

Q_DECLARE_METATYPE(Files)

class TestCliRestore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void restores_data();
    void restores();
    void dryRunWritesNothing();
    void withoutBackup();
    void whatItCannotSee_data();
    void whatItCannotSee();
    void usageError();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    CliRun cli(const QStringList &args) const
    {
        return runCli(QStringList{QStringLiteral("--folder"), m_dir->path()} + args);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCliRestore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestCliRestore::restores_data()
{
    QTest::addColumn<QString>("file"); // --file, or empty for quilmora.ini
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QByteArray>("backup");
    QTest::newRow("quilmora.ini") << QString() << Current << Backup;
    QTest::newRow("a remote local copy") << QStringLiteral("mail.example.org") << Current << Backup;
    // Incoming accounts: one changed, one only in the backup, one only in the file.
    const QByteArray pops = "[POP1]\r\nHost=pop.example\r\nPort=110\r\nUserID=info\r\nPassword=one\r\nNewsgroups=sales\r\n"
                            "[POP2]\r\nHost=mail.example\r\nPort=995\r\nUserID=news\r\n";
    const QByteArray otherPops = "[POP1]\r\nHost=pop.example\r\nPort=995\r\nUserID=info\r\nPassword=two\r\n"
                                 "Newsgroups=sales,support\r\n"
                                 "[POP2]\r\nHost=imap.example\r\nPort=110\r\nUserID=desk\r\nAutoReply=Y\r\n"
                                 "AutoReplyBody=5468616E6B730D0A\r\n"
                                 "[POP3]\r\nHost=mail.example\r\nPort=995\r\nUserID=news\r\nDefaultGroup=sales\r\n";
    QTest::newRow("incoming accounts differ") << QString() << Current + pops << Backup + otherPops;
}

// Afterwards the configuration holds what the backup held (diff finds nothing), and the
// save kept the replaced configuration as the new backup.
void TestCliRestore::restores()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, current);
    QFETCH(QByteArray, backup);
    const QString name = file.isEmpty() ? QStringLiteral("quilmora.ini") : file;
    const QStringList fileArgs = file.isEmpty() ? QStringList{} : QStringList{QStringLiteral("--file"), file};
    QVERIFY(TestFiles::write(path(name), current));
    QVERIFY(TestFiles::write(path(name + QStringLiteral(".bak")), backup));
    QVERIFY(TestFiles::write(path(QStringLiteral("kept.ini")), backup));
    // The two differ before, in the accounts too.
    const CliRun before = cli(fileArgs + QStringList{QStringLiteral("diff"), path(QStringLiteral("kept.ini"))});
    QCOMPARE(before.status, 1);
    QVERIFY(!backup.contains("[POP") || before.out.contains("pop:"));

    const CliRun run = cli(fileArgs + QStringList{QStringLiteral("restore-backup")});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    const CliRun after = cli(fileArgs + QStringList{QStringLiteral("diff"), path(QStringLiteral("kept.ini"))});
    QCOMPARE(after.out, QByteArray());
    QCOMPARE(after.status, 0);
    QCOMPARE(TestFiles::read(path(name + QStringLiteral(".bak"))), current);
}

void TestCliRestore::dryRunWritesNothing()
{
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), Current));
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini.bak")), Backup));
    const QDateTime before = QFileInfo(path(QStringLiteral("quilmora.ini"))).lastModified();
    QTest::qWait(20); // a write would move the time

    const CliRun run = cli({QStringLiteral("restore-backup"), QStringLiteral("--dry-run")});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    const CliRun diff = cli({QStringLiteral("diff"), path(QStringLiteral("quilmora.ini.bak"))});
    QCOMPARE(diff.status, 1);
    QCOMPARE(run.out, diff.out);
    QVERIFY(run.out.contains("~ server.Port: 120 -> 119\n")); // from the file to the backup
    QVERIFY(run.out.contains("+ user:bob\n"));
    QCOMPARE(TestFiles::read(path(QStringLiteral("quilmora.ini"))), Current);
    QCOMPARE(TestFiles::read(path(QStringLiteral("quilmora.ini.bak"))), Backup);
    QCOMPARE(QFileInfo(path(QStringLiteral("quilmora.ini"))).lastModified(), before);
}

void TestCliRestore::whatItCannotSee_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("err"); // a part of standard error; empty: nothing there
    QTest::addColumn<QByteArray>("out"); // a part of standard output; empty: nothing there
    // What the configuration must be afterwards: diff against these bytes finds nothing;
    // null: the file stays byte for byte.
    QTest::addColumn<QByteArray>("restored");
    QTest::addColumn<QString>("body"); // POP1's auto-reply body afterwards; null: not looked at
    QTest::addColumn<QString>("keys"); // GROUP1's key list afterwards; null: not looked at

    const QString none;
    // An old-format backup reads its linked files inside the folder, as the file does.
    QTest::newRow("old format, linked files read")
        << Files{{"quilmora.ini", Current}, {"quilmora.ini.bak", OldFormatBackup}, {"reply.txt", "Thanks\n"},
                 {"keys/g.txt", "k1\nk2\n"}}
        << QStringList{} << 0 << QByteArray() << QByteArray() << QByteArray() << "Thanks\r\n" << "k1\r\nk2\r\n";
    QTest::newRow("old format, a named file missing")
        << Files{{"quilmora.ini", Current}, {"quilmora.ini.bak", OldFormatBackup}, {"keys/g.txt", "k1\n"}}
        << QStringList{} << 0 << QByteArray("do not exist") << QByteArray() << QByteArray() << "" << "k1\r\n";
    QTest::newRow("old format, a named file outside the folder")
        << Files{{"quilmora.ini", Current},
                 {"quilmora.ini.bak", QByteArray(OldFormatBackup).replace("reply.txt", "../reply.txt")},
                 {"keys/g.txt", "k1\n"}}
        << QStringList{} << 0 << QByteArray("POP1 AutoReplyFile=../reply.txt") << QByteArray() << QByteArray() << ""
        << "k1\r\n";
    // quilmora.ini a link: the save put the backup beside the link's target; a stale backup
    // beside the link is not the one.
    QTest::newRow("configuration a link")
        << Files{{"real/q.ini", Current}, {"real/q.ini.bak", Backup}, {"quilmora.ini", "->real/q.ini"},
                 {"quilmora.ini.bak", "[SERVER]\r\nName=Stale\r\n"}}
        << QStringList{} << 0 << QByteArray() << QByteArray() << Backup << none << none;
    QTest::newRow("configuration a link, no backup beside its target")
        << Files{{"real/q.ini", Current}, {"quilmora.ini", "->real/q.ini"}, {"quilmora.ini.bak", Backup}}
        << QStringList{} << 1 << QByteArray("No backup at ") << QByteArray() << QByteArray() << none << none;
    // A current file that cannot be loaded is what a backup is for.
    const QByteArray binary("\x00\x01\xfe\xff binary", 12);
    QTest::newRow("current file binary")
        << Files{{"quilmora.ini", binary}, {"quilmora.ini.bak", Backup}}
        << QStringList{} << 0 << QByteArray("The current configuration cannot be read") << QByteArray() << Backup << none
        << none;
    QTest::newRow("current file with Version=abc")
        << Files{{"quilmora.ini", "[SERVER]\r\nVersion=abc\r\n"}, {"quilmora.ini.bak", Backup}}
        << QStringList{} << 0 << QByteArray("'abc' is not a valid floating point value") << QByteArray() << Backup
        << none << none;
    QTest::newRow("current file binary, dry run")
        << Files{{"quilmora.ini", binary}, {"quilmora.ini.bak", Backup}} << QStringList{"--dry-run"} << 0
        << QByteArray() << QByteArray("The current configuration cannot be read") << QByteArray() << none << none;
    // An empty backup would empty the configuration.
    for (const QByteArray &empty : {QByteArray(""), QByteArray("\r\n \r\n\t")}) {
        const char *what = empty.isEmpty() ? "empty backup" : "blank backup";
        QTest::addRow("%s refused", what) << Files{{"quilmora.ini", Current}, {"quilmora.ini.bak", empty}}
                                          << QStringList{} << 1 << QByteArray("is empty") << QByteArray() << QByteArray()
                                          << none << none;
        QTest::addRow("%s with --force", what)
            << Files{{"quilmora.ini", Current}, {"quilmora.ini.bak", empty}} << QStringList{"--force"} << 0 << QByteArray()
            << QByteArray()
            // An empty file loads in the old format, where the empty administrator password
            // becomes its digest.
            << QByteArray("[SERVER]\r\nVersion=1.05\r\nAdminPass=D41D8CD98F00B204E9800998ECF8427E\r\n") << none << none;
    }
}

// Afterwards the configuration is what the backup held, or stays byte for byte; the
// messages say what the restore could not see.
void TestCliRestore::whatItCannotSee()
{
    QFETCH(Files, files);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, restored);
    QFETCH(QString, body);
    QFETCH(QString, keys);
    for (const auto &[name, bytes] : files) {
        QVERIFY(QDir().mkpath(QFileInfo(path(name)).path()));
        if (bytes.startsWith("->"))
            QVERIFY(QFile::link(path(QString::fromUtf8(bytes.mid(2))), path(name)));
        else
            QVERIFY(TestFiles::write(path(name), bytes));
    }
    const QString config = QFileInfo(path(QStringLiteral("quilmora.ini"))).canonicalFilePath();
    const QByteArray before = TestFiles::read(config);

    const CliRun run = cli(QStringList{QStringLiteral("restore-backup")} + args);
    QCOMPARE(run.status, status);
    if (err.isEmpty())
        QCOMPARE(run.err, QByteArray());
    else
        QVERIFY2(run.err.contains(err), run.err.constData());
    if (out.isEmpty())
        QCOMPARE(run.out, QByteArray());
    else
        QVERIFY2(run.out.contains(out), run.out.constData());

    if (restored.isNull() && body.isNull()) {
        QCOMPARE(TestFiles::read(config), before);
    } else if (!restored.isNull()) {
        QVERIFY(TestFiles::write(path(QStringLiteral("kept.ini")), restored));
        const CliRun diff = cli({QStringLiteral("diff"), path(QStringLiteral("kept.ini"))});
        QCOMPARE(diff.out, QByteArray());
        QCOMPARE(diff.status, 0);
    }
    if (!body.isNull() || !keys.isNull()) {
        const CliRun dump = cli({QStringLiteral("dump")});
        QCOMPARE(dump.status, 0);
        const QJsonObject loaded = QJsonDocument::fromJson(dump.out).object();
        QCOMPARE(loaded.value(QStringLiteral("server")).toObject().value(QStringLiteral("Name")).toString(),
                 QStringLiteral("Old"));
        QCOMPARE(loaded.value(QStringLiteral("pops")).toArray().at(0).toObject().value(QStringLiteral("AutoReplyBody")).toString(),
                 body);
        QCOMPARE(loaded.value(QStringLiteral("groups")).toArray().at(0).toObject().value(QStringLiteral("KeyList")).toString(),
                 keys);
    }
    // A link stays a link: the save replaced its target.
    if (files.contains({QStringLiteral("quilmora.ini"), QByteArray("->real/q.ini")})) {
        QVERIFY(QFileInfo(path(QStringLiteral("quilmora.ini"))).isSymLink());
        QCOMPARE(TestFiles::read(path(QStringLiteral("quilmora.ini.bak"))).startsWith("[SERVER]\r\nName=Stale") ||
                     status != 0,
                 true);
    }
}

void TestCliRestore::withoutBackup()
{
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), Current));
    const CliRun run = cli({QStringLiteral("restore-backup")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, (QStringLiteral("No backup at ") + path(QStringLiteral("quilmora.ini.bak")) + QLatin1Char('\n')).toUtf8());
    QCOMPARE(TestFiles::read(path(QStringLiteral("quilmora.ini"))), Current);
}

void TestCliRestore::usageError()
{
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), Current));
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini.bak")), Backup));
    const CliRun run = cli({QStringLiteral("restore-backup"), QStringLiteral("now")});
    QCOMPARE(run.status, 2);
    QCOMPARE(TestFiles::read(path(QStringLiteral("quilmora.ini"))), Current);
}

QTEST_GUILESS_MAIN(TestCliRestore)
#include "tst_cli_restore.moc"
