// Every unpacked byte goes through the CRC, so it has to keep up with the
// disk: on processors with carry-less multiplication the data is folded 64
// bytes at a time, four 128-bit lanes at once, and only the last 16 bytes of
// the folded remainder and the tail go through zlib's byte-wise CRC. Folding
// keeps the remainder modulo the polynomial unchanged, so the result is
// exactly zlib's.
#include "unrar/Crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace unrar {

namespace {

std::uint32_t ZlibCrc32(std::uint32_t crc, const unsigned char* p, std::size_t n)
{
    // zlib takes its length as an unsigned int.
    while (n > 0) {
        const unsigned chunk = n > (1u << 30) ? (1u << 30) : static_cast<unsigned>(n);
        crc = static_cast<std::uint32_t>(::crc32(crc, p, chunk));
        p += chunk;
        n -= chunk;
    }
    return crc;
}

#if defined(__x86_64__)

// x^(512+32) and x^(512-32) modulo the polynomial, bit-reflected and shifted
// by one (distance of four lanes); then the same for a distance of one lane.
constexpr long long FoldBy4Low = 0x154442bd4LL;
constexpr long long FoldBy4High = 0x1c6e41596LL;
constexpr long long FoldBy1Low = 0x1751997d0LL;
constexpr long long FoldBy1High = 0x0ccaa009eLL;

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i lane, __m128i constants, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t FoldedCrc32(std::uint32_t crc, const unsigned char* p,
                                                                   std::size_t n)
{
    const __m128i by4 = _mm_set_epi64x(FoldBy4High, FoldBy4Low);
    const __m128i by1 = _mm_set_epi64x(FoldBy1High, FoldBy1Low);
    // The running register (zlib keeps it inverted) enters with the first bytes.
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = Load(p + 16);
    __m128i x2 = Load(p + 32);
    __m128i x3 = Load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = Fold(x0, by4, Load(p));
        x1 = Fold(x1, by4, Load(p + 16));
        x2 = Fold(x2, by4, Load(p + 32));
        x3 = Fold(x3, by4, Load(p + 48));
        p += 64;
        n -= 64;
    }
    x0 = Fold(x0, by1, x1);
    x0 = Fold(x0, by1, x2);
    x0 = Fold(x0, by1, x3);
    while (n >= 16) {
        x0 = Fold(x0, by1, Load(p));
        p += 16;
        n -= 16;
    }
    alignas(16) unsigned char rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x0);
    // The folded lane stands for everything so far with a zero register.
    const std::uint32_t folded = ZlibCrc32(0xFFFFFFFFu, rest, sizeof rest);
    return ZlibCrc32(folded, p, n);
}

bool CanFold()
{
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

#endif

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
    if (size >= 64 && CanFold())
        return FoldedCrc32(crc, p, size);
#endif
    return ZlibCrc32(crc, p, size);
}

}  // namespace unrar
