#include "compress/compressstream.h"

#include "compress/lzrw1kh.h"
#include "platform/exceptions.h"
#include "platform/littleendian.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vandrex {

namespace {

void Write(std::ostream& dest, const void* data, std::size_t size) {
    dest.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!dest)
        throw EInOutError("Stream write error");
}

// Reads up to `size` bytes and returns how many arrived; EInOutError on a
// failing stream (as opposed to one that merely ended).
std::size_t ReadSome(std::istream& source, void* data, std::size_t size) {
    source.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
    const auto got = static_cast<std::size_t>(source.gcount());
    if (source.bad())
        throw EInOutError("Stream read error");
    if (got < size)
        source.clear(source.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
    return got;
}

[[noreturn]] void Damaged(const std::string& what) {
    throw ELzrw1KHCompressor("Damaged compressed stream: " + what);
}

}  // namespace

TCompressStream::TCompressStream() : signature_{'P', 'M', 'C', 'S', '1', '0'} {}

void TCompressStream::CompressStream(std::istream& source, std::ostream& dest,
                                     std::uint64_t count) {
    const std::streampos totalAt = dest.tellp();
    if (totalAt == std::streampos(-1))
        throw EInOutError("Stream seek error: the destination cannot be positioned");
    Write(dest, signature_.data(), signature_.size());
    const std::streampos afterHeader = totalAt + std::streamoff(signature_.size());
    std::uint8_t word[4];
    PutLE(word, 0, 4);
    Write(dest, word, 4);

    std::vector<std::uint8_t> input(kLzrwBlockSize);
    std::vector<std::uint8_t> output(kLzrwDestBufferSize);
    THashTable& table = ThreadHashTable();
    std::uint64_t total = 0;
    std::uint64_t remaining = count;
    bool sourceEnded = false;
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kLzrwBlockSize));
        const std::size_t got = ReadSome(source, input.data(), want);
        if (got == 0) {
            sourceEnded = true;
            break;
        }
        const std::size_t packed = Compression(input.data(), output.data(), got, output.size(), table);
        if (total + 4 + packed > 0xFFFFFFFFu)
            throw ELzrw1KHCompressor("Compressed stream larger than 4 GB");
        PutLE(word, static_cast<std::uint32_t>(packed), 4);
        Write(dest, word, 4);
        Write(dest, output.data(), packed);
        total += 4 + packed;
        remaining -= got;
        if (got < want) {
            sourceEnded = remaining > 0;
            break;
        }
    }

    const std::streampos end = dest.tellp();
    dest.seekp(afterHeader);
    PutLE(word, static_cast<std::uint32_t>(total), 4);
    Write(dest, word, 4);
    dest.seekp(end);
    if (!dest)
        throw EInOutError("Stream seek error");
    if (sourceEnded)
        throw ELzrw1KHCompressor("Source ended " + std::to_string(remaining) +
                                 " bytes before the count to compress");
}

template <typename BlockSink>
void TCompressStream::ReadBlocks(std::istream& source, BlockSink&& sink) {
    char signature[6];
    if (ReadSome(source, signature, 6) != 6 ||
        std::memcmp(signature, signature_.data(), signature_.size()) != 0)
        throw Exception("Wrong file type");
    std::uint8_t word[4];
    if (ReadSome(source, word, 4) != 4)
        Damaged("the stream ends inside the header");
    std::uint32_t total = static_cast<std::uint32_t>(GetLE(word, 4));

    std::vector<std::uint8_t> packed(kLzrwMaxPackedSize);
    std::vector<std::uint8_t> unpacked(kLzrwBlockSize);
    std::size_t index = 0;
    while (total >= 1) {
        ++index;
        const std::string block = "block " + std::to_string(index);
        if (total < 4)
            Damaged("the total does not match the blocks");
        if (ReadSome(source, word, 4) != 4)
            Damaged("the stream ends before the size of " + block);
        const std::uint32_t n = static_cast<std::uint32_t>(GetLE(word, 4));
        if (n == 0 || n > kLzrwMaxPackedSize)
            Damaged("size " + std::to_string(n) + " of " + block + " is out of range");
        if (n > total - 4)
            Damaged("the total does not match the blocks");
        if (ReadSome(source, packed.data(), n) != n)
            Damaged("the stream ends inside " + block);
        std::size_t size = 0;
        try {
            size = Decompression(packed.data(), unpacked.data(), n, unpacked.size());
        } catch (const ELzrw1KHCompressor& e) {
            Damaged(block + ": " + e.what());
        }
        sink(TBlockInfo{n, packed[0] == kLzrwFlagStored, size}, unpacked.data());
        total -= n + 4;
    }
}

void TCompressStream::DecompressStream(std::istream& source, std::ostream& dest) {
    ReadBlocks(source, [&dest](const TBlockInfo& info, const std::uint8_t* data) {
        Write(dest, data, info.unpackedSize);
    });
}

std::vector<TBlockInfo> TCompressStream::TestStream(std::istream& source) {
    std::vector<TBlockInfo> blocks;
    ReadBlocks(source, [&blocks](const TBlockInfo& info, const std::uint8_t*) {
        blocks.push_back(info);
    });
    return blocks;
}

}  // namespace vandrex
