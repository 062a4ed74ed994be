// The check a configuration's bytes pass before they are loaded, made whole and made on a
// stream cut into pieces anywhere (as a fetch receives a block): both give one verdict.
#include "config/ConfigBytes.h"

#include <QTest>

class TestConfigBytes : public QObject
{
    Q_OBJECT

private slots:
    void streamAgreesWithWhole_data();
    void streamAgreesWithWhole();
};

void TestConfigBytes::streamAgreesWithWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("configuration");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("a section") << QByteArray("[SERVER]\r\nName=Office\r\n") << true;
    QTest::newRow("section after keys") << QByteArray("Name=x\n  \t[USER1]\nName=y\n") << true;
    QTest::newRow("mark and section") << QByteArray("\xEF\xBB\xBF[SERVER]\r\n") << true;
    QTest::newRow("mark alone") << QByteArray("\xEF\xBB\xBF") << true;
    QTest::newRow("half a mark") << QByteArray("\xEF\xBB") << false;
    QTest::newRow("half a mark, then a section") << QByteArray("\xEF\xBB[S]\n") << false;
    QTest::newRow("mark twice") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[S]\n") << false;
    QTest::newRow("no section") << QByteArray("Name=Office\r\n") << false;
    QTest::newRow("bracket not first") << QByteArray("x[SERVER]\r\n") << false;
    QTest::newRow("unclosed") << QByteArray("[SERVER\r\n]\r\n") << false;
    QTest::newRow("lone CR lines") << QByteArray("a=b\r[S]\r") << true;
    QTest::newRow("NUL after a section") << QByteArray("[SERVER]\r\nName=Off\0ice\r\n", 24) << false;
    QTest::newRow("NUL before a section") << QByteArray("\0\n[SERVER]\n", 11) << false;
    QTest::newRow("binary") << QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10) << false;
}

void TestConfigBytes::streamAgreesWithWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, configuration);
    QByteArray whole = bytes;
    ConfigBytes::skipByteOrderMark(whole);
    QCOMPARE(ConfigBytes::isConfiguration(whole), configuration);
    // Every cut into two pieces, and byte by byte.
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        ConfigBytes::Scanner scanner;
        scanner.add(QByteArrayView(bytes).first(cut));
        scanner.add(QByteArrayView(bytes).sliced(cut));
        QVERIFY2(scanner.isConfiguration() == configuration, qPrintable(QStringLiteral("cut at %1").arg(cut)));
    }
    ConfigBytes::Scanner bytewise;
    for (const char c : bytes)
        bytewise.add(QByteArrayView(&c, 1));
    QCOMPARE(bytewise.isConfiguration(), configuration);
}

QTEST_GUILESS_MAIN(TestConfigBytes)
#include "tst_configbytes.moc"
