// The tip of the day without its window: the tips file's entries, stepping through them,
// and the settings in the registry.
#include "platform/Registry.h"
#include "services/TKDTipDay.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>

namespace {

const QString Key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kovalen Designs\\Quilmora");
const QString KeyPath = QStringLiteral("\\SOFTWARE\\Kovalen Designs\\Quilmora");

} // namespace

class TestTipDay : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniFileRegistry> m_registry;

    QString tipsPath() const { return m_dir->filePath(QStringLiteral("tips.dat")); }

    std::unique_ptr<TKDTipDay> load(const QByteArray &file)
    {
        if (!file.isNull() && !TestFiles::write(tipsPath(), file))
            return nullptr;
        auto tips = std::make_unique<TKDTipDay>(m_registry.get());
        tips->RegistryKey = Key;
        tips->TipFile = tipsPath();
        tips->LoadTips();
        return tips;
    }

    std::unique_ptr<RegistryKey> key(bool create = true)
    {
        return m_registry->openKey(Registry::Root::LocalMachine, KeyPath, Registry::Access::Full, create);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_registry = std::make_unique<IniFileRegistry>(m_dir->filePath(QStringLiteral("registry")));
    }

    void entries_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("tip, two lines") << "-Save often%sIt pays" << "Tip Of the Day..." << "Save often\nIt pays";
        QTest::newRow("did you know") << "*Fact" << "Did You Know..!" << "Fact";
        QTest::newRow("joke") << "+Ha" << "Joke Of The Day..." << "Ha";
        QTest::newRow("message") << "=Hello" << "Today's message..." << "Hello";
        QTest::newRow("no marker") << "Plain text" << "" << "lain text";
        QTest::newRow("empty line") << "" << "" << "";
        QTest::newRow("marker alone") << "-" << "Tip Of the Day..." << "";
        QTest::newRow("percent signs") << "-100%% sure" << "Tip Of the Day..." << "100% sure";
        QTest::newRow("other percent sequences stand") << "-50% off, %d days, %" << "Tip Of the Day..."
                                                       << "50% off, %d days, %";
        QTest::newRow("five breaks, then as it stands")
            << "-a%sb%sc%sd%se%sf%sg" << "Tip Of the Day..." << "a\nb\nc\nd\ne\nf%sg";
        QTest::newRow("300 characters") << "-" + QString(254, QLatin1Char('x')) + "YZ" + QString(44, QLatin1Char('q'))
                                        << "Tip Of the Day..." << QString(254, QLatin1Char('x')) + "Y";
    }
    void entries()
    {
        QFETCH(QString, line);
        QFETCH(QString, title);
        QFETCH(QString, text);
        // A one-entry file: every step lands on it.
        auto tips = load(line.toLatin1() + "\r\n");
        QCOMPARE(tips->Tips.size(), 1);
        QCOMPARE(tips->title, title);
        QCOMPARE(tips->text, text);
    }

    void linesEndAtAnyBreak()
    {
        auto tips = load("-one\r\n-two\r-three\n-four");
        QCOMPARE(tips->Tips, QStringList({"-one", "-two", "-three", "-four"}));
    }

    void noTipsFile()
    {
        auto tips = load(QByteArray());
        QVERIFY(tips->Tips.isEmpty());
        QCOMPARE(tips->title, QStringLiteral("Oops..."));
        QCOMPARE(tips->text, QString());
        tips->ShowTip(true);
        tips->ShowTip(false);
        QCOMPARE(tips->title, QStringLiteral("Oops..."));
        QCOMPARE(tips->TipIndex, 0);
    }

    // A tips file that is not a regular file (a FIFO without a writer, a link to a device)
    // or is larger than 1 MB is not read, at once and with a message; no tips then.
    void unreadableTipsFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("FIFO") << "fifo" << "is not a regular file";
        QTest::newRow("link to /dev/zero") << "zero" << "is not a regular file";
        QTest::newRow("over 1 MB") << "large" << "is larger than 1 MB";
        QTest::newRow("1 MB exactly is read") << "limit" << "";
    }
    void unreadableTipsFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QByteArray path = QFile::encodeName(tipsPath());
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        else if (kind == QLatin1String("zero"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), tipsPath()));
        else
            QVERIFY(TestFiles::write(tipsPath(), "-tip\n" + QByteArray((1 << 20) - 5 + (kind == QLatin1String("large")), 'x')));
        QElapsedTimer timer;
        timer.start();
        auto tips = load(QByteArray());
        QVERIFY(timer.elapsed() < 5000);
        if (message.isEmpty()) {
            QCOMPARE(tips->LoadError, QString());
            QCOMPARE(tips->Tips.size(), 2);
        } else {
            QVERIFY2(tips->LoadError.contains(message), qPrintable(tips->LoadError));
            QVERIFY(tips->LoadError.contains(tipsPath()));
            QVERIFY(tips->Tips.isEmpty());
            QCOMPARE(tips->title, QStringLiteral("Oops..."));
        }
    }

    // Without the key nothing is read: the index stays 0, so the second entry comes first,
    // and the window is not shown at start-up.
    void noKey_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("three entries") << QByteArray("-first\r\n-second\r\n-third\r\n") << "second";
        QTest::newRow("one entry") << QByteArray("-only\r\n") << "only";
    }
    void noKey()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        auto tips = load(file);
        QCOMPARE(tips->text, text);
        QVERIFY(!tips->TipsEnabled);
        QVERIFY(!key(false));
    }

    // A key without values: CurrentTip counts as -1 (the first entry comes first) and
    // TipsEnabled as on.
    void keyWithoutValues()
    {
        QVERIFY(key());
        auto tips = load("-first\r\n-second\r\n");
        QCOMPARE(tips->text, QStringLiteral("first"));
        QCOMPARE(tips->TipIndex, 0);
        QVERIFY(tips->TipsEnabled);
    }

    void storedValues_data()
    {
        QTest::addColumn<QString>("currentTip");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("tipsEnabled");
        QTest::newRow("position 1, on") << "1" << "1" << "third" << true;
        QTest::newRow("off") << "0" << "0" << "second" << false;
        QTest::newRow("2 is not on") << "0" << "2" << "second" << false;
        QTest::newRow("not a number is on") << "0" << "yes" << "second" << true;
        QTest::newRow("position not a number") << "x" << "1" << "first" << true;
        QTest::newRow("last wraps to first") << "2" << "1" << "first" << true;
        QTest::newRow("beyond the end") << "99" << "1" << "first" << true;
    }
    void storedValues()
    {
        QFETCH(QString, currentTip);
        QFETCH(QString, enabled);
        QFETCH(QString, text);
        QFETCH(bool, tipsEnabled);
        auto k = key();
        QVERIFY(k);
        QVERIFY(k->writeString(QStringLiteral("CurrentTip"), currentTip));
        QVERIFY(k->writeString(QStringLiteral("TipsEnabled"), enabled));
        auto tips = load("-first\r\n-second\r\n-third\r\n");
        QCOMPARE(tips->text, text);
        QCOMPARE(tips->TipsEnabled, tipsEnabled);
    }

    // An integer value where a string is expected counts as absent.
    void integerValueCountsAsAbsent()
    {
        auto k = key();
        QVERIFY(k->writeInteger(QStringLiteral("CurrentTip"), 1));
        QVERIFY(k->writeInteger(QStringLiteral("TipsEnabled"), 0));
        auto tips = load("-first\r\n-second\r\n-third\r\n");
        QCOMPARE(tips->text, QStringLiteral("first"));
        QVERIFY(tips->TipsEnabled);
    }

    void wrapsBothWays()
    {
        QVERIFY(key());
        auto tips = load("-a\r\n-b\r\n-c\r\n");
        QCOMPARE(tips->text, QStringLiteral("a"));
        tips->ShowTip(false);
        QCOMPARE(tips->text, QStringLiteral("c"));
        QCOMPARE(tips->TipIndex, 2);
        tips->ShowTip(true);
        QCOMPARE(tips->text, QStringLiteral("a"));
        QCOMPARE(tips->TipIndex, 0);
        tips->ShowTip(true);
        tips->ShowTip(true);
        QCOMPARE(tips->text, QStringLiteral("c"));
    }

    void saveSettingsCreatesTheKey()
    {
        auto tips = load("-a\r\n-b\r\n");
        tips->TipIndex = -1;
        tips->TipsEnabled = false;
        tips->SaveSettings();
        auto k = key(false);
        QVERIFY(k);
        QCOMPARE(k->readString(QStringLiteral("CurrentTip")), QStringLiteral("-1"));
        QCOMPARE(k->readString(QStringLiteral("TipsEnabled")), QStringLiteral("0"));
        tips->TipIndex = 1;
        tips->TipsEnabled = true;
        tips->SaveSettings();
        QCOMPARE(key(false)->readString(QStringLiteral("CurrentTip")), QStringLiteral("1"));
        QCOMPARE(key(false)->readString(QStringLiteral("TipsEnabled")), QStringLiteral("1"));
    }

    // Root names are matched exactly; any other spelling means HKEY_USERS.
    void lowerCaseRootSelectsUsers()
    {
        auto tips = load("-a\r\n");
        tips->RegistryKey = QStringLiteral("hkey_local_machine\\SOFTWARE\\Kovalen Designs\\Quilmora");
        tips->TipIndex = 5;
        tips->SaveSettings();
        QVERIFY(!key(false));
        auto users = m_registry->openKey(Registry::Root::Users, KeyPath, Registry::Access::ReadOnly, false);
        QVERIFY(users);
        QCOMPARE(users->readString(QStringLiteral("CurrentTip")), QStringLiteral("5"));
    }

    void unwritableRegistryWritesNothing()
    {
        IniFileRegistry none(QStringLiteral("/proc/quilmora-no-such-folder"));
        TKDTipDay tips(&none);
        tips.RegistryKey = Key;
        tips.TipIndex = 3;
        tips.ReadSettings();
        QCOMPARE(tips.TipIndex, 3);
        QVERIFY(!tips.TipsEnabled);
        tips.SaveSettings(); // silently nothing
    }
};

QTEST_GUILESS_MAIN(TestTipDay)
#include "tst_tipday.moc"
