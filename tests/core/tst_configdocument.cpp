#include "config/ConfigDocument.h"
#include "config/PasswordDigest.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"
#include "support/ProcessLimits.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

ConfigDocument loadBytes(const QByteArray &bytes, bool *ok = nullptr, QString *error = nullptr,
                         const QLocale &locale = QLocale::c())
{
    ConfigDocument doc;
    QString message;
    const bool loaded = doc.loadFromStore(ConfigStore::fromBytes(bytes), TextCodec(), &message, locale);
    if (ok)
        *ok = loaded;
    if (error)
        *error = message;
    return doc;
}

QByteArrayList names(const ConfigDocument &doc)
{
    QByteArrayList out;
    for (const auto &p : doc.pops)
        out.append("P:" + p->UserID);
    for (const auto &g : doc.groups)
        out.append("G:" + g->Name);
    for (const auto &u : doc.users)
        out.append("U:" + u->Name);
    return out;
}

} // namespace

class TestConfigDocument : public QObject
{
    Q_OBJECT
private slots:
    void exampleFileRoundTrip();
    void versionRule_data();
    void versionRule();
    void invalidVersionLoadsNoItems();
    void kindWordRule();
    void serverSettingsClampedAndLogRules_data();
    void serverSettingsClampedAndLogRules();
    void itemDefaultsAndFlagsAsRead();
    void oldFormatConversion();
    void saveRenumbersAndDropsUnknownKeys();
    void emptyConfigurationSave();
    void failedSaveKeepsOldFile();
    void unreadableFileIsAnError();
    void everyByteSurvivesLoadAndSave();
    void listValuesReadAndWritten_data();
    void listValuesReadAndWritten();
    void binaryValuesAsDecoded_data();
    void binaryValuesAsDecoded();
};

void TestConfigDocument::exampleFileRoundTrip()
{
    const QString source = QStringLiteral(QUILMORA_TEST_DATA "/example.ini");
    const QByteArray original = TestFiles::read(source);
    ConfigDocument doc;
    QString error;
    QVERIFY2(doc.load(source, TextCodec(), &error), qPrintable(error));
    QVERIFY(!doc.oldFormat);
    QCOMPARE(doc.server.Name, QByteArray("Office"));
    QCOMPARE(doc.server.Log, 1);
    QCOMPARE(doc.pops.size(), size_t(1));
    QCOMPARE(doc.pops[0]->AutoReplyBody, QByteArray("Thanks"));
    QCOMPARE(doc.groups[0]->Users, QByteArrayList{"front desk"});
    QCOMPARE(doc.render(), original);

    QTemporaryDir dir;
    const QString target = dir.filePath("quilmora.ini");
    QVERIFY2(doc.save(target, &error), qPrintable(error));
    QCOMPARE(TestFiles::read(target), original);
}

void TestConfigDocument::versionRule_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("old");
    const QLocale c = QLocale::c();
    const QLocale de(QLocale::German, QLocale::Germany);
    QTest::newRow("1.05 current") << QByteArray("[SERVER]\nVersion=1.05\n") << c << false;
    QTest::newRow("1.06 current") << QByteArray("[SERVER]\nVersion=1.06\n") << c << false;
    QTest::newRow("2 current") << QByteArray("[SERVER]\nVersion=2\n") << c << false;
    QTest::newRow("1.04 old") << QByteArray("[SERVER]\nVersion=1.04\n") << c << true;
    QTest::newRow("absent old") << QByteArray("[SERVER]\nName=x\n") << c << true;
    QTest::newRow("no file old") << QByteArray() << c << true;
    QTest::newRow("comma locale 1.05") << QByteArray("[SERVER]\nVersion=1.05\n") << de << false;
    QTest::newRow("comma locale 1.04") << QByteArray("[SERVER]\nVersion=1.04\n") << de << true;
    QTest::newRow("comma locale 1,05") << QByteArray("[SERVER]\nVersion=1,05\n") << de << false;
}

void TestConfigDocument::versionRule()
{
    QFETCH(QByteArray, file);
    QFETCH(QLocale, locale);
    QFETCH(bool, old);
    bool ok = false;
    QString error;
    const ConfigDocument doc = loadBytes(file, &ok, &error, locale);
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(doc.oldFormat, old);
}

void TestConfigDocument::invalidVersionLoadsNoItems()
{
    struct Case { QByteArray version; QString message; };
    const QList<Case> cases = {
        {"", QStringLiteral("'' is not a valid floating point value")},
        {"1.05b", QStringLiteral("'1.05b' is not a valid floating point value")},
        {"1,05", QStringLiteral("'1,05' is not a valid floating point value")}, // not in a "." locale
        {"one", QStringLiteral("'one' is not a valid floating point value")},
    };
    for (const Case &c : cases) {
        bool ok = true;
        QString error;
        const ConfigDocument doc = loadBytes("[SERVER]\nVersion=" + c.version + "\n[GROUP1]\nName=g\n[USER1]\nName=u\n",
                                             &ok, &error);
        QVERIFY(!ok);
        QCOMPARE(error, c.message);
        QVERIFY(doc.groups.empty() && doc.users.empty() && doc.pops.empty());
    }
}

void TestConfigDocument::kindWordRule()
{
    const ConfigDocument doc = loadBytes("[SERVER]\nVersion=1.05\n"
                                         "[GROUP2]\nName=second\n"
                                         "[pop7]\nUserID=seven\n"
                                         "[GROUP1]\nName=first\n"
                                         "[MYPOPS]\nUserID=mine\n"
                                         "[POPUSER]\nUserID=both\nName=both\n"
                                         "[Other]\nName=none\n");
    QCOMPARE(names(doc), (QByteArrayList{"P:seven", "P:mine", "P:both", "G:second", "G:first", "U:both"}));
}

void TestConfigDocument::serverSettingsClampedAndLogRules_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("logSize");
    QTest::addColumn<int>("log");
    QTest::addColumn<int>("logFileIndex");
    QTest::newRow("defaults") << QByteArray() << 119 << 0 << 0 << 0;
    QTest::newRow("port above range") << QByteArray("Port=70000\n") << 65534 << 0 << 0 << 0;
    QTest::newRow("port below range") << QByteArray("Port=-1\n") << 0 << 0 << 0 << 0;
    QTest::newRow("port hex") << QByteArray("Port=0x77\n") << 119 << 0 << 0 << 0;
    QTest::newRow("log size 50") << QByteArray("LogSize=50\n") << 119 << 50 << 0 << 1;
    QTest::newRow("log size huge") << QByteArray("LogSize=999999999\n") << 119 << 99999999 << 0 << 1;
    QTest::newRow("log above 1") << QByteArray("Log=7\n") << 119 << 0 << 1 << 0;
    QTest::newRow("log below 0") << QByteArray("Log=-3\n") << 119 << 0 << -1 << 0;
    QTest::newRow("log not a number") << QByteArray("Log=on\n") << 119 << 0 << 0 << 0;
}

void TestConfigDocument::serverSettingsClampedAndLogRules()
{
    QFETCH(QByteArray, keys);
    const ConfigDocument doc = loadBytes("[SERVER]\nVersion=1.05\n" + keys);
    QTEST(doc.server.Port, "port");
    QTEST(doc.server.LogSize, "logSize");
    QTEST(doc.server.Log, "log");
    QTEST(doc.server.logFileIndex(), "logFileIndex");
    QCOMPARE(doc.server.OutboundPrefix, QByteArray("KD-"));
    QCOMPARE(doc.server.OutboundMarker, QByteArray(">>>"));
    QCOMPARE(doc.server.ConfigPort, 35000);
    QCOMPARE(doc.server.SMTPPort, 25);
}

void TestConfigDocument::itemDefaultsAndFlagsAsRead()
{
    const ConfigDocument doc = loadBytes("[SERVER]\nVersion=1.05\n[POP1]\nAutoReply=y\nPort=\n"
                                         "[POP2]\n[GROUP1]\nReadOnly=yes\n");
    QCOMPARE(doc.pops[0]->Port, 110);
    QCOMPARE(doc.pops[0]->AutoReply, QByteArray("y"));
    QCOMPARE(doc.pops[1]->AutoReply, QByteArray("N"));
    QCOMPARE(doc.pops[1]->AssignOutboundID, QByteArray("N"));
    QCOMPARE(doc.groups[0]->ReadOnly, QByteArray("yes"));
    // Flag fields are written as held.
    const QByteArray out = doc.render();
    QVERIFY(out.contains("[POP1]\r\nHost=\r\nPort=110\r\n"));
    QVERIFY(out.contains("AutoReply=y\r\n"));
    QVERIFY(out.contains("ReadOnly=yes\r\n"));
}

void TestConfigDocument::oldFormatConversion()
{
    QTemporaryDir dir;
    const QString body = dir.filePath("reply.txt");
    const QString keys = dir.filePath("keys.txt");
    // LF, CR LF, an empty line, no final break
    QVERIFY(TestFiles::write(body, "Thanks\nfor writing\r\n\r\nBye"));
    QVERIFY(TestFiles::write(keys, "price\rquote\n"));
    const QByteArray file = "[SERVER]\nAdminPass=61646D696E\n"
                            "[POP1]\nUserID=info\nPassword=736563726574\nAutoReplyFile=" + QFile::encodeName(body) +
                            "\nAutoReplyBody=6E6F\n"
                            "[POP2]\nUserID=none\nAutoReplyFile=" + QFile::encodeName(dir.filePath("missing.txt")) + "\n"
                            "[USER1]\nName=u\nPass=70617373\n"
                            "[USER2]\nName=nopass\n"
                            "[GROUP1]\nName=g\nKeyListFile=" + QFile::encodeName(keys) + "\nKeyList=6E6F\n";
    ConfigDocument doc;
    doc.linkedFiles = LinkedFiles(LinkedFiles::Mode::Inside, dir.path());
    QString error;
    QVERIFY(doc.loadFromStore(ConfigStore::fromBytes(file), TextCodec(), &error, QLocale::c()));
    QVERIFY(doc.oldFormat);
    QCOMPARE(doc.server.AdminPass, PasswordDigest("admin"));
    QCOMPARE(doc.pops[0]->AutoReplyBody, QByteArray("Thanks\r\nfor writing\r\n\r\nBye\r\n"));
    QCOMPARE(doc.pops[0]->Password, QByteArray("secret")); // the mailbox password stays usable
    QCOMPARE(doc.pops[1]->AutoReplyBody, QByteArray());
    QCOMPARE(doc.users[0]->Pass, PasswordDigest("pass"));
    QCOMPARE(doc.users[1]->Pass, PasswordDigest(""));
    QCOMPARE(doc.groups[0]->KeyList, QByteArray("price\r\nquote\r\n"));

    // Absent AdminPass in the old format still becomes the digest of the empty password.
    QCOMPARE(loadBytes("[SERVER]\nName=x\n").server.AdminPass, PasswordDigest(""));

    const QByteArray saved = doc.render();
    QVERIFY(saved.contains("Version=1.05\r\n"));
    QVERIFY(saved.contains("AdminPass=" + PasswordDigest("admin").toHex().toUpper() + "\r\n"));
    QVERIFY(saved.contains("AutoReplyBody=" + QByteArray("Thanks\r\nfor writing\r\n\r\nBye\r\n").toHex().toUpper()));
    QVERIFY(saved.contains("KeyList=" + QByteArray("price\r\nquote\r\n").toHex().toUpper()));
    QVERIFY(!saved.contains("AutoReplyFile"));
    QVERIFY(!saved.contains("KeyListFile"));
    // Loading the saved file again is current format and changes nothing more.
    const ConfigDocument again = loadBytes(saved);
    QVERIFY(!again.oldFormat);
    QCOMPARE(again.render(), saved);
}

void TestConfigDocument::saveRenumbersAndDropsUnknownKeys()
{
    const ConfigDocument doc = loadBytes("[SERVER]\nVersion=1.05\nLastPOP=2\nPops=9\nUnknown=1\n"
                                         "[POP3]\nUserID=a\n[Extra]\nx=1\n[POP7]\nUserID=b\n"
                                         "[GROUP1]\nName=g\nCreated=20030101000000\n");
    const QByteArray out = doc.render();
    QVERIFY(out.contains("Pops=2\r\nUsers=0\r\nGroups=1\r\n[POP1]\r\nHost=\r\nPort=110\r\nUserID=a\r\n"));
    QVERIFY(out.contains("[POP2]\r\nHost=\r\nPort=110\r\nUserID=b\r\n"));
    for (const char *gone : {"LastPOP", "Unknown", "Extra", "POP3", "POP7", "Created"})
        QVERIFY2(!out.contains(gone), gone);
}

void TestConfigDocument::emptyConfigurationSave()
{
    const ConfigDocument doc = loadBytes(QByteArray());
    const QByteArray out = doc.render();
    QVERIFY(out.startsWith("[SERVER]\r\nPort=119\r\nName=\r\nVersion=1.05\r\n"));
    QVERIFY(out.endsWith("ConfigPort=35000\r\nPops=0\r\nUsers=0\r\nGroups=0\r\n"));
    // The old-format load digested the absent administrator password.
    QVERIFY(out.contains("AdminPass=D41D8CD98F00B204E9800998ECF8427E\r\n"));
}

void TestConfigDocument::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quilmora.ini");
    QVERIFY(TestFiles::write(path, "[SERVER]\r\nName=old\r\n"));
    const ConfigDocument doc = loadBytes(TestFiles::read(QStringLiteral(QUILMORA_TEST_DATA "/example.ini")));
    QString error;

    // The file system refuses the write part-way (file size limit): the old file stays.
    bool saved{};
    {
        const FileSizeLimit limit(64);
        QVERIFY(limit.isSet());
        saved = doc.save(path, &error);
    }
    QVERIFY(!saved);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path));
    QCOMPARE(TestFiles::read(path), QByteArray("[SERVER]\r\nName=old\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"quilmora.ini"});

    // A read-only folder (only meaningful when not running as root).
    if (geteuid() != 0) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(!doc.save(path, &error));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(TestFiles::read(path), QByteArray("[SERVER]\r\nName=old\r\n"));
    }
}

void TestConfigDocument::unreadableFileIsAnError()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("quilmora.ini"));
    ConfigDocument doc;
    QString error;
    QVERIFY(!doc.load(dir.filePath("quilmora.ini"), TextCodec(), &error));
    QCOMPARE(error, QStringLiteral("Cannot open file ") + dir.filePath("quilmora.ini"));
}

void TestConfigDocument::binaryValuesAsDecoded_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("upper and lower case") << QByteArray("0a1BfF");
    QTest::newRow("odd length") << QByteArray("414");
    QTest::newRow("a bad digit") << QByteArray("4142zz43");
    QTest::newRow("a line break when decoded") << QByteArray("0D0A3D0A5B515D00");
}

// The binary values of every kind of item are the bytes the decoder gives, however the file
// is loaded (a file, a store handed over, a store kept by the caller), and the keys after
// them read as they stand.
void TestConfigDocument::binaryValuesAsDecoded()
{
    QFETCH(QByteArray, digits);
    const QByteArray bytes = ValueForms::decodeBinary(digits);
    const QByteArray file = "[SERVER]\r\nVersion=1.05\r\n"
                            "[POP1]\r\nPassword=" + digits + "\r\nHost=h\r\nAutoReplyBody=" + digits + "\r\nUserID=u\r\n"
                            "[USER1]\r\nPass=" + digits + "\r\nName=ann\r\n"
                            "[GROUP1]\r\nKeyList=" + digits + "\nName=g\nUsers=ann";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, file));
    ConfigDocument fromFile;
    QString error;
    QVERIFY2(fromFile.load(path, TextCodec(), &error, QLocale::c()), qPrintable(error));
    const ConfigStore kept = ConfigStore::fromBytes(file);
    ConfigDocument fromKept;
    QVERIFY(fromKept.loadFromStore(kept, TextCodec(), &error, QLocale::c()));
    for (const ConfigDocument *doc : {&fromFile, &fromKept}) {
        QCOMPARE(doc->pops.size(), size_t(1));
        QCOMPARE(doc->pops[0]->Password, bytes);
        QCOMPARE(doc->pops[0]->AutoReplyBody, bytes);
        QCOMPARE(doc->pops[0]->Host, QByteArray("h"));
        QCOMPARE(doc->pops[0]->UserID, QByteArray("u"));
        QCOMPARE(doc->users[0]->Pass, bytes);
        QCOMPARE(doc->users[0]->Name, QByteArray("ann"));
        QCOMPARE(doc->groups[0]->KeyList, bytes);
        QCOMPARE(doc->groups[0]->Name, QByteArray("g"));
        QCOMPARE(doc->groups[0]->Users, QByteArrayList{"ann"});
    }
    QCOMPARE(fromFile.render(), fromKept.render());
    // The store the caller keeps still reads as the file does.
    QCOMPARE(kept.readString("POP1", "Password"), digits);
    QCOMPARE(kept.readString("GROUP1", "Users"), QByteArray("ann"));
}

QTEST_GUILESS_MAIN(TestConfigDocument)
// Every byte but NUL, CR and LF, in text values and in a list name: loading shares or
// copies the file's bytes, saving writes them back, and neither may change one.
void TestConfigDocument::everyByteSurvivesLoadAndSave()
{
    QByteArray every;
    for (int b = 1; b <= 0xFF; ++b) {
        if (b != '\r' && b != '\n')
            every.append(char(b));
    }
    ConfigDocument doc;
    doc.server.Name = every;
    auto user = std::make_unique<TUser>();
    user->Name = "u";
    user->Description = every;
    doc.users.push_back(std::move(user));
    auto group = std::make_unique<TGroup>();
    group->Name = every;
    group->Users = QByteArrayList{every, "u", every};
    group->KeyList = every;
    doc.groups.push_back(std::move(group));
    const QByteArray saved = doc.render();

    QTemporaryDir dir;
    const QString path = dir.filePath("quilmora.ini");
    QString error;
    QVERIFY2(doc.save(path, &error), qPrintable(error));
    ConfigDocument again;
    QVERIFY2(again.load(path, TextCodec(), &error, QLocale::c()), qPrintable(error));
    QCOMPARE(again.server.Name, every);
    QCOMPARE(again.users.at(0)->Description, every);
    QCOMPARE(again.groups.at(0)->Name, every);
    QCOMPARE(again.groups.at(0)->Users, (QByteArrayList{every, "u", every}));
    QCOMPARE(again.groups.at(0)->KeyList, every);
    QCOMPARE(again.render(), saved);

    // A value changed after loading changes alone; its neighbours in the file keep theirs.
    again.users.at(0)->Description[0] = 'X';
    again.groups.at(0)->Name.append("!");
    QCOMPARE(again.server.Name, every);
    QCOMPARE(again.groups.at(0)->Name, every + '!');
    QCOMPARE(again.groups.at(0)->KeyList, every);
    QCOMPARE(again.groups.at(0)->Users, (QByteArrayList{every, "u", every}));
    QCOMPARE(again.users.at(0)->Description.mid(1), every.mid(1));
}

// Lists as the editor writes them are kept as they stand, others are read into names;
// either way they read as the list value's names and are written as those names.
void TestConfigDocument::listValuesReadAndWritten_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArrayList>("names");
    QTest::newRow("plain") << QByteArray("a,b") << QByteArrayList{"a", "b"};
    QTest::newRow("quoted blank") << QByteArray("\"a b\",c") << QByteArrayList{"a b", "c"};
    QTest::newRow("doubled quote") << QByteArray("\"x\"\"y\"") << QByteArrayList{"x\"y"};
    QTest::newRow("one empty name") << QByteArray("\"\"") << QByteArrayList{""};
    QTest::newRow("last empty") << QByteArray("a,") << QByteArrayList{"a", ""};
    QTest::newRow("two empty") << QByteArray(",") << QByteArrayList{"", ""};
    QTest::newRow("empty between") << QByteArray("a,,b") << QByteArrayList{"a", "", "b"};
    QTest::newRow("needless quotes") << QByteArray("\"a\",b") << QByteArrayList{"a", "b"};
    QTest::newRow("blanks around") << QByteArray("a , b") << QByteArrayList{"a", "b"};
    QTest::newRow("blank separates") << QByteArray("a b") << QByteArrayList{"a", "b"};
    QTest::newRow("unterminated") << QByteArray("a,\"b c") << QByteArrayList{"a", "b c"};
    QTest::newRow("text after quote") << QByteArray("\"a b\"c") << QByteArrayList{"a b", "c"};
    QTest::newRow("quoted comma") << QByteArray("\"a,b\"") << QByteArrayList{"a,b"};
}

void TestConfigDocument::listValuesReadAndWritten()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArrayList, names);
    const ConfigDocument doc = loadBytes("[SERVER]\nVersion=1.05\n[GROUP1]\nUsers=" + value + "\n[POP1]\nNewsgroups="
                                         + value + "\n");
    QCOMPARE(doc.groups.at(0)->Users, names);
    QCOMPARE(doc.pops.at(0)->Newsgroups, names);
    const QByteArray written = ValueForms::encodeList(names);
    const QByteArray out = doc.render();
    QVERIFY(out.contains("\r\nUsers=" + written + "\r\n"));
    QVERIFY(out.contains("\r\nNewsgroups=" + written + "\r\n"));
}

#include "tst_configdocument.moc"
