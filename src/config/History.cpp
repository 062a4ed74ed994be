#include "config/History.h"

#include "config/ConfigBytes.h"
#include "config/ConfigDiff.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/HistoryPack.h"
#include "config/ItemKeys.h"
#include "config/SafeFile.h"
#include "config/TextCodec.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSysInfo>
#include <QThread>
#include <QTimeZone>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <git2.h>
#include <memory>
#include <mutex>
#include <new>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace History {

namespace {

using HistoryPack::ObjectId;
using HistoryPack::ObjectType;

constexpr char kJournal[] = "quilmora-journal";
constexpr int LockWaitMs = 30000;

struct Identity
{
    QString program;
    QString login;
    std::function<void(const QString &)> sink;
};

Identity &identity()
{
    static Identity id;
    return id;
}

void initGit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        git_libgit2_init();
        // The server's folder belongs to the server's user; an administrator saving as root
        // must still be able to read and write its history.
        git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    });
}

QString gitError(const char *what = nullptr)
{
    const git_error *e = git_error_last();
    QString text = e && e->message ? QString::fromUtf8(e->message) : QStringLiteral("unknown error");
    if (what)
        text = QString::fromLatin1(what) + QStringLiteral(": ") + text;
    return text;
}

template <typename T, void (*Free)(T *)>
struct GitPtr
{
    T *p = nullptr;
    GitPtr() = default;
    ~GitPtr() { reset(); }
    GitPtr(const GitPtr &) = delete;
    GitPtr &operator=(const GitPtr &) = delete;
    void reset()
    {
        if (p)
            Free(p);
        p = nullptr;
    }
    T **out()
    {
        reset();
        return &p;
    }
    T *get() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

using Repo = GitPtr<git_repository, git_repository_free>;
using Commit = GitPtr<git_commit, git_commit_free>;
using Tree = GitPtr<git_tree, git_tree_free>;
using Blob = GitPtr<git_blob, git_blob_free>;
using Ref = GitPtr<git_reference, git_reference_free>;
using Walk = GitPtr<git_revwalk, git_revwalk_free>;
using OdbObject = GitPtr<git_odb_object, git_odb_object_free>;
using Odb = GitPtr<git_odb, git_odb_free>;

git_oid toOid(const ObjectId &id)
{
    git_oid oid;
    git_oid_fromraw(&oid, reinterpret_cast<const unsigned char *>(id.constData()));
    return oid;
}

ObjectId fromOid(const git_oid *oid)
{
    return QByteArray(reinterpret_cast<const char *>(oid->id), GIT_OID_RAWSZ);
}

QString display(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// An exclusive flock on the repository's folder for one writer at a time.
class RepoLock
{
public:
    ~RepoLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool acquire(const QString &dir, QString *error)
    {
        m_fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            *error = QStringLiteral("%1: %2").arg(display(dir), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        QDeadlineTimer deadline(LockWaitMs);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return true; // a file system without locks: used unlocked
            if (deadline.hasExpired()) {
                *error = QStringLiteral("%1 is in use by another program").arg(display(dir));
                return false;
            }
            QThread::msleep(5);
        }
        return true;
    }

private:
    int m_fd = -1;
};

// What the repository says about the configuration files after the last recorded save:
// which pack the next entries join, and for each file the blob of its last version, where
// that blob stands in the pack (its delta chain's end) and the file's identity on disk
// then (to know without reading it that it is still that version).
struct Journal
{
    struct FileState
    {
        ObjectId blob;
        qint64 offset = -1; // in `pack`; -1: not there
        int depth = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
    };
    QString pack; // file name in objects/pack
    QHash<QString, FileState> files;

    static Journal read(const QString &repo)
    {
        Journal j;
        QFile f(QDir(repo).filePath(QLatin1String(kJournal)));
        if (!f.open(QIODevice::ReadOnly))
            return j;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> w = line.split(' ');
            if (w.size() == 2 && w[0] == "pack") {
                j.pack = QString::fromUtf8(w[1]);
            } else if (w.size() == 8 && w[0] == "file") {
                FileState s;
                s.blob = QByteArray::fromHex(w[2]);
                s.offset = w[3].toLongLong();
                s.depth = w[4].toInt();
                s.inode = w[5].toULongLong();
                s.size = w[6].toLongLong();
                s.mtimeNs = w[7].toLongLong();
                if (s.blob.size() == GIT_OID_RAWSZ)
                    j.files.insert(QString::fromUtf8(QByteArray::fromHex(w[1])), s);
            }
        }
        return j;
    }

    bool write(const QString &repo) const
    {
        QByteArray out = "pack " + pack.toUtf8() + '\n';
        for (auto it = files.begin(); it != files.end(); ++it) {
            const FileState &s = it.value();
            out += "file " + it.key().toUtf8().toHex() + ' ' + s.blob.toHex() + ' ' + QByteArray::number(s.offset) + ' '
                   + QByteArray::number(s.depth) + ' ' + QByteArray::number(s.inode) + ' '
                   + QByteArray::number(s.size) + ' ' + QByteArray::number(s.mtimeNs) + '\n';
        }
        // Not synced: a journal lost in a crash only makes the next save start a new pack.
        return HistoryPack::writeFile(QDir(repo).filePath(QLatin1String(kJournal)), out, false);
    }
};

struct FileStat
{
    bool ok = false;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    uid_t owner = 0;
};

FileStat statOf(const QString &path)
{
    FileStat s;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        s.ok = true;
        s.inode = quint64(st.st_ino);
        s.size = qint64(st.st_size);
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        s.owner = st.st_uid;
    }
    return s;
}

QString userName(uid_t uid)
{
    if (const passwd *pw = ::getpwuid(uid); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString env = qEnvironmentVariable("USER");
    return env.isEmpty() ? QString::number(uid) : env;
}

// Text fit for a commit header: no angle brackets or line breaks.
QByteArray headerText(const QString &text)
{
    QByteArray b = text.toUtf8();
    for (char &c : b) {
        if (c == '<' || c == '>' || c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    }
    return b.trimmed();
}

QByteArray signature(const QString &user, const QString &login, const QDateTime &when)
{
    QString name = user;
    if (!login.isEmpty())
        name += QStringLiteral(" (login %1)").arg(login);
    const QString host = QSysInfo::machineHostName();
    const QByteArray email = headerText(user) + '@' + headerText(host.isEmpty() ? QStringLiteral("localhost") : host);
    const int offset = when.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    const QByteArray zone = QByteArray(offset < 0 ? "-" : "+") + QByteArray::number(a / 60 % 100).rightJustified(2, '0')
                            + QByteArray::number(a % 60).rightJustified(2, '0');
    return headerText(name) + " <" + email + "> " + QByteArray::number(when.toSecsSinceEpoch()) + ' ' + zone;
}

QByteArray commitContent(const ObjectId &tree, const ObjectId &parent, const QByteArray &author,
                         const QByteArray &committer, const QByteArray &message)
{
    QByteArray c = "tree " + tree.toHex() + '\n';
    if (!parent.isEmpty())
        c += "parent " + parent.toHex() + '\n';
    c += "author " + author + "\ncommitter " + committer + "\n\n" + message;
    return c;
}

struct TreeEntry
{
    QByteArray name;
    QByteArray mode;
    ObjectId id;
};

QList<TreeEntry> treeEntries(const git_tree *tree)
{
    QList<TreeEntry> out;
    if (!tree)
        return out;
    const size_t n = git_tree_entrycount(tree);
    for (size_t i = 0; i < n; ++i) {
        const git_tree_entry *e = git_tree_entry_byindex(tree, i);
        out.append({QByteArray(git_tree_entry_name(e)), QByteArray::number(int(git_tree_entry_filemode(e)), 8),
                    fromOid(git_tree_entry_id(e))});
    }
    return out;
}

// git's order of tree entries: by name, a folder's name compared as if it ended in "/".
QByteArray treeContent(QList<TreeEntry> entries)
{
    const auto key = [](const TreeEntry &e) { return e.mode == "40000" ? e.name + '/' : e.name; };
    std::sort(entries.begin(), entries.end(), [&](const TreeEntry &a, const TreeEntry &b) { return key(a) < key(b); });
    QByteArray out;
    for (const TreeEntry &e : entries)
        out += e.mode + ' ' + e.name + '\0' + e.id;
    return out;
}

QString headBranch(git_repository *repo)
{
    Ref head;
    if (git_reference_lookup(head.out(), repo, "HEAD") == 0 && git_reference_type(head.get()) == GIT_REFERENCE_SYMBOLIC)
        return QString::fromUtf8(git_reference_symbolic_target(head.get()));
    return QStringLiteral("HEAD");
}

// Opens the repository at `dir`, with the cause when that fails.
bool openRepository(const QString &dir, Repo &repo, QString *error)
{
    initGit();
    const QFileInfo info(dir);
    if (!info.exists()) {
        *error = QStringLiteral("No history at %1 (no save has been recorded yet)").arg(display(dir));
        return false;
    }
    if (!info.isDir()) {
        *error = QStringLiteral("%1 is not a folder").arg(display(dir));
        return false;
    }
    if (git_repository_open_ext(repo.out(), QFile::encodeName(dir).constData(),
                                GIT_REPOSITORY_OPEN_NO_SEARCH | GIT_REPOSITORY_OPEN_BARE, nullptr)
        != 0) {
        *error = QStringLiteral("%1 is not a git repository: %2").arg(display(dir), gitError());
        return false;
    }
    return true;
}

// The commit HEAD's branch points at; empty when the branch has none yet.
bool headCommit(git_repository *repo, const QString &branch, ObjectId *id, QString *error)
{
    git_oid oid;
    const int rc = git_reference_name_to_id(&oid, repo, branch.toUtf8().constData());
    if (rc == GIT_ENOTFOUND) {
        id->clear();
        return true;
    }
    if (rc != 0) {
        *error = gitError("reading HEAD");
        return false;
    }
    *id = fromOid(&oid);
    return true;
}

QString fileLine(const QString &fileName)
{
    return QStringLiteral("File: ") + fileName;
}

// ---------------------------------------------------------------------------------------
// The summary

QString plainName(const QByteArray &name)
{
    QString s = TextCodec().decode(name);
    for (QChar &c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return s;
}

QString describeEntries(const QList<ConfigDiff::Entry> &entries)
{
    if (entries.isEmpty())
        return QStringLiteral("no change");
    // One part per item, in the diff's order: the keys changed, or added / removed.
    QStringList parts;
    QString lastItem;
    QStringList keys;
    const auto flush = [&] {
        if (!lastItem.isEmpty() && !keys.isEmpty())
            parts.append(lastItem + QStringLiteral(": ") + keys.join(QStringLiteral(", ")));
        keys.clear();
        lastItem.clear();
    };
    for (const ConfigDiff::Entry &e : entries) {
        const QString item = e.kind == ItemKeys::Kind::Server
                                 ? QStringLiteral("server")
                                 : ItemKeys::kindWord(e.kind) + QLatin1Char(' ') + plainName(e.name);
        if (e.type != ConfigDiff::Entry::Type::Changed) {
            flush();
            parts.append(item + (e.type == ConfigDiff::Entry::Type::Added ? QStringLiteral(" added")
                                                                           : QStringLiteral(" removed")));
            continue;
        }
        if (item != lastItem)
            flush();
        lastItem = item;
        keys.append(QString::fromLatin1(ItemKeys::keys(e.kind)[e.key].name));
    }
    flush();
    constexpr int Shown = 5;
    if (parts.size() > Shown + 1) {
        const qsizetype more = parts.size() - Shown;
        parts = parts.mid(0, Shown);
        parts.append(QStringLiteral("and %1 more").arg(more));
    }
    return parts.join(QStringLiteral("; "));
}

bool loadDocument(const QByteArray &bytes, ConfigDocument &doc)
{
    QByteArray copy = bytes;
    QString error;
    if (!ConfigBytes::prepare(copy, QString(), &error))
        return false;
    return doc.loadFromStore(ConfigStore::fromBytes(std::move(copy)), TextCodec(), &error);
}

// The sections a change touched, for a summary without loading two whole large files: the
// stretch from the section holding the first differing byte to the end of the section
// holding the last one. Empty when the stretch is too large to be worth it.
bool touchedSections(const QByteArray &a, const QByteArray &b, QByteArray *ca, QByteArray *cb)
{
    const qsizetype limit = std::min(a.size(), b.size());
    qsizetype prefix = 0;
    while (prefix + 8 <= limit && std::memcmp(a.constData() + prefix, b.constData() + prefix, 8) == 0)
        prefix += 8;
    while (prefix < limit && a[prefix] == b[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < limit - prefix && a[a.size() - suffix - 1] == b[b.size() - suffix - 1])
        ++suffix;
    // A line added at the end of a section differs first at the next section's line: the
    // section before the first differing byte is taken too.
    qsizetype start = prefix > 1 ? a.lastIndexOf("\n[", prefix - 2) : -1;
    start = start < 0 ? 0 : start + 1;
    if (start == 0)
        return false; // the SERVER section (and the counts) changed: the whole files
    const auto end = [](const QByteArray &x, qsizetype from) {
        const qsizetype e = x.indexOf("\n[", std::max<qsizetype>(from - 1, 0));
        return e < 0 ? x.size() : e + 1;
    };
    const qsizetype ea = end(a, a.size() - suffix), eb = end(b, b.size() - suffix);
    if (ea - start > (256 << 10) || eb - start > (256 << 10))
        return false;
    *ca = a.mid(start, ea - start);
    *cb = b.mid(start, eb - start);
    // A stretch holding a SERVER section would read as the server's settings.
    if (ca->toUpper().contains("[SERVER]") || cb->toUpper().contains("[SERVER]"))
        return false;
    static const QByteArray server = "[SERVER]\r\nVersion=1.05\r\n";
    ca->prepend(server);
    cb->prepend(server);
    return true;
}

// ---------------------------------------------------------------------------------------
// Writing

struct Pending
{
    QByteArray bytes;
    QByteArray message;
    QString author;   // operating-system user
    QString login;    // remote login, if any
    QDateTime when;
};

class Writer
{
public:
    Writer(const QString &repoDir, const QString &fileName) : m_dir(repoDir), m_name(fileName) {}

    bool run(const QString &path, const QByteArray &bytes, bool backupKept, QString *error);

private:
    bool prepareRepository(RepoLock &lock, QString *error);
    void addVersion(const Pending &p, const ObjectId &blobId, bool baseIsPrevious, const QByteArray &baseBytes);

    QString m_dir;
    QString m_name;
    Repo m_repo;
    Journal m_journal;
    HistoryPack::Builder m_pack;
    bool m_startedFromOld = false;
    QString m_oldPack;
    QList<TreeEntry> m_tree;
    ObjectId m_head;
};

// Opens the repository under its lock; the first save makes it (the folder first, so that
// two first saves at once make it once).
bool Writer::prepareRepository(RepoLock &lock, QString *error)
{
    initGit();
    const QFileInfo info(m_dir);
    if (info.exists() && !info.isDir()) {
        *error = QStringLiteral("%1 is not a folder").arg(display(m_dir));
        return false;
    }
    if (!info.exists() && !QDir().mkdir(m_dir) && !QFileInfo(m_dir).isDir()) {
        *error = QStringLiteral("cannot create %1").arg(display(m_dir));
        return false;
    }
    if (!lock.acquire(m_dir, error))
        return false;
    if (QDir(m_dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        git_repository_init_options opts = GIT_REPOSITORY_INIT_OPTIONS_INIT;
        opts.flags = GIT_REPOSITORY_INIT_BARE | GIT_REPOSITORY_INIT_MKPATH;
        opts.initial_head = "main";
        opts.description = "The saved versions of the Quilmora server's configuration.";
        if (git_repository_init_ext(m_repo.out(), QFile::encodeName(m_dir).constData(), &opts) != 0) {
            *error = gitError("creating the history");
            return false;
        }
        return true;
    }
    return openRepository(m_dir, m_repo, error);
}

void Writer::addVersion(const Pending &p, const ObjectId &blobId, bool baseIsPrevious, const QByteArray &baseBytes)
{
    Journal::FileState &state = m_journal.files[m_name];
    // The blob: a delta against the file's previous version when that ends a chain in this
    // pack, else whole.
    qint64 offset = m_pack.offsetOf(blobId);
    int depth = 0;
    if (offset >= 0) {
        // Already in this pack (a save that changed nothing, a version restored).
        depth = state.blob == blobId ? state.depth : HistoryPack::MaxDepth;
    } else if (baseIsPrevious && state.offset >= 0 && state.depth + 1 < HistoryPack::MaxDepth) {
        offset = qint64(m_pack.addDelta(blobId, quint64(state.offset), HistoryPack::makeDelta(baseBytes, p.bytes)));
        depth = state.depth + 1;
    } else {
        offset = qint64(m_pack.addWhole(ObjectType::Blob, blobId, p.bytes));
    }
    state.blob = blobId;
    state.offset = offset;
    state.depth = depth;

    bool replaced = false;
    for (TreeEntry &e : m_tree) {
        if (e.name == m_name.toUtf8()) {
            e.id = blobId;
            e.mode = "100644";
            replaced = true;
        }
    }
    if (!replaced)
        m_tree.append({m_name.toUtf8(), "100644", blobId});
    const QByteArray tree = treeContent(m_tree);
    const ObjectId treeId = HistoryPack::objectId(ObjectType::Tree, tree);
    if (!m_pack.contains(treeId))
        m_pack.addWhole(ObjectType::Tree, treeId, tree);
    const QByteArray sig = signature(p.author, p.login, p.when);
    const QByteArray commit = commitContent(treeId, m_head, sig, sig, p.message);
    const ObjectId commitId = HistoryPack::objectId(ObjectType::Commit, commit);
    if (!m_pack.contains(commitId))
        m_pack.addWhole(ObjectType::Commit, commitId, commit);
    m_head = commitId;
}

bool Writer::run(const QString &path, const QByteArray &bytes, bool backupKept, QString *error)
{
    RepoLock lock;
    if (!prepareRepository(lock, error))
        return false;
    git_repository *repo = m_repo.get();
    const QString branch = headBranch(repo);
    ObjectId head;
    if (!headCommit(repo, branch, &head, error))
        return false;
    const ObjectId startHead = head;
    m_head = head;
    ObjectId previousBlob;
    if (!head.isEmpty()) {
        const git_oid oid = toOid(head);
        Commit commit;
        Tree tree;
        if (git_commit_lookup(commit.out(), repo, &oid) != 0 || git_commit_tree(tree.out(), commit.get()) != 0) {
            *error = gitError("reading the last version");
            return false;
        }
        m_tree = treeEntries(tree.get());
        for (const TreeEntry &e : m_tree) {
            if (e.name == m_name.toUtf8())
                previousBlob = e.id;
        }
    }

    // The file this save replaced, from its backup.
    m_journal = Journal::read(m_dir);
    Journal::FileState &state = m_journal.files[m_name];
    if (state.blob != previousBlob) // the journal lags behind the branch: trust the branch
        state = Journal::FileState{previousBlob, -1, 0, 0, -1, 0};
    const QString replaced = SafeFile::replacedFile(path);
    const QString backup = SafeFile::backupPath(path);
    QByteArray oldBytes;
    bool haveOld = false;
    FileStat oldStat;
    if (backupKept) {
        oldStat = statOf(backup);
        haveOld = oldStat.ok && SafeFile::readRegular(backup, &oldBytes) == SafeFile::ReadStatus::Ok;
    }
    bool oldIsPrevious = false;
    if (haveOld && !previousBlob.isEmpty()) {
        oldIsPrevious = (state.inode == oldStat.inode && state.size == oldStat.size && state.mtimeNs == oldStat.mtimeNs
                         && state.size == oldBytes.size())
                        || HistoryPack::objectId(ObjectType::Blob, oldBytes) == previousBlob;
    }

    // The pack the new entries join: the journal's, unless its chain is full.
    const QString packFolder = QDir(m_dir).filePath(QStringLiteral("objects/pack"));
    QDir().mkpath(packFolder);
    if (!m_journal.pack.isEmpty()) {
        const QString packPath = QDir(packFolder).filePath(m_journal.pack);
        const bool chainFull = state.depth + 1 >= HistoryPack::MaxDepth;
        QString ignored;
        if (!chainFull && QFileInfo::exists(packPath) && m_pack.startFrom(packPath, &ignored)) {
            m_startedFromOld = true;
            m_oldPack = packPath;
        }
    }
    if (!m_startedFromOld) {
        for (auto &s : m_journal.files)
            s.offset = -1;
    }

    const QDateTime now = QDateTime::currentDateTime();
    const QString user = userName(::geteuid());
    const QString prog = identity().program.isEmpty() ? QCoreApplication::applicationName() : identity().program;
    const QByteArray trailer = "\n\n" + fileLine(m_name).toUtf8() + '\n';

    if (haveOld && previousBlob.isEmpty()) {
        // The first save of this file with a history: what it replaced comes first.
        QDateTime mtime = QDateTime::fromMSecsSinceEpoch(oldStat.mtimeNs / 1000000);
        const QByteArray message =
            (prog + QStringLiteral(": the file as it was before the first recorded save")).toUtf8() + trailer;
        addVersion({oldBytes, message, userName(oldStat.owner), QString(), mtime},
                   HistoryPack::objectId(ObjectType::Blob, oldBytes), false, {});
        oldIsPrevious = true;
    } else if (haveOld && !oldIsPrevious) {
        // Another program changed the file since the last recorded save: that version too.
        QDateTime mtime = QDateTime::fromMSecsSinceEpoch(oldStat.mtimeNs / 1000000);
        const QByteArray message =
            QStringLiteral("changed by another program since the last recorded save").toUtf8() + trailer;
        addVersion({oldBytes, message, userName(oldStat.owner), QString(), mtime},
                   HistoryPack::objectId(ObjectType::Blob, oldBytes), false, {});
        oldIsPrevious = true;
    }

    QByteArray before = oldBytes;
    if (!haveOld && !previousBlob.isEmpty()) {
        // No backup to read: the last version, from the history itself, for the summary.
        const git_oid oid = toOid(previousBlob);
        Blob blob;
        if (git_blob_lookup(blob.out(), repo, &oid) == 0)
            before = QByteArray(static_cast<const char *>(git_blob_rawcontent(blob.get())),
                                qsizetype(git_blob_rawsize(blob.get())));
    }
    const QString summary = summarize(before, bytes);
    const QByteArray message = (prog + QStringLiteral(": ") + summary).toUtf8() + trailer;
    addVersion({bytes, message, user, identity().login, now}, HistoryPack::objectId(ObjectType::Blob, bytes),
               haveOld && oldIsPrevious, oldBytes);

    QString packPath;
    if (!m_pack.write(packFolder, &packPath, error))
        return false;
    m_journal.pack = QFileInfo(packPath).fileName();
    const FileStat now_ = statOf(replaced);
    Journal::FileState &after = m_journal.files[m_name];
    after.inode = now_.inode;
    after.size = now_.ok ? now_.size : -1;
    after.mtimeNs = now_.mtimeNs;
    if (!m_journal.write(m_dir)) {
        *error = QStringLiteral("cannot write to %1").arg(display(m_dir));
        return false;
    }

    // The branch moves only from the commit this save started from.
    git_odb *odb = nullptr;
    if (git_repository_odb(&odb, repo) == 0) {
        git_odb_refresh(odb);
        git_odb_free(odb);
    }
    const git_oid newHead = toOid(m_head);
    const git_oid oldHead = startHead.isEmpty() ? git_oid{} : toOid(startHead);
    Ref ref;
    if (git_reference_create_matching(ref.out(), repo, branch.toUtf8().constData(), &newHead, 1,
                                      startHead.isEmpty() ? nullptr : &oldHead, "quilmora: save")
        != 0) {
        *error = gitError("moving the branch");
        return false;
    }
    if (m_startedFromOld && m_oldPack != packPath) {
        // Every entry of the old pack is in the new one.
        QFile::remove(m_oldPack.chopped(5) + QStringLiteral(".idx"));
        QFile::remove(m_oldPack);
    }
    return true;
}

} // namespace

QString repositoryPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("history.git"));
}

void setProgram(const QString &program)
{
    identity().program = program;
}

QString program()
{
    return identity().program;
}

void setLogin(const QString &login)
{
    identity().login = login;
}

void setWarningSink(std::function<void(const QString &)> sink)
{
    identity().sink = std::move(sink);
}

bool enabled()
{
    return qEnvironmentVariable("QUILMORA_HISTORY").compare(QLatin1String("off"), Qt::CaseInsensitive) != 0;
}

QString summarize(const QByteArray &oldBytes, const QByteArray &newBytes)
{
    if (oldBytes == newBytes)
        return QStringLiteral("no change");
    ConfigDocument a, b;
    QByteArray ca, cb;
    const auto described = [](const QList<ConfigDiff::Entry> &entries) {
        return entries.isEmpty() ? QStringLiteral("rewritten, no setting changed") : describeEntries(entries);
    };
    if (!oldBytes.isEmpty() && touchedSections(oldBytes, newBytes, &ca, &cb) && loadDocument(ca, a)
        && loadDocument(cb, b))
        return described(ConfigDiff::compare(a, b, TextCodec()));
    a = ConfigDocument();
    b = ConfigDocument();
    if (!loadDocument(newBytes, b))
        return QStringLiteral("a file that is not a configuration");
    if (!oldBytes.isEmpty() && !loadDocument(oldBytes, a))
        return QStringLiteral("replaced a file that was not a configuration");
    if (oldBytes.isEmpty())
        return QStringLiteral("a new configuration");
    return described(ConfigDiff::compare(a, b, TextCodec()));
}

bool recordChecked(const QString &path, const QByteArray &bytes, bool backupKept, QString *error)
{
    const QFileInfo info(path);
    Writer writer(repositoryPath(info.absolutePath()), info.fileName());
    return writer.run(path, bytes, backupKept, error);
}

void record(const QString &path, const QByteArray &bytes, bool backupKept)
{
    if (!enabled())
        return;
    QString error;
    try {
        if (recordChecked(path, bytes, backupKept, &error))
            return;
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("out of memory");
    }
    const QString text = QStringLiteral("The file was saved, but its version could not be kept in the history: ")
                         + error;
    if (identity().sink) {
        identity().sink(text);
    } else {
        const QByteArray b = text.toLocal8Bit() + '\n';
        std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    }
}

// ---------------------------------------------------------------------------------------
// Reading

struct Repository::Private
{
    Repo repo;
    QString branch;
};

Repository::Repository() : d(new Private) {}

Repository::~Repository()
{
    delete d;
}

bool Repository::open(const QString &folder, const QString &fileName, QString *error)
{
    m_path = repositoryPath(folder);
    m_fileName = fileName;
    if (!openRepository(m_path, d->repo, error))
        return false;
    d->branch = headBranch(d->repo.get());
    ObjectId head;
    if (!headCommit(d->repo.get(), d->branch, &head, error)) {
        *error = QStringLiteral("%1: %2").arg(display(m_path), *error);
        return false;
    }
    return true;
}

namespace {

Version versionOf(const git_commit *c)
{
    Version v;
    v.revision = QByteArray(git_oid_tostr_s(git_commit_id(c)));
    const git_signature *a = git_commit_author(c);
    v.author = QString::fromUtf8(a->name);
    v.date = QDateTime::fromSecsSinceEpoch(a->when.time, QTimeZone(a->when.offset * 60));
    v.summary = QString::fromUtf8(git_commit_summary(const_cast<git_commit *>(c)));
    return v;
}

// Whether a commit records a version of `fileName`: its message names the file, or (a
// commit made by other means) the file's blob differs from the first parent's.
bool touchesFile(const git_commit *c, const QString &fileName)
{
    const char *raw = git_commit_message_raw(c);
    const QByteArray message(raw ? raw : "");
    const QByteArray line = fileLine(fileName).toUtf8();
    if (message.contains("\n" + line + '\n') || message.endsWith("\n" + line))
        return true;
    if (message.contains("\nFile: "))
        return false;
    Tree tree;
    if (git_commit_tree(tree.out(), c) != 0)
        return false;
    const git_tree_entry *e = git_tree_entry_byname(tree.get(), fileName.toUtf8().constData());
    if (!e)
        return false;
    Commit parent;
    Tree parentTree;
    if (git_commit_parentcount(c) == 0 || git_commit_parent(parent.out(), c, 0) != 0
        || git_commit_tree(parentTree.out(), parent.get()) != 0)
        return true;
    const git_tree_entry *pe = git_tree_entry_byname(parentTree.get(), fileName.toUtf8().constData());
    return !pe || git_oid_cmp(git_tree_entry_id(pe), git_tree_entry_id(e)) != 0;
}

} // namespace

bool Repository::versions(QList<Version> *out, int limit, QString *error) const
{
    out->clear();
    git_repository *repo = d->repo.get();
    ObjectId head;
    if (!headCommit(repo, d->branch, &head, error))
        return false;
    if (head.isEmpty())
        return true;
    Walk walk;
    const git_oid oid = toOid(head);
    if (git_revwalk_new(walk.out(), repo) != 0 || git_revwalk_push(walk.get(), &oid) != 0) {
        *error = gitError();
        return false;
    }
    git_revwalk_simplify_first_parent(walk.get());
    git_oid next;
    int rc = 0;
    while ((limit < 0 || out->size() < limit) && (rc = git_revwalk_next(&next, walk.get())) == 0) {
        Commit c;
        if (git_commit_lookup(c.out(), repo, &next) != 0) {
            *error = gitError("reading a version");
            return false;
        }
        if (touchesFile(c.get(), m_fileName))
            out->append(versionOf(c.get()));
    }
    if (rc != 0 && rc != GIT_ITEROVER) {
        *error = gitError("reading the versions");
        return false;
    }
    return true;
}

bool Repository::resolve(const QString &revision, Version *version, QString *error) const
{
    GitPtr<git_object, git_object_free> obj;
    if (git_revparse_single(obj.out(), d->repo.get(), revision.toUtf8().constData()) != 0) {
        *error = QStringLiteral("No version %1 in %2").arg(revision, display(m_path));
        return false;
    }
    Commit c;
    if (git_commit_lookup(c.out(), d->repo.get(), git_object_id(obj.get())) != 0) {
        *error = QStringLiteral("%1 is not a version").arg(revision);
        return false;
    }
    *version = versionOf(c.get());
    return true;
}

bool Repository::fileAt(const QByteArray &revision, QByteArray *bytes, QString *error) const
{
    git_oid oid;
    Commit c;
    Tree tree;
    if (git_oid_fromstr(&oid, revision.constData()) != 0 || git_commit_lookup(c.out(), d->repo.get(), &oid) != 0
        || git_commit_tree(tree.out(), c.get()) != 0) {
        *error = gitError("reading the version");
        return false;
    }
    const git_tree_entry *e = git_tree_entry_byname(tree.get(), m_fileName.toUtf8().constData());
    if (!e) {
        *error = QStringLiteral("Version %1 holds no %2").arg(QString::fromLatin1(revision.left(10)), m_fileName);
        return false;
    }
    Blob blob;
    if (git_blob_lookup(blob.out(), d->repo.get(), git_tree_entry_id(e)) != 0) {
        *error = gitError("reading the version");
        return false;
    }
    *bytes = QByteArray(static_cast<const char *>(git_blob_rawcontent(blob.get())),
                        qsizetype(git_blob_rawsize(blob.get())));
    return true;
}

bool Repository::previous(const QByteArray &revision, QByteArray *parent, QString *error) const
{
    parent->clear();
    git_oid oid;
    Commit c;
    if (git_oid_fromstr(&oid, revision.constData()) != 0 || git_commit_lookup(c.out(), d->repo.get(), &oid) != 0) {
        *error = gitError("reading the version");
        return false;
    }
    // Up the first parents to the next one that records the file.
    Commit cur;
    git_commit_dup(cur.out(), c.get());
    for (;;) {
        if (git_commit_parentcount(cur.get()) == 0)
            return true;
        Commit p;
        if (git_commit_parent(p.out(), cur.get(), 0) != 0) {
            *error = gitError("reading the version before");
            return false;
        }
        Tree tree;
        if (git_commit_tree(tree.out(), p.get()) == 0
            && git_tree_entry_byname(tree.get(), m_fileName.toUtf8().constData())) {
            *parent = QByteArray(git_oid_tostr_s(git_commit_id(p.get())));
            return true;
        }
        std::swap(cur.p, p.p);
    }
}

bool Repository::prune(int keep, const QDateTime &before, int *dropped, QString *error)
{
    *dropped = 0;
    git_repository *repo = d->repo.get();
    RepoLock lock;
    if (!lock.acquire(m_path, error))
        return false;
    ObjectId head;
    if (!headCommit(repo, d->branch, &head, error))
        return false;
    if (head.isEmpty())
        return true;
    // The first-parent line, newest first.
    QList<ObjectId> line;
    Walk walk;
    const git_oid headOid = toOid(head);
    if (git_revwalk_new(walk.out(), repo) != 0 || git_revwalk_push(walk.get(), &headOid) != 0) {
        *error = gitError();
        return false;
    }
    git_revwalk_simplify_first_parent(walk.get());
    git_oid next;
    QList<qint64> times;
    while (git_revwalk_next(&next, walk.get()) == 0) {
        Commit c;
        if (git_commit_lookup(c.out(), repo, &next) != 0) {
            *error = gitError("reading a version");
            return false;
        }
        line.append(fromOid(&next));
        times.append(git_commit_time(c.get()));
    }
    qsizetype kept = line.size();
    if (before.isValid()) {
        kept = 1;
        while (kept < line.size() && times[kept] >= before.toSecsSinceEpoch())
            ++kept;
    } else {
        kept = std::clamp<qsizetype>(keep, 1, line.size());
    }
    if (kept == line.size())
        return true;

    // The kept versions, oldest first, written anew into one pack: each blob a delta against
    // the version before it of the same file, the first commit without a parent.
    HistoryPack::Builder pack;
    struct Chain
    {
        QByteArray bytes;
        quint64 offset = 0;
        int depth = 0;
        ObjectId blob;
    };
    QHash<QByteArray, Chain> chains;
    ObjectId parent;
    Odb odb;
    if (git_repository_odb(odb.out(), repo) != 0) {
        *error = gitError();
        return false;
    }
    std::function<bool(const git_oid *)> copyTree = [&](const git_oid *treeId) -> bool {
        OdbObject raw;
        if (git_odb_read(raw.out(), odb.get(), treeId) != 0)
            return false;
        const ObjectId id = fromOid(treeId);
        Tree tree;
        if (git_tree_lookup(tree.out(), repo, treeId) != 0)
            return false;
        for (const TreeEntry &e : treeEntries(tree.get())) {
            const git_oid eid = toOid(e.id);
            if (pack.contains(e.id))
                continue;
            if (e.mode == "40000") {
                if (!copyTree(&eid))
                    return false;
                continue;
            }
            if (e.mode == "160000")
                continue; // a submodule's commit is not stored here
            Blob blob;
            if (git_blob_lookup(blob.out(), repo, &eid) != 0)
                return false;
            const QByteArray bytes(static_cast<const char *>(git_blob_rawcontent(blob.get())),
                                   qsizetype(git_blob_rawsize(blob.get())));
            auto it = chains.find(e.name);
            if (it != chains.end() && it->depth + 1 < HistoryPack::MaxDepth) {
                it->offset = pack.addDelta(e.id, it->offset, HistoryPack::makeDelta(it->bytes, bytes));
                it->depth += 1;
            } else {
                Chain c;
                c.offset = pack.addWhole(ObjectType::Blob, e.id, bytes);
                it = chains.insert(e.name, c);
            }
            it->bytes = bytes;
            it->blob = e.id;
        }
        if (!pack.contains(id))
            pack.addWhole(ObjectType::Tree, id,
                          QByteArrayView(static_cast<const char *>(git_odb_object_data(raw.get())),
                                         qsizetype(git_odb_object_size(raw.get()))));
        return true;
    };
    for (qsizetype i = kept - 1; i >= 0; --i) {
        const git_oid oid = toOid(line[i]);
        Commit c;
        if (git_commit_lookup(c.out(), repo, &oid) != 0 || !copyTree(git_commit_tree_id(c.get()))) {
            *error = gitError("reading a kept version");
            return false;
        }
        QByteArray header;
        for (const QByteArray &h : QByteArray(git_commit_raw_header(c.get())).split('\n')) {
            if (h.isEmpty() || h.startsWith("tree ") || h.startsWith("parent "))
                continue;
            header += h + '\n';
        }
        QByteArray content = "tree " + QByteArray(git_oid_tostr_s(git_commit_tree_id(c.get()))) + '\n';
        if (!parent.isEmpty())
            content += "parent " + parent.toHex() + '\n';
        content += header + '\n' + QByteArray(git_commit_message_raw(c.get()));
        const ObjectId id = HistoryPack::objectId(ObjectType::Commit, content);
        if (!pack.contains(id))
            pack.addWhole(ObjectType::Commit, id, content);
        parent = id;
    }
    const QString packFolder = QDir(m_path).filePath(QStringLiteral("objects/pack"));
    QString packPath;
    if (!pack.write(packFolder, &packPath, error))
        return false;
    // The journal follows the new pack; what it knew of the files on disk stays.
    Journal journal = Journal::read(m_path);
    journal.pack = QFileInfo(packPath).fileName();
    for (auto it = journal.files.begin(); it != journal.files.end(); ++it) {
        const auto c = chains.constFind(it.key().toUtf8());
        if (c != chains.constEnd() && c->blob == it->blob) {
            it->offset = qint64(c->offset);
            it->depth = c->depth;
        } else {
            it->offset = -1;
        }
    }
    if (!journal.write(m_path)) {
        *error = QStringLiteral("cannot write to %1").arg(display(m_path));
        return false;
    }
    git_odb_refresh(odb.get());
    const git_oid newHead = toOid(parent);
    Ref ref;
    if (git_reference_create_matching(ref.out(), repo, d->branch.toUtf8().constData(), &newHead, 1, &headOid,
                                      "quilmora: prune")
        != 0) {
        *error = gitError("moving the branch");
        return false;
    }
    // Everything else goes: the other packs and loose objects.
    const QDir objects(QDir(m_path).filePath(QStringLiteral("objects")));
    for (const QFileInfo &f : QDir(packFolder).entryInfoList(QDir::Files)) {
        if (f.completeBaseName() != QFileInfo(packPath).completeBaseName())
            QFile::remove(f.absoluteFilePath());
    }
    for (const QFileInfo &sub : objects.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (sub.fileName().size() == 2)
            QDir(sub.absoluteFilePath()).removeRecursively();
    }
    *dropped = int(line.size() - kept);
    return true;
}

} // namespace History
