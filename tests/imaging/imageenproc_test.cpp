#include "imaging/imageenproc.h"

#include <gtest/gtest.h>

#include "giflib_check.h"
#include "imaging/imageencore.h"
#include "imaging/resample.h"

namespace vandrex {
namespace {

TBitmap Picture(int w, int h, const std::vector<TRGB>& colors) {
    TBitmap b(w, h);
    for (int i = 0; i < w * h; ++i) b.SetColor(i % w, i / w, colors[i]);
    return b;
}

TBitmap Gray(int w, int h, const std::vector<int>& levels) {
    TBitmap b(w, h);
    for (int i = 0; i < w * h; ++i) {
        const auto v = std::uint8_t(levels[i]);
        b.SetColor(i % w, i / w, {v, v, v});
    }
    return b;
}

const TRGB A{1, 2, 3}, B{4, 5, 6}, C{7, 8, 9}, D{10, 11, 12}, E{13, 14, 15}, F{16, 17, 18};

TEST(ImageEnUndo, RestoresTheSamePictureTwiceAndNothingBeforeAnyStep) {
    TImageEnCore image;
    image.Assign(Picture(3, 2, {A, B, C, D, E, F}));
    image.Proc.Undo();  // empty buffer: nothing
    EXPECT_EQ(image.Bitmap(), Picture(3, 2, {A, B, C, D, E, F}));
    image.Proc.Negative();
    image.Proc.Flip(TFlipDirection::Horizontal);
    const TBitmap negative = image.Proc.UndoBuffer();
    image.Proc.Undo();
    EXPECT_EQ(image.Bitmap(), negative);
    image.Proc.ConvertToGray();
    image.Proc.Undo();
    image.Proc.Undo();
    EXPECT_EQ(image.Bitmap(), negative);
}

TEST(ImageEnUndo, BufferBelowTwoByTwoCountsAsEmptyAndAutoUndoCanBeOff) {
    TImageEnCore image;
    image.Assign(Picture(3, 1, {A, B, C}));
    image.Proc.Negative();
    EXPECT_TRUE(image.Proc.UndoEmpty());
    const TBitmap after = image.Bitmap();
    image.Proc.Undo();
    EXPECT_EQ(image.Bitmap(), after);

    image.Assign(Picture(2, 2, {A, B, C, D}));
    image.Proc.AutoUndo = false;
    image.Proc.Negative();
    EXPECT_TRUE(image.Proc.UndoEmpty());
}

TEST(ImageEnOperations, NothingHappensWithoutAPicture) {
    TImageEnCore image;
    int changes = 0;
    image.OnChange = [&] { ++changes; };
    image.Proc.Negative();
    image.Proc.Rotate(90);
    image.Proc.Resample(10, 10, 3);
    image.Proc.ReduceColors(4);
    EXPECT_TRUE(image.Bitmap().Empty());
    EXPECT_EQ(changes, 0);
    image.SetNColors(TNColors::nc8bit);
    EXPECT_EQ(image.NColors(), TNColors::nc24bit);
}

TEST(ImageEnOperations, FlipsMirrorRowsAndColumns) {
    TBitmap b = Picture(3, 2, {A, B, C, D, E, F});
    FlipBitmap(b, TFlipDirection::Horizontal);
    EXPECT_EQ(b, Picture(3, 2, {C, B, A, F, E, D}));
    FlipBitmap(b, TFlipDirection::Vertical);
    EXPECT_EQ(b, Picture(3, 2, {F, E, D, C, B, A}));
}

TEST(ImageEnOperations, RotationByQuarterTurns) {
    TBitmap b = Picture(3, 2, {A, B, C, D, E, F});
    RotateBitmap(b, 90);  // counter-clockwise
    EXPECT_EQ(b, Picture(2, 3, {C, F, B, E, A, D}));
    b = Picture(3, 2, {A, B, C, D, E, F});
    RotateBitmap(b, -90);
    EXPECT_EQ(b, Picture(2, 3, {D, A, E, B, F, C}));
    b = Picture(3, 2, {A, B, C, D, E, F});
    RotateBitmap(b, 180);
    EXPECT_EQ(b, Picture(3, 2, {F, E, D, C, B, A}));
    for (double angle : {0.0, 45.0, -45.0, 360.0, 720.0}) {
        b = Picture(3, 2, {A, B, C, D, E, F});
        RotateBitmap(b, angle);
        EXPECT_EQ(b, Picture(3, 2, {A, B, C, D, E, F})) << angle;
    }
    b = Picture(3, 2, {A, B, C, D, E, F});
    RotateBitmap(b, 450);  // 450 mod 360 = 90
    EXPECT_EQ(b, Picture(2, 3, {C, F, B, E, A, D}));
}

TEST(ImageEnOperations, NegativeAndGrayWorkOnTheSelectionOnly) {
    TImageEnCore image;
    image.Assign(Picture(2, 2, {{0, 0, 0}, {10, 20, 30}, {1, 0, 20}, {0, 0, 50}}));
    image.Selection = TRect{1, 0, 5, 1};  // clipped to the picture
    image.Proc.Negative();
    EXPECT_EQ(image.Bitmap().Color(0, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(image.Bitmap().Color(1, 0), (TRGB{245, 235, 225}));
    image.Selection.reset();
    image.Proc.Undo();
    image.Proc.ConvertToGray();
    // Halves to even: (30 + 220) / 100 = 2.5 -> 2, (550) / 100 = 5.5 -> 6.
    EXPECT_EQ(image.Bitmap().Color(0, 1), (TRGB{2, 2, 2}));
    EXPECT_EQ(image.Bitmap().Color(1, 1), (TRGB{6, 6, 6}));
    EXPECT_EQ(image.Bitmap().Color(1, 0), (TRGB{18, 18, 18}));  // 1810 / 100
}

TEST(ImageEnBoost, StretchesTwoDarkLevelsApart) {
    // 256 pixels, share 1: level 10 spans outputs 0..127, level 20 127..255.
    std::vector<int> levels(256);
    for (int i = 0; i < 256; ++i) levels[i] = (i % 16) < 8 ? 10 : 20;
    TBitmap b = Gray(16, 16, levels);
    EqualizeRegion(b, b.Bounds());
    for (int i = 0; i < 256; ++i) ASSERT_EQ(b.Color(i % 16, i / 16).Red, (i % 16) < 8 ? 0 : 255) << i;
}

TEST(ImageEnBoost, SmallPicturesAndUnselectedPixelsStayUnchanged) {
    TBitmap small = Gray(15, 17, std::vector<int>(255, 40));
    const TBitmap before = small;
    EqualizeRegion(small, small.Bounds());
    EXPECT_EQ(small, before);

    std::vector<int> levels(256);
    for (int i = 0; i < 256; ++i) levels[i] = (i % 16) < 8 ? 10 : 20;
    TBitmap b = Gray(16, 16, levels);
    EqualizeRegion(b, {0, 0, 16, 1});
    EXPECT_EQ(b.Color(0, 0).Red, 0);
    EXPECT_EQ(b.Color(0, 1).Red, 10);
    EXPECT_EQ(b.Color(15, 1).Red, 20);
}

TEST(ImageEnResample, TriangleEnlargesWithMirroredEdges) {
    // Centres 0, 0.5, 1, 1.5 over [0, 255]; position 2 mirrors to 1.
    const TBitmap out = ResampleBitmap(Gray(2, 1, {0, 255}), 4, 1, 1);
    ASSERT_EQ(out.Width(), 4);
    EXPECT_EQ(out.Color(0, 0).Red, 0);
    EXPECT_EQ(out.Color(1, 0).Red, 128);  // 127.5 rounds to even
    EXPECT_EQ(out.Color(2, 0).Red, 255);
    EXPECT_EQ(out.Color(3, 0).Red, 255);
}

TEST(ImageEnResample, UniformPicturesStayUniformForPartitionsOfUnity) {
    TBitmap flat(9, 7);
    flat.Fill({200, 100, 50});
    for (int filter : {1, 2, 3, 4, 6}) {
        const TBitmap up = ResampleBitmap(flat, 20, 15, filter);
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 20; ++x) ASSERT_EQ(up.Color(x, y), (TRGB{200, 100, 50})) << filter;
    }
    TBitmap big(400, 300);
    big.Fill({200, 100, 50});
    for (int filter : {0, 1, 2, 3, 4, 5, 6}) {
        const TBitmap down = ResampleBitmap(big, 128, 96, filter);
        for (int y = 2; y < 94; ++y)
            for (int x = 2; x < 126; ++x) {
                const TRGB c = down.Color(x, y);
                // Unnormalized weights sum to 1 only within a few per cent.
                ASSERT_NEAR(c.Red, 200, 8) << filter;
                ASSERT_NEAR(c.Blue, 50, 2) << filter;
            }
    }
}

TEST(ImageEnResample, TinyPicturesAndWideFiltersStayInBounds) {
    const TBitmap one = Gray(1, 1, {77});
    for (int filter = 0; filter <= 6; ++filter) {
        const TBitmap out = ResampleBitmap(one, 9, 5, filter);
        EXPECT_EQ(out.Width(), 9);
        EXPECT_EQ(out.Height(), 5);
        const TBitmap back = ResampleBitmap(out, 1, 1, filter);
        EXPECT_EQ(back.Width(), 1);
    }
}

TEST(ImageEnResample, ProportionalSizesAndAreaAverage) {
    TImageEnCore image;
    image.Assign(test::PhotoPicture(400, 300, 1));
    image.Proc.Resample(128, -1, 3);
    EXPECT_EQ(image.Bitmap().Width(), 128);
    EXPECT_EQ(image.Bitmap().Height(), 96);
    image.Proc.Resample(-1, 128, 3);
    EXPECT_EQ(image.Bitmap().Width(), 170);  // 128 * 128 / 96
    image.Proc.Resample(-1, -1, 3);
    EXPECT_EQ(image.Bitmap().Width(), 170);
    // A one-row picture fitted to width keeps at least one row.
    image.Assign(Gray(1000, 1, std::vector<int>(1000, 3)));
    image.Proc.Resample(128, -1, 3);
    EXPECT_EQ(image.Bitmap().Height(), 1);

    const TBitmap checker = Gray(4, 2, {0, 255, 0, 255, 255, 0, 255, 0});
    const TBitmap avg = ResampleBitmap(checker, 2, 1, 0);
    EXPECT_EQ(avg.Color(0, 0).Red, 128);
    EXPECT_EQ(avg.Color(1, 0).Red, 128);
}

TEST(ImageEnOperations, ReduceAndCountColoursThroughTheProcessor) {
    TImageEnCore image;
    image.Assign(test::NoisePicture(40, 30, 300, 2));
    EXPECT_GT(image.Proc.CalcImageNumColors(), 256);
    image.Proc.ReduceColors(256);
    EXPECT_LE(image.Proc.CalcImageNumColors(), 256);
    image.Proc.Undo();
    EXPECT_GT(image.Proc.CalcImageNumColors(), 256);
    image.Selection = TRect{0, 0, 1, 1};
    EXPECT_EQ(image.Proc.CalcImageNumColors(), 1);
}

}  // namespace
}  // namespace vandrex
