// The filter line and "Show checked only" above the membership check lists: an entry
// checked or cleared while the list is filtered changes the list value exactly as without
// a filter, and the entries out of view keep their checks.
#include "main/ChecklistFilter.h"
#include "support/gui/EditorFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

namespace {

const QByteArray Config = "[SERVER]\r\nVersion=1.05\r\n"
                          "[POP1]\r\nHost=mail.example\r\nUserID=info\r\nNewsgroups=support,sales\r\n"
                          "[USER1]\r\nName=zoe\r\n"
                          "[USER2]\r\nName=Ann\r\n"
                          "[USER3]\r\nName=Bob\r\n"
                          "[USER4]\r\nName=annette\r\n"
                          "[USER5]\r\nName=carl\r\n"
                          "[GROUP1]\r\nName=sales\r\nUsers=zoe,Bob\r\n"
                          "[GROUP2]\r\nName=support\r\n"
                          "[GROUP3]\r\nName=comp.lang\r\n"
                          "[GROUP4]\r\nName=ANNOUNCE\r\nUsers=Ann\r\n";

// The entries in view, "+" after a checked one.
QStringList inView(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (!list->isRowHidden(i))
            out << list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked ? "+" : "");
    return out;
}

// A press of the space bar on the entry, as a user checks or clears it.
void toggle(QListWidget *list, const QString &text)
{
    QListWidgetItem *entry = list->findItems(text, Qt::MatchExactly).value(0);
    QVERIFY(entry);
    QVERIFY(!list->isRowHidden(list->row(entry)));
    list->setFocus();
    list->setCurrentItem(entry);
    QTest::keyClick(list, Qt::Key_Space);
}

} // namespace

class TestChecklistFilter : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

private slots:
    void groupUsersWhileFiltered_data();
    void groupUsersWhileFiltered();
    void accountGroupsWhileFiltered();
    void checkedOnlyKeepsClearedEntryUntilReapplied();
    void filterStaysFromItemToItem();
};

void TestChecklistFilter::groupUsersWhileFiltered_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("checkedOnly");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QByteArrayList>("users");
    const QByteArrayList withAnnette{"annette", "Bob", "zoe"};
    QTest::newRow("no filter") << "" << false << QStringList{"Ann", "annette", "Bob+", "carl", "zoe+"} << "annette"
                               << withAnnette;
    QTest::newRow("filtered, checked entries out of view")
        << "ANN" << false << QStringList{"Ann", "annette"} << "annette" << withAnnette;
    QTest::newRow("checked only, clearing one") << "" << true << QStringList{"Bob+", "zoe+"} << "Bob"
                                                << QByteArrayList{"zoe"};
    QTest::newRow("text and checked only") << "o" << true << QStringList{"Bob+", "zoe+"} << "zoe"
                                           << QByteArrayList{"Bob"};
    QTest::newRow("nothing else in view") << "carl" << false << QStringList{"carl"} << "carl"
                                          << QByteArrayList{"Bob", "carl", "zoe"};
}

void TestChecklistFilter::groupUsersWhileFiltered()
{
    QFETCH(QString, filter);
    QFETCH(bool, checkedOnly);
    QFETCH(QStringList, shown);
    QFETCH(QString, entry);
    QFETCH(QByteArrayList, users);
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    NavNode *sales = EditorFixture::child(f->nodeGroups, QStringLiteral("sales"));
    m_fx.select(sales);
    f->pctrlGroup->setCurrentIndex(1);
    QCOMPARE(f->filterUsers->editFilter->placeholderText(), QStringLiteral("Filter"));
    QCOMPARE(f->filterUsers->chkbCheckedOnly->text(), QStringLiteral("Show checked only"));
    QTest::keyClicks(f->filterUsers->editFilter, filter);
    if (checkedOnly)
        QTest::mouseClick(f->filterUsers->chkbCheckedOnly, Qt::LeftButton);
    QCOMPARE(inView(f->chlstUsers), shown);
    QVERIFY(!f->isChanged()); // filtering is no edit

    toggle(f->chlstUsers, entry);
    QVERIFY(f->isChanged());
    QCOMPARE(sales->group()->Users, users);
    // Entries out of view kept their checks: clearing the filter shows the same list value.
    f->filterUsers->editFilter->clear();
    if (checkedOnly)
        f->filterUsers->chkbCheckedOnly->setChecked(false);
    QStringList checked;
    for (int i = 0; i < f->chlstUsers->count(); ++i)
        if (f->chlstUsers->item(i)->checkState() == Qt::Checked)
            checked << f->chlstUsers->item(i)->text();
    QCOMPARE(checked.join(','), QString::fromLatin1(users.join(',')));
    // ... and every entry is in view again.
    QStringList all;
    for (int i = 0; i < f->chlstUsers->count(); ++i)
        all << f->chlstUsers->item(i)->text() + (f->chlstUsers->item(i)->checkState() == Qt::Checked ? "+" : "");
    QCOMPARE(all.size(), 5);
    QCOMPARE(inView(f->chlstUsers), all);
}

void TestChecklistFilter::accountGroupsWhileFiltered()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    NavNode *account = f->nodeIncoming->child(0) ? static_cast<NavNode *>(f->nodeIncoming->child(0)) : nullptr;
    QVERIFY(account);
    m_fx.select(account);
    f->pctrlIncoming->setCurrentIndex(1);
    QTest::keyClicks(f->filterGroups->editFilter, QStringLiteral("an"));
    QCOMPARE(inView(f->chlstGroups), (QStringList{"ANNOUNCE", "comp.lang"}));
    toggle(f->chlstGroups, QStringLiteral("comp.lang"));
    // Alphabetical, with the two groups out of view still in.
    QCOMPARE(account->pop()->Newsgroups, (QByteArrayList{"comp.lang", "sales", "support"}));
    // The default list is not filtered.
    QCOMPARE(f->cboxPopDefault->count(), 4);
}

void TestChecklistFilter::checkedOnlyKeepsClearedEntryUntilReapplied()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    m_fx.select(EditorFixture::child(f->nodeGroups, QStringLiteral("sales")));
    f->pctrlGroup->setCurrentIndex(1);
    f->filterUsers->chkbCheckedOnly->setChecked(true);
    toggle(f->chlstUsers, QStringLiteral("zoe"));
    // Cleared under the mouse, it stays in view so it can be checked again.
    QCOMPARE(inView(f->chlstUsers), (QStringList{"Bob+", "zoe"}));
    QTest::keyClicks(f->filterUsers->editFilter, QStringLiteral("o"));
    QCOMPARE(inView(f->chlstUsers), QStringList{"Bob+"});
}

void TestChecklistFilter::filterStaysFromItemToItem()
{
    TMainForm *f = m_fx.open(Config);
    QVERIFY(f);
    m_fx.select(EditorFixture::child(f->nodeGroups, QStringLiteral("sales")));
    f->pctrlGroup->setCurrentIndex(1);
    QTest::keyClicks(f->filterUsers->editFilter, QStringLiteral("an"));
    f->filterUsers->chkbCheckedOnly->setChecked(true);
    QCOMPARE(inView(f->chlstUsers), QStringList());
    // The next group's list, filtered by the same line.
    m_fx.select(EditorFixture::child(f->nodeGroups, QStringLiteral("ANNOUNCE")));
    QCOMPARE(inView(f->chlstUsers), QStringList{"Ann+"});
    QCOMPARE(f->chlstUsers->count(), 5);
    QVERIFY(!f->isChanged());
}

QTEST_MAIN(TestChecklistFilter)
#include "tst_checklistfilter.moc"
