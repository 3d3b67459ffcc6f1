#include "imaging/gifwriter.h"

#include <gtest/gtest.h>

#include <random>

#include "giflib_check.h"
#include "tests/imaging/hashtable.h"
#include "imaging/octquant.h"
#include "platform/exceptions.h"

namespace vandrex {
namespace {

using test::DecodeWithGiflib;
using test::THashTable;
using test::ReadCodes;
using test::ReadSubBlocks;

std::vector<int> CodeValues(const std::vector<test::TCode>& codes) {
    std::vector<int> v;
    for (const auto& c : codes) v.push_back(c.Code);
    return v;
}

std::vector<test::TCode> Codes(bool lzw, const std::vector<std::uint8_t>& pixels, int w, int h,
                               bool interlaced = false) {
    std::vector<std::uint8_t> out;
    if (lzw)
        WriteLzwImageData(out, pixels.data(), w, h, interlaced);
    else
        WriteRunLengthImageData(out, pixels.data(), w, h);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out.back(), 0);
    return ReadCodes(ReadSubBlocks(out, 0).Data);
}

// What a decoder must show for a picture: its own colours when it has at most
// 255 of them, else the quantizer's.
std::vector<TRGB> ExpectedColors(const TBitmap& picture) {
    std::vector<std::uint8_t> indices;
    TRGB palette[256] = {};
    QuantizeForGif(picture, 1, 255, indices, palette);
    std::vector<TRGB> colors;
    for (std::uint8_t i : indices) colors.push_back(palette[i]);
    return colors;
}

TEST(GifCodeStreams, OnePixelLzwIsClearPixelEndInNineBits) {
    const auto codes = Codes(true, {7}, 1, 1);
    ASSERT_EQ(codes.size(), 3u);
    EXPECT_EQ(CodeValues(codes), (std::vector<int>{256, 7, 257}));
    for (const auto& c : codes) EXPECT_EQ(c.Bits, 9);
}

TEST(GifCodeStreams, EmptyPictureIsClearAndEnd) {
    EXPECT_EQ(CodeValues(Codes(true, {}, 0, 0)), (std::vector<int>{256, 257}));
}

TEST(GifCodeStreams, UniformRunLengthUsesGrowingRunCodes) {
    // Runs of 1, 2, 3 and 4 pixels: the pixel, then 258, 259, 260.
    const std::vector<std::uint8_t> pixels(10, 5);
    EXPECT_EQ(CodeValues(Codes(false, pixels, 10, 1)), (std::vector<int>{256, 5, 258, 259, 260, 257}));
    // A run of 12 = 1 + 2 + 3 + 4 + 2: the last part reuses the code for 2.
    const std::vector<std::uint8_t> twelve(12, 9);
    EXPECT_EQ(CodeValues(Codes(false, twelve, 4, 3)), (std::vector<int>{256, 9, 258, 259, 260, 258, 257}));
}

TEST(GifCodeStreams, RunLengthCodesDifferentPixelsPlainly) {
    EXPECT_EQ(CodeValues(Codes(false, {1, 2, 3, 3}, 4, 1)), (std::vector<int>{256, 1, 2, 3, 3, 257}));
}

TEST(GifCodeStreams, InterlacedThreeRowsAreCodedInOrderZeroTwoOne) {
    EXPECT_EQ(CodeValues(Codes(true, {1, 2, 3}, 1, 3, true)), (std::vector<int>{256, 1, 3, 2, 257}));
    EXPECT_EQ(CodeValues(Codes(true, {1, 2, 3}, 1, 3, false)), (std::vector<int>{256, 1, 2, 3, 257}));
}

TEST(GifCodeStreams, LzwClearsInTwelveBitsAfterCode4094) {
    const TBitmap noise = test::NoisePicture(100, 100, 255, 1);
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) pixels.push_back(std::uint8_t(1 + (noise.Row(y)[x * 3] % 255)));
    const auto codes = Codes(true, pixels, 100, 100);
    std::vector<std::size_t> clears;
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (codes[i].Code == 256) clears.push_back(i);
    ASSERT_GE(clears.size(), 2u);
    EXPECT_EQ(clears[0], 0u);
    // Codes 258..4094 are assigned by 3837 misses; the next miss clears.
    EXPECT_EQ(clears[1] - clears[0] - 1, 3838u);
    EXPECT_EQ(codes[clears[1]].Bits, 12);
    EXPECT_EQ(codes[clears[1] + 1].Bits, 9);
    EXPECT_EQ(codes.back().Code, 257);
}

TEST(GifCodeStreams, SubBlocksHold254BytesForLzwAnd255ForRunLength) {
    const TBitmap noise = test::NoisePicture(120, 90, 200, 2);
    for (bool lzw : {true, false}) {
        const auto file = EncodeGif(noise, {}, lzw, {});
        const auto blocks = ReadSubBlocks(file, test::kSingleImageData);
        const int full = lzw ? 254 : 255;
        ASSERT_GT(blocks.Lengths.size(), 2u);
        for (std::size_t i = 0; i + 1 < blocks.Lengths.size(); ++i) EXPECT_EQ(blocks.Lengths[i], full);
        EXPECT_LE(blocks.Lengths.back(), full);
        EXPECT_GT(blocks.Lengths.back(), 0);
    }
}

TEST(GifFileLayout, SingleImageBytes) {
    TBitmap picture(2, 1);
    picture.SetColor(0, 0, {200, 100, 50});
    picture.SetColor(1, 0, {1, 2, 3});
    const auto file = EncodeGif(picture, {10, 20, 30}, false, {});
    const std::vector<std::uint8_t> head(file.begin(), file.begin() + 13);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0xF7, 0, 0}));
    EXPECT_EQ(file[13], 10);
    EXPECT_EQ(file[14], 20);
    EXPECT_EQ(file[15], 30);
    const std::vector<std::uint8_t> rest(file.begin() + 13 + 768, file.begin() + test::kSingleImageData + 1);
    EXPECT_EQ(rest, (std::vector<std::uint8_t>{0x21, 0xF9, 4, 0x08, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 2, 0, 1, 0,
                                                0x00, 8}));
    EXPECT_EQ(file.back(), 0x3B);
}

TEST(GifFileLayout, InterlaceOnlyWithLzwAndControlFields) {
    const TBitmap picture = test::NoisePicture(5, 9, 3, 3);
    TGifFrameOptions options;
    options.Interlaced = true;
    options.Transparent = true;
    options.Delay = 0x1234;
    options.Left = 3;
    options.Top = 0x102;
    const auto plain = EncodeGif(picture, {}, false, options);
    const auto lzw = EncodeGif(picture, {}, true, options);
    const std::size_t gce = 13 + 768;
    EXPECT_EQ(plain[gce + 3], 0x09);
    EXPECT_EQ(plain[gce + 4], 0x34);
    EXPECT_EQ(plain[gce + 5], 0x12);
    EXPECT_EQ(plain[gce + 9], 3);
    EXPECT_EQ(plain[gce + 11], 2);
    EXPECT_EQ(plain[gce + 12], 1);
    EXPECT_EQ(plain[gce + 17], 0x00);
    EXPECT_EQ(lzw[gce + 17], 0x40);
}

struct TRoundTrip {
    const char* Name;
    TBitmap Picture;
};

std::vector<TRoundTrip> RoundTripPictures() {
    TBitmap uniform(200, 100);
    uniform.Fill({12, 34, 56});
    TBitmap stripes(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) stripes.SetColor(x, y, x < 40 ? TRGB{0, 0, 0} : TRGB{255, 255, 255});
    return {{"one pixel", test::NoisePicture(1, 1, 1, 4)},
            {"three by three", test::NoisePicture(3, 3, 9, 5)},
            {"odd size", test::NoisePicture(37, 23, 40, 6)},
            {"uniform", uniform},
            {"long runs", stripes},
            {"noise", test::NoisePicture(300, 200, 250, 7)},
            {"photo", test::PhotoPicture(160, 120, 8)},
            {"tall", test::NoisePicture(2, 301, 5, 9)}};
}

TEST(GifGiflibCheck, EveryCodingDecodesToTheQuantizedPicture) {
    for (const auto& sample : RoundTripPictures()) {
        const std::vector<TRGB> expected = ExpectedColors(sample.Picture);
        for (bool lzw : {true, false})
            for (bool interlaced : {false, true}) {
                SCOPED_TRACE(std::string(sample.Name) + (lzw ? " lzw" : " rle") + (interlaced ? " interlaced" : ""));
                TGifFrameOptions options;
                options.Interlaced = interlaced;
                const auto gif = DecodeWithGiflib(EncodeGif(sample.Picture, {}, lzw, options));
                ASSERT_EQ(gif.Frames.size(), 1u);
                EXPECT_EQ(gif.ScreenWidth, sample.Picture.Width());
                EXPECT_EQ(gif.ScreenHeight, sample.Picture.Height());
                EXPECT_EQ(gif.Frames[0].Interlaced, interlaced && lzw);
                EXPECT_TRUE(gif.Frames[0].Pixels == expected);
            }
    }
}

TEST(GifGiflibCheck, PicturesOfFewColoursKeepEveryColourExactly) {
    const TBitmap picture = test::NoisePicture(50, 40, 255, 10);
    const auto gif = DecodeWithGiflib(EncodeGif(picture, {}, true, {}));
    ASSERT_EQ(gif.Frames.size(), 1u);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) ASSERT_EQ(gif.Frames[0].Pixels[y * 50 + x], picture.Color(x, y));
    for (std::uint8_t index : gif.Frames[0].Indices) ASSERT_GE(index, 1);
}

TEST(GifGiflibCheck, LongUniformRunsAcrossManyClears) {
    // 2 million equal pixels need the run-length coder's Clear and repeat
    // choices many times over.
    TBitmap picture(2000, 1000);
    picture.Fill({9, 8, 7});
    for (int x = 0; x < 2000; x += 7) picture.SetColor(x, 500, {1, 1, 1});
    const auto gif = DecodeWithGiflib(EncodeGif(picture, {}, false, {}));
    ASSERT_EQ(gif.Frames.size(), 1u);
    EXPECT_TRUE(gif.Frames[0].Pixels == ExpectedColors(picture));
}

std::vector<std::uint8_t> Animate(bool lzw, const std::vector<TBitmap>& frames) {
    std::vector<std::uint8_t> file = EncodeGif(frames[0], {255, 255, 255}, lzw, {});
    for (std::size_t i = 1; i < frames.size(); ++i) {
        TGifInsertOptions options;
        options.Interlaced = true;
        options.Transparent = true;
        options.Position = CountGifImages(file);
        int images = 0;
        file = InsertGifFrame(file, frames[i], {255, 255, 255}, lzw, options, &images);
        EXPECT_EQ(images, int(i) + 1);
    }
    return file;
}

TEST(GifFrameInsertion, AnimationsDecodeFrameByFrameWithOneLoopExtension) {
    const std::vector<TBitmap> frames = {test::NoisePicture(30, 20, 14, 11), test::PhotoPicture(41, 25, 12),
                                         test::NoisePicture(1, 1, 1, 13), test::NoisePicture(17, 33, 7, 14)};
    for (bool lzw : {true, false}) {
        SCOPED_TRACE(lzw ? "lzw" : "rle");
        const auto file = Animate(lzw, frames);
        EXPECT_EQ(test::CountOccurrences(file, "NETSCAPE2.0"), 1);
        EXPECT_EQ(CountGifImages(file), 4);
        const auto gif = DecodeWithGiflib(file);
        ASSERT_EQ(gif.Frames.size(), 4u);
        EXPECT_EQ(gif.ScreenWidth, 41);
        EXPECT_EQ(gif.ScreenHeight, 33);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_TRUE(gif.Frames[i].Pixels == ExpectedColors(frames[i])) << "frame " << i;
            EXPECT_EQ(gif.Frames[i].Width, frames[i].Width());
            EXPECT_EQ(gif.Frames[i].GraphicControl, i == 0 ? 0x08 : 0x09);
            EXPECT_EQ(gif.Frames[i].Interlaced, i > 0 && lzw);
        }
        // The loop extension sits right after the global colour table.
        const std::size_t at = 13 + 768;
        EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + at, file.begin() + at + 19),
                  (std::vector<std::uint8_t>{0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3,
                                             1, 0, 0, 0}));
    }
}

TEST(GifFrameInsertion, PositionZeroPutsTheFrameFirst) {
    const TBitmap a = test::NoisePicture(4, 4, 2, 15), b = test::NoisePicture(6, 2, 3, 16);
    const auto file = Animate(true, {a, b});
    TGifInsertOptions options;
    options.Position = 0;
    int images = 0;
    const TBitmap c = test::NoisePicture(3, 3, 4, 17);
    const auto gif = DecodeWithGiflib(InsertGifFrame(file, c, {}, true, options, &images));
    EXPECT_EQ(images, 3);
    ASSERT_EQ(gif.Frames.size(), 3u);
    EXPECT_TRUE(gif.Frames[0].Pixels == ExpectedColors(c));
    EXPECT_TRUE(gif.Frames[1].Pixels == ExpectedColors(a));
    EXPECT_TRUE(gif.Frames[2].Pixels == ExpectedColors(b));
}

TEST(GifFrameInsertion, ScreenSizeFollowsTheRequests) {
    const auto file = EncodeGif(test::NoisePicture(10, 10, 2, 18), {}, false, {});
    const TBitmap big = test::NoisePicture(20, 5, 2, 19);
    TGifInsertOptions options;
    options.Position = 1;
    options.Left = 4;
    options.Top = 8;
    auto gif = DecodeWithGiflib(InsertGifFrame(file, big, {}, false, options));
    EXPECT_EQ(gif.ScreenWidth, 24);
    EXPECT_EQ(gif.ScreenHeight, 13);
    options.WidthRequest = 50;
    options.HeightRequest = 0;
    const auto kept = InsertGifFrame(file, big, {}, false, options);
    EXPECT_EQ(kept[6] | kept[7] << 8, 10);
    EXPECT_EQ(kept[8] | kept[9] << 8, 10);
}

TEST(GifFrameInsertion, RejectsWhatIsNotAGif) {
    const TBitmap frame = test::NoisePicture(3, 3, 2, 20);
    auto expectBad = [&](std::vector<std::uint8_t> bytes) {
        try {
            InsertGifFrame(bytes, frame, {}, true, {});
            ADD_FAILURE() << "accepted";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "unrecognized GIF");
        }
    };
    expectBad({});
    expectBad({'G', 'I', 'F'});
    expectBad(std::vector<std::uint8_t>(100, 'x'));
    // A global colour table longer than the file.
    expectBad({'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0xF7, 0, 0, 1, 2, 3});
}

TEST(GifFrameInsertion, TruncatedFilesFailCleanlyOrEndAtABlock) {
    const auto file = Animate(true, {test::NoisePicture(9, 7, 5, 21), test::NoisePicture(5, 5, 3, 22)});
    const TBitmap frame = test::NoisePicture(2, 2, 2, 23);
    int accepted = 0;
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
        const std::span<const std::uint8_t> part(file.data(), cut);
        try {
            TGifInsertOptions options;
            options.Position = 99;  // never reached: only the walk is exercised
            InsertGifFrame(part, frame, {}, true, options);
            ++accepted;
        } catch (const EInvalidGraphic&) {
        }
    }
    // Only cuts between blocks walk to the end.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 12);
}

TEST(GifHashTable, SlotsAndProbes) {
    EXPECT_EQ(THashTable::HashSlot(0x12345), int((0x12345 ^ 0x1234) % 8009));
    EXPECT_EQ(THashTable::ProbeNext(0), 8008);
    EXPECT_EQ(THashTable::ProbeNext(100), 200);
    EXPECT_EQ(THashTable::ProbeNext(5000), 1991);
    THashTable table;
    std::mt19937 rng(24);
    std::vector<std::uint32_t> keys;
    for (int code = 258; code < 4095; ++code) {
        const std::uint32_t key = rng() % (4095u * 256u);
        if (table.Lookup(key) >= 0) continue;
        table.Insert(key, code);
        keys.push_back(key);
        ASSERT_EQ(table.Lookup(key), code);
    }
    EXPECT_GT(keys.size(), 3700u);
    for (std::size_t i = 0; i < keys.size(); ++i) ASSERT_GE(table.Lookup(keys[i]), 258);
    table.Clear();
    EXPECT_EQ(table.Lookup(keys[0]), -1);
}

}  // namespace
}  // namespace vandrex

namespace vandrex {
namespace {

using test::THashTable;

// The LZW coder written plainly on THashTable, step by step: the fast coder
// must emit exactly these codes.
std::vector<int> PlainLzwCodes(const std::vector<std::uint8_t>& pixels, int w, int h, bool interlaced) {
    std::vector<int> codes;
    THashTable table;
    int next = 0;
    auto clear = [&] {
        table.Clear();
        next = 258;
        codes.push_back(256);
    };
    clear();
    std::vector<int> rows;
    if (interlaced) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < h; y += step) rows.push_back(y);
    } else {
        for (int y = 0; y < h; ++y) rows.push_back(y);
    }
    if (w <= 0 || h <= 0) {
        codes.push_back(257);
        return codes;
    }
    bool first = true;
    int prefix = 0;
    for (int y : rows) {
        for (int x = 0; x < w; ++x) {
            const int c = pixels[std::size_t(y) * w + x];
            if (first) {
                prefix = c;
                first = false;
                continue;
            }
            const std::uint32_t key = std::uint32_t(prefix) * 256 + c;
            const int code = table.Lookup(key);
            if (code >= 0) {
                prefix = code;
                continue;
            }
            codes.push_back(prefix);
            if (next >= 4095)
                clear();
            else
                table.Insert(key, next++);
            prefix = c;
        }
    }
    codes.push_back(prefix);
    codes.push_back(257);
    return codes;
}

TEST(GifCodeStreams, LzwCodesMatchThePlainCoderOnTheStringTable) {
    std::mt19937 rng(7);
    const int sizes[][2] = {{1, 1}, {2, 3}, {17, 9}, {64, 64}, {128, 96}, {301, 203}, {640, 480}};
    for (int alphabet : {1, 2, 5, 40, 256}) {
        for (const auto& size : sizes) {
            const int w = size[0], h = size[1];
            std::vector<std::uint8_t> pixels(std::size_t(w) * h);
            // Runs of random length make long strings as well as short ones.
            for (std::size_t i = 0; i < pixels.size();) {
                const std::uint8_t v = std::uint8_t(rng() % alphabet);
                for (int run = 1 + int(rng() % 12); run > 0 && i < pixels.size(); --run) pixels[i++] = v;
            }
            for (bool interlaced : {false, true}) {
                EXPECT_EQ(CodeValues(Codes(true, pixels, w, h, interlaced)), PlainLzwCodes(pixels, w, h, interlaced))
                    << w << "x" << h << " alphabet " << alphabet << (interlaced ? " interlaced" : "");
            }
        }
    }
}

}  // namespace
}  // namespace vandrex
