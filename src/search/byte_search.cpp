#include "search/byte_search.h"

#include <cstring>

#ifdef SPURWERK_HAS_AVX2_SEARCH
#include <immintrin.h>
#endif

namespace {

qsizetype portableIndexIn(const char *data, qsizetype size, const QByteArray &needle)
{
    const void *hit = ::memmem(data, size_t(size), needle.constData(), size_t(needle.size()));
    return hit ? static_cast<const char *>(hit) - data : -1;
}

#ifdef SPURWERK_HAS_AVX2_SEARCH
// Compares the first and the last byte of the needle at 32 positions at once and checks the
// rest only where both agree: in the binary records of CAD files that is rare.
__attribute__((target("avx2"))) qsizetype avx2IndexIn(const char *data, qsizetype size,
                                                      const QByteArray &needle)
{
    const qsizetype length = needle.size();
    if (length < 2 || size < length)
        return portableIndexIn(data, size, needle);
    const __m256i first = _mm256_set1_epi8(needle.front());
    const __m256i last = _mm256_set1_epi8(needle.back());
    const qsizetype candidates = size - length + 1;
    qsizetype i = 0;
    for (; i + 32 <= candidates; i += 32) {
        const auto *firsts = reinterpret_cast<const __m256i *>(data + i);
        const auto *lasts = reinterpret_cast<const __m256i *>(data + i + length - 1);
        unsigned both = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(firsts), first),
                             _mm256_cmpeq_epi8(_mm256_loadu_si256(lasts), last))));
        while (both) {
            const qsizetype at = i + __builtin_ctz(both);
            if (std::memcmp(data + at + 1, needle.constData() + 1, size_t(length - 2)) == 0)
                return at;
            both &= both - 1;
        }
    }
    // the last few positions one by one: for a small file memmem's set-up costs more
    for (; i < candidates; ++i) {
        if (data[i] == needle.front() && data[i + length - 1] == needle.back() &&
            std::memcmp(data + i + 1, needle.constData() + 1, size_t(length - 2)) == 0)
            return i;
    }
    return -1;
}
#endif

} // namespace

ByteSearch::ByteSearch(const QByteArray &needle, Method method)
    : m_needle(needle)
    , m_method(isAvailable(method) ? method : Method::Portable)
{}

ByteSearch::Method ByteSearch::fastestMethod()
{
    return isAvailable(Method::Avx2) ? Method::Avx2 : Method::Portable;
}

bool ByteSearch::isAvailable(Method method)
{
#ifdef SPURWERK_HAS_AVX2_SEARCH
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    if (method == Method::Avx2)
        return hasAvx2;
#endif
    return method == Method::Portable;
}

qsizetype ByteSearch::indexIn(const char *data, qsizetype size) const
{
#ifdef SPURWERK_HAS_AVX2_SEARCH
    if (m_method == Method::Avx2)
        return avx2IndexIn(data, size, m_needle);
#endif
    return portableIndexIn(data, size, m_needle);
}
