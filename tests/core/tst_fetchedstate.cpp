// What the local copy remembers of the server's configuration: the record beside the copy,
// and a record that cannot be read, which stands for no state and is reported as unusable
// (a push then refuses to send unchecked).
#include "remote/FetchedState.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFetchedState : public QObject
{
    Q_OBJECT

private slots:
    void rememberedAndRecalled();
    void unreadableRecord_data();
    void unreadableRecord();
    void stateOfFile();
};

void TestFetchedState::rememberedAndRecalled()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("mail.example.org"));
    QVERIFY(!FetchedState::recalled(copy));
    QCOMPARE(FetchedState::recall(copy).kind, FetchedState::Recollection::Kind::None);
    const FetchedState state = FetchedState::of("[SERVER]\r\nName=Office\r\n");
    QCOMPARE(state.size, 23);
    QCOMPARE(state.sha256.size(), 32);
    QVERIFY(state.remember(copy));
    QCOMPARE(FetchedState::recalled(copy), std::optional<FetchedState>(state));
    QVERIFY(FetchedState::of("[SERVER]\r\nName=Offic2\r\n") != state);
    FetchedState::forget(copy);
    QVERIFY(!FetchedState::recalled(copy));
}

void TestFetchedState::unreadableRecord_data()
{
    QTest::addColumn<QByteArray>("record");
    const QByteArray hash = FetchedState::of("x").sha256.toHex();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no hash") << QByteArray("25\n");
    QTest::newRow("negative size") << QByteArray("-1 ") + hash + '\n';
    QTest::newRow("size not a number") << QByteArray("2x5 ") + hash + '\n';
    QTest::newRow("short hash") << QByteArray("25 ") + hash.left(62) + '\n';
    QTest::newRow("not hexadecimal") << QByteArray("25 ") + hash.left(62) + "zz\n";
    QTest::newRow("three fields") << QByteArray("25 ") + hash + " more\n";
}

void TestFetchedState::unreadableRecord()
{
    QFETCH(QByteArray, record);
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("host"));
    QVERIFY(TestFiles::write(FetchedState::sidecarPath(copy), record));
    QVERIFY(!FetchedState::recalled(copy));
    const FetchedState::Recollection r = FetchedState::recall(copy);
    QCOMPARE(r.kind, FetchedState::Recollection::Kind::Unusable);
    QVERIFY2(r.problem.startsWith(FetchedState::sidecarPath(copy) + QLatin1Char(' ')), qPrintable(r.problem));
}

void TestFetchedState::stateOfFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("host"));
    QVERIFY(!FetchedState::ofFile(path));
    const QByteArray bytes(200000, 'q'); // more than one read
    QVERIFY(TestFiles::write(path, bytes));
    QCOMPARE(FetchedState::ofFile(path), std::optional<FetchedState>(FetchedState::of(bytes)));
}

QTEST_GUILESS_MAIN(TestFetchedState)
#include "tst_fetchedstate.moc"
