// The editor and the history of saves: File, Save adds one commit holding the saved bytes;
// File, History... reviews a version against the window and restores it as unsaved
// changes; a history that cannot be written is one status-bar message, and the save stands.
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"
#include "config/History.h"
#include "main/HistoryDialog.h"
#include "main/TMainForm.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <pwd.h>
#include <unistd.h>

using GuiTestUtil::child;

namespace {

const QByteArray kBase = "[SERVER]\r\nPort=119\r\nName=Office\r\nVersion=1.05\r\n"
                         "[USER1]\r\nName=ann\r\nPass=00112233445566778899AABBCCDDEEFF\r\n"
                         "[GROUP1]\r\nName=sales\r\nUsers=ann\r\n";

struct LocalEditor
{
    LocalEditor()
    {
        written = TestFiles::write(path(), kBase);
        ctx.prompts = &prompts;
        ctx.programFolder = dir.path();
        ctx.localAddresses = [] { return QStringList(); };
        form = std::make_unique<TMainForm>(ctx);
    }
    QString path() const { return dir.filePath(QStringLiteral("quilmora.ini")); }

    QByteArray git(const QStringList &args) const
    {
        QProcess p;
        p.start(QStringLiteral("git"), QStringList{QStringLiteral("--git-dir=") + dir.filePath(QStringLiteral("history.git"))}
                                           + args);
        p.waitForFinished(30000);
        return p.readAllStandardOutput();
    }
    int commits() const
    {
        return git({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD")}).trimmed().toInt();
    }

    // Types a new server name and saves.
    bool saveName(const QString &text)
    {
        auto *name = child<QLineEdit>(form.get(), "editName");
        name->setFocus();
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, text);
        return form->actnSaveExecute();
    }

    QTemporaryDir dir;
    bool written = false;
    ScriptedPrompts prompts;
    MainFormContext ctx;
    std::unique_ptr<TMainForm> form;
};

} // namespace

class TestHistoryWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void saveAddsOneCommit();
    void historyWindowReviewsAndRestores();
    void brokenHistoryIsAStatusBarMessage();
    void noHistoryYet();
};

void TestHistoryWindow::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("git")).isEmpty())
        QSKIP("git is not installed (scripts/install-deps.sh installs it)");
    History::setProgram(QStringLiteral("quilmora-editor"));
}

void TestHistoryWindow::saveAddsOneCommit()
{
    LocalEditor e;
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    QVERIFY(e.saveName(QStringLiteral("Harbour")));
    QCOMPARE(e.commits(), 2); // the file the first save replaced, then the save
    QCOMPARE(e.git({QStringLiteral("show"), QStringLiteral("HEAD~1:quilmora.ini")}), kBase);
    QVERIFY(e.saveName(QStringLiteral("Dock")));
    QCOMPARE(e.commits(), 3);
    QCOMPARE(e.git({QStringLiteral("show"), QStringLiteral("HEAD:quilmora.ini")}), TestFiles::read(e.path()));
    const passwd *pw = ::getpwuid(::geteuid());
    QCOMPARE(e.git({QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--format=%an|%s")}).trimmed(),
             QByteArray(pw->pw_name) + "|quilmora-editor: server: Name");
    QVERIFY(e.prompts.shown.isEmpty());
}

// The window lists the versions newest first; the review of the oldest against the window
// speaks diff's words; Restore loads it unsaved and writes nothing.
void TestHistoryWindow::historyWindowReviewsAndRestores()
{
    LocalEditor e;
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    e.form->show();
    QVERIFY(e.saveName(QStringLiteral("Harbour")));
    QVERIFY(e.saveName(QStringLiteral("Dock")));
    const QByteArray saved = TestFiles::read(e.path());

    QStringList versions, newest, oldest;
    GuiTestUtil::onNextModal([&](QWidget *w) {
        auto *dialog = qobject_cast<HistoryDialog *>(w);
        if (!dialog)
            return;
        for (int i = 0; i < dialog->lstVersions->topLevelItemCount(); ++i)
            versions.append(dialog->lstVersions->topLevelItem(i)->text(2));
        newest = dialog->changeLines();
        dialog->lstVersions->setCurrentItem(dialog->lstVersions->topLevelItem(2));
        oldest = dialog->changeLines();
        const QString shots = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            dialog->grab().save(shots + QStringLiteral("/history.png"));
        QTest::mouseClick(dialog->butnRestore, Qt::LeftButton);
    });
    QVERIFY(GuiTestUtil::trigger(e.form.get(), "actnHistory"));
    QCOMPARE(versions, (QStringList{QStringLiteral("quilmora-editor: server: Name"),
                                    QStringLiteral("quilmora-editor: server: Name"),
                                    QStringLiteral("quilmora-editor: the file as it was before the first recorded save")}));
    QCOMPARE(newest, QStringList{QStringLiteral("No changes")});
    QCOMPARE(oldest, QStringList{QStringLiteral("~ server.Name: \"Dock\" -> \"Office\"")});
    QCOMPARE(child<QLineEdit>(e.form.get(), "editName")->text(), QStringLiteral("Office"));
    QVERIFY(e.form->isChanged());
    QCOMPARE(TestFiles::read(e.path()), saved);
    QCOMPARE(e.commits(), 3);
}

void TestHistoryWindow::brokenHistoryIsAStatusBarMessage()
{
    LocalEditor e;
    QVERIFY(e.written);
    QVERIFY(TestFiles::write(e.dir.filePath(QStringLiteral("history.git")), "in the way"));
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    QVERIFY(e.saveName(QStringLiteral("Harbour")));
    QVERIFY(TestFiles::read(e.path()).contains("Name=Harbour\r\n"));
    QVERIFY(e.prompts.shown.isEmpty());
    QVERIFY2(e.form->statusBar()->currentMessage().startsWith(
                 QStringLiteral("The file was saved, but its version could not be kept in the history: ")),
             qPrintable(e.form->statusBar()->currentMessage()));
    QVERIFY(e.form->statusBar()->currentMessage().contains(QStringLiteral("is not a folder")));
}

void TestHistoryWindow::noHistoryYet()
{
    LocalEditor e;
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    QVERIFY(GuiTestUtil::trigger(e.form.get(), "actnHistory"));
    QCOMPARE(e.prompts.shown.size(), 1);
    QVERIFY2(e.prompts.shown.first().startsWith(QStringLiteral("error: No history at ")),
             qPrintable(e.prompts.shown.first()));
}

QTEST_MAIN(TestHistoryWindow)
#include "tst_history.moc"
