#include "compress/compressstream.h"

#include "compress/lzrw1kh.h"
#include "platform/exceptions.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace vandrex;
using testdata::Bytes;

namespace {

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

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

std::uint32_t U32(const std::string& s, std::size_t at) {
    return std::uint8_t(s[at]) | std::uint8_t(s[at + 1]) << 8 | std::uint8_t(s[at + 2]) << 16 |
           std::uint32_t(std::uint8_t(s[at + 3])) << 24;
}

std::string LE32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string Container(const std::vector<std::string>& blocks) {
    std::string body;
    for (const std::string& b : blocks)
        body += LE32(std::uint32_t(b.size())) + b;
    return "PMCS10" + LE32(std::uint32_t(body.size())) + body;
}

// Walks the size/block pairs and checks they add up to the total.
std::vector<std::uint32_t> BlockSizes(const std::string& container) {
    std::vector<std::uint32_t> sizes;
    EXPECT_EQ(container.substr(0, 6), "PMCS10");
    std::size_t at = 10;
    while (at < container.size()) {
        sizes.push_back(U32(container, at));
        at += 4 + sizes.back();
    }
    EXPECT_EQ(at, container.size());
    EXPECT_EQ(U32(container, 6), container.size() - 10);
    return sizes;
}

template <typename F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(CompressStream, EmptyInputIsTheTenByteHeader) {
    const std::string container = Pack("");
    EXPECT_EQ(container, std::string("PMCS10\0\0\0\0", 10));
    EXPECT_EQ(Unpack(container), "");
}

TEST(CompressStream, BlocksAndTotals) {
    EXPECT_EQ(Pack(std::string(100, 'z')),
              "PMCS10" + LE32(11) + LE32(7) + std::string("\x40\x80\x00\x00\x00\x54z", 7));

    const std::string full = Str(testdata::Random(kLzrwBlockSize, 3));
    EXPECT_EQ(BlockSizes(Pack(full)), (std::vector<std::uint32_t>{32784}));
    EXPECT_EQ(BlockSizes(Pack(full + "x")), (std::vector<std::uint32_t>{32784, 2}));

    for (std::size_t n : {1u, 32782u, 32783u, 32784u, 65566u, 65567u, 200000u}) {
        const std::string input = Str(testdata::Mixed(n, std::uint32_t(n)));
        const std::string container = Pack(input);
        EXPECT_EQ(BlockSizes(container).size(), (n + kLzrwBlockSize - 1) / kLzrwBlockSize);
        EXPECT_EQ(Unpack(container), input) << n;
    }
}

TEST(CompressStream, WritesAtTheCurrentPositionAndEndsAtTheEnd) {
    std::stringstream out;
    out << "prefix";
    std::istringstream in("abcabcabc and more after the count");
    TCompressStream().CompressStream(in, out, 9);
    out << "suffix";
    const std::string s = out.str();
    EXPECT_EQ(s.substr(0, 6), "prefix");
    EXPECT_EQ(s.substr(6, 6), "PMCS10");
    EXPECT_EQ(U32(s, 12), 4u + 8u);
    EXPECT_EQ(s.substr(s.size() - 6), "suffix");
    // Only `count` bytes were taken from the source.
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, " and more after the count");
}

TEST(CompressStream, ShortSourceGivesACompleteContainerAndAnError) {
    const std::string input = Str(testdata::Text(40000, 1));
    std::istringstream in(input);
    std::stringstream out;
    EXPECT_THROW(TCompressStream().CompressStream(in, out, 100000), ELzrw1KHCompressor);
    EXPECT_EQ(BlockSizes(out.str()).size(), 2u);
    EXPECT_EQ(Unpack(out.str()), input);
}

TEST(DecompressStream, WrongSignatureWritesNothing) {
    for (const std::string bad : {std::string(""), std::string("PMC"), std::string("PMCS11") + LE32(0),
                                  std::string("pmcs10") + LE32(0)}) {
        std::istringstream in(bad);
        std::ostringstream out;
        try {
            TCompressStream().DecompressStream(in, out);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ELzrw1KHCompressor&) {
            ADD_FAILURE() << "wrong exception class";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Wrong file type");
        }
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(DecompressStream, DamagedContainersRaiseClearErrors) {
    const std::string ok = Pack(Str(testdata::Text(50000, 2)));
    const std::string run = std::string("\x40\x80\x00\x00\x00\x54z", 7);
    auto error = [](const std::string& container) {
        return ErrorOf([&] { Unpack(container); });
    };
    EXPECT_NE(error(ok.substr(0, 8)).find("ends inside the header"), std::string::npos);
    EXPECT_NE(error(ok.substr(0, ok.size() - 1)).find("ends inside block 2"), std::string::npos);
    EXPECT_NE(error(ok.substr(0, 12)).find("before the size of block 1"), std::string::npos);
    // Block sizes beyond the largest block, or zero.
    EXPECT_NE(error("PMCS10" + LE32(40000) + LE32(32785) + std::string(32785, '\x80'))
                  .find("size 32785 of block 1 is out of range"),
              std::string::npos);
    EXPECT_NE(error("PMCS10" + LE32(4) + LE32(0)).find("out of range"), std::string::npos);
    // Totals that do not match the blocks.
    EXPECT_NE(error("PMCS10" + LE32(10) + LE32(7) + run).find("total does not match"),
              std::string::npos);
    EXPECT_NE(error("PMCS10" + LE32(13) + LE32(7) + run + "xx").find("total does not match"),
              std::string::npos);
    EXPECT_NE(error("PMCS10" + LE32(0xFFFFFFFF) + LE32(7) + run).find("before the size of block 2"),
              std::string::npos);
    // An undecodable block names itself; the blocks before it are written.
    const std::string twoBlocks = Container({run, std::string("\x40\x80\x00\x10\x00", 5)});
    std::istringstream in(twoBlocks);
    std::ostringstream out;
    EXPECT_NE(ErrorOf([&] { TCompressStream().DecompressStream(in, out); })
                  .find("block 2: LZRW1KH : corrupt block (copy reaches before the start"),
              std::string::npos);
    EXPECT_EQ(out.str(), std::string(100, 'z'));
    // A block that decodes past the 32783-byte block buffer.
    std::string huge;
    huge += '\x40';
    huge += "\xFF\xFF";
    for (int i = 0; i < 9; ++i)
        huge += std::string("\x00\x0F\xEF", 3) + 'a';
    EXPECT_NE(error(Container({huge})).find("output larger than the buffer"), std::string::npos);
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

TEST(TestStream, DescribesEveryBlock) {
    const std::string input = Str(testdata::Text(32783, 1)) + Str(testdata::Random(100, 1));
    std::istringstream in(Pack(input));
    const auto blocks = TCompressStream().TestStream(in);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_FALSE(blocks[0].stored);
    EXPECT_EQ(blocks[0].unpackedSize, 32783u);
    EXPECT_LT(blocks[0].packedSize, 32783u);
    EXPECT_TRUE(blocks[1].stored);
    EXPECT_EQ(blocks[1].packedSize, 101u);
    EXPECT_EQ(blocks[1].unpackedSize, 100u);
}
