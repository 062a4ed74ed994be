// The JSON of dump, get and check: a text written straight from the configuration's bytes
// reads exactly as the same text decoded first, in every character set.
#include "config/JsonWriter.h"
#include "config/NameList.h"
#include "config/TextCodec.h"

#include <QTest>

class TestJsonWriter : public QObject
{
    Q_OBJECT
private slots:
    void textAsDecoded_data();
    void textAsDecoded();
    void quoting_data();
    void quoting();
    void layout();
    void membershipListInPlace_data();
    void membershipListInPlace();
    void hexDigits_data();
    void hexDigits();
};

void TestJsonWriter::textAsDecoded_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<bool>("keepsAscii");
    QTest::addColumn<QByteArray>("bytes");
    const QList<QByteArray> samples{QByteArray("plain text 123"), QByteArray(""), QByteArray("quote \" and \\ backslash"),
                                    QByteArray("tab\tcr\rlf\nesc\x1b"), QByteArray("Caf\xc3\xa9 J\xfcrgen \x80"),
                                    QByteArray("~{shift~} +A-"), QByteArray("del \x7f")};
    for (const auto &[codec, keeps] : {std::pair{QByteArray("UTF-8"), true}, std::pair{QByteArray("windows-1252"), true},
                                        std::pair{QByteArray("ISO-8859-1"), true}, std::pair{QByteArray("UTF-16LE"), false}}) {
        for (qsizetype i = 0; i < samples.size(); ++i)
            QTest::addRow("%s #%lld", codec.constData(), qlonglong(i)) << codec << keeps << samples[i];
    }
}

void TestJsonWriter::textAsDecoded()
{
    QFETCH(QByteArray, codec);
    QFETCH(bool, keepsAscii);
    QFETCH(QByteArray, bytes);
    const TextCodec c(codec);
    QVERIFY(c.isValid());
    QCOMPARE(c.keepsAscii(), keepsAscii);
    JsonWriter direct;
    direct.beginObject();
    direct.text("k", bytes, c);
    direct.textArray("list", {bytes, bytes}, c);
    direct.endObject();
    JsonWriter decoded;
    decoded.beginObject();
    decoded.value("k", c.decode(bytes));
    decoded.stringArray("list", {c.decode(bytes), c.decode(bytes)});
    decoded.endObject();
    QCOMPARE(direct.bytes(), decoded.bytes());
}

void TestJsonWriter::quoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("escapes") << QStringLiteral("a\"b\\c\nd\re\tf\bg\fh") << QByteArray(R"("a\"b\\c\nd\re\tf\bg\fh")");
    QTest::newRow("controls") << QString::fromLatin1("\x01\x1f\x7f") << QByteArray("\"\\u0001\\u001f\x7f\"");
    QTest::newRow("non-ASCII between ASCII") << QStringLiteral("Zo\u00EB \u20AC!") << QByteArray("\"Zo\xc3\xab \xe2\x82\xac!\"");
    QTest::newRow("surrogate pair") << QString::fromUtf16(u"x\U0001F600y") << QByteArray("\"x\xf0\x9f\x98\x80y\"");
    // A lone surrogate is encoded as the whole text would be.
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QLatin1Char('a') << (QByteArray("\"") + (QString(QChar(0xD800)) + QLatin1Char('a')).toUtf8() + '"');
    QTest::newRow("empty") << QString() << QByteArray("\"\"");
}

void TestJsonWriter::quoting()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, json);
    QCOMPARE(JsonWriter::quote(text), json);
}

void TestJsonWriter::layout()
{
    const TextCodec utf8("UTF-8");
    JsonWriter j;
    j.beginObject();
    j.value("flag", true);
    j.beginArray("items");
    j.beginObject();
    j.text("Name", "ann", utf8);
    j.value("Port", 110);
    j.textArray("Users", {"a", "b c"}, utf8);
    j.endObject();
    j.beginObject();
    j.endObject();
    j.endArray();
    j.beginArray("none");
    j.endArray();
    j.endObject();
    QCOMPARE(j.bytes(), QByteArray("{\n  \"flag\": true,\n  \"items\": [\n    {\n      \"Name\": \"ann\",\n      \"Port\": 110,\n"
                                   "      \"Users\": [\"a\", \"b c\"]\n    },\n    {}\n  ],\n  \"none\": []\n}\n"));
}

void TestJsonWriter::membershipListInPlace_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("bare names") << QByteArray("ann,bob,carl");
    QTest::newRow("quoted names") << QByteArray("\"front desk\",\"say \"\"hi\"\"\",x");
    QTest::newRow("one name") << QByteArray("solo");
    QTest::newRow("not UTF-8 and non-ASCII") << QByteArray("J\xfcrgen,\"caf\xc3\xa9 bar\"");
}

// A list kept as the file's value is written from its bytes as the same list of names
// would be, and so is a list given as names.
void TestJsonWriter::membershipListInPlace()
{
    QFETCH(QByteArray, value);
    QVERIFY(NameList::isWrittenForm(value));
    for (const QByteArray &codecName : {QByteArray("UTF-8"), QByteArray("windows-1252"), QByteArray("UTF-16LE")}) {
        // A codec for each writer: the same texts go through each in the same order.
        const TextCodec c(codecName);
        const TextCodec c2(codecName);
        const NameList kept = NameList::fromWrittenForm(value);
        const QByteArrayList names = ValueForms::decodeList(value);
        JsonWriter inPlace;
        inPlace.beginObject();
        inPlace.nameList("kept", kept, c);
        inPlace.nameList("given", NameList(names), c);
        inPlace.endObject();
        JsonWriter fromNames;
        fromNames.beginObject();
        fromNames.textArray("kept", names, c2);
        fromNames.textArray("given", names, c2);
        fromNames.endObject();
        QCOMPARE(inPlace.bytes(), fromNames.bytes());
    }
}

void TestJsonWriter::hexDigits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("empty") << QByteArray() << QByteArray("{\n  \"k\": \"\"\n}\n");
    QTest::newRow("every nibble") << QByteArray("\x01\x23\x45\x67\x89\xab\xcd\xef\x00\xff", 10)
                                  << QByteArray("{\n  \"k\": \"0123456789ABCDEF00FF\"\n}\n");
}

void TestJsonWriter::hexDigits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, json);
    JsonWriter j;
    j.beginObject();
    j.hex("k", bytes);
    j.endObject();
    QCOMPARE(j.bytes(), json);
}

QTEST_APPLESS_MAIN(TestJsonWriter)
#include "tst_jsonwriter.moc"
