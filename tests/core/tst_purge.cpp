// The message archive purge: reading e-mail dates, choosing the expired entries and
// rewriting a group's index files.
#include "archive/MsgArchive.h"
#include "support/PlantedEntry.h"
#include "support/ProcessLimits.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace MsgArchive;
using PlantedEntry::Kind;
Q_DECLARE_METATYPE(PlantedEntry::Kind)

namespace {

// An overview line dated `date`.
QByteArray xover(const QByteArray &key, const QByteArray &date)
{
    return key + "=Subject\tauthor@example.org\t" + date + "\t<id@example.org>\t1234\t20";
}

// The removal done the slow, obvious way: for each expired key in order, each file loses
// its first remaining line with that key.
void literalPurge(QByteArrayList files[3], DateTime cutOff)
{
    auto fold = [](QByteArray s) {
        for (char &c : s)
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        return s;
    };
    const QByteArrayList expired = SelectExpired(files[0], cutOff);
    for (const QByteArray &key : expired) {
        if (key.isEmpty())
            continue;
        for (int f = 0; f < 3; ++f) {
            for (qsizetype i = 0; i < files[f].size(); ++i) {
                const qsizetype eq = files[f][i].indexOf('=');
                if (eq >= 0 && fold(files[f][i].left(eq)) == fold(key)) {
                    files[f].removeAt(i);
                    break;
                }
            }
        }
    }
}

QByteArray crlf(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

} // namespace

class TestPurge : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_folder;

    void writeGroup(const QByteArray &x, const QByteArray &m, const QByteArray &o)
    {
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/xover.dat"), x));
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/msgid.dat"), m));
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/outbound.dat"), o));
    }
    QByteArray file(const char *name) const
    {
        return TestFiles::read(m_folder + QLatin1Char('/') + QLatin1String(name));
    }

private slots:
    void init()
    {
        m_folder = m_tmp.path() + QStringLiteral("/data/comp/lang");
        // Whatever a test left there (links, FIFOs, folders) goes.
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder);
    }

    void parseInternetDate_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the zero date-time

        const QDateTime none;
        auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
        };
        QTest::newRow("full with day name") << QByteArray("Tue, 10 Jun 2003 10:20:30 +0200") << at(2003, 6, 10, 10, 20, 30);
        QTest::newRow("without day name") << QByteArray("10 Jun 2003 10:20:30 +0200") << at(2003, 6, 10, 10, 20, 30);
        QTest::newRow("blanks around, lower case") << QByteArray("   wed, 11 jun 2003 08:00:00 GMT  ") << at(2003, 6, 11, 8);
        QTest::newRow("dashes, no seconds") << QByteArray("10-Jun-2003 10:20") << at(2003, 6, 10, 10, 20);
        QTest::newRow("dashes without a time") << QByteArray("10-Jun-2003") << at(2003, 6, 10);
        QTest::newRow("blank before the first dash") << QByteArray("10 Jun-2003") << none;
        QTest::newRow("month first, no time") << QByteArray("Jun 10 2003") << at(2003, 6, 10);
        QTest::newRow("day name, month first") << QByteArray("Tue Jun 10 2003 10:20:30") << at(2003, 6, 10, 10, 20, 30);
        QTest::newRow("two-digit year 03") << QByteArray("10 Jun 03 10:20:30") << at(2003, 6, 10, 10, 20, 30);
        QTest::newRow("two-digit year 99") << QByteArray("Thu, 10 Jun 99 10:20:30") << at(1999, 6, 10, 10, 20, 30);
        QTest::newRow("two-digit year 79") << QByteArray("10 Jun 79") << at(2079, 6, 10);
        QTest::newRow("two-digit year 80") << QByteArray("10 Jun 80") << at(1980, 6, 10);
        QTest::newRow("zone not applied") << QByteArray("10 Jun 2003 23:30 -0700") << at(2003, 6, 10, 23, 30);
        QTest::newRow("no year") << QByteArray("10 Jun") << at(1900, 6, 10);
        QTest::newRow("day not a number") << QByteArray("x Jun 2003") << at(2003, 6, 1);
        QTest::newRow("seconds not a number") << QByteArray("10 Jun 2003 10:20:xx") << at(2003, 6, 10, 10, 20);
        QTest::newRow("leap day") << QByteArray("29 Feb 2004 12:00:00") << at(2004, 2, 29, 12);
        QTest::newRow("last second of the day") << QByteArray("31 Dec 2003 23:59:59") << at(2003, 12, 31, 23, 59, 59);
        QTest::newRow("invalid day") << QByteArray("31 Jun 2003 10:20:30") << none;
        QTest::newRow("no leap day") << QByteArray("29 Feb 2003") << none;
        QTest::newRow("day 0") << QByteArray("0 Jun 2003") << none;
        QTest::newRow("hour 24") << QByteArray("10 Jun 2003 24:00:00") << none;
        QTest::newRow("minute 60") << QByteArray("10 Jun 2003 23:60:00") << none;
        QTest::newRow("second 60") << QByteArray("10 Jun 2003 23:59:60") << none;
        QTest::newRow("negative hour") << QByteArray("10 Jun 2003 -1:00:00") << none;
        QTest::newRow("unknown month") << QByteArray("10 Juni 2003") << none;
        QTest::newRow("empty") << QByteArray("") << none;
        QTest::newRow("blanks only") << QByteArray("   ") << none;
        QTest::newRow("garbage") << QByteArray("garbage") << none;
        QTest::newRow("day name alone") << QByteArray("Tuesday") << none;
    }
    void parseInternetDate()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, expected);
        const DateTime want = expected.isValid()
            ? toDateTime(expected.date(), expected.time().hour(), expected.time().minute(), expected.time().second())
            : 0;
        QCOMPARE(ParseInternetDate(text), want);
    }

    void zeroIsTheThirtiethOfDecember1899()
    {
        QCOMPARE(toDateTime(QDate(1899, 12, 30)), DateTime(0));
        QCOMPARE(toDateTime(QDate(1900, 1, 1), 6), DateTime(2 * SecondsPerDay + 6 * 3600));
        QCOMPARE(dateOf(toDateTime(QDate(2003, 6, 10), 23, 59, 59)), QDate(2003, 6, 10));
        QCOMPARE(dateOf(toDateTime(QDate(1800, 1, 1), 12)), QDate(1800, 1, 1));
    }

    void cutOffs()
    {
        const QDate today(2024, 3, 1);
        QCOMPARE(cutOffOlderThan(today, 0), toDateTime(today));
        QCOMPARE(cutOffOlderThan(today, 1), toDateTime(QDate(2024, 2, 29)));
        QCOMPARE(cutOffOlderThan(today, -2), toDateTime(QDate(2024, 3, 3)));
        // The spin box has no limits: the extreme counts still give a cut-off.
        QVERIFY(cutOffOlderThan(today, std::numeric_limits<int>::min()) > toDateTime(today));
        QVERIFY(cutOffOlderThan(today, std::numeric_limits<int>::max()) < 0);
        QCOMPARE(cutOffBefore(today), toDateTime(today));
    }

    void selectExpired()
    {
        const QByteArrayList lines = {
            xover("1", "Mon, 9 Jun 2003 23:59:59 +0000"), // before: expired
            xover("2", "Tue, 10 Jun 2003 00:00:00 +0000"), // exactly at the cut-off: stays
            xover("3", "Wed, 11 Jun 2003 08:00:00 +0000"),
            "4=only\tthree fields",                        // no date: the zero date-time
            "no key\tx\t1 Jan 2000",                       // expired, no "=": empty key
            "5=a\tb\t12 Jun 2003",                         // a date ending the line
            "6=a\tb\t1 Jan 2000\tmore",                    // a date before a fourth field
        };
        const QByteArrayList expected = {"1", "4", "", "6"};
        QCOMPARE(SelectExpired(lines, cutOffBefore(QDate(2003, 6, 10))), expected);
    }

    void purge_data()
    {
        QTest::addColumn<QByteArray>("xoverIn");
        QTest::addColumn<QByteArray>("msgidIn");
        QTest::addColumn<QByteArray>("outboundIn");
        QTest::addColumn<QByteArray>("xoverOut");
        QTest::addColumn<QByteArray>("msgidOut");
        QTest::addColumn<QByteArray>("outboundOut");

        const QByteArray old = "Mon, 2 Jun 2003 10:00:00 +0200";
        const QByteArray cut = "Tue, 10 Jun 2003 00:00:00 +0200";
        const QByteArray late = "Wed, 11 Jun 2003 10:00:00 +0200";

        QTest::newRow("at the cut-off stays, before it goes")
            << crlf({xover("1", old), xover("2", cut), xover("3", late)})
            << crlf({"1=<a@x>", "2=<b@x>", "3=<c@x>"}) << crlf({"1=o", "2=o", "3=o"})
            << crlf({xover("2", cut), xover("3", late)}) << crlf({"2=<b@x>", "3=<c@x>"})
            << crlf({"2=o", "3=o"});
        QTest::newRow("key missing from outbound")
            << crlf({xover("1", old), xover("2", late)}) << crlf({"1=<a@x>", "2=<b@x>"})
            << crlf({"2=o", "9=o"})
            << crlf({xover("2", late)}) << crlf({"2=<b@x>"}) << crlf({"2=o", "9=o"});
        QTest::newRow("keys compare without letter case")
            << crlf({xover("Ab", old)}) << crlf({"aB=<a@x>", "ab=<b@x>"}) << crlf({"AB=o"})
            << QByteArray() << crlf({"ab=<b@x>"}) << QByteArray();
        QTest::newRow("key twice, both expired")
            << crlf({xover("7", old), xover("8", late), xover("7", old)})
            << crlf({"7=<first>", "8=<b@x>", "7=<second>", "7=<third>"}) << crlf({"7=o"})
            << crlf({xover("8", late)}) << crlf({"8=<b@x>", "7=<third>"}) << QByteArray();
        // Each expired key takes the first remaining line with that key in every file,
        // also in xover.dat itself: here the newer line goes and the older one stays.
        QTest::newRow("key twice, the second expired")
            << crlf({xover("7", late), xover("7", old)}) << crlf({"7=<first>", "7=<second>"})
            << crlf({"7=o1", "7=o2"})
            << crlf({xover("7", old)}) << crlf({"7=<second>"}) << crlf({"7=o2"});
        QTest::newRow("expired line without =, and an = line with no key")
            << crlf({"no key at all\tx\t" + old, xover("1", late)})
            << crlf({"=empty key", "no key at all", "1=<a@x>"}) << crlf({"=o"})
            << crlf({"no key at all\tx\t" + old, xover("1", late)})
            << crlf({"=empty key", "no key at all", "1=<a@x>"}) << crlf({"=o"});
        QTest::newRow("unreadable date is the zero date: expired")
            << crlf({"1=s\ta\tsoon", "2=s\ta"}) << crlf({"1=m", "2=m"}) << crlf({"2=o"})
            << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("empty xover still rewrites all three")
            << QByteArray() << QByteArray("1=<a@x>\n2=<b@x>\r3=<c@x>") << QByteArray("x=1\r\n\r\ny=2")
            << QByteArray() << crlf({"1=<a@x>", "2=<b@x>", "3=<c@x>"}) << crlf({"x=1", "", "y=2"});
        QTest::newRow("other lines keep order and bytes")
            << crlf({xover("2", late), xover("1", old), xover("3", "\xE9t\xE9")})
            << QByteArray("3=\xE9\n1=a\n2=b\n") << QByteArray("2=\t x \r\n")
            << crlf({xover("2", late)}) << crlf({"2=b"}) << crlf({"2=\t x "});
    }
    void purge()
    {
        QFETCH(QByteArray, xoverIn);
        QFETCH(QByteArray, msgidIn);
        QFETCH(QByteArray, outboundIn);
        writeGroup(xoverIn, msgidIn, outboundIn);
        const PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(2003, 6, 10)));
        QVERIFY2(r.ok, qPrintable(r.error));
        QTEST(file("xover.dat"), "xoverOut");
        QTEST(file("msgid.dat"), "msgidOut");
        QTEST(file("outbound.dat"), "outboundOut");
    }

    void olderThanZeroDaysKeepsToday()
    {
        const QDate today(2024, 5, 20);
        writeGroup(crlf({xover("1", "Sun, 19 May 2024 23:59:59 +0000"), xover("2", "Mon, 20 May 2024 00:00:00 +0000"),
                         xover("3", "Mon, 20 May 2024 18:00:00 +0000")}),
                   crlf({"1=a", "2=b", "3=c"}), crlf({"1=o", "2=o", "3=o"}));
        const PurgeResult r = PurgeGroup(m_folder, cutOffOlderThan(today, 0));
        QVERIFY(r.ok);
        QCOMPARE(r.removedXover, 1);
        QCOMPARE(file("msgid.dat"), crlf({"2=b", "3=c"}));
    }

    // The counting and hashing must give the very lines the literal removal gives.
    void sameAsLiteralRemoval()
    {
        QRandomGenerator rng(20030610);
        const QByteArrayList keys = {"1", "2", "3", "A", "a", "10", "x7", ""};
        const QByteArrayList dates = {"1 Jan 2003", "9 Jun 2003 23:59:59", "10 Jun 2003", "Jun 11 2003", "junk", ""};
        auto keyPart = [&]() -> QByteArray {
            const int k = int(rng.bounded(keys.size() + 1));
            return k == keys.size() ? QByteArray("nokey") : keys[k] + '=';
        };
        for (int round = 0; round < 300; ++round) {
            QByteArrayList files[3];
            for (int f = 0; f < 3; ++f) {
                const int n = int(rng.bounded(12));
                for (int i = 0; i < n; ++i) {
                    QByteArray line = keyPart() + "v" + QByteArray::number(i);
                    if (f == 0)
                        line += "\tfrom\t" + dates[int(rng.bounded(dates.size()))];
                    files[f].append(line);
                }
            }
            writeGroup(crlf(files[0]), crlf(files[1]), crlf(files[2]));
            const DateTime cutOff = cutOffBefore(QDate(2003, 6, 10));
            literalPurge(files, cutOff);
            const PurgeResult r = PurgeGroup(m_folder, cutOff);
            QVERIFY(r.ok);
            QCOMPARE(file("xover.dat"), crlf(files[0]));
            QCOMPARE(file("msgid.dat"), crlf(files[1]));
            QCOMPARE(file("outbound.dat"), crlf(files[2]));
        }
    }

    void messageFiles_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QByteArray("42") << QStringLiteral("0000000042");
        QTest::newRow("zeros") << QByteArray("0007") << QStringLiteral("0000000007");
        QTest::newRow("ten digits") << QByteArray("9999999999") << QStringLiteral("9999999999");
        QTest::newRow("too large") << QByteArray("10000000000") << QString();
        QTest::newRow("letters") << QByteArray("4a") << QString();
        QTest::newRow("negative") << QByteArray("-4") << QString();
        QTest::newRow("empty") << QByteArray("") << QString();
    }
    void messageFiles()
    {
        QFETCH(QByteArray, key);
        QTEST(messageFileName(key), "name");
    }

    void removesMessageFilesOfRemovedEntries()
    {
        const QByteArray old = "1 Jan 2003";
        writeGroup(crlf({xover("42", old), xover("43", old), xover("abc", old), xover("44", "1 Jan 2010"),
                         xover("42", old)}),
                   crlf({"42=a"}), QByteArray());
        for (const char *name : {"0000000042", "0000000044", "0000000045", "abc", "notes.txt"})
            QVERIFY(TestFiles::write(m_folder + QLatin1Char('/') + QLatin1String(name), "message"));

        MsgArchive::PurgeOptions dry;
        dry.dryRun = true;
        dry.listKeys = true;
        const QByteArray xoverBefore = file("xover.dat");
        PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(2004, 1, 1)), dry);
        QVERIFY(r.ok);
        QCOMPARE(r.removedKeys, QByteArrayList({"42", "43", "abc", "42"}));
        QCOMPARE(r.messageFilesRemoved, 1);
        QCOMPARE(file("xover.dat"), xoverBefore);
        QVERIFY(QFile::exists(m_folder + QStringLiteral("/0000000042")));

        r = PurgeGroup(m_folder, cutOffBefore(QDate(2004, 1, 1)));
        QVERIFY(r.ok);
        QCOMPARE(r.removedXover, 4);
        QCOMPARE(r.messageFilesRemoved, 1);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files, QDir::Name),
                 QStringList({"0000000044", "0000000045", "abc", "msgid.dat", "notes.txt", "outbound.dat", "xover.dat"}));
    }

    // A message file that an entry staying in xover.dat still names is kept.
    void messageFileOfAStayingEntryStays_data()
    {
        QTest::addColumn<QByteArrayList>("xoverLines");
        QTest::addColumn<bool>("fileStays");
        const QByteArray old = "1 Jan 2003";
        const QByteArray late = "1 Jan 2010";
        QTest::newRow("key twice, both removed") << QByteArrayList{xover("42", old), xover("42", old)} << false;
        QTest::newRow("key twice, one stays") << QByteArrayList{xover("42", old), xover("42", late)} << true;
        QTest::newRow("key twice, the newer line removed") << QByteArrayList{xover("42", late), xover("42", old)} << true;
        QTest::newRow("same number written differently") << QByteArrayList{xover("42", old), xover("042", late)} << true;
        QTest::newRow("another number stays") << QByteArrayList{xover("42", old), xover("43", late)} << false;
    }
    void messageFileOfAStayingEntryStays()
    {
        QFETCH(QByteArrayList, xoverLines);
        QFETCH(bool, fileStays);
        writeGroup(crlf(xoverLines), QByteArray(), QByteArray());
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/0000000042"), "message"));
        const PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(2004, 1, 1)));
        QVERIFY(r.ok);
        QVERIFY(r.removedXover > 0);
        QCOMPARE(QFile::exists(m_folder + QStringLiteral("/0000000042")), fileStays);
        QCOMPARE(r.messageFilesRemoved, fileStays ? 0 : 1);
    }

    void missingIndexFileChangesNothing_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::newRow("xover") << QStringLiteral("xover.dat");
        QTest::newRow("msgid") << QStringLiteral("msgid.dat");
        QTest::newRow("outbound") << QStringLiteral("outbound.dat");
    }
    void missingIndexFileChangesNothing()
    {
        QFETCH(QString, missing);
        const QByteArray x = QByteArray("1=a\t\t1 Jan 2000\n");
        writeGroup(x, "1=b\n", "1=c\n");
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/0000000001"), "message"));
        QVERIFY(QFile::remove(m_folder + QLatin1Char('/') + missing));

        const PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(2003, 1, 1)));
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QStringLiteral("Cannot open file ") + m_folder + QLatin1Char('/') + missing);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files).size(), 3);
        if (missing != QLatin1String("xover.dat"))
            QCOMPARE(file("xover.dat"), x);
        if (missing != QLatin1String("msgid.dat"))
            QCOMPARE(file("msgid.dat"), QByteArray("1=b\n"));
    }

    // A file that cannot be written stops the purge before any file is replaced: all three
    // keep their old content (so a second run still finds the entries), and no message
    // file goes. msgid.dat is larger than the process may write (a full disk as the write
    // meets it); the other files are small.
    void failedWriteChangesNothing()
    {
        QByteArray msgid;
        for (int i = 0; i < 2000; ++i)
            msgid += QByteArray::number(i + 2) + "=<id" + QByteArray::number(i) + "@example.org>\n";
        writeGroup("1=a\t\t1 Jan 2000\n2=b\t\t1 Jan 2010\n", msgid, "1=c\n");
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/0000000001"), "message"));

        PurgeResult r;
        {
            FileSizeLimit limit(4096);
            if (!limit.isSet())
                QSKIP("the file size limit cannot be set here");
            r = PurgeGroup(m_folder, cutOffBefore(QDate(2003, 1, 1)));
        }
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QStringLiteral("Cannot create file ") + m_folder + QStringLiteral("/msgid.dat"));
        QCOMPARE(file("xover.dat"), QByteArray("1=a\t\t1 Jan 2000\n2=b\t\t1 Jan 2010\n"));
        QCOMPARE(file("msgid.dat"), msgid);
        QCOMPARE(file("outbound.dat"), QByteArray("1=c\n"));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).size(), 4); // no temporary file left
        QVERIFY(QFile::exists(m_folder + QStringLiteral("/0000000001")));
    }

    // A FIFO in place of an index file is refused instead of blocking the purge; nothing
    // changes.
    void fifoIndexIsRefused()
    {
        writeGroup("1=a\t\t1 Jan 2000\n", "1=b\n", "1=c\n");
        const QString fifo = m_folder + QStringLiteral("/msgid.dat");
        QVERIFY(QFile::remove(fifo));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(2003, 1, 1)));
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QDir::toNativeSeparators(fifo) + QStringLiteral(" is not a regular file"));
        QCOMPARE(file("xover.dat"), QByteArray("1=a\t\t1 Jan 2000\n"));
        QCOMPARE(file("outbound.dat"), QByteArray("1=c\n"));
    }

    // An index file, or a message file the purge would delete, that is a link (to a file
    // outside, or dangling) or no regular file stops the purge, dry run or not: nothing is
    // rewritten or deleted, and the file outside stays byte for byte.
    void oddEntryIsRefused_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Kind>("kind");
        for (const char *index : {"xover.dat", "msgid.dat", "outbound.dat"}) {
            for (const Kind kind : {Kind::LinkToFile, Kind::Dangling, Kind::Fifo, Kind::Folder})
                QTest::addRow("%s as a %s", index, PlantedEntry::name(kind)) << QString::fromLatin1(index) << kind;
        }
        for (const Kind kind : {Kind::LinkToFile, Kind::Dangling, Kind::Fifo, Kind::Folder})
            QTest::addRow("message file as a %s", PlantedEntry::name(kind)) << QStringLiteral("0000000001") << kind;
    }
    void oddEntryIsRefused()
    {
        QFETCH(QString, entry);
        QFETCH(Kind, kind);
        const QByteArray x = "1=a\t\t1 Jan 2000\n2=b\t\t1 Jan 2010\n";
        writeGroup(x, "1=b\n2=b\n", "1=c\n");
        QVERIFY(TestFiles::write(m_folder + QStringLiteral("/0000000001"), "message"));
        // A copy of a system file: one rewrite would end each of its lines in CR LF.
        const QString outside = m_tmp.path() + QStringLiteral("/passwd");
        const QByteArray outsideBytes = "root:x:0:0:root:/root:/bin/sh\nnobody:x:65534:65534::/:/bin/false\n";
        QVERIFY(TestFiles::write(outside, outsideBytes));
        QVERIFY(PlantedEntry::plant(m_folder + QLatin1Char('/') + entry, kind, outside));
        const QStringList before = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const QString expected = m_folder + QLatin1Char('/') + entry +
                                 (kind == Kind::LinkToFile || kind == Kind::Dangling
                                      ? QStringLiteral(" is a symbolic link, which is not followed")
                                      : QStringLiteral(" is not a regular file"));

        for (const bool dryRun : {true, false}) {
            PurgeOptions options;
            options.dryRun = dryRun;
            const PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(2003, 1, 1)), options);
            QVERIFY(!r.ok);
            QCOMPARE(r.error, expected);
            QCOMPARE(TestFiles::read(outside), outsideBytes);
            QCOMPARE(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), before);
            if (entry != QLatin1String("xover.dat"))
                QCOMPARE(file("xover.dat"), x);
            if (entry != QLatin1String("msgid.dat"))
                QCOMPARE(file("msgid.dat"), QByteArray("1=b\n2=b\n"));
            if (entry != QLatin1String("outbound.dat"))
                QCOMPARE(file("outbound.dat"), QByteArray("1=c\n"));
            if (entry != QLatin1String("0000000001"))
                QCOMPARE(file("0000000001"), QByteArray("message"));
            QVERIFY(QFileInfo(m_folder + QLatin1Char('/') + entry).isSymLink() ==
                    (kind == Kind::LinkToFile || kind == Kind::Dangling));
        }
        // A link that only an entry staying in the index names is no concern of the purge.
        if (entry == QLatin1String("0000000001")) {
            const PurgeResult r = PurgeGroup(m_folder, cutOffBefore(QDate(1999, 1, 1)));
            QVERIFY2(r.ok, qPrintable(r.error));
            QCOMPARE(r.removedXover, 0);
        }
    }

    // The new index files keep the mode of the files they replace.
    void modeKept()
    {
        writeGroup("1=a\t\t1 Jan 2000\n2=b\t\t1 Jan 2010\n", "1=b\n", "1=c\n");
        for (const char *name : {"xover.dat", "msgid.dat", "outbound.dat"})
            QCOMPARE(::chmod(QFile::encodeName(m_folder + QLatin1Char('/') + QLatin1String(name)).constData(), 0640), 0);
        QVERIFY(PurgeGroup(m_folder, cutOffBefore(QDate(2003, 1, 1))).ok);
        QCOMPARE(file("xover.dat"), QByteArray("2=b\t\t1 Jan 2010\r\n"));
        for (const char *name : {"xover.dat", "msgid.dat", "outbound.dat"}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(m_folder + QLatin1Char('/') + QLatin1String(name)).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 07777), 0640);
        }
    }
};

QTEST_GUILESS_MAIN(TestPurge)
#include "tst_purge.moc"
