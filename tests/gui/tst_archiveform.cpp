// The message archive dialog, driven through its controls.
#include "archive/TArchiveForm.h"
#include "platform/BusyCursor.h"
#include "platform/Clock.h"
#include "support/PlantedEntry.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using GuiTestUtil::child;
using PlantedEntry::Kind;
Q_DECLARE_METATYPE(PlantedEntry::Kind)

namespace {

// The dialog's date form: the locale's short one with a four-digit year.
QString form0DateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// Three messages: two days back, yesterday, today (the clock's today is 20 May 2024).
const QByteArray Xover = "1=s\ta\tSat, 18 May 2024 09:00:00 +0000\r\n"
                         "2=s\ta\tSun, 19 May 2024 23:59:59 +0000\r\n"
                         "3=s\ta\tMon, 20 May 2024 00:00:00 +0000\r\n";

// Notes what the files and the prompts looked like each time the hourglass came and went.
class RecordingCursor : public BusyCursor
{
public:
    std::function<QString()> look;
    QStringList events;
    void show() override { events << QStringLiteral("show: ") + look(); }
    void restore() override { events << QStringLiteral("restore: ") + look(); }
};

} // namespace

class TestArchiveForm : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_program;
    QString m_group;
    FixedClock m_clock{QDateTime(QDate(2024, 5, 20), QTime(15, 30))};

    QByteArray index(const char *name) const
    {
        return TestFiles::read(m_group + QLatin1Char('/') + QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        m_program = m_tmp.path();
        m_group = m_program + QStringLiteral("/data/comp/lang");
    }
    void init()
    {
        QDir(m_program + QStringLiteral("/data")).removeRecursively();
        QVERIFY(QDir().mkpath(m_group));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/xover.dat"), Xover));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/msgid.dat"), "1=<a>\r\n2=<b>\r\n3=<c>\r\n"));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/outbound.dat"), "2=o\r\n"));
    }

    void looksAsGiven()
    {
        ScriptedPrompts prompts;
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Message Archive"));
        QCOMPARE(form.size(), QSize(339, 144));
        QCOMPARE(form.GroupFolder(), m_group);

        auto *group = child<QGroupBox>(&form, "rgrpFilter");
        QVERIFY(group);
        QCOMPARE(group->title(), QStringLiteral(" Filter Messages "));
        const QList<QRadioButton *> items = group->findChildren<QRadioButton *>();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->text(), QStringLiteral("Older than "));
        QCOMPARE(items[1]->text(), QStringLiteral("Before date "));
        QVERIFY(items[0]->isChecked());
        QCOMPARE(form.filterIndex(), 0);

        auto *spin = child<QSpinBox>(&form, "SpinEdit1");
        QCOMPARE(spin->value(), 0);
        QCOMPARE(spin->minimum(), std::numeric_limits<int>::min());
        QCOMPARE(spin->maximum(), std::numeric_limits<int>::max());
        QCOMPARE(child<QLabel>(&form, "StaticText1")->text(), QStringLiteral("days"));

        auto *picker = child<QDateEdit>(&form, "DateTimePicker1");
        QCOMPARE(picker->date(), QDate(2024, 5, 20));
        QVERIFY(picker->calendarPopup());
        QVERIFY(!picker->displayFormat().contains(QLatin1Char('h')));

        auto *del = child<QPushButton>(&form, "butnDelete");
        QCOMPARE(del->text(), QStringLiteral("Delete"));
        QVERIFY(!del->icon().isNull());
        QCOMPARE(child<QPushButton>(&form, "butnCancel")->text(), QStringLiteral("Cancel"));

        // Every control lies inside the 5-pixel border, none clipped.
        const QRect inner = form.rect().adjusted(5, 5, -5, -5);
        for (QWidget *w : form.findChildren<QWidget *>()) {
            if (!w->isVisible() || w->parentWidget() != &form)
                continue;
            QVERIFY2(inner.contains(w->geometry()), qPrintable(w->objectName()));
        }
        for (QWidget *w : group->findChildren<QWidget *>()) {
            if (w->isVisible() && w->parentWidget() == group)
                QVERIFY2(group->rect().contains(w->geometry()), qPrintable(w->objectName()));
        }

        if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR"); !dir.isEmpty())
            form.grab().save(dir + QStringLiteral("/archive.png"));
    }

    // A cut-off of today or later (0 or fewer days, a date from today on) is confirmed first,
    // with the number of entries that go.
    void deletePurgesAndStaysOpen_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("start");          // the box's number before typing
        QTest::addColumn<QString>("days");       // typed into SpinEdit1
        QTest::addColumn<QDate>("date");         // picked in DateTimePicker1
        QTest::addColumn<QString>("question");   // empty: none asked
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QByteArray>("msgidAfter");

        const QString today = QStringLiteral("Every message dated before %1 will be deleted: %2 entries. Are you sure?");
        const QString may20 = QLocale().toString(QDate(2024, 5, 20), form0DateFormat());
        const QString may21 = QLocale().toString(QDate(2024, 5, 21), form0DateFormat());
        QTest::newRow("older than 0 days keeps today") << 0 << 0 << "0" << QDate() << today.arg(may20, "2") << true
                                                       << QByteArray("3=<c>\r\n");
        QTest::newRow("older than 0 days answered No") << 0 << 0 << "0" << QDate() << today.arg(may20, "2") << false
                                                       << QByteArray("1=<a>\r\n2=<b>\r\n3=<c>\r\n");
        QTest::newRow("older than 1 day") << 0 << 0 << "1" << QDate() << QString() << true << QByteArray("2=<b>\r\n3=<c>\r\n");
        QTest::newRow("older than -1 days: a cut-off tomorrow") << 0 << 0 << "-1" << QDate() << today.arg(may21, "3")
                                                                << true << QByteArray();
        QTest::newRow("not a number counts as 0") << 0 << 0 << "" << QDate() << today.arg(may20, "2") << true
                                                  << QByteArray("3=<c>\r\n");
        // The emptied box used to spring back to 5 when Delete took the focus.
        QTest::newRow("emptied box is 0, not the number before") << 0 << 5 << "" << QDate() << today.arg(may20, "2")
                                                                 << true << QByteArray("3=<c>\r\n");
        QTest::newRow("before date") << 1 << 0 << "0" << QDate(2024, 5, 19) << QString() << true
                                     << QByteArray("2=<b>\r\n3=<c>\r\n");
        QTest::newRow("before today") << 1 << 0 << "0" << QDate(2024, 5, 20) << today.arg(may20, "2") << true
                                      << QByteArray("3=<c>\r\n");
        QTest::newRow("before a date long ago") << 1 << 0 << "0" << QDate(2000, 1, 1) << QString() << true
                                                << QByteArray("1=<a>\r\n2=<b>\r\n3=<c>\r\n");
    }
    void deletePurgesAndStaysOpen()
    {
        QFETCH(int, filter);
        QFETCH(int, start);
        QFETCH(QString, days);
        QFETCH(QDate, date);
        QFETCH(QString, question);
        QFETCH(bool, yes);
        ScriptedPrompts prompts;
        prompts.answers = {yes ? Prompts::Answer::Yes : Prompts::Answer::No};
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QTest::mouseClick(form.findChild<QGroupBox *>(QStringLiteral("rgrpFilter"))->findChildren<QRadioButton *>()[filter],
                          Qt::LeftButton);
        QCOMPARE(form.filterIndex(), filter);
        auto *spin = child<QSpinBox>(&form, "SpinEdit1");
        spin->setValue(start);
        QLineEdit *spinText = spin->findChild<QLineEdit *>();
        spinText->setFocus();
        spinText->selectAll();
        QTest::keyClick(spinText, Qt::Key_Backspace);
        QTest::keyClicks(spinText, days);
        if (date.isValid())
            child<QDateEdit>(&form, "DateTimePicker1")->setDate(date);

        QTest::mouseClick(child<QPushButton>(&form, "butnDelete"), Qt::LeftButton);
        QTEST(index("msgid.dat"), "msgidAfter");
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), 0);
        QCOMPARE(prompts.shown, question.isEmpty() ? QStringList() : QStringList{QStringLiteral("yesNo: ") + question});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        if (filter == 0) // the box shows the number the purge used
            QCOMPARE(spin->text(), days.isEmpty() ? QStringLiteral("0") : days);

        // Pressed again with the same settings, nothing more is expired.
        const QByteArray xoverAfter = index("xover.dat");
        prompts.answers = {Prompts::Answer::Yes};
        QTest::mouseClick(child<QPushButton>(&form, "butnDelete"), Qt::LeftButton);
        QCOMPARE(index("xover.dat"), yes ? xoverAfter : index("xover.dat"));
    }

    void failedPurgeShowsTheError()
    {
        QVERIFY(QFile::remove(m_group + QStringLiteral("/outbound.dat")));
        ScriptedPrompts prompts;
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QTest::mouseClick(child<QPushButton>(&form, "butnDelete"), Qt::LeftButton);
        QCOMPARE(prompts.shown, QStringList{QStringLiteral("error: Cannot open file ") + m_group + QStringLiteral("/outbound.dat")});
        QCOMPARE(index("xover.dat"), Xover);
        QVERIFY(form.isVisible());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // The hourglass is up while the purge changes the files and is gone before an error
    // shows.
    void hourglassWhilePurging_data()
    {
        QTest::addColumn<bool>("outboundMissing");
        QTest::addColumn<QStringList>("events");
        // 0 days: the entries are counted first, then the question, then the purge.
        QTest::newRow("purge") << false
                               << QStringList{"show: 3 lines, 0 boxes", "restore: 3 lines, 0 boxes",
                                              "show: 3 lines, 1 boxes", "restore: 1 lines, 1 boxes"};
        QTest::newRow("failed purge") << true
                                      << QStringList{"show: 3 lines, 0 boxes", "restore: 3 lines, 0 boxes"};
    }
    void hourglassWhilePurging()
    {
        QFETCH(bool, outboundMissing);
        if (outboundMissing)
            QVERIFY(QFile::remove(m_group + QStringLiteral("/outbound.dat")));
        ScriptedPrompts prompts;
        prompts.answers = {Prompts::Answer::Yes};
        RecordingCursor cursor;
        cursor.look = [&]() {
            return QStringLiteral("%1 lines, %2 boxes").arg(index("msgid.dat").count('\n')).arg(prompts.shown.size());
        };
        TArchiveForm form(m_group, m_clock, prompts);
        form.setBusyCursor(&cursor);
        form.show();
        QTest::mouseClick(child<QPushButton>(&form, "butnDelete"), Qt::LeftButton);
        QTEST(cursor.events, "events");
        QCOMPARE(prompts.shown.size(), 1); // the question, or the error
    }

    void cancelAndEscapeClose_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Esc") << true;
    }
    void cancelAndEscapeClose()
    {
        QFETCH(bool, escape);
        ScriptedPrompts prompts;
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        if (escape)
            QTest::keyClick(child<QSpinBox>(&form, "SpinEdit1"), Qt::Key_Escape);
        else
            QTest::mouseClick(child<QPushButton>(&form, "butnCancel"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(index("xover.dat"), Xover);
    }

    void tabOrder()
    {
        ScriptedPrompts prompts;
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QApplication::setActiveWindow(&form);
        QWidget *olderThan = form.findChild<QRadioButton *>(QStringLiteral("rgrpFilterOlderThan"));
        olderThan->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), olderThan);
        const QList<QWidget *> expected = {child<QSpinBox>(&form, "SpinEdit1"), child<QDateEdit>(&form, "DateTimePicker1"),
                                           child<QPushButton>(&form, "butnDelete"), child<QPushButton>(&form, "butnCancel"),
                                           olderThan};
        // A spin box or date field has the focus through its inner line edit.
        auto focused = [&form]() {
            QWidget *focus = QApplication::focusWidget();
            while (focus && focus->parentWidget() != &form && focus->parentWidget() != form.findChild<QGroupBox *>())
                focus = focus->parentWidget();
            return focus;
        };
        QWidget *previous = olderThan;
        for (QWidget *next : expected) {
            // Tab first walks the date field's day, month and year, then leaves it.
            for (int section = 0; section < 3 && focused() == previous; ++section)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(focused(), next);
            previous = next;
        }
    }

    // Enter in the days field must not purge: Delete is not the default button.
    void enterDoesNotPurge()
    {
        ScriptedPrompts prompts;
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(child<QSpinBox>(&form, "SpinEdit1"), Qt::Key_Return);
        QCOMPARE(index("xover.dat"), Xover);
    }

    void opensForAGroup()
    {
        ScriptedPrompts prompts;
        prompts.answers = {Prompts::Answer::Yes};
        QString folderSeen;
        QString titleSeen;
        GuiTestUtil::onNextModal([&](QWidget *modal) {
            auto *form = qobject_cast<TArchiveForm *>(modal);
            QVERIFY(form);
            folderSeen = form->GroupFolder();
            titleSeen = form->windowTitle();
            QTest::mouseClick(child<QPushButton>(form, "butnDelete"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(form, "butnCancel"), Qt::LeftButton);
        });
        TArchiveForm::execForGroup(m_program, QStringLiteral("comp.lang"), m_clock, prompts);
        QCOMPARE(folderSeen, QDir::cleanPath(m_group));
        QCOMPARE(titleSeen, QStringLiteral("Message Archive"));
        QCOMPARE(index("msgid.dat"), QByteArray("3=<c>\r\n"));
        QCOMPARE(prompts.shown.size(), 1); // 0 days: the question before the purge
    }

    void unsafeGroupNameIsRefused()
    {
        ScriptedPrompts prompts;
        bool opened = false;
        GuiTestUtil::onNextModal([&](QWidget *modal) {
            opened = true;
            modal->close();
        }, 300);
        TArchiveForm::execForGroup(m_program, QStringLiteral("../data/comp.lang"), m_clock, prompts);
        QTest::qWait(400);
        QVERIFY(!opened);
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown[0].startsWith(QLatin1String("error: The group name \"../data/comp.lang\"")),
                 qPrintable(prompts.shown[0]));
        QCOMPARE(index("xover.dat"), Xover);
    }

    // Delete with a linked index file or message file in the group folder shows the refusal
    // and changes nothing: the outside file stays byte for byte, the index files too.
    void linkedFileIsRefused_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("why");
        const QString link = QStringLiteral(" is a symbolic link, which is not followed");
        QTest::newRow("msgid.dat a link") << "msgid.dat" << Kind::LinkToFile << link;
        QTest::newRow("xover.dat a FIFO") << "xover.dat" << Kind::Fifo << " is not a regular file";
        QTest::newRow("message file a link") << "0000000001" << Kind::LinkToFile << link;
    }
    void linkedFileIsRefused()
    {
        QFETCH(QString, entry);
        QFETCH(Kind, kind);
        QFETCH(QString, why);
        const QString outside = m_program + QStringLiteral("/passwd");
        const QByteArray outsideBytes = "root:x:0:0:root:/root:/bin/sh\n";
        QVERIFY(TestFiles::write(outside, outsideBytes));
        QVERIFY(TestFiles::write(m_group + QStringLiteral("/0000000001"), "message"));
        QVERIFY(PlantedEntry::plant(m_group + QLatin1Char('/') + entry, kind, outside));
        const QByteArray msgid = index("msgid.dat");

        ScriptedPrompts prompts;
        TArchiveForm form(m_group, m_clock, prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.setFilterIndex(0);
        child<QSpinBox>(&form, "SpinEdit1")->setValue(1); // before yesterday: message 1 goes
        QTest::mouseClick(child<QPushButton>(&form, "butnDelete"), Qt::LeftButton);
        QCOMPARE(prompts.shown, QStringList{QStringLiteral("error: ") + m_group + QLatin1Char('/') + entry + why});
        QCOMPARE(TestFiles::read(outside), outsideBytes);
        if (entry != QLatin1String("xover.dat"))
            QCOMPARE(index("xover.dat"), Xover);
        QCOMPARE(index("msgid.dat"), msgid);
        if (entry != QLatin1String("0000000001"))
            QCOMPARE(index("0000000001"), QByteArray("message"));
        QVERIFY(form.isVisible());
    }
};

QTEST_MAIN(TestArchiveForm)
#include "tst_archiveform.moc"
