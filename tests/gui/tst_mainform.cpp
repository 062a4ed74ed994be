// The editor's main window driven through its object names: start-up, navigation, change
// tracking, the membership lists and the fields (load and save: tst_mainformsave).
#include "support/CliRunner.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"
#include "support/gui/GuiTestUtil.h"
#include "widgets/MaskedBytesEdit.h"
#include "main/NavTree.h"
#include "widgets/RadioGroup.h"
#include "main/TMainForm.h"
#include "support/gui/MainFormFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using GuiTestUtil::child;

using MainFormFixtureFiles::demoFile;
using MainFormFixtureFiles::kRealistic;

class TestMainForm : public QObject, public MainFormFixture
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void selectingNodeShowsPage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("page");
        QTest::newRow("General") << "General" << "tabsGeneral";
        QTest::newRow("Advanced") << "Advanced" << "tabsAdvanced";
        QTest::newRow("Log") << "Log" << "tabsLog";
        QTest::newRow("Log/Settings") << "Log/Settings" << "tabsLogSettings";
        QTest::newRow("Log/View") << "Log/View" << "tabsLogView";
        QTest::newRow("Incoming Accounts") << "Incoming Accounts" << "tabsIncoming";
        QTest::newRow("account") << "Incoming Accounts/support/pop.harbour.example" << "tabsIncomingItem";
        QTest::newRow("Users") << "Users" << "tabsUsers";
        QTest::newRow("user") << "Users/tom" << "tabsUserItem";
        QTest::newRow("Groups") << "Groups" << "tabsGroups";
        QTest::newRow("group") << "Groups/sales.eu" << "tabsGroupItem";
    }

    void selectingNodeShowsPage()
    {
        QFETCH(QString, path);
        QFETCH(QString, page);
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        const QString top = path.section(QLatin1Char('/'), 0, 0);
        const QString rest = path.section(QLatin1Char('/'), 1);
        QTreeWidgetItem *node = f->tvNav->findItems(top, Qt::MatchExactly).value(0);
        QVERIFY(node);
        if (!rest.isEmpty())
            node = itemNode(static_cast<NavNode *>(node), rest);
        QVERIFY(node);
        // Select with the mouse, as the user does.
        f->tvNav->scrollToItem(node);
        if (node->parent())
            node->parent()->setExpanded(true);
        const QRect r = f->tvNav->visualItemRect(node);
        QTest::mouseClick(f->tvNav->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(f->tvNav->currentItem(), node);
        QCOMPARE(f->pctrlMain->currentWidget()->objectName(), page);
        // Showing an item rewrites its page but is no edit.
        QVERIFY(!f->isChanged());
    }

    void itemPagesShowTheirItems()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        select(f->nodeIncoming->child(0));
        QCOMPARE(f->editPopHost->text(), QStringLiteral("pop.harbour.example"));
        QCOMPARE(f->sedtPopPort->value(), 110);
        QCOMPARE(f->editPopPass->bytes(), QByteArray("s4les!"));
        QCOMPARE(f->editPopPass->text(), QStringLiteral("******"));
        QVERIFY(f->chkbPopAutoReply->isChecked());
        QCOMPARE(f->memoPopAutoReplyBody->toPlainText(),
                 QStringLiteral("Thank you for your message.\nA member of the sales team will answer within one "
                                "working day.\n\nHarbour Office"));
        QCOMPARE(f->cboxPopDefault->currentText(), QStringLiteral("sales"));
        QStringList groups;
        for (int i = 0; i < f->chlstGroups->count(); ++i)
            groups << f->chlstGroups->item(i)->text() + (f->chlstGroups->item(i)->checkState() ? "+" : "");
        QCOMPARE(groups, (QStringList{"orders", "sales+", "sales.eu+", "support"}));
        QCOMPARE(f->cboxPopDefault->itemText(3), QStringLiteral("orders")); // tree order

        select(f->nodeGroups->child(2)); // support
        QStringList users;
        for (int i = 0; i < f->chlstUsers->count(); ++i)
            users << f->chlstUsers->item(i)->text() + (f->chlstUsers->item(i)->checkState() ? "+" : "");
        QCOMPARE(users, (QStringList{"front desk+", "lena", "maria", "night shift+", "tom+"}));

        // Single expand: only the selected branch stands open.
        QVERIFY(f->nodeGroups->isExpanded());
        QVERIFY(!f->nodeIncoming->isExpanded());
        select(f->nodeGeneral);
        QVERIFY(!f->nodeGroups->isExpanded());
        QVERIFY(!f->isChanged());
    }

    void rightClickSelectsBeforeMenu()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        f->nodeGroups->setExpanded(true);
        QTreeWidgetItem *group = f->nodeGroups->child(1);
        QTest::mousePress(f->tvNav->viewport(), Qt::RightButton, {}, f->tvNav->visualItemRect(group).center());
        QCOMPARE(f->tvNav->currentItem(), group);
        QCOMPARE(f->pctrlMain->currentWidget(), f->tabsGroupItem);
        QCOMPARE(f->editGroupName->text(), QStringLiteral("sales.eu"));
        f->PopupMenu1Popup();
        QVERIFY(!f->actnAdd->isVisible());
        QVERIFY(f->actnDelete->isVisible());
        QVERIFY(f->actnReset->isVisible());
    }

    void typingUserNameRenamesNode()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        NavNode *node = itemNode(f->nodeUsers, QStringLiteral("tom"));
        QVERIFY(node);
        select(node);
        f->editUserName->setFocus();
        f->editUserName->end(false);
        QTest::keyClick(f->editUserName, Qt::Key_Y);
        QVERIFY(f->isChanged());
        QCOMPARE(node->text(0), QStringLiteral("tomy"));
        QCOMPARE(node->user()->Name, QByteArray("tomy"));
        // The rest of the user is untouched.
        QCOMPARE(node->user()->Description, QByteArray("Tom Berg, support"));
        QCOMPARE(node->user()->Pass.toHex().toUpper(), QByteArray("34B7DA764B21D298EF307D04D8152DC5"));

        // An account's caption follows user ID and host.
        NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(2));
        select(account);
        retype(f->editPopUser, QStringLiteral("info"));
        QCOMPARE(account->text(0), QStringLiteral("info/mail.partner.example"));
    }

    void settingPageEditStoresNoItem()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        const QByteArray before = ConfigDocument::render(
            f->serverSettingsFromPages(), {}, {}, {});
        select(f->nodeGeneral);
        retype(f->editOutBoundPrefix, QStringLiteral("QM-"));
        QVERIFY(f->isChanged());
        QVERIFY(f->actnSaveExecute());
        QVERIFY(!f->isChanged());
        QByteArray expected = demoFile();
        expected.replace("OutboundPrefix=KD-\r\n", "OutboundPrefix=QM-\r\n");
        QCOMPARE(TestFiles::read(iniPath()), expected);
        Q_UNUSED(before);
    }

    void editWithNoNodeSelectedIsAChange()
    {
        // At start-up the General page is in view with no node selected; an edit there
        // must still be offered for saving.
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        retype(f->editName, QStringLiteral("Renamed"));
        QVERIFY(f->isChanged());
        m_prompts.answers = {Prompts::Answer::Yes};
        QVERIFY(f->close());
        QVERIFY(TestFiles::read(iniPath()).contains("Name=Renamed\r\n"));
    }

    void checkingGroupsGivesSortedNewsgroups()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(2)); // orders
        select(account);
        f->pctrlIncoming->setCurrentIndex(1);
        toggleEntry(f->chlstGroups, QStringLiteral("support"));
        toggleEntry(f->chlstGroups, QStringLiteral("sales.eu"));
        QVERIFY(f->isChanged());
        QCOMPARE(account->pop()->Newsgroups, (QByteArrayList{"orders", "sales.eu", "support"}));
        toggleEntry(f->chlstGroups, QStringLiteral("orders"));
        QCOMPARE(account->pop()->Newsgroups, (QByteArrayList{"sales.eu", "support"}));

        // A group's users likewise.
        NavNode *group = static_cast<NavNode *>(f->nodeGroups->child(1)); // sales.eu: maria
        select(group);
        f->pctrlGroup->setCurrentIndex(1);
        toggleEntry(f->chlstUsers, QStringLiteral("tom"));
        toggleEntry(f->chlstUsers, QStringLiteral("front desk"));
        QCOMPARE(group->group()->Users, (QByteArrayList{"front desk", "maria", "tom"}));

        // Choosing the default group stores it like any field.
        select(account);
        f->cboxPopDefault->setCurrentIndex(f->cboxPopDefault->findText(QStringLiteral("support")));
        QCOMPARE(account->pop()->DefaultGroup, QByteArray("support"));
    }

    // The lists keep their entries between showings: an item renamed meanwhile takes its
    // new place and its check, letter case aside, and names equal but for letter case
    // are all checked, in tree order.
    void membershipListsFollowRenames()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        auto entries = [](const QListWidget *list) {
            QStringList out;
            for (int i = 0; i < list->count(); ++i)
                out << list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked ? "+" : "");
            return out;
        };
        NavNode *support = itemNode(f->nodeGroups, QStringLiteral("support"));
        NavNode *tom = itemNode(f->nodeUsers, QStringLiteral("tom"));
        select(support);
        QCOMPARE(entries(f->chlstUsers), (QStringList{"front desk+", "lena", "maria", "night shift+", "tom+"}));
        select(tom);
        retype(f->editUserName, QStringLiteral("Aaron"));
        select(support);
        QCOMPARE(entries(f->chlstUsers), (QStringList{"Aaron", "front desk+", "lena", "maria", "night shift+"}));
        select(tom);
        retype(f->editUserName, QStringLiteral("TOM"));
        select(itemNode(f->nodeUsers, QStringLiteral("lena")));
        retype(f->editUserName, QStringLiteral("Maria"));
        select(support);
        QCOMPARE(entries(f->chlstUsers), (QStringList{"front desk+", "maria", "Maria", "night shift+", "TOM+"}));
        select(itemNode(f->nodeGroups, QStringLiteral("sales.eu"))); // admits maria
        QCOMPARE(entries(f->chlstUsers), (QStringList{"front desk", "maria+", "Maria+", "night shift", "TOM"}));
        // A click stores every checked entry as its own item spells it.
        select(support);
        f->pctrlGroup->setCurrentIndex(1);
        toggleEntry(f->chlstUsers, QStringLiteral("Maria"));
        QCOMPARE(support->group()->Users, (QByteArrayList{"front desk", "Maria", "night shift", "TOM"}));
        if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR"); !dir.isEmpty())
            f->grab().save(dir + QStringLiteral("/group-users.png"));

        // Groups likewise, and the default group follows its group's name.
        NavNode *sales = itemNode(f->nodeGroups, QStringLiteral("sales"));
        NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(0)); // default: sales
        select(sales);
        retype(f->editGroupName, QStringLiteral("zsales"));
        select(account);
        QCOMPARE(entries(f->chlstGroups), (QStringList{"orders", "sales.eu+", "support", "zsales"}));
        QCOMPARE(f->cboxPopDefault->currentIndex(), -1);
        select(sales);
        retype(f->editGroupName, QStringLiteral("SALES"));
        select(account);
        QCOMPARE(entries(f->chlstGroups), (QStringList{"orders", "SALES+", "sales.eu+", "support"}));
        QCOMPARE(f->cboxPopDefault->currentText(), QStringLiteral("SALES"));
        QCOMPARE(f->cboxPopDefault->itemText(0), QStringLiteral("SALES")); // tree order
    }

    void staleDefaultGroupIsClearedByNextEdit()
    {
        TMainForm *f = open(kRealistic);
        QVERIFY(f);
        NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(0));
        select(account);
        QCOMPARE(f->cboxPopDefault->currentIndex(), -1);
        QCOMPARE(account->pop()->DefaultGroup, QByteArray("gone")); // showing stores nothing
        retype(f->editSafetyBox, QStringLiteral("copy"));
        QCOMPARE(account->pop()->DefaultGroup, QByteArray());
        // The names of groups that no longer exist stay until the list is clicked.
        QCOMPARE(account->pop()->Newsgroups, (QByteArrayList{"sales", "sales.eu", "gone"}));
        QVERIFY(f->actnSaveExecute());
        const QByteArray saved = TestFiles::read(iniPath());
        QVERIFY(saved.contains("[POP1]\r\n"));
        QVERIFY(saved.contains("DefaultGroup=\r\n"));
        QVERIFY(saved.contains("AutoReply=N\r\n")); // "y" is shown unchecked and stored as such
    }

    void everyControlIsTracked_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("counts");
        const QList<std::tuple<const char *, QStringList, QStringList>> pages = {
            {"General",
             {"editName", "cmbBindIP", "sedtPort", "editSMTPServer", "editOutBoundPrefix", "editOutBoundMarker",
              "editAdminEmail", "chkbAdminEmailActive", "editAdminUser"},
             {"butnChangeAdminPass"}},
            {"Advanced", {"sedtSMTPPort", "editSMTPUserID", "sedtConfigPort"}, {"butnChangeSMTPPass"}},
            {"Log settings", {"rgrpLogSettings", "rgrpLogFile", "sedtLogSize"}, {}},
            {"account",
             {"editPopHost", "sedtPopPort", "editPopUser", "chkbPopAutoReply", "editPopAutoReplyFrom",
              "editPopAutoReplySubject", "editAutoReplyFromIgnore", "editSafetyBox", "memoPopAutoReplyBody", "chkbOBID",
              "chlstGroups", "cboxPopDefault"},
             {"butnChangeIncomingPass", "pctrlIncoming"}},
            {"user", {"editUserDesc", "editUserName"}, {"butnChangeUserPass"}},
            {"group", {"editGroupName", "chkbGroupRO", "editGroupDesc", "editGroupOutboundAddr", "memoGroupKeys",
                       "chlstUsers"},
             {"pctrlGroup"}},
        };
        for (const auto &[node, counted, ignored] : pages) {
            for (const QString &c : counted)
                QTest::addRow("%s %s", node, qPrintable(c)) << QString::fromLatin1(node) << c << true;
            for (const QString &c : ignored)
                QTest::addRow("%s %s", node, qPrintable(c)) << QString::fromLatin1(node) << c << false;
        }
    }

    // Every editable control of the setting and item pages takes its edit into the
    // configuration at once; push buttons and the tabs of a page are no edits.
    void everyControlIsTracked()
    {
        QFETCH(QString, node);
        QFETCH(QString, control);
        QFETCH(bool, counts);
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        const QHash<QString, QTreeWidgetItem *> nodes = {
            {"General", f->nodeGeneral},          {"Advanced", f->nodeAdvanced},
            {"Log settings", f->nodeLogSettings}, {"account", f->nodeIncoming->child(0)},
            {"user", f->nodeUsers->child(0)},     {"group", f->nodeGroups->child(0)}};
        select(nodes.value(node));
        auto *w = f->findChild<QWidget *>(control);
        QVERIFY(w);
        // Bring the control's tab to the front.
        for (QWidget *p = w; p; p = p->parentWidget())
            if (auto *tabs = qobject_cast<QTabWidget *>(p->parentWidget() ? p->parentWidget()->parentWidget() : nullptr))
                tabs->setCurrentWidget(p);
        QVERIFY(w->isVisible() && w->isEnabled());

        if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
            QCOMPARE(tabs->currentIndex(), 1);
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else if (auto *group = qobject_cast<RadioGroup *>(w)) {
            QTest::mouseClick(group->button(1 - group->itemIndex()), Qt::LeftButton);
        } else if (auto *list = qobject_cast<QListWidget *>(w)) {
            toggleEntry(list, list->item(0)->text());
        } else if (auto *combo = qobject_cast<QComboBox *>(w); combo && !combo->isEditable()) {
            QTest::keyClick(combo, Qt::Key_Down);
        } else if (qobject_cast<QAbstractSpinBox *>(w)) {
            QTest::keyClick(w, Qt::Key_Up);
        } else {
            QWidget *field = qobject_cast<QComboBox *>(w) ? static_cast<QComboBox *>(w)->lineEdit() : w;
            field->setFocus();
            QTest::keyClick(field, Qt::Key_End);
            QTest::keyClick(field, Qt::Key_X);
        }
        QCOMPARE(f->isChanged(), counts);
        // What was taken is what a save writes.
        QVERIFY(f->actnSaveExecute());
        QCOMPARE(TestFiles::read(iniPath()) != demoFile(), counts);
    }

    void clickOnGroupBoxCountsAsChange()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        select(f->nodeUsers->child(0));
        auto *box = f->tabsUserItem->findChild<QGroupBox *>();
        QVERIFY(box);
        QVERIFY(!f->isChanged());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 3, box->height() - 3));
        QVERIFY(f->isChanged());
    }

    void logFileChoiceSwitchesSizeBox()
    {
        TMainForm *f = open("[SERVER]\r\nVersion=1.05\r\nLogSize=500\r\n");
        QVERIFY(f);
        select(f->nodeLog->child(0));
        QTest::mouseClick(f->rgrpLogFile->button(0), Qt::LeftButton);
        QVERIFY(f->isChanged());
        QVERIFY(!f->sedtLogSize->isEnabled());
        QCOMPARE(f->sedtLogSize->value(), 0);
        QVERIFY(f->actnSaveExecute());
        QVERIFY(TestFiles::read(iniPath()).contains("LogSize=0\r\n"));
    }

    // A caption wider than the tree is not cut short: the tree scrolls to show it whole,
    // also after an edit made it longer.
    void longCaptionShownWhole()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        NavNode *user = static_cast<NavNode *>(f->nodeUsers->child(0));
        select(user);
        const QString name = QStringLiteral("a user name much wider than the navigation tree");
        retype(f->editUserName, name);
        QCOMPARE(user->text(0), name);
        QTRY_VERIFY(f->tvNav->visualItemRect(user).width()
                    >= f->tvNav->fontMetrics().horizontalAdvance(name) + f->tvNav->iconSize().width());
        QTRY_VERIFY(f->tvNav->horizontalScrollBar()->maximum() > 0);
    }

    // The bind address list offers the machine's addresses, but what is typed is kept as
    // typed, also when it is the start of a listed address.
    void bindAddressTextStaysFree()
    {
        TMainForm *f = open(kRealistic);
        QVERIFY(f);
        QCOMPARE(f->cmbBindIP->currentText(), QStringLiteral("10.1.2.3")); // not one of the machine's
        QCOMPARE(f->cmbBindIP->count(), 1);
        QCOMPARE(f->cmbBindIP->itemText(0), QStringLiteral("192.0.2.10"));
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        retype(f->cmbBindIP->lineEdit(), QStringLiteral("192.0.2.1"));
        QCOMPARE(f->cmbBindIP->currentText(), QStringLiteral("192.0.2.1"));
        QVERIFY(f->isChanged());
        QVERIFY(f->actnSaveExecute());
        QVERIFY(TestFiles::read(iniPath()).contains("BindIP=192.0.2.1\r\n"));
    }

    // File, Save and File, Exit answer Ctrl+S and Ctrl+Q anywhere in the window; the tree
    // menu's commands have no keys.
    void fileMenuShortcuts()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        select(f->nodeUsers->child(0));
        retype(f->editUserDesc, QStringLiteral("Front"));
        QVERIFY(f->isChanged());
        QTest::keyClick(f->editUserDesc, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!f->isChanged());
        QVERIFY(TestFiles::read(iniPath()).contains("Description=Front\r\n"));

        for (const char *name : {"menuAdd", "menuDelete", "menuReset", "menuDelMsg", "actnAdd", "actnDelete",
                                 "actnReset", "actnDelMsg"}) {
            auto *a = f->findChild<QAction *>(QString::fromLatin1(name));
            QVERIFY2(a, name);
            QVERIFY2(a->shortcut().isEmpty(), name);
        }

        QTest::keyClick(f->tvNav, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!f->isVisible());
        QVERIFY(m_prompts.shown.isEmpty());
    }

    void statusBarShowsHints_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("hint");
        QTest::newRow("editName") << "editName" << "Server name";
        QTest::newRow("sedtPort") << "sedtPort" << "Port on which the server will respond";
        QTest::newRow("editSMTPServer") << "editSMTPServer" << "Server for outgoing mail (SMTP)";
        QTest::newRow("editOutBoundPrefix") << "editOutBoundPrefix" << "Outbound prefix for messages";
        QTest::newRow("editOutBoundMarker") << "editOutBoundMarker" << "Outbound marker for messages";
        QTest::newRow("tvNav") << "tvNav" << "Right click to Add or Delete items";
        QTest::newRow("actnSave") << "actnSave" << "Save all changes";
        QTest::newRow("actnExit") << "actnExit" << "Exit";
    }

    // The hint of the control under the mouse, or of the menu entry, stands in the status bar.
    void statusBarShowsHints()
    {
        QFETCH(QString, name);
        QFETCH(QString, hint);
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        if (auto *action = f->findChild<QAction *>(name)) {
            auto *file = f->findChild<QMenu *>(QStringLiteral("menuFile"));
            QVERIFY(file);
            file->popup(f->mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(file));
            QTest::mouseMove(file, file->actionGeometry(action).center());
            QTRY_COMPARE(f->StatusBar1->currentMessage(), hint);
            file->close();
            return;
        }
        QWidget *control = f->findChild<QWidget *>(name);
        QVERIFY(control);
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), control->mapToGlobal(QPointF(1, 1)));
        QCoreApplication::sendEvent(control, &enter);
        QCOMPARE(f->StatusBar1->currentMessage(), hint);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(control, &leave);
        QCOMPARE(f->StatusBar1->currentMessage(), QString());
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
