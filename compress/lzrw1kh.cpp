#include "compress/lzrw1kh.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vandrex {

namespace {

constexpr std::size_t kMaxRun = 4095;
constexpr std::size_t kMinRun = 16;
constexpr std::size_t kMaxCopy = 18;
constexpr std::size_t kMinCopy = 3;
constexpr std::size_t kMaxDistance = 4095;

inline unsigned Hash(const std::uint8_t* p) {
    const unsigned v = ((((unsigned{p[0]} << 4) ^ p[1]) << 4) ^ p[2]);
    return ((v * 40543u) & 0xFFFFu) >> 4;
}

// The match search shared by GetMatch and the compressor's loop; x + 2 < n.
inline TMatch FindMatch(const std::uint8_t* block, std::size_t x, std::size_t n,
                        std::int16_t* table) {
    TMatch match;
    const unsigned h = Hash(block + x);
    const int candidate = table[h];
    table[h] = static_cast<std::int16_t>(x);  // 32768 and above wrap to negative
    if (candidate == -1 || static_cast<int>(x) - candidate >= static_cast<int>(kMaxDistance + 1))
        return match;
    const std::size_t limit = std::min(kMaxCopy, n - x);
    const std::uint8_t* a = block + x;
    const std::uint8_t* b = block + candidate;
    std::size_t length = 0;
    while (length < limit && a[length] == b[length])
        ++length;
    if (length >= kMinCopy) {
        match.found = true;
        match.candidate = static_cast<std::size_t>(candidate);
        match.length = length;
    }
    return match;
}

[[noreturn]] void Corrupt(const char* what) {
    throw ELzrw1KHCompressor(std::string("LZRW1KH : corrupt block (") + what + ")");
}

}  // namespace

THashTable::THashTable() : entries_(new (std::nothrow) std::int16_t[kEntries]) {
    if (!entries_)
        throw ELzrw1KHCompressor("LZRW1KH : no memory for HASH table");
    Clear();
}

void THashTable::Clear() {
    std::memset(entries_.get(), 0xFF, kEntries * sizeof(std::int16_t));
}

THashTable& ThreadHashTable() {
    thread_local THashTable table;
    return table;
}

TMatch GetMatch(const std::uint8_t* block, std::size_t x, std::size_t n, THashTable& table) {
    if (x + 2 >= n)
        return {};
    return FindMatch(block, x, n, table.Entries());
}

std::size_t Compression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                        THashTable& table) {
    const std::size_t n = sourceSize;
    if (n > kLzrwBlockSize)
        throw ELzrw1KHCompressor("LZRW1KH : block of " + std::to_string(n) +
                                 " bytes is larger than 32783 bytes");
    table.Clear();
    std::int16_t* const hash = table.Entries();

    dest[0] = kLzrwFlagCompressed;
    std::size_t controlAt = 1;
    std::size_t y = 3;
    unsigned control = 0;
    unsigned bits = 0;
    std::size_t x = 0;
    while (x < n && y <= n) {
        if (bits == 16) {
            dest[controlAt] = static_cast<std::uint8_t>(control >> 8);
            dest[controlAt + 1] = static_cast<std::uint8_t>(control);
            controlAt = y;
            y += 2;
            bits = 0;
            control = 0;
        }
        const std::uint8_t first = source[x];
        const std::size_t runLimit = std::min(kMaxRun, n - x);
        std::size_t run = 1;
        while (run < runLimit && source[x + run] == first)
            ++run;

        if (run >= kMinRun) {
            const std::size_t stored = run - kMinRun;
            dest[y] = 0;
            dest[y + 1] = static_cast<std::uint8_t>(stored >> 8);
            dest[y + 2] = static_cast<std::uint8_t>(stored);
            dest[y + 3] = first;
            y += 4;
            x += run;
            control = (control << 1) | 1;
        } else {
            TMatch match;
            if (x + 2 < n)
                match = FindMatch(source, x, n, hash);
            if (match.found) {
                const std::size_t word = (x - match.candidate) * 16 + (match.length - kMinCopy);
                dest[y] = static_cast<std::uint8_t>(word >> 8);
                dest[y + 1] = static_cast<std::uint8_t>(word);
                y += 2;
                x += match.length;
                control = (control << 1) | 1;
            } else {
                dest[y++] = first;
                ++x;
                control <<= 1;
            }
        }
        ++bits;
    }
    control <<= (16 - bits);
    dest[controlAt] = static_cast<std::uint8_t>(control >> 8);
    dest[controlAt + 1] = static_cast<std::uint8_t>(control);

    if (y > n) {
        dest[0] = kLzrwFlagStored;
        std::memcpy(dest + 1, source, n);
        return n + 1;
    }
    return y;
}

std::size_t Compression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize) {
    return Compression(source, dest, sourceSize, ThreadHashTable());
}

std::size_t Decompression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                          std::size_t destCapacity) {
    const std::size_t s = sourceSize;
    if (s == 0)
        Corrupt("empty block");
    if (source[0] == kLzrwFlagStored) {
        if (s - 1 > destCapacity)
            Corrupt("stored data larger than the output buffer");
        std::memcpy(dest, source + 1, s - 1);
        return s - 1;
    }
    if (source[0] != kLzrwFlagCompressed)
        Corrupt("unknown flag byte");
    if (s < 3)
        Corrupt("truncated control word");

    unsigned control = (unsigned{source[1]} << 8) | source[2];
    unsigned bits = 16;
    std::size_t x = 3;
    std::size_t y = 0;
    const std::size_t cap = destCapacity;
    while (x < s) {
        if (bits == 0) {
            if (s - x < 2)
                Corrupt("truncated control word");
            control = (unsigned{source[x]} << 8) | source[x + 1];
            x += 2;
            bits = 16;
            if (x == s)
                Corrupt("control word without items");
        }
        if ((control & 0x8000u) == 0) {
            if (y == cap)
                Corrupt("output larger than the buffer");
            dest[y++] = source[x++];
        } else {
            if (s - x < 2)
                Corrupt("truncated item");
            const std::size_t distance = (std::size_t{source[x]} << 4) | (source[x + 1] >> 4);
            if (distance == 0) {
                if (s - x < 4)
                    Corrupt("truncated run");
                const std::size_t count =
                    ((std::size_t{source[x + 1]} << 8) | source[x + 2]) + kMinRun;
                if (count > cap - y)
                    Corrupt("output larger than the buffer");
                std::memset(dest + y, source[x + 3], count);
                y += count;
                x += 4;
            } else {
                const std::size_t length = (source[x + 1] & 15u) + kMinCopy;
                if (distance > y)
                    Corrupt("copy reaches before the start of the output");
                if (length > cap - y)
                    Corrupt("output larger than the buffer");
                std::uint8_t* out = dest + y;
                const std::uint8_t* from = out - distance;
                if (distance >= 8 && cap - y >= 24) {
                    // Chunks of 8 never read bytes this copy has yet to write.
                    std::memcpy(out, from, 8);
                    std::memcpy(out + 8, from + 8, 8);
                    if (length > 16)
                        std::memcpy(out + 16, from + 16, 8);
                } else {
                    // Overlapping copies repeat the last `distance` bytes.
                    for (std::size_t i = 0; i < length; ++i)
                        out[i] = from[i];
                }
                y += length;
                x += 2;
            }
        }
        control = (control << 1) & 0xFFFFu;
        --bits;
    }
    return y;
}

}  // namespace vandrex
