// The consistency check: which findings each small configuration gives, in their order.
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/PasswordDigest.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"
#include "support/TestFiles.h"

#include <QTest>

namespace {

// A current-format SERVER section with a password, so that only what a case adds is found.
QByteArray server(const QByteArray &extra = {})
{
    return "[SERVER]\r\nVersion=1.05\r\nAdminUser=admin\r\nAdminPass=" + ValueForms::encodeBinary(PasswordDigest("pw"))
           + "\r\n" + extra;
}

QByteArray user(int n, const QByteArray &name, bool password = true)
{
    return "[USER" + QByteArray::number(n) + "]\r\nName=" + name + "\r\nPass="
           + (password ? ValueForms::encodeBinary(PasswordDigest("x")) : QByteArray()) + "\r\n";
}

QStringList check(const QByteArray &file, const QByteArray &encoding = {})
{
    ConfigDocument doc;
    QString error;
    const TextCodec codec(encoding);
    if (!doc.loadFromStore(ConfigStore::fromBytes(file), codec, &error))
        return {QStringLiteral("load failed: ") + error};
    QStringList lines;
    for (const CheckFinding &f : ConfigCheck::run(doc, codec))
        lines.append(f.line());
    return lines;
}

} // namespace

class TestConfigCheck : public QObject
{
    Q_OBJECT
private slots:
    void findings_data();
    void findings();
    void namesBeyondAscii_data();
    void namesBeyondAscii();
    void errorLevel();
};

void TestConfigCheck::findings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("consistent") << server() + user(1, "ann")
                                           + "[GROUP1]\r\nName=sales\r\nUsers=ANN\r\n"
                                             "[POP1]\r\nUserID=box\r\nHost=h\r\nNewsgroups=Sales\r\nDefaultGroup=SALES\r\n"
                                << QStringList();
    QTest::newRow("unknown groups, in list order, each named once per entry")
        << server() + "[GROUP1]\r\nName=sales\r\n[POP1]\r\nNewsgroups=gone,sales,old,gone\r\n"
        << QStringList{
               R"(error unknown-group pop:#1: Newsgroups names "gone", which is no group)",
               R"(error unknown-group pop:#1: Newsgroups names "old", which is no group)",
               R"(error unknown-group pop:#1: Newsgroups names "gone", which is no group)",
           };
    QTest::newRow("default group unknown, or not listed")
        << server() + "[GROUP1]\r\nName=sales\r\n[GROUP2]\r\nName=support\r\n"
                      "[POP1]\r\nUserID=a\r\nNewsgroups=sales\r\nDefaultGroup=gone\r\n"
                      "[POP2]\r\nUserID=b\r\nNewsgroups=sales\r\nDefaultGroup=Support\r\n"
        << QStringList{
               R"(error unknown-default-group pop:#1: DefaultGroup "gone" is no group)",
               R"(warning default-not-listed pop:#2: DefaultGroup "Support" is not one of its Newsgroups)",
           };
    QTest::newRow("unknown users, a deleted user left in two groups")
        << server() + user(1, "ann") + "[GROUP1]\r\nName=a\r\nUsers=ann,bob\r\n[GROUP2]\r\nName=b\r\nUsers=bob\r\n"
        << QStringList{
               R"(error unknown-user group:a: Users names "bob", which is no user)",
               R"(error unknown-user group:b: Users names "bob", which is no user)",
           };
    QTest::newRow("group names the name check refuses, and an empty one")
        << server() + "[GROUP1]\r\nName=comp.lang\r\n[GROUP2]\r\nName=front desk\r\n[GROUP3]\r\nName=\r\n"
                      "[GROUP4]\r\nName=a_b\r\n"
        << QStringList{
               R"(error invalid-group-name group:front desk: "front desk": Name value can only contain alphanumeric characters and periods)",
               R"(error invalid-group-name group:#3: the group has no name)",
               R"(error invalid-group-name group:a_b: "a_b": Name value can only contain alphanumeric characters and periods)",
           };
    QTest::newRow("duplicates on each later item, accounts before users before groups")
        << server() + user(1, "ann") + user(2, "Ann") + user(3, "ANN") + "[GROUP1]\r\nName=s\r\n[GROUP2]\r\nName=S\r\n"
                      "[POP1]\r\nUserID=box\r\nHost=h\r\nNewsgroups=s\r\n[POP2]\r\nUserID=BOX\r\nHost=H\r\nNewsgroups=s\r\n"
        << QStringList{
               R"(warning duplicate-name pop:#2: "BOX/H" is also the name of pop:#1)",
               R"(warning duplicate-name user:#2: "Ann" is also the name of user:#1)",
               R"(warning duplicate-name user:#3: "ANN" is also the name of user:#1)",
               R"(warning duplicate-name group:#2: "S" is also the name of group:#1)",
           };
    QTest::newRow("server: port conflict, default login, no passwords, account without groups")
        << "[SERVER]\r\nVersion=1.05\r\nPort=35000\r\nAdminUser=zerevovu\r\nAdminPass="
               + ValueForms::encodeBinary(PasswordDigest("zerevovu")) + "\r\n" + user(1, "ann", false)
               + "[POP1]\r\nUserID=a\r\nHost=h\r\n"
        << QStringList{
               R"(error port-conflict server: Port and ConfigPort are both 35000)",
               R"(warning default-login server: AdminUser and AdminPass are the server's default login)",
               R"(warning empty-password user:ann: the user "ann" has no password)",
               R"(warning no-groups pop:a/h: Newsgroups is empty: the account files into no group)",
           };
    // The default login compares with letter case, as the connection dialog's warning does.
    QTest::newRow("not the default login in capitals")
        << "[SERVER]\r\nVersion=1.05\r\nAdminUser=ZEREVOVU\r\nAdminPass=" + ValueForms::encodeBinary(PasswordDigest("zerevovu"))
               + "\r\n"
        << QStringList();
    QTest::newRow("old format: the administrator's missing password became the empty one's digest")
        << QByteArray("[SERVER]\r\nVersion=1.04\r\n[USER1]\r\nName=ann\r\nPass=7077\r\n")
        << QStringList{
               R"(warning empty-password server: the administrator has no password)",
               R"(warning old-format server: the file is in the old format (Version "1.04"); the next save converts it)",
           };
    // What the README's examples and a first start show: nothing to mend.
    QTest::newRow("the demo folder's configuration")
        << TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini")) << QStringList();
    QTest::newRow("control characters in names are shown escaped")
        << server() + "[GROUP1]\r\nName=a\x1b[31m\r\n"
        << QStringList{
               R"(error invalid-group-name group:#1: "a\u001b[31m": Name value can only contain alphanumeric characters and periods)",
           };
}

void TestConfigCheck::findings()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    const QStringList actual = check(file);
    if (actual != expected)
        qWarning().noquote() << actual.join(QLatin1Char('\n'));
    QCOMPARE(actual, expected);
}

void TestConfigCheck::namesBeyondAscii_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("UTF-8 names match letter case aside")
        << server() + user(1, "J\xc3\x9crgen") + "[GROUP1]\r\nName=g\r\nUsers=j\xc3\xbcrgen,J\xc3\x9cRGEN,jurgen\r\n"
        << QByteArray("UTF-8")
        << QStringList{QStringLiteral(R"(error unknown-user group:g: Users names "jurgen", which is no user)")};
    QTest::newRow("windows-1252 names match letter case aside")
        << server() + user(1, "J\xdcrgen") + user(2, "j\xfcRGEN") + "[GROUP1]\r\nName=g\r\nUsers=J\xfcrgen\r\n"
        << QByteArray("windows-1252")
        << QStringList{QString::fromUtf8("warning duplicate-name user:#2: \"j\xc3\xbcRGEN\" is also the name of user:#1")};
    // The Kelvin sign folds to a plain "k": it names the user "k", and the user "K" too.
    QTest::newRow("a name that folds to ASCII")
        << server() + user(1, "k") + user(2, "\xe2\x84\xaa") + "[GROUP1]\r\nName=g\r\nUsers=\xe2\x84\xaa,K\r\n"
        << QByteArray("UTF-8")
        << QStringList{QString::fromUtf8("warning duplicate-name user:#2: \"\xe2\x84\xaa\" is also the name of user:#1")};
}

// Names compare as the editor's lists compare them, letter case aside beyond ASCII as well.
void TestConfigCheck::namesBeyondAscii()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, encoding);
    QFETCH(QStringList, expected);
    QCOMPARE(check(file, encoding), expected);
}

void TestConfigCheck::errorLevel()
{
    ConfigDocument doc;
    QString error;
    const TextCodec codec;
    QVERIFY(doc.loadFromStore(ConfigStore::fromBytes(server() + user(1, "ann", false)), codec, &error));
    QList<CheckFinding> found = ConfigCheck::run(doc, codec);
    QCOMPARE(found.size(), 1);
    QVERIFY(!ConfigCheck::hasError(found));
    doc.groups.push_back(std::make_unique<TGroup>());
    doc.groups.back()->Name = "g";
    doc.groups.back()->Users = {"nobody"};
    found = ConfigCheck::run(doc, codec);
    QVERIFY(ConfigCheck::hasError(found));
    QCOMPARE(found.first().item(), QStringLiteral("group:#1"));
    QCOMPARE(found.first().kind, CheckFinding::Kind::Group);
    QCOMPARE(found.first().index, 0);
}

QTEST_GUILESS_MAIN(TestConfigCheck)
#include "tst_configcheck.moc"
