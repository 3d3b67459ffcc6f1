#pragma once
// TCompressStream: a stream as a signed container of LZRW1-KH blocks.
//
// Container layout (integers 32-bit little-endian):
//   0   6     "PMCS10"
//   6   4     total: bytes that follow = sum over blocks of (4 + block size)
//   10  4     size of block 1
//   14  size  block 1 (a compressed block of compress/lzrw1kh.h)
//   ...       further size/block pairs until total is used up
// The input is cut into blocks of 32783 bytes, the last one shorter.

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

namespace vandrex {

inline constexpr std::size_t kContainerHeaderSize = 10;

// One block of a container, as TestStream reports it.
struct TBlockInfo {
    std::uint32_t packedSize = 0;    // bytes of the block in the container
    bool stored = false;             // flag 0x80: kept uncompressed
    std::size_t unpackedSize = 0;    // bytes it decodes to
};

class TCompressStream {
public:
    TCompressStream();

    // Writes a container holding the next `count` bytes of source to dest,
    // which must be seekable (the total is filled in at the end). If source
    // ends before `count` bytes, the blocks read so far are written as a
    // complete container and ELzrw1KHCompressor reports the shortfall.
    // Read, write and seek failures raise EInOutError.
    void CompressStream(std::istream& source, std::ostream& dest, std::uint64_t count);

    // Reads one container from source and writes what it decodes to dest.
    // Reads no further than the container's end. Another signature raises the
    // base Exception "Wrong file type" before anything is written; a damaged
    // container (block size beyond the largest block, sizes that do not add
    // up to the total, a stream that ends early, an undecodable block) raises
    // ELzrw1KHCompressor, with the blocks before the damage already written.
    void DecompressStream(std::istream& source, std::ostream& dest);

    // Checks a whole container by decoding every block, and describes them.
    // Throws like DecompressStream.
    std::vector<TBlockInfo> TestStream(std::istream& source);

    const std::array<char, 6>& Signature() const { return signature_; }

private:
    template <typename BlockSink>
    void ReadBlocks(std::istream& source, BlockSink&& sink);

    std::array<char, 6> signature_;
};

}  // namespace vandrex
