// The tree menu's commands: which entries it offers, Add, Delete and Reset, the removal of a
// group's data folder, and the group name check.
#include "config/ConfigDocument.h"
#include "config/GroupDataFolder.h"
#include "config/TPop.h"
#include "config/TextCodec.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

namespace {

const QByteArray Config = "[SERVER]\r\n"
                          "Port=119\r\n"
                          "[POP1]\r\nHost=pop.example\r\nPort=995\r\nUserID=info\r\n"
                          "[USER1]\r\nName=maria\r\n"
                          "[GROUP1]\r\nName=sales\r\n"
                          "[GROUP2]\r\nName=comp.lang\r\nDescription=second\r\n"
                          "[GROUP3]\r\nName=support\r\n";

class RemoteChooser : public RunModeChooser
{
    class Transfer : public ConfigTransfer
    {
    public:
        QString fetchConfig(const QString &folder) override
        {
            return TestFiles::write(QDir(folder).filePath(QStringLiteral("host.example")), Config)
                       ? QStringLiteral("host.example")
                       : QString();
        }
        void putConfig(const QString &) override {}
    };

public:
    RunModeChoice choose(QWidget *) override { return RunModeChoice::remote(std::make_unique<Transfer>()); }
};

// Everything under `base`, relative, sorted; folders end in "/", links are not followed.
QStringList listing(const QString &base)
{
    QStringList found;
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        found << QDir(base).relativeFilePath(info.absoluteFilePath()) + (info.isDir() && !info.isSymLink() ? "/" : "");
    }
    found.sort();
    return found;
}

bool makeFile(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).path()) && TestFiles::write(path, "x");
}

} // namespace

class TestItemCommands : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

    TMainForm *openConfig(const QByteArray &file = Config) { return m_fx.open(file); }

    // The entries PopupMenu1 shows for the selected node, as "Add Delete ...".
    QString offered(TMainForm *f)
    {
        f->PopupMenu1Popup();
        QStringList names;
        for (QAction *a : f->PopupMenu1->actions())
            if (a->isVisible())
                names << a->objectName().mid(4);
        return names.join(QLatin1Char(' '));
    }

    QByteArray saved()
    {
        m_fx.form->actnSaveExecute();
        return TestFiles::read(m_fx.path(QStringLiteral("quilmora.ini")));
    }

private slots:
    void cleanup() { m_fx.form.reset(); }

    void menuVisibility_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<QString>("node"); // top node, "/" and a child caption
        QTest::addColumn<QString>("entries");
        for (const bool remote : {false, true}) {
            const char *mode = remote ? "remote " : "local ";
            auto row = [&](const char *name, const char *node, const char *local, const char *inRemote) {
                QTest::newRow((mode + QByteArray(name)).constData())
                    << remote << QString::fromUtf8(node) << QString::fromLatin1(remote ? inRemote : local);
            };
            row("no node", "", "", "");
            row("General", "General", "", "");
            row("Log", "Log", "", "");
            row("Log settings", "Log/Settings", "", "");
            row("accounts", "Incoming Accounts", "Add", "Add");
            row("users", "Users", "Add", "Add");
            row("groups", "Groups", "Add", "Add");
            row("account", "Incoming Accounts/info/pop.example", "Delete", "");
            row("user", "Users/maria", "Delete", "");
            row("group", "Groups/sales", "Delete Reset DelMsg", "");
        }
    }
    void menuVisibility()
    {
        QFETCH(bool, remote);
        QFETCH(QString, node);
        QFETCH(QString, entries);
        RemoteChooser chooser;
        TMainForm *f = m_fx.open(remote ? QByteArray() : Config, remote ? &chooser : nullptr);
        QVERIFY(f);
        if (!node.isEmpty()) {
            QTreeWidgetItem *n = f->tvNav->findItems(node.section(QLatin1Char('/'), 0, 0), Qt::MatchExactly).value(0);
            if (node.contains(QLatin1Char('/')))
                n = EditorFixture::child(n, node.section(QLatin1Char('/'), 1));
            QVERIFY(n);
            m_fx.select(n);
        }
        QCOMPARE(offered(f), entries);
    }

    // The tree menu's entries show their hints in the status bar while highlighted.
    void menuEntryHints()
    {
        TMainForm *f = openConfig();
        QVERIFY(f);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        m_fx.select(f->nodeGroups->child(0));
        f->PopupMenu1Popup();
        const QRect row = f->tvNav->visualItemRect(f->nodeGroups->child(0));
        f->PopupMenu1->popup(f->tvNav->viewport()->mapToGlobal(row.center()));
        QVERIFY(QTest::qWaitForWindowExposed(f->PopupMenu1));
        QTest::mouseMove(f->PopupMenu1, f->PopupMenu1->actionGeometry(f->menuReset).center());
        QTRY_COMPARE(f->StatusBar1->currentMessage(), QStringLiteral("Reset the group (delete all postings)"));
        QTest::mouseMove(f->PopupMenu1, f->PopupMenu1->actionGeometry(f->menuDelete).center());
        QTRY_COMPARE(f->StatusBar1->currentMessage(), QStringLiteral("Delete current entry"));
        if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QPixmap shot = f->grab();
            QPainter p(&shot);
            p.drawPixmap(f->mapFromGlobal(f->PopupMenu1->pos()), f->PopupMenu1->grab());
            p.end();
            QVERIFY(shot.save(dir + QStringLiteral("/tree-menu-hint.png")));
        }
        f->PopupMenu1->close();
        QTRY_COMPARE(f->StatusBar1->currentMessage(), QString());
    }

    // Add on a list's overview or on one of its items gives a selected "New" node whose
    // page defaults are stored into it as edits; the caption stays "New" until a name is given.
    void addGivesSelectedNewNode_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("fromItem"); // Add from an item's page rather than the overview
        QTest::addColumn<QString>("page");
        QTest::addColumn<QByteArray>("section"); // as written by the save
        QTest::newRow("account") << "Incoming Accounts" << false << "tabsIncomingItem"
                                 << QByteArray("[POP2]\r\nHost=\r\nPort=110\r\n");
        QTest::newRow("account from an account") << "Incoming Accounts" << true << "tabsIncomingItem"
                                                 << QByteArray("[POP2]\r\nHost=\r\nPort=110\r\n");
        QTest::newRow("user") << "Users" << false << "tabsUserItem" << QByteArray("[USER2]\r\nName=\r\n");
        // The cleared keys memo is an edit that stores the empty name.
        QTest::newRow("group") << "Groups" << false << "tabsGroupItem" << QByteArray("[GROUP4]\r\nName=\r\n");
        QTest::newRow("group from a group") << "Groups" << true << "tabsGroupItem"
                                            << QByteArray("[GROUP4]\r\nName=\r\n");
    }
    void addGivesSelectedNewNode()
    {
        QFETCH(QString, root);
        QFETCH(bool, fromItem);
        QFETCH(QString, page);
        QFETCH(QByteArray, section);
        TMainForm *f = openConfig();
        QVERIFY(f);
        auto *rootNode = static_cast<NavNode *>(f->tvNav->findItems(root, Qt::MatchExactly).value(0));
        QVERIFY(rootNode);
        m_fx.select(fromItem ? rootNode->child(0) : rootNode);
        const int before = rootNode->childCount();
        QVERIFY(GuiTestUtil::trigger(f, "actnAdd"));

        QCOMPARE(rootNode->childCount(), before + 1);
        QTreeWidgetItem *added = rootNode->child(before);
        QCOMPARE(f->tvNav->currentItem(), added);
        QCOMPARE(f->pctrlMain->currentWidget()->objectName(), page);
        if (root == QLatin1String("Incoming Accounts")) {
            // The port went from 0 to 110 as an edit: stored, the caption renewed, changed.
            QCOMPARE(f->sedtPopPort->value(), 110);
            QCOMPARE(static_cast<NavNode *>(added)->pop()->Port, 110);
        }
        QCOMPARE(added->text(0), QStringLiteral("New"));
        // An added item is a change to save, also where no default differed.
        QVERIFY(f->isChanged());
        const QByteArray file = saved();
        QVERIFY2(file.contains(section), file.constData());
    }

    // A name typed into the new item's page becomes its caption; cleared again, it is "New".
    void newCaptionFollowsName_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("caption");
        QTest::newRow("account") << "Incoming Accounts" << "editPopUser" << "anna" << "anna/";
        QTest::newRow("user") << "Users" << "editUserName" << "anna" << "anna";
        QTest::newRow("group") << "Groups" << "editGroupName" << "anna" << "anna";
    }
    void newCaptionFollowsName()
    {
        QFETCH(QString, root);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, caption);
        TMainForm *f = openConfig();
        QVERIFY(f);
        QTreeWidgetItem *rootNode = f->tvNav->findItems(root, Qt::MatchExactly).value(0);
        QVERIFY(rootNode);
        m_fx.select(rootNode);
        QVERIFY(GuiTestUtil::trigger(f, "actnAdd"));
        QTreeWidgetItem *added = rootNode->child(rootNode->childCount() - 1);
        auto *edit = f->findChild<QLineEdit *>(field);
        QVERIFY(edit);
        edit->setText(typed);
        QCOMPARE(added->text(0), caption);
        edit->clear();
        QCOMPARE(added->text(0), QStringLiteral("New"));
    }

    // A new account has no default group until one is chosen, though the box lists groups.
    void addedAccountHasNoDefaultGroup()
    {
        TMainForm *f = openConfig();
        QVERIFY(f);
        m_fx.select(f->nodeIncoming);
        QVERIFY(GuiTestUtil::trigger(f, "actnAdd"));
        auto *added = static_cast<NavNode *>(f->nodeIncoming->child(1));
        QVERIFY(added->pop());
        QCOMPARE(f->cboxPopDefault->count(), 3);
        QCOMPARE(f->cboxPopDefault->currentIndex(), -1);
        QVERIFY(added->pop()->DefaultGroup.isEmpty());
        QByteArray file = saved();
        QCOMPARE(file.count("DefaultGroup=sales"), 0);
        QVERIFY2(!QRegularExpression(QStringLiteral("DefaultGroup=[^\\r]")).match(QString::fromLatin1(file)).hasMatch(),
                 file.constData());

        f->cboxPopDefault->setCurrentIndex(1);
        QCOMPARE(added->pop()->DefaultGroup, QByteArray("comp.lang"));
        file = saved();
        const qsizetype pop2 = file.indexOf("[POP2]");
        QVERIFY(pop2 >= 0);
        QVERIFY2(file.indexOf("DefaultGroup=comp.lang\r\n", pop2) > pop2, file.constData());
    }

    void addOnOtherPagesDoesNothing()
    {
        TMainForm *f = openConfig();
        QVERIFY(f);
        m_fx.select(f->nodeGeneral);
        f->actnAddExecute();
        QCOMPARE(f->nodeIncoming->childCount() + f->nodeUsers->childCount() + f->nodeGroups->childCount(), 5);
        QVERIFY(!f->isChanged());
    }

    void deleteAsks_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("yes");
        QTest::newRow("account, No") << "Incoming Accounts" << false;
        QTest::newRow("account, Yes") << "Incoming Accounts" << true;
        QTest::newRow("user, No") << "Users" << false;
        QTest::newRow("user, Yes") << "Users" << true;
        QTest::newRow("group without data, Yes") << "Groups" << true;
    }
    void deleteAsks()
    {
        QFETCH(QString, root);
        QFETCH(bool, yes);
        TMainForm *f = openConfig();
        QVERIFY(f);
        QTreeWidgetItem *rootNode = f->tvNav->findItems(root, Qt::MatchExactly).value(0);
        const int before = rootNode->childCount();
        m_fx.select(rootNode->child(0));
        m_fx.prompts.answers = {yes ? Prompts::Answer::Yes : Prompts::Answer::No};
        QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
        // A group without a data folder asks only the one question.
        QCOMPARE(m_fx.prompts.shown, QStringList{QStringLiteral("yesNo: Are you sure?")});
        QCOMPARE(rootNode->childCount(), yes ? before - 1 : before);
        QCOMPARE(f->isChanged(), yes);
        // The selection moves on to a node of the same list, and the page with it.
        QTreeWidgetItem *now = f->tvNav->currentItem();
        QVERIFY(now == rootNode || now->parent() == rootNode);
        const auto *nowNode = static_cast<NavNode *>(now);
        if (nowNode->group())
            QCOMPARE(f->editGroupName->text(), QString::fromUtf8(nowNode->group()->Name));
    }

    void deletingSecondOfThreeGroupsRenumbers()
    {
        TMainForm *f = openConfig();
        QVERIFY(f);
        m_fx.select(f->nodeGroups->child(1));
        m_fx.prompts.answers = {Prompts::Answer::Yes};
        f->actnDeleteExecute();
        QCOMPARE(f->tvNav->currentItem()->text(0), QStringLiteral("support")); // the one below
        QCOMPARE(f->pctrlMain->currentWidget(), f->tabsGroupItem);
        QCOMPARE(f->editGroupName->text(), QStringLiteral("support"));
        const QByteArray file = saved();
        QVERIFY(file.contains("[GROUP1]\r\nName=sales\r\n"));
        QVERIFY(file.contains("[GROUP2]\r\nName=support\r\n"));
        QVERIFY(!file.contains("[GROUP3]"));
        QVERIFY(!file.contains("comp.lang"));
        QVERIFY(file.contains("Groups=2\r\n"));
    }

    // Delete of a group whose data folder exists asks about the data too.
    void deleteGroupWithData_data()
    {
        QTest::addColumn<bool>("removeData");
        QTest::newRow("data kept") << false;
        QTest::newRow("data removed") << true;
    }
    void deleteGroupWithData()
    {
        QFETCH(bool, removeData);
        TMainForm *f = openConfig();
        QVERIFY(f);
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/comp/lang/xover.dat"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/sales/xover.dat"))));
        m_fx.select(f->nodeGroups->child(1));
        m_fx.prompts.answers = {Prompts::Answer::Yes, removeData ? Prompts::Answer::Yes : Prompts::Answer::No};
        f->actnDeleteExecute();
        QCOMPARE(m_fx.prompts.shown,
                 (QStringList{QStringLiteral("yesNo: Are you sure?"),
                              QStringLiteral("yesNo: Do you want to delete the data associated with this group also")}));
        QCOMPARE(f->nodeGroups->childCount(), 2);
        QCOMPARE(QFileInfo::exists(m_fx.path(QStringLiteral("data/comp/lang/xover.dat"))), !removeData);
        QVERIFY(!removeData || !QFileInfo::exists(m_fx.path(QStringLiteral("data/comp"))));
        QVERIFY(QFileInfo::exists(m_fx.path(QStringLiteral("data/sales/xover.dat"))));
    }

    void resetOnlyGroupWithData()
    {
        TMainForm *f = openConfig();
        QVERIFY(f);
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/comp/lang/xover.dat"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/comp/lang/0000000001"))));
        m_fx.select(f->nodeGroups->child(1));
        m_fx.prompts.answers = {Prompts::Answer::No};
        f->actnResetExecute();
        QVERIFY(QFileInfo::exists(m_fx.path(QStringLiteral("data/comp/lang/xover.dat"))));

        m_fx.prompts.answers = {Prompts::Answer::Yes};
        f->actnResetExecute();
        QCOMPARE(m_fx.prompts.shown.last(),
                 QStringLiteral("yesNo: Reseting a group will delete all existing data associated with it. Are you sure?"));
        // The group's folder and the emptied ones above it up to data are gone; the program's
        // folder and the group item stay, and the configuration is not changed.
        QCOMPARE(listing(m_fx.folder()), QStringList{QStringLiteral("quilmora.ini")});
        QCOMPARE(f->nodeGroups->childCount(), 3);
        QVERIFY(!f->isChanged());
        QCOMPARE(m_fx.prompts.shown.size(), 2); // no message of its own
    }

    // Names that cannot name a folder inside data (a file's names are not checked) are
    // refused with an error, and nothing is removed, inside data or outside.
    void unsafeGroupNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("reset"); // else Delete
        QTest::newRow("empty, reset") << QByteArray() << true;
        QTest::newRow("dot dot, reset") << QByteArray("..") << true;
        QTest::newRow("dot dot, delete") << QByteArray("..") << false;
        QTest::newRow("climbing, reset") << QByteArray("x/../../..") << true;
        QTest::newRow("absolute, delete") << QByteArray("/tmp") << false;
        QTest::newRow("separator, reset") << QByteArray("comp\\lang") << true;
    }
    void unsafeGroupNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, reset);
        TMainForm *f = openConfig("[GROUP1]\r\nName=" + name + "\r\n");
        QVERIFY(f);
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/other/xover.dat"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("program.bin"))));
        const QStringList before = listing(m_fx.folder());
        m_fx.select(f->nodeGroups->child(0));
        m_fx.prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
        if (reset)
            f->actnResetExecute();
        else
            f->actnDeleteExecute();
        QCOMPARE(listing(m_fx.folder()), before);
        QCOMPARE(m_fx.prompts.shown.size(), 2);
        QVERIFY2(m_fx.prompts.shown[1].startsWith(QLatin1String("error: ")), qPrintable(m_fx.prompts.shown[1]));
        QCOMPARE(f->nodeGroups->childCount(), reset ? 1 : 0); // the item itself goes on Delete
    }

    void linkOutOfGroupFolderIsNotFollowed()
    {
        TMainForm *f = openConfig();
        QVERIFY(f);
        QTemporaryDir outside;
        QVERIFY(makeFile(outside.filePath(QStringLiteral("keep/precious.txt"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/sales/xover.dat"))));
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("keep")), m_fx.path(QStringLiteral("data/sales/linked"))));
        QVERIFY(QFile::link(m_fx.folder(), m_fx.path(QStringLiteral("data/sales/up"))));
        m_fx.select(f->nodeGroups->child(0));
        m_fx.prompts.answers = {Prompts::Answer::Yes};
        f->actnResetExecute();
        QCOMPARE(listing(m_fx.folder()), QStringList{QStringLiteral("quilmora.ini")});
        QCOMPARE(listing(outside.path()), (QStringList{QStringLiteral("keep/"), QStringLiteral("keep/precious.txt")}));
    }

    // Group a.x's folder is data/a/x. With data/a missing (or holding no x), Delete asks
    // no data question and Reset removes nothing: data/x, group x's folder, and everything
    // else stay as they were.
    void missingFolderOnTheWay_data()
    {
        QTest::addColumn<bool>("reset"); // else Delete
        QTest::addColumn<bool>("aMissing");
        QTest::newRow("Delete, data/a missing") << false << true;
        QTest::newRow("Delete, data/a without x") << false << false;
        QTest::newRow("Reset, data/a missing") << true << true;
        QTest::newRow("Reset, data/a without x") << true << false;
    }
    void missingFolderOnTheWay()
    {
        QFETCH(bool, reset);
        QFETCH(bool, aMissing);
        TMainForm *f = openConfig("[GROUP1]\r\nName=a.x\r\n[GROUP2]\r\nName=x\r\n");
        QVERIFY(f);
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/x/xover.dat"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/x/0000000001"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/y/xover.dat"))));
        if (!aMissing)
            QVERIFY(makeFile(m_fx.path(QStringLiteral("data/a/b/xover.dat"))));
        const QStringList before = listing(m_fx.folder());
        m_fx.select(f->nodeGroups->child(0));
        m_fx.prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
        if (reset)
            f->actnResetExecute();
        else
            f->actnDeleteExecute();
        QCOMPARE(listing(m_fx.folder()), before);
        QCOMPARE(m_fx.prompts.shown.size(), 1); // the confirmation only: no data question, no error
        QCOMPARE(f->nodeGroups->childCount(), reset ? 2 : 1);
    }

    // Data that cannot be reached (a folder without permission, as a test hook plays it for
    // root) is reported with what stayed; the undo step of the Delete then says that its
    // messages stay deleted only when some of them went.
    void unreachableDataIsReported_data()
    {
        QTest::addColumn<QString>("denied"); // the folder below data that cannot be opened
        QTest::addColumn<QString>("why");
        QTest::addColumn<QString>("undoText");
        QTest::newRow("data") << "" << "/data cannot be opened (Permission denied)" << "Undo Delete of group a.b";
        QTest::newRow("data/a") << "a" << ": data/a cannot be opened (Permission denied)" << "Undo Delete of group a.b";
        QTest::newRow("a folder inside") << "a/b/sub" << "what stayed: data/a/b/sub (Permission denied)"
                                         << "Undo Delete of group a.b (its messages stay deleted)";
    }
    void unreachableDataIsReported()
    {
        QFETCH(QString, denied);
        QFETCH(QString, why);
        QFETCH(QString, undoText);
        TMainForm *f = openConfig("[GROUP1]\r\nName=a.b\r\n");
        QVERIFY(f);
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/a/b/xover.dat"))));
        QVERIFY(makeFile(m_fx.path(QStringLiteral("data/a/b/sub/0000000001"))));
        GroupDataFolder::TestHooks hooks;
        hooks.openError = [denied](const QString &relative) { return relative == denied ? EACCES : 0; };
        GroupDataFolder::setTestHooks(hooks);
        m_fx.select(f->nodeGroups->child(0));
        m_fx.prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
        f->actnDeleteExecute();
        GroupDataFolder::setTestHooks({});
        QCOMPARE(m_fx.prompts.shown.size(), 3);
        const QString error = m_fx.prompts.shown[2];
        QVERIFY2(error.startsWith(QStringLiteral("error: Could not remove everything in the data folder ") +
                                  m_fx.path(QStringLiteral("data/a/b"))),
                 qPrintable(error));
        QVERIFY2(error.contains(why), qPrintable(error));
        QVERIFY(QFileInfo::exists(m_fx.path(QStringLiteral("data/a/b/sub/0000000001"))));
        QCOMPARE(f->nodeGroups->childCount(), 0);
        QCOMPARE(f->actnUndo->text(), undoText);
    }

    void groupNameCheck_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("dotted") << "comp.lang" << false;
        QTest::newRow("digits and capitals") << "Sales2.EU" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("space") << "comp lang" << true;
        QTest::newRow("hyphen") << "comp-lang" << true;
        QTest::newRow("underscore") << "comp_lang" << true;
        QTest::newRow("accented letter") << QString::fromUtf8("caf\u00e9") << true;
    }
    void groupNameCheck()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        TMainForm *f = openConfig();
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        NavNode *group = f->nodeGroups->child(0) ? static_cast<NavNode *>(f->nodeGroups->child(0)) : nullptr;
        m_fx.select(group);
        f->editGroupName->setFocus();
        QTRY_VERIFY(f->editGroupName->hasFocus());
        f->editGroupName->clear();
        for (const QChar c : name) // a key of another keyboard carries its character
            QTest::sendKeyEvent(QTest::Click, f->editGroupName, Qt::Key_unknown, QString(c), Qt::NoModifier);
        f->editGroupDesc->setFocus(); // leaving the field
        const QStringList message{QStringLiteral("error: Name value can only contain alphanumeric characters and periods")};
        if (refused) {
            QTRY_COMPARE(m_fx.prompts.shown, message);
            QTRY_VERIFY(f->editGroupName->hasFocus());
        } else {
            QCoreApplication::processEvents(); // the check runs once the focus has settled
            QCOMPARE(m_fx.prompts.shown, QStringList());
        }
        // Nothing is undone: the name was taken into the item as it was typed.
        QCOMPARE(TextCodec().decode(group->group()->Name), name);
    }

    // The name field left by a click on another group's row, as a user does: a refused
    // name is reported while its own group stays selected and shown, and its field takes
    // the focus back; a name that passes lets the click select the other group.
    void groupNameLeftByTreeClick_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("refused");
        QTest::newRow("refused, left click") << "sales team" << Qt::LeftButton << true;
        QTest::newRow("refused, right click") << "sales-eu" << Qt::RightButton << true;
        QTest::newRow("passes, left click") << "sales.eu" << Qt::LeftButton << false;
        QTest::newRow("passes, right click") << "sales2" << Qt::RightButton << false;
    }
    void groupNameLeftByTreeClick()
    {
        QFETCH(QString, name);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, refused);
        TMainForm *f = openConfig();
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        NavNode *sales = EditorFixture::child(f->nodeGroups, QStringLiteral("sales"));
        NavNode *other = EditorFixture::child(f->nodeGroups, QStringLiteral("support"));
        QVERIFY(sales && other);
        m_fx.select(sales);
        f->editGroupName->setFocus();
        QTRY_VERIFY(f->editGroupName->hasFocus());
        f->editGroupName->selectAll();
        QTest::keyClicks(f->editGroupName, name);

        QList<QTreeWidgetItem *> selections;
        connect(f->tvNav, &QTreeWidget::currentItemChanged, f,
                [&selections](QTreeWidgetItem *now) { selections << now; });
        const auto clickRow = [f, button](QTreeWidgetItem *node) {
            QTest::mouseClick(f->tvNav->viewport(), button, {}, f->tvNav->visualItemRect(node).center());
        };
        clickRow(other);
        const QStringList message{QStringLiteral("error: Name value can only contain alphanumeric characters and periods")};
        if (!refused) {
            QTRY_COMPARE(f->tvNav->currentItem(), other);
            QCoreApplication::processEvents();
            QCOMPARE(m_fx.prompts.shown, QStringList());
            f->PopupMenu1->hide();
            return;
        }
        QTRY_COMPARE(m_fx.prompts.shown, message);
        QTRY_VERIFY(f->editGroupName->hasFocus());
        // The other group was never selected, so the message stood over this one's page.
        QCOMPARE(selections, QList<QTreeWidgetItem *>());
        QCOMPARE(f->tvNav->currentItem(), sales);
        QCOMPARE(f->pctrlMain->currentWidget(), f->tabsGroupItem);
        QCOMPARE(f->editGroupName->text(), name);
        QCOMPARE(sales->text(0), name);
        QVERIFY(!f->PopupMenu1->isVisible());

        // Mended, the name lets the same click through.
        f->editGroupName->selectAll();
        QTest::keyClicks(f->editGroupName, QStringLiteral("sales.eu"));
        clickRow(other);
        QTRY_COMPARE(f->tvNav->currentItem(), other);
        QCoreApplication::processEvents();
        QCOMPARE(m_fx.prompts.shown, message);
        QCOMPARE(sales->text(0), QStringLiteral("sales.eu"));
        f->PopupMenu1->hide();
    }
};

QTEST_MAIN(TestItemCommands)
#include "tst_itemcommands.moc"
