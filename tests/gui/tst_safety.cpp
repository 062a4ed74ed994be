// The editor and the administrator's data: another program's change is not overwritten
// unasked (not even one made while the save writes), the save takes the folder's lock and
// tells of a backup it cannot keep, a fetched configuration reads no file of this machine,
// and a transfer shows its progress and can be cancelled.
#include "main/TMainForm.h"
#include "widgets/TransferProgressDialog.h"
#include "config/ConfigDocument.h"
#include "config/SafeFile.h"
#include "remote/TRemoteInfo.h"
#include "support/LoopbackConfigServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

using Script = LoopbackConfigServer::Script;

namespace {

const QByteArray Config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n";

// A remote run whose fetch writes `file` as the local copy "host.example".
class CopyTransfer : public ConfigTransfer
{
public:
    explicit CopyTransfer(QByteArray file) : m_file(std::move(file)) {}
    QString fetchConfig(const QString &folder) override
    {
        return TestFiles::write(QDir(folder).filePath(QStringLiteral("host.example")), m_file)
                   ? QStringLiteral("host.example")
                   : QString();
    }
    void putConfig(const QString &) override {}

private:
    QByteArray m_file;
};

class RemoteChooser : public RunModeChooser
{
public:
    explicit RemoteChooser(QByteArray file) : m_file(std::move(file)) {}
    RunModeChoice choose(QWidget *) override { return RunModeChoice::remote(std::make_unique<CopyTransfer>(m_file)); }

private:
    QByteArray m_file;
};

} // namespace

class TestSafety : public QObject
{
    Q_OBJECT

private slots:
    void changedOnDiskAsks_data();
    void changedOnDiskAsks();
    void changedWhileTheSaveWrites();
    void revertTakesTheFileAsItIsNow();
    void saveTakesTheFolderLock();
    void backupThatCannotBeKeptIsTold();
    void fetchedConfigurationReadsNoLocalFile();
    void localFileOutsideTheFolderIsNotRead();
    void progressDialogAlone();
    void cancelEndsTheTransfer();

private:
    TMainForm *open(const QByteArray &file, RunModeChooser *chooser = nullptr)
    {
        m_form.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        if (!file.isNull() && !TestFiles::write(iniPath(), file))
            return nullptr;
        m_prompts = ScriptedPrompts();
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.programFolder = m_dir->path();
        ctx.runModeChooser = chooser;
        ctx.localAddresses = [] { return QStringList{QStringLiteral("192.0.2.10")}; };
        m_form = std::make_unique<TMainForm>(ctx);
        if (m_form->start(false) != TMainForm::StartResult::Run)
            return nullptr;
        m_form->show();
        return m_form.get();
    }
    QString iniPath() const { return m_dir->filePath(QStringLiteral("quilmora.ini")); }
    static void retype(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedPrompts m_prompts;
    std::unique_ptr<TMainForm> m_form;
};

void TestSafety::changedOnDiskAsks_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("No keeps the edits unsaved") << false;
    QTest::newRow("Yes overwrites") << true;
}

void TestSafety::changedOnDiskAsks()
{
    QFETCH(bool, overwrite);
    TMainForm *f = open(Config);
    QVERIFY(f);
    retype(f->editName, QStringLiteral("Harbour"));
    const QByteArray other = "[SERVER]\r\nName=Changed elsewhere\r\nVersion=1.05\r\n";
    QVERIFY(TestFiles::write(iniPath(), other));

    m_prompts.answers = {overwrite ? Prompts::Answer::Yes : Prompts::Answer::No};
    QCOMPARE(f->actnSaveExecute(), overwrite);
    QCOMPARE(m_prompts.shown,
             QStringList{QStringLiteral("yesNo: The configuration file was changed by another program since it was "
                                        "loaded. Overwrite it?")});
    QCOMPARE(f->isChanged(), !overwrite);
    QCOMPARE(TestFiles::read(iniPath()).contains("Name=Harbour\r\n"), overwrite);
    if (!overwrite) {
        QCOMPARE(TestFiles::read(iniPath()), other);
        QCOMPARE(f->editName->text(), QStringLiteral("Harbour"));
        return;
    }
    // What this save wrote is now the file as known: the next save asks nothing.
    m_prompts.shown.clear();
    retype(f->editName, QStringLiteral("Harbour 2"));
    QVERIFY(f->actnSaveExecute());
    QCOMPARE(m_prompts.shown, QStringList());
    QCOMPARE(TestFiles::read(iniPath() + QStringLiteral(".bak")).contains("Name=Harbour\r\n"), true);
}

// Another program rewrites the file; Revert to Saved loads it: it is now the file as known,
// and an edit saved after it asks nothing about a change on disk.
void TestSafety::revertTakesTheFileAsItIsNow()
{
    TMainForm *f = open(Config);
    QVERIFY(f);
    const QByteArray other = "[SERVER]\r\nName=Changed elsewhere\r\nVersion=1.05\r\nPort=120\r\n";
    QVERIFY(TestFiles::write(iniPath(), other));
    m_prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(f->actnRevertExecute());
    QCOMPARE(f->editName->text(), QStringLiteral("Changed elsewhere"));
    m_prompts.shown.clear();
    retype(f->editName, QStringLiteral("Harbour"));
    QVERIFY(f->actnSaveExecute());
    QCOMPARE(m_prompts.shown, QStringList());
    const QByteArray written = TestFiles::read(iniPath());
    QVERIFY(written.contains("Name=Harbour\r\n"));
    QVERIFY(written.contains("Port=120\r\n")); // the other program's value stays
    QVERIFY(!f->isChanged());
}

// Another program that takes no lock writes the file while the save writes its new file:
// the save fails with the message, the other program's file stays, the edits stay unsaved;
// the next save asks as for any change on disk.
void TestSafety::changedWhileTheSaveWrites()
{
    TMainForm *f = open(Config);
    QVERIFY(f);
    retype(f->editName, QStringLiteral("Harbour"));
    const QByteArray other = "[SERVER]\r\nName=Changed meanwhile\r\nVersion=1.05\r\n";
    SafeFile::setBeforeLastCheck([&](const QString &) { QVERIFY(TestFiles::write(iniPath(), other)); });
    const bool saved = f->actnSaveExecute();
    SafeFile::setBeforeLastCheck({});
    QVERIFY(!saved);
    QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: ") + ConfigDocument::changedOnDiskText()});
    QCOMPARE(TestFiles::read(iniPath()), other);
    QVERIFY(f->isChanged());

    m_prompts.shown.clear();
    m_prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(f->actnSaveExecute());
    QCOMPARE(m_prompts.shown.size(), 1);
    QVERIFY(m_prompts.shown.first().startsWith(QStringLiteral("yesNo: ")));
    QVERIFY(TestFiles::read(iniPath()).contains("Name=Harbour\r\n"));
    QCOMPARE(TestFiles::read(iniPath() + QStringLiteral(".bak")), other);
}

// While a command of quilmora-config holds the folder's lock, the save waits for it and
// writes only once it is free.
void TestSafety::saveTakesTheFolderLock()
{
    TMainForm *f = open(Config);
    QVERIFY(f);
    retype(f->editName, QStringLiteral("Harbour"));
    std::atomic<bool> locked{false};
    QByteArray whileLocked;
    std::thread command([&] {
        SafeFile::FolderLock lock;
        QString error;
        lock.acquire(m_dir->path(), 0, &error);
        locked = true;
        QThread::msleep(600);
        whileLocked = TestFiles::read(iniPath());
    });
    while (!locked)
        QThread::msleep(5);
    QElapsedTimer clock;
    clock.start();
    const bool saved = f->actnSaveExecute();
    const qint64 waited = clock.elapsed();
    command.join();
    QVERIFY(saved);
    QCOMPARE(whileLocked, Config);
    QVERIFY2(waited >= 400, qPrintable(QString::number(waited)));
    QVERIFY(TestFiles::read(iniPath()).contains("Name=Harbour\r\n"));
    QCOMPARE(m_prompts.shown, QStringList());
}

// A backup that cannot be kept (a folder stands at "quilmora.ini.bak") does not stop the
// save; the editor says so.
void TestSafety::backupThatCannotBeKeptIsTold()
{
    TMainForm *f = open(Config);
    QVERIFY(f);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("quilmora.ini.bak")));
    retype(f->editName, QStringLiteral("Harbour"));
    QVERIFY(f->actnSaveExecute());
    QCOMPARE(m_prompts.shown,
             QStringList{QStringLiteral("warning: The previous configuration could not be kept as %1; the new one was "
                                        "saved all the same.")
                             .arg(QDir::toNativeSeparators(iniPath() + QStringLiteral(".bak")))});
    QVERIFY(!f->isChanged());
    QVERIFY(TestFiles::read(iniPath()).contains("Name=Harbour\r\n"));
}

// A server's old-format configuration names files: in remote mode none is read, even one
// that exists here; the editor says so once, and the save writes the bodies empty.
void TestSafety::fetchedConfigurationReadsNoLocalFile()
{
    QTemporaryDir secrets;
    const QString secret = secrets.filePath(QStringLiteral("id_rsa"));
    QVERIFY(TestFiles::write(secret, "PRIVATE KEY\n"));
    const QByteArray served = "[SERVER]\r\nName=Office\r\n[POP1]\r\nUserID=a\r\nAutoReplyFile=" +
                              QFile::encodeName(secret) + "\r\n[GROUP1]\r\nName=g\r\nKeyListFile=/etc/passwd\r\n";
    RemoteChooser chooser(served);
    TMainForm *f = open({}, &chooser);
    QVERIFY(f);
    QCOMPARE(m_prompts.shown.size(), 1);
    const QString told = m_prompts.shown.first();
    QVERIFY2(told.startsWith(QStringLiteral("information: The configuration is not the folder's own configuration file")),
             qPrintable(told));
    QVERIFY(told.contains(QStringLiteral("POP1 AutoReplyFile=") + secret));
    QVERIFY(told.contains(QStringLiteral("GROUP1 KeyListFile=/etc/passwd")));
    QVERIFY(told.contains(QStringLiteral("the next save writes them empty")));

    QVERIFY(f->actnSaveExecute());
    const QByteArray saved = TestFiles::read(f->configFilePath());
    QVERIFY(saved.contains("AutoReplyBody=\r\n"));
    QVERIFY(saved.contains("KeyList=\r\n"));
    QVERIFY(!saved.contains(QByteArray("PRIVATE KEY").toHex().toUpper()));
}

// In local mode a file inside the folder is converted; one outside is not read, and the
// editor says which.
void TestSafety::localFileOutsideTheFolderIsNotRead()
{
    QTemporaryDir secrets;
    const QString secret = secrets.filePath(QStringLiteral("shadow"));
    QVERIFY(TestFiles::write(secret, "root:x\n"));
    const QByteArray file = "[SERVER]\r\nName=Office\r\n[POP1]\r\nUserID=a\r\nAutoReplyFile=body.txt\r\n"
                            "[GROUP1]\r\nName=g\r\nKeyListFile=" + QFile::encodeName(secret) + "\r\n";
    TMainForm *f = open(file);
    QVERIFY(f);
    QCOMPARE(m_prompts.shown.size(), 1);
    QVERIFY(m_prompts.shown.first().contains(QStringLiteral("GROUP1 KeyListFile=") + secret));
    QVERIFY(!m_prompts.shown.first().contains(QStringLiteral("body.txt")));
}

// The dialog stays hidden for the first second, then shows the bytes moved of N; Cancel
// makes the next report answer "stop".
void TestSafety::progressDialogAlone()
{
    TransferProgressDialog dialog;
    dialog.begin(TransferMonitor::Direction::Fetch);
    QVERIFY(dialog.progress(0, -1));
    QVERIFY(!dialog.isVisible());
    dialog.setShowDelay(0);
    QVERIFY(dialog.progress(512, 2048));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.lablProgress->text(), QStringLiteral("512 of 2048 bytes received"));
    QTest::mouseClick(dialog.butnCancel, Qt::LeftButton);
    QVERIFY(!dialog.progress(600, 2048));
    dialog.end();
    QVERIFY(!dialog.isVisible());

    // A new transfer starts uncancelled; Esc cancels as the button does.
    dialog.begin(TransferMonitor::Direction::Return);
    QVERIFY(dialog.progress(1, 4));
    QCOMPARE(dialog.lablProgress->text(), QStringLiteral("1 of 4 bytes sent"));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.progress(2, 4));
    dialog.end();
}

// Cancel in the dialog during a slow fetch: handled as any failure ("Transfer cancelled"),
// the previous local copy stays.
void TestSafety::cancelEndsTheTransfer()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("127.0.0.1"));
    QVERIFY(TestFiles::write(copy, Config));
    Script slow = Script().line().send("200 OK\r\n").line().send(LoopbackConfigServer::lengthBytes(1000));
    for (int i = 0; i < 100; ++i)
        slow.send("xxxxxxxxxx").pause(30);
    LoopbackConfigServer server({slow});

    ScriptedPrompts prompts;
    TRemoteInfo remote(prompts);
    remote.Host = QStringLiteral("127.0.0.1");
    remote.Port = server.port();
    TransferProgressDialog dialog;
    dialog.setShowDelay(0);
    remote.setMonitor(&dialog);
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (dialog.isVisible() && dialog.lablProgress->text().contains(QStringLiteral(" of 1000 ")))
            QTest::mouseClick(dialog.butnCancel, Qt::LeftButton);
    });
    clicker.start(50);
    QCOMPARE(remote.GetConfig(dir.path()), QString());
    server.wait();

    QCOMPARE(prompts.shown.size(), 1);
    QVERIFY2(prompts.shown.first().startsWith(QStringLiteral("error: Transfer cancelled\r\n")),
             qPrintable(prompts.shown.first()));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(TestFiles::read(copy), Config);
}

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
