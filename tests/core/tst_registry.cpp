// The registry layer on files, and the connection settings it remembers.
#include "platform/Registry.h"
#include "remote/ConnectSettings.h"
#include "remote/TRemoteInfo.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Root = Registry::Root;
using Access = Registry::Access;

namespace {
const QString ServerKey = QStringLiteral("\\SOFTWARE\\Kovalen Designs\\Quilmora\\Server");
} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void typesAndNames();
    void keysAreCreatedOnlyWhenAsked();
    void unwritableFolderGivesNoKey();
    void otherKeysSurviveAWrite();
    void splitKeyName();
    void defaultFolderFollowsTheEnvironment();

    void settingsFirstRun();
    void settingsRoundTripWithoutPassword();
    void settingsOfTheWrongForm_data();
    void settingsOfTheWrongForm();
    void settingsWithoutRegistry();
    void remoteInfoFromSettings_data();
    void remoteInfoFromSettings();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniFileRegistry> m_registry;
};

void TestRegistry::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_registry = std::make_unique<IniFileRegistry>(m_dir->path() + QStringLiteral("/registry"));
}

void TestRegistry::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QStringLiteral("mail.example.com");
    QTest::newRow("empty") << QString();
    QTest::newRow("quotes and backslashes") << QStringLiteral("a \"b\" \\c\\ [d]=e");
    QTest::newRow("line breaks and controls") << QStringLiteral("one\r\ntwo\tthree\x01");
    QTest::newRow("beyond ASCII") << QStringLiteral("Zürich \u00e9t\u00e9 \u65e5\u672c");
    QTest::newRow("blanks at the ends") << QStringLiteral("  padded  ");
}

void TestRegistry::valuesRoundTrip()
{
    QFETCH(QString, text);
    {
        auto key = m_registry->openKey(Root::CurrentUser, QStringLiteral("Software\\Test"), Access::Full, true);
        QVERIFY(key);
        QVERIFY(key->writeString(QStringLiteral("Value"), text));
        QVERIFY(key->writeInteger(QStringLiteral("Number"), -123456));
    }
    // A registry object of a later run reads the same values back.
    IniFileRegistry later(m_registry->folder());
    auto key = later.openKey(Root::CurrentUser, QStringLiteral("Software\\Test"), Access::ReadOnly, false);
    QVERIFY(key);
    QCOMPARE(key->readString(QStringLiteral("Value")), std::optional<QString>(text));
    QCOMPARE(key->readInteger(QStringLiteral("Number")), std::optional<qint32>(-123456));
}

void TestRegistry::typesAndNames()
{
    auto key = m_registry->openKey(Root::LocalMachine, ServerKey, Access::Full, true);
    QVERIFY(key);
    QVERIFY(key->writeString(QStringLiteral("Server"), QStringLiteral("host")));
    QVERIFY(key->writeInteger(QStringLiteral("Port"), 35000));
    // Names of values and keys are matched without regard to case; a value keeps its first spelling.
    QVERIFY(key->writeString(QStringLiteral("SERVER"), QStringLiteral("other")));
    auto again = m_registry->openKey(Root::LocalMachine, QStringLiteral("software\\kovalen designs\\QUILMORA\\server\\"),
                                     Access::ReadOnly, false);
    QVERIFY(again);
    QCOMPARE(again->readString(QStringLiteral("server")), std::optional<QString>(QStringLiteral("other")));
    QVERIFY(TestFiles::read(m_registry->filePath(Root::LocalMachine)).contains("\"Server\"=\"other\""));
    // A value read with the other type counts as missing.
    QCOMPARE(again->readInteger(QStringLiteral("Server")), std::nullopt);
    QCOMPARE(again->readString(QStringLiteral("Port")), std::nullopt);
    QVERIFY(again->valueExists(QStringLiteral("Port")));
    QVERIFY(!again->valueExists(QStringLiteral("Missing")));
    // A key opened for reading only cannot write.
    QVERIFY(!again->writeString(QStringLiteral("Server"), QStringLiteral("x")));
}

void TestRegistry::keysAreCreatedOnlyWhenAsked()
{
    QVERIFY(!m_registry->openKey(Root::LocalMachine, ServerKey, Access::Full, false));
    QVERIFY(!m_registry->openKey(Root::LocalMachine, ServerKey, Access::ReadOnly, true));
    QVERIFY(m_registry->openKey(Root::LocalMachine, ServerKey, Access::Full, true));
    QVERIFY(m_registry->openKey(Root::LocalMachine, ServerKey, Access::ReadOnly, false));
    // The keys above a created key exist too; other roots are other files.
    QVERIFY(m_registry->openKey(Root::LocalMachine, QStringLiteral("SOFTWARE\\Kovalen Designs"), Access::ReadOnly, false));
    QVERIFY(!m_registry->openKey(Root::CurrentUser, ServerKey, Access::ReadOnly, false));
}

void TestRegistry::unwritableFolderGivesNoKey()
{
    // A file where the folder should be: nothing can be written there (this works for root too).
    const QString blocked = m_dir->path() + QStringLiteral("/blocked");
    QVERIFY(TestFiles::write(blocked, QByteArray()));
    IniFileRegistry registry(blocked);
    QVERIFY(!registry.openKey(Root::LocalMachine, ServerKey, Access::Full, true));
    QVERIFY(!registry.openKey(Root::LocalMachine, ServerKey, Access::ReadOnly, false));
}

void TestRegistry::otherKeysSurviveAWrite()
{
    auto tips = m_registry->openKey(Root::LocalMachine, QStringLiteral("SOFTWARE\\Kovalen Designs\\Quilmora"),
                                    Access::Full, true);
    auto server = m_registry->openKey(Root::LocalMachine, ServerKey, Access::Full, true);
    QVERIFY(tips && server);
    QVERIFY(tips->writeInteger(QStringLiteral("CurrentTip"), 4));
    QVERIFY(server->writeString(QStringLiteral("Server"), QStringLiteral("host")));
    QVERIFY(tips->writeString(QStringLiteral("Version"), QStringLiteral("1.05")));
    QCOMPARE(tips->readInteger(QStringLiteral("CurrentTip")), std::optional<qint32>(4));
    QCOMPARE(server->readString(QStringLiteral("Server")), std::optional<QString>(QStringLiteral("host")));
}

void TestRegistry::splitKeyName()
{
    Root root = Root::Users;
    QString path;
    QVERIFY(Registry::splitKeyName(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kovalen Designs\\Quilmora"), &root, &path));
    QCOMPARE(root, Root::LocalMachine);
    QCOMPARE(path, QStringLiteral("SOFTWARE\\Kovalen Designs\\Quilmora"));
    QVERIFY(Registry::splitKeyName(QStringLiteral("hkey_classes_root\\.pdf"), &root, &path));
    QCOMPARE(root, Root::ClassesRoot);
    QCOMPARE(path, QStringLiteral(".pdf"));
    QVERIFY(!Registry::splitKeyName(QStringLiteral("HKEY_NOWHERE\\x"), &root, &path));
}

void TestRegistry::defaultFolderFollowsTheEnvironment()
{
    const QByteArray saved = qgetenv("QUILMORA_REGISTRY_DIR");
    qputenv("QUILMORA_REGISTRY_DIR", "/some/where");
    QCOMPARE(IniFileRegistry::defaultFolder(), QStringLiteral("/some/where"));
    qunsetenv("QUILMORA_REGISTRY_DIR");
    QVERIFY(IniFileRegistry::defaultFolder().endsWith(QStringLiteral("/quilmora/registry")));
    qputenv("QUILMORA_REGISTRY_DIR", saved);
}

void TestRegistry::settingsFirstRun()
{
    const ConnectSettings s = ConnectSettings::load(*m_registry);
    QCOMPARE(s.connection, 0);
    QCOMPARE(s.server, QString());
    QCOMPARE(s.user, QString());
    QCOMPARE(s.password, QString());
    QCOMPARE(s.portText, QStringLiteral("35000"));
}

void TestRegistry::settingsRoundTripWithoutPassword()
{
    ConnectSettings s;
    s.connection = 1;
    s.server = QStringLiteral("config.example.net");
    s.portText = QStringLiteral("4000");
    s.user = QStringLiteral("front desk");
    s.password = QStringLiteral("never-stored-3141");
    QVERIFY(s.store(*m_registry));

    const ConnectSettings back = ConnectSettings::load(*m_registry);
    QCOMPARE(back.connection, 1);
    QCOMPARE(back.server, s.server);
    QCOMPARE(back.portText, s.portText);
    QCOMPARE(back.user, s.user);
    QCOMPARE(back.password, QString());
    const QByteArray file = TestFiles::read(m_registry->filePath(Root::LocalMachine));
    QVERIFY(!file.contains("never-stored-3141"));
    QVERIFY(!file.toLower().contains("password"));
    QVERIFY(file.contains("\"Connection\"=\"1\""));
    QVERIFY(file.contains("\"Port\"=dword:4000"));
}

void TestRegistry::settingsOfTheWrongForm_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("connection");
    QTest::addColumn<QString>("portText");

    QTest::newRow("choice not a number") << QByteArray("\"Connection\"=\"Remote\"\n") << 0 << QStringLiteral("35000");
    QTest::newRow("choice out of range") << QByteArray("\"Connection\"=\"7\"\n") << 0 << QStringLiteral("35000");
    QTest::newRow("choice stored as a number") << QByteArray("\"Connection\"=dword:1\n") << 0 << QStringLiteral("35000");
    QTest::newRow("port stored as text") << QByteArray("\"Connection\"=\"1\"\n\"Port\"=\"4000\"\n") << 1
                                         << QStringLiteral("35000");
    QTest::newRow("port 0") << QByteArray("\"Port\"=dword:0\n") << 0 << QStringLiteral("0");
    QTest::newRow("negative port") << QByteArray("\"Port\"=dword:-1\n") << 0 << QStringLiteral("-1");
}

void TestRegistry::settingsOfTheWrongForm()
{
    QFETCH(QByteArray, lines);
    QVERIFY(QDir().mkpath(m_registry->folder()));
    QVERIFY(TestFiles::write(m_registry->filePath(Root::LocalMachine),
                             "[SOFTWARE\\Kovalen Designs\\Quilmora\\Server]\n" + lines));
    const ConnectSettings s = ConnectSettings::load(*m_registry);
    QTEST(s.connection, "connection");
    QTEST(s.portText, "portText");
}

void TestRegistry::settingsWithoutRegistry()
{
    const QString blocked = m_dir->path() + QStringLiteral("/blocked");
    QVERIFY(TestFiles::write(blocked, QByteArray()));
    IniFileRegistry registry(blocked);
    ConnectSettings s;
    s.connection = 1;
    QVERIFY(!s.store(registry));
    QCOMPARE(ConnectSettings::load(registry).connection, 0);
}

void TestRegistry::remoteInfoFromSettings_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("port");
    QTest::newRow("a port") << QStringLiteral("4000") << 4000;
    QTest::newRow("empty port box") << QString() << 0;
    QTest::newRow("not a number") << QStringLiteral("40x") << 0;
}

void TestRegistry::remoteInfoFromSettings()
{
    ScriptedPrompts prompts;
    ConnectSettings s;
    s.server = QStringLiteral("10.0.0.5");
    s.user = QStringLiteral("admin user");
    s.password = QStringLiteral("pass word");
    QFETCH(QString, portText);
    s.portText = portText;
    QVERIFY(!s.makeRemoteInfo(prompts, nullptr)); // Local: no transfer object
    s.connection = 1;
    const auto info = s.makeRemoteInfo(prompts, nullptr);
    QVERIFY(info);
    QCOMPARE(info->Host, QStringLiteral("10.0.0.5"));
    QCOMPARE(info->User, QByteArray("admin user"));
    QCOMPARE(info->Password, QByteArray("pass word"));
    QTEST(int(info->Port), "port");
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
