#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <vector>

// Byte arrays that share large blocks instead of owning a heap block each.
//
// A loaded configuration holds tens of thousands of short values. Each one a heap block
// of its own made loading and freeing cost more than parsing; here a value is a
// QByteArray that views a few bytes of a block it shares (the file's bytes, or a block of
// an arena), reference-counted like any copy of that block. It behaves as any QByteArray:
// its bytes are followed by a NUL, and changing it first copies its own bytes alone
// (Qt's copy-on-write), never touching its neighbours. A block lives as long as one
// value that views it.
namespace SharedBytes {

// The `size` bytes at `data`, which lie inside `block`'s bytes and are followed there by a
// NUL, as a byte array sharing `block`. No bytes give an empty (not null) array that
// shares nothing.
QByteArray slice(const QByteArray &block, const char *data, qsizetype size);

} // namespace SharedBytes

// Storage for many short byte arrays, taken from blocks of 64 KB (a larger array gets a
// block of its own). Arrays handed out stay valid after the arena is gone.
class ByteArena
{
public:
    // Room for `size` bytes: write them at the pointer, then call commit() with the
    // number written (at most `size`), before the next call of reserve().
    char *reserve(qsizetype size);
    QByteArray commit(qsizetype written);

    QByteArray copy(QByteArrayView bytes);

private:
    QByteArray m_block;
    char *m_base = nullptr;
    qsizetype m_used = 0;
    char *m_pending = nullptr;
};

// Names stored once however often they are given: a name admitted to a thousand groups
// is one array that every list shares. Lookups by the name's bytes, no allocation for a
// name seen before.
class NamePool
{
public:
    explicit NamePool(ByteArena &arena) : m_arena(arena) {}

    QByteArray intern(QByteArrayView name);

private:
    struct Slot
    {
        quint64 hash = 0;
        QByteArray name; // null: a free slot
    };
    void grow();

    ByteArena &m_arena;
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};
