// Start-up in remote mode through the connection dialog, and an edit-and-save cycle
// against the loopback server.
#include "main/ConnectRunModeChooser.h"
#include "main/TMainForm.h"
#include "remote/TransferMonitor.h"
#include "support/LoopbackConfigServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QGroupBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTest>

#include <sys/stat.h>

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

const QByteArray Config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n";

// Types `text` into the General page's Name field, replacing what it holds.
void typeName(TMainForm *form, const QString &text)
{
    auto *name = child<QLineEdit>(form, "editName");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, text);
}

// Cancels the `cancelAt`-th transfer (counted from 1; 0: none).
class CancellingMonitor : public TransferMonitor
{
public:
    int cancelAt = 0;
    void begin(Direction) override { ++m_count; }
    bool progress(qint64, qint64) override { return m_count != cancelAt; }
    void end() override {}

private:
    int m_count = 0;
};

// Remote mode without the dialog: the transfer `make` builds, whose port can be changed
// between saves.
class ScriptedChooser : public RunModeChooser
{
public:
    explicit ScriptedChooser(std::function<std::unique_ptr<TRemoteInfo>()> make) : m_make(std::move(make)) {}
    RunModeChoice choose(QWidget *) override
    {
        auto info = m_make();
        m_info = info.get();
        return RunModeChoice::remote(std::make_unique<RemoteInfoTransfer>(std::move(info)));
    }
    TRemoteInfo *info() const { return m_info; }

private:
    std::function<std::unique_ptr<TRemoteInfo>()> m_make;
    TRemoteInfo *m_info = nullptr;
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
        // While the question is open the title still shows the unsaved mark.
        QList<bool> markedWhileAsked;
        run.prompts.whileAsked = [&](const QString &) { markedWhileAsked.append(form.isWindowModified()); };

        QVERIFY(form.actnSaveExecute());
        QCOMPARE(markedWhileAsked, QList<bool>{true});
        QVERIFY(!form.isChanged());
        // The mark stays while the server does not hold the save.
        QCOMPARE(form.isWindowModified(), !replace);
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

    // The save's check of the server fails: nothing is sent, one message says the
    // configuration is saved in the local copy only, why, and how to send it; the title's
    // mark stays until a save reaches the server.
    void checkFailureSendsNothing_data()
    {
        QTest::addColumn<QList<Script>>("check"); // the check's connection; none: nobody listens
        QTest::addColumn<QString>("why");
        QTest::newRow("login refused") << QList<Script>{Script().line().send("530 Bad login\r\n")}
                                       << QStringLiteral("Bad login");
        QTest::newRow("socket error") << QList<Script>{} << QStringLiteral("Socket Error # 111");
        QTest::newRow("bad length")
            << QList<Script>{Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(-5))}
            << QStringLiteral("-5 bytes");
        QTest::newRow("short block")
            << QList<Script>{Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(100) + "[S]").close()}
            << QStringLiteral("Connection Closed Gracefully.");
        QTest::newRow("Cancel") << QList<Script>{Script().line().send("200 OK\r\n").line().pause(1500).sendBlock(Config)}
                                << QStringLiteral("Transfer cancelled");
        QTest::newRow("time limit") << QList<Script>{Script().line().send("200 OK\r\n").line().pause(2500).sendBlock(Config)}
                                    << QStringLiteral("did not finish within 1 seconds");
    }

    void checkFailureSendsNothing()
    {
        QFETCH(QList<Script>, check);
        QFETCH(QString, why);
        QList<Script> scripts{Script().line().send("200 OK\r\n").line().sendBlock(Config)};
        scripts += check;
        // After the failed check, a second save that reaches the server.
        scripts += {Script().line().send("200 OK\r\n").line().sendBlock(Config),
                    Script().line().send("200 OK\r\n").line().receiveBlock()};
        LoopbackConfigServer server(scripts);
        const bool nobodyListens = check.isEmpty();
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        CancellingMonitor monitor;
        monitor.cancelAt = QTest::currentDataTag() == QLatin1String("Cancel") ? 2 : 0;
        ScriptedChooser chooser([&] {
            auto info = std::make_unique<TRemoteInfo>(prompts);
            info->Host = QStringLiteral("127.0.0.1");
            info->Port = server.port();
            info->setMonitor(&monitor);
            info->setOverallLimit(QTest::currentDataTag() == QLatin1String("time limit") ? 1 : 30);
            return info;
        });
        MainFormContext ctx;
        ctx.prompts = &prompts;
        ctx.programFolder = dir.path();
        ctx.runModeChooser = &chooser;
        TMainForm form(ctx);
        QCOMPARE(form.start(false), TMainForm::StartResult::Run);
        form.show();
        if (nobodyListens) { // the check goes to a port where nobody listens any more
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            chooser.info()->Port = closed.serverPort();
        }
        typeName(&form, QStringLiteral("Harbour"));
        QVERIFY(form.isWindowModified());

        QVERIFY(form.actnSaveExecute());
        QCOMPARE(prompts.shown.size(), 1);
        const QString message = prompts.shown.first();
        QVERIFY2(message.startsWith(QStringLiteral("warning: Your configuration is saved in the local copy %1 and was not "
                                                   "sent to the server. The server could not be checked for changes")
                                        .arg(form.configFilePath())),
                 qPrintable(message));
        QVERIFY2(message.contains(why), qPrintable(message));
        QVERIFY2(message.endsWith(QStringLiteral("quilmora-config --folder %1 push 127.0.0.1 --force").arg(dir.path())),
                 qPrintable(message));
        QVERIFY(TestFiles::read(form.configFilePath()).contains("Name=Harbour\r\n"));
        QVERIFY(!form.isChanged());
        QVERIFY(form.isWindowModified());
        QCOMPARE(server.blocks(), QList<QByteArray>());

        // The next save is checked and sent; the mark goes.
        chooser.info()->Port = server.port();
        chooser.info()->setOverallLimit(30);
        monitor.cancelAt = 0;
        QVERIFY(form.actnSaveExecute());
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY(server.wait());
        QCOMPARE(server.blocks().size(), 1);
        QVERIFY(server.blocks().first().contains("Name=Harbour\r\n"));
        QVERIFY(!form.isWindowModified());
    }

    // Whatever stands at "<host>.fetched" when the editor starts, its fetch puts a regular
    // record there and never writes or creates what a link points to; a folder stays, and the
    // save then asks, as it does for a change, saying why the server cannot be checked.
    void plantedRecordAtStart_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to an outside file") << "link";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("folder") << "folder";
        QTest::newRow("empty") << "empty";
        QTest::newRow("garbled") << "garbled";
        QTest::newRow("huge") << "huge";
    }

    void plantedRecordAtStart()
    {
        QFETCH(QString, kind);
        const bool folder = kind == QLatin1String("folder");
        QList<Script> scripts{Script().line().send("200 OK\r\n").line().sendBlock(Config)};
        if (!folder) // the save's check
            scripts.append(Script().line().send("200 OK\r\n").line().sendBlock(Config));
        scripts.append(Script().line().send("200 OK\r\n").line().receiveBlock());
        RemoteStart run(scripts);
        QTemporaryDir outside;
        const QString target = outside.filePath(QStringLiteral("passwd"));
        const QByteArray targetBytes = "root:x:0:0:root:/root:/bin/bash\n";
        QVERIFY(TestFiles::write(target, targetBytes));
        const QString dangling = outside.filePath(QStringLiteral("created"));
        const QString record = run.dir.filePath(QStringLiteral("127.0.0.1.fetched"));
        bool planted = false;
        if (kind == QLatin1String("link"))
            planted = QFile::link(target, record);
        else if (kind == QLatin1String("dangling"))
            planted = QFile::link(dangling, record);
        else if (kind == QLatin1String("fifo"))
            planted = ::mkfifo(QFile::encodeName(record).constData(), 0600) == 0;
        else if (folder)
            planted = QDir().mkdir(record);
        else if (kind == QLatin1String("empty"))
            planted = TestFiles::write(record, QByteArray());
        else if (kind == QLatin1String("garbled"))
            planted = TestFiles::write(record, "12 not-a-digest\n");
        else
            planted = TestFiles::write(record, QByteArray(1024 * 1024, '7'));
        QVERIFY(planted);

        QCOMPARE(run.start(), TMainForm::StartResult::Run);
        QCOMPARE(TestFiles::read(target), targetBytes);
        QVERIFY(!QFileInfo::exists(dangling));
        QCOMPARE(QFileInfo(record).isDir(), folder);
        QCOMPARE(QFileInfo(record).isFile() && !QFileInfo(record).isSymLink(), !folder);

        run.form.show();
        typeName(&run.form, QStringLiteral("Harbour"));
        run.prompts.answers = {Prompts::Answer::Yes};
        QVERIFY(run.form.actnSaveExecute());
        QVERIFY(run.server.wait());
        QCOMPARE(run.server.blocks().size(), 1);
        if (folder) {
            QCOMPARE(run.prompts.shown.size(), 1);
            QVERIFY2(run.prompts.shown.first().startsWith(
                         QStringLiteral("yesNo: The configuration on the server cannot be checked for changes made since "
                                        "it was fetched: %1 is a folder.")
                             .arg(record)),
                     qPrintable(run.prompts.shown.first()));
        } else {
            QCOMPARE(run.prompts.shown, QStringList());
        }
        QCOMPARE(TestFiles::read(target), targetBytes);
        QVERIFY(!QFileInfo::exists(dangling));
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
        // changed flag is clear all the same, while the title keeps its mark.
        QCOMPARE(run.prompts.shown.size(), 1);
        QVERIFY2(run.prompts.shown.first().contains(QStringLiteral("Socket Error # 111\r\n")),
                 qPrintable(run.prompts.shown.first()));
        QVERIFY(!form.isChanged());
        QVERIFY(form.isWindowModified());
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
