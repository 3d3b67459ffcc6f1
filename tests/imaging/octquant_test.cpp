#include "imaging/octquant.h"

#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

#include "giflib_check.h"
#include "imaging/hash1.h"
#include "tests/imaging/plainoctree.h"

namespace vandrex {
namespace {

TBitmap Row(const std::vector<TRGB>& colors) {
    TBitmap b(int(colors.size()), 1);
    for (std::size_t i = 0; i < colors.size(); ++i) b.SetColor(int(i), 0, colors[i]);
    return b;
}

std::vector<TRGB> Palette(const TBitmap& picture, int limit) {
    OctQuant q(picture, limit);
    EXPECT_TRUE(q.BuildTree());
    TRGB palette[256];
    const int n = q.GetPalette(palette);
    return {palette, palette + n};
}

TEST(OctQuantPalette, SingleColourGivesOneEntryWhateverTheLimit) {
    TBitmap b(7, 5);
    b.Fill({33, 66, 99});
    for (int limit : {1, 2, 16, 256}) EXPECT_EQ(Palette(b, limit), (std::vector<TRGB>{{33, 66, 99}}));
}

TEST(OctQuantPalette, AsManyColoursAsTheLimitStayExact) {
    const TBitmap b = test::NoisePicture(40, 40, 64, 1);
    std::set<std::tuple<int, int, int>> source, kept;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const TRGB c = b.Color(x, y);
            source.insert({c.Red, c.Green, c.Blue});
        }
    const int distinct = int(source.size());
    for (const TRGB& c : Palette(b, distinct)) kept.insert({c.Red, c.Green, c.Blue});
    EXPECT_EQ(kept, source);
}

TEST(OctQuantPalette, OrderFollowsChildIndexDepthFirst) {
    // Child index = red bit * 4 + green bit * 2 + blue bit.
    const auto p = Palette(Row({{255, 0, 0}, {0, 0, 255}, {0, 255, 0}}), 8);
    EXPECT_EQ(p, (std::vector<TRGB>{{0, 0, 255}, {0, 255, 0}, {255, 0, 0}}));
}

TEST(OctQuantReduction, ColoursDifferingInTheLowestBitMergeOnlyAtLevelSeven) {
    const TRGB a{0, 0, 0}, b{0, 0, 1}, white{255, 255, 255};
    EXPECT_EQ(Palette(Row({a, b, white}), 3), (std::vector<TRGB>{a, b, white}));
    // One reduction too many: the deepest reducible node (level 7) merges.
    const TBitmap picture = Row({a, b, white});
    OctQuant q(picture, 2);
    ASSERT_TRUE(q.BuildTree());
    TRGB palette[256];
    ASSERT_EQ(q.GetPalette(palette), 2);
    EXPECT_EQ(palette[0], a);  // (0 + 1) / 2 in integer division
    EXPECT_EQ(palette[1], white);
    EXPECT_EQ(q.LeafLevel(), 8);
}

TEST(OctQuantReduction, SmallestCountFirstAndTiesMergeTheNewestNode) {
    const TRGB a{0, 0, 0}, b{0, 0, 1}, c{0, 0, 2}, d{0, 0, 3};
    // Equal counts: (c, d) was added last, sits at the head and merges.
    EXPECT_EQ(Palette(Row({a, b, c, d}), 3), (std::vector<TRGB>{a, b, {0, 0, 2}}));
    EXPECT_EQ(Palette(Row({c, d, a, b}), 3), (std::vector<TRGB>{{0, 0, 0}, c, d}));
    // (a, b) has fewer pixels than the newer (c, c, d) and merges instead.
    EXPECT_EQ(Palette(Row({a, b, c, c, d}), 3), (std::vector<TRGB>{{0, 0, 0}, c, d}));
}

TEST(OctQuantReduction, ShallowReductionRaisesTheLeafLevel) {
    const TBitmap picture = Row({{0, 0, 0}, {255, 255, 255}, {255, 255, 255}, {128, 0, 0}});
    OctQuant q(picture, 1);
    ASSERT_TRUE(q.BuildTree());
    EXPECT_EQ(q.LeafLevel(), 1);
    TRGB palette[256];
    ASSERT_EQ(q.GetPalette(palette), 1);
    EXPECT_EQ(palette[0], (TRGB{159, 127, 127}));  // (0 + 255 + 255 + 128) / 4 ...
    EXPECT_EQ(q.IndexOf(0, 0, 128), 0);
}

TEST(OctQuantReduction, PaletteAndIndicesAgreeOnNoise) {
    const TBitmap b = test::NoisePicture(64, 64, 1000, 2);
    for (int limit : {1, 7, 64, 255}) {
        OctQuant q(b, limit);
        ASSERT_TRUE(q.BuildTree());
        TRGB palette[256];
        const int n = q.GetPalette(palette);
        EXPECT_LE(n, limit);
        EXPECT_GE(n, 1);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const std::uint8_t* p = b.Pixel(x, y);
                const int i = q.IndexOf(p[0], p[1], p[2]);
                ASSERT_LT(i, n);
            }
    }
}

// The build skips walking the tree for colours whose end node it knows and
// carries their sums up later; palette, leaf level, indices and the repainted
// picture must be exactly those of adding every pixel along its whole path.
TEST(OctQuantReduction, BuildMatchesThePlainTreePixelForPixel) {
    const std::pair<const char*, TBitmap> pictures[] = {
        {"photo", test::PhotoPicture(320, 240, 5)},
        {"noise 5000", test::NoisePicture(120, 90, 5000, 6)},
        {"noise 300", test::NoisePicture(64, 64, 300, 7)},
        {"noise 40", test::NoisePicture(50, 50, 40, 8)},
        {"one pixel", test::NoisePicture(1, 1, 1, 9)},
    };
    for (const auto& [name, picture] : pictures) {
        for (int limit : {1, 2, 7, 16, 255, 256}) {
            SCOPED_TRACE(std::string(name) + ", limit " + std::to_string(limit));
            const test::TPlainQuantized plain = test::PlainOctreeQuantize(picture, limit);

            OctQuant q(picture, limit);
            ASSERT_TRUE(q.BuildTree());
            TRGB palette[256];
            const int n = q.GetPalette(palette);
            EXPECT_EQ(std::vector<TRGB>(palette, palette + n), plain.Palette);
            EXPECT_EQ(q.LeafLevel(), plain.LeafLevel);

            std::vector<std::uint8_t> indices;
            TRGB gifPalette[256] = {};
            const int first = limit == 256 ? 0 : 1;
            ASSERT_EQ(QuantizeForGif(picture, first, first + limit - 1, indices, gifPalette), n);
            ASSERT_EQ(indices.size(), plain.Indices.size());
            for (std::size_t i = 0; i < indices.size(); ++i)
                ASSERT_EQ(indices[i], plain.Indices[i] + first) << "pixel " << i;

            TBitmap repainted = picture;
            ReduceColors(repainted, limit);
            for (int y = 0; y < picture.Height(); ++y)
                for (int x = 0; x < picture.Width(); ++x)
                    ASSERT_EQ(repainted.Color(x, y), plain.Palette[plain.Indices[std::size_t(y) * picture.Width() + x]])
                        << x << "," << y;
        }
    }
}

TEST(OctQuantReduction, HugePicturesAverageWithoutOverflow) {
    // 17 million pixels: 255 * 17.2e6 fits neither signed nor unsigned 32 bits.
    TBitmap b(4200, 4100);
    b.Fill({255, 254, 253});
    b.SetColor(0, 0, {0, 0, 0});
    ReduceColors(b, 1);
    EXPECT_EQ(b.Color(1, 1), (TRGB{254, 253, 252}));
}

TEST(ColorReduction, RepaintsWithAtMostTheLimitAndReportsProgress) {
    TBitmap b = test::PhotoPicture(90, 70, 3);
    std::vector<int> progress;
    ReduceColors(b, 16, [&](int p) { progress.push_back(p); });
    EXPECT_LE(CountColors(b), 16);
    ASSERT_EQ(progress.size(), 70u);
    EXPECT_EQ(progress.front(), 1);  // trunc(100 / 70.5)
    EXPECT_EQ(progress.back(), 99);  // trunc(7000 / 70.5)
}

TEST(ColorReduction, GifPaletteStartsAtIndexOne) {
    const TBitmap b = test::NoisePicture(20, 20, 300, 4);
    std::vector<std::uint8_t> indices;
    TRGB palette[256];
    palette[0] = {1, 2, 3};
    const int n = QuantizeForGif(b, 1, 255, indices, palette);
    EXPECT_LE(n, 255);
    EXPECT_EQ(palette[0], (TRGB{1, 2, 3}));
    ASSERT_EQ(indices.size(), 400u);
    for (std::uint8_t i : indices) {
        EXPECT_GE(i, 1);
        EXPECT_LE(i, n);
    }
}

TEST(ColorCounter, CountsDistinctValuesByLowBitsWithChains) {
    THash1 hash(13);
    EXPECT_TRUE(hash.Insert(1));
    EXPECT_FALSE(hash.Insert(1));
    EXPECT_TRUE(hash.Insert(1 + 8192));  // same bucket, distinct value
    EXPECT_TRUE(hash.Insert(1 + 2 * 8192));
    EXPECT_FALSE(hash.Insert(1 + 8192));
    EXPECT_FALSE(hash.Insert(1 + 2 * 8192));
    EXPECT_EQ(hash.Count(), 3);

    TBitmap uniform(50, 50);
    uniform.Fill({5, 6, 7});
    EXPECT_EQ(CountColors(uniform), 1);
    // Differ above bit 13, agree below.
    EXPECT_EQ(CountColors(Row({{0, 0, 1}, {0, 0x20, 1}, {1, 0, 1}})), 3);

    const TBitmap noise = test::NoisePicture(200, 200, 5000, 5);
    std::unordered_set<std::uint32_t> reference;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            const TRGB c = noise.Color(x, y);
            reference.insert(c.Blue | c.Green << 8 | c.Red << 16);
        }
    EXPECT_EQ(CountColors(noise), std::int64_t(reference.size()));
    EXPECT_EQ(CountColors(noise, {0, 0, 1, 1}), 1);
    EXPECT_EQ(CountColors(noise, {-5, -5, 0, 300}), 0);
}

}  // namespace
}  // namespace vandrex
