// Start-up in remote mode through the connection dialog, and an edit-and-save cycle
// against the loopback server.
#include "main/ConnectRunModeChooser.h"
#include "main/TMainForm.h"
#include "support/LoopbackConfigServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QGroupBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using GuiTestUtil::child;
using Script = LoopbackConfigServer::Script;

namespace {

// Answers the connection dialog: remote mode, the loopback server, admin and secret.
void chooseRemote(QWidget *form, quint16 port)
{
    for (QRadioButton *b : child<QGroupBox>(form, "rgrpServer")->findChildren<QRadioButton *>())
        if (b->text() == QStringLiteral("Remote"))
            QTest::mouseClick(b, Qt::LeftButton);
    child<QLineEdit>(form, "editCnxServer")->setText(QStringLiteral("127.0.0.1"));
    child<QSpinBox>(form, "sedtCnxPort")->setValue(port);
    child<QLineEdit>(form, "editCnxUser")->setText(QStringLiteral("admin"));
    child<QLineEdit>(form, "editCnxPass")->setText(QStringLiteral("secret"));
    QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
}

// The editor with the connection dialog as its run-mode chooser, in a folder of its
// own, and the loopback server playing `scripts`.
struct RemoteStart
{
    explicit RemoteStart(const QList<Script> &scripts) : server(scripts), form(context()) {}

    // Starts the editor, answering the dialog with "Remote" and the server's address.
    TMainForm::StartResult start()
    {
        const quint16 port = server.port();
        GuiTestUtil::onNextModal([port](QWidget *w) { chooseRemote(w, port); });
        return form.start(false);
    }

    QTemporaryDir dir;
    IniFileRegistry registry{dir.filePath(QStringLiteral("registry"))};
    ScriptedPrompts prompts;
    ConnectRunModeChooser chooser{registry, prompts, nullptr};
    LoopbackConfigServer server;
    TMainForm form;

private:
    MainFormContext context()
    {
        MainFormContext ctx;
        ctx.prompts = &prompts;
        ctx.programFolder = dir.path();
        ctx.runModeChooser = &chooser;
        return ctx;
    }
};

} // namespace

class TestRemoteCycle : public QObject
{
    Q_OBJECT

private slots:
    void editAndSave()
    {
        const QByteArray config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n";
        // The fetch at start, the save's look at the server (unchanged), the return.
        RemoteStart run({Script().line().send("200 OK\r\n").line().sendBlock(config),
                         Script().line().send("200 OK\r\n").line().sendBlock(config),
                         Script().line().send("200 OK\r\n").line().receiveBlock()});
        TMainForm &form = run.form;
        QCOMPARE(run.start(), TMainForm::StartResult::Run);
        QVERIFY(form.isRemoteMode());
        form.show();
        auto *name = child<QLineEdit>(&form, "editName");
        QCOMPARE(name->text(), QStringLiteral("Office"));
        name->setFocus();
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, QStringLiteral("Harbour"));
        QVERIFY(form.isChanged());
        QVERIFY(form.actnSaveExecute());
        QVERIFY(!form.isChanged());
        QVERIFY(run.server.wait());
        QCOMPARE(run.server.blocks().size(), 1);
        QVERIFY(run.server.blocks().first().contains("Name=Harbour\r\n"));
        QCOMPARE(run.server.received(1), QByteArray("AUTH admin secret\r\nGET\r\n"));
        QVERIFY(run.server.received(2).startsWith("AUTH admin secret\r\nPUT\r\n"));
        QCOMPARE(run.prompts.shown, QStringList());
    }

    // Another administrator returned a change after the fetch: the save asks before
    // replacing it. Yes returns the copy; No keeps it saved locally, unsent, and says how
    // to send it later.
    void serverChangedSinceFetch_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("Yes replaces") << true;
        QTest::newRow("No keeps the copy unsent") << false;
    }

    void serverChangedSinceFetch()
    {
        QFETCH(bool, replace);
        const QByteArray config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n";
        const QByteArray theirs = "[SERVER]\r\nName=Branch\r\nVersion=1.05\r\n";
        QList<Script> scripts{Script().line().send("200 OK\r\n").line().sendBlock(config),
                              Script().line().send("200 OK\r\n").line().sendBlock(theirs)};
        if (replace)
            scripts.append(Script().line().send("200 OK\r\n").line().receiveBlock());
        RemoteStart run(scripts);
        TMainForm &form = run.form;
        QCOMPARE(run.start(), TMainForm::StartResult::Run);
        form.show();
        auto *name = child<QLineEdit>(&form, "editName");
        name->setFocus();
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, QStringLiteral("Harbour"));
        run.prompts.answers = {replace ? Prompts::Answer::Yes : Prompts::Answer::No};

        QVERIFY(form.actnSaveExecute());
        QVERIFY(!form.isChanged());
        QVERIFY(run.server.wait());
        QVERIFY(TestFiles::read(form.configFilePath()).contains("Name=Harbour\r\n"));
        QVERIFY(run.prompts.shown.size() >= 1);
        QVERIFY(run.prompts.shown.first().endsWith(TRemoteInfo::serverChangedQuestion()));
        if (replace) {
            QCOMPARE(run.prompts.shown.size(), 1);
            QCOMPARE(run.server.blocks().size(), 1);
            QVERIFY(run.server.blocks().first().contains("Name=Harbour\r\n"));
        } else {
            QCOMPARE(run.prompts.shown.size(), 2);
            QVERIFY2(run.prompts.shown.at(1).contains(QStringLiteral(" push 127.0.0.1 --force")),
                     qPrintable(run.prompts.shown.at(1)));
            QCOMPARE(run.server.blocks().size(), 0);
        }
    }

    void failedReturnStillClearsTheFlag()
    {
        // Only the fetch is served: when the save returns the file, nobody listens any more.
        const QByteArray config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n";
        RemoteStart run({Script().line().send("200 OK\r\n").line().sendBlock(config)});
        TMainForm &form = run.form;
        QCOMPARE(run.start(), TMainForm::StartResult::Run);
        QVERIFY(run.server.wait());
        form.show();
        auto *name = child<QLineEdit>(&form, "editName");
        name->setFocus();
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, QStringLiteral("Harbour"));
        QVERIFY(form.isChanged());

        QVERIFY(form.actnSaveExecute());
        // The failure was shown; the local copy holds the saved configuration and the
        // changed flag is clear all the same.
        QCOMPARE(run.prompts.shown.size(), 1);
        QVERIFY2(run.prompts.shown.first().startsWith(QStringLiteral("error: Socket Error # 111\r\n")),
                 qPrintable(run.prompts.shown.first()));
        QVERIFY(!form.isChanged());
        QVERIFY(TestFiles::read(form.configFilePath()).contains("Name=Harbour\r\n"));
    }

    void refusedFetchEndsTheProgram()
    {
        RemoteStart run({Script().line().send("500 Login refused\r\n")});
        QCOMPARE(run.start(), TMainForm::StartResult::Failed);
        QCOMPARE(run.prompts.shown, QStringList{QStringLiteral("error: Login refused")});
    }
};

QTEST_MAIN(TestRemoteCycle)
#include "tst_remotecycle.moc"
