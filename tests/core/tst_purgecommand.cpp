// quilmora-config purge, run as a script would run it.
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Xover = "1=s\ta\tMon, 2 Jun 2003 10:00:00 +0200\r\n"
                         "2=s\ta\tTue, 10 Jun 2003 00:00:00 +0200\r\n"
                         "3=s\ta\t1 Jan 2000\r\n";
const QByteArray Msgid = "1=<a>\r\n2=<b>\r\n3=<c>\r\n";
const QByteArray Outbound = "3=o\r\n";

} // namespace

class TestPurgeCommand : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_program;
    QString m_group;

private slots:
    void initTestCase()
    {
        m_program = m_tmp.path() + QStringLiteral("/prog");
        m_group = m_program + QStringLiteral("/data/comp/lang");
    }
    void init()
    {
        QDir(m_program).removeRecursively();
        QVERIFY(QDir().mkpath(m_group));
        QVERIFY(TestFiles::write(m_program + QStringLiteral("/quilmora.ini"), "[SERVER]\r\nVersion=1.05\r\n"));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/xover.dat"), Xover));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/msgid.dat"), Msgid));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/outbound.dat"), Outbound));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/0000000003"), "message"));
    }

    void purgesBeforeADate()
    {
        const CliRun r = runCli({"--folder", m_program, "purge", "comp.lang", "--before", "2003-06-10"});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("2 entries removed (xover.dat 2, msgid.dat 2, outbound.dat 1, message files 1)\n"));
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/xover.dat")),
                 QByteArray("2=s\ta\tTue, 10 Jun 2003 00:00:00 +0200\r\n"));
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/msgid.dat")), QByteArray("2=<b>\r\n"));
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/outbound.dat")), QByteArray());
        QVERIFY(!QFile::exists(m_group + QStringLiteral("/0000000003")));
    }

    void olderThanDays()
    {
        // Every date in the files lies years back; 0 days purges all of them, and a cut-off
        // about 9,000 years ago none.
        CliRun r = runCli({"--folder", m_program, "purge", "comp.lang", "--older-than=3300000"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith("0 entries removed"), r.out.constData());
        r = runCli({"--folder", m_program, "purge", "--older-than", "0", "comp.lang"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith("3 entries removed"), r.out.constData());
    }

    void dryRunChangesNothing()
    {
        const CliRun r =
            runCli({"--folder", m_program, "purge", "comp.lang", "--before", "2003-06-10", "--dry-run"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("1\n3\n2 entries would be removed (xover.dat 2, msgid.dat 2, outbound.dat 1, message files 1)\n"));
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/xover.dat")), Xover);
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/msgid.dat")), Msgid);
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/outbound.dat")), Outbound);
        QVERIFY(QFile::exists(m_group + QStringLiteral("/0000000003")));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no group") << QStringList{"purge", "--before", "2003-06-10"};
        QTest::newRow("no cut-off") << QStringList{"purge", "comp.lang"};
        QTest::newRow("both cut-offs") << QStringList{"purge", "comp.lang", "--before", "2003-06-10", "--older-than", "3"};
        QTest::newRow("days not a number") << QStringList{"purge", "comp.lang", "--older-than", "3d"};
        QTest::newRow("days missing") << QStringList{"purge", "comp.lang", "--older-than"};
        QTest::newRow("impossible date") << QStringList{"purge", "comp.lang", "--before", "2003-02-30"};
        QTest::newRow("other date form") << QStringList{"purge", "comp.lang", "--before", "10.06.2003"};
        QTest::newRow("two groups") << QStringList{"purge", "comp.lang", "sales", "--before", "2003-06-10"};
        QTest::newRow("unknown option") << QStringList{"purge", "comp.lang", "--before", "2003-06-10", "--force"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        const CliRun r = runCli(QStringList{"--folder", m_program} + args);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("usage: quilmora-config"), r.err.constData());
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/xover.dat")), Xover);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("message");
        QTest::newRow("unsafe name") << "comp/../../../prog/data/comp.lang" << "does not name a data folder";
        QTest::newRow("dot dot") << ".." << "does not name a data folder";
        QTest::newRow("empty name") << "" << "has no name";
        QTest::newRow("no such group") << "sales" << "Cannot open file " + m_program + "/data/sales/xover.dat";
    }
    void failures()
    {
        QFETCH(QString, group);
        QFETCH(QString, message);
        const CliRun r = runCli({"--folder", m_program, "purge", group, "--before", "2003-06-10"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(TestFiles::read(m_group + QStringLiteral("/xover.dat")), Xover);
        QVERIFY(QFile::exists(m_group + QStringLiteral("/0000000003")));
    }
};

QTEST_GUILESS_MAIN(TestPurgeCommand)
#include "tst_purgecommand.moc"
