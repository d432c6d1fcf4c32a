#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kest::gzip_writer {

using Bytes = std::vector<std::uint8_t>;

// One gzip member, as a compressing recorder or archiver writes it.
struct GzipMember {
    Bytes bytes;
    // Where each piece's deflate data ends: the member cut there inflates to exactly
    // the pieces up to that one, and the next deflate block starts there.
    std::vector<std::size_t> pieceEnds;
};

// The pieces joined, compressed at `level`; 0 stores their bytes as they are, so
// that a test can find one in the member and change it.
GzipMember gzipPieces(const std::vector<Bytes>& pieces, int level = 9);

inline Bytes gzip(const Bytes& data, int level = 9) { return gzipPieces({data}, level).bytes; }

// The bytes of a gzip member's header, the fixed ten that a member without a name starts with.
inline constexpr std::size_t HeaderSize = 10;
// The CRC-32 of the data and its size: the member's last bytes.
inline constexpr std::size_t TrailerSize = 8;

}  // namespace kest::gzip_writer
