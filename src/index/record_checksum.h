#pragma once

#include <QByteArrayView>
#include <cstdint>

// The checksum a folder's record carries (XXH3 of its bytes, seeded with the folder's path), so
// that bytes changed, cut off, or a record of another folder in its place are told apart from
// the record written. The same value on every processor.
std::uint64_t recordChecksum(QByteArrayView folder, QByteArrayView bytes);
