#include "compress/lzrw1kh.h"

#include "testdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <random>
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
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new[](std::size_t size) {
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

namespace {

Bytes Compress(const Bytes& input) {
    Bytes out(input.size() + kLzrwCompressSlack);
    out.resize(Compression(input.data(), out.data(), input.size()));
    return out;
}

Bytes Decompress(const Bytes& block, std::size_t capacity = kLzrwBlockSize) {
    Bytes out(capacity);
    out.resize(Decompression(block.data(), out.data(), block.size(), capacity));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Repeat(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// One decoded item of a compressed block, as the format lays it out.
struct Item {
    enum Kind { Literal, Copy, Run } kind;
    std::size_t outputAt;  // output position the item starts at
    std::size_t distance;
    std::size_t length;
};

struct Parsed {
    std::vector<Item> items;
    std::vector<std::uint16_t> controls;
};

// An independent reading of the block layout, used to check which items the
// compressor chose and that unused control bits stay 0.
Parsed Parse(const Bytes& block) {
    Parsed parsed;
    EXPECT_EQ(block.at(0), 0x40);
    std::size_t x = 1, y = 0;
    while (x < block.size()) {
        const std::uint16_t control = static_cast<std::uint16_t>(block[x] << 8 | block[x + 1]);
        parsed.controls.push_back(control);
        x += 2;
        for (int bit = 15; bit >= 0 && x < block.size(); --bit) {
            if (!(control & (1u << bit))) {
                parsed.items.push_back({Item::Literal, y, 0, 1});
                ++x, ++y;
                continue;
            }
            const std::size_t d = block[x] * 16u + (block[x + 1] >> 4);
            if (d == 0) {
                const std::size_t count = block[x + 1] * 256u + block[x + 2] + 16;
                parsed.items.push_back({Item::Run, y, 0, count});
                x += 4, y += count;
            } else {
                const std::size_t length = (block[x + 1] & 15u) + 3;
                parsed.items.push_back({Item::Copy, y, d, length});
                x += 2, y += length;
            }
        }
    }
    return parsed;
}

}  // namespace

TEST(Compression, KnownBlocksComeOutByteForByte) {
    // 100 equal bytes: one run of count 100 (stored as 84).
    EXPECT_EQ(Compress(Repeat(100, 'q')), (Bytes{0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 'q'}));
    // 16 equal bytes are the shortest run.
    EXPECT_EQ(Compress(Repeat(16, 7)), (Bytes{0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 7}));
    // A byte and 15 equal ones: two literals and a copy at distance 1, length 14.
    EXPECT_EQ(Compress(Concat({Of("A"), Repeat(15, 'B')})),
              (Bytes{0x40, 0x20, 0x00, 'A', 'B', 0x00, 0x1B}));
    // "abcabcabc": three literals and a copy at distance 3, length 6.
    EXPECT_EQ(Compress(Of("abcabcabc")),
              (Bytes{0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x33}));
    // Copies stop at 18 bytes; the table then holds the copy's start, not the
    // first "abc", so the second copy reaches back 18.
    EXPECT_EQ(Compress(Of("abcabcabcabcabcabcabcabcabcabc")),
              (Bytes{0x40, 0x18, 0x00, 'a', 'b', 'c', 0x00, 0x3F, 0x01, 0x26}));
    // Runs stop at 4095; the byte left over is a literal.
    EXPECT_EQ(Compress(Repeat(4095, 1)), (Bytes{0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 1}));
    EXPECT_EQ(Compress(Repeat(4096, 1)), (Bytes{0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 1, 1}));
}

TEST(Compression, IncompressibleInputIsStored) {
    const Bytes random = testdata::Random(kLzrwBlockSize, 1);
    const Bytes block = Compress(random);
    ASSERT_EQ(block.size(), kLzrwBlockSize + 1);
    EXPECT_EQ(block[0], 0x80);
    EXPECT_TRUE(std::equal(random.begin(), random.end(), block.begin() + 1));
    // Too short to gain anything.
    EXPECT_EQ(Compress(Bytes{}), Bytes{0x80});
    std::uint8_t flag = 0;
    EXPECT_EQ(Compression(nullptr, &flag, 0), 1u);
    EXPECT_EQ(flag, 0x80);
    EXPECT_EQ(Decompression(&flag, nullptr, 1, 0), 0u);
    EXPECT_EQ(Compress(Bytes{9}), (Bytes{0x80, 9}));
    EXPECT_EQ(Compress(Of("xy")), (Bytes{0x80, 'x', 'y'}));
}

TEST(Compression, LastControlWordIsShiftedToTheTop) {
    Bytes runs;
    for (int i = 0; i < 16; ++i)
        runs.insert(runs.end(), 16, static_cast<std::uint8_t>(i));
    // Exactly 16 items fill one control word; no second word follows.
    const Bytes sixteen = Compress(runs);
    ASSERT_EQ(sixteen.size(), 3u + 16 * 4);
    EXPECT_EQ(sixteen[1], 0xFF);
    EXPECT_EQ(sixteen[2], 0xFF);
    // A 17th item opens a second word with its one bit at the top.
    runs.insert(runs.end(), 16, 0xEE);
    const Bytes seventeen = Compress(runs);
    ASSERT_EQ(seventeen.size(), 3u + 16 * 4 + 2 + 4);
    EXPECT_EQ(seventeen[3 + 64], 0x80);
    EXPECT_EQ(seventeen[3 + 64 + 1], 0x00);
    // Then a literal and another run in the last group: bits 1 0 1, then zeros.
    runs.push_back('z');
    runs.insert(runs.end(), 20, 0xDD);
    const Bytes mixed = Compress(runs);
    EXPECT_EQ(mixed[3 + 64], 0xA0);
    EXPECT_EQ(mixed[3 + 64 + 1], 0x00);
    EXPECT_EQ(Decompress(mixed), runs);
}

TEST(Compression, PositionsFrom32768NeverServeAsCopySources) {
    // Text up to 32768, then a pattern new to the block that repeats itself:
    // with positions stored as signed 16-bit values it can only be literals.
    Bytes input = testdata::Text(32768, 5);
    for (int i = 0; i < 5; ++i)
        input.insert(input.end(), {'X', 'Y', 'Z'});
    ASSERT_EQ(input.size(), kLzrwBlockSize);
    const Bytes block = Compress(input);
    ASSERT_EQ(block[0], 0x40);
    EXPECT_EQ(Decompress(block), input);
    std::size_t tailLiterals = 0;
    for (const Item& item : Parse(block).items) {
        if (item.kind == Item::Copy)
            EXPECT_LT(item.outputAt - item.distance, 32768u) << "copy at " << item.outputAt;
        if (item.outputAt >= 32768) {
            EXPECT_EQ(item.kind, Item::Literal);
            ++tailLiterals;
        }
    }
    EXPECT_EQ(tailLiterals, 15u);

    // Earlier positions still serve later ones past 32768.
    Bytes echo = Concat({testdata::Text(32000, 6), testdata::Random(768, 6)});
    echo.insert(echo.end(), echo.end() - 100, echo.end() - 85);
    const Parsed parsed = Parse(Compress(echo));
    ASSERT_FALSE(parsed.items.empty());
    const Item& last = parsed.items.back();
    EXPECT_EQ(last.kind, Item::Copy);
    EXPECT_EQ(last.outputAt, 32768u);
    EXPECT_EQ(last.distance, 100u);
    EXPECT_EQ(last.length, 15u);
}

TEST(Compression, RoundTripsOverSizesAndPatterns) {
    std::vector<Bytes> inputs;
    for (std::size_t n : {0, 1, 2, 3, 15, 16, 17, 18, 19, 4095, 4096, 4097, 4111, 4112})
        inputs.push_back(Repeat(n, 0x5A));
    for (std::size_t n : {32782, 32783})
        for (std::uint32_t seed : {1u, 2u, 3u}) {
            inputs.push_back(testdata::Text(n, seed));
            inputs.push_back(testdata::Mixed(n, seed));
        }
    inputs.push_back(testdata::Random(32783, 4));
    // Distances near the 4095 limit and lengths of every size.
    Bytes far = testdata::Random(4095, 8);
    far.insert(far.end(), far.begin(), far.begin() + 300);
    inputs.push_back(far);
    Bytes lengths;
    for (int len = 1; len <= 40; ++len) {
        const Bytes r = testdata::Random(len, len);
        lengths.insert(lengths.end(), r.begin(), r.end());
        lengths.insert(lengths.end(), r.begin(), r.end());
    }
    inputs.push_back(lengths);
    for (const Bytes& input : inputs) {
        const Bytes block = Compress(input);
        EXPECT_LE(block.size(), input.size() + 1);
        EXPECT_EQ(Decompress(block), input) << "size " << input.size();
    }
}

TEST(Compression, RefusesBlocksLargerThan32783) {
    Bytes input(kLzrwBlockSize + 1), out(input.size() + kLzrwCompressSlack);
    EXPECT_THROW(Compression(input.data(), out.data(), input.size()), ELzrw1KHCompressor);
}

TEST(Compression, ThreadsCompressingAtOnceGetTheSameBytes) {
    std::vector<Bytes> inputs, expected;
    for (std::uint32_t seed = 0; seed < 4; ++seed) {
        inputs.push_back(testdata::Mixed(32783, seed));
        expected.push_back(Compress(inputs.back()));
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < inputs.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 60; ++round)
                if (Compress(inputs[t]) != expected[t])
                    ++mismatches;
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(Compression, NoMemoryForTheTableIsReported) {
    gFailTableAllocation = true;
    std::string message;
    // A new thread allocates its own table on its first compression.
    std::thread([&] {
        try {
            Compress(Of("abcabcabc"));
        } catch (const ELzrw1KHCompressor& e) {
            message = e.what();
        }
    }).join();
    try {
        THashTable table;
        ADD_FAILURE() << "allocation should have failed";
    } catch (const ELzrw1KHCompressor& e) {
        EXPECT_STREQ(e.what(), "LZRW1KH : no memory for HASH table");
    }
    gFailTableAllocation = false;
    EXPECT_EQ(message, "LZRW1KH : no memory for HASH table");
}

TEST(GetMatch, RecordsEveryProbedPosition) {
    const Bytes b = Of("abcXabcYabc");
    THashTable table;
    EXPECT_FALSE(GetMatch(b.data(), 0, b.size(), table).found);
    const TMatch second = GetMatch(b.data(), 4, b.size(), table);
    ASSERT_TRUE(second.found);
    EXPECT_EQ(second.candidate, 0u);
    EXPECT_EQ(second.length, 3u);
    // The table now points at 4, not 0.
    EXPECT_EQ(GetMatch(b.data(), 8, b.size(), table).candidate, 4u);
    // Too near the end to hash three bytes: no match, table untouched.
    EXPECT_FALSE(GetMatch(b.data(), 9, b.size(), table).found);
}

TEST(Decompression, RejectsDamagedBlocksWithoutOverrun) {
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty block", {}},
        {"unknown flag", {0x41, 0x00, 0x00, 'a'}},
        {"truncated control word", {0x40, 0x80}},
        {"copy before the start", {0x40, 0x80, 0x00, 0x10, 0x00}},
        {"copy reaching past the start", {0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x30}},
        {"truncated copy", {0x40, 0x40, 0x00, 'a', 0x00}},
        {"truncated run", {0x40, 0x80, 0x00, 0x00, 0x00, 0x54}},
        {"truncated second control word",
         Concat({{0x40, 0x00, 0x00}, Repeat(16, 'a'), {0x00}})},
        {"control word without items", Concat({{0x40, 0x00, 0x00}, Repeat(16, 'a'), {0x00, 0x00}})},
    };
    for (const auto& [name, block] : cases) {
        Bytes out(64, 0xCC);
        EXPECT_THROW(Decompression(block.data(), out.data() + 8, block.size(), 48),
                     ELzrw1KHCompressor)
            << name;
    }
}

TEST(Decompression, NeverWritesPastTheCapacity) {
    struct Case {
        Bytes block;
        std::size_t fits;  // the decoded size
    };
    const std::vector<Case> cases = {
        {{0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 'r'}, 100},                   // run
        {{0x40, 0x20, 0x00, 'A', 'B', 0x00, 0x1B}, 16},                     // short-distance copy
        {Compress(Of("0123456789abcdef0123456789abcdef01")), 34},           // long-distance copy
        {Compress(testdata::Text(300, 3)), 300},                            // many items
        {Concat({{0x80}, Repeat(40, 's')}), 40},                            // stored
        {{0x40, 0x00, 0x00, 'a', 'b', 'c'}, 3},                             // literals
    };
    for (const Case& c : cases) {
        for (std::size_t capacity : {c.fits - 1, c.fits}) {
            Bytes out(capacity + 64, 0xCC);
            if (capacity < c.fits) {
                EXPECT_THROW(Decompression(c.block.data(), out.data(), c.block.size(), capacity),
                             ELzrw1KHCompressor);
            } else {
                EXPECT_EQ(Decompression(c.block.data(), out.data(), c.block.size(), capacity),
                          c.fits);
            }
            for (std::size_t i = capacity; i < out.size(); ++i)
                ASSERT_EQ(out[i], 0xCC) << "byte " << i << " past a capacity of " << capacity;
        }
    }
}

TEST(Decompression, AcceptsBlocksTheCompressorNeverMakes) {
    // A flag and a control word with no items decode to nothing.
    EXPECT_TRUE(Decompress(Bytes{0x40, 0x00, 0x00}).empty());
    // Overlapping copy of distance 2 repeats the pair.
    EXPECT_EQ(Decompress(Bytes{0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x24}), Of("ababababa"));
}

namespace {

// The compressor written plainly, one step per rule, to hold the optimised
// one to the same output bytes.
Bytes ReferenceCompression(const Bytes& b) {
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
        if (run >= 16) {
            out[y] = 0;
            out[y + 1] = std::uint8_t((run - 16) >> 8);
            out[y + 2] = std::uint8_t(run - 16);
            out[y + 3] = b[x];
            y += 4;
            x += run;
            control = (control << 1 | 1) & 0xFFFF;
        } else {
            std::size_t length = 0;
            int candidate = -1;
            if (x + 2 < n) {
                const unsigned v = ((unsigned(b[x]) << 4 ^ b[x + 1]) << 4) ^ b[x + 2];
                const unsigned h = ((v * 40543) & 0xFFFF) >> 4;
                candidate = table[h];
                table[h] = std::int16_t(x);
                if (candidate != -1 && int(x) - candidate < 4096)
                    while (length < 18 && x + length < n && b[x + length] == b[candidate + length])
                        ++length;
            }
            if (length >= 3) {
                const std::size_t word = (x - candidate) * 16 + (length - 3);
                out[y] = std::uint8_t(word >> 8);
                out[y + 1] = std::uint8_t(word);
                y += 2;
                x += length;
                control = (control << 1 | 1) & 0xFFFF;
            } else {
                out[y++] = b[x++];
                control = (control << 1) & 0xFFFF;
            }
        }
        ++bits;
    }
    control <<= 16 - bits;
    out[controlAt] = std::uint8_t(control >> 8);
    out[controlAt + 1] = std::uint8_t(control);
    if (y > n) {
        out.assign(1, 0x80);
        out.insert(out.end(), b.begin(), b.end());
    } else {
        out.resize(y);
    }
    return out;
}

}  // namespace

TEST(Compression, MatchesThePlainAlgorithmByteForByte) {
    std::vector<Bytes> inputs;
    for (std::uint32_t seed = 0; seed < 40; ++seed) {
        const std::size_t n = seed < 20 ? kLzrwBlockSize - seed % 3 : 1 + seed * 97;
        inputs.push_back(testdata::Mixed(n, seed));
        inputs.push_back(testdata::Text(n, seed));
    }
    // Few distinct bytes: many short runs, hash hits and near misses.
    std::mt19937 gen(7);
    for (int i = 0; i < 20; ++i) {
        Bytes b(kLzrwBlockSize);
        for (auto& v : b)
            v = std::uint8_t(gen() % (2 + i % 4));
        inputs.push_back(b);
    }
    for (std::size_t n = 0; n < 60; ++n)
        inputs.push_back(testdata::Text(n, std::uint32_t(n)));
    for (const Bytes& input : inputs)
        ASSERT_EQ(Compress(input), ReferenceCompression(input)) << "size " << input.size();
}
