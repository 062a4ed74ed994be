// "Delete Messages" on the editor's tree: which nodes and modes offer it, and the message
// archive dialog it opens for the selected group.
#include "archive/TArchiveForm.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "platform/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using GuiTestUtil::child;

namespace {

// Three groups: one whose folder lies two levels down, one named "..", which can name no
// folder inside "data", and one more.
const QByteArray Config = "[SERVER]\r\n"
                          "Version=1.05\r\n"
                          "[USER1]\r\n"
                          "Name=tom\r\n"
                          "[GROUP1]\r\n"
                          "Name=comp.lang\r\n"
                          "[GROUP2]\r\n"
                          "Name=..\r\n"
                          "[GROUP3]\r\n"
                          "Name=sales\r\n";

// Messages of 18, 19 and 20 May 2024; the clock's today is 20 May 2024.
const QByteArray Xover = "1=s\ta\tSat, 18 May 2024 09:00:00 +0000\r\n"
                         "2=s\ta\tSun, 19 May 2024 23:59:59 +0000\r\n"
                         "3=s\ta\tMon, 20 May 2024 00:00:00 +0000\r\n";
const QByteArray Msgid = "1=<a>\r\n2=<b>\r\n3=<c>\r\n";
const QByteArray Outbound = "1=o1\r\n3=o3\r\n";

class FakeTransfer : public ConfigTransfer
{
public:
    QString fetchConfig(const QString &folder) override
    {
        if (!TestFiles::write(QDir(folder).filePath(QStringLiteral("host.example")), Config))
            return {};
        return QStringLiteral("host.example");
    }
    void putConfig(const QString &) override {}
};

class FixedChooser : public RunModeChooser
{
public:
    bool remote = false;
    RunModeChoice choose(QWidget *) override
    {
        return remote ? RunModeChoice::remote(std::make_unique<FakeTransfer>()) : RunModeChoice::local();
    }
};

} // namespace

class TestDelMsg : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedPrompts m_prompts;
    FixedClock m_clock{QDateTime(QDate(2024, 5, 20), QTime(15, 30))};
    FixedChooser m_chooser;
    std::unique_ptr<TMainForm> m_form;

    QString groupFolder() const { return m_dir->filePath(QStringLiteral("data/comp/lang")); }
    QByteArray index(const char *name) const
    {
        return TestFiles::read(groupFolder() + QLatin1Char('/') + QLatin1String(name));
    }

    TMainForm *open(bool remote)
    {
        m_form.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(groupFolder());
        if (!TestFiles::write(m_dir->filePath(QStringLiteral("quilmora.ini")), Config) ||
            !TestFiles::write(groupFolder() + QStringLiteral("/xover.dat"), Xover) ||
            !TestFiles::write(groupFolder() + QStringLiteral("/msgid.dat"), Msgid) ||
            !TestFiles::write(groupFolder() + QStringLiteral("/outbound.dat"), Outbound))
            return nullptr;
        m_prompts = ScriptedPrompts();
        m_chooser.remote = remote;
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.clock = &m_clock;
        ctx.programFolder = m_dir->path();
        ctx.runModeChooser = &m_chooser;
        ctx.localAddresses = [] { return QStringList(); };
        m_form = std::make_unique<TMainForm>(ctx);
        if (m_form->start(false) != TMainForm::StartResult::Run)
            return nullptr;
        m_form->show();
        return m_form.get();
    }

    QTreeWidgetItem *node(const QString &path) const
    {
        const QString top = path.section(QLatin1Char('/'), 0, 0);
        const QString rest = path.section(QLatin1Char('/'), 1);
        QTreeWidgetItem *n = m_form->tvNav->findItems(top, Qt::MatchExactly).value(0);
        if (n && !rest.isEmpty()) {
            QTreeWidgetItem *parent = n;
            n = nullptr;
            for (int i = 0; i < parent->childCount() && !n; ++i)
                if (parent->child(i)->text(0) == rest)
                    n = parent->child(i);
        }
        return n;
    }

private slots:
    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void offeredOnlyForAGroupInLocalMode_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<QString>("path"); // empty: no node selected
        QTest::addColumn<bool>("offered");
        QTest::newRow("group, local") << false << "Groups/comp.lang" << true;
        QTest::newRow("group, remote") << true << "Groups/comp.lang" << false;
        QTest::newRow("Groups root") << false << "Groups" << false;
        QTest::newRow("user") << false << "Users/tom" << false;
        QTest::newRow("General") << false << "General" << false;
        QTest::newRow("no node") << false << "" << false;
    }
    void offeredOnlyForAGroupInLocalMode()
    {
        QFETCH(bool, remote);
        QFETCH(QString, path);
        QFETCH(bool, offered);
        TMainForm *f = open(remote);
        QVERIFY(f);
        QCOMPARE(f->isRemoteMode(), remote);
        if (!path.isEmpty()) {
            QTreeWidgetItem *n = node(path);
            QVERIFY(n);
            f->tvNav->setCurrentItem(n);
        }
        // Enabled as soon as the node is selected, before any menu opens.
        QCOMPARE(f->actnDelMsg->isEnabled(), offered);
        QCOMPARE(f->actnDelMsg->text(), QStringLiteral("Delete Messages"));

        f->PopupMenu1Popup();
        auto *entry = child<QAction>(f->PopupMenu1, "menuDelMsg");
        QVERIFY(entry);
        QVERIFY(f->PopupMenu1->actions().contains(entry));
        QCOMPARE(entry->text(), QStringLiteral("Delete Messages"));
        QCOMPARE(entry->isVisible(), offered);
        QCOMPARE(entry->isEnabled(), offered);
        if (!offered) {
            // A disabled action cannot be run, and no file is touched.
            QVERIFY(!GuiTestUtil::trigger(f, "actnDelMsg"));
            QCOMPARE(index("xover.dat"), Xover);
        }
    }

    // The menu entry follows its action when the selection moves on.
    void followsTheSelection()
    {
        TMainForm *f = open(false);
        QVERIFY(f);
        auto *entry = child<QAction>(f->PopupMenu1, "menuDelMsg");
        f->tvNav->setCurrentItem(node(QStringLiteral("Groups/sales")));
        QVERIFY(entry->isEnabled());
        f->tvNav->setCurrentItem(node(QStringLiteral("Users/tom")));
        QVERIFY(!f->actnDelMsg->isEnabled());
        QVERIFY(!entry->isEnabled());

        if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QTreeWidgetItem *group = node(QStringLiteral("Groups/comp.lang"));
            f->tvNav->setCurrentItem(group);
            const QPoint at = f->tvNav->visualItemRect(group).center();
            emit f->tvNav->customContextMenuRequested(at);
            QVERIFY(QTest::qWaitForWindowExposed(f->PopupMenu1));
            QPixmap shot = f->grab();
            QPainter p(&shot);
            p.drawPixmap(f->mapFromGlobal(f->PopupMenu1->pos()), f->PopupMenu1->grab());
            p.end();
            shot.save(dir + QStringLiteral("/tree-menu-group.png"));
            f->PopupMenu1->close();
        }
    }

    void purgesTheSelectedGroup_data()
    {
        QTest::addColumn<bool>("viaMenu");
        QTest::addColumn<int>("days");
        QTest::addColumn<QByteArray>("xoverAfter");
        QTest::addColumn<QByteArray>("msgidAfter");
        QTest::addColumn<QByteArray>("outboundAfter");
        QTest::newRow("older than 0 days") << false << 0 << Xover.mid(Xover.indexOf("3=")) << QByteArray("3=<c>\r\n")
                                           << QByteArray("3=o3\r\n");
        QTest::newRow("older than 1 day, from the menu")
            << true << 1 << Xover.mid(Xover.indexOf("2=")) << QByteArray("2=<b>\r\n3=<c>\r\n") << QByteArray("3=o3\r\n");
    }
    void purgesTheSelectedGroup()
    {
        QFETCH(bool, viaMenu);
        QFETCH(int, days);
        TMainForm *f = open(false);
        QVERIFY(f);
        f->tvNav->setCurrentItem(node(QStringLiteral("Groups/comp.lang")));
        m_prompts.answers = {Prompts::Answer::Yes}; // 0 days: a cut-off of today is confirmed

        QString folderSeen;
        QWidget *ownerSeen = nullptr;
        bool stayedOpen = false;
        GuiTestUtil::onNextModal([&](QWidget *modal) {
            auto *form = qobject_cast<TArchiveForm *>(modal);
            QVERIFY(form);
            folderSeen = form->GroupFolder();
            ownerSeen = form->parentWidget();
            auto *spin = child<QSpinBox>(form, "SpinEdit1");
            QLineEdit *text = spin->findChild<QLineEdit *>();
            text->selectAll();
            QTest::keyClick(text, Qt::Key_Backspace);
            QTest::keyClicks(text, QString::number(days));
            QTest::mouseClick(child<QPushButton>(form, "butnDelete"), Qt::LeftButton);
            stayedOpen = form->isVisible();
            QTest::mouseClick(child<QPushButton>(form, "butnCancel"), Qt::LeftButton);
        });
        if (viaMenu) {
            f->PopupMenu1Popup();
            auto *entry = child<QAction>(f->PopupMenu1, "menuDelMsg");
            QVERIFY(entry && entry->isVisible() && entry->isEnabled());
            entry->trigger();
        } else {
            QVERIFY(GuiTestUtil::trigger(f, "actnDelMsg"));
        }
        QCOMPARE(QDir::cleanPath(folderSeen), QDir::cleanPath(groupFolder()));
        QCOMPARE(ownerSeen, f);
        QVERIFY(stayedOpen);
        QTEST(index("xover.dat"), "xoverAfter");
        QTEST(index("msgid.dat"), "msgidAfter");
        QTEST(index("outbound.dat"), "outboundAfter");
        QCOMPARE(m_prompts.shown.size(), days == 0 ? 1 : 0);
        QVERIFY(!f->isChanged()); // the configuration itself is not touched
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    // A group whose name can name no folder inside "data" gets an error and no dialog.
    void unsafeGroupNameOpensNothing()
    {
        TMainForm *f = open(false);
        QVERIFY(f);
        f->tvNav->setCurrentItem(node(QStringLiteral("Groups/..")));
        bool opened = false;
        GuiTestUtil::onNextModal([&](QWidget *modal) {
            opened = true;
            modal->close();
        }, 300);
        QVERIFY(GuiTestUtil::trigger(f, "actnDelMsg"));
        QTest::qWait(400);
        QVERIFY(!opened);
        QCOMPARE(m_prompts.shown.size(), 1);
        QVERIFY2(m_prompts.shown[0].startsWith(QLatin1String("error: ")), qPrintable(m_prompts.shown[0]));
        QCOMPARE(index("xover.dat"), Xover);
    }
};

QTEST_MAIN(TestDelMsg)
#include "tst_delmsg.moc"
