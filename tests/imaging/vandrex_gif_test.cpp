// The vandrex-gif tool, run as a real process on real files.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "giflib_check.h"
#include "imaging/bmpfile.h"
#include "imaging/filebytes.h"
#include "imaging/jpegfile.h"

#ifdef VANDREX_GIF_TOOL

namespace vandrex {
namespace {

struct TRun {
    int Status;
    std::string Stderr;
};

class VandrexGifTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vandrex_gif_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    TRun Run(const std::string& args) {
        const std::string err = Path("stderr.txt");
        const std::string command = std::string(VANDREX_GIF_TOOL) + " " + args + " 2>" + err;
        const int status = std::system(command.c_str());
        TRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}};
        if (auto bytes = ReadFileBytes(err)) r.Stderr.assign(bytes->begin(), bytes->end());
        return r;
    }

    std::filesystem::path dir_;
};

std::set<std::tuple<int, int, int>> Colors(const test::TDecodedFrame& f) {
    std::set<std::tuple<int, int, int>> s;
    for (const TRGB& c : f.Pixels) s.insert({c.Red, c.Green, c.Blue});
    return s;
}

TEST_F(VandrexGifTool, FitsReducesAndWritesBothCodings) {
    SaveBmpFile(Path("in.bmp"), test::PhotoPicture(400, 300, 1));
    ASSERT_EQ(Run(Path("in.bmp") + " " + Path("out.gif")).Status, 0);
    auto gif = test::DecodeWithGiflib(*ReadFileBytes(Path("out.gif")));
    ASSERT_EQ(gif.Frames.size(), 1u);
    EXPECT_EQ(gif.Frames[0].Width, 128);
    EXPECT_EQ(gif.Frames[0].Height, 96);
    EXPECT_FALSE(gif.Frames[0].Interlaced);
    EXPECT_EQ(gif.Frames[0].GraphicControl, 0x08);

    ASSERT_EQ(Run("--fit height --colors 8 --lzw --boost --gray " + Path("in.bmp") + " " + Path("gray.gif")).Status, 0);
    gif = test::DecodeWithGiflib(*ReadFileBytes(Path("gray.gif")));
    ASSERT_EQ(gif.Frames.size(), 1u);
    EXPECT_EQ(gif.Frames[0].Height, 128);
    EXPECT_EQ(gif.Frames[0].Width, 170);
    const auto colors = Colors(gif.Frames[0]);
    EXPECT_LE(colors.size(), 8u);
    for (auto [r, g, b] : colors) {
        EXPECT_EQ(r, g);
        EXPECT_EQ(g, b);
    }

    SaveJpegFile(Path("in.jpg"), test::PhotoPicture(90, 60, 2));
    ASSERT_EQ(Run("--fit none " + Path("in.jpg") + " " + Path("jpg.gif")).Status, 0);
    gif = test::DecodeWithGiflib(*ReadFileBytes(Path("jpg.gif")));
    ASSERT_EQ(gif.Frames.size(), 1u);
    EXPECT_EQ(gif.Frames[0].Width, 90);
}

TEST_F(VandrexGifTool, AppendsFramesWithOneLoopExtension) {
    SaveBmpFile(Path("a.bmp"), test::PhotoPicture(256, 192, 3));
    SaveBmpFile(Path("b.bmp"), test::NoisePicture(256, 256, 50, 4));
    ASSERT_EQ(Run("--lzw --colors 14 " + Path("a.bmp") + " " + Path("anim.gif")).Status, 0);
    ASSERT_EQ(Run("--append --lzw --colors 14 " + Path("b.bmp") + " " + Path("anim.gif")).Status, 0);
    ASSERT_EQ(Run("--append --colors 14 " + Path("a.bmp") + " " + Path("anim.gif")).Status, 0);
    const auto bytes = *ReadFileBytes(Path("anim.gif"));
    EXPECT_EQ(test::CountOccurrences(bytes, "NETSCAPE2.0"), 1);
    const auto gif = test::DecodeWithGiflib(bytes);
    ASSERT_EQ(gif.Frames.size(), 3u);
    EXPECT_EQ(gif.ScreenWidth, 128);
    EXPECT_EQ(gif.ScreenHeight, 128);  // the square second frame grows the screen
    EXPECT_TRUE(gif.Frames[1].Interlaced);
    EXPECT_FALSE(gif.Frames[2].Interlaced);  // run-length coding is never interlaced
    EXPECT_EQ(gif.Frames[1].GraphicControl, 0x09);
    for (const auto& f : gif.Frames) EXPECT_LE(Colors(f).size(), 14u);
}

TEST_F(VandrexGifTool, AppendingToAMissingAnimationStartsIt) {
    SaveBmpFile(Path("a.bmp"), test::PhotoPicture(256, 192, 3));
    ASSERT_EQ(Run("--append --lzw " + Path("a.bmp") + " " + Path("new.gif")).Status, 0);
    ASSERT_EQ(Run("--append --lzw " + Path("a.bmp") + " " + Path("new.gif")).Status, 0);
    const auto bytes = *ReadFileBytes(Path("new.gif"));
    const auto gif = test::DecodeWithGiflib(bytes);
    ASSERT_EQ(gif.Frames.size(), 2u);
    EXPECT_EQ(gif.Frames[0].GraphicControl, 0x08);  // the first frame as a single image
    EXPECT_EQ(gif.Frames[1].GraphicControl, 0x09);
    EXPECT_EQ(test::CountOccurrences(bytes, "NETSCAPE2.0"), 1);
}

TEST_F(VandrexGifTool, BadInputGivesAClearErrorAndNonZeroExit) {
    ASSERT_TRUE(std::filesystem::exists(VANDREX_GIF_TOOL));
    auto r = Run(Path("missing.bmp") + " " + Path("out.gif"));
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Stderr.find("missing.bmp"), std::string::npos);

    const std::vector<std::uint8_t> junk = {'B', 'M', 1, 2, 3};
    WriteFileBytes(Path("junk.bmp"), junk);
    r = Run(Path("junk.bmp") + " " + Path("out.gif"));
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Stderr.find("unrecognized BMP"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("out.gif")));

    WriteFileBytes(Path("junk.jpg"), junk);
    r = Run(Path("junk.jpg") + " " + Path("out.gif"));
    EXPECT_NE(r.Stderr.find("unrecognized JPEG"), std::string::npos);

    SaveBmpFile(Path("ok.bmp"), test::NoisePicture(10, 10, 3, 5));
    r = Run("--append " + Path("ok.bmp") + " " + Path("junk.bmp"));
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Stderr.find("unrecognized GIF"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(Path("junk.bmp"))->size(), junk.size());

    EXPECT_EQ(Run("--colors 0 " + Path("ok.bmp") + " " + Path("o.gif")).Status, 2);
    EXPECT_EQ(Run("--colors 300 " + Path("ok.bmp") + " " + Path("o.gif")).Status, 2);
    EXPECT_EQ(Run("--fit sideways " + Path("ok.bmp") + " " + Path("o.gif")).Status, 2);
    EXPECT_EQ(Run(Path("ok.bmp")).Status, 2);
}

}  // namespace
}  // namespace vandrex

#endif
