#include "compress/lzrw1kh.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

inline std::uint32_t Load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Positions whose hashes the compressor computes ahead of its item loop; a
// stretch of them stays in the first-level cache.
constexpr std::size_t kHashAhead = 512;

// hashes[i] := Hash(p + i) for i < count, count a multiple of 8; reads
// p[0 .. count + 2).
inline void HashAhead(const std::uint8_t* p, std::size_t count, std::uint16_t* hashes) {
#if defined(__SSE2__)
    // Eight positions at a time in 16-bit lanes: the low 16 bits of the
    // product are all the hash needs.
    const __m128i zero = _mm_setzero_si128();
    const __m128i factor = _mm_set1_epi16(static_cast<short>(40543));
    for (std::size_t i = 0; i < count; i += 8) {
        const __m128i b0 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i)), zero);
        const __m128i b1 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i + 1)), zero);
        const __m128i b2 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i + 2)), zero);
        const __m128i v =
            _mm_xor_si128(_mm_xor_si128(_mm_slli_epi16(b0, 8), _mm_slli_epi16(b1, 4)), b2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(hashes + i),
                         _mm_srli_epi16(_mm_mullo_epi16(v, factor), 4));
    }
#else
    for (std::size_t i = 0; i < count; ++i)
        hashes[i] = static_cast<std::uint16_t>(Hash(p + i));
#endif
}

inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Number of equal leading bytes of a and b, at most limit (<= 18); reads no
// further than limit bytes from either.
inline std::size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
    std::size_t length = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time; the lowest differing byte ends the match.
        while (limit - length >= 8) {
            const std::uint64_t diff = Load64(a + length) ^ Load64(b + length);
            if (diff != 0)
                return length + static_cast<std::size_t>(std::countr_zero(diff) / 8);
            length += 8;
        }
    }
    while (length < limit && a[length] == b[length])
        ++length;
    return length;
}

// All of p[0..16) equal to p[0].
inline bool IsRun16(const std::uint8_t* p) {
    const std::uint64_t all = 0x0101010101010101ull * p[0];
    return ((Load64(p) ^ all) | (Load64(p + 8) ^ all)) == 0;
}

// MatchLength(a, b, 18) for two positions with 18 bytes readable, given the
// xor of their first eight bytes.
inline std::size_t MatchLength18(std::uint64_t diff, const std::uint8_t* a, const std::uint8_t* b) {
    if constexpr (std::endian::native != std::endian::little) {
        return MatchLength(a, b, kMaxCopy);
    } else {
        // Most copies end within the first word; that answer comes with
        // the shortest delay, as the next item waits for it.
        if (diff != 0)
            return static_cast<std::size_t>(std::countr_zero(diff) / 8);
        // countr_zero of 0 is 64, so an all-equal word counts as 8 bytes;
        // the bit above the last two bytes caps their count at 2.
        const auto m2 =
            static_cast<std::size_t>(std::countr_zero(Load64(a + 8) ^ Load64(b + 8)) / 8);
        const std::uint32_t last = (Load16(a + 16) ^ Load16(b + 16)) | 0x10000u;
        const auto m3 = static_cast<std::size_t>(std::countr_zero(last) / 8);
        // m2 / 8 is 1 exactly when the second word matched in full.
        return 8 + m2 + (m3 & (std::size_t{0} - m2 / 8));
    }
}

// The plain match search: GetMatch, and the compressor near a block's end;
// x + 2 < n.
inline TMatch FindMatch(const std::uint8_t* block, std::size_t x, std::size_t n,
                        std::int16_t* table) {
    const unsigned h = Hash(block + x);
    const int candidate = table[h];
    table[h] = static_cast<std::int16_t>(x);  // 32768 and above wrap to negative
    if (candidate == -1 || static_cast<int>(x) - candidate > static_cast<int>(kMaxDistance))
        return {};
    const std::size_t length =
        MatchLength(block + x, block + candidate, std::min(kMaxCopy, n - x));
    if (length < kMinCopy)
        return {};
    return {true, static_cast<std::size_t>(candidate), length};
}

// Length of the run of p[0] starting at p, at least 16 and at most limit.
inline std::size_t RunLength(const std::uint8_t* p, std::size_t limit) {
    std::size_t run = kMinRun;
    while (run < limit && p[run] == p[0])
        ++run;
    return run;
}

inline void PutRun(std::uint8_t* out, std::size_t run, std::uint8_t value) {
    const std::size_t stored = run - kMinRun;
    out[0] = 0;
    out[1] = static_cast<std::uint8_t>(stored >> 8);
    out[2] = static_cast<std::uint8_t>(stored);
    out[3] = value;
}

inline void PutCopy(std::uint8_t* out, std::size_t distance, std::size_t length) {
    const std::size_t word = distance * 16 + (length - kMinCopy);
    out[0] = static_cast<std::uint8_t>(word >> 8);
    out[1] = static_cast<std::uint8_t>(word);
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
                        std::size_t destCapacity, THashTable& table) {
    const std::size_t n = sourceSize;
    if (n > kLzrwBlockSize)
        throw ELzrw1KHCompressor("LZRW1KH : block of " + std::to_string(n) +
                                 " bytes is larger than 32783 bytes");
    if (destCapacity < LzrwCompressBound(n))
        throw ELzrw1KHCompressor("LZRW1KH : destination of " + std::to_string(destCapacity) +
                                 " bytes is too small for a block of " + std::to_string(n) + " bytes");
    table.Clear();
    std::int16_t* const hash = table.Entries();

    dest[0] = kLzrwFlagCompressed;
    std::uint8_t* controlAt = dest + 1;
    std::uint8_t* out = dest + 3;
    // The output may reach one byte past the input size before the block
    // falls back to the stored form.
    std::uint8_t* const outLimit = dest + n;
    // The item bits collect below a marker bit; the marker reaching bit 16
    // means the word holds 16 items.
    std::uint32_t control = 1;
    const std::uint8_t* in = source;

    auto putControl = [](std::uint8_t* at, std::uint32_t word) {
        at[0] = static_cast<std::uint8_t>(word >> 8);
        at[1] = static_cast<std::uint8_t>(word);
    };

    // The bulk of the block, while a longest copy fits before the end: word
    // loads and no bounds checks besides the output size. (Plain code rather
    // than shared helpers keeps the pointers and control in registers.)
    if (n >= kMaxCopy) {
        const std::uint8_t* const bulkEnd = source + (n - kMaxCopy);
        // Hashes computed ahead, position x at hashes[x % kHashAhead], valid
        // up to aheadEnd; taken from memory they shorten the chain of loads
        // that decides each item.
        alignas(16) std::uint16_t hashes[kHashAhead];
        std::uint32_t aheadEnd = 0;
        while (in <= bulkEnd && out <= outLimit) {
            if (control >= 0x10000) {
                putControl(controlAt, control);
                controlAt = out;
                out += 2;
                control = 1;
            }
            const std::uint64_t word = Load64(in);
            const auto first = static_cast<std::uint8_t>(word);
            // A run needs 16 equal bytes: the first eight all alike (the
            // word equals itself rotated by a byte) and the next eight the
            // same. One test, so a few equal bytes cost no mispredicted jump.
            if (((word ^ std::rotl(word, 8)) | (word ^ Load64(in + 8))) == 0) [[unlikely]] {
                const std::size_t run =
                    RunLength(in, std::min(kMaxRun, static_cast<std::size_t>(source + n - in)));
                PutRun(out, run, first);
                out += 4;
                in += run;
                control = (control << 1) | 1;
                continue;
            }
            const auto x = static_cast<std::uint32_t>(in - source);
            if (x >= aheadEnd) [[unlikely]] {
                // From x rounded down to a multiple of 8, so that groups of 8
                // never wrap in the ring; up to two bytes before the block's
                // end are read.
                const std::uint32_t start = x & ~7u;
                const std::size_t count = std::min(kHashAhead, (n - 2 - start) & ~std::size_t{7});
                const std::size_t split = std::min(count, kHashAhead - start % kHashAhead);
                HashAhead(source + start, split, hashes + start % kHashAhead);
                HashAhead(source + start + split, count - split, hashes);
                aheadEnd = start + static_cast<std::uint32_t>(count);
            }
            const unsigned h = hashes[x % kHashAhead];
            // The entry as unsigned 16 bits: -1 (empty) is 65535, positions
            // from 32768 on keep their value but are never copy sources.
            const std::uint32_t entry = static_cast<std::uint16_t>(hash[h]);
            hash[h] = static_cast<std::int16_t>(x);  // 32768 and above wrap to negative
            // Bytes are compared before the entry is judged, from the block
            // itself when the entry lies past it, so the loads need not wait.
            const std::uint8_t* const from = source + std::min(entry, x);
            const std::uint64_t diff = word ^ Load64(from);
            // A copy needs three equal bytes, a stored position below 32768
            // (which fails an empty entry too) and a distance of at most 4095.
            if (((diff & 0xFFFFFFu) | (entry >> 15) | ((x - entry) >> 12)) == 0) {
                const std::size_t length = MatchLength18(diff, in, from);
                PutCopy(out, x - entry, length);
                out += 2;
                in += length;
                control = (control << 1) | 1;
                continue;
            }
            *out++ = first;
            ++in;
            control <<= 1;
        }
    }
    // The last few bytes, step by step.
    const std::uint8_t* const end = source + n;
    while (in < end && out <= outLimit) {
        if (control >= 0x10000) {
            putControl(controlAt, control);
            controlAt = out;
            out += 2;
            control = 1;
        }
        const std::size_t x = static_cast<std::size_t>(in - source);
        const std::uint8_t first = *in;
        if (n - x >= kMinRun && IsRun16(in)) {
            const std::size_t run = RunLength(in, std::min(kMaxRun, n - x));
            PutRun(out, run, first);
            out += 4;
            in += run;
            control = (control << 1) | 1;
            continue;
        }
        TMatch match;
        if (x + 2 < n)
            match = FindMatch(source, x, n, hash);
        if (match.found) {
            PutCopy(out, x - match.candidate, match.length);
            out += 2;
            in += match.length;
            control = (control << 1) | 1;
        } else {
            *out++ = first;
            ++in;
            control <<= 1;
        }
    }

    const auto y = static_cast<std::size_t>(out - dest);
    if (y > n) {
        dest[0] = kLzrwFlagStored;
        if (n > 0)  // an empty source may be a null pointer
            std::memcpy(dest + 1, source, n);
        return n + 1;
    }
    // The last word's bits moved to the top.
    const int bits = std::bit_width(control) - 1;
    putControl(controlAt, control << (16 - bits));
    return y;
}

std::size_t Compression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                        std::size_t destCapacity) {
    return Compression(source, dest, sourceSize, destCapacity, ThreadHashTable());
}

std::size_t Decompression(const std::uint8_t* source, std::uint8_t* dest, std::size_t sourceSize,
                          std::size_t destCapacity) {
    const std::size_t s = sourceSize;
    if (s == 0)
        Corrupt("empty block");
    if (source[0] == kLzrwFlagStored) {
        if (s - 1 > destCapacity)
            Corrupt("stored data larger than the output buffer");
        if (s > 1)  // an empty destination may be a null pointer
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
    // Each round: the literals up to the next set control bit, then one copy
    // or run. Taking the literals as a group spares a hard-to-predict jump
    // per item.
    //
    // First the bulk of the block, while a whole round (control word, 16
    // literals, a 4-byte item) is readable and 16 literals plus a 24-byte
    // copy fit: only a copy's distance and a run's count need checking.
    while (s - x >= 22 && cap - y >= 40) {
        if (bits == 0) {
            control = (unsigned{source[x]} << 8) | source[x + 1];
            x += 2;
            bits = 16;
        }
        const auto literals = std::min<unsigned>(
            static_cast<unsigned>(std::countl_zero(static_cast<std::uint16_t>(control))), bits);
        std::memcpy(dest + y, source + x, 16);  // the bytes past `literals` are scratch
        x += literals;
        y += literals;
        control = (control << literals) & 0xFFFFu;
        bits -= literals;
        if (bits == 0)
            continue;
        const std::size_t distance = (std::size_t{source[x]} << 4) | (source[x + 1] >> 4);
        if (distance == 0) {
            const std::size_t count = ((std::size_t{source[x + 1]} << 8) | source[x + 2]) + kMinRun;
            if (count > cap - y)
                Corrupt("output larger than the buffer");
            std::memset(dest + y, source[x + 3], count);
            y += count;
            x += 4;
        } else {
            if (distance > y)
                Corrupt("copy reaches before the start of the output");
            const std::size_t length = (source[x + 1] & 15u) + kMinCopy;
            std::uint8_t* out = dest + y;
            const std::uint8_t* from = out - distance;
            if (distance >= 8) {
                std::memcpy(out, from, 8);
                std::memcpy(out + 8, from + 8, 8);
                std::memcpy(out + 16, from + 16, 8);
            } else {
                for (std::size_t i = 0; i < length; ++i)
                    out[i] = from[i];
            }
            y += length;
            x += 2;
        }
        control = (control << 1) & 0xFFFFu;
        --bits;
    }
    // Then the rest, checking every step.
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
        std::size_t literals =
            control == 0 ? bits
                         : static_cast<std::size_t>(std::countl_zero(static_cast<std::uint16_t>(control)));
        literals = std::min<std::size_t>({literals, bits, s - x});
        if (literals > cap - y)
            Corrupt("output larger than the buffer");
        if (s - x >= 16 && cap - y >= 16)
            std::memcpy(dest + y, source + x, 16);  // the bytes past `literals` are scratch
        else
            std::memcpy(dest + y, source + x, literals);
        x += literals;
        y += literals;
        control = (control << literals) & 0xFFFFu;
        bits -= static_cast<unsigned>(literals);
        if (bits == 0 || x == s)
            continue;

        // The top bit is set here: a copy or a run.
        if (s - x < 2)
            Corrupt("truncated item");
        const std::size_t distance = (std::size_t{source[x]} << 4) | (source[x + 1] >> 4);
        if (distance == 0) {
            if (s - x < 4)
                Corrupt("truncated run");
            const std::size_t count = ((std::size_t{source[x + 1]} << 8) | source[x + 2]) + kMinRun;
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
                std::memcpy(out + 16, from + 16, 8);
            } else {
                // Overlapping copies repeat the last `distance` bytes.
                for (std::size_t i = 0; i < length; ++i)
                    out[i] = from[i];
            }
            y += length;
            x += 2;
        }
        control = (control << 1) & 0xFFFFu;
        --bits;
    }
    return y;
}

}  // namespace vandrex
