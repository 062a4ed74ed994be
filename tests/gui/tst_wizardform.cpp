// The setup wizard: its pages and buttons, the auto-reply switch, the two overwrite
// questions, Cancel and the close box, Change and the home page link, a failed write, the
// file the CLI writes from the same fields, and the "/w" start of the editor.
#include "config/PasswordDigest.h"
#include "widgets/MaskedBytesEdit.h"
#include "main/TMainForm.h"
#include "platform/Clock.h"
#include "platform/Shell.h"
#include "support/CliRunner.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"
#include "wizard/TWizardForm.h"
#include "wizard/WizardWriter.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using GuiTestUtil::child;

namespace {

const QDate Today(2004, 3, 7);
const QString ExistingQuestion = QStringLiteral(
    "yesNo: A configuration already exists. Running the wizard will overwrite it. Are you sure you want to continue?");
const QString CancelQuestion = QStringLiteral("yesNo: Are you sure you want to exit the Wizard");

// A wizard on a temporary folder with scripted prompts, a recording shell and a fixed day.
struct Fixture
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    RecordingShell shell;
    FixedClock clock{Today};
    std::unique_ptr<TWizardForm> form;

    explicit Fixture(const QString &folder = {})
    {
        WizardContext c;
        c.prompts = &prompts;
        c.shell = &shell;
        c.clock = &clock;
        c.programFolder = folder.isEmpty() ? dir.path() : folder;
        form = std::make_unique<TWizardForm>(c);
    }
    QString configPath() const { return dir.filePath(QStringLiteral("quilmora.ini")); }
    int page() const { return child<QTabWidget>(form.get(), "pctrlWizard")->currentIndex(); }
    QString nextCaption() const { return child<QPushButton>(form.get(), "butnNext")->text(); }
    bool next() { return GuiTestUtil::trigger(form.get(), "actnNext"); }
    bool previous() { return GuiTestUtil::trigger(form.get(), "actnPrevious"); }
    void toLastPage()
    {
        while (page() < TWizardForm::PageCount - 1 && next()) {
        }
    }
    template <typename T>
    T *get(const char *name) const
    {
        return child<T>(form.get(), name);
    }
};

// Saves a picture of the wizard when QUILMORA_SCREENSHOT_DIR names a folder.
void maybeScreenshot(QWidget *form, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        form->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

class TestWizardForm : public QObject
{
    Q_OBJECT

private slots:
    void windowAndPages();
    void finishWithUntouchedFields();
    void nextAndPreviousCaptions();
    void autoReplySwitch();
    void cancelAsks_data();
    void cancelAsks();
    void closeBoxWritesNothing();
    void existingFile_data();
    void existingFile();
    void failedWriteKeepsWizardOpen();
    void changePassword();
    void homePageLink();
    void cliWritesTheSameBytes();
    void editorStartsWizardOnly();
};

void TestWizardForm::windowAndPages()
{
    Fixture f;
    TWizardForm *w = f.form.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QStringLiteral("Quilmora Configuration Wizard"));
    QCOMPARE(w->size(), QSize(TWizardForm::ClientWidth, TWizardForm::ClientHeight));
    QCOMPARE(f.get<QLabel>("Image1")->width(), 149);
    QVERIFY(!f.get<QTabWidget>("pctrlWizard")->tabBar()->isVisible());

    // Previous, Next, Cancel from left to right at the bottom right, 75 by 25.
    auto *prev = f.get<QPushButton>("butnPrevious");
    auto *next = f.get<QPushButton>("butnNext");
    auto *cancel = f.get<QPushButton>("butnCancel");
    for (QPushButton *b : {prev, next, cancel})
        QCOMPARE(b->size(), QSize(75, 25));
    const QPoint p = prev->mapTo(w, QPoint()), n = next->mapTo(w, QPoint()), c = cancel->mapTo(w, QPoint());
    QVERIFY(p.x() < n.x() && n.x() < c.x());
    QVERIFY(c.x() + 75 > w->width() - 20);
    QVERIFY(c.y() + 25 > w->height() - TWizardForm::BottomHeight / 2);
    QCOMPARE(prev->text(), QStringLiteral("< &Previous "));
    QCOMPARE(next->text(), QStringLiteral("&Next >"));
    QCOMPARE(cancel->text(), QStringLiteral("&Cancel"));

    const char *pages[] = {"tabsWelcome", "tabsGeneral", "tabsOutbound", "tabsIncoming",
                           "tabsAutoReply", "tabsGroups", "tabsUsers", "tabsFinish"};
    const QStringList titles{"Quilmora setup wizard (Step 1 of 8)", "Server settings (Step 2 of 8)",
                             "Outbound settings (Step 3 of 8)", "Incoming mail (Step 4 of 8)",
                             "AutoReply (Step 5 of 8)", "Groups (Step 6 of 8)", "Users (Step 7 of 8)", "Finished!"};
    for (int i = 0; i < TWizardForm::PageCount; ++i) {
        QCOMPARE(f.page(), i);
        QWidget *page = f.get<QTabWidget>("pctrlWizard")->currentWidget();
        QCOMPARE(page->objectName(), QString::fromLatin1(pages[i]));
        auto *heading = child<QLabel>(page, (QByteArray(pages[i]) + "Heading").constData());
        QCOMPARE(heading->text().replace(QChar(0xA0), QLatin1Char(' ')), titles.at(i));
        // Large type on every page, and all of it shown: a long heading wraps whole.
        QCOMPARE(heading->font().pixelSize(), 24);
        QVERIFY2(heading->height() >= heading->heightForWidth(heading->width()), qPrintable(titles.at(i)));
        maybeScreenshot(w, QStringLiteral("wizard-%1").arg(i + 1));
        if (i + 1 < TWizardForm::PageCount)
            QVERIFY(f.next());
    }
    // The user's password is set only through Change.
    QVERIFY(f.get<MaskedBytesEdit>("editUserPass")->isReadOnly());
    QCOMPARE(f.get<QLineEdit>("editPOPPass")->echoMode(), QLineEdit::Password);
}

void TestWizardForm::finishWithUntouchedFields()
{
    Fixture f;
    f.form->show();
    f.toLastPage();
    QCOMPARE(f.nextCaption(), QStringLiteral("&Finish"));
    QVERIFY(f.next());
    QCOMPARE(TestFiles::read(f.configPath()), WizardWriter::render(WizardFields(), Today));
    QCOMPARE(f.form->result(), int(QDialog::Accepted));
    QVERIFY(!f.form->isVisible());
    QCOMPARE(f.prompts.shown, QStringList());
}

void TestWizardForm::nextAndPreviousCaptions()
{
    Fixture f;
    f.form->show();
    // Page 1: Previous is disabled and does nothing.
    QVERIFY(!f.get<QPushButton>("butnPrevious")->isEnabled());
    QVERIFY(!f.previous());
    QCOMPARE(f.page(), 0);

    for (int i = 1; i < 7; ++i)
        QVERIFY(f.next());
    QCOMPARE(f.page(), 6);
    QCOMPARE(f.nextCaption(), QStringLiteral("&Next >"));
    QVERIFY(f.get<QPushButton>("butnPrevious")->isEnabled());
    QVERIFY(f.next());
    QCOMPARE(f.page(), 7);
    QCOMPARE(f.nextCaption(), QStringLiteral("&Finish"));
    QVERIFY(f.previous());
    QCOMPARE(f.page(), 6);
    QCOMPARE(f.nextCaption(), QStringLiteral("&Next >"));
    QVERIFY(f.get<QPushButton>("butnNext")->isEnabled());
    // Back to the first page, where Previous is disabled again.
    while (f.previous()) {
    }
    QCOMPARE(f.page(), 0);
    QVERIFY(!f.get<QPushButton>("butnPrevious")->isEnabled());
    QVERIFY(!QFileInfo::exists(f.configPath()));
}

void TestWizardForm::autoReplySwitch()
{
    Fixture f;
    f.form->show();
    for (int i = 0; i < 4; ++i)
        QVERIFY(f.next());
    auto *check = f.get<QCheckBox>("chkbAutoReply");
    QVERIFY(check->isChecked());
    QTest::keyClicks(f.get<QLineEdit>("editAutoReplyFrom"), QStringLiteral("sales@harbour.example"));
    QTest::keyClicks(f.get<QLineEdit>("editAutoReplySubject"), QStringLiteral("Received"));
    f.get<QPlainTextEdit>("memoAutoReply")->setPlainText(QStringLiteral("Thanks"));

    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    QVERIFY(!check->isChecked());
    QVERIFY(check->isEnabled());
    QVERIFY(!f.get<QGroupBox>("grpbAutoReply")->isEnabled());
    for (const char *name : {"editAutoReplyFrom", "editAutoReplySubject", "memoAutoReply"})
        QVERIFY(!f.get<QWidget>(name)->isEnabled());
    QCOMPARE(f.get<QLineEdit>("editAutoReplyFrom")->text(), QStringLiteral("sales@harbour.example"));
    QCOMPARE(f.get<QPlainTextEdit>("memoAutoReply")->toPlainText(), QStringLiteral("Thanks"));

    f.toLastPage();
    QVERIFY(f.next());
    const QByteArray file = TestFiles::read(f.configPath());
    QVERIFY(file.endsWith("DefaultGroup=\r\nAutoReply=N\r\n"));
    QVERIFY(!file.contains("AutoReplyFrom"));

    // Checked again, the fields come back with their text.
    Fixture g;
    g.form->show();
    auto *again = g.get<QCheckBox>("chkbAutoReply");
    again->click();
    again->click();
    QVERIFY(g.get<QGroupBox>("grpbAutoReply")->isEnabled());
}

void TestWizardForm::cancelAsks_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("No stays") << false;
    QTest::newRow("Yes closes") << true;
}

void TestWizardForm::cancelAsks()
{
    QFETCH(bool, yes);
    Fixture f;
    f.form->show();
    QVERIFY(f.next());
    QVERIFY(f.next());
    QTest::keyClicks(f.get<QLineEdit>("editOBPrefix"), QStringLiteral("X"));
    f.prompts.answers = {yes ? Prompts::Answer::Yes : Prompts::Answer::No};
    QVERIFY(GuiTestUtil::trigger(f.form.get(), "actnCancel"));
    QCOMPARE(f.prompts.shown, QStringList{CancelQuestion});
    if (yes) {
        QVERIFY(!f.form->isVisible());
        QCOMPARE(f.form->result(), int(QDialog::Rejected));
    } else {
        QVERIFY(f.form->isVisible());
        QCOMPARE(f.page(), 2);
        QCOMPARE(f.get<QLineEdit>("editOBPrefix")->text(), QStringLiteral("QM-X"));
    }
    QVERIFY(!QFileInfo::exists(f.configPath()));

    // Esc is the Cancel button: it asks too.
    if (!yes) {
        QTest::keyClick(f.get<QLineEdit>("editOBPrefix"), Qt::Key_Escape);
        QCOMPARE(f.prompts.shown.size(), 2);
        QVERIFY(f.form->isVisible());
    }
}

void TestWizardForm::closeBoxWritesNothing()
{
    Fixture f;
    f.form->show();
    f.toLastPage();
    QVERIFY(f.form->close());
    QVERIFY(!f.form->isVisible());
    QCOMPARE(f.form->result(), int(QDialog::Rejected));
    QCOMPARE(f.prompts.shown, QStringList());
    QVERIFY(!QFileInfo::exists(f.configPath()));
}

void TestWizardForm::existingFile_data()
{
    QTest::addColumn<bool>("continueAtStart");
    QTest::addColumn<bool>("okAtFinish");
    QTest::newRow("No at start") << false << false;
    QTest::newRow("Yes, then Cancel at Finish") << true << false;
    QTest::newRow("Yes, then OK at Finish") << true << true;
}

void TestWizardForm::existingFile()
{
    QFETCH(bool, continueAtStart);
    QFETCH(bool, okAtFinish);
    Fixture f;
    const QByteArray old = "[SERVER]\r\nName=old\r\n";
    QVERIFY(TestFiles::write(f.configPath(), old));
    f.prompts.answers = {continueAtStart ? Prompts::Answer::Yes : Prompts::Answer::No,
                         okAtFinish ? Prompts::Answer::Yes : Prompts::Answer::Cancel};
    f.form->show();
    QTRY_COMPARE(f.prompts.shown, QStringList{ExistingQuestion});
    if (!continueAtStart) {
        QTRY_VERIFY(!f.form->isVisible());
        QCOMPARE(TestFiles::read(f.configPath()), old);
        return;
    }
    QVERIFY(f.form->isVisible());
    f.toLastPage();
    QVERIFY(f.next());
    QCOMPARE(f.prompts.shown.size(), 2);
    QCOMPARE(f.prompts.shown.at(1),
             QStringLiteral("okCancel: A configuration file already exists. Continuing will overwrite it"));
    // Either way the wizard closes; only OK replaced the file.
    QVERIFY(!f.form->isVisible());
    QCOMPARE(TestFiles::read(f.configPath()), okAtFinish ? WizardWriter::render(WizardFields(), Today) : old);
}

void TestWizardForm::failedWriteKeepsWizardOpen()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("nowhere"));
    Fixture f(missing);
    f.form->show();
    f.toLastPage();
    QVERIFY(f.next());
    QCOMPARE(f.prompts.shown,
             QStringList{QStringLiteral("error: Unable to write to ") + QDir::toNativeSeparators(missing)
                         + QStringLiteral("/quilmora.ini")});
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.page(), 7);
    QCOMPARE(f.nextCaption(), QStringLiteral("&Finish"));
}

void TestWizardForm::changePassword()
{
    Fixture f;
    f.form->show();
    auto *pass = f.get<MaskedBytesEdit>("editUserPass");
    auto *change = f.get<QPushButton>("butnChange");

    f.prompts.texts = {QStringLiteral("s3cret"), QStringLiteral("s3cret")};
    change->click();
    QCOMPARE(pass->bytes(), PasswordDigest("s3cret"));
    QCOMPARE(pass->text(), QString(16, QLatin1Char('*')));

    // Two entries that differ leave the digest as it was.
    f.prompts.texts = {QStringLiteral("other"), QStringLiteral("Other")};
    change->click();
    QVERIFY(f.prompts.shown.contains(QStringLiteral("error: Passwords do not match! New password not set")));
    QCOMPARE(pass->bytes(), PasswordDigest("s3cret"));

    f.toLastPage();
    QVERIFY(f.next());
    QVERIFY(TestFiles::read(f.configPath())
                .contains("Pass=" + PasswordDigest("s3cret").toHex().toUpper() + "\r\n[GROUP1]"));
}

void TestWizardForm::homePageLink()
{
    Fixture f;
    f.form->show();
    f.toLastPage();
    auto *link = f.get<QLabel>("Label28");
    QCOMPARE(link->text(), WizardWriter::homePageAddress());
    QVERIFY(link->font().underline());
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(f.shell.opened, QStringList{WizardWriter::homePageAddress()});
}

// The same fields typed into the window and given to quilmora-config give the same file.
void TestWizardForm::cliWritesTheSameBytes()
{
    const QDate today = QDate::currentDate();
    Fixture f;
    f.clock.set(today.startOfDay());
    TWizardForm *w = f.form.get();
    w->show();
    const auto type = [&](const char *name, const QString &text) {
        auto *edit = f.get<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    };
    type("editServerName", QStringLiteral("news.harbour.example"));
    type("editSMTPServer", QStringLiteral("smtp.harbour.example"));
    type("editAdminEmail", QStringLiteral("ops@harbour.example"));
    f.get<QCheckBox>("chkbAdminEmailActive")->setChecked(true);
    type("editOBPrefix", QStringLiteral("HB-"));
    type("editOBMarker", QStringLiteral("##"));
    type("editPOPServer", QStringLiteral("pop.harbour.example"));
    type("editPOPUser", QStringLiteral("sales"));
    type("editPOPPass", QStringLiteral("pw 1"));
    type("editAutoReplyFrom", QStringLiteral("sales@harbour.example"));
    type("editAutoReplySubject", QStringLiteral("Received"));
    f.get<QPlainTextEdit>("memoAutoReply")->setPlainText(QStringLiteral("Thanks\n\nBye"));
    type("editGroupName", QStringLiteral("sales.support"));
    type("editGroupDesc", QStringLiteral("Sales enquiries"));
    type("editGroupOBAddress", QStringLiteral("reply@harbour.example"));
    type("editUserDesc", QStringLiteral("Corporate"));
    type("editUserName", QStringLiteral("front desk"));
    f.prompts.texts = {QStringLiteral("s3cret"), QStringLiteral("s3cret")};
    f.get<QPushButton>("butnChange")->click();
    f.toLastPage();
    QVERIFY(f.next());
    const QByteArray fromWindow = TestFiles::read(f.configPath());
    QVERIFY(fromWindow.contains("Users=\"front desk\""));

    QTemporaryDir cliDir;
    QVERIFY(TestFiles::write(cliDir.filePath(QStringLiteral("pop.txt")), "pw 1\n"));
    QVERIFY(TestFiles::write(cliDir.filePath(QStringLiteral("user.txt")), "s3cret\n"));
    QVERIFY(TestFiles::write(cliDir.filePath(QStringLiteral("body.txt")), "Thanks\r\n\r\nBye\r\n"));
    const CliRun r = runCli(
        {"--folder", cliDir.path(), "wizard", "--server-name", "news.harbour.example", "--smtp-server",
         "smtp.harbour.example", "--admin-email", "ops@harbour.example", "--admin-email-active", "--prefix", "HB-",
         "--marker", "##", "--pop-server", "pop.harbour.example", "--pop-user", "sales", "--pop-password-file",
         "pop.txt", "--auto-reply-from", "sales@harbour.example", "--auto-reply-subject", "Received",
         "--auto-reply-body-file", "body.txt", "--group-name", "sales.support", "--group-description",
         "Sales enquiries", "--group-outbound-address", "reply@harbour.example", "--user-description", "Corporate",
         "--user-name", "front desk", "--user-password-file", "user.txt"},
        cliDir.path());
    QVERIFY2(r.status == 0, r.err.constData());
    if (QDate::currentDate() != today)
        QSKIP("the date changed while the test ran");
    QCOMPARE(TestFiles::read(cliDir.filePath(QStringLiteral("quilmora.ini"))), fromWindow);
}

// "/w" (and --wizard) run the wizard alone: the editor window is never shown, and the run
// ends when the wizard closes, however it closes.
void TestWizardForm::editorStartsWizardOnly()
{
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    RecordingShell shell;
    FixedClock clock(Today);
    MainFormContext context;
    context.prompts = &prompts;
    context.shell = &shell;
    context.clock = &clock;
    context.programFolder = dir.path();
    TMainForm window(context);

    bool editorShown = true;
    QString seen;
    GuiTestUtil::onNextModal([&](QWidget *modal) {
        seen = modal->objectName();
        editorShown = window.isVisible();
        modal->close();
    });
    QCOMPARE(window.start(true), TMainForm::StartResult::Ended);
    QCOMPARE(seen, QStringLiteral("WizardForm"));
    QVERIFY(!editorShown);
    QVERIFY(!window.isVisible());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("quilmora.ini"))));
}

QTEST_MAIN(TestWizardForm)
#include "tst_wizardform.moc"
