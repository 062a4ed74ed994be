// Reading and replacing files without losing one: bad configuration files, the backup of a
// save and one that cannot be kept, owner and mode, the file size limit, the changed-on-disk
// fingerprint (also right before the rename), what a killed save leaves, the folder lock
// and the files an old-format configuration names.
#include "config/ConfigDocument.h"
#include "config/LinkedFiles.h"
#include "config/PasswordDigest.h"
#include "config/SafeFile.h"
#include "config/TextCodec.h"
#include "support/ProcessLimits.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


namespace {

const QByteArray Current = "[SERVER]\r\nVersion=1.05\r\nAdminPass=61646D696E\r\n[USER1]\r\nName=u\r\nPass=70617373\r\n";

// Every entry of a folder, hidden ones included.
QStringList entries(const QString &folder)
{
    QStringList list = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // The history of saves beside the configuration has tests of its own (tst_history).
    list.removeAll(QStringLiteral("history.git"));
    list.sort();
    return list;
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    void badFileIsRefused_data();
    void badFileIsRefused();
    void byteOrderMarkIsSkipped();
    void fingerprintOfFileAndBytesAgree_data();
    void fingerprintOfFileAndBytesAgree();
    void backupHoldsThePreviousSave();
    void symlinkKeepsItsLink();
    void ownerAndModeKept_data();
    void ownerAndModeKept();
    void ownerKeptAsRoot();
    void fileSizeLimitFailsTheSave();
    void changedOnDisk();
    void sizeOrTimeTellWithoutReading();
    void changedJustBeforeTheRename_data();
    void changedJustBeforeTheRename();
    void backupThatCannotBeKept_data();
    void backupThatCannotBeKept();
    void changedKeepingSizeAndTime_data();
    void changedKeepingSizeAndTime();
    void lastLookComparesWithNewContent_data();
    void lastLookComparesWithNewContent();
    void documentWrittenInPieces_data();
    void documentWrittenInPieces();
    void leftoverOfAKilledSave_data();
    void leftoverOfAKilledSave();
    void folderLock();
    void linkedFiles_data();
    void linkedFiles();
};

void TestSafeFile::badFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // after the path

    QTest::newRow("UTF-16 text") << QByteArray("\xFF\xFE[\0S\0E\0R\0V\0E\0R\0]\0\r\0\n\0", 22)
                                 << QStringLiteral(" is not a configuration file");
    QTest::newRow("NUL byte after a section") << QByteArray("[SERVER]\r\nName=a\0b\r\n", 19)
                                              << QStringLiteral(" is not a configuration file");
    QTest::newRow("no section line") << QByteArray("Name=Office\r\nPort=119\r\n")
                                     << QStringLiteral(" is not a configuration file");
    QTest::newRow("binary data") << QByteArray("\x7F" "ELF\x02\x01\x01\x00\x00", 9)
                                 << QStringLiteral(" is not a configuration file");
    QTest::newRow("a bracket without its end") << QByteArray("[SERVER\r\nName=x\r\n")
                                               << QStringLiteral(" is not a configuration file");
    QTest::newRow("FIFO") << QByteArray() << QStringLiteral(" is not a regular file");
}

// A file that is no configuration is refused on loading with its message, and stays byte
// for byte; a load that failed leaves nothing to save.
void TestSafeFile::badFileIsRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    if (QByteArray(QTest::currentDataTag()) == "FIFO")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(TestFiles::write(path, bytes));

    ConfigDocument doc;
    QString error;
    QVERIFY(!doc.load(path, TextCodec(), &error));
    QCOMPARE(error, QDir::toNativeSeparators(path) + message);
    if (!bytes.isEmpty())
        QCOMPARE(TestFiles::read(path), bytes);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("quilmora.ini")});
}

// A UTF-8 byte-order mark (as Notepad writes it) is skipped: the file is the current
// format, its digests stay as they are, and the save writes no mark.
void TestSafeFile::byteOrderMarkIsSkipped()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, "\xEF\xBB\xBF" + Current));
    ConfigDocument doc;
    QString error;
    QVERIFY2(doc.load(path, TextCodec(), &error), qPrintable(error));
    QVERIFY(!doc.oldFormat);
    QCOMPARE(doc.server.AdminPass, QByteArray("admin"));
    QCOMPARE(doc.users.at(0)->Pass, QByteArray("pass"));
    QVERIFY(doc.save(path, &error));
    QVERIFY(TestFiles::read(path).startsWith("[SERVER]\r\nPort=119\r\n"));

    // Empty, and a mark alone, are an empty configuration.
    for (const QByteArray &empty : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        QVERIFY(TestFiles::write(path, empty));
        QVERIFY2(doc.load(path, TextCodec(), &error), qPrintable(error));
        QVERIFY(doc.users.empty());
    }
}

// The previous file is kept as "<name>.bak" (one generation); a save that fails leaves
// both files as they were.
void TestSafeFile::backupHoldsThePreviousSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    const QString bak = path + QStringLiteral(".bak");
    QString error;
    QVERIFY(ConfigDocument::saveBytes(path, "first", &error));
    QVERIFY(!QFile::exists(bak)); // nothing before the first save
    QVERIFY(ConfigDocument::saveBytes(path, "second", &error));
    QCOMPARE(TestFiles::read(bak), QByteArray("first"));
    QVERIFY(ConfigDocument::saveBytes(path, "third", &error));
    QCOMPARE(TestFiles::read(bak), QByteArray("second"));
    QCOMPARE(TestFiles::read(path), QByteArray("third"));
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("quilmora.ini"), QStringLiteral("quilmora.ini.bak")}));

    // A failed save (a folder stands where the file should be) leaves every file as it was
    // and no temporary file behind. (fileSizeLimitFailsTheSave fails one on the same file.)
    const QString remote = dir.filePath(QStringLiteral("host"));
    QVERIFY(QDir().mkdir(remote));
    QVERIFY(!ConfigDocument::saveBytes(remote, "x", &error));
    QCOMPARE(error, QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(remote));
    QCOMPARE(TestFiles::read(path), QByteArray("third"));
    QCOMPARE(TestFiles::read(bak), QByteArray("second"));
    QCOMPARE(entries(dir.path()),
             (QStringList{QStringLiteral("host"), QStringLiteral("quilmora.ini"), QStringLiteral("quilmora.ini.bak")}));
}

// A symbolic link to the configuration stays a link; its target gets the new content.
void TestSafeFile::symlinkKeepsItsLink()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    const QString target = dir.filePath(QStringLiteral("real/quilmora.ini"));
    const QString link = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(target, "old"));
    QVERIFY(QFile::link(target, link));
    QString error;
    QVERIFY(ConfigDocument::saveBytes(link, "new", &error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(TestFiles::read(target), QByteArray("new"));
    QCOMPARE(TestFiles::read(target + QStringLiteral(".bak")), QByteArray("old"));
}

void TestSafeFile::ownerAndModeKept_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("640") << 0640;
    QTest::newRow("444 (read-only)") << 0444;
    QTest::newRow("600") << 0600;
    QTest::newRow("664") << 0664;
}

// The replacement keeps the mode of the file it replaces, and so does its backup.
void TestSafeFile::ownerAndModeKept()
{
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, "old"));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
    QVERIFY(SafeFile::replace(path, "new", true));
    QCOMPARE(TestFiles::read(path), QByteArray("new"));
    QCOMPARE(int(modeOf(path)), mode);
    QCOMPARE(int(modeOf(path + QStringLiteral(".bak"))), mode);
}

// As root, a save gives the file back to its owner and group (a server running as another
// user must still read its own file).
void TestSafeFile::ownerKeptAsRoot()
{
    if (::geteuid() != 0)
        QSKIP("changing a file's owner needs root");
    const struct passwd *nobody = ::getpwnam("nobody");
    const struct group *nogroup = ::getgrnam("nogroup");
    if (!nobody || !nogroup)
        QSKIP("no user nobody or group nogroup here");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, "old"));
    QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nogroup->gr_gid), 0);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    QString error;
    QVERIFY(ConfigDocument::saveBytes(path, "new", &error));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_uid, nobody->pw_uid);
    QCOMPARE(st.st_gid, nogroup->gr_gid);
    QCOMPARE(int(st.st_mode & 07777), 0640);
}

// Under a file size limit the save fails with its message instead of the process being
// killed by SIGXFSZ, and the file and its backup stay as they were.
void TestSafeFile::fileSizeLimitFailsTheSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QString error;
    QVERIFY(ConfigDocument::saveBytes(path, "first", &error));
    QVERIFY(ConfigDocument::saveBytes(path, "second", &error));

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString message;
        const bool saved = ConfigDocument::saveBytes(path, QByteArray(4096, 'x'), &message);
        const bool told = message == QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path);
        ::_exit(!saved && told ? 0 : 3);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the child was killed (SIGXFSZ?)");
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(TestFiles::read(path), QByteArray("second"));
    QCOMPARE(TestFiles::read(path + QStringLiteral(".bak")), QByteArray("first"));
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("quilmora.ini"), QStringLiteral("quilmora.ini.bak")}));
}

// A file changed by someone else since it was loaded is not overwritten by a checked save.
void TestSafeFile::changedOnDisk()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, Current));
    ConfigDocument doc;
    QString error;
    QVERIFY(doc.load(path, TextCodec(), &error));
    QVERIFY(!ConfigDocument::changedOnDisk(path, doc.fingerprint));

    // Same size, other bytes.
    QByteArray other = Current;
    other.replace("Name=u", "Name=v");
    QVERIFY(TestFiles::write(path, other));
    QVERIFY(ConfigDocument::changedOnDisk(path, doc.fingerprint));
    SafeFile::Fingerprint fingerprint = doc.fingerprint;
    QVERIFY(!ConfigDocument::saveBytesChecked(path, doc.render(), fingerprint, &error));
    QCOMPARE(error, QStringLiteral("The configuration file was changed by another program since it was loaded."));
    QCOMPARE(TestFiles::read(path), other);

    // Removed, or created where there was none, counts as changed too.
    QVERIFY(QFile::remove(path));
    QVERIFY(ConfigDocument::changedOnDisk(path, doc.fingerprint));
    QVERIFY(!ConfigDocument::changedOnDisk(path, SafeFile::Fingerprint()));

    // Unchanged: the save goes through and the fingerprint follows the new file.
    fingerprint = SafeFile::Fingerprint();
    QVERIFY(ConfigDocument::saveBytesChecked(path, Current, fingerprint, &error));
    QVERIFY(!ConfigDocument::changedOnDisk(path, fingerprint));
}

// A file whose size or time differs is known to be changed without being read: a check
// that read it would not get far under this address-space limit.
void TestSafeFile::sizeOrTimeTellWithoutReading()
{
    if (!ADDRESS_SPACE_LIMITS)
        QSKIP("no address-space limit under AddressSanitizer");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, Current));
    ConfigDocument doc;
    QString error;
    QVERIFY(doc.load(path, TextCodec(), &error));
    QCOMPARE(::truncate(QFile::encodeName(path).constData(), off_t(1) << 30), 0); // 1 GB, sparse

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // What the process maps now and 256 MB more: well below the file's size, well above
        // what a look at its size and time needs.
        unsigned long pages = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        struct rlimit tight {};
        ::getrlimit(RLIMIT_AS, &tight);
        tight.rlim_cur = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (rlim_t(256) << 20);
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &tight) != 0)
            ::_exit(4);
        const bool changed = ConfigDocument::changedOnDisk(path, doc.fingerprint);
        ::_exit(changed ? 0 : 3);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the check ran out of memory: it read the file");
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestSafeFile::changedJustBeforeTheRename_data()
{
    QTest::addColumn<QByteArray>("meanwhile"); // written while the save's new file was made
    QTest::addColumn<bool>("saved");

    QByteArray sameSize = Current;
    sameSize.replace("Name=u", "Name=v");
    QTest::newRow("nothing happened") << Current << true;
    QTest::newRow("rewritten, same size") << sameSize << false;
    QTest::newRow("grown") << Current + "[GROUP1]\r\nName=g\r\n" << false;
    QTest::newRow("removed") << QByteArray() << false;
}

// Another program, one that takes no lock, writes the file after the check before the
// save but while the new content is being written and flushed: the check right before the
// rename sees it, and its change is kept (no temporary file left behind).
void TestSafeFile::changedJustBeforeTheRename()
{
    QFETCH(QByteArray, meanwhile);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, Current));
    SafeFile::Fingerprint fingerprint = SafeFile::fingerprintOf(path);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    int calls = 0;
    SafeFile::setBeforeLastCheck([&](const QString &at) {
        ++calls;
        QCOMPARE(at, path);
        if (tag == QLatin1String("removed"))
            QFile::remove(path);
        else if (tag != QLatin1String("nothing happened"))
            QVERIFY(TestFiles::write(path, meanwhile));
    });
    QString error;
    const bool done = ConfigDocument::saveBytesChecked(path, "new", fingerprint, &error);
    SafeFile::setBeforeLastCheck({});
    QCOMPARE(calls, 1);
    QCOMPARE(done, saved);
    if (saved) {
        QCOMPARE(TestFiles::read(path), QByteArray("new"));
        QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("quilmora.ini"), QStringLiteral("quilmora.ini.bak")}));
        return;
    }
    const bool gone = tag == QLatin1String("removed");
    QCOMPARE(error, ConfigDocument::changedOnDiskText());
    QCOMPARE(QFile::exists(path), !gone);
    if (!gone)
        QCOMPARE(TestFiles::read(path), meanwhile);
    QCOMPARE(entries(dir.path()), gone ? QStringList() : QStringList{QStringLiteral("quilmora.ini")});
}

void TestSafeFile::changedKeepingSizeAndTime_data()
{
    QTest::addColumn<bool>("document"); // the document rendered into the file, else bytes
    QTest::newRow("bytes") << false;
    QTest::newRow("document") << true;
}

// Another program rewrites the file with bytes of the same size and puts its time back: the
// look before writing cannot tell, the last one reads the file and refuses the save, which
// leaves the other program's bytes and no temporary file.
void TestSafeFile::changedKeepingSizeAndTime()
{
    QFETCH(bool, document);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, Current));
    ConfigDocument doc;
    QString error;
    QVERIFY(doc.load(path, TextCodec(), &error));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    QByteArray other = Current;
    other.replace("Name=u", "Name=v");
    QVERIFY(TestFiles::write(path, other));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    QVERIFY(ConfigDocument::changedOnDisk(path, doc.fingerprint));

    SafeFile::Fingerprint fingerprint = doc.fingerprint;
    const bool saved = document ? doc.saveChecked(path, fingerprint, &error)
                                : ConfigDocument::saveBytesChecked(path, doc.render(), fingerprint, &error);
    QVERIFY(!saved);
    QCOMPARE(error, ConfigDocument::changedOnDiskText());
    QCOMPARE(TestFiles::read(path), other);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("quilmora.ini")});
}

void TestSafeFile::lastLookComparesWithNewContent_data()
{
    QTest::addColumn<QByteArray>("before"); // the file the commit replaces
    QTest::addColumn<QByteArray>("after");  // the new content
    QTest::addColumn<bool>("compare");      // asked to compare
    QTest::addColumn<bool>("same");

    // Larger than the buffer the files pass through, so that more than one piece is compared.
    QByteArray large(200 * 1024, 'a');
    for (qsizetype i = 0; i < large.size(); i += 97)
        large[i] = char('b' + i % 20);
    QByteArray lastByte = large;
    lastByte[lastByte.size() - 1] = 'z';
    QTest::newRow("same bytes") << large << large << true << true;
    QTest::newRow("same bytes, not asked") << large << large << false << false;
    QTest::newRow("same size, last byte differs") << large << lastByte << true << false;
    QTest::newRow("longer") << large << large + "x" << true << false;
    QTest::newRow("shorter") << large << large.chopped(1) << true << false;
    QTest::newRow("both empty") << QByteArray() << QByteArray() << true << true;
}

// The last look of a checked commit reads the replaced file anyway; asked to, it tells
// whether that file held exactly the new bytes, and which file it was (the one the backup
// now links to); the new file is the one finish() left.
void TestSafeFile::lastLookComparesWithNewContent()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, compare);
    QFETCH(bool, same);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, before));
    const SafeFile::Fingerprint fingerprint = SafeFile::fingerprintOf(path);
    struct stat old {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &old), 0);

    SafeFile::PendingFile file(path);
    file.setCompareReplaced(compare);
    QVERIFY(file.open());
    QVERIFY(file.write(after));
    QVERIFY(file.finish());
    QCOMPARE(file.commitIfUnchanged(fingerprint, true), SafeFile::PendingFile::Commit::Done);
    QCOMPARE(file.replacedSame(), same);
    QCOMPARE(TestFiles::read(path), after);
    QCOMPARE(TestFiles::read(path + QStringLiteral(".bak")), before);
    const SafeFile::FileIdentity replaced = file.replacedIdentity();
    QVERIFY(replaced.known);
    QCOMPARE(replaced.inode, quint64(old.st_ino));
    QCOMPARE(replaced.size, qint64(before.size()));
    struct stat now {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &now), 0);
    QCOMPARE(file.writtenIdentity().inode, quint64(now.st_ino));
    QCOMPARE(file.writtenIdentity().size, qint64(after.size()));
    QCOMPARE(file.writtenIdentity().modifiedNs, qint64(now.st_mtim.tv_sec) * 1000000000 + now.st_mtim.tv_nsec);
}

void TestSafeFile::documentWrittenInPieces_data()
{
    QTest::addColumn<int>("users");
    QTest::addColumn<bool>("edit"); // the document differs from the file it replaces

    QTest::newRow("small, unchanged") << 1 << false;
    QTest::newRow("small, edited") << 1 << true;
    QTest::newRow("several pieces, unchanged") << 6000 << false;
    QTest::newRow("several pieces, edited") << 6000 << true;
}

// A document saved straight into the file holds exactly what render() gives, however many
// pieces it is written in; the fingerprint the checked save leaves is the new file's, so a
// second checked save goes through and a change after it is seen.
void TestSafeFile::documentWrittenInPieces()
{
    QFETCH(int, users);
    QFETCH(bool, edit);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QByteArray text = "[SERVER]\r\nVersion=1.05\r\nUsers=" + QByteArray::number(users) + "\r\n";
    for (int i = 1; i <= users; ++i)
        text += "[USER" + QByteArray::number(i) + "]\r\nName=user" + QByteArray::number(i) + "\r\nDescription="
                + QByteArray(200, char('a' + i % 26)) + "\r\n";
    QVERIFY(TestFiles::write(path, text));
    ConfigDocument doc;
    QString error;
    QVERIFY2(doc.load(path, TextCodec(), &error), qPrintable(error));
    if (edit)
        doc.users.back()->Description = "edited";
    const QByteArray rendered = doc.render();
    QVERIFY(users == 1 || rendered.size() > 1024 * 1024);

    SafeFile::Fingerprint fingerprint = doc.fingerprint;
    QVERIFY2(doc.saveChecked(path, fingerprint, &error), qPrintable(error));
    QCOMPARE(TestFiles::read(path), rendered);
    QCOMPARE(TestFiles::read(path + QStringLiteral(".bak")), text);
    QVERIFY(fingerprint == SafeFile::fingerprintOf(path));
    QVERIFY2(doc.saveChecked(path, fingerprint, &error), qPrintable(error));
    QCOMPARE(TestFiles::read(path), rendered);

    // The unchecked save (of the document rendered whole) writes the same.
    QVERIFY(QFile::remove(path));
    QVERIFY2(doc.save(path, &error), qPrintable(error));
    QCOMPARE(TestFiles::read(path), rendered);
    QVERIFY(ConfigDocument::changedOnDisk(path, fingerprint));
}

void TestSafeFile::backupThatCannotBeKept_data()
{
    QTest::addColumn<bool>("previous");      // a file stands there before the save
    QTest::addColumn<QString>("inBakFolder"); // a file inside the folder named ".bak"; empty: none
    QTest::addColumn<bool>("warned");

    QTest::newRow(".bak an empty folder") << true << QString() << true;
    QTest::newRow(".bak a folder holding a file") << true << QStringLiteral("keep.txt") << true;
    QTest::newRow("nothing to keep: the first save") << false << QString() << false;
}

// A backup that cannot take the name "<name>.bak" does not stop the save, but is told; the
// folder standing there is left as it was, and no hidden file stays behind.
void TestSafeFile::backupThatCannotBeKept()
{
    QFETCH(bool, previous);
    QFETCH(QString, inBakFolder);
    QFETCH(bool, warned);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    const QString bak = path + QStringLiteral(".bak");
    if (previous)
        QVERIFY(TestFiles::write(path, "old"));
    QVERIFY(QDir().mkdir(bak));
    if (!inBakFolder.isEmpty())
        QVERIFY(TestFiles::write(bak + QLatin1Char('/') + inBakFolder, "kept"));

    QString error;
    QString warning;
    QVERIFY(ConfigDocument::saveBytes(path, "new", &error, &warning));
    QCOMPARE(TestFiles::read(path), QByteArray("new"));
    QCOMPARE(warning, warned ? QStringLiteral("The previous configuration could not be kept as %1; the new one was "
                                              "saved all the same.").arg(QDir::toNativeSeparators(bak))
                             : QString());
    QVERIFY(QFileInfo(bak).isDir());
    QCOMPARE(QDir(bak).entryList(QDir::Files), inBakFolder.isEmpty() ? QStringList() : QStringList{inBakFolder});
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("quilmora.ini"), QStringLiteral("quilmora.ini.bak")}));
}

void TestSafeFile::leftoverOfAKilledSave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind"); // killed, plain, held, link, other
    QTest::addColumn<bool>("removed");

    QTest::newRow("left by a save killed half-way") << QString() << "killed" << true;
    QTest::newRow("an unheld temporary file") << ".quilmora.ini.new-abc" << "plain" << true;
    QTest::newRow("held by a save still running") << ".quilmora.ini.new-live" << "held" << false;
    QTest::newRow("a link by that name") << ".quilmora.ini.new-link" << "link" << false;
    QTest::newRow("another file's temporary file") << ".other.ini.new-abc" << "plain" << false;
    QTest::newRow("not a temporary file") << ".quilmora.ini.old" << "plain" << false;
}

// A save killed between writing and renaming leaves its temporary file; the next save of
// the same file removes it, once nothing holds it. A temporary file a running save holds,
// a link, and files of other names are left alone.
void TestSafeFile::leftoverOfAKilledSave()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, Current));
    int heldFd = -1;
    if (kind == QLatin1String("killed")) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            SafeFile::PendingFile file(path);
            if (file.open() && file.write("half"))
                ::raise(SIGKILL);
            ::_exit(3);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        const QStringList left = QDir(dir.path()).entryList({QStringLiteral(".quilmora.ini.new-*")}, QDir::Hidden | QDir::Files);
        QCOMPARE(left.size(), 1);
        name = left.first();
    } else if (kind == QLatin1String("link")) {
        const QString target = outside.filePath(QStringLiteral("precious"));
        QVERIFY(TestFiles::write(target, "precious"));
        QVERIFY(QFile::link(target, dir.filePath(name)));
    } else {
        QVERIFY(TestFiles::write(dir.filePath(name), "left"));
        if (kind == QLatin1String("held")) {
            heldFd = ::open(QFile::encodeName(dir.filePath(name)).constData(), O_RDONLY | O_CLOEXEC);
            QVERIFY(heldFd >= 0);
            QCOMPARE(::flock(heldFd, LOCK_EX), 0);
        }
    }

    QString error;
    QVERIFY2(ConfigDocument::saveBytes(path, Current, &error), qPrintable(error));
    if (heldFd >= 0)
        ::close(heldFd);
    QCOMPARE(QFileInfo(dir.filePath(name)).exists() || QFileInfo(dir.filePath(name)).isSymLink(), !removed);
    QStringList expected{QStringLiteral("quilmora.ini"), QStringLiteral("quilmora.ini.bak")};
    if (!removed)
        expected.append(name);
    expected.sort();
    QCOMPARE(entries(dir.path()), expected);
    if (kind == QLatin1String("link"))
        QCOMPARE(TestFiles::read(outside.filePath(QStringLiteral("precious"))), QByteArray("precious"));
}

// Two holders of the folder's lock exclude each other; the lock ends with its holder.
void TestSafeFile::folderLock()
{
    QTemporaryDir dir;
    QString error;
    {
        SafeFile::FolderLock first;
        QVERIFY(first.acquire(dir.path(), 0, &error));
        SafeFile::FolderLock second;
        QVERIFY(!second.acquire(dir.path(), 100, &error));
        QCOMPARE(error, QStringLiteral("The folder %1 is in use by another command.").arg(QDir::toNativeSeparators(dir.path())));
    }
    SafeFile::FolderLock again;
    QVERIFY(again.acquire(dir.path(), 0, &error));
    // A folder that does not exist is not locked and not an error here.
    SafeFile::FolderLock missing;
    QVERIFY(missing.acquire(dir.filePath(QStringLiteral("none")), 0, &error));
}

void TestSafeFile::linkedFiles_data()
{
    QTest::addColumn<QByteArray>("name"); // "<dir>" stands for the folder's absolute path
    QTest::addColumn<bool>("remote");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("noted");

    QTest::newRow("relative, inside") << QByteArray("reply.txt") << false << QByteArray("Hello\r\n") << false;
    QTest::newRow("relative, in a sub-folder") << QByteArray("sub/keys.txt") << false << QByteArray("k\r\n") << false;
    QTest::newRow("absolute, inside") << QByteArray("<dir>/reply.txt") << false << QByteArray("Hello\r\n") << false;
    QTest::newRow("missing inside") << QByteArray("none.txt") << false << QByteArray() << false;
    QTest::newRow("absolute, outside") << QByteArray("<dir>/../secret") << false << QByteArray() << true;
    QTest::newRow("climbing out") << QByteArray("../secret") << false << QByteArray() << true;
    QTest::newRow("system file") << QByteArray("/etc/passwd") << false << QByteArray() << true;
    QTest::newRow("link leading out") << QByteArray("leak") << false << QByteArray() << true;
    QTest::newRow("FIFO inside") << QByteArray("fifo") << false << QByteArray() << true;
    QTest::newRow("remote: nothing is read") << QByteArray("reply.txt") << true << QByteArray() << true;
}

// Files named by an old-format configuration are read only inside its folder (and not at
// all in remote mode); every name passed over is noted.
void TestSafeFile::linkedFiles()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, remote);
    QFETCH(QByteArray, body);
    QFETCH(bool, noted);
    QTemporaryDir top;
    const QString folder = top.filePath(QStringLiteral("server"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
    QVERIFY(TestFiles::write(top.filePath(QStringLiteral("secret")), "SECRET\n"));
    QVERIFY(TestFiles::write(folder + QStringLiteral("/reply.txt"), "Hello\n"));
    QVERIFY(TestFiles::write(folder + QStringLiteral("/sub/keys.txt"), "k"));
    QVERIFY(QFile::link(top.filePath(QStringLiteral("secret")), folder + QStringLiteral("/leak")));
    QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo")).constData(), 0600), 0);
    name.replace("<dir>", QFile::encodeName(folder));

    const QByteArray config = "[SERVER]\r\nAdminPass=\r\n[POP1]\r\nUserID=info\r\nAutoReplyFile=" + name +
                              "\r\n[GROUP1]\r\nName=g\r\nKeyListFile=" + name + "\r\n";
    const QString path = folder + QStringLiteral("/quilmora.ini");
    QVERIFY(TestFiles::write(path, config));
    ConfigDocument doc;
    doc.linkedFileMode = remote ? LinkedFiles::Mode::None : LinkedFiles::Mode::Inside;
    QString error;
    QVERIFY2(doc.load(path, TextCodec(), &error), qPrintable(error));
    QCOMPARE(doc.pops.at(0)->AutoReplyBody, body);
    QCOMPARE(doc.groups.at(0)->KeyList, body);
    QVERIFY(!doc.render().contains("SECRET") && !doc.render().contains("534543524554"));
    if (noted) {
        QCOMPARE(doc.linkedFiles.skipped(),
                 (QStringList{QStringLiteral("POP1 AutoReplyFile=") + QFile::decodeName(name),
                              QStringLiteral("GROUP1 KeyListFile=") + QFile::decodeName(name)}));
        QVERIFY(doc.linkedFiles.message().contains(QStringLiteral("\n  POP1 AutoReplyFile=")));
    } else {
        QCOMPARE(doc.linkedFiles.skipped(), QStringList());
        QCOMPARE(doc.linkedFiles.message(), QString());
    }
}

// The file on disk is hashed as it is read, in chunks; bytes in memory are hashed whole:
// the two agree at every size, and a change of one byte anywhere shows.
void TestSafeFile::fingerprintOfFileAndBytesAgree_data()
{
    QTest::addColumn<int>("size");
    for (int size : {0, 1, 65535, 65536, 65537, 3 * 65536 + 17})
        QTest::addRow("%d bytes", size) << size;
}

void TestSafeFile::fingerprintOfFileAndBytesAgree()
{
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.ini"));
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 23);
    QVERIFY(TestFiles::write(path, bytes));
    QByteArray read;
    SafeFile::Fingerprint loaded;
    QCOMPARE(SafeFile::readRegular(path, &read, &loaded), SafeFile::ReadStatus::Ok);
    QCOMPARE(read, bytes);
    const SafeFile::Fingerprint onDisk = SafeFile::fingerprintOf(path);
    QCOMPARE(onDisk.size, qint64(size));
    QVERIFY(onDisk == loaded);
    QCOMPARE(SafeFile::fingerprintOf(bytes, loaded.modifiedNs).hash, onDisk.hash);
    QVERIFY(SafeFile::unchangedSince(path, loaded));
    if (size > 0) {
        QByteArray changed = bytes;
        changed[size - 1] = '!';
        QVERIFY(SafeFile::fingerprintOf(changed, loaded.modifiedNs) != loaded);
    }
}

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
