#include "config/ByteArena.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr qsizetype kBlockSize = 64 * 1024;

// Eight bytes at a time: names are short, and this is run for every name of every list.
quint64 hashOf(QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype n = bytes.size();
    quint64 h = 0x9E3779B97F4A7C15ull ^ quint64(n);
    auto mix = [&h](quint64 word) {
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    };
    for (; n >= 8; p += 8, n -= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        mix(word);
    }
    if (n > 0) {
        quint64 word = 0;
        std::memcpy(&word, p, size_t(n));
        mix(word);
    }
    return h ^ (h >> 29);
}

} // namespace

namespace SharedBytes {

QByteArray slice(const QByteArray &block, const char *data, qsizetype size)
{
    if (size == 0)
        return QByteArray("", 0);
    // Taking the pointer does not detach: data_ptr() is non-const only because it hands
    // out a reference. The copy below counts as one more holder of the block.
    QByteArray::DataPointer shared = const_cast<QByteArray &>(block).data_ptr();
    Q_ASSERT(shared.isMutable());
    Q_ASSERT(data >= block.constData() && data + size <= block.constData() + block.size());
    Q_ASSERT(data[size] == '\0');
    shared.ptr = const_cast<char *>(data);
    shared.size = size;
    return QByteArray(std::move(shared));
}

} // namespace SharedBytes

char *ByteArena::reserve(qsizetype size)
{
    const qsizetype need = size + 1; // the NUL after the bytes
    if (m_block.isNull() || m_block.size() - m_used < need) {
        m_block = QByteArray(std::max(need, kBlockSize), Qt::Uninitialized);
        // Taken while the arena is the block's only holder: later writes go through this
        // pointer into bytes no array views yet, and never make Qt copy the block.
        m_base = m_block.data();
        m_used = 0;
    }
    m_pending = m_base + m_used;
    return m_pending;
}

QByteArray ByteArena::commit(qsizetype written)
{
    Q_ASSERT(m_pending);
    m_pending[written] = '\0';
    const QByteArray out = SharedBytes::slice(m_block, m_pending, written);
    if (written > 0)
        m_used += written + 1;
    m_pending = nullptr;
    return out;
}

QByteArray ByteArena::copy(QByteArrayView bytes)
{
    char *p = reserve(bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(p, bytes.data(), size_t(bytes.size()));
    return commit(bytes.size());
}

QByteArray NamePool::intern(QByteArrayView name)
{
    if (name.isEmpty())
        return QByteArray("", 0);
    if (2 * (m_count + 1) > m_slots.size())
        grow();
    const quint64 h = hashOf(name);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot.name.isNull()) {
            slot.hash = h;
            slot.name = m_arena.copy(name);
            ++m_count;
            return slot.name;
        }
        if (slot.hash == h && slot.name.size() == name.size()
            && std::memcmp(slot.name.constData(), name.data(), size_t(name.size())) == 0)
            return slot.name;
    }
}

void NamePool::grow()
{
    std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(std::max<size_t>(64, m_slots.size() * 2)));
    const size_t mask = m_slots.size() - 1;
    for (Slot &slot : old) {
        if (slot.name.isNull())
            continue;
        size_t i = size_t(slot.hash) & mask;
        while (!m_slots[i].name.isNull())
            i = (i + 1) & mask;
        m_slots[i] = std::move(slot);
    }
}
