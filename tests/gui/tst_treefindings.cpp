// The consistency check's findings on the tree: marks and tooltips that come and go with
// the edits that cause them, the roots' counts, the status bar's summary that opens the
// Check Configuration window, and none of it an edit.
#include "main/CheckResultsDialog.h"
#include "main/FindingsMarker.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QListWidget>
#include <QSignalSpy>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

const QByteArray Config = "[SERVER]\r\nVersion=1.05\r\nPort=119\r\nConfigPort=35000\r\n"
                          "AdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n"
                          "[POP1]\r\nHost=mail.example\r\nUserID=info\r\nNewsgroups=sales\r\nDefaultGroup=sales\r\n"
                          "[USER1]\r\nName=ann\r\nPass=00112233445566778899AABBCCDDEEFF\r\n"
                          "[USER2]\r\nName=bob\r\nPass=00112233445566778899AABBCCDDEEFF\r\n"
                          "[GROUP1]\r\nName=sales\r\nUsers=ann\r\n"
                          "[GROUP2]\r\nName=support\r\nUsers=ann,bob\r\n";

int level(const QTreeWidgetItem *node)
{
    return node->data(0, FindingsMarker::LevelRole).toInt();
}

int count(const QTreeWidgetItem *node)
{
    return node->data(0, FindingsMarker::CountRole).toInt();
}

QByteArray with(QByteArray file, const QByteArray &from, const QByteArray &to)
{
    return file.replace(from, to);
}

// A press of the space bar on a check list's entry, as a user checks or clears it.
void toggle(QListWidget *list, const QString &text)
{
    QListWidgetItem *entry = list->findItems(text, Qt::MatchExactly).value(0);
    QVERIFY(entry);
    list->setFocus();
    list->setCurrentItem(entry);
    QTest::keyClick(list, Qt::Key_Space);
}

} // namespace

class TestTreeFindings : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

    // Opens the configuration and waits for the first check's marks.
    TMainForm *openChecked(const QByteArray &file = Config)
    {
        TMainForm *f = m_fx.open(file);
        if (!f || !QTest::qWaitFor([f]() { return f->findingsMarker()->hasResult(); }))
            return nullptr;
        return f;
    }

private slots:
    void cleanConfigurationHasNoMarks();
    void itemFindingsFollowTheirEdit();
    void serverFindingsMarkTheirPages();
    void summaryOpensCheckWindow();
    void rootTakesItsBranchsWorstLevel_data();
    void rootTakesItsBranchsWorstLevel();
    void editWhileCheckRunsGetsItsOwnMarks();
    void undoneDeleteCarriesNoStaleMark();
};

void TestTreeFindings::cleanConfigurationHasNoMarks()
{
    TMainForm *f = openChecked();
    QVERIFY(f);
    QVERIFY(f->findingsMarker()->findings().isEmpty());
    QCOMPARE(f->butnFindings->text(), QStringLiteral("0 errors, 0 warnings"));
    QVERIFY(f->butnFindings->isVisibleTo(f));
    for (QTreeWidgetItem *root : {static_cast<QTreeWidgetItem *>(f->nodeIncoming), static_cast<QTreeWidgetItem *>(f->nodeUsers),
                                  static_cast<QTreeWidgetItem *>(f->nodeGroups)}) {
        QCOMPARE(count(root), 0);
        for (int i = 0; i < root->childCount(); ++i)
            QCOMPARE(level(root->child(i)), 0);
    }
    // Loading, checking and marking are no edits.
    QVERIFY(!f->isChanged());
}

void TestTreeFindings::itemFindingsFollowTheirEdit()
{
    TMainForm *f = openChecked();
    QVERIFY(f);
    NavNode *ann = EditorFixture::child(f->nodeUsers, QStringLiteral("ann"));
    NavNode *sales = EditorFixture::child(f->nodeGroups, QStringLiteral("sales"));
    NavNode *support = EditorFixture::child(f->nodeGroups, QStringLiteral("support"));
    NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(0));
    const QString tip = f->tvNav->toolTip();

    // Renaming a user leaves the two groups admitting it naming no user.
    m_fx.select(ann);
    QTest::keyClick(f->editUserName, Qt::Key_End);
    QTest::keyClicks(f->editUserName, QStringLiteral("e"));
    QTRY_COMPARE(level(sales), 2);
    QCOMPARE(level(support), 2);
    QCOMPARE(sales->toolTip(0), QStringLiteral("error unknown-user: Users names \"ann\", which is no user"));
    QCOMPARE(count(f->nodeGroups), 2);
    QCOMPARE(level(f->nodeGroups), 2);
    QCOMPARE(f->nodeGroups->toolTip(0), QStringLiteral("Findings in 2 groups: 2 errors, 0 warnings"));
    QCOMPARE(level(ann), 0);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("2 errors, 0 warnings"));
    QCOMPARE(f->nodeGroups->text(0), QStringLiteral("Groups")); // the caption stays

    // Clearing the account's only group: a warning on the account, listed with the others.
    m_fx.select(account);
    f->pctrlIncoming->setCurrentIndex(1);
    QListWidgetItem *entry = f->chlstGroups->findItems(QStringLiteral("sales"), Qt::MatchExactly).value(0);
    QVERIFY(entry);
    f->chlstGroups->setFocus();
    f->chlstGroups->setCurrentItem(entry);
    QTest::keyClick(f->chlstGroups, Qt::Key_Space);
    QTRY_COMPARE(level(account), 1);
    QCOMPARE(account->toolTip(0),
             QStringLiteral("warning default-not-listed: DefaultGroup \"sales\" is not one of its Newsgroups\n"
                            "warning no-groups: Newsgroups is empty: the account files into no group"));
    QCOMPARE(count(f->nodeIncoming), 1);
    QCOMPARE(level(f->nodeIncoming), 1);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("2 errors, 2 warnings"));

    // Undoing the edits by hand takes the marks away again.
    QTest::keyClick(f->chlstGroups, Qt::Key_Space);
    m_fx.select(ann);
    QTest::keyClick(f->editUserName, Qt::Key_End);
    QTest::keyClick(f->editUserName, Qt::Key_Backspace);
    QTRY_COMPARE(level(sales), 0);
    QTRY_COMPARE(level(account), 0);
    QCOMPARE(level(support), 0);
    QCOMPARE(sales->toolTip(0), QString());
    QCOMPARE(count(f->nodeGroups), 0);
    QCOMPARE(count(f->nodeIncoming), 0);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("0 errors, 0 warnings"));
    QCOMPARE(f->tvNav->toolTip(), tip);

    // Deleting the user both groups admit: the error comes with the Delete.
    m_fx.select(EditorFixture::child(f->nodeUsers, QStringLiteral("bob")));
    m_fx.prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
    QTRY_COMPARE(level(support), 2);
    QCOMPARE(level(sales), 0);
    QCOMPARE(support->toolTip(0), QStringLiteral("error unknown-user: Users names \"bob\", which is no user"));
}

void TestTreeFindings::serverFindingsMarkTheirPages()
{
    TMainForm *f = openChecked();
    QVERIFY(f);
    m_fx.select(f->nodeGeneral);
    f->sedtPort->setFocus();
    f->sedtPort->selectAll();
    QTest::keyClicks(f->sedtPort, QStringLiteral("35000"));
    // Port is on General, ConfigPort on Advanced: both show the conflict.
    QTRY_COMPARE(level(f->nodeGeneral), 2);
    QCOMPARE(level(f->nodeAdvanced), 2);
    QCOMPARE(f->nodeAdvanced->toolTip(0), QStringLiteral("error port-conflict: Port and ConfigPort are both 35000"));
    QCOMPARE(count(f->nodeGroups), 0);
    f->sedtPort->selectAll();
    QTest::keyClicks(f->sedtPort, QStringLiteral("119"));
    QTRY_COMPARE(level(f->nodeGeneral), 0);
    QCOMPARE(level(f->nodeAdvanced), 0);
}

void TestTreeFindings::summaryOpensCheckWindow()
{
    TMainForm *f = openChecked(QByteArray(Config).replace("Users=ann\r\n", "Users=ann,gone\r\n"));
    QVERIFY(f);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("1 error, 0 warnings"));
    QTest::mouseClick(f->butnFindings, Qt::LeftButton);
    auto *dialog = f->findChild<CheckResultsDialog *>();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->findings(), f->findingsMarker()->findings());
    // The window stays open while the editor goes on.
    m_fx.select(f->nodeUsers);
    QVERIFY(dialog->isVisible());
    QVERIFY(!f->isChanged());
}

void TestTreeFindings::rootTakesItsBranchsWorstLevel_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("root"); // 0 accounts, 1 users, 2 groups
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("items");
    const QByteArray base = "[SERVER]\r\nVersion=1.05\r\nAdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n"
                            "[USER1]\r\nName=ann\r\nPass=00112233445566778899AABBCCDDEEFF\r\n";
    // The later of two groups of one name has the warning; a group naming no user an error.
    QTest::newRow("groups: an error, then a warning")
        << base + "[GROUP1]\r\nName=sales\r\nUsers=gone\r\n[GROUP2]\r\nName=news\r\n[GROUP3]\r\nName=NEWS\r\n" << 2 << 2 << 2;
    QTest::newRow("groups: a warning, then an error")
        << base + "[GROUP1]\r\nName=news\r\n[GROUP2]\r\nName=NEWS\r\n[GROUP3]\r\nName=sales\r\nUsers=gone\r\n" << 2 << 2 << 2;
    QTest::newRow("accounts: a warning, then an error")
        << base + "[GROUP1]\r\nName=sales\r\n[POP1]\r\nHost=a.example\r\nUserID=a\r\n"
                  "[POP2]\r\nHost=b.example\r\nUserID=b\r\nNewsgroups=gone\r\n" << 0 << 2 << 2;
    QTest::newRow("users: warnings only")
        << base + "[USER2]\r\nName=bob\r\n[USER3]\r\nName=carol\r\n" << 1 << 1 << 2;
}

// A root shows its branch's worst finding: an error anywhere below it outweighs any warning.
void TestTreeFindings::rootTakesItsBranchsWorstLevel()
{
    QFETCH(QByteArray, file);
    QFETCH(int, root);
    QFETCH(int, expected);
    QFETCH(int, items);
    TMainForm *f = openChecked(file);
    QVERIFY(f);
    NavNode *node = QList<NavNode *>{f->nodeIncoming, f->nodeUsers, f->nodeGroups}.at(root);
    QCOMPARE(count(node), items);
    QCOMPARE(level(node), expected);
    int worst = 0;
    for (int i = 0; i < node->childCount(); ++i)
        worst = qMax(worst, level(node->child(i)));
    QCOMPARE(worst, expected);
}

// An edit made while a check runs: that check's result is out of date and is not shown; the
// edit's own marks are the first to come.
void TestTreeFindings::editWhileCheckRunsGetsItsOwnMarks()
{
    TMainForm *f = openChecked();
    QVERIFY(f);
    FindingsMarker *marker = f->findingsMarker();
    NavNode *ann = EditorFixture::child(f->nodeUsers, QStringLiteral("ann"));
    NavNode *sales = EditorFixture::child(f->nodeGroups, QStringLiteral("sales"));
    NavNode *support = EditorFixture::child(f->nodeGroups, QStringLiteral("support"));
    m_fx.select(ann);
    QSignalSpy marked(marker, &FindingsMarker::marked);
    marker->runNow();
    QVERIFY(marker->isRunning());
    // Renaming the user both groups admit, while the check of the old name runs.
    QTest::keyClick(f->editUserName, Qt::Key_End);
    QTest::keyClicks(f->editUserName, QStringLiteral("e"));
    marker->runNow(); // as the pause's timer does when the check has not ended yet
    QVERIFY(marked.wait(10000));
    QCOMPARE(level(sales), 2);
    QCOMPARE(level(support), 2);
    QCOMPARE(count(f->nodeGroups), 2);
    QCOMPARE(f->butnFindings->text(), QStringLiteral("2 errors, 0 warnings"));
}

// An item whose finding an edit cleared, deleted before the check ran and brought back by
// Undo: the check that follows finds nothing on it, and no mark of before is left on it.
void TestTreeFindings::undoneDeleteCarriesNoStaleMark()
{
    TMainForm *f = openChecked(with(Config, "Newsgroups=sales\r\nDefaultGroup=sales\r\n", ""));
    QVERIFY(f);
    auto *account = static_cast<NavNode *>(f->nodeIncoming->child(0));
    QCOMPARE(level(account), 1); // no groups
    m_fx.select(account);
    f->pctrlIncoming->setCurrentIndex(1);
    toggle(f->chlstGroups, QStringLiteral("sales"));
    QCOMPARE(account->pop()->Newsgroups, QByteArrayList{"sales"});
    QVERIFY(!f->findingsMarker()->isRunning());
    m_fx.prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
    QCOMPARE(f->nodeIncoming->childCount(), 0);
    QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
    QCOMPARE(f->nodeIncoming->child(0), account);
    QSignalSpy marked(f->findingsMarker(), &FindingsMarker::marked);
    QVERIFY(marked.wait(10000));
    QVERIFY(f->findingsMarker()->findings().isEmpty());
    QCOMPARE(level(account), 0);
    QCOMPARE(account->toolTip(0), QString());
    QCOMPARE(count(f->nodeIncoming), 0);
    QCOMPARE(level(f->nodeIncoming), 0);
}

QTEST_MAIN(TestTreeFindings)
#include "tst_treefindings.moc"
