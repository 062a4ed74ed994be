// quilmora-config purge, run as a script would run it.
#include "support/CliRunner.h"
#include "support/PlantedEntry.h"
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

using PlantedEntry::Kind;
Q_DECLARE_METATYPE(PlantedEntry::Kind)

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

    // A linked index file or message file is refused with status 1 and changes nothing: the
    // file outside it points to stays byte for byte, and so does every file of the group.
    void linkOrOddFileIsRefused_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("message");
        const QString link = QStringLiteral(" is a symbolic link, which is not followed");
        const QString notFile = QStringLiteral(" is not a regular file");
        QTest::newRow("msgid.dat a link") << "msgid.dat" << Kind::LinkToFile << link;
        QTest::newRow("xover.dat a link") << "xover.dat" << Kind::LinkToFile << link;
        QTest::newRow("outbound.dat a link") << "outbound.dat" << Kind::LinkToFile << link;
        QTest::newRow("msgid.dat a FIFO") << "msgid.dat" << Kind::Fifo << notFile;
        QTest::newRow("outbound.dat a folder") << "outbound.dat" << Kind::Folder << notFile;
        QTest::newRow("message file a link") << "0000000003" << Kind::LinkToFile << link;
        QTest::newRow("message file a FIFO") << "0000000003" << Kind::Fifo << notFile;
        QTest::newRow("message file a folder") << "0000000003" << Kind::Folder << notFile;
    }
    void linkOrOddFileIsRefused()
    {
        QFETCH(QString, entry);
        QFETCH(Kind, kind);
        QFETCH(QString, message);
        const QString outside = m_tmp.path() + QStringLiteral("/passwd");
        const QByteArray outsideBytes = "root:x:0:0:root:/root:/bin/sh\nnobody:x:65534:65534::/:/bin/false\n";
        QVERIFY(TestFiles::write(outside, outsideBytes));
        QVERIFY(PlantedEntry::plant(m_group + QLatin1Char('/') + entry, kind, outside));
        const QStringList before = QDir(m_group).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);

        for (const QStringList &dryRun : {QStringList{"--dry-run"}, QStringList{}}) {
            const CliRun r = runCli(QStringList{"--folder", m_program, "purge", "comp.lang", "--before", "2003-06-10"} + dryRun);
            QCOMPARE(r.status, 1);
            QCOMPARE(r.out, QByteArray());
            QVERIFY2(r.err.contains((m_group + QLatin1Char('/') + entry + message).toUtf8()), r.err.constData());
            QCOMPARE(TestFiles::read(outside), outsideBytes);
            QCOMPARE(QDir(m_group).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), before);
            for (const auto &[name, bytes] : {std::pair{"xover.dat", Xover}, std::pair{"msgid.dat", Msgid},
                                               std::pair{"outbound.dat", Outbound}, std::pair{"0000000003", QByteArray("message")}}) {
                if (entry != QLatin1String(name))
                    QCOMPARE(TestFiles::read(m_group + QLatin1Char('/') + QLatin1String(name)), bytes);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestPurgeCommand)
#include "tst_purgecommand.moc"
