#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

#include <cstdint>
#include <optional>

// SHA-256, as the configuration's digests are given (apply's guard and answer, the remote
// file's state). With the processor's SHA instructions where it has them (several times
// faster than a portable implementation: a large configuration is hashed on every load and
// every apply), else Qt's portable one.
class Sha256
{
public:
    enum class Mode { Fastest, Portable };
    explicit Sha256(Mode mode = Mode::Fastest);
    // Whether this processor has the SHA instructions (and Fastest uses them).
    static bool hasInstructions();
    void add(QByteArrayView data);
    // The 32-byte digest; the object is spent afterwards.
    QByteArray result();

    static QByteArray hash(QByteArrayView data);
    // The digest in lower-case hexadecimal.
    static QByteArray hex(QByteArrayView data) { return hash(data).toHex(); }

private:
    void blocks(const unsigned char *data, size_t count);

    uint32_t m_state[8];
    unsigned char m_buffer[64];
    size_t m_buffered = 0;
    uint64_t m_length = 0;
    std::optional<QCryptographicHash> m_portable; // without the instructions
};
