#include "config/HistoryGit.h"

#include "config/HistoryPack.h"
#include "config/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>

#include <functional>
#include <git2.h>
#include <mutex>

// The history's reader, built as the module history-git.so: the one part of the programs
// that uses libgit2.
namespace History {

namespace {

using HistoryPack::ObjectType;
using Store::display;
using Store::fileLine;
using Store::Journal;
using Store::ObjectId;
using Store::RepoLock;
using Store::TreeEntry;

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


class LibGit2Backend final : public GitBackend
{
public:
    bool open(const QString &dir, const QString &fileName, QString *error) override;
    bool versions(QList<Version> *out, int limit, QString *error) const override;
    bool resolve(const QString &revision, Version *version, QString *error) const override;
    bool fileAt(const QByteArray &revision, QByteArray *bytes, QString *error) const override;
    bool previous(const QByteArray &revision, QByteArray *parent, QString *error) const override;
    bool prune(int keep, const QDateTime &before, int *dropped, QString *error) override;
    bool treeOf(const ObjectId &commit, QList<TreeEntry> *entries, QString *error) const override;
    bool blob(const ObjectId &id, QByteArray *bytes, QString *error) const override;

private:
    Repo m_repo;
    QString m_branch;
    QString m_path;
    QString m_fileName;
};

bool LibGit2Backend::open(const QString &dir, const QString &fileName, QString *error)
{
    m_path = dir;
    m_fileName = fileName;
    if (!openRepository(m_path, m_repo, error))
        return false;
    m_branch = headBranch(m_repo.get());
    ObjectId head;
    if (!headCommit(m_repo.get(), m_branch, &head, error)) {
        *error = QStringLiteral("%1: %2").arg(display(m_path), *error);
        return false;
    }
    return true;
}

bool LibGit2Backend::treeOf(const ObjectId &commitId, QList<TreeEntry> *entries, QString *error) const
{
    const git_oid oid = toOid(commitId);
    Commit commit;
    Tree tree;
    if (git_commit_lookup(commit.out(), m_repo.get(), &oid) != 0 || git_commit_tree(tree.out(), commit.get()) != 0) {
        *error = gitError("reading the last version");
        return false;
    }
    *entries = treeEntries(tree.get());
    return true;
}

bool LibGit2Backend::blob(const ObjectId &id, QByteArray *bytes, QString *error) const
{
    const git_oid oid = toOid(id);
    Blob b;
    if (git_blob_lookup(b.out(), m_repo.get(), &oid) != 0) {
        *error = gitError("reading the last version");
        return false;
    }
    *bytes = QByteArray(static_cast<const char *>(git_blob_rawcontent(b.get())), qsizetype(git_blob_rawsize(b.get())));
    return true;
}

bool LibGit2Backend::versions(QList<Version> *out, int limit, QString *error) const
{
    out->clear();
    git_repository *repo = m_repo.get();
    ObjectId head;
    if (!headCommit(repo, m_branch, &head, error))
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

bool LibGit2Backend::resolve(const QString &revision, Version *version, QString *error) const
{
    GitPtr<git_object, git_object_free> obj;
    if (git_revparse_single(obj.out(), m_repo.get(), revision.toUtf8().constData()) != 0) {
        *error = QStringLiteral("No version %1 in %2").arg(revision, display(m_path));
        return false;
    }
    Commit c;
    if (git_commit_lookup(c.out(), m_repo.get(), git_object_id(obj.get())) != 0) {
        *error = QStringLiteral("%1 is not a version").arg(revision);
        return false;
    }
    *version = versionOf(c.get());
    return true;
}

bool LibGit2Backend::fileAt(const QByteArray &revision, QByteArray *bytes, QString *error) const
{
    git_oid oid;
    Commit c;
    Tree tree;
    if (git_oid_fromstr(&oid, revision.constData()) != 0 || git_commit_lookup(c.out(), m_repo.get(), &oid) != 0
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
    if (git_blob_lookup(blob.out(), m_repo.get(), git_tree_entry_id(e)) != 0) {
        *error = gitError("reading the version");
        return false;
    }
    *bytes = QByteArray(static_cast<const char *>(git_blob_rawcontent(blob.get())),
                        qsizetype(git_blob_rawsize(blob.get())));
    return true;
}

bool LibGit2Backend::previous(const QByteArray &revision, QByteArray *parent, QString *error) const
{
    parent->clear();
    git_oid oid;
    Commit c;
    if (git_oid_fromstr(&oid, revision.constData()) != 0 || git_commit_lookup(c.out(), m_repo.get(), &oid) != 0) {
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

bool LibGit2Backend::prune(int keep, const QDateTime &before, int *dropped, QString *error)
{
    *dropped = 0;
    git_repository *repo = m_repo.get();
    RepoLock lock;
    if (!lock.acquire(m_path, error))
        return false;
    ObjectId head;
    if (!headCommit(repo, m_branch, &head, error))
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
    // The next save reads the new last version's tree from the repository.
    journal.head.clear();
    journal.tree.clear();
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
    if (git_reference_create_matching(ref.out(), repo, m_branch.toUtf8().constData(), &newHead, 1, &headOid,
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

} // namespace

} // namespace History

extern "C" __attribute__((visibility("default"))) History::GitBackend *quilmora_history_git_create(int version)
{
    if (version != History::GitBackendVersion)
        return nullptr;
    return new History::LibGit2Backend;
}
