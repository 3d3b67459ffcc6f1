// Feeds arbitrary bytes to the block decoder as a compressed block, and the
// same bytes to the compressor to check that they come back unchanged.

#include "compress/lzrw1kh.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vandrex;
    // Exactly sized buffers, so the sanitizer sees any access past them.
    std::vector<std::uint8_t> block(data, data + size);
    std::vector<std::uint8_t> out(size % 2 ? kLzrwBlockSize : 1 + size % 97);
    try {
        Decompression(block.data(), out.data(), block.size(), out.size());
    } catch (const ELzrw1KHCompressor&) {
    }

    const std::size_t n = std::min(size, kLzrwBlockSize);
    std::vector<std::uint8_t> packed(n + kLzrwCompressSlack);
    const std::size_t packedSize = Compression(data, packed.data(), n, packed.size());
    if (packedSize > n + 1)
        std::abort();
    packed.resize(packedSize);
    std::vector<std::uint8_t> back(n);
    if (Decompression(packed.data(), back.data(), packed.size(), back.size()) != n ||
        (n > 0 && std::memcmp(back.data(), data, n) != 0))
        std::abort();
    return 0;
}
