#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// Writes git pack files (format 2, with their index, format 2) for the history of saves.
//
// A save changes a few bytes of a file of megabytes. Handing its new version to git as a
// loose object would compress the whole file on every save, which costs several times the
// save itself. The history instead keeps a "journal" pack: each save appends the new
// version as a delta against the previous version of the same file (found by comparing
// the two versions' common beginning and end, which is what a one-key edit leaves), plus
// the tree and the commit, and the pack is rewritten with them (the entries already there
// are copied as they are). Every `MaxDepth` versions a file's chain starts again from a
// whole copy, so reading any version applies at most that many deltas, and the journal
// then starts a new pack (the old one stays, complete on its own).
//
// Everything written is a plain pack that git and libgit2 read: `git fsck` checks it.
namespace HistoryPack {

// git's own default depth of delta chains.
constexpr int MaxDepth = 50;

enum class ObjectType { Commit = 1, Tree = 2, Blob = 3 };

// A git object id, 20 bytes.
using ObjectId = QByteArray;

// The id git gives an object: SHA-1 of "<type> <size>\0" and the content.
ObjectId objectId(ObjectType type, QByteArrayView content);
QByteArray toHex(const ObjectId &id);

// Writes a file of the repository: a temporary file renamed in place, on disk before the
// rename when `sync`.
bool writeFile(const QString &path, const QByteArray &bytes, bool sync);

// The instructions that make `target` from `base`: a copy of their common beginning, the
// differing middle inserted, a copy of their common end.
QByteArray makeDelta(QByteArrayView base, QByteArrayView target);

// One pack being built: optionally the entries of an existing pack, then new entries.
class Builder
{
public:
    struct Entry
    {
        ObjectId id;
        quint32 crc = 0;
        quint64 offset = 0;
    };

    // Starts from the pack `packPath` (with its ".idx" beside it): its entries are kept.
    bool startFrom(const QString &packPath, QString *error);

    // Adds a whole object; gives its offset in the pack.
    quint64 addWhole(ObjectType type, const ObjectId &id, QByteArrayView content);
    // Adds a blob as a delta against the entry at `baseOffset` of this pack.
    quint64 addDelta(const ObjectId &id, quint64 baseOffset, QByteArrayView delta);

    bool contains(const ObjectId &id) const { return m_offsets.contains(id); }
    // Where an object stands in this pack; -1 when it is not in it.
    qint64 offsetOf(const ObjectId &id) const { return qint64(m_offsets.value(id, quint64(-1))); }
    // The content of a whole (not deltified) entry of this pack; false for a delta or a
    // damaged entry.
    bool wholeEntry(quint64 offset, ObjectType *type, QByteArray *content) const;
    qsizetype size() const { return m_pack.size(); }
    int count() const { return int(m_entries.size()); }

    // Writes "pack-<checksum>.pack" and ".idx" into `packFolder` (index last, each through
    // a temporary file renamed in place); gives the pack's path.
    bool write(const QString &packFolder, QString *packPath, QString *error);

private:
    void addEntry(const ObjectId &id, quint64 offset);

    QByteArray m_pack; // header (count filled in by write()) and entries
    QList<Entry> m_entries;
    QHash<ObjectId, quint64> m_offsets;
};

} // namespace HistoryPack
