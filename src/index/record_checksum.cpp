#include "index/record_checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#ifdef SPURWERK_HAS_AVX2_CHECKSUM
// in record_checksum_avx2.cpp
std::uint64_t recordChecksumAvx2(const char *folder, std::size_t folderSize, const char *bytes,
                                 std::size_t size);
#endif

std::uint64_t recordChecksum(QByteArrayView folder, QByteArrayView bytes)
{
#ifdef SPURWERK_HAS_AVX2_CHECKSUM
    // every search checks every record it uses: 32 bytes at a time where the processor can
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    if (hasAvx2) {
        return recordChecksumAvx2(folder.data(), size_t(folder.size()), bytes.data(),
                                  size_t(bytes.size()));
    }
#endif
    const XXH64_hash_t seed = XXH3_64bits(folder.data(), size_t(folder.size()));
    return XXH3_64bits_withSeed(bytes.data(), size_t(bytes.size()), seed);
}
