// The background check's copy and marking in slices, with the event loop turning between
// them: the same marks, counts and tooltips as when all is done at once, edits and further
// checks that come in the middle, and a window that answers while a large tree is marked.
#include "main/FindingsMarker.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// Findings of both levels under every root: an account naming no group (error), one with
// no groups (warning), a user without a password (warning), a group admitting no such
// user (error), two groups of one name (warning). Every group admits ann, so renaming her
// marks each of them, adds a line to the marked group's tooltip and raises nothing else.
QByteArray config()
{
    QByteArray file = "[SERVER]\r\nVersion=1.05\r\nPort=119\r\nConfigPort=35000\r\n"
                      "AdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n"
                      "[POP1]\r\nHost=a.example\r\nUserID=a\r\nNewsgroups=g1\r\nDefaultGroup=g1\r\n"
                      "[POP2]\r\nHost=b.example\r\nUserID=b\r\nNewsgroups=gone\r\n"
                      "[POP3]\r\nHost=c.example\r\nUserID=c\r\n"
                      "[USER1]\r\nName=ann\r\nPass=00112233445566778899AABBCCDDEEFF\r\n"
                      "[USER2]\r\nName=bob\r\nPass=00112233445566778899AABBCCDDEEFF\r\n"
                      "[USER3]\r\nName=carol\r\n";
    for (int i = 1; i <= 12; ++i)
        file += "[GROUP" + QByteArray::number(i) + "]\r\nName=g" + QByteArray::number(i) + "\r\nUsers=ann,bob\r\n";
    file += "[GROUP13]\r\nName=bad\r\nUsers=ann,nobody\r\n"
            "[GROUP14]\r\nName=twice\r\nUsers=ann\r\n[GROUP15]\r\nName=TWICE\r\nUsers=ann\r\n";
    return file;
}

// Every node's mark, tooltip and count, and the status bar's summary: what a user sees.
QStringList marksOf(TMainForm *f)
{
    QStringList out;
    std::function<void(QTreeWidgetItem *)> walk = [&](QTreeWidgetItem *node) {
        out << QStringLiteral("%1|%2|%3|%4")
                   .arg(node->text(0))
                   .arg(node->data(0, FindingsMarker::LevelRole).toInt())
                   .arg(node->data(0, FindingsMarker::CountRole).toInt())
                   .arg(node->toolTip(0));
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    for (int i = 0; i < f->tvNav->topLevelItemCount(); ++i)
        walk(f->tvNav->topLevelItem(i));
    out << f->butnFindings->text();
    return out;
}

// Every root's row (branches closed, the roots are the rows shown) fits in the column.
bool columnHoldsRoots(TMainForm *f)
{
    NavTree *tree = f->tvNav;
    const int indent = tree->rootIsDecorated() ? tree->indentation() : 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const int width = tree->sizeHintForIndex(tree->model()->index(i, 0)).width() + indent;
        if (tree->header()->sectionSize(0) < width) {
            qWarning("row %d: %d wide, the column %d", i, width, tree->header()->sectionSize(0));
            return false;
        }
    }
    return true;
}

int level(const QTreeWidgetItem *node)
{
    return node->data(0, FindingsMarker::LevelRole).toInt();
}

int count(const QTreeWidgetItem *node)
{
    return node->data(0, FindingsMarker::CountRole).toInt();
}

// Turns the event loop one pass at a time (so a slice at a time) until `done`.
template <typename Pred>
bool turnUntil(Pred done, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

class TestFindingSlices : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

    // Opens `file` with slices of at most `limit` items (0: as many as the time allows)
    // and waits for the first check's marks.
    TMainForm *open(const QByteArray &file, int limit)
    {
        TMainForm *f = m_fx.open(file);
        if (!f)
            return nullptr;
        f->findingsMarker()->setSliceLimit(limit);
        if (!QTest::qWaitFor([f]() { return f->findingsMarker()->hasResult() && !f->findingsMarker()->isRunning(); }))
            return nullptr;
        return f;
    }

    // Types `keys` at the end of ann's name (a Backspace takes one away) and waits for the
    // marks of the check the edit sets off.
    bool renameAnn(TMainForm *f, const QString &keys)
    {
        FindingsMarker *marker = f->findingsMarker();
        QSignalSpy marked(marker, &FindingsMarker::marked);
        NavNode *ann = static_cast<NavNode *>(f->nodeUsers->child(0));
        m_fx.select(ann);
        QTest::keyClick(f->editUserName, Qt::Key_End);
        for (QChar c : keys) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(f->editUserName, Qt::Key_Backspace);
            else
                QTest::keyClicks(f->editUserName, QString(c));
        }
        return QTest::qWaitFor([&]() { return marked.count() > 0 && !marker->isRunning(); });
    }

    // The marks after the load, after renaming ann and after renaming her back.
    QList<QStringList> sequence(int limit, FindingsMarker::Timings *renamed = nullptr)
    {
        QList<QStringList> out;
        TMainForm *f = open(config(), limit);
        if (!f)
            return out;
        out << marksOf(f);
        if (!renameAnn(f, QStringLiteral("e")))
            return out;
        if (renamed)
            *renamed = f->findingsMarker()->lastTimings();
        out << marksOf(f);
        if (!renameAnn(f, QStringLiteral("\b")))
            return out;
        out << marksOf(f);
        return out;
    }

private slots:
    void slicedMarksMatchOneShot_data();
    void slicedMarksMatchOneShot();
    void editDuringCopyAbandonsIt();
    void editDuringMarkingFinishesConsistently();
    void checkAskedForDuringMarkingFollowsIt();
    void windowAnswersWhileLargeTreeIsMarked();
    void columnFitsRootsCount_data();
    void columnFitsRootsCount();
};

void TestFindingSlices::slicedMarksMatchOneShot_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("one item a slice") << 1;
    QTest::newRow("two items a slice") << 2;
    QTest::newRow("seven items a slice") << 7;
}

// Marks that appear, change (a second line in a tooltip) and go, with the copy and the
// marking cut into slices: the tree ends exactly as when each is done in one go.
void TestFindingSlices::slicedMarksMatchOneShot()
{
    QFETCH(int, limit);
    const QList<QStringList> oneShot = sequence(0);
    QCOMPARE(oneShot.size(), 3);
    // The fixture shows what it should: findings on every root, and the rename's marks.
    QVERIFY(oneShot[0].contains(QStringLiteral("Groups|2|2|Findings in 2 groups: 1 error, 1 warning")));
    QVERIFY(oneShot[1].contains(QStringLiteral("Groups|2|15|Findings in 15 groups: 16 errors, 1 warning")));
    QCOMPARE(oneShot[2], oneShot[0]);

    FindingsMarker::Timings renamed;
    const QList<QStringList> sliced = sequence(limit, &renamed);
    QCOMPARE(sliced.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(sliced[i], oneShot[i]);
    // It was cut: 21 items copied and 14 marks changed.
    QVERIFY(renamed.copySlices >= 21 / limit);
    QVERIFY(renamed.markSlices >= 14 / limit);
}

// An edit while the items are being copied: what was copied is out of date, no result of
// it ever shows, and the edit's own marks are the first to come.
void TestFindingSlices::editDuringCopyAbandonsIt()
{
    TMainForm *f = open(config(), 1);
    QVERIFY(f);
    FindingsMarker *marker = f->findingsMarker();
    const QStringList before = marksOf(f);
    QSignalSpy marked(marker, &FindingsMarker::marked);
    m_fx.select(f->nodeUsers->child(0));
    marker->runNow();
    QCOMPARE(marker->stage(), FindingsMarker::Stage::Copying);
    QTest::keyClick(f->editUserName, Qt::Key_End);
    QTest::keyClicks(f->editUserName, QStringLiteral("e"));
    QVERIFY(marked.wait(10000));
    QCOMPARE(marked.count(), 1);
    QCOMPARE(count(f->nodeGroups), 15);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("17 errors, 3 warnings"));
    QVERIFY(marksOf(f) != before);
}

// An edit while the marks are being set, that deletes a group still to be marked: the
// marking goes on to the end of its result, the deleted group gets no mark, and the
// edit's own check follows; Undo brings the group back with its own mark only.
void TestFindingSlices::editDuringMarkingFinishesConsistently()
{
    TMainForm *f = open(config(), 1);
    QVERIFY(f);
    FindingsMarker *marker = f->findingsMarker();
    QSignalSpy marked(marker, &FindingsMarker::marked);
    NavNode *ann = static_cast<NavNode *>(f->nodeUsers->child(0));
    m_fx.select(ann);
    QTest::keyClick(f->editUserName, Qt::Key_End);
    QTest::keyClicks(f->editUserName, QStringLiteral("e"));
    QVERIFY(turnUntil([&]() { return marker->stage() == FindingsMarker::Stage::Marking; }));
    // A group still without its mark, and that no account files into.
    NavNode *victim = nullptr;
    for (int i = 0; i < f->nodeGroups->childCount() && !victim; ++i) {
        auto *g = static_cast<NavNode *>(f->nodeGroups->child(i));
        if (level(g) == 0 && g->text(0).startsWith(QLatin1Char('g')) && g->text(0) != QLatin1String("g1"))
            victim = g;
    }
    QVERIFY(victim);
    const QString victimName = victim->text(0);
    m_fx.select(victim);
    m_fx.prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
    QCOMPARE(f->nodeGroups->childCount(), 14);
    QCOMPARE(marked.count(), 0);

    // The first marks are those of the check before the delete, all of them.
    QVERIFY(marked.wait(10000));
    QCOMPARE(marked.count(), 1);
    for (int i = 0; i < f->nodeGroups->childCount(); ++i)
        QCOMPARE(level(f->nodeGroups->child(i)), 2);
    QCOMPARE(level(victim), 0);
    QCOMPARE(victim->toolTip(0), QString());
    QCOMPARE(f->butnFindings->text(), QStringLiteral("17 errors, 3 warnings"));

    // Then the delete's own.
    QTRY_COMPARE(marked.count(), 2);
    QTRY_VERIFY(!marker->isRunning());
    QCOMPARE(count(f->nodeGroups), 14);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("16 errors, 3 warnings"));

    QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
    QCOMPARE(EditorFixture::child(f->nodeGroups, victimName), victim);
    QTRY_COMPARE(marked.count(), 3);
    QTRY_VERIFY(!marker->isRunning());
    QCOMPARE(level(victim), 2);
    QCOMPARE(victim->toolTip(0).count(QLatin1Char('\n')), 0); // its one finding, once
    QCOMPARE(count(f->nodeGroups), 15);
}

// A check asked for while the marks of the last one are being set runs after them: the
// tree first shows all of the one result, then the next.
void TestFindingSlices::checkAskedForDuringMarkingFollowsIt()
{
    TMainForm *f = open(config(), 1);
    QVERIFY(f);
    FindingsMarker *marker = f->findingsMarker();
    NavNode *bob = static_cast<NavNode *>(f->nodeUsers->child(1));
    bob->user()->Name = "robert"; // as an edit stores it
    marker->runNow();
    QVERIFY(turnUntil([&]() { return marker->stage() == FindingsMarker::Stage::Marking; }));
    bob->user()->Name = "bob";
    marker->runNow();
    QSignalSpy marked(marker, &FindingsMarker::marked);
    QVERIFY(marked.wait(10000));
    // All of the rename's marks, and a new run under way.
    QCOMPARE(count(f->nodeGroups), 14);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("14 errors, 3 warnings"));
    QVERIFY(marker->isRunning());
    QVERIFY(marked.wait(10000));
    QCOMPARE(count(f->nodeGroups), 2);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("2 errors, 3 warnings"));
}

// A large tree, cut into slices by time alone: a timer of the window's thread fires while
// the marks are being set, and every account ends up marked.
void TestFindingSlices::windowAnswersWhileLargeTreeIsMarked()
{
    const int accounts = 20000;
    QByteArray file = "[SERVER]\r\nVersion=1.05\r\nAdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n";
    for (int i = 1; i <= accounts; ++i)
        file += "[POP" + QByteArray::number(i) + "]\r\nHost=h.example\r\nUserID=u" + QByteArray::number(i) + "\r\n";
    TMainForm *f = m_fx.open(file);
    QVERIFY(f);
    FindingsMarker *marker = f->findingsMarker();
    int ticksWhileMarking = 0;
    QTimer tick;
    tick.setInterval(0);
    connect(&tick, &QTimer::timeout, this, [&]() {
        if (marker->stage() == FindingsMarker::Stage::Marking)
            ++ticksWhileMarking;
    });
    tick.start();
    QTRY_VERIFY_WITH_TIMEOUT(marker->hasResult() && !marker->isRunning(), 30000);
    tick.stop();
    QVERIFY(marker->lastTimings().markSlices > 1);
    QVERIFY(ticksWhileMarking > 0);
    QCOMPARE(count(f->nodeIncoming), accounts);
    for (int i = 0; i < accounts; ++i)
        QCOMPARE(level(f->nodeIncoming->child(i)), 1);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("0 errors, %1 warnings").arg(accounts));
}

void TestFindingSlices::columnFitsRootsCount_data()
{
    QTest::addColumn<int>("treeWidth");
    QTest::addColumn<bool>("laidOut");
    QTest::newRow("a narrow tree: the count widens the column") << 40 << true;
    QTest::newRow("a wide tree: the column has room for it") << 600 << false;
}

// A root's count that appears: the column still holds every row shown, and the rows are
// laid out again only where the column must change.
void TestFindingSlices::columnFitsRootsCount()
{
    QFETCH(int, treeWidth);
    QFETCH(bool, laidOut);
    TMainForm *f = open("[SERVER]\r\nVersion=1.05\r\nAdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n"
                        "[POP1]\r\nHost=a.example\r\nUserID=a\r\nNewsgroups=g1\r\nDefaultGroup=g1\r\n"
                        "[GROUP1]\r\nName=g1\r\n",
                        0);
    QVERIFY(f);
    f->tvNav->collapseAll();
    f->tvNav->setFixedWidth(treeWidth);
    QTRY_COMPARE(f->tvNav->width(), treeWidth);
    QVERIFY(columnHoldsRoots(f));
    QCOMPARE(count(f->nodeIncoming), 0);
    FindingsMarker *marker = f->findingsMarker();
    QSignalSpy marked(marker, &FindingsMarker::marked);
    static_cast<NavNode *>(f->nodeIncoming->child(0))->pop()->DefaultGroup = "nowhere"; // as an edit stores it
    marker->schedule();
    QVERIFY(marked.wait(10000));
    QCOMPARE(count(f->nodeIncoming), 1);
    QVERIFY(columnHoldsRoots(f));
    QCOMPARE(marker->lastTimings().layoutMs > 0, laidOut);
}

QTEST_MAIN(TestFindingSlices)
#include "tst_findingslices.moc"
