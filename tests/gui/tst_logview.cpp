// The log pages: the View page's Refresh and Clear, its find bar, and the two log settings.
#include "main/LogFindBar.h"
#include "widgets/RadioGroup.h"
#include "platform/BusyCursor.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

// Notes each show and restore of the hourglass with what the view held at the time.
class RecordingCursor : public BusyCursor
{
public:
    QPlainTextEdit *view = nullptr;
    QStringList events;
    void show() override { events << QStringLiteral("show"); }
    void restore() override { events << QStringLiteral("restore"); }
};

// A day of a server's log, for the README's picture.
QByteArray screenshotLog()
{
    QByteArray log;
    for (int i = 0; i < 12; ++i) {
        const QByteArray at = "2026-12-10 0" + QByteArray::number(8 + i / 6) + ":" + QByteArray::number(10 + i * 4) + ":07 ";
        log += at + "POP3 sales@pop.harbour.example: 3 messages, filed into sales (2), sales.eu (1)\r\n";
        if (i % 4 == 1)
            log += at + "SMTP mail.harbour.example: cannot connect (timed out), reply kept in outbound\r\n";
        log += at + "NNTP 10.0.0.2 maria: group sales, 42 articles read\r\n";
    }
    return log;
}

} // namespace

class TestLogView : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;
    RecordingCursor m_cursor;

    TMainForm *openWithLog(const QByteArray &log)
    {
        m_cursor = RecordingCursor();
        TMainForm *f = m_fx.open("[SERVER]\r\nLogSize=500\r\nLog=1\r\n", nullptr, &m_cursor);
        if (f && !log.isNull() && !TestFiles::write(m_fx.path(QStringLiteral("log.txt")), log))
            return nullptr;
        return f;
    }

private slots:
    void cleanup() { m_fx.form.reset(); }

    void toolBar()
    {
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        QCOMPARE(f->ToolBar2->actions(), (QList<QAction *>{f->actnRefreshLog, f->actnClearLog}));
        QCOMPARE(f->actnRefreshLog->statusTip(), QStringLiteral("Refresh log"));
        QCOMPARE(f->actnClearLog->statusTip(), QStringLiteral("Clear log"));
        QVERIFY(!f->actnRefreshLog->icon().isNull());
        QVERIFY(f->memoLog->isReadOnly());
    }

    // Every showing of the page appends the file's lines again; Clear then Refresh shows one
    // copy. Line breaks of all three kinds end lines.
    void showingAppends()
    {
        TMainForm *f = openWithLog("started\r\nmailbox polled\rerror: no route\n");
        QVERIFY(f);
        const QString once = QStringLiteral("started\nmailbox polled\nerror: no route");
        m_fx.select(f->nodeLogView);
        QCOMPARE(f->memoLog->toPlainText(), once);
        m_fx.select(f->nodeGeneral);
        m_fx.select(f->nodeLogView);
        QCOMPARE(f->memoLog->toPlainText(), once + QLatin1Char('\n') + once);
        QVERIFY(GuiTestUtil::trigger(f, "actnClearLog"));
        QCOMPARE(f->memoLog->toPlainText(), QString());
        QVERIFY(QFileInfo::exists(m_fx.path(QStringLiteral("log.txt")))); // the file is not touched
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QCOMPARE(f->memoLog->toPlainText(), once);
        QCOMPARE(m_cursor.events, (QStringList{"show", "restore", "show", "restore", "show", "restore"}));
        QVERIFY(!f->isChanged());
    }

    void missingLogAddsNothing()
    {
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        f->memoLog->setPlainText(QStringLiteral("kept"));
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QCOMPARE(f->memoLog->toPlainText(), QStringLiteral("kept"));
        QCOMPARE(m_fx.prompts.shown, QStringList());
        QCOMPARE(m_cursor.events, (QStringList{"show", "restore"}));
    }

    // A log that exists but cannot be opened (here a folder of that name) is reported; the
    // view keeps its content and the hourglass is gone before the message shows.
    void unopenableLogIsReported()
    {
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        QVERIFY(QDir().mkdir(m_fx.path(QStringLiteral("log.txt"))));
        f->memoLog->setPlainText(QStringLiteral("kept"));
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QCOMPARE(m_fx.prompts.shown,
                 QStringList{QStringLiteral("error: Cannot open file ") + m_fx.path(QStringLiteral("log.txt"))});
        QCOMPARE(f->memoLog->toPlainText(), QStringLiteral("kept"));
        QCOMPARE(m_cursor.events, (QStringList{"show", "restore"}));
    }

    void logSettings()
    {
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        QCOMPARE(f->rgrpLogSettings->itemIndex(), 1);
        QCOMPARE(f->rgrpLogFile->itemIndex(), 1);
        QVERIFY(f->sedtLogSize->isEnabled());
        QCOMPARE(f->sedtLogSize->value(), 500);

        m_fx.select(f->nodeLogSettings);
        QTest::mouseClick(f->rgrpLogFile->button(0), Qt::LeftButton);
        QVERIFY(!f->sedtLogSize->isEnabled());
        QCOMPARE(f->sedtLogSize->value(), 0);
        QVERIFY(f->isChanged());
        QVERIFY(f->actnSaveExecute());
        const QByteArray file = TestFiles::read(m_fx.path(QStringLiteral("quilmora.ini")));
        QVERIFY2(file.contains("LogSize=0\r\nLog=1\r\n"), file.constData());
    }

    // Ctrl+F on the View page opens the find bar; Enter finds the next place, Shift+Enter
    // the previous one, Esc closes the bar.
    void findBarOnTheViewPage()
    {
        TMainForm *f = openWithLog("one\r\nerror two\r\nthree\r\nERROR four\r\n");
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        m_fx.select(f->nodeLogView);
        f->memoLog->setFocus();
        QTRY_VERIFY(f->memoLog->hasFocus());
        QVERIFY(!f->findLog->isVisible());
        QTest::keyClick(f->memoLog, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(f->findLog->isVisible());
        QTRY_VERIFY(f->findLog->editFind->hasFocus());
        // Under the tool bar, above the log.
        QVERIFY(f->findLog->geometry().top() >= f->ToolBar2->geometry().bottom());
        QVERIFY(f->findLog->geometry().bottom() <= f->memoLog->geometry().top());

        QTest::keyClicks(f->findLog->editFind, QStringLiteral("error"));
        const auto line = [f]() { return f->memoLog->textCursor().block().text(); };
        QCOMPARE(line(), QStringLiteral("error two"));
        QTest::keyClick(f->findLog->editFind, Qt::Key_Return);
        QCOMPARE(line(), QStringLiteral("ERROR four"));
        QTest::keyClick(f->findLog->editFind, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(line(), QStringLiteral("error two"));
        if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QVERIFY(TestFiles::write(m_fx.path(QStringLiteral("log.txt")), screenshotLog()));
            f->actnClearLogExecute();
            f->actnRefreshLogExecute();
            f->memoLog->moveCursor(QTextCursor::Start);
            f->findLog->editFind->setText(QStringLiteral("cannot"));
            f->findLog->findNext();
            f->findLog->findNext();
            QVERIFY(f->grab().save(dir + QStringLiteral("/log-view-find.png")));
        }
        QTest::keyClick(f->findLog->editFind, Qt::Key_Escape);
        QVERIFY(!f->findLog->isVisible());
        QTRY_VERIFY(f->memoLog->hasFocus());
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
