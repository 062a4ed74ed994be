#include "config/NameFolding.h"

#include "config/TextCodec.h"

#include <QVarLengthArray>

namespace {

bool printableAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c >= 0x7f)
            return false;
    }
    return true;
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// A plain name's folded bytes, in a buffer on the stack for the usual short name.
QVarLengthArray<char, 128> lowered(const ItemName &n)
{
    QVarLengthArray<char, 128> out;
    for (const char c : n.first)
        out.append(lowerAscii(c));
    if (n.joined) {
        out.append('/');
        for (const char c : n.second)
            out.append(lowerAscii(c));
    }
    return out;
}

} // namespace

QByteArray ItemName::bytes() const
{
    if (!joined)
        return first.toByteArray();
    QByteArray out;
    out.reserve(size());
    out.append(first).append('/').append(second);
    return out;
}

NameFolding::NameFolding(const TextCodec &codec) : m_codec(codec), m_keepsAscii(codec.keepsAscii()) {}

bool NameFolding::isPlain(const ItemName &n) const
{
    return m_keepsAscii && printableAscii(n.first) && (!n.joined || printableAscii(n.second));
}

QString NameFolding::folded(const ItemName &n) const
{
    if (isPlain(n)) {
        const QVarLengthArray<char, 128> bytes = lowered(n);
        return QString::fromLatin1(bytes.constData(), bytes.size());
    }
    return m_codec.decode(n.joined ? QByteArrayView(n.bytes()) : n.first).toCaseFolded();
}

quint64 NameFolding::hash(const ItemName &n) const
{
    quint64 h = 14695981039346656037ull; // FNV-1a over the folded UTF-16 units
    auto unit = [&h](char16_t u) {
        h ^= u;
        h *= 1099511628211ull;
    };
    if (isPlain(n)) {
        for (const char c : lowered(n))
            unit(char16_t(static_cast<unsigned char>(c)));
    } else {
        for (const QChar c : folded(n))
            unit(c.unicode());
    }
    return h;
}

bool NameFolding::same(const ItemName &a, const ItemName &b) const
{
    if (isPlain(a) && isPlain(b))
        return a.size() == b.size() && lowered(a) == lowered(b);
    return folded(a) == folded(b);
}
