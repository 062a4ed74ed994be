#include "config/Sha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QUILMORA_SHA256_X86 1
#endif

namespace {

#ifdef QUILMORA_SHA256_X86

bool haveShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & (1u << 29)))
        return false;
    // SSSE3 and SSE4.1 for the byte shuffles, the alignment and the blends.
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    return (c & (1u << 9)) && (c & (1u << 19));
}

alignas(16) const uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The instructions keep the state as ABEF and CDGH; each group is four rounds with the
// message words of `w[g & 3]`, and schedules the words of the groups ahead.
__attribute__((target("sha,ssse3,sse4.1"))) void shaniBlocks(uint32_t state[8], const unsigned char *data,
                                                              size_t count)
{
    const __m128i mask = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state)), 0xb1); // CDAB
    __m128i cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4)), 0x1b); // EFGH
    __m128i abef = _mm_alignr_epi8(tmp, cdgh, 8);
    cdgh = _mm_blend_epi16(cdgh, tmp, 0xf0);
    for (; count > 0; --count, data += 64) {
        const __m128i abefSave = abef;
        const __m128i cdghSave = cdgh;
        __m128i w[4];
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            if (g < 4)
                w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * g)), mask);
            __m128i msg = _mm_add_epi32(w[g & 3], _mm_load_si128(reinterpret_cast<const __m128i *>(roundConstants + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, msg);
            if (g >= 3 && g <= 14) {
                const __m128i t = _mm_alignr_epi8(w[g & 3], w[(g - 1) & 3], 4);
                w[(g + 1) & 3] = _mm_sha256msg2_epu32(_mm_add_epi32(w[(g + 1) & 3], t), w[g & 3]);
            }
            msg = _mm_shuffle_epi32(msg, 0x0e);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, msg);
            if (g >= 1 && g <= 12)
                w[(g - 1) & 3] = _mm_sha256msg1_epu32(w[(g - 1) & 3], w[g & 3]);
        }
        abef = _mm_add_epi32(abef, abefSave);
        cdgh = _mm_add_epi32(cdgh, cdghSave);
    }
    tmp = _mm_shuffle_epi32(abef, 0x1b); // FEBA
    cdgh = _mm_shuffle_epi32(cdgh, 0xb1); // DCHG
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_blend_epi16(tmp, cdgh, 0xf0)); // DCBA
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), _mm_alignr_epi8(cdgh, tmp, 8)); // HGFE
}

#endif

} // namespace

bool Sha256::hasInstructions()
{
#ifdef QUILMORA_SHA256_X86
    static const bool have = haveShaInstructions();
    return have;
#else
    return false;
#endif
}

Sha256::Sha256(Mode mode)
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19}
{
    if (mode == Mode::Portable || !hasInstructions())
        m_portable.emplace(QCryptographicHash::Sha256);
}

void Sha256::blocks(const unsigned char *data, size_t count)
{
#ifdef QUILMORA_SHA256_X86
    shaniBlocks(m_state, data, count);
#else
    Q_UNUSED(data);
    Q_UNUSED(count);
#endif
}

void Sha256::add(QByteArrayView view)
{
    if (m_portable) {
        m_portable->addData(view);
        return;
    }
    const auto *data = reinterpret_cast<const unsigned char *>(view.data());
    size_t size = size_t(view.size());
    if (size == 0)
        return; // an empty view may have no data at all
    m_length += size;
    if (m_buffered > 0) {
        const size_t n = std::min(size, 64 - m_buffered);
        std::memcpy(m_buffer + m_buffered, data, n);
        m_buffered += n;
        data += n;
        size -= n;
        if (m_buffered < 64)
            return;
        blocks(m_buffer, 1);
        m_buffered = 0;
    }
    if (size >= 64) {
        blocks(data, size / 64);
        data += size / 64 * 64;
        size %= 64;
    }
    if (size > 0)
        std::memcpy(m_buffer, data, size);
    m_buffered = size;
}

QByteArray Sha256::result()
{
    if (m_portable)
        return m_portable->result();
    const uint64_t bits = m_length * 8;
    static const unsigned char pad[64] = {0x80};
    add(QByteArrayView(reinterpret_cast<const char *>(pad), qsizetype(m_buffered < 56 ? 56 - m_buffered : 120 - m_buffered)));
    unsigned char len[8];
    for (int i = 0; i < 8; ++i)
        len[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    add(QByteArrayView(reinterpret_cast<const char *>(len), 8));
    QByteArray out(32, Qt::Uninitialized);
    for (int i = 0; i < 8; ++i) {
        out[4 * i] = char(m_state[i] >> 24);
        out[4 * i + 1] = char(m_state[i] >> 16);
        out[4 * i + 2] = char(m_state[i] >> 8);
        out[4 * i + 3] = char(m_state[i]);
    }
    return out;
}

QByteArray Sha256::hash(QByteArrayView data)
{
    Sha256 h;
    h.add(data);
    return h.result();
}
