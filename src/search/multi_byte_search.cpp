#include "search/multi_byte_search.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#ifdef SPURWERK_HAS_AVX2_SEARCH
#include <immintrin.h>
#endif

namespace {

constexpr int groupCount = 8;
// More needles with one key than this are looked up by their bytes.
constexpr qsizetype longestRunCompared = 16;

#ifdef SPURWERK_HAS_AVX2_SEARCH
// A byte shuffle looks up within each 16-byte lane: the table stands in both.
__attribute__((target("avx2"))) __m256i inBothLanes(const std::array<uint8_t, 16> &table)
{
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(table.data())));
}
#endif

} // namespace

MultiByteSearch::MultiByteSearch(const QList<QByteArray> &needles, Method method)
    : m_needles(needles)
    , m_method(ByteSearch::isAvailable(method) ? method : Method::Portable)
{
    qsizetype shortest = needles.first().size();
    for (const QByteArray &needle : needles)
        shortest = std::min(shortest, needle.size());
    m_fingerprint = int(std::min<qsizetype>(shortest, fingerprintLength));
    m_keyLength = int(std::min<qsizetype>(shortest, sizeof(uint64_t)));

    // Sorted fingerprints cut into equal runs: neighbours differ least, so each group's half
    // bytes stay few and the filter lets few positions through.
    // (views, which compare inline: a where-used level brings tens of thousands of names)
    const auto fingerprintOf = [this](const QByteArray &needle) {
        return std::string_view(needle.constData(), size_t(m_fingerprint));
    };
    std::vector<std::string_view> fingerprints;
    fingerprints.reserve(size_t(needles.size()));
    for (const QByteArray &needle : needles)
        fingerprints.push_back(fingerprintOf(needle));
    std::sort(fingerprints.begin(), fingerprints.end());
    fingerprints.erase(std::unique(fingerprints.begin(), fingerprints.end()), fingerprints.end());
    for (qsizetype i = 0; i < needles.size(); ++i) {
        const QByteArray &needle = needles.at(i);
        const auto rank = qsizetype(
            std::lower_bound(fingerprints.begin(), fingerprints.end(), fingerprintOf(needle)) -
            fingerprints.begin());
        const auto group = uint8_t(1u << (rank * groupCount / fingerprints.size()));
        for (int j = 0; j < m_fingerprint; ++j) {
            const auto byte = uint8_t(needle.at(j));
            m_low[j][byte & 0x0f] |= group;
            m_high[j][byte >> 4] |= group;
        }
        m_byKey.emplace_back(prefixKey(needle.constData()), i);
        m_lengths.push_back(needle.size());
    }
    std::sort(m_byKey.begin(), m_byKey.end());
    std::sort(m_lengths.begin(), m_lengths.end());
    m_lengths.erase(std::unique(m_lengths.begin(), m_lengths.end()), m_lengths.end());
    m_byBytes.resize(m_lengths.size());
    for (qsizetype i = 0; i < m_needles.size(); ++i) {
        const QByteArray &needle = m_needles.at(i);
        const auto length = std::lower_bound(m_lengths.begin(), m_lengths.end(), needle.size());
        m_byBytes[size_t(length - m_lengths.begin())][QByteArrayView(needle)].append(i);
    }
}

MultiByteSearch::Hit MultiByteSearch::find(const char *data, qsizetype size, qsizetype from,
                                           const std::vector<bool> &passedOver) const
{
#ifdef SPURWERK_HAS_AVX2_SEARCH
    if (m_method == Method::Avx2)
        return findAvx2(data, size, from, passedOver);
#endif
    return findPortable(data, size, from, passedOver);
}

MultiByteSearch::Hit MultiByteSearch::findPortable(const char *data, qsizetype size, qsizetype from,
                                                   const std::vector<bool> &passedOver) const
{
    for (qsizetype position = from; position + m_fingerprint <= size; ++position) {
        uint8_t groups = 0xff;
        for (int j = 0; j < m_fingerprint; ++j) {
            const auto byte = uint8_t(data[position + j]);
            groups &= m_low[j][byte & 0x0f] & m_high[j][byte >> 4];
        }
        if (groups) {
            const Hit hit = verify(data, size, position, passedOver);
            if (hit.position >= 0)
                return hit;
        }
    }
    return {};
}

#ifdef SPURWERK_HAS_AVX2_SEARCH
// Looks up the groups of 32 bytes at once, by their half bytes (a byte shuffle is a table of 16),
// for each of the three fingerprint bytes, and shifts the results of the first two onto the
// position of the third: a position passes where one group has all three.
__attribute__((target("avx2"))) MultiByteSearch::Hit
MultiByteSearch::findAvx2(const char *data, qsizetype size, qsizetype from,
                          const std::vector<bool> &passedOver) const
{
    // A shorter fingerprint ends at the third byte: the bytes before it may be anything.
    const int anyBytes = fingerprintLength - m_fingerprint;
    __m256i low[fingerprintLength];
    __m256i high[fingerprintLength];
    for (int slot = 0; slot < fingerprintLength; ++slot) {
        if (slot < anyBytes) {
            low[slot] = high[slot] = _mm256_set1_epi8(-1);
            continue;
        }
        low[slot] = inBothLanes(m_low[slot - anyBytes]);
        high[slot] = inBothLanes(m_high[slot - anyBytes]);
    }
    const __m256i halfMask = _mm256_set1_epi8(0x0f);
    // the groups of the 32 bytes before: before from, anything may stand there
    __m256i before0 = _mm256_set1_epi8(-1);
    __m256i before1 = _mm256_set1_epi8(-1);
    qsizetype i = from;
    for (; i + 32 <= size; i += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + i));
        const __m256i lows = _mm256_and_si256(bytes, halfMask);
        const __m256i highs = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), halfMask);
        __m256i groups[fingerprintLength];
        for (int slot = 0; slot < fingerprintLength; ++slot)
            groups[slot] = _mm256_and_si256(_mm256_shuffle_epi8(low[slot], lows),
                                            _mm256_shuffle_epi8(high[slot], highs));
        // byte q of the result: the groups of byte q - 1 (q - 2), taken from before where q is 0
        const __m256i shifted1 =
            _mm256_alignr_epi8(groups[1], _mm256_permute2x128_si256(before1, groups[1], 0x21), 15);
        const __m256i shifted0 =
            _mm256_alignr_epi8(groups[0], _mm256_permute2x128_si256(before0, groups[0], 0x21), 14);
        const __m256i passed = _mm256_and_si256(groups[2], _mm256_and_si256(shifted1, shifted0));
        before0 = groups[0];
        before1 = groups[1];
        unsigned ends =
            ~unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(passed, _mm256_setzero_si256())));
        while (ends) {
            const qsizetype position = i + __builtin_ctz(ends) - (m_fingerprint - 1);
            if (position >= from) {
                const Hit hit = verify(data, size, position, passedOver);
                if (hit.position >= 0)
                    return hit;
            }
            ends &= ends - 1;
        }
    }
    // the positions whose fingerprint ends in the last few bytes, one by one
    return findPortable(data, size, std::max(from, i - (m_fingerprint - 1)), passedOver);
}
#endif

MultiByteSearch::Hit MultiByteSearch::verify(const char *data, qsizetype size, qsizetype position,
                                             const std::vector<bool> &passedOver) const
{
    if (position + m_keyLength > size)
        return {};
    const uint64_t key = prefixKey(data + position);
    auto candidate =
        std::lower_bound(m_byKey.begin(), m_byKey.end(), std::pair<uint64_t, qsizetype>(key, 0));
    if (m_byKey.end() - candidate > longestRunCompared &&
        candidate[longestRunCompared].first == key)
        return lookUp(data, size, position, passedOver);
    for (; candidate != m_byKey.end() && candidate->first == key; ++candidate) {
        const qsizetype index = candidate->second;
        if (!passedOver.empty() && passedOver[size_t(index)])
            continue;
        const QByteArray &needle = m_needles.at(index);
        if (position + needle.size() <= size &&
            std::memcmp(data + position + m_keyLength, needle.constData() + m_keyLength,
                        size_t(needle.size() - m_keyLength)) == 0)
            return {position, index};
    }
    return {};
}

MultiByteSearch::Hit MultiByteSearch::lookUp(const char *data, qsizetype size, qsizetype position,
                                             const std::vector<bool> &passedOver) const
{
    Hit first;
    for (size_t length = 0; length < m_lengths.size() && position + m_lengths[length] <= size;
         ++length) {
        const auto same =
            m_byBytes[length].constFind(QByteArrayView(data + position, m_lengths[length]));
        if (same == m_byBytes[length].cend())
            continue;
        for (const qsizetype index : *same) {
            if (!passedOver.empty() && passedOver[size_t(index)])
                continue;
            if (first.needle < 0 || index < first.needle)
                first = {position, index};
            break;
        }
    }
    return first;
}

uint64_t MultiByteSearch::prefixKey(const char *bytes) const
{
    uint64_t key = 0;
    std::memcpy(&key, bytes, size_t(m_keyLength));
    return key;
}
