// The consistency check: which findings each small configuration gives, in their order.
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/NameFolding.h"
#include "config/PasswordDigest.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"
#include "support/TestFiles.h"

#include <QHash>
#include <QRandomGenerator>
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
    void foldedNames_data();
    void foldedNames();
    void namesAmongMany_data();
    void namesAmongMany();
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

void TestConfigCheck::foldedNames_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("a1"); // a name, or an account's UserID
    QTest::addColumn<QByteArray>("a2"); // an account's Host; null for a name
    QTest::addColumn<QByteArray>("b1");
    QTest::addColumn<QByteArray>("b2");
    QTest::addColumn<bool>("same");
    const QByteArray none;
    QTest::newRow("ASCII letter case") << QByteArray() << QByteArray("Sales.EU") << none << QByteArray("sALES.eu") << none << true;
    QTest::newRow("ASCII, another name") << QByteArray() << QByteArray("ann") << none << QByteArray("ann ") << none << false;
    QTest::newRow("ASCII digits and signs") << QByteArray() << QByteArray("a-1_@") << none << QByteArray("A-1_@") << none << true;
    QTest::newRow("[ and { are no letters") << QByteArray() << QByteArray("a[") << none << QByteArray("A{") << none << false;
    QTest::newRow("empty names") << QByteArray() << QByteArray() << none << QByteArray("") << none << true;
    QTest::newRow("control character") << QByteArray() << QByteArray("a\tB") << none << QByteArray("A\tb") << none << true;
    QTest::newRow("UTF-8 umlaut") << QByteArray("UTF-8") << QByteArray("\xc3\x84rger") << none << QByteArray("\xc3\xa4RGER")
                                  << none << true;
    QTest::newRow("the same bytes in windows-1252") << QByteArray("windows-1252") << QByteArray("\xc3\x84rger") << none
                                                    << QByteArray("\xc3\xa4RGER") << none << false;
    QTest::newRow("windows-1252 umlaut") << QByteArray("windows-1252") << QByteArray("\xc4rger") << none
                                         << QByteArray("\xe4RGER") << none << true;
    QTest::newRow("Kelvin sign and k") << QByteArray("UTF-8") << QByteArray("\xe2\x84\xaa") << none << QByteArray("K") << none
                                       << true;
    QTest::newRow("accounts, letter case") << QByteArray() << QByteArray("Info") << QByteArray("Mail.Example")
                                           << QByteArray("INFO") << QByteArray("mail.example") << true;
    QTest::newRow("accounts, the / elsewhere") << QByteArray() << QByteArray("a/b") << QByteArray("c") << QByteArray("A")
                                               << QByteArray("B/C") << true;
    QTest::newRow("accounts, another host") << QByteArray() << QByteArray("info") << QByteArray("a")
                                            << QByteArray("info") << QByteArray("b") << false;
    QTest::newRow("accounts beyond ASCII") << QByteArray("UTF-8") << QByteArray("J\xc3\x9crgen") << QByteArray("h")
                                           << QByteArray("j\xc3\xbcRGEN") << QByteArray("H") << true;
    QTest::newRow("account and name alike") << QByteArray() << QByteArray("x") << QByteArray("Y") << QByteArray("X/y")
                                            << none << true;
}

// Names compare as their text decoded and case-folded, printable ASCII or not, and two
// names that compare equal hash alike.
void TestConfigCheck::foldedNames()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, a1);
    QFETCH(QByteArray, a2);
    QFETCH(QByteArray, b1);
    QFETCH(QByteArray, b2);
    QFETCH(bool, same);
    const TextCodec codec(encoding);
    const NameFolding folding(codec);
    const ItemName a = a2.isNull() ? ItemName::of(a1) : ItemName::account(a1, a2);
    const ItemName b = b2.isNull() ? ItemName::of(b1) : ItemName::account(b1, b2);
    // The rule itself: the whole name's text, case-folded.
    QCOMPARE(codec.decode(a.bytes()).toCaseFolded() == codec.decode(b.bytes()).toCaseFolded(), same);
    QCOMPARE(folding.folded(a), codec.decode(a.bytes()).toCaseFolded());
    QCOMPARE(folding.folded(b), codec.decode(b.bytes()).toCaseFolded());
    QCOMPARE(folding.same(a, b), same);
    QCOMPARE(folding.same(b, a), same);
    if (same)
        QCOMPARE(folding.hash(a), folding.hash(b));
}

void TestConfigCheck::namesAmongMany_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("UTF-8") << QByteArray("UTF-8");
    QTest::newRow("windows-1252") << QByteArray("windows-1252");
}

// Thousands of users, many of them namesakes letter case aside and some beyond ASCII, and
// a group naming them in other letter case and naming some that are not there: the check
// finds each namesake's first user and each unknown name, as comparing the folded texts
// one by one finds them.
void TestConfigCheck::namesAmongMany()
{
    QFETCH(QByteArray, encoding);
    const TextCodec codec(encoding);
    QRandomGenerator random(7);
    const QByteArrayList stems{"ann", "bob", "\xc3\xa4rger", "\xe4rger", "k", "\xe2\x84\xaa", "x.y"};
    auto randomCase = [&random](QByteArray name) {
        for (char &c : name) {
            if (c >= 'a' && c <= 'z' && random.bounded(2))
                c = char(c - 'a' + 'A');
        }
        return name;
    };
    QByteArray file = server();
    QByteArrayList names;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray name = randomCase(stems[random.bounded(int(stems.size()))] + QByteArray::number(random.bounded(300)));
        names.append(name);
        file += user(i + 1, name);
    }
    QByteArrayList listed;
    for (int i = 0; i < 400; ++i)
        listed.append(randomCase(stems[random.bounded(int(stems.size()))] + QByteArray::number(random.bounded(330))));
    file += "[GROUP1]\r\nName=g\r\nUsers=" + listed.join(',') + "\r\n";

    QStringList expected;
    QHash<QString, int> first; // a folded name's first user: inserted last to first
    for (int i = int(names.size()) - 1; i >= 0; --i)
        first.insert(codec.decode(names[i]).toCaseFolded(), i);
    for (const QByteArray &name : listed) {
        if (!first.contains(codec.decode(name).toCaseFolded()))
            expected.append(QStringLiteral("error unknown-user group:g: Users names \"%1\", which is no user")
                                .arg(codec.decode(name)));
    }
    int duplicates = 0;
    for (int i = 0; i < names.size(); ++i) {
        const int f = first.value(codec.decode(names[i]).toCaseFolded());
        if (f != i) {
            ++duplicates;
            expected.append(QStringLiteral("warning duplicate-name user:#%1: \"%2\" is also the name of user:#%3")
                                .arg(i + 1)
                                .arg(codec.decode(names[i]))
                                .arg(f + 1));
        }
    }
    QVERIFY2(duplicates > 1000, qPrintable(QString::number(duplicates)));
    QVERIFY(expected.size() > duplicates);
    QCOMPARE(check(file, encoding), expected);
}

QTEST_GUILESS_MAIN(TestConfigCheck)
#include "tst_configcheck.moc"
