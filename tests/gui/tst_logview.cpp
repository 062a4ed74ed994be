// The log pages: the View page's Refresh and Clear, its find bar, and the two log settings.
#include "main/LogFindBar.h"
#include "main/LogViewFill.h"
#include "main/NavTree.h"
#include "widgets/RadioGroup.h"
#include "platform/BusyCursor.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QThreadPool>
#include <limits>
#include <sys/stat.h>

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

    // Until a refresh (or Clear) has finished changing the view; large logs are read
    // aside and put into the view in slices.
    static bool settled(TMainForm *f)
    {
        return QTest::qWaitFor([f]() { return !f->isLogRefreshing(); }, 120000);
    }
    // Turns of the event loop, one at a time, until `done` (a fill in progress is caught
    // between two of its slices).
    template <typename Done>
    static bool turnUntil(Done done)
    {
        for (int i = 0; i < 100000 && !done(); ++i)
            QCoreApplication::processEvents();
        return done();
    }
    static bool refresh(TMainForm *f) { return GuiTestUtil::trigger(f, "actnRefreshLog") && settled(f); }

    // Every log read aside and put into the view a few characters a turn.
    static void fillInSmallSlices(TMainForm *f, qsizetype sliceChars)
    {
        f->logFill->limits.readAsideBytes = 0;
        f->logFill->limits.sliceChars = sliceChars;
        f->logFill->limits.budgetMs = 0;
    }

    // A log of `lines` numbered lines.
    static QByteArray numberedLog(int lines, const QByteArray &tag)
    {
        QByteArray log;
        for (int i = 0; i < lines; ++i)
            log += "2026-12-10 08:00:00 " + tag + ' ' + QByteArray::number(i) + "\r\n";
        return log;
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

    // A log that is not a regular file is refused at once (no blocking on a FIFO without
    // a writer, no endless read of a device) with the same message; the view is kept.
    void notRegularLogIsRefused_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("link to /dev/zero") << false;
    }
    void notRegularLogIsRefused()
    {
        QFETCH(bool, fifo);
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        const QString log = m_fx.path(QStringLiteral("log.txt"));
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), log));
        f->memoLog->setPlainText(QStringLiteral("kept"));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(m_fx.prompts.shown, QStringList{QStringLiteral("error: Cannot open file ") + log});
        QCOMPARE(f->memoLog->toPlainText(), QStringLiteral("kept"));
    }

    // Of a log larger than the window only its last 64 MB are shown, from the first whole
    // line on, under a first line that says how much was left out. A sparse 100 GB file
    // reads no more than that.
    void largeLogShowsItsEnd_data()
    {
        QTest::addColumn<qint64>("hole");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("shown");
        const qint64 window = qint64(64) << 20;
        QTest::newRow("sparse 100 GB, lines at its end")
            << (qint64(100) << 30) << QByteArray("\n09:59 after the hole\r\n10:00 first\r\n10:01 last\r\n")
            << QStringLiteral("09:59 after the hole\n10:00 first\n10:01 last");
        QTest::newRow("a line cut at the window's start")
            << window - 3 << QByteArray("abcdef\n10:00 whole\n") << QStringLiteral("10:00 whole")
            ;
        QTest::newRow("no line break at all") << (qint64(100) << 30) << QByteArray() << QString();
        QTest::newRow("lone CR line ends")
            << (qint64(100) << 30) << QByteArray("\r09:59 after the hole\r10:00 first\r10:01 last\r")
            << QStringLiteral("09:59 after the hole\n10:00 first\n10:01 last");
        QTest::newRow("lone CR ends the cut line")
            << window - 3 << QByteArray("abc\rdef\r\n10:00 whole\r") << QStringLiteral("def\n10:00 whole");
    }
    void largeLogShowsItsEnd()
    {
        QFETCH(qint64, hole);
        QFETCH(QByteArray, tail);
        QFETCH(QString, shown);
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        const QString log = m_fx.path(QStringLiteral("log.txt"));
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(hole))
            QSKIP("the file system holds no sparse file of this size");
        QVERIFY(file.seek(hole));
        QCOMPARE(file.write(tail), tail.size());
        file.close();
        const qint64 size = hole + tail.size();
        // What is left out: everything before the window, and the window's first partial line.
        const qint64 windowStart = size - (qint64(64) << 20);
        qint64 skipped = size;
        if (!shown.isEmpty()) {
            // The first line end of the window: LF, or CR not followed by LF.
            qsizetype end = 0;
            while (tail.at(end) != '\n' && !(tail.at(end) == '\r' && (end + 1 < tail.size() ? tail.at(end + 1) : 0) != '\n'))
                ++end;
            const qint64 firstBreak = hole + end;
            skipped = firstBreak >= windowStart ? firstBreak + 1 : windowStart;
        }
        QVERIFY(refresh(f));
        QCOMPARE(m_fx.prompts.shown, QStringList());
        const QStringList lines = f->memoLog->toPlainText().split(QLatin1Char('\n'));
        QVERIFY2(lines.first().startsWith(QStringLiteral("[The first ")), qPrintable(lines.first()));
        QVERIFY2(lines.first().contains(QStringLiteral(" (%1 bytes) of ").arg(skipped)), qPrintable(lines.first()));
        QCOMPARE(lines.mid(1).join(QLatin1Char('\n')), shown);
    }

    // Refreshes append until the view would pass the window's 64 MB: that refresh starts the
    // view afresh with what it read.
    void refreshPastTheWindowStartsAfresh()
    {
        // 24 MB of lines: two refreshes fit, the third would pass 64 MB.
        QByteArray line = "2026-12-10 08:00:00 " + QByteArray(1000, 'w') + "\r\n";
        QByteArray log;
        log.reserve(24 << 20);
        int count = 0;
        while (log.size() + line.size() <= (24 << 20)) {
            log += line;
            ++count;
        }
        TMainForm *f = openWithLog(log);
        QVERIFY(f);
        log = QByteArray();
        QVERIFY(refresh(f));
        QCOMPARE(f->memoLog->blockCount(), count);
        QVERIFY(refresh(f));
        QCOMPARE(f->memoLog->blockCount(), 2 * count);
        QVERIFY(refresh(f));
        QCOMPARE(f->memoLog->blockCount(), count);
        QVERIFY(f->memoLog->document()->characterCount() <= (qint64(64) << 20));
        QVERIFY(f->memoLog->document()->firstBlock().text().startsWith(QStringLiteral("2026-12-10 08:00:00 www")));
    }

    // A line far longer than a view lays out at once (no blank, or blanks) is shown as
    // paragraphs of a bounded length, broken after a blank where one is near; together they
    // hold the line unchanged, and the lines around it are shown as they are.
    void longLineShownInPieces_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("atBlanks");
        QTest::newRow("letters only") << QByteArray(40000, 'x') << false;
        QByteArray words;
        while (words.size() < 40000)
            words += "word" + QByteArray::number(words.size() % 97) + ' ';
        QTest::newRow("words") << words << true;
    }
    void longLineShownInPieces()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, atBlanks);
        TMainForm *f = openWithLog("08:00 before\r\n" + line + "\r\n08:01 after\r\n");
        QVERIFY(f);
        QVERIFY(refresh(f));
        QTextDocument *doc = f->memoLog->document();
        QVERIFY(doc->blockCount() > 3);
        QCOMPARE(doc->firstBlock().text(), QStringLiteral("08:00 before"));
        QCOMPARE(doc->lastBlock().text(), QStringLiteral("08:01 after"));
        QString joined;
        for (QTextBlock b = doc->firstBlock().next(); b != doc->lastBlock(); b = b.next()) {
            QVERIFY2(b.length() - 1 <= 8192, qPrintable(QString::number(b.length())));
            if (atBlanks && b.next() != doc->lastBlock())
                QVERIFY(b.text().endsWith(QLatin1Char(' ')));
            joined += b.text();
        }
        QCOMPARE(joined, QString::fromLatin1(line));
    }

    // The log's lines wrap at the view's width: a vertical scroll bar only, and every line
    // seen from its start (its time stamp) after a refresh.
    void longLinesWrap()
    {
        QByteArray log;
        for (int i = 0; i < 200; ++i)
            log += "2026-12-10 08:" + QByteArray::number(10 + i % 50) + ":07 " + QByteArray(300, 'w') + " end\r\n";
        TMainForm *f = openWithLog(log);
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        m_fx.select(f->nodeLogView);
        QVERIFY(settled(f));
        QCOMPARE(f->memoLog->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(f->memoLog->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(f->memoLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(f->memoLog->horizontalScrollBar()->value(), 0);
        // The newest line is in view, from its start.
        const QTextCursor cursor = f->memoLog->textCursor();
        QVERIFY(cursor.block().text().startsWith(QStringLiteral("2026-12-10 08:")));
        QCOMPARE(cursor.positionInBlock(), 0);
        QCOMPARE(cursor.block().next().isValid(), false);
        QVERIFY(f->memoLog->viewport()->rect().contains(f->memoLog->cursorRect()));
        QVERIFY(f->memoLog->verticalScrollBar()->value() > 0);
    }

    // Put into the view slice by slice (read aside, a few characters a turn), a refresh
    // ends with the same text as one done at once, into an empty view and after a line
    // the view holds.
    void slicedFillShowsTheSameText_data()
    {
        QTest::addColumn<qint64>("hole"); // a sparse start of the file, 0: none
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("shown"); // the view after the first line (with a hole) or whole
        QTest::newRow("short log")
            << qint64(0) << QByteArray("started\r\nmailbox polled\rerror: no route\n")
            << QStringLiteral("started\nmailbox polled\nerror: no route");
        QByteArray words;
        while (words.size() < 40000)
            words += "word" + QByteArray::number(words.size() % 97) + ' ';
        QTest::newRow("long line") << qint64(0) << "08:00 before\r\n" + words + "\r\n08:01 after" << QString();
        QTest::newRow("lone CR line ends")
            << qint64(0) << QByteArray("\r08:00 one\r\r08:01 two\r") << QStringLiteral("\n08:00 one\n\n08:01 two");
        QTest::newRow("over 64 MB, its tail")
            << (qint64(100) << 30) << QByteArray("\r09:59 after the hole\r10:00 first\r10:01 last\r")
            << QStringLiteral("09:59 after the hole\n10:00 first\n10:01 last");
    }
    void slicedFillShowsTheSameText()
    {
        QFETCH(qint64, hole);
        QFETCH(QByteArray, tail);
        QFETCH(QString, shown);
        TMainForm *f = openWithLog({});
        QVERIFY(f);
        QFile file(m_fx.path(QStringLiteral("log.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (hole > 0 && !file.resize(hole))
            QSKIP("the file system holds no sparse file of this size");
        QVERIFY(file.seek(hole));
        QCOMPARE(file.write(tail), tail.size());
        file.close();

        // At once: the log is small enough, or read on the window's thread.
        f->logFill->limits.readAsideBytes = std::numeric_limits<qint64>::max();
        f->logFill->limits.sliceChars = std::numeric_limits<int>::max();
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QVERIFY(!f->isLogRefreshing());
        const QString whole = f->memoLog->toPlainText();
        const QStringList lines = whole.split(QLatin1Char('\n'));
        if (hole > 0) {
            QVERIFY2(lines.first().startsWith(QStringLiteral("[The first ")), qPrintable(lines.first()));
            QCOMPARE(lines.mid(1).join(QLatin1Char('\n')), shown);
        } else if (!shown.isNull()) {
            QCOMPARE(whole, shown);
        } else {
            QVERIFY(f->memoLog->blockCount() > 10); // the long line in pieces
            QCOMPARE(lines.last(), QStringLiteral("08:01 after"));
        }

        // In slices of 61 characters, one a turn, into the emptied view and after a line.
        fillInSmallSlices(f, 61);
        QVERIFY(GuiTestUtil::trigger(f, "actnClearLog"));
        QVERIFY(refresh(f));
        QCOMPARE(f->memoLog->toPlainText(), whole);
        QCOMPARE(f->memoLog->textCursor().block(), f->memoLog->document()->lastBlock());
        f->memoLog->setPlainText(QStringLiteral("kept"));
        QVERIFY(refresh(f));
        QCOMPARE(f->memoLog->toPlainText(), QStringLiteral("kept\n") + whole);
        QCOMPARE(m_fx.prompts.shown, QStringList());
        QCOMPARE(m_cursor.events.count(QStringLiteral("show")), 3);
        QCOMPARE(m_cursor.events.count(QStringLiteral("restore")), 3);
    }

    // A refresh started while another still reads or fills: the first gives way, its text
    // leaves the view, and the view ends with the second's text after what it held before
    // (never a part of the first's). Clear during a fill leaves the view empty.
    void secondRefreshDuringAFill_data()
    {
        QTest::addColumn<bool>("whileReading"); // else once the first fill has begun
        QTest::addColumn<bool>("clear");        // Clear instead of the second refresh
        QTest::newRow("refresh while the first reads") << true << false;
        QTest::newRow("refresh while the first fills") << false << false;
        QTest::newRow("Clear while it reads") << true << true;
        QTest::newRow("Clear while it fills") << false << true;
    }
    void secondRefreshDuringAFill()
    {
        QFETCH(bool, whileReading);
        QFETCH(bool, clear);
        TMainForm *f = openWithLog(numberedLog(400, "first"));
        QVERIFY(f);
        fillInSmallSlices(f, 100);
        f->memoLog->setPlainText(QStringLiteral("kept"));
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QVERIFY(f->isLogRefreshing());
        if (!whileReading)
            QVERIFY(turnUntil([f]() { return f->memoLog->document()->toPlainText().contains(QStringLiteral(" first 3\n")); }));
        QVERIFY(f->isLogRefreshing());
        const QByteArray second = numberedLog(300, "second");
        QVERIFY(TestFiles::write(m_fx.path(QStringLiteral("log.txt")), second));
        QVERIFY(GuiTestUtil::trigger(f, clear ? "actnClearLog" : "actnRefreshLog"));
        QVERIFY(settled(f));
        QString expected;
        if (!clear)
            expected = QStringLiteral("kept\n") + QString::fromLatin1(second).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).chopped(1);
        QCOMPARE(f->memoLog->toPlainText(), expected);
        // Each hourglass shown is gone again.
        QCOMPARE(m_cursor.events.count(QStringLiteral("show")), clear ? 1 : 2);
        QCOMPARE(m_cursor.events.count(QStringLiteral("restore")), clear ? 1 : 2);
        QCOMPARE(m_cursor.events.last(), QStringLiteral("restore"));
    }

    // While a long fill runs the window goes on: a timer fires and the view paints between
    // its slices, before the whole text is in.
    void windowRunsDuringALongFill()
    {
        TMainForm *f = openWithLog(numberedLog(3000, "line"));
        QVERIFY(f);
        m_fx.select(f->nodeLogView);
        QVERIFY(settled(f));
        fillInSmallSlices(f, 200);
        QVERIFY(GuiTestUtil::trigger(f, "actnClearLog"));
        QVERIFY(settled(f));
        QCOMPARE(f->memoLog->toPlainText(), QString());
        int ticks = 0, ticksWhileFilling = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&]() {
            ++ticks;
            if (f->isLogRefreshing())
                ++ticksWhileFilling;
        });
        probe.start(0);
        struct Paints : QObject
        {
            TMainForm *form;
            int whilePartial = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint && form->isLogRefreshing() && form->memoLog->blockCount() > 1)
                    ++whilePartial;
                return false;
            }
        } paints;
        paints.form = f;
        f->memoLog->viewport()->installEventFilter(&paints);
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        QVERIFY(f->isLogRefreshing());
        QVERIFY(settled(f));
        f->memoLog->viewport()->removeEventFilter(&paints);
        QVERIFY2(ticksWhileFilling > 10, qPrintable(QString::number(ticksWhileFilling)));
        QVERIFY(paints.whilePartial > 0);
        QCOMPARE(f->memoLog->blockCount(), 3000);
        QCOMPARE(f->memoLog->textCursor().block().text(), QStringLiteral("2026-12-10 08:00:00 line 2999"));
    }

    // Closing the window while a refresh reads aside or fills: nothing is left to touch
    // what is gone, and the hourglass is restored.
    void closingDuringAFill_data()
    {
        QTest::addColumn<bool>("whileReading");
        QTest::newRow("while reading") << true;
        QTest::newRow("while filling") << false;
    }
    void closingDuringAFill()
    {
        QFETCH(bool, whileReading);
        TMainForm *f = openWithLog(numberedLog(2000, "line"));
        QVERIFY(f);
        fillInSmallSlices(f, 100);
        QVERIFY(GuiTestUtil::trigger(f, "actnRefreshLog"));
        if (!whileReading)
            QVERIFY(turnUntil([f]() { return f->memoLog->blockCount() > 10; }));
        QVERIFY(f->isLogRefreshing());
        m_fx.form.reset();
        // The read (if any) ends and its result finds nobody; the loop runs on.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
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

        // The view opens on its newest line; the find runs on from where the cursor stands.
        f->memoLog->moveCursor(QTextCursor::Start);
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

    // On the Log View page Ctrl+F opens the log's find bar wherever the focus is, the tree
    // included; on another page the key is not the log's.
    void findKeyFromTheTree()
    {
        TMainForm *f = openWithLog("one\r\nerror two\r\n");
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        m_fx.select(f->nodeLogView);
        f->tvNav->setFocus();
        QTRY_VERIFY(f->tvNav->hasFocus());
        QTest::keyClick(f->tvNav, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(f->findLog->isVisible());
        QTRY_VERIFY(f->findLog->editFind->hasFocus());
        QTest::keyClick(f->findLog->editFind, Qt::Key_Escape);
        QVERIFY(!f->findLog->isVisible());

        m_fx.select(f->nodeGeneral);
        f->tvNav->setFocus();
        QTRY_VERIFY(f->tvNav->hasFocus());
        QTest::keyClick(f->tvNav, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!f->findLog->isVisible());
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
