#include "config/PasswordDigest.h"
#include "config/ValueForms.h"

#include <QTest>

using namespace ValueForms;

class TestValueForms : public QObject
{
    Q_OBJECT
private slots:
    void integerReading_data();
    void integerReading();
    void switchAndFlag();
    void binaryDecoding_data();
    void binaryDecoding();
    void binaryRoundTrip();
    void listReading_data();
    void listReading();
    void listWriting_data();
    void listWriting();
    void passwordDigest();
};

void TestValueForms::integerReading_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected"); // -999 stands for "not an integer"
    QTest::newRow("decimal") << QByteArray("119") << 119;
    QTest::newRow("negative") << QByteArray("-5") << -5;
    QTest::newRow("plus sign") << QByteArray("+7") << 7;
    QTest::newRow("hex lower x") << QByteArray("0x77") << 119;
    QTest::newRow("hex upper X, upper digits") << QByteArray("0XFF") << 255;
    QTest::newRow("hex all bits") << QByteArray("0xFFFFFFFF") << -1;
    QTest::newRow("hex too long") << QByteArray("0x100000000") << -999;
    QTest::newRow("0x alone is not hex") << QByteArray("0x") << -999;
    QTest::newRow("bad hex digit") << QByteArray("0x7g") << -999;
    QTest::newRow("empty") << QByteArray("") << -999;
    QTest::newRow("text") << QByteArray("abc") << -999;
    QTest::newRow("trailing text") << QByteArray("12a") << -999;
    QTest::newRow("inner blank") << QByteArray("1 2") << -999;
    QTest::newRow("sign alone") << QByteArray("-") << -999;
    QTest::newRow("int max") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("int min") << QByteArray("-2147483648") << int(-2147483647 - 1);
    QTest::newRow("overflow") << QByteArray("2147483648") << -999;
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << -999;
}

void TestValueForms::integerReading()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QCOMPARE(parseInteger(value).value_or(-999), expected);
}

void TestValueForms::switchAndFlag()
{
    QVERIFY(readSwitch("1"));
    QVERIFY(readSwitch("0x01"));
    QVERIFY(!readSwitch("2"));
    QVERIFY(!readSwitch("yes"));
    QVERIFY(!readSwitch(""));
    QCOMPARE(writeSwitch(true), QByteArray("1"));
    QCOMPARE(writeSwitch(false), QByteArray("0"));
    QVERIFY(isFlagOn("Y"));
    QVERIFY(!isFlagOn("y"));
    QVERIFY(!isFlagOn("Yes"));
    QVERIFY(!isFlagOn(""));
    QCOMPARE(writeFlag(true), QByteArray("Y"));
    QCOMPARE(writeFlag(false), QByteArray("N"));
}

void TestValueForms::binaryDecoding_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("abc") << QByteArray("616263") << QByteArray("abc");
    QTest::newRow("lower case digits") << QByteArray("6a6B") << QByteArray("jk");
    QTest::newRow("odd digit ignored") << QByteArray("616") << QByteArray("a");
    QTest::newRow("bad first pair") << QByteArray("6g61") << QByteArray();
    QTest::newRow("stops at bad pair") << QByteArray("6162zz63") << QByteArray("ab");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("zero and high bytes") << QByteArray("00FF80") << QByteArray("\x00\xff\x80", 3);
}

void TestValueForms::binaryDecoding()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, bytes);
    QCOMPARE(decodeBinary(value), bytes);
}

void TestValueForms::binaryRoundTrip()
{
    QCOMPARE(encodeBinary("abc"), QByteArray("616263"));
    QCOMPARE(encodeBinary("Thanks"), QByteArray("5468616E6B73"));
    QCOMPARE(encodeBinary(QByteArray()), QByteArray());
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    QCOMPARE(decodeBinary(encodeBinary(all)), all);
    QCOMPARE(encodeBinary(QByteArray("\x00\xab", 2)), QByteArray("00AB"));
}

void TestValueForms::listReading_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArrayList>("names");
    QTest::newRow("empty") << QByteArray() << QByteArrayList();
    QTest::newRow("blanks only") << QByteArray("   ") << QByteArrayList();
    QTest::newRow("one") << QByteArray("sales") << QByteArrayList{"sales"};
    QTest::newRow("mixed with final comma")
        << QByteArray("a, b,\"c d\",") << QByteArrayList{"a", "b", "c d", ""};
    QTest::newRow("blank separates unquoted") << QByteArray("a b") << QByteArrayList{"a", "b"};
    QTest::newRow("doubled quote") << QByteArray("\"say \"\"hi\"\"\",x")
                                   << QByteArrayList{"say \"hi\"", "x"};
    QTest::newRow("quoted empty") << QByteArray("\"\"") << QByteArrayList{""};
    QTest::newRow("leading comma") << QByteArray(",a") << QByteArrayList{"", "a"};
    QTest::newRow("empty between") << QByteArray("a,,b") << QByteArrayList{"a", "", "b"};
    QTest::newRow("comma then blank at end") << QByteArray("a, ") << QByteArrayList{"a"};
    QTest::newRow("control characters skipped") << QByteArray("\x01\x02" "a") << QByteArrayList{"a"};
    QTest::newRow("quoted comma and tab") << QByteArray("\"x,y\",\"t\tz\"")
                                          << QByteArrayList{"x,y", "t\tz"};
    QTest::newRow("unterminated quote runs to end") << QByteArray("\"abc") << QByteArrayList{"abc"};
    QTest::newRow("high bytes kept") << QByteArray("caf\xe9") << QByteArrayList{"caf\xe9"};
    QTest::newRow("commas only") << QByteArray(",,") << QByteArrayList{"", "", ""};
    QTest::newRow("quoted commas are no separators")
        << QByteArray("\",,,\",a") << QByteArrayList{",,,", "a"};
    QTest::newRow("NUL ends the value and its commas") << QByteArray("a\0,b,c", 6) << QByteArrayList{"a"};
    QByteArray many;
    QByteArrayList manyNames;
    for (int i = 0; i < 5000; ++i) {
        manyNames.append("user" + QByteArray::number(i) + (i % 7 == 0 ? " x" : ""));
        many += (i ? "," : "") + (i % 7 == 0 ? "\"" + manyNames.last() + "\"" : manyNames.last());
    }
    QTest::newRow("five thousand names") << many << manyNames;
}

void TestValueForms::listReading()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArrayList, names);
    QCOMPARE(decodeList(value), names);
}

void TestValueForms::listWriting_data()
{
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("empty list") << QByteArrayList() << QByteArray();
    QTest::newRow("one empty name") << QByteArrayList{""} << QByteArray("\"\"");
    QTest::newRow("plain") << QByteArrayList{"sales", "sales.eu"} << QByteArray("sales,sales.eu");
    QTest::newRow("blank") << QByteArrayList{"front desk"} << QByteArray("\"front desk\"");
    QTest::newRow("quote doubled") << QByteArrayList{"a\"b"} << QByteArray("\"a\"\"b\"");
    QTest::newRow("comma") << QByteArrayList{"a,b", "c"} << QByteArray("\"a,b\",c");
    QTest::newRow("control") << QByteArrayList{"a\x1f"} << QByteArray("\"a\x1f\"");
    QTest::newRow("empty among others") << QByteArrayList{"a", ""} << QByteArray("a,");
}

void TestValueForms::listWriting()
{
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArray, value);
    QCOMPARE(encodeList(names), value);
    QCOMPARE(decodeList(value), names); // every written list reads back as written
}

void TestValueForms::passwordDigest()
{
    QCOMPARE(PasswordDigest("").toHex(), QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(PasswordDigest("abc").toHex(), QByteArray("900150983cd24fb0d6963f7d28e17f72"));
    QCOMPARE(PasswordDigest("abc").size(), 16);
}

QTEST_GUILESS_MAIN(TestValueForms)
#include "tst_valueforms.moc"
