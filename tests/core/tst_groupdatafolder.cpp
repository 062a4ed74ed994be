// The group data folder: where a group's messages lie, and which names may not name one.
#include "config/GroupDataFolder.h"

#include <QTest>

class TestGroupDataFolder : public QObject
{
    Q_OBJECT

private slots:
    void folder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected"); // empty: refused

        QTest::newRow("dots are folders") << "/srv/quilmora" << "comp.lang.misc" << "/srv/quilmora/data/comp/lang/misc";
        QTest::newRow("no dots") << "/srv/quilmora" << "sales" << "/srv/quilmora/data/sales";
        QTest::newRow("program folder with periods and a trailing separator")
            << "/srv/v1.05.q/" << "comp.lang" << "/srv/v1.05.q/data/comp/lang";
        QTest::newRow("blank and non-ASCII parts stay") << "/p" << QString::fromUtf8("a b.caf\u00e9") << QString::fromUtf8("/p/data/a b/caf\u00e9");
        QTest::newRow("empty") << "/p" << "" << "";
        QTest::newRow("dot dot") << "/p" << ".." << "";
        QTest::newRow("single dot") << "/p" << "." << "";
        QTest::newRow("leading dot") << "/p" << ".hidden" << "";
        QTest::newRow("trailing dot") << "/p" << "comp." << "";
        QTest::newRow("doubled dot") << "/p" << "comp..lang" << "";
        QTest::newRow("slash") << "/p" << "comp/../../etc" << "";
        QTest::newRow("absolute") << "/p" << "/etc" << "";
        QTest::newRow("backslash") << "/p" << "comp\\lang" << "";
        QTest::newRow("drive") << "/p" << "C:" << "";
        QTest::newRow("NUL") << "/p" << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b")) << "";
    }
    void folder()
    {
        QFETCH(QString, program);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QString error = QStringLiteral("stale");
        QCOMPARE(GroupDataFolder::path(program, name, &error), expected);
        if (expected.isEmpty()) {
            QVERIFY(!error.isEmpty());
            if (!name.isEmpty())
                QVERIFY2(error.contains(name), qPrintable(error));
        } else {
            QVERIFY(error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestGroupDataFolder)
#include "tst_groupdatafolder.moc"
