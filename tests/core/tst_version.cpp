// The version check against a scripted loopback version server: the request, the reply,
// the same/different decision, the three ways of telling, the registry gate and the
// notification mail.
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "services/TKDVersion.h"
#include "support/LoopbackConfigServer.h"
#include "support/LoopbackLineServer.h"
#include "support/StalledListener.h"
#include "support/ScriptedPrompts.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using Script = LoopbackLineServer::Script;

namespace {

const QString Key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kovalen Designs\\Quilmora");

Script versionReply(const QByteArray &lines)
{
    return Script().reply("200 Version follows\r\n" + lines + ".\r\n");
}

} // namespace

class TestVersion : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniFileRegistry> m_registry;
    ScriptedPrompts m_prompts;
    RecordingShell m_shell;
    std::unique_ptr<TKDVersion> m_version;
    int m_same = 0;
    QStringList m_diff; // url|version|msg of each OnDiffVersion

    TKDVersion &make(quint16 port, TKDVersion::TNotifyType type = TKDVersion::ntNone)
    {
        m_version = std::make_unique<TKDVersion>();
        TKDVersion &v = *m_version;
        v.registry = m_registry.get();
        v.prompts = &m_prompts;
        v.shell = &m_shell;
        v.RegistryKey = Key;
        v.AppVersion = QStringLiteral("1.05");
        v.AppName = QStringLiteral("REVADIDOVADIDU");
        v.ServerHost = QStringLiteral("127.0.0.1");
        v.ServerPort = port;
        v.NotifyType = type;
        v.DialogMessage = QStringLiteral("A new version exists.");
        v.timeoutMs = 5000;
        v.OnSameVersion = [this](TKDVersion *sender) {
            QCOMPARE(sender, m_version.get());
            ++m_same;
        };
        v.OnDiffVersion = [this](TKDVersion *, const QString &url, const QString &version, const QString &msg) {
            m_diff.append(url + QLatin1Char('|') + version + QLatin1Char('|') + msg);
        };
        return v;
    }

    std::optional<QString> storedVersion()
    {
        auto key = m_registry->openKey(Registry::Root::LocalMachine, QStringLiteral("\\SOFTWARE\\Kovalen Designs\\Quilmora"),
                                       Registry::Access::ReadOnly, false);
        return key ? key->readString(QStringLiteral("Version")) : std::nullopt;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_registry = std::make_unique<IniFileRegistry>(m_dir->path());
        m_prompts = ScriptedPrompts();
        m_shell = RecordingShell();
        m_same = 0;
        m_diff.clear();
    }

    void decision_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("same");
        QTest::addColumn<QString>("diff");
        QTest::newRow("same") << QByteArray("VERSION=1.05\r\n") << 1 << QString();
        QTest::newRow("same in other case") << QByteArray("version=1.05\r\n") << 1 << QString();
        QTest::newRow("no VERSION line") << QByteArray("URL=http://x.example/\r\n") << 1 << QString();
        QTest::newRow("older counts as different")
            << QByteArray("VERSION=1.04\r\nURL=http://dl.example/q\r\nMESSAGE=old one\r\n") << 0
            << "http://dl.example/q|1.04|old one";
        QTest::newRow("names in any case, first counts, value after the first =")
            << QByteArray("Url=http://a.example/?x=1\r\nversion=2.0\r\nVERSION=1.05\r\nmessage=a=b\r\n") << 0
            << "http://a.example/?x=1|2.0|a=b";
        QTest::newRow("dot-stuffed line and blanks kept") << QByteArray("VERSION=1.1\r\n..MESSAGE=x\r\nMESSAGE= two  \r\n")
                                                          << 0 << "|1.1| two  ";
    }
    void decision()
    {
        QFETCH(QByteArray, lines);
        QFETCH(int, same);
        QFETCH(QString, diff);
        LoopbackLineServer server({versionReply(lines)});
        make(server.port()).CheckVersion(true);
        QVERIFY(server.wait());
        QCOMPARE(server.received(0), QByteArray("VERSION REVADIDOVADIDU 1.05\r\n"));
        QCOMPARE(m_same, same);
        QCOMPARE(m_diff, diff.isNull() ? QStringList() : QStringList{diff});
    }

    void appVersionComparedWithoutCase()
    {
        LoopbackLineServer server({versionReply("VERSION=1.05B\r\n")});
        TKDVersion &v = make(server.port());
        v.AppVersion = QStringLiteral("1.05b");
        v.CheckVersion(true);
        QVERIFY(server.wait());
        QCOMPARE(m_same, 1);
    }

    void failuresShowNothing_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("close");
        QTest::newRow("not 200") << QByteArray("500 No such product\r\n") << false;
        QTest::newRow("closed before the dot") << QByteArray("200 OK\r\nVERSION=2.0\r\n") << true;
        QTest::newRow("closed before the reply") << QByteArray() << true;
    }
    void failuresShowNothing()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, close);
        Script s;
        s.line().send(reply);
        if (close)
            s.close();
        LoopbackLineServer server({s});
        make(server.port(), TKDVersion::ntPrompt).CheckVersion(true);
        QVERIFY(server.wait());
        QCOMPARE(m_same, 0);
        QVERIFY(m_diff.isEmpty());
        QVERIFY(m_prompts.shown.isEmpty());
        QVERIFY(m_shell.opened.isEmpty());
    }

    void unreachableServerShowsNothing()
    {
        quint16 port;
        {
            LoopbackLineServer gone({});
            port = gone.port();
        }
        make(port, TKDVersion::ntPrompt).CheckVersion(true);
        QCOMPARE(m_same, 0);
        QVERIFY(m_prompts.shown.isEmpty());
    }

    // However the server stalls the check, it ends silently at the overall limit, long
    // before the silence allowed between two pieces of the reply would end it.
    void overallLimitShowsNothing_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("silent after the request") << QStringLiteral("silent");
        QTest::newRow("dripping its reply") << QStringLiteral("drip");
        QTest::newRow("connection never made") << QStringLiteral("stalled");
    }
    void overallLimitShowsNothing()
    {
        QFETCH(QString, server);
        std::unique_ptr<LoopbackLineServer> silent;
        std::unique_ptr<LoopbackConfigServer> drip;
        StalledListener stalled;
        quint16 port = stalled.port();
        if (server == QLatin1String("silent")) {
            silent = std::make_unique<LoopbackLineServer>(QList<Script>{Script().line()});
            port = silent->port();
        } else if (server == QLatin1String("drip")) {
            LoopbackConfigServer::Script reply = LoopbackConfigServer::Script().line().send("200 OK\r\n");
            for (int i = 0; i < 25; ++i)
                reply.send("V").pause(100);
            drip = std::make_unique<LoopbackConfigServer>(QList<LoopbackConfigServer::Script>{reply});
            port = drip->port();
        } else if (!stalled.stalls()) {
            QSKIP("this system completes connections to a listener with a full backlog");
        }
        TKDVersion &v = make(port, TKDVersion::ntPrompt);
        v.overallLimitSeconds = 1;
        QElapsedTimer clock;
        clock.start();
        v.CheckVersion(true);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_same, 0);
        QVERIFY(m_prompts.shown.isEmpty());
    }

    void promptOpensOnlyOnOk_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("OK") << true << QByteArray("https://dl.quilmora.example/get") << QStringList{"https://dl.quilmora.example/get"};
        QTest::newRow("Cancel") << false << QByteArray("https://dl.quilmora.example/get") << QStringList();
        // The address comes from the network: only a web address reaches the shell.
        QTest::newRow("OK, not a web address") << true << QByteArray("file:///bin/sh") << QStringList();
        QTest::newRow("OK, a program path") << true << QByteArray("/usr/bin/xterm") << QStringList();
        QTest::newRow("OK, empty") << true << QByteArray() << QStringList();
    }
    void promptOpensOnlyOnOk()
    {
        QFETCH(bool, ok);
        QFETCH(QByteArray, url);
        QFETCH(QStringList, opened);
        LoopbackLineServer server({versionReply("VERSION=2.0\r\nURL=" + url + "\r\n")});
        m_prompts.answers = {ok ? Prompts::Answer::Yes : Prompts::Answer::Cancel};
        make(server.port(), TKDVersion::ntPrompt).CheckVersion(true);
        QVERIFY(server.wait());
        QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("informationOkCancel: A new version exists.")});
        QCOMPARE(m_shell.opened, opened);
        QVERIFY(m_diff.isEmpty());
    }

    void emailWithEmptySenderSendsNothing()
    {
        LoopbackLineServer server({versionReply("VERSION=2.0\r\n")});
        LoopbackLineServer smtp({LoopbackLineServer::smtpAccepting()}, 500);
        TKDVersion &v = make(server.port(), TKDVersion::ntEmail);
        v.SMTPHost = QStringLiteral("127.0.0.1");
        v.SMTPPort = smtp.port();
        v.EMailRecipient = QStringLiteral("admin@site.example");
        v.CheckVersion(true);
        QVERIFY(server.wait());
        QVERIFY(!smtp.wait()); // no connection ever came
        QCOMPARE(smtp.connections(), 0);
        QVERIFY(m_prompts.shown.isEmpty());
    }

    void emailReplacesPlaceholders()
    {
        LoopbackLineServer server({versionReply("VERSION=2.0\r\nURL=http://dl.example/%MESSAGE%\r\nMESSAGE=Faster\r\n")});
        LoopbackLineServer smtp({LoopbackLineServer::smtpAccepting("250 hi\r\n", 2)});
        TKDVersion &v = make(server.port(), TKDVersion::ntEmail);
        v.SMTPHost = QStringLiteral("127.0.0.1");
        v.SMTPPort = smtp.port();
        v.EMailRecipient = QStringLiteral("admin@site.example, ops@site.example");
        v.EmailFrom = QStringLiteral("editor@site.example");
        v.EmailSubject = QStringLiteral("New Version of Quilmora available");
        v.setEmailMessage({QStringLiteral("Release %Version% is out:"), QStringLiteral("%url%"),
                           QStringLiteral("%MeSsAgE%")});
        v.CheckVersion(true);
        QVERIFY(server.wait());
        QVERIFY(smtp.wait());
        const QByteArray got = smtp.received(0);
        QVERIFY(got.contains("Mail from:<editor@site.example>\r\nRCPT to:<admin@site.example>\r\n"
                             "RCPT to:<ops@site.example>\r\nData\r\n"));
        QVERIFY(got.contains("Subject: New Version of Quilmora available\r\n"));
        // The URL's own placeholder is replaced in turn: the replacements run one after the other.
        QVERIFY(got.contains("\r\n\r\nRelease 2.0 is out:\r\nhttp://dl.example/Faster\r\nFaster\r\n.\r\n"));
        QVERIFY(m_prompts.shown.isEmpty());
    }

    void emailFailureIsSilent()
    {
        LoopbackLineServer server({versionReply("VERSION=2.0\r\n")});
        LoopbackLineServer smtp({Script().send("554 go away\r\n")});
        TKDVersion &v = make(server.port(), TKDVersion::ntEmail);
        v.SMTPHost = QStringLiteral("127.0.0.1");
        v.SMTPPort = smtp.port();
        v.EMailRecipient = QStringLiteral("admin@site.example");
        v.EmailFrom = QStringLiteral("editor@site.example");
        v.CheckVersion(true);
        QVERIFY(server.wait());
        QVERIFY(smtp.wait());
        QVERIFY(m_prompts.shown.isEmpty());
    }

    // Scheduled checks ask the server once per installed release; manual ones always, and
    // leave the registry alone.
    void registryGate()
    {
        LoopbackLineServer server({versionReply("VERSION=1.05\r\n")});
        TKDVersion &v = make(server.port());
        v.CheckVersion(true);
        QVERIFY(server.wait());
        QCOMPARE(m_same, 1);
        QCOMPARE(storedVersion(), std::nullopt);

        LoopbackLineServer scheduled({versionReply("VERSION=1.05\r\n")});
        v.ServerPort = scheduled.port();
        v.CheckVersion(false);
        QVERIFY(scheduled.wait());
        QCOMPARE(m_same, 2);
        QCOMPARE(storedVersion(), QStringLiteral("1.05"));

        // The same release again: no contact at all.
        LoopbackLineServer again({versionReply("VERSION=1.05\r\n")}, 500);
        v.ServerPort = again.port();
        v.CheckVersion(false);
        QVERIFY(!again.wait());
        QCOMPARE(again.connections(), 0);
        QCOMPARE(m_same, 2);

        // A new release installed (stored value in other case still counts as the same).
        auto key = m_registry->openKey(Registry::Root::LocalMachine, QStringLiteral("\\SOFTWARE\\Kovalen Designs\\Quilmora"),
                                       Registry::Access::Full, false);
        QVERIFY(key && key->writeString(QStringLiteral("Version"), QStringLiteral("1.04")));
        LoopbackLineServer upgraded({versionReply("VERSION=1.05\r\n")});
        v.ServerPort = upgraded.port();
        v.CheckVersion(false);
        QVERIFY(upgraded.wait());
        QCOMPARE(storedVersion(), QStringLiteral("1.05"));
    }

    // The new release is stored before the server is asked, so an unreachable server is
    // not asked again on the next tick.
    void scheduledCheckStoresBeforeAsking()
    {
        quint16 port;
        {
            LoopbackLineServer gone({});
            port = gone.port();
        }
        TKDVersion &v = make(port);
        v.CheckVersion(false);
        QCOMPARE(storedVersion(), QStringLiteral("1.05"));
    }

    // A key that cannot be opened lets every scheduled check through.
    void unopenableKeyAsksEveryTime()
    {
        LoopbackLineServer server({versionReply("VERSION=1.05\r\n"), versionReply("VERSION=1.05\r\n")});
        TKDVersion &v = make(server.port());
        IniFileRegistry readOnly(QStringLiteral("/proc/quilmora-no-such-folder"));
        v.registry = &readOnly;
        v.CheckVersion(false);
        v.CheckVersion(false);
        QVERIFY(server.wait());
        QCOMPARE(m_same, 2);
    }

    // A key that opens but does not take the new release: the failure is reported and the
    // check ends there, without asking the server.
    void failedWriteOfTheReleaseIsReported()
    {
        class RefusingRegistry : public Registry
        {
            class Key : public RegistryKey
            {
            public:
                bool valueExists(const QString &) const override { return false; }
                std::optional<QString> readString(const QString &) const override { return std::nullopt; }
                std::optional<qint32> readInteger(const QString &) const override { return std::nullopt; }
                bool writeString(const QString &, const QString &) override { return false; }
                bool writeInteger(const QString &, qint32) override { return false; }
            };

        public:
            std::unique_ptr<RegistryKey> openKey(Root, const QString &, Access, bool) override
            {
                return std::make_unique<Key>();
            }
        } refusing;
        LoopbackLineServer server({versionReply("VERSION=1.06\r\n")}, 500);
        TKDVersion &v = make(server.port(), TKDVersion::ntPrompt);
        v.registry = &refusing;
        v.CheckVersion(false);
        QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: Failed to set data for 'Version'")});
        QVERIFY(!server.wait());
        QCOMPARE(server.connections(), 0);
        // A manual check does not touch the value, so nothing stands in its way.
        m_prompts.shown.clear();
        LoopbackLineServer manual({versionReply("VERSION=1.05\r\n")});
        v.ServerPort = manual.port();
        v.CheckVersion(true);
        QVERIFY(manual.wait());
        QCOMPARE(m_same, 1);
        QVERIFY(m_prompts.shown.isEmpty());
    }

    void rootRulesOfTheKey_data()
    {
        QTest::addColumn<QString>("registryKey");
        QTest::addColumn<int>("root");
        QTest::addColumn<QString>("path");
        QTest::newRow("exact") << Key << int(Registry::Root::LocalMachine) << "\\SOFTWARE\\Kovalen Designs\\Quilmora";
        QTest::newRow("lower case") << "hkey_local_machine\\SOFTWARE\\Q" << int(Registry::Root::Users) << "\\SOFTWARE\\Q";
        QTest::newRow("current user") << "HKEY_CURRENT_USER\\Q" << int(Registry::Root::CurrentUser) << "\\Q";
        QTest::newRow("no backslash") << "HKEY_CLASSES_ROOT" << int(Registry::Root::ClassesRoot) << "\\";
    }
    void rootRulesOfTheKey()
    {
        QFETCH(QString, registryKey);
        QFETCH(int, root);
        QFETCH(QString, path);
        LoopbackLineServer server({versionReply("VERSION=1.05\r\n")});
        TKDVersion &v = make(server.port());
        v.RegistryKey = registryKey;
        v.CheckVersion(false);
        QVERIFY(server.wait());
        auto key = m_registry->openKey(Registry::Root(root), path, Registry::Access::ReadOnly, false);
        QVERIFY(key);
        QCOMPARE(key->readString(QStringLiteral("Version")), QStringLiteral("1.05"));
    }

    void timerFollowsTheInterval()
    {
        TKDVersion v;
        QVERIFY(!v.checkTimer().isActive());
        v.setCheckInterval(60000);
        QVERIFY(v.checkTimer().isActive());
        QCOMPARE(v.checkTimer().interval(), 60000);
        v.setCheckInterval(0);
        QVERIFY(!v.checkTimer().isActive());
        QCOMPARE(v.NotifyType, TKDVersion::ntPrompt);
        QCOMPARE(v.SMTPPort, 25);
    }
};

QTEST_GUILESS_MAIN(TestVersion)
#include "tst_version.moc"
