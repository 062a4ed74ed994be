// quilmora-config restore-backup: the backup becomes the configuration, and the dry run
// shows the change as diff does and writes nothing.
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include <QFileInfo>
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

} // namespace

class TestCliRestore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void restores_data();
    void restores();
    void dryRunWritesNothing();
    void withoutBackup();
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
    QTest::newRow("quilmora.ini") << QString();
    QTest::newRow("a remote local copy") << QStringLiteral("mail.example.org");
}

// Afterwards the configuration holds what the backup held (diff finds nothing), and the
// save kept the replaced configuration as the new backup.
void TestCliRestore::restores()
{
    QFETCH(QString, file);
    const QString name = file.isEmpty() ? QStringLiteral("quilmora.ini") : file;
    const QStringList fileArgs = file.isEmpty() ? QStringList{} : QStringList{QStringLiteral("--file"), file};
    QVERIFY(TestFiles::write(path(name), Current));
    QVERIFY(TestFiles::write(path(name + QStringLiteral(".bak")), Backup));
    QVERIFY(TestFiles::write(path(QStringLiteral("kept.ini")), Backup));

    const CliRun run = cli(fileArgs + QStringList{QStringLiteral("restore-backup")});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(cli(fileArgs + QStringList{QStringLiteral("diff"), path(QStringLiteral("kept.ini"))}).status, 0);
    QCOMPARE(TestFiles::read(path(name + QStringLiteral(".bak"))), Current);
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
