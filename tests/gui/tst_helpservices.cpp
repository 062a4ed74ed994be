// The network exchanges the windows start, against servers that stall them: the support
// request's Send, Check For New Version and a remote transfer that cannot connect. The
// window's event loop keeps running, the progress dialog's Cancel ends the exchange at
// once, and the overall limit ends it however the server paces it.
#include "main/TMainForm.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "remote/TRemoteInfo.h"
#include "services/TKDVersion.h"
#include "services/TSupportForm.h"
#include "support/LoopbackConfigServer.h"
#include "support/LoopbackLineServer.h"
#include "support/ScriptedPrompts.h"
#include "support/StalledListener.h"
#include "support/TestFiles.h"
#include "widgets/TransferProgressDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// A server that stalls an exchange: "silent" takes the connection and the first line and
// never answers; "drip" answers one byte every 100 ms and never ends its line; "stalled"
// never completes the connection.
class StallingServer
{
public:
    explicit StallingServer(const QString &kind)
    {
        if (kind == QLatin1String("silent")) {
            m_silent = std::make_unique<LoopbackLineServer>(QList<LoopbackLineServer::Script>{
                                                                LoopbackLineServer::Script()},
                                                            15000);
            m_port = m_silent->port();
        } else if (kind == QLatin1String("drip")) {
            LoopbackConfigServer::Script drip = LoopbackConfigServer::Script().send("220-");
            for (int i = 0; i < 40; ++i)
                drip.send("x").pause(100);
            m_drip = std::make_unique<LoopbackConfigServer>(QList<LoopbackConfigServer::Script>{drip});
            m_port = m_drip->port();
        } else {
            m_port = m_stalled.port();
            m_usable = m_stalled.stalls();
        }
    }
    quint16 port() const { return m_port; }
    bool usable() const { return m_usable; }

private:
    std::unique_ptr<LoopbackLineServer> m_silent;
    std::unique_ptr<LoopbackConfigServer> m_drip;
    StalledListener m_stalled;
    quint16 m_port = 0;
    bool m_usable = true;
};

// Watches an exchange from the window's event loop: counts the loop's turns, notes when
// the progress dialog first stands visible, and with `cancelAfterMs` clicks its Cancel
// that long after it showed.
class Watcher
{
public:
    explicit Watcher(int cancelAfterMs) : m_cancelAfterMs(cancelAfterMs)
    {
        m_clock.start();
        m_tick.setInterval(20);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { look(); });
        m_tick.start();
    }
    int ticks = 0;
    qint64 shownAt = -1;
    qint64 clickedAt = -1;
    QString title;
    QString shot; // the dialog's picture, when pictures are asked for
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    void look()
    {
        ++ticks;
        TransferProgressDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<TransferProgressDialog *>(w); d && d->isVisible())
                dialog = d;
        }
        if (!dialog)
            return;
        if (shownAt < 0) {
            shownAt = m_clock.elapsed();
            title = dialog->windowTitle();
            if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR"); !dir.isEmpty() && !shot.isEmpty())
                dialog->grab().save(dir + QLatin1Char('/') + shot);
        }
        if (m_cancelAfterMs >= 0 && clickedAt < 0 && m_clock.elapsed() - shownAt >= m_cancelAfterMs) {
            clickedAt = m_clock.elapsed();
            QTest::mouseClick(dialog->butnCancel, Qt::LeftButton);
        }
    }

    int m_cancelAfterMs;
    QElapsedTimer m_clock;
    QTimer m_tick;
};

} // namespace

class TestHelpServices : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniFileRegistry> m_registry;
    ScriptedPrompts m_prompts;
    RecordingShell m_shell;
    FixedSystemInfo m_system;
    std::unique_ptr<TMainForm> m_form;

    TMainForm *openEditor()
    {
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

    // The overall limit in these tests: long enough for the dialog to show (after a
    // second) and be clicked, short enough to wait for.
    static constexpr int LimitSeconds = 2;

private slots:
    void initTestCase()
    {
        qputenv("QUILMORA_SUPPORT_HOST", "127.0.0.1");
        qputenv("QUILMORA_SUPPORT_MAILBOX", "help@quilmora.example");
        qputenv("QUILMORA_VERSION_HOST", "127.0.0.1");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("quilmora.ini")), "[SERVER]\r\nName=Office\r\n"));
        m_registry = std::make_unique<IniFileRegistry>(m_dir->filePath(QStringLiteral("registry")));
        // No tip window when the editor first becomes active.
        auto key = m_registry->openKey(Registry::Root::LocalMachine, QStringLiteral("\\SOFTWARE\\Kovalen Designs\\Quilmora"),
                                       Registry::Access::Full, true);
        QVERIFY(key && key->writeString(QStringLiteral("TipsEnabled"), QStringLiteral("0")));
        m_prompts = ScriptedPrompts();
    }

    void cleanup() { m_form.reset(); }

    // Both help services, each against a silent server cancelled from the dialog, a
    // silent one left to the limit and a dripping one, which cannot stretch the limit.
    void staysResponsive_data()
    {
        QTest::addColumn<bool>("support");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("shown");
        const QString overdue =
            QStringLiteral("error: Message could not be sent: The transfer did not finish within %1 seconds.")
                .arg(LimitSeconds);
        QTest::newRow("Send, silent, Cancel")
            << true << "silent" << true << QStringList{"error: Message could not be sent: Transfer cancelled"};
        QTest::newRow("Send, silent, limit") << true << "silent" << false << QStringList{overdue};
        QTest::newRow("Send, dripping, limit") << true << "drip" << false << QStringList{overdue};
        QTest::newRow("Send, never connected, Cancel")
            << true << "stalled" << true << QStringList{"error: Message could not be sent: Transfer cancelled"};
        // A version check that fails says nothing, however it ends.
        QTest::newRow("version check, silent, Cancel") << false << "silent" << true << QStringList();
        QTest::newRow("version check, silent, limit") << false << "silent" << false << QStringList();
        QTest::newRow("version check, dripping, limit") << false << "drip" << false << QStringList();
        QTest::newRow("version check, never connected, Cancel") << false << "stalled" << true << QStringList();
    }
    void staysResponsive()
    {
        QFETCH(bool, support);
        QFETCH(QString, server);
        QFETCH(bool, cancel);
        QFETCH(QStringList, shown);
        StallingServer stalling(server);
        if (!stalling.usable())
            QSKIP("this system completes connections to a listener with a full backlog");

        std::unique_ptr<TSupportForm> form;
        TMainForm *editor = nullptr;
        if (support) {
            qputenv("QUILMORA_SUPPORT_PORT", QByteArray::number(stalling.port()));
            form = std::make_unique<TSupportForm>(m_prompts, m_system, m_dir->path());
            form->timeoutMs = 10000;
            form->overallLimitSeconds = LimitSeconds;
            form->show();
            form->editEmail->setText(QStringLiteral("ann@site.example"));
        } else {
            qputenv("QUILMORA_VERSION_PORT", QByteArray::number(stalling.port()));
            editor = openEditor();
            QVERIFY(editor);
            editor->KDVersion1->timeoutMs = 10000;
            editor->KDVersion1->overallLimitSeconds = LimitSeconds;
        }

        Watcher watcher(cancel ? 200 : -1);
        if (cancel && server == QLatin1String("silent"))
            watcher.shot = support ? QStringLiteral("support-sending.png") : QStringLiteral("version-checking.png");
        if (support)
            QTest::mouseClick(form->butnSend, Qt::LeftButton);
        else
            editor->actnCheckVersion->trigger();
        const qint64 took = watcher.elapsed();

        // The event loop ran all along (a turn every 20 ms; a loaded machine may skip some), and the dialog stood for the
        // exchange from its first second on.
        QVERIFY2(watcher.ticks >= took / 20 / 4, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(watcher.ticks).arg(took)));
        QVERIFY2(watcher.shownAt >= 900 && watcher.shownAt < 2000, qPrintable(QString::number(watcher.shownAt)));
        QCOMPARE(watcher.title, support ? QStringLiteral("Sending the support request")
                                        : QStringLiteral("Checking for a new version"));
        if (cancel) {
            QVERIFY(watcher.clickedAt > 0);
            QVERIFY2(took - watcher.clickedAt < 800, qPrintable(QString::number(took - watcher.clickedAt)));
        } else {
            QVERIFY2(took >= LimitSeconds * 1000 - 100 && took < LimitSeconds * 1000 + 1500, qPrintable(QString::number(took)));
        }
        QCOMPARE(m_prompts.shown, shown);
        if (support) {
            QVERIFY(form->isVisible()); // kept for another try
            QCOMPARE(form->editEmail->text(), QStringLiteral("ann@site.example"));
        } else {
            QVERIFY(!editor->KDVersion1->OnSameVersion);
        }
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TransferProgressDialog *>(w) || !w->isVisible());
    }

    // A remote transfer that cannot connect: its progress dialog shows while the
    // connection is pending, the window's event loop runs, and Cancel ends it at once.
    void connectingCancelled()
    {
        StalledListener stalled;
        if (!stalled.stalls())
            QSKIP("this system completes connections to a listener with a full backlog");
        const QString copy = m_dir->filePath(QStringLiteral("127.0.0.1"));
        QVERIFY(TestFiles::write(copy, "[SERVER]\r\n"));
        TRemoteInfo remote(m_prompts);
        remote.Host = QStringLiteral("127.0.0.1");
        remote.Port = stalled.port();
        remote.setTimeout(30000);
        TransferProgressDialog dialog;
        remote.setMonitor(&dialog);
        Watcher watcher(200);
        QCOMPARE(remote.GetConfig(m_dir->path()), QString());
        const qint64 took = watcher.elapsed();
        QVERIFY2(watcher.ticks >= took / 20 / 4, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(watcher.ticks).arg(took)));
        QVERIFY(watcher.shownAt >= 900);
        QCOMPARE(watcher.title, QStringLiteral("Receiving the configuration"));
        QVERIFY(watcher.clickedAt > 0);
        QVERIFY2(took - watcher.clickedAt < 800, qPrintable(QString::number(took - watcher.clickedAt)));
        QCOMPARE(m_prompts.shown, QStringList{"error: Transfer cancelled"});
        QVERIFY(!dialog.isVisible());
        QCOMPARE(TestFiles::read(copy), QByteArray("[SERVER]\r\n"));
    }
};

QTEST_MAIN(TestHelpServices)
#include "tst_helpservices.moc"
