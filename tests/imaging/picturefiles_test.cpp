#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include <jpeglib.h>

#include "giflib_check.h"
#include "imaging/bmpfile.h"
#include "imaging/filebytes.h"
#include "imaging/imageencore.h"
#include "imaging/jpegfile.h"
#include "platform/exceptions.h"

namespace vandrex {
namespace {

// A frame as the animation button adds it: interlaced, transparent, the
// screen grown to fit, at the given position.
TGifInsertOptions AnimationFrame(int position) {
    TGifInsertOptions o;
    o.Interlaced = true;
    o.Transparent = true;
    o.Position = position;
    return o;
}

// A hand-made BMP: header, info header of headerSize bytes, extra (masks or
// palette) and the rows as given (already in file order and padded).
std::vector<std::uint8_t> MakeBmp(int w, int h, int bpp, int compression, const std::vector<std::uint8_t>& extra,
                                  const std::vector<std::uint8_t>& rows, int headerSize = 40, int colorsUsed = 0) {
    std::vector<std::uint8_t> d;
    auto p16 = [&](std::uint32_t v) {
        d.push_back(std::uint8_t(v));
        d.push_back(std::uint8_t(v >> 8));
    };
    auto p32 = [&](std::uint32_t v) {
        p16(v & 0xFFFF);
        p16(v >> 16);
    };
    const std::uint32_t off = 14 + headerSize + std::uint32_t(extra.size());
    d.push_back('B');
    d.push_back('M');
    p32(off + std::uint32_t(rows.size()));
    p32(0);
    p32(off);
    p32(std::uint32_t(headerSize));
    if (headerSize == 12) {
        p16(std::uint32_t(w));
        p16(std::uint32_t(h));
        p16(1);
        p16(std::uint32_t(bpp));
    } else {
        p32(std::uint32_t(w));
        p32(std::uint32_t(h));
        p16(1);
        p16(std::uint32_t(bpp));
        p32(std::uint32_t(compression));
        p32(std::uint32_t(rows.size()));
        p32(0);
        p32(0);
        p32(std::uint32_t(colorsUsed));
        p32(0);
        d.resize(14 + headerSize, 0);
    }
    d.insert(d.end(), extra.begin(), extra.end());
    d.insert(d.end(), rows.begin(), rows.end());
    return d;
}

std::vector<std::uint8_t> Palette4(const std::vector<TRGB>& colors) {
    std::vector<std::uint8_t> p;
    for (const TRGB& c : colors) p.insert(p.end(), {c.Blue, c.Green, c.Red, 0});
    return p;
}

const TRGB Red{255, 0, 0}, Green{0, 255, 0}, Blue{0, 0, 255}, White{255, 255, 255};

TEST(BmpLoading, PaletteDepthsBottomUpAndTopDown) {
    const auto pal = Palette4({Red, Green, Blue, White});
    // 3 x 2, 8 bits, bottom-up: file row 0 is the picture's last row.
    auto b8 = DecodeBmp(MakeBmp(3, 2, 8, 0, pal, {2, 3, 0, 0, 0, 1, 2, 0}));
    EXPECT_EQ(b8.Color(0, 0), Red);
    EXPECT_EQ(b8.Color(2, 0), Blue);
    EXPECT_EQ(b8.Color(0, 1), Blue);
    EXPECT_EQ(b8.Color(1, 1), White);
    auto top = DecodeBmp(MakeBmp(3, -2, 8, 0, pal, {2, 3, 0, 0, 0, 1, 2, 0}));
    EXPECT_EQ(top.Color(0, 0), Blue);
    // 4 bits: 0x13 = indices 1, 3.
    auto b4 = DecodeBmp(MakeBmp(3, 1, 4, 0, pal, {0x13, 0x20, 0, 0}));
    EXPECT_EQ(b4.Color(0, 0), Green);
    EXPECT_EQ(b4.Color(1, 0), White);
    EXPECT_EQ(b4.Color(2, 0), Blue);
    // 1 bit, 10 pixels wide: bits 1010000011.
    auto b1 = DecodeBmp(MakeBmp(10, 1, 1, 0, Palette4({Red, Green}), {0xA0, 0xC0, 0, 0}, 40, 2));
    EXPECT_EQ(b1.Color(0, 0), Green);
    EXPECT_EQ(b1.Color(1, 0), Red);
    EXPECT_EQ(b1.Color(8, 0), Green);
    EXPECT_EQ(b1.Color(9, 0), Green);
    // Core header with 3-byte palette entries.
    auto core = DecodeBmp(MakeBmp(1, 1, 8, 0, {0, 0, 0, 9, 8, 7}, {1, 0, 0, 0}, 12));
    EXPECT_EQ(core.Color(0, 0), (TRGB{7, 8, 9}));
}

TEST(BmpLoading, DirectColourAndBitFieldLayouts) {
    // 16 bits 5-5-5: 0x7C00 is full red.
    auto b16 = DecodeBmp(MakeBmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00}));
    EXPECT_EQ(b16.Color(0, 0), Red);
    EXPECT_EQ(b16.Color(1, 0), Blue);
    // 16 bits 5-6-5 bit fields: 0x07E0 is full green.
    const std::vector<std::uint8_t> masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    auto b565 = DecodeBmp(MakeBmp(2, 1, 16, 3, masks565, {0xE0, 0x07, 0x10, 0x00}));
    EXPECT_EQ(b565.Color(0, 0), Green);
    EXPECT_EQ(b565.Color(1, 0), (TRGB{0, 0, 132}));  // 16 of 31
    // 24 and 32 bits.
    auto b24 = DecodeBmp(MakeBmp(1, 1, 24, 0, {}, {3, 2, 1, 0}));
    EXPECT_EQ(b24.Color(0, 0), (TRGB{1, 2, 3}));
    auto b32 = DecodeBmp(MakeBmp(1, 1, 32, 0, {}, {3, 2, 1, 0xFF}));
    EXPECT_EQ(b32.Color(0, 0), (TRGB{1, 2, 3}));
    // 32 bits, masks in a version 5 header: red in the low byte.
    const std::uint32_t m[3] = {0xFF, 0xFF00, 0xFF0000};
    auto bits = MakeBmp(1, 1, 32, 3, {}, {3, 2, 1, 0}, 124);
    std::memcpy(bits.data() + 14 + 40, m, 12);
    EXPECT_EQ(DecodeBmp(bits).Color(0, 0), (TRGB{3, 2, 1}));
}

TEST(BmpLoading, RunLengthCompressed) {
    const auto pal = Palette4({Red, Green, Blue, White});
    // RLE8, 4 x 2: bottom row = run of 4 x index 1; top row = absolute 2,3,0
    // then a run of 1 x 3; end of bitmap.
    auto rle8 = DecodeBmp(MakeBmp(4, 2, 8, 1, pal, {4, 1, 0, 0, 0, 3, 2, 3, 0, 0, 1, 3, 0, 1}));
    EXPECT_EQ(rle8.Color(0, 1), Green);
    EXPECT_EQ(rle8.Color(3, 1), Green);
    EXPECT_EQ(rle8.Color(0, 0), Blue);
    EXPECT_EQ(rle8.Color(1, 0), White);
    EXPECT_EQ(rle8.Color(2, 0), Red);
    EXPECT_EQ(rle8.Color(3, 0), White);
    // RLE4, 3 x 1: run of 3 alternating 2, 1; delta skips nothing more.
    auto rle4 = DecodeBmp(MakeBmp(3, 1, 4, 2, pal, {3, 0x21, 0, 1}));
    EXPECT_EQ(rle4.Color(0, 0), Blue);
    EXPECT_EQ(rle4.Color(1, 0), Green);
    EXPECT_EQ(rle4.Color(2, 0), Blue);
    // Data that stops before every row was reached is truncated.
    EXPECT_THROW(DecodeBmp(MakeBmp(4, 2, 8, 1, pal, {4, 1, 0, 0})), EInvalidGraphic);
}

TEST(BmpLoading, RejectsMalformedAndTruncatedFiles) {
    const auto good = MakeBmp(3, 2, 24, 0, {}, std::vector<std::uint8_t>(24, 7));
    EXPECT_NO_THROW(DecodeBmp(good));
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        try {
            DecodeBmp(std::span(good.data(), cut));
            ADD_FAILURE() << "accepted a file cut at " << cut;
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "unrecognized BMP");
        }
    }
    auto bad = [](std::vector<std::uint8_t> d) { EXPECT_THROW(DecodeBmp(d), EInvalidGraphic); };
    bad(MakeBmp(3, 2, 7, 0, {}, std::vector<std::uint8_t>(24, 7)));         // no such depth
    bad(MakeBmp(3, 2, 24, 1, {}, std::vector<std::uint8_t>(24, 7)));        // RLE8 with 24 bits
    bad(MakeBmp(3, 2, 24, 4, {}, std::vector<std::uint8_t>(24, 7)));        // embedded JPEG
    bad(MakeBmp(0, 2, 24, 0, {}, std::vector<std::uint8_t>(24, 7)));        // no width
    bad(MakeBmp(60000, 60000, 24, 0, {}, std::vector<std::uint8_t>(24, 7)));  // too large / truncated
    bad(MakeBmp(2, 2, 8, 0, std::vector<std::uint8_t>(800), {}, 40, 200));  // palette, no pixels
    auto wrong = good;
    wrong[0] = 'X';
    bad(wrong);
}

TEST(BmpSaving, TwoColoursAsOneBitOtherwise24AndBack) {
    TBitmap two = test::NoisePicture(13, 5, 2, 1);
    const auto mono = EncodeBmp(two);
    EXPECT_EQ(mono[28], 1);  // bits per pixel
    EXPECT_EQ(mono.size(), 14u + 40 + 8 + 4 * 5);
    EXPECT_EQ(DecodeBmp(mono), two);

    for (auto [w, h, colors] : {std::tuple{1, 1, 1}, {7, 3, 3}, {33, 9, 40}}) {
        TBitmap b = test::NoisePicture(w, h, colors, 2);
        const auto file = EncodeBmp(b);
        EXPECT_EQ(file[28], 24);
        EXPECT_EQ(DecodeBmp(file), b);
    }
}

double MeanError(const TBitmap& a, const TBitmap& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.Data().size(); ++i) sum += std::abs(int(a.Data()[i]) - int(b.Data()[i]));
    return sum / double(a.Data().size());
}

TEST(JpegFiles, RoundTripIsCloseAndBaselineQuality90) {
    const TBitmap photo = test::PhotoPicture(161, 97, 3);
    const auto file = EncodeJpeg(photo);
    const TBitmap back = DecodeJpeg(file);
    ASSERT_EQ(back.Width(), 161);
    ASSERT_EQ(back.Height(), 97);
    EXPECT_LT(MeanError(photo, back), 3.0);
    // Baseline frame marker, no progressive one.
    EXPECT_GT(test::CountOccurrences(file, "\xFF\xC0"), 0);
    EXPECT_EQ(test::CountOccurrences(file, "\xFF\xC2"), 0);
    // Quality 90 scales the standard luminance table by 20 %: 16 -> 3.
    const std::uint8_t marker[] = {0xFF, 0xDB};
    const std::size_t dqt = std::size_t(std::search(file.begin(), file.end(), marker, marker + 2) - file.begin());
    ASSERT_LT(dqt + 5, file.size());
    EXPECT_EQ(file[dqt + 5], 3);
}

TEST(JpegFiles, GrayscaleJpegsLoadAsGray24Bit) {
    // Written straight with libjpeg as one-component data.
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = 8;
    c.image_height = 8;
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::uint8_t row[8];
    std::fill(std::begin(row), std::end(row), 100);
    while (c.next_scanline < 8) {
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    const TBitmap b = DecodeJpeg(std::span(buffer, size));
    std::free(buffer);
    ASSERT_EQ(b.Width(), 8);
    const TRGB px = b.Color(3, 3);
    EXPECT_EQ(px.Red, px.Green);
    EXPECT_EQ(px.Green, px.Blue);
    EXPECT_NEAR(px.Red, 100, 2);
}

TEST(JpegFiles, RejectsGarbageAndTruncation) {
    const auto file = EncodeJpeg(test::PhotoPicture(64, 48, 4));
    auto bad = [](std::span<const std::uint8_t> d) {
        try {
            DecodeJpeg(d);
            ADD_FAILURE() << "accepted " << d.size() << " bytes";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "unrecognized JPEG");
        }
    };
    for (std::size_t cut : {0ul, 2ul, 20ul, 200ul, file.size() / 2, file.size() - 3}) bad(std::span(file.data(), cut));
    std::vector<std::uint8_t> noise(500, 0x55);
    noise[0] = 0xFF;
    noise[1] = 0xD8;
    bad(noise);
}

class PictureFileDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vandrex_imaging_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

// Large uncompressed files are read row by row from the file into the picture;
// everything else is read whole. Either way the picture is the one decoded
// from the file's bytes in memory, and a file too short is refused.
TEST_F(PictureFileDir, LargeFilesLoadFromTheFileAsFromMemory) {
    std::mt19937 rng(11);
    auto rowsFor = [&](int w, int h, int bpp) {
        const std::size_t stride = ((std::size_t(w) * bpp + 31) / 32) * 4;
        std::vector<std::uint8_t> rows(stride * std::size_t(std::abs(h)));
        for (auto& b : rows) b = std::uint8_t(rng());
        return rows;
    };
    std::vector<TRGB> colors(256);
    for (auto& c : colors) c = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
    const auto pal16 = Palette4({colors.begin(), colors.begin() + 16});
    const auto pal256 = Palette4(colors);
    const std::vector<std::uint8_t> masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    // A run-length file: every row runs of 7 pixels, then end of line.
    std::vector<std::uint8_t> rle;
    for (int y = 0; y < 800; ++y) {
        for (int x = 0; x < 301; x += 7) rle.insert(rle.end(), {std::uint8_t(std::min(7, 301 - x)), std::uint8_t(rng())});
        rle.insert(rle.end(), {0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    auto v5 = MakeBmp(301, 120, 32, 3, {}, rowsFor(301, 120, 32), 124);
    const std::uint32_t m[3] = {0xFF, 0xFF00, 0xFF0000};
    std::memcpy(v5.data() + 14 + 40, m, 12);
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"1 bit", MakeBmp(301, 1800, 1, 0, Palette4({Red, White}), rowsFor(301, 1800, 1))},
        {"4 bits", MakeBmp(301, 500, 4, 0, pal16, rowsFor(301, 500, 4))},
        {"8 bits top-down", MakeBmp(301, -250, 8, 0, pal256, rowsFor(301, -250, 8))},
        {"16 bits", MakeBmp(301, 120, 16, 0, {}, rowsFor(301, 120, 16))},
        {"16 bits 5-6-5", MakeBmp(301, 120, 16, 3, masks565, rowsFor(301, 120, 16))},
        {"24 bits padded", MakeBmp(301, 90, 24, 0, {}, rowsFor(301, 90, 24))},
        {"24 bits top-down", MakeBmp(301, -90, 24, 0, {}, rowsFor(301, -90, 24))},
        {"24 bits old header", MakeBmp(301, 90, 24, 0, {}, rowsFor(301, 90, 24), 12)},
        {"32 bits", MakeBmp(301, 70, 32, 0, {}, rowsFor(301, 70, 32))},
        {"32 bits version 5 masks", v5},
        {"run-length", MakeBmp(301, 800, 8, 1, pal256, rle)},
        {"palette far behind a long header", MakeBmp(301, 250, 8, 0, pal256, rowsFor(301, 250, 8), 70000)},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_GT(bytes.size(), 65536u);
        WriteFileBytes(Path("large.bmp"), bytes);
        EXPECT_EQ(LoadBmpFile(Path("large.bmp")), DecodeBmp(bytes));
        // Five bytes short: the last row (or run) is incomplete.
        WriteFileBytes(Path("short.bmp"), std::span(bytes.data(), bytes.size() - 5));
        EXPECT_THROW(LoadBmpFile(Path("short.bmp")), EInvalidGraphic);
    }
    EXPECT_THROW(LoadBmpFile(Path("missing.bmp")), EInvalidGraphic);
    EXPECT_THROW(LoadBmpFile(dir_.string()), EInvalidGraphic);
}

TEST_F(PictureFileDir, ComponentLoadsAndSavesEveryFormat) {
    TImageEnCore image;
    image.Assign(test::PhotoPicture(50, 40, 5));
    const TBitmap original = image.Bitmap();
    image.IO.SaveToFileBMP(Path("a.bmp"));
    image.IO.SaveToFileJpeg(Path("a.jpg"));
    image.IO.LoadFromFileBMP(Path("a.bmp"));
    EXPECT_EQ(image.Bitmap(), original);
    image.IO.LoadFromFileJpeg(Path("a.jpg"));
    EXPECT_LT(MeanError(image.Bitmap(), original), 3.0);

    // Failures leave the picture as it was.
    const TBitmap before = image.Bitmap();
    EXPECT_THROW(image.IO.LoadFromFileBMP(Path("missing.bmp")), EInvalidGraphic);
    EXPECT_THROW(image.IO.LoadFromFileJpeg(Path("a.bmp")), EInvalidGraphic);
    EXPECT_THROW(image.IO.InsertToFileGIF(Path("a.bmp"), AnimationFrame(1)), EInvalidGraphic);
    EXPECT_THROW(image.IO.InsertToFileGIF(Path("none.gif"), AnimationFrame(1)), EInvalidGraphic);
    EXPECT_EQ(image.Bitmap(), before);
    EXPECT_EQ(ReadFileBytes(Path("a.bmp"))->size(), EncodeBmp(original).size());
}

TEST_F(PictureFileDir, ComponentGifSaveAndAnimation) {
    TImageEnCore image;
    image.Assign(test::NoisePicture(30, 20, 14, 6));
    image.IO.SaveToFileGIF(Path("s.gif"), true);  // without LZW: not interlaced
    auto gif = test::DecodeWithGiflib(*ReadFileBytes(Path("s.gif")));
    ASSERT_EQ(gif.Frames.size(), 1u);
    EXPECT_FALSE(gif.Frames[0].Interlaced);

    image.IO.UseLZW = true;
    for (int frame = 1; frame < 3; ++frame) {
        image.Assign(test::NoisePicture(30, 20, 14, 6 + frame));
        EXPECT_EQ(image.IO.InsertToFileGIF(Path("s.gif"), AnimationFrame(frame)), frame + 1);
    }
    const auto bytes = *ReadFileBytes(Path("s.gif"));
    EXPECT_EQ(test::CountOccurrences(bytes, "NETSCAPE2.0"), 1);
    gif = test::DecodeWithGiflib(bytes);
    ASSERT_EQ(gif.Frames.size(), 3u);
    EXPECT_TRUE(gif.Frames[2].Interlaced);
    EXPECT_EQ(gif.Frames[2].GraphicControl, 0x09);

    TImageEnCore empty;
    empty.IO.SaveToFileGIF(Path("never.gif"));
    EXPECT_FALSE(std::filesystem::exists(Path("never.gif")));
}

}  // namespace
}  // namespace vandrex
