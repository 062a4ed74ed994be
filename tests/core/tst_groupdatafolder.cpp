// The group data folder: where a group's messages lie, and which names may not name one.
#include "config/GroupDataFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
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
        // A link standing for a folder on the way to the group is never followed: the
        // group's name would lead outside "data" through it.
        QTest::newRow("first part a link to an outside folder")
            << (ini + QStringList{"outside/b/keep.txt", "outside/b/sub/deep.txt", "prog/data/a -> outside"})
            << "a.b" << false << QStringList{"data/", "data/a", "quilmora.ini"};
        QTest::newRow("a link deeper down")
            << (ini + QStringList{"outside/d/keep.txt", "prog/data/a/b/c -> outside", "prog/data/a/b/other.dat"})
            << "a.b.c.d" << false
            << QStringList{"data/", "data/a/", "data/a/b/", "data/a/b/c", "data/a/b/other.dat", "quilmora.ini"};
        QTest::newRow("a file link on the way")
            << (ini + QStringList{"outside/keep.txt", "prog/data/a -> outside/keep.txt"})
            << "a.b" << false << QStringList{"data/", "data/a", "quilmora.ini"};
        QTest::newRow("links at every depth inside the group go as links")
            << (ini + QStringList{"outside/keep.txt", "outside/x/keep.txt", "prog/data/g/l1 -> outside",
                                  "prog/data/g/s/l2 -> outside/x", "prog/data/g/s/t/l3 -> outside/keep.txt"})
            << "g" << true << QStringList{"quilmora.ini"};

        // Group a.x lives in data/a/x; with data/a missing there is nothing to remove, and
        // group x's folder data/x, beside where data/a would be, is not its to touch.
        QTest::newRow("a.x with data/a missing leaves data/x")
            << (ini + QStringList{"prog/data/x/xover.dat", "prog/data/x/0000000001", "prog/data/y/xover.dat"})
            << "a.x" << true
            << QStringList{"data/", "data/x/", "data/x/0000000001", "data/x/xover.dat", "data/y/", "data/y/xover.dat",
                           "quilmora.ini"};
        QTest::newRow("a.x with data/a a file leaves data/x")
            << (ini + QStringList{"prog/data/a", "prog/data/x/xover.dat"}) << "a.x" << false
            << QStringList{"data/", "data/a", "data/x/", "data/x/xover.dat", "quilmora.ini"};

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

    // A sub-folder swapped for a link to an outside folder, again and again while the
    // removal runs, is never entered: every outside file survives every round.
    void removeUnderLinkSwapRace()
    {
        for (int round = 0; round < 5; ++round) {
            QTemporaryDir temp;
            QVERIFY(temp.isValid());
            const QString base = temp.path();
            QStringList entries{"prog/quilmora.ini"};
            for (int i = 0; i < 100; ++i)
                entries << QStringLiteral("outside/f%1.txt").arg(i);
            for (int d = 0; d < 20; ++d)
                for (int i = 0; i < 20; ++i)
                    entries << QStringLiteral("prog/data/g/sub%1/m%2.msg").arg(d).arg(i);
            build(base, entries);

            std::atomic<bool> stop{false};
            std::thread swapper([&] {
                const QByteArray outside = QFile::encodeName(base + QStringLiteral("/outside"));
                while (!stop.load()) {
                    for (int d = 0; d < 20 && !stop.load(); ++d) {
                        const QByteArray sub = QFile::encodeName(base + QStringLiteral("/prog/data/g/sub%1").arg(d));
                        const QByteArray aside = sub + ".aside";
                        if (::rename(sub.constData(), aside.constData()) == 0)
                            (void)::symlink(outside.constData(), sub.constData());
                    }
                }
            });
            QString error;
            GroupDataFolder::remove(base + QStringLiteral("/prog"), QStringLiteral("g"), &error);
            stop = true;
            swapper.join();
            QCOMPARE(QDir(base + QStringLiteral("/outside")).entryList(QDir::Files).size(), 100);
        }
    }

    // The removal keeps to the file system "data" lies on: what lies on another device (as
    // a test hook pretends it, no mount needed) is neither entered nor removed, and is named
    // among what stayed; everything else goes.
    void staysOnItsFileSystem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mounted"); // the entry below "data" on another device
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("named"); // in the error

        const QStringList files{"prog/quilmora.ini", "prog/data/g/xover.dat", "prog/data/g/mnt/keep.msg",
                                "prog/data/g/mnt/deep/keep2.msg", "prog/data/g/sub/file.msg", "prog/data/a/b/xover.dat"};
        QTest::newRow("a folder inside the group")
            << "g" << "g/mnt"
            << QStringList{"data/", "data/a/", "data/a/b/", "data/a/b/xover.dat", "data/g/", "data/g/mnt/",
                           "data/g/mnt/deep/", "data/g/mnt/deep/keep2.msg", "data/g/mnt/keep.msg", "quilmora.ini"}
            << "data/g/mnt (on another file system, not entered)";
        QTest::newRow("a file inside the group")
            << "g" << "g/sub/file.msg"
            << QStringList{"data/", "data/a/", "data/a/b/", "data/a/b/xover.dat", "data/g/", "data/g/sub/",
                           "data/g/sub/file.msg", "quilmora.ini"}
            << "data/g/sub/file.msg (on another file system, not entered)";
        QTest::newRow("the group's folder itself")
            << "g" << "g"
            << QStringList{"data/", "data/a/", "data/a/b/", "data/a/b/xover.dat", "data/g/", "data/g/mnt/",
                           "data/g/mnt/deep/", "data/g/mnt/deep/keep2.msg", "data/g/mnt/keep.msg", "data/g/sub/",
                           "data/g/sub/file.msg", "data/g/xover.dat", "quilmora.ini"}
            << "data/g (on another file system, not entered)";
        QTest::newRow("a folder on the way")
            << "a.b" << "a"
            << QStringList{"data/", "data/a/", "data/a/b/", "data/a/b/xover.dat", "data/g/", "data/g/mnt/",
                           "data/g/mnt/deep/", "data/g/mnt/deep/keep2.msg", "data/g/mnt/keep.msg", "data/g/sub/",
                           "data/g/sub/file.msg", "data/g/xover.dat", "quilmora.ini"}
            << "data/a is on another file system";
    }
    void staysOnItsFileSystem()
    {
        QFETCH(QString, name);
        QFETCH(QString, mounted);
        QFETCH(QStringList, after);
        QFETCH(QString, named);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        build(temp.path(), {"prog/quilmora.ini", "prog/data/g/xover.dat", "prog/data/g/mnt/keep.msg",
                            "prog/data/g/mnt/deep/keep2.msg", "prog/data/g/sub/file.msg", "prog/data/a/b/xover.dat"});
        GroupDataFolder::TestHooks hooks;
        hooks.device = [mounted](const QString &relative, quint64 device) {
            return relative == mounted || relative.startsWith(mounted + QLatin1Char('/')) ? device + 1 : device;
        };
        GroupDataFolder::setTestHooks(hooks);
        const GroupDataFolder::Removal r = GroupDataFolder::removeData(temp.path() + QStringLiteral("/prog"), name);
        GroupDataFolder::setTestHooks({});
        QVERIFY(!r.complete);
        QVERIFY2(r.error.startsWith(QStringLiteral("Could not remove everything in the data folder ") + temp.path()),
                 qPrintable(r.error));
        QVERIFY2(r.error.contains(named), qPrintable(r.error));
        QCOMPARE(listing(temp.path() + QStringLiteral("/prog")), after);
        QCOMPARE(r.removedSomething, mounted.startsWith(QLatin1String("g/")));
    }

    // The same with a real bind mount, where the sandbox allows one (root, mount --bind).
    void bindMountInsideIsLeftAlone()
    {
        if (::geteuid() != 0)
            QSKIP("a bind mount needs root");
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        build(temp.path(), {"prog/quilmora.ini", "prog/data/g/xover.dat", "prog/data/g/mnt/", "elsewhere/keep.txt",
                            "elsewhere/sub/keep2.txt"});
        const QString target = temp.path() + QStringLiteral("/prog/data/g/mnt");
        if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), temp.path() + QStringLiteral("/elsewhere"), target}) != 0)
            QSKIP("mount --bind is not available here");
        const QStringList before = listing(temp.path() + QStringLiteral("/elsewhere"));
        const GroupDataFolder::Removal r = GroupDataFolder::removeData(temp.path() + QStringLiteral("/prog"), QStringLiteral("g"));
        const QStringList seen = listing(temp.path() + QStringLiteral("/elsewhere"));
        const bool stillMounted = QFile::exists(target + QStringLiteral("/keep.txt"));
        QProcess::execute(QStringLiteral("umount"), {target});
        QVERIFY(stillMounted);
        QCOMPARE(seen, before);
        QVERIFY(!r.complete);
        QVERIFY2(r.error.contains(QStringLiteral("data/g/mnt (on another file system, not entered)")), qPrintable(r.error));
        QVERIFY(!QFile::exists(temp.path() + QStringLiteral("/prog/data/g/xover.dat")));
    }

    // A folder that cannot be opened (no permission, as a test hook plays it for root)
    // keeps what lies below it, and the removal says so: "data" itself, a folder on the
    // way, a folder inside the group.
    void unreachableFolderIsReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("denied");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("removedSomething");
        QTest::addColumn<QStringList>("stayed");
        QTest::newRow("data") << "a.b" << "" << "/prog/data cannot be opened (Permission denied), so whatever the group has there stays"
                              << false << QStringList{"data/a/b"};
        QTest::newRow("data/a for a.b") << "a.b" << "a" << ": data/a cannot be opened (Permission denied), so whatever the group has there stays"
                                        << false << QStringList{"data/a/b"};
        QTest::newRow("inside the group") << "a.b" << "a/b/sub" << "what stayed: data/a/b/sub (Permission denied)"
                                          << true << QStringList{"data/a/b/sub (Permission denied)"};
    }
    void unreachableFolderIsReported()
    {
        QFETCH(QString, name);
        QFETCH(QString, denied);
        QFETCH(QString, named);
        QFETCH(bool, removedSomething);
        QFETCH(QStringList, stayed);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        build(temp.path(), {"prog/quilmora.ini", "prog/data/a/b/xover.dat", "prog/data/a/b/sub/1.msg"});
        GroupDataFolder::TestHooks hooks;
        hooks.openError = [denied](const QString &relative) { return relative == denied ? EACCES : 0; };
        GroupDataFolder::setTestHooks(hooks);
        const GroupDataFolder::Removal r = GroupDataFolder::removeData(temp.path() + QStringLiteral("/prog"), name);
        GroupDataFolder::setTestHooks({});
        QVERIFY(!r.complete);
        QVERIFY2(r.error.contains(named), qPrintable(r.error));
        QCOMPARE(r.removedSomething, removedSomething);
        QCOMPARE(r.stayed, stayed);
        QVERIFY(QFile::exists(temp.path() + QStringLiteral("/prog/data/a/b/sub/1.msg")));
        QCOMPARE(QFile::exists(temp.path() + QStringLiteral("/prog/data/a/b/xover.dat")), !removedSomething);
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
