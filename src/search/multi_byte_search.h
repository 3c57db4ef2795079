#pragma once

#include "search/byte_search.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// Finds the first occurrence of any of several byte strings in a block of memory, in one pass
// whatever their number: a filter on the first bytes at each position, then an exact comparison
// where it lets one through. Every method gives the same answers.
class MultiByteSearch
{
public:
    using Method = ByteSearch::Method;

    // needles: none of them empty
    explicit MultiByteSearch(const QList<QByteArray> &needles,
                             Method method = ByteSearch::fastestMethod());

    struct Hit
    {
        qsizetype position = -1; // -1: none
        qsizetype needle = -1;   // its index among the needles
    };

    // The first occurrence at or after from of a needle that is not passed over (passedOver
    // holds a flag per needle, or none); of several at one position, the needle given first.
    Hit find(const char *data, qsizetype size, qsizetype from,
             const std::vector<bool> &passedOver) const;

private:
    // The first bytes that the filter looks at, at most.
    static constexpr int fingerprintLength = 3;

    Hit findPortable(const char *data, qsizetype size, qsizetype from,
                     const std::vector<bool> &passedOver) const;
    Hit findAvx2(const char *data, qsizetype size, qsizetype from,
                 const std::vector<bool> &passedOver) const;
    // The needle that occurs at position, if any.
    Hit verify(const char *data, qsizetype size, qsizetype position,
               const std::vector<bool> &passedOver) const;
    // The same, by the bytes at position, for each needle length.
    Hit lookUp(const char *data, qsizetype size, qsizetype position,
               const std::vector<bool> &passedOver) const;
    uint64_t prefixKey(const char *bytes) const;

    QList<QByteArray> m_needles;
    Method m_method;
    // bytes of the fingerprint: the shortest needle's length, up to fingerprintLength
    int m_fingerprint;
    // Per fingerprint byte and half byte: a bit for each of 8 groups of needles that may have
    // that half there. Needles with similar beginnings share a group, so a group's bits stay few.
    std::array<std::array<uint8_t, 16>, fingerprintLength> m_low{};
    std::array<std::array<uint8_t, 16>, fingerprintLength> m_high{};
    // bytes of the key the exact comparison starts from: the shortest needle's length, up to 8
    int m_keyLength;
    // (key of the needle's first bytes, needle), sorted
    std::vector<std::pair<uint64_t, qsizetype>> m_byKey;
    // Where many needles share a key (names of one family, "BAUGRUPPE_..."), they are looked up
    // by their bytes, once per needle length, instead of compared one by one: per length present,
    // ascending, the needles of that length by their bytes, each list ascending.
    std::vector<qsizetype> m_lengths;
    std::vector<QHash<QByteArrayView, QList<qsizetype>>> m_byBytes;
};
