// SHA-1 as the history names git objects: the processor's instructions and the portable
// path give the same digests as the standard's, over every padding boundary and however the
// data is handed in.
#include "config/Sha1.h"

#include <QCryptographicHash>
#include <QTest>

class TestSha1 : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data();
    void knownDigests();
    void lengthsAndPieces_data();
    void lengthsAndPieces();
};

void TestSha1::knownDigests_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("digest");
    QTest::newRow("empty") << QByteArray() << QByteArray("da39a3ee5e6b4b0d3255bfef95601890afd80709");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d");
    QTest::newRow("two blocks") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                << QByteArray("84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    QTest::newRow("git's empty blob") << QByteArray("blob 0", 7)
                                      << QByteArray("e69de29bb2d1d6434b8b29ae775ad8c2e48c5391");
}

void TestSha1::knownDigests()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, digest);
    for (Sha1::Mode mode : {Sha1::Mode::Fastest, Sha1::Mode::Portable}) {
        Sha1 h(mode);
        h.add(input);
        QCOMPARE(h.result().toHex(), digest);
    }
}

void TestSha1::lengthsAndPieces_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("piece"); // bytes handed in at a time; 0: all at once
    // Around the padding's boundaries (55/56 bytes left in the last block) and the block's.
    for (int length : {1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 3 << 20}) {
        for (int piece : {0, 1, 7, 64, 100}) {
            if (length > 100000 && piece != 0 && piece != 100)
                continue;
            QTest::addRow("%d bytes, pieces of %d", length, piece) << length << piece;
        }
    }
}

void TestSha1::lengthsAndPieces()
{
    QFETCH(int, length);
    QFETCH(int, piece);
    QByteArray data(length, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char &c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    const QByteArray expected = QCryptographicHash::hash(data, QCryptographicHash::Sha1);
    for (Sha1::Mode mode : {Sha1::Mode::Fastest, Sha1::Mode::Portable}) {
        Sha1 h(mode);
        const QByteArrayView view(data);
        for (qsizetype at = 0; at < view.size(); at += piece ? piece : view.size())
            h.add(view.sliced(at, std::min<qsizetype>(piece ? piece : view.size(), view.size() - at)));
        QCOMPARE(h.result().toHex(), expected.toHex());
    }
    if (!Sha1::hasInstructions())
        qInfo("this processor has no SHA instructions: the portable path was tested twice");
}

QTEST_APPLESS_MAIN(TestSha1)
#include "tst_sha1.moc"
