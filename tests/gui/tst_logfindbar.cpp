// The log's find bar on its own: searching a text view forwards and backwards, wrapping
// round, reporting a text that is not there, and closing.
#include "main/LogFindBar.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

class TestLogFindBar : public QObject
{
    Q_OBJECT

private:
    struct Setup
    {
        QWidget window;
        QPlainTextEdit *view;
        LogFindBar *bar;
        Setup()
        {
            auto *v = new QVBoxLayout(&window);
            view = new QPlainTextEdit(&window);
            view->setPlainText(QStringLiteral("alpha\nbeta Alpha\ngamma\nALPHA delta"));
            bar = new LogFindBar(view, &window);
            v->addWidget(bar);
            v->addWidget(view);
            window.show();
        }
        int row() const { return view->textCursor().blockNumber(); }
    };

private slots:
    // From the start of the view: each step and the row (line) it selects.
    void steps_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("steps"); // n next, p previous
        QTest::addColumn<QList<int>>("rows"); // -1: not found
        QTest::newRow("forwards, letter case aside, round the end") << "alpha" << "nnnn" << QList<int>{0, 1, 3, 0};
        QTest::newRow("backwards round the start") << "alpha" << "pp" << QList<int>{3, 1};
        QTest::newRow("not there") << "omega" << "np" << QList<int>{-1, -1};
        QTest::newRow("empty text finds nothing") << "" << "n" << QList<int>{-1};
    }
    void steps()
    {
        QFETCH(QString, text);
        QFETCH(QString, steps);
        QFETCH(QList<int>, rows);
        Setup s;
        QTextCursor start(s.view->document());
        s.view->setTextCursor(start);
        s.bar->open();
        s.bar->editFind->setText(text);
        for (int i = 0; i < steps.size(); ++i) {
            const bool found = steps[i] == QLatin1Char('n') ? s.bar->findNext() : s.bar->findPrevious();
            QCOMPARE(found, rows[i] >= 0);
            if (found) {
                QCOMPARE(s.row(), rows[i]);
                QCOMPARE(s.view->textCursor().selectedText().toLower(), text.toLower());
                QCOMPARE(s.bar->lablFindStatus->text(), QString());
            } else if (!text.isEmpty()) {
                QCOMPARE(s.bar->lablFindStatus->text(), QStringLiteral("Not found"));
            }
        }
    }

    // Typing searches as it goes; the buttons step; Esc closes and hands the focus back.
    void typingAndKeys()
    {
        Setup s;
        QApplication::setActiveWindow(&s.window);
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        QVERIFY(s.bar->isHidden());
        s.bar->open();
        QVERIFY(s.bar->isVisible());
        QTRY_VERIFY(s.bar->editFind->hasFocus());
        QTest::keyClicks(s.bar->editFind, QStringLiteral("gam"));
        QCOMPARE(s.row(), 2);
        QTest::keyClick(s.bar->editFind, Qt::Key_Backspace);
        QTest::keyClick(s.bar->editFind, Qt::Key_Backspace);
        QCOMPARE(s.row(), 2); // "g" still matches where the search began
        s.bar->editFind->setText(QStringLiteral("alpha"));
        QTest::mouseClick(s.bar->butnFindNext, Qt::LeftButton);
        QCOMPARE(s.row(), 3);
        QTest::mouseClick(s.bar->butnFindPrevious, Qt::LeftButton);
        QCOMPARE(s.row(), 1);
        QTest::keyClick(s.bar->editFind, Qt::Key_Escape);
        QVERIFY(s.bar->isHidden());
        QTRY_VERIFY(s.view->hasFocus());
        // Opened again, the last text stands selected, ready to be replaced.
        s.bar->open();
        QCOMPARE(s.bar->editFind->selectedText(), QStringLiteral("alpha"));
    }
};

QTEST_MAIN(TestLogFindBar)
#include "tst_logfindbar.moc"
