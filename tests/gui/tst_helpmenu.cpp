// The Help menu of the editor's main window and the windows it opens: documentation,
// home page, support request, tip of the day, version check and about box, against
// loopback mail and version servers.
#include "config/AppIdentity.h"
#include "widgets/RadioGroup.h"
#include "main/TMainForm.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "services/TAboutForm.h"
#include "services/TKDTipDay.h"
#include "services/TKDVersion.h"
#include "services/TSupportForm.h"
#include "services/TTipForm.h"
#include "support/LoopbackLineServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QPointer>
#include <QScopeGuard>
#include <memory>

using GuiTestUtil::child;
using GuiTestUtil::onNextModal;

namespace {

const QString KeyPath = QStringLiteral("\\SOFTWARE\\Kovalen Designs\\Quilmora");
const QString HomePage = QStringLiteral("https://home.quilmora.example/editor");

FixedSystemInfo machine()
{
    FixedSystemInfo s;
    s.os = {true, QStringLiteral("Debian GNU/Linux 12 (bookworm)"), QStringLiteral("6.1"), QStringLiteral("6.1.0-13-amd64")};
    s.mem = {2048ull * 1024, 1024ull * 1024};
    s.diskSpace = {true, 1000, 400};
    return s;
}

// Closes a modal window when its test handler ends, also when a check in it failed, so a
// failure cannot leave the test waiting in the window's event loop.
auto closeOnExit(QWidget *w)
{
    return qScopeGuard([p = QPointer<QWidget>(w)]() {
        if (p && p->isVisible())
            p->close();
    });
}

} // namespace

class TestHelpMenu : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniFileRegistry> m_registry;
    ScriptedPrompts m_prompts;
    RecordingShell m_shell;
    FixedSystemInfo m_system = machine();
    std::unique_ptr<TMainForm> m_form;

    // The editor on the demo server folder, shown.
    TMainForm *open()
    {
        m_form.reset();
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.programFolder = m_dir->path();
        ctx.localAddresses = [] { return QStringList{QStringLiteral("192.0.2.10")}; };
        ctx.registry = m_registry.get();
        ctx.shell = &m_shell;
        ctx.systemInfo = &m_system;
        m_form = std::make_unique<TMainForm>(ctx);
        if (m_form->start(false) != TMainForm::StartResult::Run)
            return nullptr;
        m_form->show();
        return m_form.get();
    }

    std::unique_ptr<RegistryKey> key(bool create)
    {
        return m_registry->openKey(Registry::Root::LocalMachine, KeyPath, Registry::Access::Full, create);
    }

    // A support dialog as the Help menu opens it.
    std::unique_ptr<TSupportForm> supportForm()
    {
        auto f = std::make_unique<TSupportForm>(m_prompts, m_system, m_dir->path());
        f->applicationText = QString::fromLatin1(AppIdentity::ApplicationTitle);
        f->versionText = QStringLiteral("1.05");
        f->timeoutMs = 5000;
        return f;
    }

private slots:
    void initTestCase()
    {
        qputenv("QUILMORA_HOME_PAGE", HomePage.toUtf8());
        qputenv("QUILMORA_SUPPORT_HOST", "127.0.0.1");
        qputenv("QUILMORA_SUPPORT_MAILBOX", "help@quilmora.example");
        qputenv("QUILMORA_VERSION_HOST", "127.0.0.1");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("quilmora.ini")),
                                 TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini"))));
        QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("tips.dat")), "-first tip\r\n*second%sfact\r\n+third\r\n"));
        m_registry = std::make_unique<IniFileRegistry>(m_dir->filePath(QStringLiteral("registry")));
        m_prompts = ScriptedPrompts();
        m_shell = RecordingShell();
    }

    void cleanup() { m_form.reset(); }

    void hintsInTheStatusBar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("hint");
        QTest::newRow("Documentation") << "actnDocumentation" << "Quilmora Documentation";
        QTest::newRow("Support") << "actnSupport" << "Technical Support";
        QTest::newRow("Home page") << "actnHomePage" << "Go to the Quilmora Home Page";
        QTest::newRow("Tip of the Day") << "actnTipDay" << "Display the tip of the day";
        QTest::newRow("Check For New Version") << "actnCheckVersion" << "Check for new version of the software";
        QTest::newRow("About, which has none") << "actnAbout" << "";
    }
    void hintsInTheStatusBar()
    {
        QFETCH(QString, name);
        QFETCH(QString, hint);
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        auto *help = f->findChild<QMenu *>(QStringLiteral("menuHelp"));
        auto *action = f->findChild<QAction *>(name);
        QVERIFY(help && action);
        QVERIFY(help->actions().contains(action));
        help->popup(f->mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitForWindowExposed(help));
        // Over a message already shown, so an entry without a hint is seen to clear it.
        f->StatusBar1->showMessage(QStringLiteral("an earlier hint"));
        QTest::mouseMove(help, help->actionGeometry(action).center());
        QTRY_COMPARE(f->StatusBar1->currentMessage(), hint);
        help->close();
    }

    void documentation_data()
    {
        QTest::addColumn<bool>("viewer");
        QTest::newRow("a PDF viewer") << true;
        QTest::newRow("no PDF viewer") << false;
    }
    void documentation()
    {
        QFETCH(bool, viewer);
        m_shell.hasViewer = viewer;
        QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("quilmora.pdf")), "%PDF-1.4\n"));
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(GuiTestUtil::trigger(f, "actnDocumentation"));
        if (viewer) {
            QCOMPARE(m_shell.opened, QStringList{m_dir->filePath(QStringLiteral("quilmora.pdf"))});
            QVERIFY(m_prompts.shown.isEmpty());
        } else {
            QVERIFY(m_shell.opened.isEmpty());
            QCOMPARE(m_prompts.shown.size(), 1);
            const QStringList lines = m_prompts.shown.first().split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], QStringLiteral("information: You need Adobe Acrobat Reader to view the documentation."));
            QVERIFY(lines[1].contains(QStringLiteral("free of charge")));
            QVERIFY(lines[1].contains(QStringLiteral("https://")));
        }
    }

    void homePage()
    {
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(GuiTestUtil::trigger(f, "actnHomePage"));
        QCOMPARE(m_shell.opened, QStringList{HomePage});
    }

    void aboutBox()
    {
        TMainForm *f = open();
        QVERIFY(f);
        bool seen = false;
        onNextModal([&](QWidget *w) {
            const auto closer = closeOnExit(w);
            auto *about = qobject_cast<TAboutForm *>(w);
            QVERIFY(about);
            seen = true;
            QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(about->size(), QSize(336, 208));
            QCOMPARE(about->lablVersion->text(), QStringLiteral("1.05"));
            QCOMPARE(about->Label27->text(), QStringLiteral("Quilmora"));
            QCOMPARE(about->Label30->text(), HomePage);
            QTest::mouseClick(about->Label30, Qt::LeftButton);
            QCOMPARE(m_shell.opened, QStringList{HomePage});
            QTest::mouseClick(about->Button1, Qt::LeftButton);
        });
        QPointer<TAboutForm> before = f->findChild<TAboutForm *>();
        QVERIFY(!before);
        QVERIFY(GuiTestUtil::trigger(f, "actnAbout"));
        QVERIFY(seen);
        // The box frees itself when it closes.
        QTRY_VERIFY(!f->findChild<TAboutForm *>());
    }

    void checkVersion_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("same") << QByteArray("VERSION=1.05\r\n")
                              << QStringList{"information: You have the latest version of Quilmora Configuration Installed!"};
        QTest::newRow("newer, cancelled")
            << QByteArray("VERSION=1.06\r\nURL=https://dl.quilmora.example/\r\n")
            << QStringList{"informationOkCancel: A new version of Quilmora Configuration Editor exists. Click OK to go to the URL for download"};
    }
    void checkVersion()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, shown);
        LoopbackLineServer server({LoopbackLineServer::Script().reply("200 OK\r\n" + lines + ".\r\n")});
        qputenv("QUILMORA_VERSION_PORT", QByteArray::number(server.port()));
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(GuiTestUtil::trigger(f, "actnCheckVersion"));
        QVERIFY(server.wait());
        QCOMPARE(server.received(0), QByteArray("VERSION REVADIDOVADIDU 1.05\r\n"));
        QCOMPARE(m_prompts.shown, shown);
        QVERIFY(m_shell.opened.isEmpty());
        QVERIFY(!f->KDVersion1->OnSameVersion);
        // A manual check leaves the registry alone.
        QVERIFY(!key(false));
    }

    void checkVersionUnreachableShowsNothing()
    {
        quint16 port;
        {
            LoopbackLineServer gone({});
            port = gone.port();
        }
        qputenv("QUILMORA_VERSION_PORT", QByteArray::number(port));
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(GuiTestUtil::trigger(f, "actnCheckVersion"));
        QVERIFY(m_prompts.shown.isEmpty());
        QVERIFY(!f->KDVersion1->OnSameVersion);
    }

    // With tips enabled the window comes up when the main window first becomes active.
    void tipAtStartWhenEnabled()
    {
        auto k = key(true);
        QVERIFY(k && k->writeString(QStringLiteral("TipsEnabled"), QStringLiteral("1")));
        QVERIFY(k->writeString(QStringLiteral("CurrentTip"), QStringLiteral("0")));
        int shownTimes = 0;
        onNextModal([&](QWidget *w) {
            const auto closer = closeOnExit(w);
            auto *tips = qobject_cast<TTipForm *>(w);
            QVERIFY(tips);
            ++shownTimes;
            QCOMPARE(tips->lblTitle->text(), QStringLiteral("Did You Know..!"));
            QCOMPARE(tips->lbltip->text(), QStringLiteral("second\nfact"));
            QVERIFY(tips->cbShowTips->isChecked());
            tips->cbShowTips->click();
            QTest::mouseClick(tips->btnClose, Qt::LeftButton);
        });
        TMainForm *f = open();
        QVERIFY(f);
        QTRY_COMPARE(shownTimes, 1);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(key(false)->readString(QStringLiteral("TipsEnabled")), QStringLiteral("0"));
        QCOMPARE(key(false)->readString(QStringLiteral("CurrentTip")), QStringLiteral("0"));
        // Coming back to the window does not show it again.
        f->activateWindow();
        QTest::qWait(50);
        QCOMPARE(shownTimes, 1);
    }

    void noTipAtStartWhenDisabled()
    {
        auto k = key(true);
        QVERIFY(k && k->writeString(QStringLiteral("TipsEnabled"), QStringLiteral("0")));
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(QTest::qWaitForWindowActive(f));
        QTest::qWait(50);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!f->TipDay->TipsEnabled);
    }

    // "Tip of the Day" shows the window whatever the setting; Next and Previous step and wrap.
    void tipOfTheDayFromTheMenu()
    {
        TMainForm *f = open(); // no key: tips are off
        QVERIFY(f);
        QStringList seen;
        onNextModal([&](QWidget *w) {
            const auto closer = closeOnExit(w);
            auto *tips = qobject_cast<TTipForm *>(w);
            QVERIFY(tips);
            QCOMPARE(tips->size(), QSize(419, 184));
            QVERIFY(!tips->cbShowTips->isChecked());
            QVERIFY(tips->btnClose->isDefault());
            seen << tips->lbltip->text();
            QTest::mouseClick(tips->btnNext, Qt::LeftButton);
            seen << tips->lbltip->text();
            QTest::mouseClick(tips->btnNext, Qt::LeftButton);
            seen << tips->lbltip->text();
            QTest::mouseClick(tips->btnPrevious, Qt::LeftButton);
            seen << tips->lbltip->text();
            QCOMPARE(tips->btnNext->text(), QStringLiteral("Next     "));
            QCOMPARE(tips->btnPrevious->text(), QStringLiteral("Previous "));
            // Tab order: Close, (the panel takes no focus) Previous, Next, the check box. The
            // window must be active for focus to move (a loaded machine activates it late).
            tips->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(tips));
            QWidget *order[] = {tips->btnPrevious, tips->btnNext, tips->cbShowTips, tips->btnClose};
            tips->btnClose->setFocus();
            for (QWidget *next : order) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget(), next);
            }
            tips->reject(); // the close box
        });
        QVERIFY(GuiTestUtil::trigger(f, "actnTipDay"));
        // No key: the index stayed 0, so the second entry came first.
        QCOMPARE(seen, QStringList({"second\nfact", "third", "first tip", "third"}));
        QCOMPARE(key(false)->readString(QStringLiteral("CurrentTip")), QStringLiteral("2"));
        QCOMPARE(key(false)->readString(QStringLiteral("TipsEnabled")), QStringLiteral("0"));
    }

    // The check box shows the setting the window read when it was shown, which is what
    // closing it stores: here the key came into being after start-up.
    void tipCheckBoxFollowsTheStoredSetting()
    {
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(!f->TipDay->TipsEnabled);
        QVERIFY(key(true)); // as the connection dialog's settings create it: no tip values
        bool checked = false;
        onNextModal([&](QWidget *w) {
            const auto closer = closeOnExit(w);
            auto *tips = qobject_cast<TTipForm *>(w);
            QVERIFY(tips);
            checked = tips->cbShowTips->isChecked();
            tips->cbShowTips->click();
            tips->accept();
        });
        QVERIFY(GuiTestUtil::trigger(f, "actnTipDay"));
        QVERIFY(checked);
        QCOMPARE(key(false)->readString(QStringLiteral("TipsEnabled")), QStringLiteral("0"));
    }

    void tipsWindowWithoutTips()
    {
        QFile::remove(m_dir->filePath(QStringLiteral("tips.dat")));
        TKDTipDay tipDay(m_registry.get());
        tipDay.TipFile = m_dir->filePath(QStringLiteral("tips.dat"));
        tipDay.LoadTips();
        TTipForm form(tipDay);
        QCOMPARE(form.lblTitle->text(), QStringLiteral("Oops..."));
        QCOMPARE(form.lbltip->text(), QString());
        QTest::mouseClick(form.btnNext, Qt::LeftButton);
        QCOMPARE(form.lblTitle->text(), QStringLiteral("Oops..."));
    }

    void supportLayoutByType()
    {
        auto f = supportForm();
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        QCOMPARE(f->size(), QSize(479, 368));
        QCOMPARE(f->rgrpType->itemIndex(), 0);
        QCOMPARE(f->cboxOccurence->currentIndex(), -1);
        QVERIFY(!f->lablOccurence->isVisible());
        QCOMPARE(f->editTitle->width(), 409);
        QCOMPARE(f->editTitle->x(), 48);
        QCOMPARE(f->memoDetails->x(), 48);
        // The occurrence box ends with the details box; its label stands before it, at 248
        // or further left where the box needs the room for its longest entry.
        QCOMPARE(f->cboxOccurence->geometry().right(), f->memoDetails->geometry().right());
        QVERIFY(f->lablOccurence->x() <= 248);
        QVERIFY(f->lablOccurence->geometry().right() < f->cboxOccurence->x());
        f->rgrpType->button(1)->click();
        QVERIFY(f->lablOccurence->isVisible());
        QVERIFY(f->cboxOccurence->isVisible());
        QCOMPARE(f->editTitle->width(), f->lablOccurence->x() - 60);
        f->rgrpType->button(2)->click();
        QVERIFY(!f->cboxOccurence->isVisible());
        QCOMPARE(f->editTitle->width(), 409);
    }

    // Tab runs through the fields in reading order, leaving the type group from whichever
    // type is chosen.
    void supportTabOrder()
    {
        auto f = supportForm();
        f->show();
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
        f->rgrpType->button(1)->click();
        f->editName->setFocus();
        QWidget *order[] = {f->editEmail, f->editTelephone, f->rgrpType, f->editTitle, f->cboxOccurence, f->memoDetails};
        for (QWidget *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (next == f->rgrpType) // one of the group's buttons
                QCOMPARE(QApplication::focusWidget()->parentWidget(), next);
            else
                QCOMPARE(QApplication::focusWidget(), next);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // Tab leaves the details box
        QCOMPARE(QApplication::focusWidget(), f->butnPreview);
    }

    // An address that is empty or could end the address early or add words to the mail's
    // commands is refused in the dialog: a message, nothing sent, the dialog stays.
    void supportNeedsAnAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << QString();
        QTest::newRow("closing bracket") << QStringLiteral("a@b> AUTH=<evil@x>");
        QTest::newRow("opening bracket") << QStringLiteral("ann<ann@site.example");
        QTest::newRow("blank") << QStringLiteral("ann @site.example");
        QTest::newRow("only blanks") << QStringLiteral("   ");
        QTest::newRow("tab") << QStringLiteral("ann\t@site.example");
        QTest::newRow("control") << QStringLiteral("ann\x01@site.example");
        QTest::newRow("delete") << QStringLiteral("ann\x7f@site.example");
        QTest::newRow("no-break space") << QStringLiteral("ann\u00a0@site.example");
    }

    void supportNeedsAnAddress()
    {
        QFETCH(QString, address);
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()}, 300);
        qputenv("QUILMORA_SUPPORT_PORT", QByteArray::number(server.port()));
        auto f = supportForm();
        f->show();
        f->editEmail->setText(address);
        QTest::mouseClick(f->butnSend, Qt::LeftButton);
        QCOMPARE(m_prompts.shown, QStringList{"error: Please provide a valid e-mail address"});
        QVERIFY(f->isVisible());
        QVERIFY(!server.wait());
        QCOMPARE(server.connections(), 0);
    }

    // The user's block as the report carries it: an occurrence chosen under "Bug report"
    // stays after switching to "Other"; the details' lines follow unchanged.
    void supportSendsTheReport()
    {
        LoopbackLineServer server({LoopbackLineServer::smtpAccepting()});
        qputenv("QUILMORA_SUPPORT_PORT", QByteArray::number(server.port()));
        auto f = supportForm();
        f->show();
        QTest::keyClicks(f->editName, QStringLiteral("Ann Admin"));
        QTest::keyClicks(f->editEmail, QStringLiteral("ann@site.example"));
        QTest::keyClicks(f->editTelephone, QStringLiteral("+1 555 0100"));
        f->rgrpType->button(1)->click();
        f->cboxOccurence->setCurrentIndex(2);
        f->rgrpType->button(2)->click();
        QTest::keyClicks(f->editTitle, QStringLiteral("Groups vanish"));
        f->memoDetails->setPlainText(QStringLiteral("Line one\n.starts with a dot\n"));
        QTest::mouseClick(f->butnSend, Qt::LeftButton);
        QVERIFY(server.wait());
        QVERIFY(m_prompts.shown.isEmpty());
        QCOMPARE(f->result(), int(QDialog::Accepted));
        const QByteArray got = server.received(0);
        QVERIFY(got.contains("Mail from:<ann@site.example>\r\nRCPT to:<help@quilmora.example>\r\n"));
        QVERIFY(got.contains("\r\nSubject: Technical Support: Quilmora Configuration Editor\r\n"));
        QVERIFY(got.contains("\r\n\r\nSUPPORT REQUEST\r\n===============\r\n"
                             "Name     : Ann Admin\r\n"
                             "Email    : ann@site.example\r\n"
                             "Telephone: +1 555 0100\r\n"
                             "Type     : Other\r\n"
                             "Title    : Groups vanish\r\n"
                             "Occurence: Frequently - Can Reproduce\r\n"
                             "Details  : \r\n"
                             "Line one\r\n"
                             "..starts with a dot\r\n"
                             "\r\n"
                             "APPLICATION\r\n===========\r\n"
                             "Application                            : Quilmora Configuration Editor\r\n"
                             "Version                                : 1.05\r\n"));
    }

    void supportUserBlockEdges()
    {
        auto f = supportForm();
        f->editEmail->setText(QStringLiteral("   "));
        const QStringList lines = f->userInfo();
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[1], QStringLiteral("Email    :    "));
        QCOMPARE(lines[3], QStringLiteral("Type     : Technical Question"));
        QCOMPARE(lines[5], QStringLiteral("Occurence: "));
        QCOMPARE(lines.last(), QStringLiteral("Details  : "));
    }

    void supportFailureKeepsTheDialog()
    {
        LoopbackLineServer server({LoopbackLineServer::Script().send("554 No mail today\r\n")});
        qputenv("QUILMORA_SUPPORT_PORT", QByteArray::number(server.port()));
        auto f = supportForm();
        f->show();
        QTest::keyClicks(f->editEmail, QStringLiteral("ann@site.example"));
        QTest::keyClicks(f->editTitle, QStringLiteral("kept"));
        QTest::mouseClick(f->butnSend, Qt::LeftButton);
        QVERIFY(server.wait());
        QCOMPARE(m_prompts.shown, QStringList{"error: Message could not be sent: No mail today"});
        QVERIFY(f->isVisible());
        QCOMPARE(f->editTitle->text(), QStringLiteral("kept"));
    }

    void supportPreviewShowsTheReport()
    {
        auto f = supportForm();
        f->show();
        QTest::keyClicks(f->editEmail, QStringLiteral("ann@site.example"));
        QString text;
        onNextModal([&](QWidget *w) {
            const auto closer = closeOnExit(w);
            auto *memo = w->findChild<QPlainTextEdit *>(QStringLiteral("memoPreview"));
            QVERIFY(memo);
            QVERIFY(memo->isReadOnly());
            text = memo->toPlainText();
            w->close();
        });
        QTest::mouseClick(f->butnPreview, Qt::LeftButton);
        QVERIFY(text.startsWith(QStringLiteral("From: ann@site.example\nTo: help@quilmora.example\n"
                                               "Subject: Technical Support: Quilmora Configuration Editor\n\n"
                                               "SUPPORT REQUEST\n")));
        QVERIFY(text.contains(QStringLiteral("Operating System                       : Debian GNU/Linux 12 (bookworm)\n")));
        QVERIFY(f->isVisible());
    }

    void supportFromTheMenu()
    {
        TMainForm *f = open();
        QVERIFY(f);
        bool seen = false;
        onNextModal([&](QWidget *w) {
            const auto closer = closeOnExit(w);
            auto *support = qobject_cast<TSupportForm *>(w);
            QVERIFY(support);
            seen = true;
            QCOMPARE(support->windowTitle(), QStringLiteral("Technical Support"));
            QCOMPARE(support->versionText, QStringLiteral("1.05"));
            QCOMPARE(support->applicationText, QStringLiteral("Quilmora Configuration Editor"));
            QTest::mouseClick(support->butnCancel, Qt::LeftButton);
        });
        QVERIFY(GuiTestUtil::trigger(f, "actnSupport"));
        QVERIFY(seen);
        QVERIFY(!f->findChild<TSupportForm *>());
    }
};

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
