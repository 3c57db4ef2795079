// recordChecksum with AVX2. A file of its own: all code compiled here may use AVX2, so it holds
// nothing but xxHash's functions, which are all its own (static), and this one. The system's
// headers xxHash takes come first, so that none of their inline functions is built for AVX2.
#include <cassert>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#pragma GCC target("avx2")
#define XXH_INLINE_ALL
#include <xxhash.h>

std::uint64_t recordChecksumAvx2(const char *folder, std::size_t folderSize, const char *bytes,
                                 std::size_t size)
{
    return XXH3_64bits_withSeed(bytes, size, XXH3_64bits(folder, folderSize));
}
