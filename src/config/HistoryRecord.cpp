// Recording a save in the history: the writer every save runs once the file is in place.
// It reads and writes history.git itself (the journal, the pack, the branch's reference);
// only a journal behind the repository sends it to the git module to read the last version.
#include "config/History.h"
#include "config/HistoryGit.h"
#include "config/HistoryPack.h"
#include "config/HistoryStore.h"
#include "config/HistoryRecord.h"
#include "config/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace History {

namespace {

using HistoryPack::ObjectType;
using Store::display;
using Store::FileStat;
using Store::Journal;
using Store::ObjectId;
using Store::RepoLock;
using Store::TreeEntry;

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

// The file a save replaced, mapped rather than read: its bytes are compared with the new
// ones (the delta, the summary) and hashed at most, never copied.
class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // A regular file only (never waits on a pipe put in its place); `stat` as when opened.
    bool open(const QString &path, FileStat *stat)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return false;
        struct stat st {};
        bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (ok) {
            stat->ok = true;
            stat->inode = quint64(st.st_ino);
            stat->size = qint64(st.st_size);
            stat->mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            stat->owner = st.st_uid;
            m_size = size_t(st.st_size);
            if (m_size > 0) {
                void *p = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
                ok = p != MAP_FAILED;
                m_data = ok ? static_cast<char *>(p) : nullptr;
            }
        }
        ::close(fd);
        return ok;
    }
    // The bytes, valid while this object lives.
    QByteArray bytes() const { return m_data ? QByteArray::fromRawData(m_data, qsizetype(m_size)) : QByteArray(); }

private:
    char *m_data = nullptr;
    size_t m_size = 0;
};

// The version a save has just written: the bytes it gave, or the file it wrote, mapped on
// first use and taken only while it is still the file the save wrote.
class NewVersion
{
public:
    NewVersion(const SavedVersion &saved, const QString &file) : m_saved(saved), m_file(file) {}

    bool bytes(QByteArray *out, QString *error)
    {
        if (!m_saved.bytes.isEmpty() || m_saved.size == 0) {
            *out = m_saved.bytes;
            return true;
        }
        if (!m_mapped) {
            FileStat st;
            if (!m_map.open(m_file, &st)) {
                *error = QStringLiteral("cannot read %1").arg(display(m_file));
                return false;
            }
            if (st.inode != m_saved.written.inode || st.size != m_saved.size
                || st.mtimeNs != m_saved.written.modifiedNs) {
                *error = QStringLiteral("%1 was replaced before its version could be kept").arg(display(m_file));
                return false;
            }
            m_mapped = true;
        }
        *out = m_map.bytes();
        return true;
    }

private:
    const SavedVersion &m_saved;
    QString m_file;
    MappedFile m_map;
    bool m_mapped = false;
};

struct Pending
{
    QByteArray bytes;
    QByteArray message;
    QString author; // operating-system user
    QString login;  // remote login, if any
    QDateTime when;
};

class Writer
{
public:
    Writer(const QString &repoDir, const QString &fileName) : m_dir(repoDir), m_name(fileName) {}

    bool run(const QString &path, const SavedVersion &saved, QString *error);

private:
    bool prepareRepository(RepoLock &lock, QString *error);
    bool git(QString *error);
    bool journalTreeIsHeads(const ObjectId &head) const;
    void addVersion(const Pending &p, const ObjectId &blobId, bool baseIsPrevious, const QByteArray &baseBytes);

    QString m_dir;
    QString m_name;
    std::unique_ptr<GitBackend> m_git; // only when the journal does not know the last version
    Journal m_journal;
    HistoryPack::Builder m_pack;
    bool m_startedFromOld = false;
    QString m_oldPack;
    QList<TreeEntry> m_tree;
    ObjectId m_head;
};

// The repository under its lock; the first save makes it (the folder first, so that two
// first saves at once make it once).
bool Writer::prepareRepository(RepoLock &lock, QString *error)
{
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
    if (QDir(m_dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        return Store::initRepository(m_dir, error);
    if (!Store::looksLikeRepository(m_dir)) {
        *error = QStringLiteral("%1 is not a git repository").arg(display(m_dir));
        return false;
    }
    return true;
}

// Whether the journal's tree is the one the commit `head` (whole in the journal's pack, as
// every save writes its commit) names: a journal that does not match is not trusted.
bool Writer::journalTreeIsHeads(const ObjectId &head) const
{
    const qint64 offset = m_pack.offsetOf(head);
    ObjectType type;
    QByteArray commit;
    if (offset < 0 || !m_pack.wholeEntry(quint64(offset), &type, &commit) || type != ObjectType::Commit
        || HistoryPack::objectId(ObjectType::Commit, commit) != head)
        return false;
    return commit.startsWith("tree " + HistoryPack::objectId(ObjectType::Tree, m_journal.tree).toHex() + '\n');
}

// The git module, opened on the repository.
bool Writer::git(QString *error)
{
    if (m_git)
        return true;
    std::unique_ptr<GitBackend> backend = loadGitBackend(error);
    if (!backend || !backend->open(m_dir, m_name, error))
        return false;
    m_git = std::move(backend);
    return true;
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
    const QByteArray name = m_name.toUtf8();
    for (TreeEntry &e : m_tree) {
        if (e.name == name) {
            e.id = blobId;
            e.mode = "100644";
            replaced = true;
        }
    }
    if (!replaced)
        m_tree.append({name, "100644", blobId});
    const QByteArray tree = Store::treeContent(m_tree);
    const ObjectId treeId = HistoryPack::objectId(ObjectType::Tree, tree);
    if (!m_pack.contains(treeId))
        m_pack.addWhole(ObjectType::Tree, treeId, tree);
    const QByteArray sig = signature(p.author, p.login, p.when);
    const QByteArray commit = commitContent(treeId, m_head, sig, sig, p.message);
    const ObjectId commitId = HistoryPack::objectId(ObjectType::Commit, commit);
    if (!m_pack.contains(commitId))
        m_pack.addWhole(ObjectType::Commit, commitId, commit);
    m_head = commitId;
    m_journal.tree = tree;
}

bool Writer::run(const QString &path, const SavedVersion &saved, QString *error)
{
    RepoLock lock;
    if (!prepareRepository(lock, error))
        return false;
    QString branch;
    ObjectId head;
    if (!Store::headReference(m_dir, &branch, error) || !Store::readReference(m_dir, branch, &head, error))
        return false;
    const ObjectId startHead = head;
    m_head = head;

    // The last version's tree: from the journal when it tells of the commit the branch
    // points at and its pack holds that commit, else read from the repository.
    m_journal = Journal::read(m_dir);
    const QString packFolder = QDir(m_dir).filePath(QStringLiteral("objects/pack"));
    const QString journalPack = m_journal.pack.isEmpty() ? QString() : QDir(packFolder).filePath(m_journal.pack);
    QString ignored;
    if (!journalPack.isEmpty() && QFileInfo::exists(journalPack) && m_pack.startFrom(journalPack, &ignored)) {
        m_startedFromOld = true;
        m_oldPack = journalPack;
    }
    bool known = head.isEmpty();
    if (!known && m_journal.head == head && m_startedFromOld)
        known = journalTreeIsHeads(head) && Store::parseTree(m_journal.tree, &m_tree);
    if (!known && (!git(error) || !m_git->treeOf(head, &m_tree, error)))
        return false;
    ObjectId previousBlob;
    for (const TreeEntry &e : std::as_const(m_tree)) {
        if (e.name == m_name.toUtf8())
            previousBlob = e.id;
    }

    Journal::FileState &state = m_journal.files[m_name];
    if (state.blob != previousBlob) // the journal lags behind the branch: trust the branch
        state = Journal::FileState{previousBlob, -1, 0, 0, -1, 0};
    // The pack the new entries join: the journal's, unless its chain is full.
    if (m_startedFromOld && state.depth + 1 >= HistoryPack::MaxDepth) {
        m_pack = HistoryPack::Builder();
        m_startedFromOld = false;
    }
    if (!m_startedFromOld) {
        for (auto &s : m_journal.files)
            s.offset = -1;
    }

    // The new version: its bytes as the save gave them, or from the file it wrote, read only
    // when a delta, a whole copy or the summary needs them.
    const QString replaced = SafeFile::replacedFile(path);
    NewVersion fresh(saved, replaced);

    // The file this save replaced: the new bytes themselves when the save found exactly
    // those in it and its backup is still that file; else its backup, mapped.
    MappedFile backup;
    FileStat oldStat;
    bool haveOld = false;
    bool oldIsNew = false;
    if (saved.backupKept && saved.replacedSame && saved.replaced.known) {
        const FileStat bak = Store::statOf(SafeFile::backupPath(path));
        if (bak.ok && bak.inode == saved.replaced.inode && bak.size == saved.replaced.size
            && bak.mtimeNs == saved.replaced.modifiedNs && bak.size == saved.size) {
            haveOld = oldIsNew = true;
            oldStat = bak;
        }
    }
    if (!haveOld)
        haveOld = saved.backupKept && backup.open(SafeFile::backupPath(path), &oldStat);
    QByteArray mappedOld = haveOld && !oldIsNew ? backup.bytes() : QByteArray();
    // The replaced file is the last version when it is the file the journal saw that
    // version saved as (same inode, size and time).
    const bool oldIsJournals = haveOld && !previousBlob.isEmpty() && state.inode == oldStat.inode
                               && state.size == oldStat.size && state.mtimeNs == oldStat.mtimeNs;
    // The new version's blob id: the last version's when the new bytes are the replaced
    // file's and that file is the last version; else hashed.
    ObjectId blobId;
    if (oldIsNew && oldIsJournals) {
        blobId = previousBlob;
    } else {
        QByteArray b;
        if (!fresh.bytes(&b, error))
            return false;
        blobId = HistoryPack::objectId(ObjectType::Blob, b);
    }
    const auto oldBytes = [&](QByteArray *out, QString *why) {
        if (!oldIsNew) {
            *out = mappedOld;
            return true;
        }
        return fresh.bytes(out, why);
    };
    const auto oldBlobId = [&] {
        return oldIsNew ? blobId : HistoryPack::objectId(ObjectType::Blob, mappedOld);
    };
    bool oldIsPrevious = false;
    if (haveOld && !previousBlob.isEmpty()) {
        oldIsPrevious = oldIsJournals || oldBlobId() == previousBlob;
    }

    const QDateTime now = QDateTime::currentDateTime();
    const QString user = userName(::geteuid());
    const QString prog = program().isEmpty() ? QCoreApplication::applicationName() : program();
    const QByteArray trailer = "\n\n" + Store::fileLine(m_name).toUtf8() + '\n';

    if (haveOld && (previousBlob.isEmpty() || !oldIsPrevious)) {
        // The first save of this file with a history: what it replaced comes first. Or
        // another program changed the file since the last recorded save: that version too.
        QByteArray old;
        if (!oldBytes(&old, error))
            return false;
        QDateTime mtime = QDateTime::fromMSecsSinceEpoch(oldStat.mtimeNs / 1000000);
        const QByteArray message =
            previousBlob.isEmpty()
                ? (prog + QStringLiteral(": the file as it was before the first recorded save")).toUtf8() + trailer
                : QStringLiteral("changed by another program since the last recorded save").toUtf8() + trailer;
        addVersion({old, message, userName(oldStat.owner), QString(), mtime}, oldBlobId(), false, {});
        oldIsPrevious = true;
    }

    QString summary;
    if (oldIsNew) {
        summary = summarize(QByteArray(), QByteArray()); // the same bytes: "no change"
    } else {
        QByteArray before = mappedOld;
        if (!haveOld && !previousBlob.isEmpty()) {
            // No backup to read: the last version, from the history itself, for the summary.
            QString unread;
            if (!git(&unread) || !m_git->blob(previousBlob, &before, &unread))
                before.clear();
        }
        QByteArray b;
        if (!fresh.bytes(&b, error))
            return false;
        summary = summarize(before, b);
    }
    const QByteArray message = (prog + QStringLiteral(": ") + summary).toUtf8() + trailer;
    const QByteArray sig = signature(user, login(), now);
    // The bytes are needed only for an entry the pack does not hold yet.
    QByteArray newBytes, base;
    if (m_pack.offsetOf(blobId) < 0) {
        if (!fresh.bytes(&newBytes, error) || (haveOld && !oldBytes(&base, error)))
            return false;
    }
    addVersion({newBytes, message, user, login(), now}, blobId, haveOld && oldIsPrevious, base);

    QString packPath;
    if (!m_pack.write(packFolder, &packPath, error))
        return false;
    m_journal.pack = QFileInfo(packPath).fileName();
    const FileStat now_ = Store::statOf(replaced);
    Journal::FileState &after = m_journal.files[m_name];
    after.inode = now_.inode;
    after.size = now_.ok ? now_.size : -1;
    after.mtimeNs = now_.mtimeNs;
    m_journal.head = m_head;
    if (!m_journal.write(m_dir)) {
        *error = QStringLiteral("cannot write to %1").arg(display(m_dir));
        return false;
    }

    // The branch moves only from the commit this save started from.
    if (!Store::updateReference(m_dir, branch, m_head, startHead, sig + "\tquilmora: save", error))
        return false;
    if (m_startedFromOld && m_oldPack != packPath) {
        // Every entry of the old pack is in the new one.
        QFile::remove(m_oldPack.chopped(5) + QStringLiteral(".idx"));
        QFile::remove(m_oldPack);
    }
    return true;
}

} // namespace

bool recordSave(const QString &path, const SavedVersion &version, QString *error)
{
    const QFileInfo info(path);
    Writer writer(repositoryPath(info.absolutePath()), info.fileName());
    return writer.run(path, version, error);
}

} // namespace History
