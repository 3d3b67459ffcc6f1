#pragma once
// Little-endian integers of 1 to 8 bytes in byte buffers: the one helper
// every file and wire format of the program uses (card journal, compressed
// container, carried files, BMP and GIF files).
//
// PutLE writes exactly `bytes` bytes at out, GetLE reads exactly `bytes`
// bytes at in; the caller owns the bounds. Bits of v above 8 * bytes are
// dropped.

#include <cstdint>
#include <vector>

namespace vandrex {

inline void PutLE(void* out, std::uint64_t v, int bytes) {
    auto* p = static_cast<unsigned char*>(out);
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline std::uint64_t GetLE(const void* in, int bytes) {
    const auto* p = static_cast<const unsigned char*>(in);
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return v;
}

inline void AppendLE(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace vandrex
