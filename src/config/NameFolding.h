#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class TextCodec;

// Item names as the check and diff compare them: letter case aside, that is decoded in
// the configuration's character set and case-folded. Printable ASCII in a character set
// that keeps it is folded byte by byte (the same text, without the decoder and its
// copies), so that comparing and hashing the names of a large configuration makes no
// heap block for nearly all of them.

// An item's name: a user's or group's Name, or an account's caption "UserID/Host" given
// as its two parts and built into one array only where that is needed.
struct ItemName
{
    QByteArrayView first;
    QByteArrayView second; // after a "/", for an account
    bool joined = false;

    static ItemName of(QByteArrayView name) { return ItemName{name, {}, false}; }
    static ItemName account(QByteArrayView userId, QByteArrayView host) { return ItemName{userId, host, true}; }

    qsizetype size() const { return first.size() + (joined ? 1 + second.size() : 0); }
    QByteArray bytes() const;
};

class NameFolding
{
public:
    explicit NameFolding(const TextCodec &codec);

    // The name decoded and case-folded.
    QString folded(const ItemName &name) const;
    // A hash of folded(name)'s UTF-16 units, whichever way it is folded.
    quint64 hash(const ItemName &name) const;
    // Whether folded(a) == folded(b).
    bool same(const ItemName &a, const ItemName &b) const;

private:
    bool isPlain(const ItemName &name) const;

    const TextCodec &m_codec;
    const bool m_keepsAscii;
};
