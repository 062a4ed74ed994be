// quilmora-config remove --with-data where the group's data cannot be reached, or lies
// beside a folder that is missing: the command says what stayed, and touches nothing else.
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Ini = "[SERVER]\r\nVersion=1.05\r\n"
                       "[GROUP1]\r\nName=a.b\r\n"
                       "[GROUP2]\r\nName=x\r\n"
                       "[GROUP3]\r\nName=a.x\r\n";

constexpr uid_t Nobody = 65534;

// Runs quilmora-config as the user nobody (setpriv drops root's right to pass any
// permission), or as this user when it is not root.
CliRun runUnprivileged(const QStringList &args)
{
    if (::geteuid() != 0)
        return runCli(args);
    QProcess process;
    process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                         QStringLiteral("--clear-groups"), QStringLiteral(QUILMORA_CLI_PATH)} +
                                                 args);
    CliRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Whether the command above can run as nobody here.
bool canRunUnprivileged()
{
    if (::geteuid() != 0)
        return true;
    QProcess probe;
    probe.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), QStringLiteral(QUILMORA_CLI_PATH),
                                            QStringLiteral("--version")});
    return probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

// Gives every entry under `base` (and `base`) to nobody, so the unprivileged run owns it.
bool giveToNobody(const QString &base)
{
    if (::geteuid() != 0)
        return true;
    bool ok = ::chown(QFile::encodeName(base).constData(), Nobody, Nobody) == 0;
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = ::lchown(QFile::encodeName(it.next()).constData(), Nobody, Nobody) == 0 && ok;
    return ok;
}

} // namespace

class TestCliGroupData : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_program;

    QString at(const QString &relative) const { return m_program + QLatin1Char('/') + relative; }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        QCOMPARE(::chmod(QFile::encodeName(m_tmp->path()).constData(), 0755), 0);
        m_program = m_tmp->path() + QStringLiteral("/prog");
        QVERIFY(QDir().mkpath(at(QStringLiteral("data/a/b"))));
        QVERIFY(QDir().mkpath(at(QStringLiteral("data/x"))));
        QVERIFY(TestFiles::write(at(QStringLiteral("quilmora.ini")), Ini));
        QVERIFY(TestFiles::write(at(QStringLiteral("data/a/b/xover.dat")), "ab"));
        QVERIFY(TestFiles::write(at(QStringLiteral("data/x/xover.dat")), "x"));
    }
    void cleanup()
    {
        // Permissions back, so the temporary folder can go.
        for (const char *folder : {"data", "data/a"})
            ::chmod(QFile::encodeName(at(QString::fromLatin1(folder))).constData(), 0755);
    }

    // data/ or data/a cannot be read: exit 1, and the message names the group's folder
    // and the folder that barred the way; the data stays. The group is gone from the file
    // (the data goes only after the file is written), as Delete in the window does.
    void unreachableDataFails_data()
    {
        QTest::addColumn<QString>("denied");
        QTest::addColumn<QString>("why");
        QTest::newRow("data") << "data" << "/prog/data cannot be opened (Permission denied)";
        QTest::newRow("data/a for a.b") << "data/a" << ": data/a cannot be opened (Permission denied)";
    }
    void unreachableDataFails()
    {
        QFETCH(QString, denied);
        QFETCH(QString, why);
        if (!canRunUnprivileged())
            QSKIP("running as root without setpriv: permissions cannot be denied to the command");
        QVERIFY(giveToNobody(m_program));
        QCOMPARE(::chmod(QFile::encodeName(at(denied)).constData(), 0), 0);

        const CliRun r = runUnprivileged({"--folder", m_program, "remove", "group:a.b", "--with-data"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(("Could not remove everything in the data folder " + at(QStringLiteral("data/a/b"))).toUtf8()),
                 r.err.constData());
        QVERIFY2(r.err.contains(why.toUtf8()), r.err.constData());
        QVERIFY2(r.err.contains("stays"), r.err.constData());

        cleanup();
        QCOMPARE(TestFiles::read(at(QStringLiteral("data/a/b/xover.dat"))), QByteArray("ab"));
        QCOMPARE(TestFiles::read(at(QStringLiteral("data/x/xover.dat"))), QByteArray("x"));
        QVERIFY(!TestFiles::read(at(QStringLiteral("quilmora.ini"))).contains("Name=a.b\r\n"));
    }

    // Group a.x's folder would be data/a/x. With data/a missing there is nothing to remove,
    // and data/x (group x's) and everything else stay; with data/a present but holding no x,
    // likewise.
    void missingFolderOnTheWay_data()
    {
        QTest::addColumn<bool>("aMissing");
        QTest::newRow("data/a missing") << true;
        QTest::newRow("data/a without x") << false;
    }
    void missingFolderOnTheWay()
    {
        QFETCH(bool, aMissing);
        if (aMissing)
            QVERIFY(QDir(at(QStringLiteral("data/a"))).removeRecursively());
        const CliRun r = runCli({"--folder", m_program, "remove", "group:a.x", "--with-data"});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.status, 0);
        QCOMPARE(TestFiles::read(at(QStringLiteral("data/x/xover.dat"))), QByteArray("x"));
        QCOMPARE(QFileInfo::exists(at(QStringLiteral("data/a/b/xover.dat"))), !aMissing);
        const QByteArray ini = TestFiles::read(at(QStringLiteral("quilmora.ini")));
        QVERIFY(!ini.contains("Name=a.x\r\n"));
        QVERIFY(ini.contains("Name=x\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliGroupData)
#include "tst_cli_groupdata.moc"
