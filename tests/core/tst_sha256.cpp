// SHA-256 as the configuration's digests are given: the processor's instructions and the
// portable path give the standard's digests, over every length around the padding and block
// boundaries and however the data is handed in.
#include "config/Sha256.h"

#include <QCryptographicHash>
#include <QTest>

class TestSha256 : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data();
    void knownDigests();
    void everyShortLength();
    void lengthsAndPieces_data();
    void lengthsAndPieces();
};

namespace {

const Sha256::Mode modes[] = {Sha256::Mode::Fastest, Sha256::Mode::Portable};

QByteArray noise(int length)
{
    QByteArray data(length, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char &c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return data;
}

QByteArray digest(Sha256::Mode mode, QByteArrayView data, qsizetype piece)
{
    Sha256 h(mode);
    for (qsizetype at = 0; at < data.size(); at += piece ? piece : data.size())
        h.add(data.sliced(at, std::min<qsizetype>(piece ? piece : data.size(), data.size() - at)));
    return h.result().toHex();
}

} // namespace

void TestSha256::knownDigests_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("digest");
    QTest::newRow("empty") << QByteArray()
                           << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << QByteArray("abc")
                         << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QTest::newRow("448 bits") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                              << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    QTest::newRow("896 bits") << QByteArray("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")
                              << QByteArray("cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    QTest::newRow("a million a") << QByteArray(1000000, 'a')
                                 << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

void TestSha256::knownDigests()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, digest);
    for (Sha256::Mode mode : modes) {
        for (qsizetype piece : {0, 1, 63, 1000}) {
            QCOMPARE(::digest(mode, input, piece), digest);
        }
    }
    QCOMPARE(Sha256::hex(input), digest);
}

void TestSha256::everyShortLength()
{
    // Every length over the first three blocks: the padding falls in the last block or
    // needs one more (55/56 bytes left), on every byte of it.
    const QByteArray data = noise(200);
    for (int length = 0; length <= 200; ++length) {
        const QByteArray part = data.left(length);
        const QByteArray expected = QCryptographicHash::hash(part, QCryptographicHash::Sha256).toHex();
        for (Sha256::Mode mode : modes) {
            QCOMPARE(digest(mode, part, 0), expected);
            QCOMPARE(digest(mode, part, 13), expected);
        }
    }
}

void TestSha256::lengthsAndPieces_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("piece"); // bytes handed in at a time; 0: all at once
    for (int length : {255, 256, 257, 1000, 4095, 4096, 4097, 3 << 20}) {
        for (int piece : {0, 1, 7, 64, 100}) {
            if (length > 100000 && piece != 0 && piece != 100)
                continue;
            QTest::addRow("%d bytes, pieces of %d", length, piece) << length << piece;
        }
    }
}

void TestSha256::lengthsAndPieces()
{
    QFETCH(int, length);
    QFETCH(int, piece);
    const QByteArray data = noise(length);
    const QByteArray expected = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
    for (Sha256::Mode mode : modes)
        QCOMPARE(digest(mode, data, piece), expected);
    if (!Sha256::hasInstructions())
        qInfo("this processor has no SHA instructions: the portable path was tested twice");
}

QTEST_APPLESS_MAIN(TestSha256)
#include "tst_sha256.moc"
