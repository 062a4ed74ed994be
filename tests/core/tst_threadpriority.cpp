// A thread lowers its own priority and no other's: the window's thread keeps its place while
// a reading thread gives way.
#include "platform/ThreadPriority.h"

#include <QTest>
#include <thread>

class TestThreadPriority : public QObject
{
    Q_OBJECT

private slots:
    void lowersTheCallingThreadOnly_data();
    void lowersTheCallingThreadOnly();
};

void TestThreadPriority::lowersTheCallingThreadOnly_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("expectedRise");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("negative does not raise") << -5 << 0;
    QTest::newRow("some") << 7 << 7;
    // The lowest priority is nice 19.
    QTest::newRow("beyond the lowest") << 40 << -1;
}

void TestThreadPriority::lowersTheCallingThreadOnly()
{
    QFETCH(int, steps);
    QFETCH(int, expectedRise);
    const int mine = ThreadPriority::currentNice();
    int before = 0, after = 0;
    bool ok = false;
    std::thread worker([&] {
        before = ThreadPriority::currentNice();
        ok = ThreadPriority::lowerCurrent(steps);
        after = ThreadPriority::currentNice();
    });
    worker.join();
    QVERIFY(ok);
    QCOMPARE(before, mine);
    QCOMPARE(after, expectedRise < 0 ? 19 : before + expectedRise);
    // The thread that started the worker is left as it was.
    QCOMPARE(ThreadPriority::currentNice(), mine);
}

QTEST_GUILESS_MAIN(TestThreadPriority)
#include "tst_threadpriority.moc"
