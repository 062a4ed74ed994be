#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

#include <cstdint>
#include <optional>

// SHA-1, as git names its objects. With the processor's SHA instructions where it has them
// (several times faster than a portable implementation: every save with history hashes the
// whole file), else Qt's portable one; no library to load for it.
class Sha1
{
public:
    enum class Mode { Fastest, Portable };
    explicit Sha1(Mode mode = Mode::Fastest);
    // Whether this processor has the SHA instructions (and Fastest uses them).
    static bool hasInstructions();
    void add(QByteArrayView data);
    // The 20-byte digest; the object is spent afterwards.
    QByteArray result();

    static QByteArray hash(QByteArrayView data);

private:
    void blocks(const unsigned char *data, size_t count);

    uint32_t m_state[5];
    unsigned char m_buffer[64];
    size_t m_buffered = 0;
    uint64_t m_length = 0;
    std::optional<QCryptographicHash> m_portable; // without the instructions
};
