#include "config/HistoryPack.h"

#include "config/Sha1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace HistoryPack {

namespace {

void putU32(QByteArray &out, quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

quint32 getU32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

QByteArray sha1(QByteArrayView data)
{
    return Sha1::hash(data);
}

// zlib's stream of `data`. Small data is compressed well; a whole version of a large file
// quickly (it is written once every MaxDepth saves).
QByteArray deflated(QByteArrayView data)
{
    const int level = data.size() > (1 << 20) ? Z_BEST_SPEED : Z_DEFAULT_COMPRESSION;
    uLongf bound = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(bound), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &bound, reinterpret_cast<const Bytef *>(data.data()),
                  uLong(data.size()), level)
        != Z_OK)
        return {};
    out.truncate(qsizetype(bound));
    return out;
}

// The entry header: type and size of the (uncompressed) content, 7 bits a byte.
void putEntryHeader(QByteArray &out, int type, quint64 size)
{
    unsigned char c = static_cast<unsigned char>((type << 4) | (size & 15));
    size >>= 4;
    while (size) {
        out.append(char(c | 0x80));
        c = size & 0x7f;
        size >>= 7;
    }
    out.append(char(c));
}

void putDeltaSize(QByteArray &out, quint64 size)
{
    do {
        unsigned char c = size & 0x7f;
        size >>= 7;
        if (size)
            c |= 0x80;
        out.append(char(c));
    } while (size);
}

// A copy instruction of at most 0x10000 bytes (git's own delta writer's largest).
void putCopy(QByteArray &out, quint64 offset, quint64 length)
{
    while (length > 0) {
        const quint64 n = std::min<quint64>(length, 0x10000);
        unsigned char op = 0x80;
        char args[7];
        int k = 0;
        for (int i = 0; i < 4; ++i) {
            const unsigned char b = (offset >> (8 * i)) & 0xff;
            if (b) {
                op |= (1 << i);
                args[k++] = char(b);
            }
        }
        const quint64 size = n == 0x10000 ? 0 : n; // 0 stands for 0x10000
        for (int i = 0; i < 3; ++i) {
            const unsigned char b = (size >> (8 * i)) & 0xff;
            if (b) {
                op |= (0x10 << i);
                args[k++] = char(b);
            }
        }
        out.append(char(op));
        out.append(args, k);
        offset += n;
        length -= n;
    }
}

void putInsert(QByteArray &out, QByteArrayView data)
{
    while (!data.isEmpty()) {
        const qsizetype n = std::min<qsizetype>(data.size(), 127);
        out.append(char(n));
        out.append(data.first(n));
        data = data.sliced(n);
    }
}

bool readWhole(const QString &path, QByteArray *bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    *bytes = f.readAll();
    return f.error() == QFile::NoError;
}

// A file of the repository being written: a temporary file beside it, renamed in place by
// commit().
class TempFile
{
public:
    explicit TempFile(const QString &path)
        : m_target(QFile::encodeName(path)), m_temp(m_target + ".tmp-" + QByteArray::number(::getpid()))
    {
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_done)
            ::unlink(m_temp.constData());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    bool write(QByteArrayView bytes)
    {
        if (m_fd < 0)
            m_fd = ::open(m_temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0444);
        if (m_fd < 0)
            return false;
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (!(n < 0 && errno == EINTR))
                return false;
        }
        return true;
    }
    bool sync() { return ::fdatasync(m_fd) == 0; }
    bool commit()
    {
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        m_done = closed && ::rename(m_temp.constData(), m_target.constData()) == 0;
        return m_done;
    }

private:
    QByteArray m_target;
    QByteArray m_temp;
    int m_fd = -1;
    bool m_done = false;
};

// Writes a file of the repository through a temporary file renamed in place; `sync`: on disk
// before the rename.
bool writeReplacing(const QString &path, const QByteArray &bytes, bool sync)
{
    TempFile f(path);
    return f.write(bytes) && (!sync || f.sync()) && f.commit();
}

} // namespace

bool writeFile(const QString &path, const QByteArray &bytes, bool sync)
{
    return writeReplacing(path, bytes, sync);
}

ObjectId objectId(ObjectType type, QByteArrayView content)
{
    static const char *const names[] = {"", "commit", "tree", "blob"};
    Sha1 h;
    const QByteArray head = QByteArray(names[int(type)]) + ' ' + QByteArray::number(content.size()) + '\0';
    h.add(head);
    h.add(content);
    return h.result();
}

QByteArray toHex(const ObjectId &id)
{
    return id.toHex();
}

QByteArray makeDelta(QByteArrayView base, QByteArrayView target)
{
    const qsizetype limit = std::min(base.size(), target.size());
    qsizetype prefix = 0;
    // Whole words first, then bytes.
    while (prefix + 8 <= limit && std::memcmp(base.data() + prefix, target.data() + prefix, 8) == 0)
        prefix += 8;
    while (prefix < limit && base[prefix] == target[prefix])
        ++prefix;
    qsizetype suffix = 0;
    const qsizetype suffixLimit = limit - prefix;
    while (suffix + 8 <= suffixLimit
           && std::memcmp(base.data() + base.size() - suffix - 8, target.data() + target.size() - suffix - 8, 8) == 0)
        suffix += 8;
    while (suffix < suffixLimit && base[base.size() - suffix - 1] == target[target.size() - suffix - 1])
        ++suffix;

    QByteArray out;
    out.reserve(32 + (target.size() - prefix - suffix) * 130 / 127);
    putDeltaSize(out, quint64(base.size()));
    putDeltaSize(out, quint64(target.size()));
    putCopy(out, 0, quint64(prefix));
    putInsert(out, target.sliced(prefix, target.size() - prefix - suffix));
    putCopy(out, quint64(base.size() - suffix), quint64(suffix));
    return out;
}

bool Builder::startFrom(const QString &packPath, QString *error)
{
    QByteArray pack, index;
    const QString idxPath = packPath.chopped(5) + QStringLiteral(".idx");
    if (!readWhole(packPath, &pack) || !readWhole(idxPath, &index)) {
        *error = QStringLiteral("cannot read %1").arg(packPath);
        return false;
    }
    const auto bad = [&] {
        *error = QStringLiteral("%1 is damaged").arg(packPath);
        *this = Builder(); // nothing of it is kept: the new pack must not start from it
        return false;
    };
    if (pack.size() < 32 || !pack.startsWith("PACK") || getU32(pack.constData() + 4) != 2)
        return bad();
    if (index.size() < 8 + 1024 + 40 || !index.startsWith("\377tOc") || getU32(index.constData() + 4) != 2)
        return bad();
    const quint32 n = getU32(index.constData() + 8 + 255 * 4);
    if (n != getU32(pack.constData() + 8))
        return bad();
    const qsizetype names = 8 + 1024, crcs = names + qsizetype(n) * 20, offsets = crcs + qsizetype(n) * 4;
    const qsizetype large = offsets + qsizetype(n) * 4;
    if (index.size() < large + 40)
        return bad();
    // The index names the pack it describes by the pack's checksum (the pack's last 20
    // bytes): a pack cut short or replaced no longer ends with it. The entries copied from
    // it are checked once more by every reader (each entry's CRC and zlib stream).
    if (index.mid(index.size() - 40, 20) != pack.right(20) || sha1(QByteArrayView(index).first(index.size() - 20)) != index.right(20))
        return bad();
    pack.truncate(pack.size() - 20); // kept without a copy: the new entries follow it
    m_pack = std::move(pack);
    m_entries.clear();
    m_entries.reserve(n);
    for (quint32 i = 0; i < n; ++i) {
        Entry e;
        e.id = index.mid(names + qsizetype(i) * 20, 20);
        e.crc = getU32(index.constData() + crcs + qsizetype(i) * 4);
        quint32 off = getU32(index.constData() + offsets + qsizetype(i) * 4);
        if (off & 0x80000000u) {
            const qsizetype at = large + qsizetype(off & 0x7fffffffu) * 8;
            if (index.size() < at + 8 + 40)
                return bad();
            e.offset = (quint64(getU32(index.constData() + at)) << 32) | getU32(index.constData() + at + 4);
        } else {
            e.offset = off;
        }
        if (e.offset < 12 || e.offset >= quint64(m_pack.size()))
            return bad();
        m_entries.append(e);
    }
    m_offsets.clear();
    for (const Entry &e : m_entries)
        m_offsets.insert(e.id, e.offset);
    return true;
}

void Builder::addEntry(const ObjectId &id, quint64 offset)
{
    Entry e;
    e.id = id;
    e.offset = offset;
    e.crc = quint32(crc32(0L, reinterpret_cast<const Bytef *>(m_pack.constData() + offset),
                          uInt(quint64(m_pack.size()) - offset)));
    m_entries.append(e);
    m_offsets.insert(id, offset);
}

quint64 Builder::addWhole(ObjectType type, const ObjectId &id, QByteArrayView content)
{
    if (m_pack.isEmpty())
        m_pack = QByteArray("PACK\0\0\0\2\0\0\0\0", 12);
    const quint64 offset = quint64(m_pack.size());
    putEntryHeader(m_pack, int(type), quint64(content.size()));
    m_pack.append(deflated(content));
    addEntry(id, offset);
    return offset;
}

bool Builder::wholeEntry(quint64 offset, ObjectType *type, QByteArray *content) const
{
    if (offset >= quint64(m_pack.size()))
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(m_pack.constData());
    quint64 at = offset;
    unsigned char c = p[at++];
    const int t = (c >> 4) & 7;
    quint64 size = c & 15;
    int shift = 4;
    while (c & 0x80) {
        if (at >= quint64(m_pack.size()) || shift > 56)
            return false;
        c = p[at++];
        size |= quint64(c & 0x7f) << shift;
        shift += 7;
    }
    if (t < 1 || t > 3 || size > (quint64(1) << 30))
        return false;
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    uLongf outSize = uLongf(size);
    uLong inSize = uLong(quint64(m_pack.size()) - at);
    if (uncompress2(reinterpret_cast<Bytef *>(out.data()), &outSize, p + at, &inSize) != Z_OK || outSize != size)
        return false;
    *type = ObjectType(t);
    *content = std::move(out);
    return true;
}

quint64 Builder::addDelta(const ObjectId &id, quint64 baseOffset, QByteArrayView delta)
{
    const quint64 offset = quint64(m_pack.size());
    putEntryHeader(m_pack, 6 /* OFS_DELTA */, quint64(delta.size()));
    // The distance back to the base, in git's variable-length form.
    quint64 distance = offset - baseOffset;
    unsigned char buf[16];
    int pos = sizeof buf - 1;
    buf[pos] = distance & 0x7f;
    while (distance >>= 7)
        buf[--pos] = 0x80 | (--distance & 0x7f);
    m_pack.append(reinterpret_cast<const char *>(buf + pos), qsizetype(sizeof buf) - pos);
    m_pack.append(deflated(delta));
    addEntry(id, offset);
    return offset;
}

bool Builder::write(const QString &packFolder, QString *packPath, QString *error)
{
    const quint32 n = quint32(m_entries.size());
    m_pack[8] = char(n >> 24);
    m_pack[9] = char(n >> 16);
    m_pack[10] = char(n >> 8);
    m_pack[11] = char(n);
    const QByteArray checksum = sha1(m_pack);

    QList<const Entry *> sorted;
    sorted.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        sorted.append(&e);
    std::sort(sorted.begin(), sorted.end(), [](const Entry *a, const Entry *b) { return a->id < b->id; });
    QByteArray idx("\377tOc\0\0\0\2", 8);
    idx.reserve(8 + 1024 + qsizetype(n) * 28 + 40);
    quint32 counts[256] = {};
    for (const Entry *e : sorted)
        ++counts[static_cast<unsigned char>(e->id[0])];
    quint32 total = 0;
    for (int i = 0; i < 256; ++i) {
        total += counts[i];
        putU32(idx, total);
    }
    for (const Entry *e : sorted)
        idx.append(e->id);
    for (const Entry *e : sorted)
        putU32(idx, e->crc);
    QList<quint64> large;
    for (const Entry *e : sorted) {
        if (e->offset >= 0x80000000u) {
            putU32(idx, 0x80000000u | quint32(large.size()));
            large.append(e->offset);
        } else {
            putU32(idx, quint32(e->offset));
        }
    }
    for (quint64 off : large) {
        putU32(idx, quint32(off >> 32));
        putU32(idx, quint32(off));
    }
    idx.append(checksum);
    idx.append(sha1(idx));

    const QString base = QDir(packFolder).filePath(QStringLiteral("pack-") + QString::fromLatin1(checksum.toHex()));
    // Both on disk before either is in place (as git does for its packs), the index last: a
    // reader never finds an index without its pack. Written first and synced after, the
    // second sync finds the file system's journal mostly written already.
    TempFile packFile(base + QStringLiteral(".pack")), idxFile(base + QStringLiteral(".idx"));
    if (!packFile.write(m_pack) || !packFile.write(checksum) || !idxFile.write(idx) || !packFile.sync()
        || !idxFile.sync() || !packFile.commit() || !idxFile.commit()) {
        QFile::remove(base + QStringLiteral(".pack"));
        *error = QStringLiteral("cannot write to %1").arg(QDir::toNativeSeparators(packFolder));
        return false;
    }
    *packPath = base + QStringLiteral(".pack");
    return true;
}

} // namespace HistoryPack
