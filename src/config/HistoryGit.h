#pragma once

#include "config/History.h"
#include "config/HistoryStore.h"

#include <memory>

// What the history reads through libgit2, in a module of its own (history-git.so in the
// program's private library folder) that only the programs' reading of the history loads:
// listing, showing, restoring and pruning versions, and a save that finds the journal
// behind the repository (another program committed, a journal from an older version).
// The save itself needs no libgit2, so a command that does not read the history never
// loads it.
namespace History {

class GitBackend
{
public:
    virtual ~GitBackend() = default;

    // As Repository's functions of the same names.
    virtual bool open(const QString &dir, const QString &fileName, QString *error) = 0;
    virtual bool versions(QList<Version> *out, int limit, QString *error) const = 0;
    virtual bool resolve(const QString &revision, Version *version, QString *error) const = 0;
    virtual bool fileAt(const QByteArray &revision, QByteArray *bytes, QString *error) const = 0;
    virtual bool previous(const QByteArray &revision, QByteArray *parent, QString *error) const = 0;
    virtual bool prune(int keep, const QDateTime &before, int *dropped, QString *error) = 0;

    // For a save: the entries of a commit's tree, and a blob's bytes.
    virtual bool treeOf(const Store::ObjectId &commit, QList<Store::TreeEntry> *entries, QString *error) const = 0;
    virtual bool blob(const Store::ObjectId &id, QByteArray *bytes, QString *error) const = 0;
};

// The module's one entry point, and the version of this interface it is built for.
constexpr int GitBackendVersion = 1;
constexpr char GitModuleName[] = "history-git";
constexpr char GitFactoryName[] = "quilmora_history_git_create";
using GitFactory = GitBackend *(*)(int version);

// A new reader from the module, loaded on first use; null with the cause when the module
// cannot be loaded.
std::unique_ptr<GitBackend> loadGitBackend(QString *error);

} // namespace History
