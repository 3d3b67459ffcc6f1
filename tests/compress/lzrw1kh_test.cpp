#include "compress/lzrw1kh.h"

#include "testdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <thread>

using namespace vandrex;
using testdata::Bytes;

// Lets a test make the 8192-byte table allocation fail.
static std::atomic<bool> gFailTableAllocation{false};
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (gFailTableAllocation && size == THashTable::kEntries * sizeof(std::int16_t))
        return nullptr;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size) {
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

Bytes Compress(const Bytes& input) {
    Bytes out(input.size() + kLzrwCompressSlack);
    out.resize(Compression(input.data(), out.data(), input.size(), out.size()));
    return out;
}

Bytes Decompress(const Bytes& block) {
    Bytes out(kLzrwBlockSize);
    out.resize(Decompression(block.data(), out.data(), block.size(), out.size()));
    return out;
}

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The compressor written plainly, one step per rule, to hold the optimised
// one to the same bytes. With signedPositions false it keeps positions of
// 32768 and above usable, the way a careless port would.
Bytes Reference(const Bytes& b, bool signedPositions = true) {
    const std::size_t n = b.size();
    std::vector<int> table(4096, -1);
    Bytes out(n + 6);
    out[0] = 0x40;
    std::size_t controlAt = 1, y = 3, x = 0;
    unsigned control = 0, bits = 0;
    while (x < n && y <= n) {
        if (bits == 16) {
            out[controlAt] = std::uint8_t(control >> 8);
            out[controlAt + 1] = std::uint8_t(control);
            controlAt = y;
            y += 2;
            bits = 0;
        }
        std::size_t run = 0;
        while (run < 4095 && x + run < n && b[x + run] == b[x])
            ++run;
        std::size_t length = 0;
        int candidate = -1;
        if (run < 16 && x + 2 < n) {
            const unsigned v = ((unsigned(b[x]) << 4 ^ b[x + 1]) << 4) ^ b[x + 2];
            const unsigned h = ((v * 40543) & 0xFFFF) >> 4;
            candidate = table[h];
            table[h] = signedPositions ? std::int16_t(x) : int(x);
            if (candidate != -1 && int(x) - candidate < 4096)
                while (length < 18 && x + length < n && b[x + length] == b[candidate + length])
                    ++length;
        }
        if (run >= 16) {
            out[y] = 0;
            out[y + 1] = std::uint8_t((run - 16) >> 8);
            out[y + 2] = std::uint8_t(run - 16);
            out[y + 3] = b[x];
            y += 4;
            x += run;
            control = control << 1 | 1;
        } else if (length >= 3) {
            const std::size_t word = (x - candidate) * 16 + (length - 3);
            out[y] = std::uint8_t(word >> 8);
            out[y + 1] = std::uint8_t(word);
            y += 2;
            x += length;
            control = control << 1 | 1;
        } else {
            out[y++] = b[x++];
            control <<= 1;
        }
        ++bits;
    }
    control <<= 16 - bits;
    out[controlAt] = std::uint8_t(control >> 8);
    out[controlAt + 1] = std::uint8_t(control);
    if (y > n)
        return Concat({{0x80}, b});
    out.resize(y);
    return out;
}

}  // namespace

TEST(Compression, KnownBlocksComeOutByteForByte) {
    // 100 equal bytes: one run (count - 16 = 0x54); 16 is the shortest run.
    EXPECT_EQ(Compress(Bytes(100, 'q')), (Bytes{0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 'q'}));
    EXPECT_EQ(Compress(Bytes(16, 7)), (Bytes{0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 7}));
    // A byte and 15 equal ones: two literals and a copy at distance 1, length 14.
    EXPECT_EQ(Compress(Concat({Of("A"), Bytes(15, 'B')})),
              (Bytes{0x40, 0x20, 0x00, 'A', 'B', 0x00, 0x1B}));
    EXPECT_EQ(Compress(Of("abcabcabc")), (Bytes{0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x33}));
    // Copies stop at 18 bytes; the table then holds the copy's start, so the
    // second copy reaches back 18.
    EXPECT_EQ(Compress(Of("abcabcabcabcabcabcabcabcabcabc")),
              (Bytes{0x40, 0x18, 0x00, 'a', 'b', 'c', 0x00, 0x3F, 0x01, 0x26}));
    // Runs stop at 4095; the byte left over is a literal.
    EXPECT_EQ(Compress(Bytes(4096, 1)), (Bytes{0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 1, 1}));
}

TEST(Compression, IncompressibleInputIsStored) {
    const Bytes random = testdata::Random(kLzrwBlockSize, 1);
    EXPECT_EQ(Compress(random), Concat({{0x80}, random}));
    EXPECT_EQ(Compress(Of("xy")), (Bytes{0x80, 'x', 'y'}));
    EXPECT_EQ(Compress(Bytes{}), Bytes{0x80});
    std::uint8_t flag[LzrwCompressBound(0)] = {};  // an empty source may come as a null pointer
    EXPECT_EQ(Compression(nullptr, flag, 0, sizeof flag), 1u);
    EXPECT_EQ(Decompression(flag, nullptr, 1, 0), 0u);

    Bytes big(kLzrwBlockSize + 1), out(big.size() + kLzrwCompressSlack);
    EXPECT_THROW(Compression(big.data(), out.data(), big.size(), out.size()), ELzrw1KHCompressor);
}

TEST(Compression, ADestinationBelowTheBoundIsRefusedUntouched) {
    const Bytes random = testdata::Random(1000, 7);
    for (std::size_t capacity : {std::size_t{0}, random.size(), random.size() + 1, LzrwCompressBound(1000) - 1}) {
        Bytes out(capacity + 16, 0xEE);  // room to see a stray write
        EXPECT_THROW(Compression(random.data(), out.data(), random.size(), capacity), ELzrw1KHCompressor)
            << capacity;
        EXPECT_EQ(out, Bytes(capacity + 16, 0xEE)) << capacity;
    }
    Bytes exact(LzrwCompressBound(random.size()));
    EXPECT_EQ(Compression(random.data(), exact.data(), random.size(), exact.size()), random.size() + 1);
}

TEST(Compression, LastControlWordIsShiftedToTheTop) {
    Bytes runs;
    for (int i = 0; i < 16; ++i)
        runs.insert(runs.end(), 16, std::uint8_t(i));
    // 16 items fill one control word exactly; no second word follows.
    EXPECT_EQ(Compress(runs).size(), 3u + 16 * 4);
    EXPECT_EQ(Compress(runs)[1], 0xFF);
    // Then a run, a literal and a run: bits 1 0 1 at the top of the next word.
    runs.insert(runs.end(), 16, 0xEE);
    runs.push_back('z');
    runs.insert(runs.end(), 20, 0xDD);
    const Bytes block = Compress(runs);
    ASSERT_EQ(block.size(), 3u + 16 * 4 + 2 + 9);
    EXPECT_EQ(block[3 + 64], 0xA0);
    EXPECT_EQ(block[3 + 64 + 1], 0x00);
    EXPECT_EQ(Decompress(block), runs);
}

TEST(Compression, PositionsFrom32768NeverServeAsCopySources) {
    // Text up to 32768, then a pattern new to the block that repeats itself:
    // with positions stored as signed 16-bit values it stays 15 literals.
    Bytes input = testdata::Text(32768, 5);
    for (int i = 0; i < 5; ++i)
        input.insert(input.end(), {'X', 'Y', 'Z'});
    const Bytes block = Compress(input);
    EXPECT_EQ(block, Reference(input));
    EXPECT_NE(block, Reference(input, false));
    EXPECT_EQ(Decompress(Reference(input, false)), input);
    EXPECT_EQ(Decompress(block), input);
}

TEST(Compression, MatchesThePlainAlgorithmAndRoundTrips) {
    std::vector<Bytes> inputs;
    for (std::size_t n : {1, 2, 3, 15, 16, 17, 18, 19, 4095, 4096, 4111, 4112})
        inputs.push_back(Bytes(n, 0x5A));
    for (std::uint32_t seed = 0; seed < 30; ++seed) {
        const std::size_t n = seed < 15 ? kLzrwBlockSize - seed % 3 : seed * 97;
        inputs.push_back(testdata::Mixed(n, seed));
        inputs.push_back(testdata::Text(n, seed));
        // Few distinct bytes: short runs, hash hits and near misses.
        Bytes few = testdata::Random(n, seed);
        for (auto& v : few)
            v %= 2 + seed % 4;
        inputs.push_back(few);
    }
    Bytes far = testdata::Random(4095, 8);  // a copy at the longest distance
    far.insert(far.end(), far.begin(), far.begin() + 300);
    inputs.push_back(far);
    for (const Bytes& input : inputs) {
        const Bytes block = Compress(input);
        ASSERT_EQ(block, Reference(input)) << "size " << input.size();
        ASSERT_EQ(Decompress(block), input) << "size " << input.size();
    }
}

TEST(Compression, ThreadsCompressingAtOnceGetTheSameBytes) {
    std::vector<Bytes> inputs, expected;
    for (std::uint32_t seed = 0; seed < 4; ++seed) {
        inputs.push_back(testdata::Mixed(kLzrwBlockSize, seed));
        expected.push_back(Compress(inputs.back()));
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < inputs.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 60; ++round)
                mismatches += Compress(inputs[t]) != expected[t];
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(Compression, NoMemoryForTheTableIsReported) {
    gFailTableAllocation = true;
    std::string message;
    std::thread([&] {  // a new thread allocates its table on first use
        try {
            Compress(Of("abcabcabc"));
        } catch (const ELzrw1KHCompressor& e) {
            message = e.what();
        }
    }).join();
    gFailTableAllocation = false;
    EXPECT_EQ(message, "LZRW1KH : no memory for HASH table");
}

TEST(GetMatch, RecordsEveryProbedPosition) {
    const Bytes b = Of("abcXabcYabc");
    THashTable table;
    EXPECT_FALSE(GetMatch(b.data(), 0, b.size(), table).found);
    const TMatch second = GetMatch(b.data(), 4, b.size(), table);
    EXPECT_TRUE(second.found);
    EXPECT_EQ(second.candidate, 0u);
    EXPECT_EQ(second.length, 3u);
    EXPECT_EQ(GetMatch(b.data(), 8, b.size(), table).candidate, 4u);
    EXPECT_FALSE(GetMatch(b.data(), 9, b.size(), table).found) << "too near the end";
}

TEST(Decompression, RejectsDamagedBlocks) {
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty block", {}},
        {"unknown flag", {0x41, 0x00, 0x00, 'a'}},
        {"truncated control word", {0x40, 0x80}},
        {"copy before the start", {0x40, 0x80, 0x00, 0x10, 0x00}},
        {"copy reaching past the start", {0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x30}},
        {"truncated copy", {0x40, 0x40, 0x00, 'a', 0x00}},
        {"truncated run", {0x40, 0x80, 0x00, 0x00, 0x00, 0x54}},
        {"truncated second control word", Concat({{0x40, 0, 0}, Bytes(16, 'a'), {0}})},
        {"control word without items", Concat({{0x40, 0, 0}, Bytes(16, 'a'), {0, 0}})},
    };
    for (const auto& [name, block] : cases) {
        Bytes out(48);
        EXPECT_THROW(Decompression(block.data(), out.data(), block.size(), out.size()),
                     ELzrw1KHCompressor)
            << name;
    }
    // An overlapping copy repeats the pattern (distance 2, length 7).
    EXPECT_EQ(Decompress({0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x24}), Of("ababababa"));
}

TEST(Decompression, NeverWritesPastTheCapacity) {
    const std::vector<Bytes> blocks = {
        {0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 'r'},  // run
        {0x40, 0x20, 0x00, 'A', 'B', 0x00, 0x1B},   // copy at distance 1
        Compress(testdata::Text(300, 3)),           // many items, long copies
        Concat({{0x80}, Bytes(40, 's')}),           // stored
    };
    for (const Bytes& block : blocks) {
        const std::size_t fits = Decompress(block).size();
        for (std::size_t capacity : {fits - 1, fits}) {
            Bytes out(capacity + 64, 0xCC);
            if (capacity < fits)
                EXPECT_THROW(Decompression(block.data(), out.data(), block.size(), capacity),
                             ELzrw1KHCompressor);
            else
                EXPECT_EQ(Decompression(block.data(), out.data(), block.size(), capacity), fits);
            EXPECT_EQ(Bytes(out.begin() + capacity, out.end()), Bytes(64, 0xCC));
        }
    }
}
