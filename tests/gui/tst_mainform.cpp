// The editor's main window driven through its object names: start-up, navigation, load,
// save, change tracking and the membership lists.
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

#include <QAbstractButton>
#include <QCheckBox>
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

namespace {

QByteArray demoFile()
{
    return TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini"));
}

// A file as administrators leave them: sections out of order and gaps in the numbers,
// unknown keys, a lower-case flag, bare LF breaks inside a body, a digest with zero bytes,
// quoted list names and keys that only the wizard writes.
const QByteArray kRealistic =
    "; edited by hand\r\n"
    "[SERVER]\r\n"
    "Port=70000\r\n"
    "Name=Office\r\n"
    "Version=1.05\r\n"
    "SMTPHost=smtp.example\r\n"
    "BindIP=10.1.2.3\r\n"
    "AdminEmail=admin@example.org\r\n"
    "AdminEmailActive=1\r\n"
    "SMTPUserPass=00FF0041\r\n"
    "AdminUser=root\r\n"
    "AdminPass=00112233445566778899AABBCCDDEE00\r\n"
    "LogSize=50\r\n"
    "Log=1\r\n"
    "LastPOP=7\r\n"
    "Created=2001-01-01\r\n"
    "[GROUP2]\r\n"
    "Name=sales.eu\r\n"
    "KeyList=610A620D630D0A\r\n"
    "Users=\"front desk\",Maria\r\n"
    "ReadOnly=y\r\n"
    "Colour=blue\r\n"
    "[POP7]\r\n"
    "Host=pop.example\r\n"
    "Port=995\r\n"
    "UserID=info\r\n"
    "Password=736563726574\r\n"
    "Newsgroups=sales,\"sales.eu\",gone\r\n"
    "DefaultGroup=gone\r\n"
    "AutoReply=y\r\n"
    "AutoReplyBody=48690A7468657265\r\n"
    "[GROUP1]\r\n"
    "Name=sales\r\n"
    "Description=Sales\r\n"
    "[USER1]\r\n"
    "Name=front desk\r\n"
    "Pass=000102030405060708090A0B0C0D0E0F\r\n"
    "[USER9]\r\n"
    "Name=maria\r\n"
    "Description=Maria\r\n"
    "[Unknown]\r\n"
    "Key=value\r\n";

// A transfer standing in for a server: the fetch writes the file it was given as the
// local copy, the return counts its calls.
class FakeTransfer : public ConfigTransfer
{
public:
    FakeTransfer(QByteArray file, int *puts)
        : m_file(std::move(file))
        , m_puts(puts)
    {
    }
    QString fetchConfig(const QString &folder) override
    {
        if (!TestFiles::write(QDir(folder).filePath(QStringLiteral("host.example")), m_file))
            return {};
        return QStringLiteral("host.example");
    }
    void putConfig(const QString &) override { ++*m_puts; }

private:
    QByteArray m_file;
    int *m_puts;
};

class FixedChooser : public RunModeChooser
{
public:
    std::function<RunModeChoice()> answer;
    RunModeChoice choose(QWidget *) override { return answer(); }
};

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedPrompts m_prompts;
    std::unique_ptr<TMainForm> m_form;

    QString iniPath() const { return m_dir->filePath(QStringLiteral("quilmora.ini")); }

    // Writes `file` (unless null) into a fresh folder and starts the editor on it.
    TMainForm *open(const QByteArray &file, const QByteArray &encoding = {}, RunModeChooser *chooser = nullptr)
    {
        m_form.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        if (!file.isNull() && !TestFiles::write(iniPath(), file))
            return nullptr;
        m_prompts = ScriptedPrompts();
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.programFolder = m_dir->path();
        ctx.codec = TextCodec(encoding);
        ctx.runModeChooser = chooser;
        ctx.localAddresses = [] { return QStringList{QStringLiteral("192.0.2.10")}; };
        m_form = std::make_unique<TMainForm>(ctx);
        if (m_form->start(false) != TMainForm::StartResult::Run)
            return nullptr;
        m_form->show();
        return m_form.get();
    }

    NavNode *itemNode(NavNode *root, const QString &caption)
    {
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == caption)
                return static_cast<NavNode *>(root->child(i));
        return nullptr;
    }

    void select(QTreeWidgetItem *node) { m_form->tvNav->setCurrentItem(node); }

    // Replaces what a field holds by typing, as a user does.
    void retype(QWidget *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(field, c.toLatin1());
            else // a key of another keyboard: the event carries the character
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    void toggleEntry(QListWidget *list, const QString &text)
    {
        const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        list->setFocus();
        list->setCurrentItem(found.first());
        QTest::keyClick(list, Qt::Key_Space); // the check box of a check list entry
    }

private slots:
    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void startUpState()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        QCOMPARE(f->tvNav->currentItem(), nullptr);
        QCOMPARE(f->pctrlMain->currentWidget()->objectName(), QStringLiteral("tabsGeneral"));
        QVERIFY(f->pctrlMain->tabBar()->isHidden());
        QVERIFY(!f->isChanged());
        QVERIFY(!f->isRemoteMode());

        QStringList top;
        for (int i = 0; i < f->tvNav->topLevelItemCount(); ++i) {
            top << f->tvNav->topLevelItem(i)->text(0);
            QVERIFY(!f->tvNav->topLevelItem(i)->isExpanded());
        }
        QCOMPARE(top, (QStringList{"General", "Advanced", "Log", "Incoming Accounts", "Users", "Groups"}));
        QCOMPARE(f->nodeLog->childCount(), 2);
        QCOMPARE(f->nodeLog->child(0)->text(0), QStringLiteral("Settings"));
        QCOMPARE(f->nodeLog->child(1)->text(0), QStringLiteral("View"));
        QCOMPARE(f->nodeIncoming->childCount(), 3);
        QCOMPARE(f->nodeIncoming->child(0)->text(0), QStringLiteral("sales/pop.harbour.example"));
        QCOMPARE(f->nodeUsers->childCount(), 5);
        QCOMPARE(f->nodeGroups->childCount(), 4);

        // Image indices of the fixed nodes and of each kind of item.
        const QList<QPair<QTreeWidgetItem *, int>> images = {
            {f->nodeGeneral, 2}, {f->nodeAdvanced, 6}, {f->nodeLog, 5}, {f->nodeLogSettings, 10},
            {f->nodeLogView, 9}, {f->nodeIncoming, 0}, {f->nodeUsers, 8}, {f->nodeGroups, 4},
            {f->nodeIncoming->child(0), 1}, {f->nodeUsers->child(0), 7}, {f->nodeGroups->child(0), 3}};
        for (const auto &[node, index] : images)
            QCOMPARE(static_cast<NavNode *>(node)->imageIndex(), index);

        // Taking the focus selects nothing.
        f->activateWindow();
        f->tvNav->setFocus();
        QCOMPARE(f->tvNav->currentItem(), nullptr);
        QVERIFY(!f->isChanged());
        QCOMPARE(f->size(), QSize(TMainForm::ClientWidth, f->height()));
    }

    void remoteModeHasNoLogView()
    {
        int puts = 0;
        FixedChooser chooser;
        chooser.answer = [&] { return RunModeChoice::remote(std::make_unique<FakeTransfer>(demoFile(), &puts)); };
        TMainForm *f = open({}, {}, &chooser);
        QVERIFY(f);
        QVERIFY(f->isRemoteMode());
        QCOMPARE(f->nodeLog->childCount(), 1);
        QCOMPARE(f->nodeLogView, nullptr);
        QCOMPARE(f->editName->text(), QStringLiteral("Harbour Office"));
        QCOMPARE(f->configFilePath(), m_dir->filePath(QStringLiteral("host.example")));

        retype(f->editName, QStringLiteral("Remote"));
        QVERIFY(f->isChanged());
        QVERIFY(f->actnSaveExecute());
        QCOMPARE(puts, 1);
        QVERIFY(TestFiles::read(f->configFilePath()).contains("Name=Remote\r\n"));
        QVERIFY(!QFile::exists(iniPath()));
    }

    void cancelledChoiceLoadsNothing()
    {
        FixedChooser chooser;
        chooser.answer = [] { return RunModeChoice::cancel(); };
        m_dir = std::make_unique<QTemporaryDir>();
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.programFolder = m_dir->path();
        ctx.runModeChooser = &chooser;
        TMainForm form(ctx);
        QCOMPARE(form.start(false), TMainForm::StartResult::Ended);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.nodeUsers->childCount(), 0);
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

    void memoIsStoredWithCrLf()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        NavNode *group = static_cast<NavNode *>(f->nodeGroups->child(1));
        select(group);
        f->pctrlGroup->setCurrentIndex(0);
        f->memoGroupKeys->setFocus();
        QTest::keyClicks(f->memoGroupKeys, QStringLiteral("a"));
        QTest::keyClick(f->memoGroupKeys, Qt::Key_Return);
        QTest::keyClicks(f->memoGroupKeys, QStringLiteral("b"));
        QCOMPARE(group->group()->KeyList, QByteArray("a\r\nb"));
        QVERIFY(f->actnSaveExecute());
        QVERIFY(TestFiles::read(iniPath()).contains("KeyList=610D0A62\r\n"));
    }

    void loadValues_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("logFile");
        QTest::addColumn<bool>("sizeEnabled");
        QTest::addColumn<int>("logSize");
        QTest::newRow("never overwrite") << QByteArray("Version=1.05\r\nLogSize=0\r\n") << 119 << 0 << false << 0;
        QTest::newRow("overwrite at 50") << QByteArray("Version=1.05\r\nLogSize=50\r\n") << 119 << 1 << true << 50;
        QTest::newRow("port clamped") << QByteArray("Version=1.05\r\nPort=70000\r\n") << 65534 << 0 << false << 0;
    }

    void loadValues()
    {
        QFETCH(QByteArray, server);
        QFETCH(int, port);
        QFETCH(int, logFile);
        QFETCH(bool, sizeEnabled);
        QFETCH(int, logSize);
        TMainForm *f = open("[SERVER]\r\n" + server);
        QVERIFY(f);
        QCOMPARE(f->sedtPort->value(), port);
        QCOMPARE(f->rgrpLogFile->itemIndex(), logFile);
        QCOMPARE(f->sedtLogSize->isEnabled(), sizeEnabled);
        QCOMPARE(f->sedtLogSize->value(), logSize);
        QVERIFY(!f->isChanged());
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

    void invalidVersionEndsWithoutTouchingFile()
    {
        const QByteArray file = "[SERVER]\r\nVersion=abc\r\n[USER1]\r\nName=kept\r\n";
        QVERIFY(!open(file));
        QCOMPARE(m_prompts.shown, QStringList{"error: 'abc' is not a valid floating point value"});
        QCOMPARE(TestFiles::read(iniPath()), file);
    }

    void missingFileLoadsDefaultsAndSaveCreatesIt()
    {
        TMainForm *f = open(QByteArray());
        QVERIFY(f);
        QCOMPARE(f->sedtPort->value(), 119);
        QCOMPARE(f->nodeIncoming->childCount(), 0);
        QVERIFY(f->actnSaveExecute());
        const QByteArray saved = TestFiles::read(iniPath());
        QVERIFY(saved.startsWith("[SERVER]\r\nPort=119\r\n"));
        QVERIFY(saved.endsWith("Pops=0\r\nUsers=0\r\nGroups=0\r\n"));
    }

    void closeQuery_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<int>("answer"); // -1: no question expected
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("saved");
        QTest::newRow("unchanged") << false << -1 << true << false;
        QTest::newRow("yes") << true << int(Prompts::Answer::Yes) << true << true;
        QTest::newRow("no") << true << int(Prompts::Answer::No) << true << false;
        QTest::newRow("cancel") << true << int(Prompts::Answer::Cancel) << false << false;
    }

    void closeQuery()
    {
        QFETCH(bool, edit);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(bool, saved);
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        if (edit) {
            select(f->nodeUsers->child(0));
            retype(f->editUserDesc, QStringLiteral("Front"));
        }
        if (answer >= 0)
            m_prompts.answers = {Prompts::Answer(answer)};
        QVERIFY(GuiTestUtil::trigger(f, "actnExit"));
        QCOMPARE(m_prompts.shown, answer >= 0 ? QStringList{"yesNoCancel: Configuration has changed, do you want to save?"}
                                              : QStringList{});
        QCOMPARE(!f->isVisible(), closed);
        QCOMPARE(TestFiles::read(iniPath()).contains("Description=Front\r\n"), saved);
        QCOMPARE(f->isChanged(), edit && !saved);
        if (!closed) // the changes are still there
            QCOMPARE(static_cast<NavNode *>(f->nodeUsers->child(0))->user()->Description, QByteArray("Front"));
    }

    void failedSaveKeepsFileFlagAndWindow()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        retype(f->editName, QStringLiteral("Lost?"));
        // A folder that cannot be written: the save's temporary file cannot be made there.
        const QString path = iniPath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path)); // the file's name is now a folder
        // Save at the close question, and overwrite what now stands there.
        m_prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
        f->close();
        QVERIFY(f->isVisible());
        QVERIFY(f->isChanged());
        QCOMPARE(m_prompts.shown.last(), QStringLiteral("error: Unable to write to ") + QDir::toNativeSeparators(path));
    }

    void saveEqualsNormalize_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("demo") << demoFile();
        QTest::newRow("hand-edited") << kRealistic;
        QTest::newRow("old format") << QByteArray("[SERVER]\r\nName=Old\r\nAdminPass=70617373\r\n"
                                                  "[USER1]\r\nName=u\r\nPass=7077\r\n"
                                                  "[GROUP1]\r\nName=g\r\nKeyListFile=missing.txt\r\n");
    }

    void saveEqualsNormalize()
    {
        QFETCH(QByteArray, file);
        TMainForm *f = open(file);
        QVERIFY(f);
        // Visiting every page changes nothing.
        QTreeWidgetItemIterator it(f->tvNav);
        while (*it) {
            select(*it);
            ++it;
        }
        QVERIFY(!f->isChanged());
        QVERIFY(f->actnSaveExecute());
        const QByteArray editorSaved = TestFiles::read(iniPath());

        QTemporaryDir cliDir;
        QVERIFY(TestFiles::write(cliDir.filePath(QStringLiteral("quilmora.ini")), file));
        QCOMPARE(runCli({QStringLiteral("--folder"), cliDir.path(), QStringLiteral("normalize")}).status, 0);
        QCOMPARE(editorSaved, TestFiles::read(cliDir.filePath(QStringLiteral("quilmora.ini"))));
    }

    void legacyCharsetSurvivesOtherEdit_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("windows-1252") << QByteArray("windows-1252") << QStringLiteral("\u00e9") << QByteArray("\xe9");
        QTest::newRow("locale (UTF-8)") << QByteArray() << QStringLiteral("\u00e9") << QByteArray("\xc3\xa9");
    }

    void legacyCharsetSurvivesOtherEdit()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        // Bytes of a single-byte charset: in UTF-8 they do not even decode.
        const QByteArray desc = "Caf\xe9 \x80 \xa0na\xefve";
        const QByteArray keys = "cl\xe9\r\ncr\xe8me";
        const QByteArray file = "[SERVER]\r\nVersion=1.05\r\nName=Ma\xefson\r\n[GROUP1]\r\nName=caf\xe9\r\nDescription="
                                + desc + "\r\nKeyList=" + keys.toHex().toUpper() + "\r\n";
        TMainForm *f = open(file, encoding);
        QVERIFY(f);
        NavNode *group = static_cast<NavNode *>(f->nodeGroups->child(0));
        select(group);
        retype(f->editGroupOutboundAddr, typed);
        QCOMPARE(group->group()->OutboundAddress, stored);
        QCOMPARE(group->group()->Description, desc);
        QCOMPARE(group->group()->Name, QByteArray("caf\xe9"));
        QCOMPARE(group->group()->KeyList, keys);
        select(f->nodeGeneral);
        retype(f->editOutBoundMarker, QStringLiteral("##"));
        QVERIFY(f->actnSaveExecute());
        const QByteArray saved = TestFiles::read(iniPath());
        QVERIFY(saved.contains("Name=Ma\xefson\r\n"));
        QVERIFY(saved.contains("Description=" + desc + "\r\n"));
        QVERIFY(saved.contains("OutboundAddress=" + stored + "\r\n"));
    }

    // A value longer than a line edit holds by default is shown whole and kept whole
    // when another field of its page is edited.
    void longValueSurvivesOtherEdit()
    {
        const QByteArray desc = QByteArray(40000, 'd') + "end";
        TMainForm *f = open("[SERVER]\r\nVersion=1.05\r\n[USER1]\r\nName=u\r\nDescription=" + desc + "\r\n");
        QVERIFY(f);
        NavNode *user = static_cast<NavNode *>(f->nodeUsers->child(0));
        select(user);
        QCOMPARE(f->editUserDesc->text().size(), desc.size());
        retype(f->editUserName, QStringLiteral("v"));
        QCOMPARE(user->user()->Name, QByteArray("v"));
        QCOMPARE(user->user()->Description, desc);
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
