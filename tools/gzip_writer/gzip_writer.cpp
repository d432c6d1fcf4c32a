#include "gzip_writer/gzip_writer.h"

#include <zlib.h>

#include <stdexcept>

namespace kest::gzip_writer {
namespace {

// Compresses all of `piece` with `flush`, appending the output to `out`.
void deflatePiece(z_stream& stream, const Bytes& piece, int flush, Bytes& out)
{
    Bytes input = piece;  // zlib's input pointer is not const
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(input.size());
    int status = Z_OK;
    do {
        std::uint8_t chunk[16384];
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR)
            throw std::runtime_error("deflate failed");
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
}

}  // namespace

GzipMember gzipPieces(const std::vector<Bytes>& pieces, int level)
{
    z_stream stream{};
    // Sixteen more than the window size writes a gzip header and trailer.
    if (deflateInit2(&stream, level, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    GzipMember member;
    for (const Bytes& piece : pieces) {
        // A full flush ends the piece's deflate data on a byte boundary.
        deflatePiece(stream, piece, Z_FULL_FLUSH, member.bytes);
        member.pieceEnds.push_back(member.bytes.size());
    }
    deflatePiece(stream, {}, Z_FINISH, member.bytes);
    deflateEnd(&stream);
    return member;
}

}  // namespace kest::gzip_writer
