#pragma once
// LZRW1-KH block compressor: literals, back-references with a 12-bit distance
// and a 4-bit length, and runs of one repeated byte, on blocks of at most
// 32783 bytes.
//
// Compressed block layout:
//   byte 0        flag: 0x40 compressed, 0x80 stored (the input follows as is)
//   then groups   a big-endian 16-bit control word, then up to 16 items; the
//                 control bits are used from the top down, 0 = literal,
//                 1 = copy or run; the last word is shifted so its used bits
//                 start at the top
//   literal       1 byte
//   copy          2 bytes, big-endian distance * 16 + (length - 3),
//                 distance 1..4095, length 3..18
//   run           4 bytes: 0x00, big-endian (count - 16), the byte;
//                 count 16..4095 (a zero distance marks the run)

#include "platform/exceptions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vandrex {

// Largest input block Compression accepts.
inline constexpr std::size_t kLzrwBlockSize = 32783;
// Compression may run up to 5 bytes past the input size before it falls back
// to the stored form, so its destination needs this much room beyond the input.
inline constexpr std::size_t kLzrwCompressSlack = 6;
// A destination buffer that suffices for any block: 32789 bytes.
inline constexpr std::size_t kLzrwDestBufferSize = kLzrwBlockSize + kLzrwCompressSlack;
// Largest compressed block the compressor can produce (the stored form of a
// full block).
inline constexpr std::size_t kLzrwMaxPackedSize = kLzrwBlockSize + 1;

inline constexpr std::uint8_t kLzrwFlagCompressed = 0x40;
inline constexpr std::uint8_t kLzrwFlagStored = 0x80;

// Failures of the compressor: no memory for the position table, a block too
// large to compress, or compressed data that cannot be decoded.
class ELzrw1KHCompressor : public Exception {
public:
    explicit ELzrw1KHCompressor(const std::string& message) : Exception(message) {}
};

// The compressor's table of recent input positions, indexed by a 12-bit hash
// of three bytes. Entries are signed 16-bit positions; positions of 32768 and
// above land as negative values, so they never pass the distance check and
// never serve as copy sources. That quirk is part of the output format: it
// decides which copies are emitted near the end of a full block.
//
// A table belongs to one compression at a time. Compression without an
// explicit table uses one per thread, so separate threads may compress at once.
class THashTable {
public:
    static constexpr std::size_t kEntries = 4096;

    // Allocates the 8192-byte table. Throws ELzrw1KHCompressor
    // "LZRW1KH : no memory for HASH table" when the memory is not available.
    THashTable();

    THashTable(const THashTable&) = delete;
    THashTable& operator=(const THashTable&) = delete;

    void Clear();  // every entry -1
    std::int16_t* Entries() { return entries_.get(); }

private:
    std::unique_ptr<std::int16_t[]> entries_;
};

// The calling thread's table, allocated on the thread's first compression and
// freed when the thread ends. Throws like THashTable().
THashTable& ThreadHashTable();

struct TMatch {
    bool found = false;
    std::size_t candidate = 0;  // input position of the copy source
    std::size_t length = 0;     // 3..18 when found
};

// Looks up the three bytes at position x of block[0..n) in the table, records
// x in the table (whether or not a match follows) and measures the match
// against the earlier position found there. Needs x + 2 < n; nearer the end no
// match is possible, and the table is left alone.
TMatch GetMatch(const std::uint8_t* block, std::size_t x, std::size_t n, THashTable& table);

// The destination capacity Compression needs for a block of sourceSize bytes.
constexpr std::size_t LzrwCompressBound(std::size_t sourceSize) { return sourceSize + kLzrwCompressSlack; }

// Compresses source[0..sourceSize) into dest[0..destCapacity) and returns the
// compressed size: at most sourceSize when compressed, sourceSize + 1 in the
// stored form. dest must not overlap source. It never reads outside the
// source and never writes outside dest[0..destCapacity). Throws
// ELzrw1KHCompressor, writing nothing, when sourceSize exceeds
// kLzrwBlockSize or destCapacity is below LzrwCompressBound(sourceSize).
std::size_t Compression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                        std::size_t destCapacity, THashTable& table);
// The same with the calling thread's table.
std::size_t Compression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                        std::size_t destCapacity);

// Decodes the compressed block source[0..sourceSize) into dest and returns the
// number of bytes produced. Safe on any input: it never reads outside the
// source, never writes outside dest[0..destCapacity), and throws
// ELzrw1KHCompressor for an unknown flag, a truncated control word or item, a
// copy reaching before the start of the output, or output that would exceed
// destCapacity. Bytes of dest beyond the returned size may be overwritten
// with scratch.
std::size_t Decompression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                          std::size_t destCapacity);

}  // namespace vandrex
