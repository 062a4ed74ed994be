// The history of saves: every writer adds exactly one commit holding the saved bytes, with
// its author and summary; a broken history never fails a save; concurrent saves all get
// their commits; git itself reads the repository; quilmora-config history lists, shows,
// restores and prunes.
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include "config/History.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Initial = "[SERVER]\r\nPort=119\r\nName=Office\r\nVersion=1.05\r\nAdminPass=00FF\r\n"
                           "[USER1]\r\nName=ann\r\nPass=AA11\r\nDescription=Front desk\r\n"
                           "[USER2]\r\nName=bob\r\nDescription=Stock\r\n"
                           "[GROUP1]\r\nName=sales\r\nUsers=ann\r\n";

QString osUser()
{
    const passwd *pw = ::getpwuid(::geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

struct GitRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void writers_data();
    void writers();
    void firstSaveRecordsReplacedFile();
    void outsideChangeIsRecordedFirst();
    void unchangedSaves_data();
    void unchangedSaves();
    void newVersionReadFromTheFile();
    void brokenHistoryKeepsSaving_data();
    void brokenHistoryKeepsSaving();
    void readOnlyHistoryKeepsSaving();
    void repositoryChangedByGit_data();
    void repositoryChangedByGit();
    void lockedBranchKeepsSaving();
    void branchLogNotARegularFile_data();
    void branchLogNotARegularFile();
    void journalNotMatchingIsNotTrusted();
    void damagedJournalPackIsNotBuiltOn();
    void withoutReaderModule();
    void concurrentSaves();
    void summaries_data();
    void summaries();
    void showAndDryRun();
    void prune();
    void longChainsStayReadable();
    void usageErrors_data();
    void usageErrors();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString repo() const { return path(QStringLiteral("history.git")); }
    CliRun cli(const QStringList &args) const
    {
        return runCli(QStringList{QStringLiteral("--folder"), m_dir->path()} + args);
    }
    GitRun git(const QStringList &args, const QByteArray &input = {}) const;
    int commits() const;
    QByteArray headFile(const QString &rev = QStringLiteral("HEAD")) const
    {
        return git({QStringLiteral("show"), rev + QStringLiteral(":quilmora.ini")}).out;
    }
    void verifyFsck() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

GitRun TestHistory::git(const QStringList &args, const QByteArray &input) const
{
    QProcess p;
    p.start(QStringLiteral("git"), QStringList{QStringLiteral("--git-dir=") + repo()} + args);
    GitRun r;
    if (!p.waitForStarted())
        return r;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

int TestHistory::commits() const
{
    const GitRun r = git({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD")});
    return r.status == 0 ? r.out.trimmed().toInt() : 0;
}

void TestHistory::verifyFsck() const
{
    const GitRun r = git({QStringLiteral("fsck"), QStringLiteral("--full"), QStringLiteral("--strict")});
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY2(!r.err.contains("error") && !r.out.contains("missing"), (r.out + r.err).constData());
}

void TestHistory::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("git")).isEmpty())
        QSKIP("git is not installed (scripts/install-deps.sh installs it)");
}

void TestHistory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), Initial));
}

void TestHistory::writers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("summary"); // the first line of the commit's message

    QTest::newRow("set") << QStringList{QStringLiteral("set"), QStringLiteral("user:ann.Description"),
                                        QStringLiteral("Back office")}
                         << QStringLiteral("quilmora-config set: user ann: Description");
    QTest::newRow("add") << QStringList{QStringLiteral("add"), QStringLiteral("group"), QStringLiteral("support")}
                         << QStringLiteral("quilmora-config add: group support added");
    QTest::newRow("remove") << QStringList{QStringLiteral("remove"), QStringLiteral("user:bob")}
                            << QStringLiteral("quilmora-config remove: user bob removed");
    QTest::newRow("apply") << QStringList{QStringLiteral("apply"), QStringLiteral("@dump-with-change")}
                           << QStringLiteral("quilmora-config apply: server: Port; group sales: Users");
    QTest::newRow("wizard") << QStringList{QStringLiteral("wizard"), QStringLiteral("--force"),
                                           QStringLiteral("--server-name"), QStringLiteral("news")}
                            << QStringLiteral("quilmora-config wizard: ");
    QTest::newRow("restore-backup") << QStringList{QStringLiteral("restore-backup")}
                                    << QStringLiteral("quilmora-config restore-backup: server: Name");
    QTest::newRow("history restore") << QStringList{QStringLiteral("history"), QStringLiteral("restore"),
                                                    QStringLiteral("HEAD~1")}
                                     << QStringLiteral("quilmora-config history restore ");
}

// Each writer adds one commit whose tree holds exactly the saved bytes, by the OS user.
void TestHistory::writers()
{
    QFETCH(QStringList, args);
    QFETCH(QString, summary);
    // A first save starts the history (the file it replaced, then the save).
    const CliRun first = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Primed")});
    QCOMPARE(first.err, QByteArray());
    QCOMPARE(first.status, 0);
    QCOMPARE(commits(), 2);

    if (args.contains(QStringLiteral("@dump-with-change"))) {
        QByteArray json = cli({QStringLiteral("dump")}).out;
        json.replace("\"Port\": 119", "\"Port\": 120").replace("\"Users\": [\"ann\"]", "\"Users\": [\"ann\", \"bob\"]");
        QVERIFY(TestFiles::write(path(QStringLiteral("change.json")), json));
        args.replace(args.indexOf(QStringLiteral("@dump-with-change")), path(QStringLiteral("change.json")));
    }
    const CliRun run = cli(args);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(commits(), 3);
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    const QByteArray log = git({QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--format=%an%n%s")}).out;
    const QList<QByteArray> lines = log.split('\n');
    QCOMPARE(QString::fromUtf8(lines.value(0)), osUser());
    QVERIFY2(QString::fromUtf8(lines.value(1)).startsWith(summary), lines.value(1).constData());
    verifyFsck();
}

// The state before the first recorded save is never lost.
void TestHistory::firstSaveRecordsReplacedFile()
{
    QVERIFY(!QFileInfo::exists(repo()));
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    QCOMPARE(commits(), 2);
    QCOMPARE(headFile(QStringLiteral("HEAD~1")), Initial);
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    // A configuration made by the wizard in an empty folder has nothing before it.
    QVERIFY(QFile::remove(path(QStringLiteral("quilmora.ini"))));
    QVERIFY(QDir(repo()).removeRecursively());
    QVERIFY(QFile::remove(path(QStringLiteral("quilmora.ini.bak"))));
    QCOMPARE(cli({QStringLiteral("wizard")}).status, 0);
    QCOMPARE(commits(), 1);
    const QByteArray subject = git({QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--format=%s")}).out;
    QCOMPARE(subject.trimmed(), QByteArray("quilmora-config wizard: a new configuration"));
}

// A change made by another program between two saves is kept as a version of its own.
void TestHistory::outsideChangeIsRecordedFirst()
{
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    QByteArray edited = TestFiles::read(path(QStringLiteral("quilmora.ini")));
    edited.replace("Name=Office", "Name=Edited by hand");
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), edited));
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("121")}).status, 0);
    QCOMPARE(commits(), 4);
    QCOMPARE(headFile(QStringLiteral("HEAD~1")), edited);
    const QByteArray subject =
        git({QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--format=%s"), QStringLiteral("HEAD~1")}).out;
    QCOMPARE(subject.trimmed(), QByteArray("changed by another program since the last recorded save"));
    verifyFsck();
}

void TestHistory::unchangedSaves_data()
{
    QTest::addColumn<QString>("meanwhile"); // what happens to the file between two normalizes
    QTest::addColumn<QStringList>("subjects"); // of the commits the second one adds, newest first

    const QString noChange = QStringLiteral("quilmora-config normalize: no change");
    QTest::newRow("nothing") << QString() << QStringList{noChange};
    QTest::newRow("time touched") << QStringLiteral("touch") << QStringList{noChange};
    QTest::newRow("copied over, same bytes") << QStringLiteral("copy") << QStringList{noChange};
    QTest::newRow("edited by hand") << QStringLiteral("edit")
                                    << QStringList{noChange,
                                                   QStringLiteral("changed by another program since the last "
                                                                  "recorded save")};
}

// A save that writes the bytes the file already holds records a commit holding those very
// bytes, whether the replaced file is the one the last save left (no byte of it read), only
// looks different (another time, another inode) or was changed by another program (its
// version first).
void TestHistory::unchangedSaves()
{
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, subjects);
    const QString ini = path(QStringLiteral("quilmora.ini"));
    QCOMPARE(cli({QStringLiteral("normalize")}).status, 0);
    const int before = commits();
    QCOMPARE(before, 2);
    const QByteArray normalized = TestFiles::read(ini);
    QByteArray expected = normalized;
    if (meanwhile == QLatin1String("touch")) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 5}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(ini).constData(), times, 0), 0);
    } else if (meanwhile == QLatin1String("copy")) {
        QVERIFY(QFile::remove(ini));
        QVERIFY(TestFiles::write(ini, expected));
    } else if (meanwhile == QLatin1String("edit")) {
        expected.replace("Description=Stock", "Description=Warehouse");
        QVERIFY(TestFiles::write(ini, expected));
    }

    const CliRun run = cli({QStringLiteral("normalize")});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(TestFiles::read(ini), expected);
    QCOMPARE(commits(), before + subjects.size());
    const QByteArray log = git({QStringLiteral("log"), QStringLiteral("-") + QString::number(subjects.size()),
                                QStringLiteral("--format=%s")})
                               .out;
    QCOMPARE(QString::fromUtf8(log).split(QLatin1Char('\n'), Qt::SkipEmptyParts), subjects);
    // The blob is git's own id of the bytes on disk.
    const QByteArray blob = git({QStringLiteral("rev-parse"), QStringLiteral("HEAD:quilmora.ini")}).out;
    const QByteArray hashed = git({QStringLiteral("hash-object"), ini}).out;
    QCOMPARE(blob, hashed);
    QCOMPARE(headFile(), expected);
    QCOMPARE(headFile(QStringLiteral("HEAD~") + QString::number(subjects.size())), normalized);
    verifyFsck();
}

// A save that wrote its file in pieces gives the history no bytes: the new version is read
// from the file, but only while the file is still the one the save wrote.
void TestHistory::newVersionReadFromTheFile()
{
    const QString ini = path(QStringLiteral("quilmora.ini"));
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    QByteArray bytes = TestFiles::read(ini);
    bytes.replace("Port=120", "Port=121");
    QVERIFY(TestFiles::write(ini, bytes));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(ini).constData(), &st), 0);
    History::SavedVersion version;
    version.size = bytes.size();
    version.written.known = true;
    version.written.inode = quint64(st.st_ino);
    version.written.size = qint64(st.st_size);
    version.written.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    QString error;

    History::SavedVersion other = version;
    other.written.inode += 1;
    QVERIFY(!History::recordChecked(ini, other, &error));
    QCOMPARE(error, QDir::toNativeSeparators(ini) + QStringLiteral(" was replaced before its version could be kept"));
    QCOMPARE(commits(), 2);

    QVERIFY2(History::recordChecked(ini, version, &error), qPrintable(error));
    QCOMPARE(commits(), 3);
    QCOMPARE(headFile(), bytes);
    verifyFsck();
}

void TestHistory::brokenHistoryKeepsSaving_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("cause"); // what `history` says

    QTest::newRow("a file in its place") << QStringLiteral("file") << QStringLiteral("is not a folder");
    QTest::newRow("truncated pack") << QStringLiteral("truncate") << QStringLiteral("history");
    QTest::newRow("a folder that is no repository") << QStringLiteral("folder")
                                                    << QStringLiteral("is not a git repository");
}

// The save goes through with one warning; `history` tells what is wrong.
void TestHistory::brokenHistoryKeepsSaving()
{
    QFETCH(QString, damage);
    QFETCH(QString, cause);
    if (damage == QLatin1String("file")) {
        QVERIFY(TestFiles::write(repo(), "not a repository"));
    } else if (damage == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(repo()));
        QVERIFY(TestFiles::write(repo() + QStringLiteral("/notes.txt"), "mine"));
    } else {
        QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
        const QStringList packs =
            QDir(repo() + QStringLiteral("/objects/pack")).entryList({QStringLiteral("*.pack")}, QDir::Files);
        QCOMPARE(packs.size(), 1);
        QFile pack(repo() + QStringLiteral("/objects/pack/") + packs.first());
        QVERIFY(pack.resize(pack.size() / 2));
    }
    const CliRun run = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Saved")});
    QCOMPARE(run.status, 0);
    QVERIFY(TestFiles::read(path(QStringLiteral("quilmora.ini"))).contains("Name=Saved\r\n"));
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.startsWith("The file was saved, but its version could not be kept in the history: "),
             run.err.constData());

    const CliRun list = cli({QStringLiteral("history")});
    if (damage == QLatin1String("truncate")) {
        // The pack's beginning is readable: the listing stops where it breaks, or reports it.
        QVERIFY(list.status == 1 || !list.out.contains("server: Name"));
    } else {
        QCOMPARE(list.status, 1);
        QVERIFY2(list.err.contains(cause.toUtf8()), list.err.constData());
    }
}

// A history the user may not write: the save still succeeds, with the warning. Root may write
// anywhere, so the command then runs as the user "nobody".
void TestHistory::readOnlyHistoryKeepsSaving()
{
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    const int before = commits();
    const QString cliPath = QStringLiteral(QUILMORA_CLI_PATH);
    QString program = cliPath;
    QStringList prefix;
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("running as root without setpriv");
        program = QStringLiteral("setpriv");
        prefix = {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                  cliPath};
        // The folder and the file belong to everybody; the history stays root's.
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("quilmora.ini"))).constData(), 0666) == 0);
    }
    QProcess chmod;
    chmod.start(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("a-w"), repo()});
    QVERIFY(chmod.waitForFinished());
    QProcess p;
    p.start(program, prefix + QStringList{QStringLiteral("--folder"), m_dir->path(), QStringLiteral("set"),
                                          QStringLiteral("server.Name"), QStringLiteral("Saved")});
    QVERIFY(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(TestFiles::read(path(QStringLiteral("quilmora.ini"))).contains("Name=Saved\r\n"));
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.startsWith("The file was saved, but its version could not be kept in the history: "), err.constData());
    QCOMPARE(commits(), before);
    chmod.start(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("u+w"), repo()});
    QVERIFY(chmod.waitForFinished());
}

void TestHistory::repositoryChangedByGit_data()
{
    QTest::addColumn<QStringList>("script"); // git commands run between two saves
    // Someone commits with git itself: the next save finds the branch ahead of what it knew.
    QTest::newRow("a commit made with git")
        << QStringList{QStringLiteral("-c user.name=admin -c user.email=admin@example.org commit-tree HEAD^{tree} -p HEAD -m by-hand"), QStringLiteral("update-ref @")};
    // git's own maintenance: the branch only in packed-refs, the objects repacked.
    QTest::newRow("pack-refs") << QStringList{QStringLiteral("pack-refs --all")};
    QTest::newRow("gc") << QStringList{QStringLiteral("gc --quiet --prune=now")};
    // A branch that keeps a log gets the save's entry in it.
    QTest::newRow("a commit made with git, the branch's log kept")
        << QStringList{QStringLiteral("-c user.name=admin -c user.email=admin@example.org commit-tree HEAD^{tree} -p HEAD -m by-hand"),
                       QStringLiteral("-c user.name=admin -c user.email=admin@example.org update-ref --create-reflog @")};
}

// The history may be changed by git between saves: the next save still adds exactly its
// commit on top of what the branch holds, in a repository git finds sound.
void TestHistory::repositoryChangedByGit()
{
    QFETCH(QStringList, script);
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    QByteArray made; // the output of a command, "@" in the next one
    for (const QString &line : script) {
        QStringList args = line.split(QLatin1Char(' '));
        if (args.last() == QLatin1String("@"))
            args.last() = QStringLiteral("refs/heads/main ") + QString::fromLatin1(made.trimmed());
        args.removeAll(QString());
        const GitRun r = git(args.join(QLatin1Char(' ')).split(QLatin1Char(' ')));
        QVERIFY2(r.status == 0, (line.toUtf8() + ": " + r.err).constData());
        made = r.out;
    }
    const QByteArray before = git({QStringLiteral("rev-parse"), QStringLiteral("HEAD")}).out.trimmed();
    const int count = commits();
    const CliRun run = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Saved")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(commits(), count + 1);
    QCOMPARE(git({QStringLiteral("rev-parse"), QStringLiteral("HEAD~1")}).out.trimmed(), before);
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    verifyFsck();
    if (QByteArray(QTest::currentDataTag()).contains("log kept")) {
        const GitRun log = git({QStringLiteral("reflog"), QStringLiteral("show"), QStringLiteral("refs/heads/main")});
        QVERIFY2(log.out.contains("quilmora: save"), log.out.constData());
    }
    // And the next save, with the journal in step again.
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Again")}).status, 0);
    QCOMPARE(commits(), count + 2);
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    verifyFsck();
}

// A branch locked by another program (git's "<branch>.lock"): the save goes through with the
// warning, the lock is left to its owner and the branch stays where it was.
void TestHistory::lockedBranchKeepsSaving()
{
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    const int before = commits();
    const QString lock = repo() + QStringLiteral("/refs/heads/main.lock");
    QVERIFY(TestFiles::write(lock, "someone else's\n"));
    const CliRun run = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Saved")});
    QCOMPARE(run.status, 0);
    QVERIFY(TestFiles::read(path(QStringLiteral("quilmora.ini"))).contains("Name=Saved\r\n"));
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.contains("main.lock"), run.err.constData());
    QCOMPARE(TestFiles::read(lock), QByteArray("someone else's\n"));
    QCOMPARE(commits(), before);
    // Unlocked, the next save records the version the locked one could not, then its own.
    QVERIFY(QFile::remove(lock));
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Later")}).status, 0);
    QCOMPARE(commits(), before + 2);
    QVERIFY(headFile(QStringLiteral("HEAD~1")).contains("Name=Saved\r\n"));
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    verifyFsck();
}

void TestHistory::branchLogNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a link to a file outside the folder") << QStringLiteral("link");
    QTest::newRow("a FIFO") << QStringLiteral("fifo");
}

// The branch's log is appended to only as a regular file of its own: a link planted in its
// place is not followed (the file it names is left as it was) and a FIFO does not hold the
// save; the save and its commit go through.
void TestHistory::branchLogNotARegularFile()
{
    QFETCH(QString, kind);
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    const int before = commits();
    const QString log = repo() + QStringLiteral("/logs/refs/heads/main");
    QVERIFY(QDir().mkpath(QFileInfo(log).absolutePath()));
    QFile::remove(log);
    const QString outside = m_dir->path() + QStringLiteral("/outside.txt");
    if (kind == QLatin1String("link")) {
        QVERIFY(TestFiles::write(outside, "not a log\n"));
        QVERIFY(QFile::link(outside, log));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
    }
    const CliRun run = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Saved")});
    QCOMPARE(run.status, 0);
    QCOMPARE(commits(), before + 1);
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    if (kind == QLatin1String("link"))
        QCOMPARE(TestFiles::read(outside), QByteArray("not a log\n"));
}

// The journal remembers the last commit's tree so that a save need not read it back; one
// that does not match that commit (damaged, edited) is not taken: the next commit still
// holds every file of the folder's history.
void TestHistory::journalNotMatchingIsNotTrusted()
{
    QVERIFY(TestFiles::write(path(QStringLiteral("other.ini")), Initial));
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    QCOMPARE(cli({QStringLiteral("--file"), QStringLiteral("other.ini"), QStringLiteral("set"), QStringLiteral("server.Port"),
                  QStringLiteral("121")})
                 .status,
             0);
    // The tree of a commit that held quilmora.ini alone, put in the journal.
    const GitRun older = git({QStringLiteral("cat-file"), QStringLiteral("tree"), QStringLiteral("HEAD~2^{tree}")});
    QCOMPARE(older.status, 0);
    QFile journal(repo() + QStringLiteral("/quilmora-journal"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QByteArray text = journal.readAll();
    journal.close();
    const qsizetype at = text.indexOf("\ntree ");
    QVERIFY(at > 0);
    text.replace(at + 7, text.indexOf('\n', at + 1) - at - 7, older.out.toHex());
    QVERIFY(TestFiles::write(journal.fileName(), text));

    const CliRun run = cli({QStringLiteral("set"), QStringLiteral("server.Name"), QStringLiteral("Saved")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());
    const GitRun files = git({QStringLiteral("ls-tree"), QStringLiteral("--name-only"), QStringLiteral("HEAD")});
    QCOMPARE(files.out, QByteArray("other.ini\nquilmora.ini\n"));
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    verifyFsck();
}

// A journal pack whose index names an entry beyond the pack's end (its checksums intact) is
// damaged: the save writes a new pack of its own, which git finds sound, and adds nothing
// of the damaged one to it.
void TestHistory::damagedJournalPackIsNotBuiltOn()
{
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("120")}).status, 0);
    const QDir packs(repo() + QStringLiteral("/objects/pack"));
    const QStringList indexes = packs.entryList({QStringLiteral("*.idx")});
    QCOMPARE(indexes.size(), 1);
    QFile idx(packs.filePath(indexes.first()));
    QVERIFY(idx.open(QIODevice::ReadOnly));
    QByteArray index = idx.readAll();
    idx.close();
    const qsizetype count = qsizetype(quint8(index[8 + 255 * 4 + 2])) << 8 | quint8(index[8 + 255 * 4 + 3]);
    QVERIFY(count > 0);
    // The damaged entry is the first version's commit, which reading the last version never
    // needs: the save then has nothing to report, whatever order the objects' ids give.
    const QByteArray first = QByteArray::fromHex(git({QStringLiteral("rev-parse"), QStringLiteral("HEAD~1")}).out.trimmed());
    QCOMPARE(first.size(), 20);
    qsizetype entry = -1;
    for (qsizetype i = 0; i < count && entry < 0; ++i) {
        if (QByteArrayView(index).sliced(8 + 1024 + i * 20, 20) == first)
            entry = i;
    }
    QVERIFY(entry >= 0);
    const qsizetype damagedOffset = 8 + 1024 + count * 24 + entry * 4;
    index.replace(damagedOffset, 4, QByteArray("\x7f\xff\xff\xf0", 4));
    index.replace(index.size() - 20, 20,
                  QCryptographicHash::hash(QByteArrayView(index).first(index.size() - 20), QCryptographicHash::Sha1));
    QVERIFY(QFile::setPermissions(idx.fileName(), QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(TestFiles::write(idx.fileName(), index));

    const CliRun run = cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("121")});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QStringList after = packs.entryList({QStringLiteral("*.idx")});
    after.removeAll(indexes.first());
    QCOMPARE(after.size(), 1);
    const GitRun verify = git({QStringLiteral("verify-pack"), QStringLiteral("-v"), packs.filePath(after.first())});
    QVERIFY2(verify.status == 0, (verify.out + verify.err).constData());
    // The new version whole, its tree and its commit: nothing else.
    QVERIFY2(verify.out.contains("non delta: 3 objects\n"), verify.out.constData());
    const GitRun show = git({QStringLiteral("cat-file"), QStringLiteral("-p"), QStringLiteral("HEAD:quilmora.ini")});
    QCOMPARE(show.out, TestFiles::read(path(QStringLiteral("quilmora.ini"))));
}

// A program whose history reader (its module) is missing: saves are still recorded, and
// `history` says what is missing instead of failing otherwise.
void TestHistory::withoutReaderModule()
{
    QTemporaryDir bin;
    const QString program = bin.filePath(QStringLiteral("quilmora-config"));
    QVERIFY(QFile::copy(QStringLiteral(QUILMORA_CLI_PATH), program));
    const auto run = [&](const QStringList &args) {
        QProcess p;
        p.start(program, QStringList{QStringLiteral("--folder"), m_dir->path()} + args);
        p.waitForFinished(60000);
        return std::make_tuple(p.exitCode(), p.readAllStandardError());
    };
    for (const char *name : {"First", "Second"}) {
        const auto [status, err] = run({QStringLiteral("set"), QStringLiteral("server.Name"), QLatin1String(name)});
        QCOMPARE(status, 0);
        QCOMPARE(err, QByteArray());
    }
    QCOMPARE(commits(), 3); // the file before the first save, and both saves
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    verifyFsck();
    const auto [status, err] = run({QStringLiteral("history")});
    if (status == 0)
        QSKIP("an installed history-git module stands in for the missing one");
    QCOMPARE(status, 1);
    QVERIFY2(err.contains("history-git") && err.contains("missing"), err.constData());
}

// 8 programs saving 25 times each at once: 200 commits after the first one, each holding
// the file its save wrote, in a repository git finds sound.
void TestHistory::concurrentSaves()
{
    constexpr int Programs = 8, Saves = 25;
    const QString cliPath = QStringLiteral(QUILMORA_CLI_PATH);
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int p = 0; p < Programs; ++p) {
        auto proc = std::make_unique<QProcess>();
        const QString script = QStringLiteral("for i in $(seq 1 %1); do \"$0\" --folder \"$1\" set server.Name p%2-$i "
                                              "|| exit 1; done")
                                   .arg(Saves)
                                   .arg(p);
        proc->start(QStringLiteral("sh"), {QStringLiteral("-c"), script, cliPath, m_dir->path()});
        procs.push_back(std::move(proc));
    }
    for (auto &proc : procs) {
        QVERIFY(proc->waitForFinished(240000));
        QCOMPARE(proc->exitCode(), 0);
        QCOMPARE(proc->readAllStandardError(), QByteArray());
    }
    QCOMPARE(commits(), 1 + Programs * Saves);
    verifyFsck();
    // Every commit's file is readable and holds one of the names set, each name once.
    const QList<QByteArray> revs =
        git({QStringLiteral("rev-list"), QStringLiteral("HEAD")}).out.trimmed().split('\n');
    QByteArray request;
    for (const QByteArray &r : revs)
        request += r + ":quilmora.ini\n";
    const GitRun batch = git({QStringLiteral("cat-file"), QStringLiteral("--batch")}, request);
    QCOMPARE(batch.status, 0);
    QVERIFY(!batch.out.contains("missing"));
    QSet<QByteArray> names;
    static const QRegularExpression nameLine(QStringLiteral("\r\nName=(p\\d+-\\d+)\r\n"));
    auto it = nameLine.globalMatch(QString::fromLatin1(batch.out));
    while (it.hasNext())
        names.insert(it.next().captured(1).toLatin1());
    QCOMPARE(names.size(), Programs * Saves);
    // Newest first: the newest commit holds the file as it is.
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
}

void TestHistory::summaries_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("summary");

    const QByteArray head = "[SERVER]\r\nPort=119\r\nVersion=1.05\r\n";
    const QByteArray tom = "[USER1]\r\nName=tom\r\nDescription=a\r\n";
    const QByteArray tom2 = "[USER1]\r\nName=tom\r\nDescription=b\r\nPass=00\r\n";
    const QByteArray sales = "[GROUP1]\r\nName=sales\r\nUsers=tom\r\n";
    const QByteArray sales2 = "[GROUP1]\r\nName=sales\r\nUsers=tom,ann\r\n";
    QTest::newRow("keys of two items") << head + tom + sales << head + tom2 + sales2
                                       << QStringLiteral("user tom: Pass, Description; group sales: Users");
    QTest::newRow("server key") << head + tom << QByteArray("[SERVER]\r\nPort=120\r\nVersion=1.05\r\n") + tom
                                << QStringLiteral("server: Port");
    QTest::newRow("added") << head << head + tom << QStringLiteral("user tom added");
    QTest::newRow("removed") << head + tom + sales << head + tom << QStringLiteral("group sales removed");
    QTest::newRow("same bytes") << head + tom << head + tom << QStringLiteral("no change");
    QTest::newRow("rewritten") << head + tom << QByteArray("[SERVER]\r\nVersion=1.05\r\nPort=119\r\n") + tom
                               << QStringLiteral("rewritten, no setting changed");
    QTest::newRow("new file") << QByteArray() << head << QStringLiteral("a new configuration");
    QByteArray many = head, manyAfter = head;
    for (int i = 1; i <= 8; ++i) {
        many += "[USER" + QByteArray::number(i) + "]\r\nName=u" + QByteArray::number(i) + "\r\n";
        manyAfter += "[USER" + QByteArray::number(i) + "]\r\nName=u" + QByteArray::number(i) + "\r\nDescription=x\r\n";
    }
    QTest::newRow("many items") << many << manyAfter
                                << QStringLiteral("user u1: Description; user u2: Description; user u3: Description; "
                                                  "user u4: Description; user u5: Description; and 3 more");
}

void TestHistory::summaries()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, summary);
    QCOMPARE(History::summarize(before, after), summary);
}

// show words the change as diff does, passwords as "(changed)"; the dry run writes nothing.
void TestHistory::showAndDryRun()
{
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("user:ann.Description"), QStringLiteral("Office")}).status, 0);
    QVERIFY(TestFiles::write(path(QStringLiteral("pw")), "secret\n"));
    QCOMPARE(cli({QStringLiteral("passwd"), QStringLiteral("user:ann"), QStringLiteral("--password-file"),
                  path(QStringLiteral("pw"))})
                 .status,
             0);
    const CliRun show = cli({QStringLiteral("history"), QStringLiteral("show"), QStringLiteral("HEAD")});
    QCOMPARE(show.status, 0);
    QVERIFY2(show.out.contains("\n~ user:ann.Pass: (changed)\n"), show.out.constData());
    QVERIFY(!show.out.contains("AA11"));
    const CliRun against = cli({QStringLiteral("history"), QStringLiteral("show"), QStringLiteral("HEAD~2"),
                                QStringLiteral("--against"), QStringLiteral("current")});
    QCOMPARE(against.status, 0);
    QVERIFY2(against.out.contains("~ user:ann.Description: \"Office\" -> \"Front desk\"\n"), against.out.constData());
    QVERIFY(against.out.contains("~ user:ann.Pass: (changed)\n"));

    const QByteArray saved = TestFiles::read(path(QStringLiteral("quilmora.ini")));
    const int before = commits();
    const CliRun dry = cli({QStringLiteral("history"), QStringLiteral("restore"), QStringLiteral("HEAD~2"),
                            QStringLiteral("--dry-run")});
    QCOMPARE(dry.status, 0);
    QCOMPARE(dry.out, against.out.mid(against.out.indexOf("\n\n") + 2));
    QCOMPARE(TestFiles::read(path(QStringLiteral("quilmora.ini"))), saved);
    QCOMPARE(commits(), before);

    const CliRun list = cli({QStringLiteral("history"), QStringLiteral("--json"), QStringLiteral("--limit"),
                             QStringLiteral("2")});
    QCOMPARE(list.status, 0);
    QCOMPARE(list.out.count("\"revision\""), 2);
    QVERIFY(list.out.contains("\"summary\": \"quilmora-config passwd: user ann: Pass\""));
    const CliRun unknown = cli({QStringLiteral("history"), QStringLiteral("show"), QStringLiteral("0123456789abc")});
    QCOMPARE(unknown.status, 1);
    QVERIFY(unknown.err.startsWith("No version 0123456789abc"));
}

void TestHistory::prune()
{
    for (int i = 0; i < 6; ++i)
        QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QString::number(200 + i)}).status, 0);
    QCOMPARE(commits(), 7);
    const QByteArray newest = headFile();
    const CliRun run = cli({QStringLiteral("history"), QStringLiteral("prune"), QStringLiteral("--keep"),
                            QStringLiteral("3")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("4 version(s) dropped\n"));
    QCOMPARE(commits(), 3);
    QCOMPARE(headFile(), newest);
    QVERIFY(headFile(QStringLiteral("HEAD~2")).contains("Port=203\r\n"));
    verifyFsck();
    // Saving goes on after a prune.
    QCOMPARE(cli({QStringLiteral("set"), QStringLiteral("server.Port"), QStringLiteral("300")}).status, 0);
    QCOMPARE(commits(), 4);
    verifyFsck();
    // Everything was saved today: --before tomorrow keeps only the newest.
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    QCOMPARE(cli({QStringLiteral("history"), QStringLiteral("prune"), QStringLiteral("--before"), tomorrow}).out,
             QByteArray("3 version(s) dropped\n"));
    QCOMPARE(commits(), 1);
    QCOMPARE(headFile(), TestFiles::read(path(QStringLiteral("quilmora.ini"))));
    verifyFsck();
}

// More saves than one delta chain holds: every version stays readable, by git and by us.
void TestHistory::longChainsStayReadable()
{
    QByteArray bytes = Initial;
    QString error;
    QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), bytes));
    constexpr int Saves = 120;
    for (int i = 0; i < Saves; ++i) {
        bytes.replace(QByteArray("Port=") + QByteArray::number(i == 0 ? 119 : 1000 + i - 1),
                      QByteArray("Port=") + QByteArray::number(1000 + i));
        QVERIFY(QFile::copy(path(QStringLiteral("quilmora.ini")), path(QStringLiteral("quilmora.ini.bak")))
                || (QFile::remove(path(QStringLiteral("quilmora.ini.bak")))
                    && QFile::copy(path(QStringLiteral("quilmora.ini")), path(QStringLiteral("quilmora.ini.bak")))));
        QVERIFY(TestFiles::write(path(QStringLiteral("quilmora.ini")), bytes));
        QVERIFY2(History::recordChecked(path(QStringLiteral("quilmora.ini")), bytes, true, &error), qPrintable(error));
    }
    QCOMPARE(commits(), Saves + 1);
    verifyFsck();
    QVERIFY(headFile(QStringLiteral("HEAD~60")).contains("Port=1059\r\n"));
    History::Repository repo;
    QVERIFY2(repo.open(m_dir->path(), QStringLiteral("quilmora.ini"), &error), qPrintable(error));
    QList<History::Version> versions;
    QVERIFY(repo.versions(&versions, -1, &error));
    QCOMPARE(versions.size(), Saves + 1);
    QByteArray content;
    QVERIFY(repo.fileAt(versions.at(Saves - 1).revision, &content, &error));
    QVERIFY(content.contains("Port=1000\r\n"));
    QVERIFY(repo.fileAt(versions.first().revision, &content, &error));
    QCOMPARE(content, bytes);
}

void TestHistory::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("prune without a rule") << QStringList{QStringLiteral("prune")};
    QTest::newRow("prune with both") << QStringList{QStringLiteral("prune"), QStringLiteral("--keep"),
                                                    QStringLiteral("2"), QStringLiteral("--before"),
                                                    QStringLiteral("2026-01-01")};
    QTest::newRow("keep 0") << QStringList{QStringLiteral("prune"), QStringLiteral("--keep"), QStringLiteral("0")};
    QTest::newRow("bad date") << QStringList{QStringLiteral("prune"), QStringLiteral("--before"),
                                             QStringLiteral("yesterday")};
    QTest::newRow("show without revision") << QStringList{QStringLiteral("show")};
    QTest::newRow("bad limit") << QStringList{QStringLiteral("--limit"), QStringLiteral("x")};
}

void TestHistory::usageErrors()
{
    QFETCH(QStringList, args);
    const CliRun run = cli(QStringList{QStringLiteral("history")} + args);
    QCOMPARE(run.status, 2);
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
