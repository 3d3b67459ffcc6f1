#include "compress/compressstream.h"

#include "compress/lzrw1kh.h"
#include "platform/exceptions.h"
#include "testdata.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

using namespace vandrex;

namespace {

std::string Text(std::size_t n, std::uint32_t seed) {
    const auto b = testdata::Mixed(n, seed);
    return std::string(b.begin(), b.end());
}

std::string Pack(const std::string& input) {
    std::istringstream in(input);
    std::stringstream out;
    TCompressStream().CompressStream(in, out, input.size());
    return out.str();
}

std::string Unpack(const std::string& container) {
    std::istringstream in(container);
    std::ostringstream out;
    TCompressStream().DecompressStream(in, out);
    return out.str();
}

std::string LE32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::uint32_t U32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::uint8_t(s[at + i]);
    return v;
}

// The block sizes, checking that they add up to the total.
std::vector<std::uint32_t> BlockSizes(const std::string& container) {
    std::vector<std::uint32_t> sizes;
    std::size_t at = 10;
    while (at < container.size()) {
        sizes.push_back(U32(container, at));
        at += 4 + sizes.back();
    }
    EXPECT_EQ(at, container.size());
    EXPECT_EQ(U32(container, 6), container.size() - 10);
    return sizes;
}

// What a damaged container reports.
std::string ErrorOf(const std::string& container) {
    try {
        Unpack(container);
    } catch (const ELzrw1KHCompressor& e) {
        return e.what();
    }
    return "no ELzrw1KHCompressor";
}

const std::string kRun("\x40\x80\x00\x00\x00\x54z", 7);  // 100 times 'z'

}  // namespace

TEST(CompressStream, HeaderBlocksAndTotals) {
    EXPECT_EQ(Pack(""), std::string("PMCS10\0\0\0\0", 10));
    EXPECT_EQ(Unpack(Pack("")), "");
    EXPECT_EQ(Pack(std::string(100, 'z')), "PMCS10" + LE32(11) + LE32(7) + kRun);

    const auto random = testdata::Random(kLzrwBlockSize, 3);
    const std::string full(random.begin(), random.end());
    EXPECT_EQ(BlockSizes(Pack(full)), std::vector<std::uint32_t>{32784});
    EXPECT_EQ(BlockSizes(Pack(full + "x")), (std::vector<std::uint32_t>{32784, 2}));
    for (std::size_t n : {32782u, 32783u, 32784u, 65566u, 200000u}) {
        const std::string input = Text(n, std::uint32_t(n));
        const std::string container = Pack(input);
        EXPECT_EQ(BlockSizes(container).size(), (n + kLzrwBlockSize - 1) / kLzrwBlockSize);
        EXPECT_EQ(Unpack(container), input) << n;
    }
}

TEST(CompressStream, TakesCountBytesAndLeavesTheStreamsInPlace) {
    std::stringstream out;
    out << "prefix";
    std::istringstream in("abcabcabc and the rest");
    TCompressStream().CompressStream(in, out, 9);
    out << "suffix";
    const std::string s = out.str();
    EXPECT_EQ(s.substr(0, 12), "prefixPMCS10");
    EXPECT_EQ(U32(s, 12), 4u + 8u);
    EXPECT_EQ(s.substr(s.size() - 6), "suffix");
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, " and the rest");
}

TEST(CompressStream, ShortSourceGivesACompleteContainerAndAnError) {
    const std::string input = Text(40000, 1);
    std::istringstream in(input);
    std::stringstream out;
    EXPECT_THROW(TCompressStream().CompressStream(in, out, 100000), ELzrw1KHCompressor);
    EXPECT_EQ(BlockSizes(out.str()).size(), 2u);
    EXPECT_EQ(Unpack(out.str()), input);
}

TEST(DecompressStream, WrongSignatureWritesNothing) {
    for (const std::string& bad : {std::string("PMC"), "PMCS11" + LE32(0), "pmcs10" + LE32(0)}) {
        std::istringstream in(bad);
        std::ostringstream out;
        try {
            TCompressStream().DecompressStream(in, out);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ELzrw1KHCompressor&) {
            ADD_FAILURE() << "the wrong type is the base exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Wrong file type");
        }
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(DecompressStream, DamagedContainersRaiseClearErrors) {
    const std::string ok = Pack(Text(50000, 2));
    const auto has = [](const std::string& text) { return testing::HasSubstr(text); };
    EXPECT_THAT(ErrorOf(ok.substr(0, 8)), has("ends inside the header"));
    EXPECT_THAT(ErrorOf(ok.substr(0, 12)), has("before the size of block 1"));
    EXPECT_THAT(ErrorOf(ok.substr(0, ok.size() - 1)), has("ends inside block 2"));
    EXPECT_THAT(ErrorOf("PMCS10" + LE32(40000) + LE32(32785) + std::string(32785, '\x80')),
                has("size 32785 of block 1 is out of range"));
    EXPECT_THAT(ErrorOf("PMCS10" + LE32(4) + LE32(0)), has("out of range"));
    EXPECT_THAT(ErrorOf("PMCS10" + LE32(10) + LE32(7) + kRun), has("total does not match"));
    EXPECT_THAT(ErrorOf("PMCS10" + LE32(13) + LE32(7) + kRun + "xx"), has("total does not match"));
    EXPECT_THAT(ErrorOf("PMCS10" + LE32(0xFFFFFFFF) + LE32(7) + kRun),
                has("before the size of block 2"));
    // Nine runs of 4095 decode past the 32783-byte block buffer.
    std::string huge("\x40\xFF\xFF", 3);
    for (int i = 0; i < 9; ++i)
        huge += std::string("\x00\x0F\xEF", 3) + 'a';
    EXPECT_THAT(ErrorOf("PMCS10" + LE32(4 + 39) + LE32(39) + huge),
                has("output larger than the buffer"));

    // An undecodable block names itself; the blocks before it are written.
    const std::string bad("\x40\x80\x00\x10\x00", 5);
    std::istringstream in("PMCS10" + LE32(4 + 7 + 4 + 5) + LE32(7) + kRun + LE32(5) + bad);
    std::ostringstream out;
    EXPECT_THROW(TCompressStream().DecompressStream(in, out), ELzrw1KHCompressor);
    EXPECT_EQ(out.str(), std::string(100, 'z'));
    EXPECT_THAT(ErrorOf(in.str()), has("block 2: LZRW1KH : corrupt block (copy reaches before"));
}

TEST(DecompressStream, StopsAtTheEndOfTheContainer) {
    std::istringstream in(Pack("abcabcabc") + "trailing");
    std::ostringstream out;
    TCompressStream().DecompressStream(in, out);
    EXPECT_EQ(out.str(), "abcabcabc");
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "trailing");
}
