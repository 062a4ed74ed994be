// The group data folder: where a group's messages lie, and which names may not name one.
#include "config/GroupDataFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

// Builds entries under `base`: "x/" a folder, "x -> target" a symbolic link (target
// relative to `base`), anything else a file holding its own name.
void build(const QString &base, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString full = base + QLatin1Char('/') + entry;
        if (entry.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(full));
        } else if (entry.contains(QLatin1String(" -> "))) {
            const QStringList link = entry.split(QLatin1String(" -> "));
            const QString at = base + QLatin1Char('/') + link[0];
            QVERIFY(QDir().mkpath(QFileInfo(at).path()));
            QVERIFY(QFile::link(base + QLatin1Char('/') + link[1], at));
        } else {
            QVERIFY(QDir().mkpath(QFileInfo(full).path()));
            QFile file(full);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(entry.toUtf8()) == entry.toUtf8().size());
        }
    }
}

// Every entry under `base`, relative, sorted, folders with a trailing "/", links never
// followed.
QStringList listing(const QString &base)
{
    QStringList found;
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        QString relative = QDir(base).relativeFilePath(info.absoluteFilePath());
        if (info.isDir() && !info.isSymLink())
            relative += QLatin1Char('/');
        found << relative;
    }
    found.sort();
    return found;
}

} // namespace

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

    // Layout under a temporary folder: "prog/" is the program's folder, "outside/" lies
    // beside it and must never change.
    void remove_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("after"); // the listing of prog/ afterwards

        const QStringList ini{QStringLiteral("prog/quilmora.ini")};
        QTest::newRow("only group with data: emptied folders up to data go, program folder stays")
            << (ini + QStringList{"prog/data/comp/lang/misc/xover.dat", "prog/data/comp/lang/misc/sub/1.msg",
                                  "prog/data/comp/lang/misc/.hidden"})
            << "comp.lang.misc" << true << QStringList{"quilmora.ini"};
        QTest::newRow("program folder holding only data is kept")
            << QStringList{"prog/data/sales/xover.dat"} << "sales" << true << QStringList{};
        QTest::newRow("walk stops at the first folder still holding something")
            << (ini + QStringList{"prog/data/comp/lang/misc/xover.dat", "prog/data/comp/other/xover.dat"})
            << "comp.lang.misc" << true
            << QStringList{"data/", "data/comp/", "data/comp/other/", "data/comp/other/xover.dat", "quilmora.ini"};
        QTest::newRow("a group above keeps its own files")
            << (ini + QStringList{"prog/data/comp/xover.dat", "prog/data/comp/lang/xover.dat"})
            << "comp.lang" << true << QStringList{"data/", "data/comp/", "data/comp/xover.dat", "quilmora.ini"};
        QTest::newRow("missing folder: nothing to remove, empty folders above go")
            << (ini + QStringList{"prog/data/comp/"}) << "comp.lang" << true << QStringList{"quilmora.ini"};
        QTest::newRow("links inside go as links, their targets stay")
            << (ini + QStringList{"prog/data/sales/xover.dat", "outside/keep.txt",
                                  "prog/data/sales/dirlink -> outside", "prog/data/sales/filelink -> outside/keep.txt",
                                  "prog/data/sales/sub/uplink -> prog", "prog/data/sales/dangling -> nowhere"})
            << "sales" << true << QStringList{"quilmora.ini"};
        QTest::newRow("group folder that is a link goes as a link")
            << (ini + QStringList{"outside/keep.txt", "prog/data/sales -> outside"})
            << "sales" << true << QStringList{"quilmora.ini"};

        // A link below "data" on the way to the group's folder is never followed: nothing
        // behind it goes, and the removal says so.
        QTest::newRow("a link standing for a folder above the group's")
            << (ini + QStringList{"outside/b/keep.txt", "prog/data/a -> outside"}) << "a.b" << false
            << QStringList{"data/", "data/a", "quilmora.ini"};
        QTest::newRow("a link deeper down")
            << (ini + QStringList{"outside/c/keep.txt", "prog/data/a/b -> outside", "prog/data/a/own.txt"}) << "a.b.c"
            << false << QStringList{"data/", "data/a/", "data/a/b", "data/a/own.txt", "quilmora.ini"};
        QTest::newRow("a file standing for a folder above the group's")
            << (ini + QStringList{"prog/data/a"}) << "a.b" << false << QStringList{"data/", "data/a", "quilmora.ini"};

        const QStringList full = ini + QStringList{"prog/data/comp/xover.dat", "prog/data/x/", "outside/keep.txt"};
        const QStringList untouched{"data/", "data/comp/", "data/comp/xover.dat", "data/x/", "quilmora.ini"};
        for (const char *unsafe : {"", "..", ".", "comp.", ".comp", "x/../../../outside", "/tmp", "..\\outside", "C:"})
            QTest::newRow(qPrintable(QStringLiteral("unsafe \"%1\"").arg(QLatin1String(unsafe))))
                << full << QString::fromLatin1(unsafe) << false << untouched;
    }
    void remove()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, name);
        QFETCH(bool, ok);
        QFETCH(QStringList, after);

        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        build(temp.path(), before + QStringList{"prog/", "outside/"});
        const QStringList outsideBefore = listing(temp.path() + QStringLiteral("/outside"));

        QString error = QStringLiteral("stale");
        QCOMPARE(GroupDataFolder::remove(temp.path() + QStringLiteral("/prog/"), name, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        QVERIFY(QFileInfo(temp.path() + QStringLiteral("/prog")).isDir());
        QCOMPARE(listing(temp.path() + QStringLiteral("/prog")), after);
        QCOMPARE(listing(temp.path() + QStringLiteral("/outside")), outsideBefore);
        if (QFileInfo::exists(temp.path() + QStringLiteral("/outside/keep.txt")))
            QCOMPARE(TestFiles::read(temp.path() + QStringLiteral("/outside/keep.txt")), QByteArray("outside/keep.txt"));
    }

    // A folder swapped for a link to an outside folder while the removal runs is never
    // followed: every outside file survives, round after round.
    void removalRacingALinkSwap()
    {
        for (int round = 0; round < 5; ++round) {
            QTemporaryDir temp;
            QVERIFY(temp.isValid());
            QStringList entries{"prog/quilmora.ini"};
            for (int i = 0; i < 100; ++i)
                entries << QStringLiteral("outside/f%1").arg(i);
            for (int d = 0; d < 20; ++d)
                for (int f = 0; f < 20; ++f)
                    entries << QStringLiteral("prog/data/g/d%1/f%2").arg(d).arg(f);
            build(temp.path(), entries);
            const QString base = temp.path();
            std::atomic<bool> done{false};
            std::thread swapper([&]() {
                // Turns the group's sub-folders into links to "outside" as fast as it can.
                for (int i = 0; !done.load(); i = (i + 1) % 20) {
                    const QByteArray sub = QFile::encodeName(base + QStringLiteral("/prog/data/g/d%1").arg(i));
                    const QByteArray aside = sub + ".aside";
                    if (::rename(sub.constData(), aside.constData()) == 0)
                        ::symlink(QFile::encodeName(base + QStringLiteral("/outside")).constData(), sub.constData());
                }
            });
            QString error;
            GroupDataFolder::remove(base + QStringLiteral("/prog"), QStringLiteral("g"), &error);
            done = true;
            swapper.join();
            QCOMPARE(listing(base + QStringLiteral("/outside")).size(), 100);
        }
    }

    // The data folder of another disk reached through a link is the administrator's layout:
    // a group inside it is removed there, and the link itself stays.
    void removeThroughLinkedDataFolder()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        build(temp.path(), {"prog/quilmora.ini", "disk/data/sales/xover.dat", "prog/data -> disk/data"});
        QString error;
        QVERIFY(GroupDataFolder::remove(temp.path() + QStringLiteral("/prog"), QStringLiteral("sales"), &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(listing(temp.path() + QStringLiteral("/disk")), QStringList{"data/"});
        QVERIFY(QFileInfo(temp.path() + QStringLiteral("/prog/data")).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestGroupDataFolder)
#include "tst_groupdatafolder.moc"
