#include "config/Sha1.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QUILMORA_SHA1_X86 1
#endif

namespace {

#ifdef QUILMORA_SHA1_X86

bool haveShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & (1u << 29)))
        return false;
    // SSSE3 and SSE4.1 for the byte shuffles and the lane extract.
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    return (c & (1u << 9)) && (c & (1u << 19));
}

// Four rounds with the message words `w` of group `k` (0..19). The schedule of groups 4..19
// comes from the four groups before.
#define QUILMORA_SHA1_GROUP(k, f)                                                                                      \
    do {                                                                                                               \
        __m128i wk;                                                                                                    \
        if constexpr ((k) < 4) {                                                                                       \
            wk = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * (k))), mask);         \
        } else {                                                                                                       \
            wk = _mm_sha1msg2_epu32(                                                                                   \
                _mm_xor_si128(_mm_sha1msg1_epu32(w[(k) & 3], w[((k) + 1) & 3]), w[((k) + 2) & 3]), w[((k) + 3) & 3]); \
        }                                                                                                              \
        w[(k) & 3] = wk;                                                                                               \
        const __m128i ein = (k) == 0 ? _mm_add_epi32(e, wk) : _mm_sha1nexte_epu32(e, wk);                              \
        e = abcd;                                                                                                      \
        abcd = _mm_sha1rnds4_epu32(abcd, ein, f);                                                                      \
    } while (0)

__attribute__((target("sha,ssse3,sse4.1"))) void shaniBlocks(uint32_t state[5], const unsigned char *data,
                                                              size_t count)
{
    const __m128i mask = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state)), 0x1b);
    __m128i e0 = _mm_set_epi32(int(state[4]), 0, 0, 0);
    for (; count > 0; --count, data += 64) {
        const __m128i abcdSave = abcd;
        const __m128i eSave = e0;
        __m128i w[4];
        __m128i e = e0;
        QUILMORA_SHA1_GROUP(0, 0);
        QUILMORA_SHA1_GROUP(1, 0);
        QUILMORA_SHA1_GROUP(2, 0);
        QUILMORA_SHA1_GROUP(3, 0);
        QUILMORA_SHA1_GROUP(4, 0);
        QUILMORA_SHA1_GROUP(5, 1);
        QUILMORA_SHA1_GROUP(6, 1);
        QUILMORA_SHA1_GROUP(7, 1);
        QUILMORA_SHA1_GROUP(8, 1);
        QUILMORA_SHA1_GROUP(9, 1);
        QUILMORA_SHA1_GROUP(10, 2);
        QUILMORA_SHA1_GROUP(11, 2);
        QUILMORA_SHA1_GROUP(12, 2);
        QUILMORA_SHA1_GROUP(13, 2);
        QUILMORA_SHA1_GROUP(14, 2);
        QUILMORA_SHA1_GROUP(15, 3);
        QUILMORA_SHA1_GROUP(16, 3);
        QUILMORA_SHA1_GROUP(17, 3);
        QUILMORA_SHA1_GROUP(18, 3);
        QUILMORA_SHA1_GROUP(19, 3);
        e0 = _mm_sha1nexte_epu32(e, eSave);
        abcd = _mm_add_epi32(abcd, abcdSave);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_shuffle_epi32(abcd, 0x1b));
    state[4] = uint32_t(_mm_extract_epi32(e0, 3));
}

#undef QUILMORA_SHA1_GROUP

#endif

} // namespace

bool Sha1::hasInstructions()
{
#ifdef QUILMORA_SHA1_X86
    static const bool have = haveShaInstructions();
    return have;
#else
    return false;
#endif
}

Sha1::Sha1(Mode mode) : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0}
{
    if (mode == Mode::Portable || !hasInstructions())
        m_portable.emplace(QCryptographicHash::Sha1);
}

void Sha1::blocks(const unsigned char *data, size_t count)
{
#ifdef QUILMORA_SHA1_X86
    shaniBlocks(m_state, data, count);
#else
    Q_UNUSED(data);
    Q_UNUSED(count);
#endif
}

void Sha1::add(QByteArrayView view)
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

QByteArray Sha1::result()
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
    QByteArray out(20, Qt::Uninitialized);
    for (int i = 0; i < 5; ++i) {
        out[4 * i] = char(m_state[i] >> 24);
        out[4 * i + 1] = char(m_state[i] >> 16);
        out[4 * i + 2] = char(m_state[i] >> 8);
        out[4 * i + 3] = char(m_state[i]);
    }
    return out;
}

QByteArray Sha1::hash(QByteArrayView data)
{
    Sha1 h;
    h.add(data);
    return h.result();
}
