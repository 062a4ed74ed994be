// File, Check Configuration...: the findings of what the window holds, and a double-click
// on one selecting its item in the tree.
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"
#include "main/CheckResultsDialog.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using GuiTestUtil::child;

namespace {

const QByteArray kFile = "[SERVER]\r\nVersion=1.05\r\nAdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n"
                         "[POP1]\r\nUserID=info\r\nHost=h\r\nNewsgroups=sales\r\n"
                         "[USER1]\r\nName=ann\r\nPass=00112233445566778899AABBCCDDEEFF\r\n"
                         "[GROUP1]\r\nName=sales\r\nUsers=ann\r\n"
                         "[GROUP2]\r\nName=support\r\nUsers=ann,gone\r\n";

void doubleClickRow(QListWidget *list, int row)
{
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

class TestCheckResults : public QObject
{
    Q_OBJECT
private slots:
    void dialogAlone();
    void menuEntryAfterSave();
    void findingsOfTheWindowSelectTheirItem();
    void placedBesideTheWindow_data();
    void placedBesideTheWindow();
};

void TestCheckResults::dialogAlone()
{
    CheckResultsDialog dialog;
    QSignalSpy activated(&dialog, &CheckResultsDialog::findingActivated);
    dialog.setFindings({});
    QCOMPARE(dialog.lstFindings->count(), 0);
    QCOMPARE(dialog.lablSummary->text(), QStringLiteral("No inconsistencies found."));
    const CheckFinding f{CheckFinding::Level::Error, QStringLiteral("unknown-user"), CheckFinding::Kind::Group, 1,
                         QStringLiteral("Users names \"gone\", which is no user"), QString()};
    const CheckFinding w{CheckFinding::Level::Warning, QStringLiteral("no-groups"), CheckFinding::Kind::Pop, 0,
                         QStringLiteral("Newsgroups is empty: the account files into no group"), QString()};
    dialog.setFindings({f, w});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.lstFindings->count(), 2);
    QCOMPARE(dialog.lstFindings->item(0)->text(),
             QStringLiteral("group:#2: Users names \"gone\", which is no user (unknown-user)"));
    QVERIFY(dialog.lablSummary->text().startsWith(QStringLiteral("1 error(s), 1 warning(s).")));
    doubleClickRow(dialog.lstFindings, 1);
    QCOMPARE(activated.size(), 1);
    QCOMPARE(activated.first().first().value<CheckFinding>(), w);
}

void TestCheckResults::menuEntryAfterSave()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath(QStringLiteral("quilmora.ini")), kFile));
    ScriptedPrompts prompts;
    MainFormContext ctx;
    ctx.prompts = &prompts;
    ctx.programFolder = dir.path();
    ctx.localAddresses = [] { return QStringList(); };
    TMainForm form(ctx);
    QCOMPARE(form.start(false), TMainForm::StartResult::Run);
    QMenu *file = child<QMenu>(&form, "menuFile");
    QVERIFY(file);
    const QList<QAction *> actions = file->actions();
    const qsizetype save = actions.indexOf(form.actnSave);
    QVERIFY(save >= 0);
    QCOMPARE(actions.value(save + 1), form.actnCheck);
    QCOMPARE(form.actnCheck->text(), QStringLiteral("Check Configuration..."));
}

void TestCheckResults::findingsOfTheWindowSelectTheirItem()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath(QStringLiteral("quilmora.ini")), kFile));
    ScriptedPrompts prompts;
    MainFormContext ctx;
    ctx.prompts = &prompts;
    ctx.programFolder = dir.path();
    ctx.localAddresses = [] { return QStringList(); };
    TMainForm form(ctx);
    QCOMPARE(form.start(false), TMainForm::StartResult::Run);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(GuiTestUtil::trigger(&form, "actnCheck"));
    auto *dialog = child<CheckResultsDialog>(&form, "CheckResultsDialog");
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    // Beside the editor's window, not over it, and the window stays usable.
    QVERIFY(!dialog->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    const QRect screen = form.screen()->availableGeometry();
    if (form.frameGeometry().width() + 320 < screen.width() || form.frameGeometry().height() + 170 < screen.height())
        QVERIFY2(!dialog->frameGeometry().intersects(form.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(dialog->x()).arg(dialog->y()).arg(dialog->width()).arg(dialog->height())));
    QCOMPARE(dialog->lstFindings->count(), 1);
    QCOMPARE(dialog->findings().first().item(), QStringLiteral("group:#2"));
    QCOMPARE(dialog->lstFindings->item(0)->text(),
             QStringLiteral("group:#2 \"support\": Users names \"gone\", which is no user (unknown-user)"));

    doubleClickRow(dialog->lstFindings, 0);
    QTRY_COMPARE(form.tvNav->currentItem(), form.nodeGroups->child(1));
    QCOMPARE(form.editGroupName->text(), QStringLiteral("support"));

    // The check sees what the window holds, saved or not: a renamed user now misses twice.
    form.tvNav->setCurrentItem(form.nodeUsers->child(0));
    form.editUserName->setText(QStringLiteral("anne"));
    QTest::mouseClick(dialog->butnCheckAgain, Qt::LeftButton);
    QStringList items;
    for (const CheckFinding &f : dialog->findings())
        items.append(f.item() + QLatin1Char(' ') + f.code);
    QCOMPARE(items, (QStringList{QStringLiteral("group:#1 unknown-user"), QStringLiteral("group:#2 unknown-user"),
                                 QStringLiteral("group:#2 unknown-user")}));
    // Checking again from the menu reuses the one window.
    QVERIFY(GuiTestUtil::trigger(&form, "actnCheck"));
    QCOMPARE(form.findChildren<CheckResultsDialog *>().size(), 1);
    doubleClickRow(dialog->lstFindings, 0);
    QTRY_COMPARE(form.tvNav->currentItem(), form.nodeGroups->child(0));
}

// The window opens beside the editor's, where the item a finding selects stays in sight.
void TestCheckResults::placedBesideTheWindow_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("room on the right, level with the window")
        << QRect(100, 100, 800, 600) << QRect(0, 0, 1920, 1080) << QRect(904, 100, 620, 320);
    QTest::newRow("room only below") << QRect(0, 0, 1024, 400) << QRect(0, 0, 1024, 768) << QRect(0, 404, 620, 320);
    QTest::newRow("shrunk to the room on the left")
        << QRect(400, 0, 880, 800) << QRect(0, 0, 1280, 800) << QRect(0, 0, 396, 320);
    QTest::newRow("on a second screen") << QRect(2000, 50, 900, 500) << QRect(1920, 0, 1600, 900)
                                        << QRect(2000, 554, 620, 320);
    QTest::newRow("no room anywhere: the corner away from the tree")
        << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << QRect(180, 280, 620, 320);
}

void TestCheckResults::placedBesideTheWindow()
{
    QFETCH(QRect, window);
    QFETCH(QRect, screen);
    QFETCH(QRect, expected);
    const QRect placed = CheckResultsDialog::placeBeside(QSize(620, 320), QSize(300, 150), window, screen);
    QCOMPARE(placed, expected);
    QVERIFY(screen.contains(placed));
}

QTEST_MAIN(TestCheckResults)
#include "tst_checkresults.moc"
