// The filter line above the navigation tree: what it keeps in view, the counts in the status
// bar, Enter, Ctrl+F and Esc, and that items added, deleted and renamed while it is in use
// are saved exactly as without it.
#include "main/CheckResultsDialog.h"
#include "main/FindingsMarker.h"
#include "main/LogFindBar.h"
#include "main/ReviewChangesDialog.h"
#include "main/TreeFilter.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>

namespace {

const QByteArray Config = "[SERVER]\r\nVersion=1.05\r\n"
                          "[POP1]\r\nHost=mail.example\r\nUserID=info\r\nNewsgroups=sales\r\n"
                          "[USER1]\r\nName=Ann\r\n"
                          "[USER2]\r\nName=annette\r\n"
                          "[USER3]\r\nName=Bob\r\n"
                          "[USER4]\r\nName=zoe\r\n"
                          "[GROUP1]\r\nName=sales\r\nUsers=Ann,Bob\r\n"
                          "[GROUP2]\r\nName=support\r\n"
                          "[GROUP3]\r\nName=comp.lang\r\n"
                          "[GROUP4]\r\nName=ANNOUNCE\r\n";

// The captions of the children of `root` in view, in tree order.
QStringList shown(QTreeWidgetItem *root)
{
    QStringList out;
    for (int i = 0; i < root->childCount(); ++i)
        if (!root->child(i)->isHidden())
            out << root->child(i)->text(0);
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestTreeFilter : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

    void type(const QString &text)
    {
        m_fx.form->editTreeFilter->clear();
        QTest::keyClicks(m_fx.form->editTreeFilter, text);
    }

private slots:
    void keepsMatchingItems_data();
    void keepsMatchingItems();
    void emptyBranchInTheSummary_data();
    void emptyBranchInTheSummary();
    void clearingRestoresTreeAndSelection();
    void enterSelectsFirstMatch();
    void ctrlFAndEsc();
    void ctrlFOnLogViewOpensItsFindBar();
    void itemCommandsWhileFiltered_data();
    void itemCommandsWhileFiltered();
    void chosenItemScrollsIntoView_data();
    void chosenItemScrollsIntoView();
};

void TestTreeFilter::keepsMatchingItems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("accounts");
    QTest::addColumn<QStringList>("users");
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<QString>("summary");
    QTest::newRow("letter case aside") << "ann" << QStringList() << QStringList{"Ann", "annette"}
                                       << QStringList{"ANNOUNCE"} << "0 of 1 account, 2 of 4 users, 1 of 4 groups";
    QTest::newRow("upper case text") << "ANN" << QStringList() << QStringList{"Ann", "annette"}
                                     << QStringList{"ANNOUNCE"} << "0 of 1 account, 2 of 4 users, 1 of 4 groups";
    QTest::newRow("inside the caption") << "s" << QStringList() << QStringList()
                                        << QStringList{"sales", "support"}
                                        << "0 of 1 account, 0 of 4 users, 2 of 4 groups";
    QTest::newRow("account caption with its slash")
        << "o/mail" << QStringList{"info/mail.example"} << QStringList() << QStringList()
        << "1 of 1 account, 0 of 4 users, 0 of 4 groups";
    QTest::newRow("nothing matches") << "xyz" << QStringList() << QStringList() << QStringList()
                                     << "0 of 1 account, 0 of 4 users, 0 of 4 groups";
    QTest::newRow("empty text shows all")
        << "" << QStringList{"info/mail.example"} << QStringList{"Ann", "annette", "Bob", "zoe"}
        << QStringList{"sales", "support", "comp.lang", "ANNOUNCE"} << "";
}

void TestTreeFilter::keepsMatchingItems()
{
    QFETCH(QString, text);
    QFETCH(QStringList, accounts);
    QFETCH(QStringList, users);
    QFETCH(QStringList, groups);
    QFETCH(QString, summary);
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    QCOMPARE(f->editTreeFilter->placeholderText(), QStringLiteral("Filter"));
    QVERIFY(f->editTreeFilter->isClearButtonEnabled());
    // Typed one key at a time: the filter narrows and widens as the text grows.
    type(QStringLiteral("zz"));
    type(text);
    QCOMPARE(shown(f->nodeIncoming), accounts);
    QCOMPARE(shown(f->nodeUsers), users);
    QCOMPARE(shown(f->nodeGroups), groups);
    // Roots and pages stay, and so do the Log's pages.
    for (int i = 0; i < f->tvNav->topLevelItemCount(); ++i)
        QVERIFY(!f->tvNav->topLevelItem(i)->isHidden());
    QVERIFY(!f->nodeLogSettings->isHidden());
    QVERIFY(!f->nodeLogView->isHidden());
    // Branches with matches stand open, the others closed.
    if (!text.isEmpty()) {
        QCOMPARE(f->nodeUsers->isExpanded(), !users.isEmpty());
        QCOMPARE(f->nodeGroups->isExpanded(), !groups.isEmpty());
    }
    QCOMPARE(f->lablTreeFilter->text(), summary);
    QCOMPARE(f->lablTreeFilter->isVisibleTo(f), !summary.isEmpty());
    QVERIFY(!f->isChanged());
}

void TestTreeFilter::emptyBranchInTheSummary_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("summary");
    // Users and groups are counted even when there are none; accounts only where there are any.
    QTest::newRow("no users") << QByteArray("[SERVER]\r\nVersion=1.05\r\n[GROUP1]\r\nName=sales\r\n")
                              << "0 of 0 users, 1 of 1 group";
    QTest::newRow("no groups, one account")
        << QByteArray("[SERVER]\r\nVersion=1.05\r\n[POP1]\r\nHost=sales.example\r\nUserID=a\r\n[USER1]\r\nName=sam\r\n")
        << "1 of 1 account, 1 of 1 user, 0 of 0 groups";
}

void TestTreeFilter::emptyBranchInTheSummary()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, summary);
    TMainForm *f = m_fx.open(file);
    QVERIFY(f);
    type(QStringLiteral("sa"));
    QCOMPARE(f->lablTreeFilter->text(), summary);
}

void TestTreeFilter::clearingRestoresTreeAndSelection()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    NavNode *bob = EditorFixture::child(f->nodeUsers, QStringLiteral("Bob"));
    m_fx.click(f->nodeUsers);
    m_fx.click(bob);
    QCOMPARE(f->tvNav->currentItem(), bob);
    type(QStringLiteral("ann"));
    QVERIFY(bob->isHidden());
    QVERIFY(f->nodeGroups->isExpanded());
    // Clicking a match while filtered keeps the other branches open.
    m_fx.click(EditorFixture::child(f->nodeGroups, QStringLiteral("ANNOUNCE")));
    QVERIFY(f->nodeUsers->isExpanded());
    m_fx.click(EditorFixture::child(f->nodeUsers, QStringLiteral("annette")));
    QCOMPARE(f->editUserName->text(), QStringLiteral("annette"));

    // The clear button empties the line: every node is back, only the selected branch open.
    f->editTreeFilter->clear();
    QCOMPARE(shown(f->nodeUsers), (QStringList{"Ann", "annette", "Bob", "zoe"}));
    QCOMPARE(shown(f->nodeGroups).size(), 4);
    QCOMPARE(f->tvNav->currentItem(), EditorFixture::child(f->nodeUsers, QStringLiteral("annette")));
    QVERIFY(f->nodeUsers->isExpanded());
    QVERIFY(!f->nodeGroups->isExpanded());
    QVERIFY(!f->nodeIncoming->isExpanded());
    QCOMPARE(f->pctrlMain->currentWidget(), f->tabsUserItem);
    QVERIFY(!f->lablTreeFilter->isVisibleTo(f));
    QVERIFY(!f->isChanged());
}

void TestTreeFilter::enterSelectsFirstMatch()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    QVERIFY(m_fx.activate());
    f->editTreeFilter->setFocus();
    QTest::keyClicks(f->editTreeFilter, QStringLiteral("S"));
    QTest::keyClick(f->editTreeFilter, Qt::Key_Return);
    // Tree order: the first group in view.
    QCOMPARE(f->tvNav->currentItem(), EditorFixture::child(f->nodeGroups, QStringLiteral("sales")));
    QCOMPARE(f->pctrlMain->currentWidget(), f->tabsGroupItem);
    QCOMPARE(f->editGroupName->text(), QStringLiteral("sales"));
    QTRY_VERIFY(f->tvNav->hasFocus());

    // Nothing in view: Enter changes nothing.
    f->editTreeFilter->setFocus();
    QTest::keyClicks(f->editTreeFilter, QStringLiteral("qqq"));
    QTest::keyClick(f->editTreeFilter, Qt::Key_Enter);
    QCOMPARE(f->tvNav->currentItem(), EditorFixture::child(f->nodeGroups, QStringLiteral("sales")));
    QVERIFY(!f->isChanged());
}

void TestTreeFilter::ctrlFAndEsc()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    QVERIFY(m_fx.activate());
    m_fx.click(f->nodeUsers);
    m_fx.click(EditorFixture::child(f->nodeUsers, QStringLiteral("zoe")));
    f->editUserDesc->setFocus();
    QTRY_VERIFY(f->editUserDesc->hasFocus());
    QTest::keyClick(f, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(f->editTreeFilter->hasFocus());
    QTest::keyClicks(f->editTreeFilter, QStringLiteral("zo"));
    QCOMPARE(shown(f->nodeUsers), QStringList{"zoe"});
    // Esc: the filter goes and the focus is back where it was; nothing was typed there.
    QTest::keyClick(f->editTreeFilter, Qt::Key_Escape);
    QCOMPARE(f->editTreeFilter->text(), QString());
    QCOMPARE(shown(f->nodeUsers).size(), 4);
    QTRY_VERIFY(f->editUserDesc->hasFocus());
    QCOMPARE(f->editUserDesc->text(), QString());
    QVERIFY(!f->isChanged());

    // Ctrl+F a second time selects what the line holds, so typing replaces it.
    QTest::keyClick(f, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(f->editTreeFilter, QStringLiteral("bob"));
    QTest::keyClick(f->editUserDesc, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(f->editTreeFilter->hasFocus());
    QTest::keyClicks(f->editTreeFilter, QStringLiteral("ann"));
    QCOMPARE(f->editTreeFilter->text(), QStringLiteral("ann"));
}

void TestTreeFilter::ctrlFOnLogViewOpensItsFindBar()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    QVERIFY(m_fx.activate());
    m_fx.click(f->nodeLog);
    m_fx.click(f->nodeLogView);
    QCOMPARE(f->pctrlMain->currentWidget(), f->tabsLogView);
    QVERIFY(!f->actnTreeFilter->isEnabled());
    f->memoLog->setFocus();
    QTRY_VERIFY(f->memoLog->hasFocus());
    QTest::keyClick(f->memoLog, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(f->findLog->isVisible());
    QVERIFY(!f->editTreeFilter->hasFocus());
    // Any other page: the tree's filter again.
    m_fx.click(f->nodeLogSettings);
    QVERIFY(f->actnTreeFilter->isEnabled());
}

void TestTreeFilter::itemCommandsWhileFiltered_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("usersAfterAdd");
    QTest::newRow("without a filter") << "" << "";
    QTest::newRow("filtered") << "ann" << "3 of 5 users";
    QTest::newRow("nothing in view") << "qqq" << "1 of 5 users";
}

// Add, Delete and a rename give the same saved file with the tree filtered as without.
void TestTreeFilter::itemCommandsWhileFiltered()
{
    QFETCH(QString, filter);
    QFETCH(QString, usersAfterAdd);
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    type(filter);

    // Add: the new node is in view and selected, whatever the filter.
    m_fx.select(f->nodeUsers);
    QVERIFY(GuiTestUtil::trigger(f, "actnAdd"));
    NavNode *added = EditorFixture::child(f->nodeUsers, QStringLiteral("New"));
    QVERIFY(added);
    QVERIFY(!added->isHidden());
    QCOMPARE(f->tvNav->currentItem(), added);
    QTest::keyClicks(f->editUserName, QStringLiteral("xavier"));
    QCOMPARE(added->text(0), QStringLiteral("xavier"));
    QVERIFY(!added->isHidden()); // renamed out of the filter's reach, it stays
    QTRY_VERIFY(f->lablTreeFilter->text().contains(usersAfterAdd));

    // Delete Ann: the node below takes the selection and is shown.
    m_fx.select(EditorFixture::child(f->nodeUsers, QStringLiteral("Ann")));
    m_fx.prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
    NavNode *next = EditorFixture::child(f->nodeUsers, QStringLiteral("annette"));
    QCOMPARE(f->tvNav->currentItem(), next);
    QVERIFY(!next->isHidden());
    if (filter == QLatin1String("ann"))
        QTRY_COMPARE(f->lablTreeFilter->text(), QStringLiteral("0 of 1 account, 2 of 4 users, 1 of 4 groups"));

    // Rename a group.
    m_fx.select(EditorFixture::child(f->nodeGroups, QStringLiteral("support")));
    f->editGroupName->setText(QStringLiteral("help"));

    QVERIFY(f->actnSaveExecute());
    const QByteArray saved = fileBytes(m_fx.path(QStringLiteral("quilmora.ini")));
    QVERIFY(saved.contains("[USER1]\r\nName=annette\r\n"));
    QVERIFY(saved.contains("Name=xavier"));
    QVERIFY(saved.contains("[GROUP2]\r\nName=help\r\n"));
    QVERIFY(!saved.contains("Name=Ann\r\n"));
    // Every row leaves the same file.
    static QByteArray first;
    if (filter.isEmpty())
        first = saved;
    else
        QCOMPARE(saved, first);
}

void TestTreeFilter::chosenItemScrollsIntoView_data()
{
    QTest::addColumn<bool>("review"); // else a finding of Check Configuration
    QTest::addColumn<QString>("text");
    // The filter hides the item, or keeps it far below the top.
    QTest::newRow("finding, item hidden") << false << "a";
    QTest::newRow("finding, item in view far down") << false << "e";
    QTest::newRow("change, item hidden") << true << "a";
    QTest::newRow("change, item in view far down") << true << "e";
}

// With the filter in use, a double-click on a finding or on a change selects its item, shows
// it and scrolls it into sight.
void TestTreeFilter::chosenItemScrollsIntoView()
{
    QFETCH(bool, review);
    QFETCH(QString, text);
    // 300 users with a password before "zed", the last, which has none (a warning).
    QByteArray file = "[SERVER]\r\nVersion=1.05\r\nAdminUser=admin\r\nAdminPass=00112233445566778899AABBCCDDEEFF\r\n";
    for (int i = 0; i < 300; ++i)
        file += "[USER" + QByteArray::number(i + 1) + "]\r\nName=a" + QByteArray::number(1000 + i)
                + "e\r\nPass=00112233445566778899AABBCCDDEEFF\r\n";
    file += "[USER301]\r\nName=zed\r\nDescription=Zed\r\n";
    TMainForm *f = m_fx.open(file);
    QVERIFY(f);
    QVERIFY(m_fx.activate());
    NavNode *zed = EditorFixture::child(f->nodeUsers, QStringLiteral("zed"));
    QVERIFY(zed);
    if (review) {
        m_fx.select(zed);
        f->editUserDesc->setFocus();
        QTest::keyClick(f->editUserDesc, Qt::Key_End);
        QTest::keyClicks(f->editUserDesc, QStringLiteral("!"));
    }
    m_fx.select(f->nodeGeneral);
    type(text);
    f->tvNav->scrollToTop();
    QCOMPARE(zed->isHidden(), text == QLatin1String("a"));

    if (review) {
        GuiTestUtil::onNextModal([](QWidget *w) {
            auto *dialog = qobject_cast<ReviewChangesDialog *>(w);
            if (!dialog)
                return;
            const QRect rect = dialog->lstChanges->visualItemRect(dialog->lstChanges->item(0));
            QTest::mouseClick(dialog->lstChanges->viewport(), Qt::LeftButton, {}, rect.center());
            QTest::mouseDClick(dialog->lstChanges->viewport(), Qt::LeftButton, {}, rect.center());
            dialog->reject();
        });
        QVERIFY(GuiTestUtil::trigger(f, "actnReview"));
    } else {
        QTRY_VERIFY(f->findingsMarker()->hasResult());
        QVERIFY(GuiTestUtil::trigger(f, "actnCheck"));
        auto *dialog = f->findChild<CheckResultsDialog *>();
        QVERIFY(dialog);
        QListWidget *list = dialog->lstFindings;
        QListWidgetItem *row = nullptr;
        for (int i = 0; i < list->count() && !row; ++i)
            if (list->item(i)->text().contains(QStringLiteral("zed")))
                row = list->item(i);
        QVERIFY(row);
        list->scrollToItem(row);
        const QRect rect = list->visualItemRect(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    QCOMPARE(f->tvNav->currentItem(), zed);
    QVERIFY(!zed->isHidden());
    QVERIFY(f->nodeUsers->isExpanded());
    QTRY_VERIFY(f->tvNav->visualItemRect(zed).intersects(f->tvNav->viewport()->rect()));
    QVERIFY(f->tvNav->visualItemRect(zed).isValid());
}

QTEST_MAIN(TestTreeFilter)
#include "tst_treefilter.moc"
