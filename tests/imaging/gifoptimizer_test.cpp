// The optimizer's handlers, the picture load, animations and "Fit 10 KB",
// each judged by the "Snapshot.gif" giflib decodes.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "capturetest_support.h"
#include "giflib_check.h"
#include "imaging/bmpfile.h"
#include "imaging/fixednames.h"
#include "imaging/gifoptimizer.h"
#include "imaging/jpegfile.h"
#include "platform/capturedevice.h"
#include "platform/exceptions.h"

namespace vandrex {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;

test::TDecodedGif DecodeSnapshot() { return test::DecodeWithGiflib(ReadAll(ResolveFixedName("Snapshot.gif"))); }

std::size_t Colors(const test::TDecodedFrame& f) {
    std::set<std::uint32_t> set;
    for (const TRGB c : f.Pixels) set.insert(std::uint32_t(c.Red) << 16 | std::uint32_t(c.Green) << 8 | c.Blue);
    return set.size();
}

class GifOptimizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The camera for these tests hands over a generated picture.
        pipeline_.GrabToBitmap = [this] {
            ++grabs_;
            SaveBmpFile("Snapshot.bmp", camera_);
            return true;
        };
        pipeline_.GifChecked = [] { return true; };
        optimizer_.SetStatus = [this](const std::string& s) { status_ = s; };
        optimizer_.Beep = [this] { ++beeps_; };
        optimizer_.ShowMessage = [this](const std::string& s) { messages_.push_back(s); };
        pipeline_.ShowEncoder = [this] { optimizer_.NecLit = true; };
    }
    void Snap() { pipeline_.Snapshot(); }

    test::TScratchFolder folder_{"optimizer"};
    TBitmap camera_ = test::NoisePicture(128, 96, 300, 11);
    TImageEnCore encoder_;
    TSnapshotPipeline pipeline_{encoder_};
    TGifOptimizer optimizer_{encoder_, pipeline_};
    int grabs_ = 0, beeps_ = 0;
    std::string status_;
    std::vector<std::string> messages_;
};

TEST_F(GifOptimizerTest, FlipsGrayAndRotateShowInTheFile) {
    Snap();
    const auto before = DecodeSnapshot().Frames.at(0);
    optimizer_.FlipHorizontalSButtonClick();
    auto after = DecodeSnapshot().Frames.at(0);
    EXPECT_EQ(after.Pixels[0], before.Pixels[127]);
    EXPECT_EQ(after.Pixels[5 * 128 + 3], before.Pixels[5 * 128 + 124]);
    optimizer_.FlipHorizontalSButtonClick();
    optimizer_.FlipVerticalSButtonClick();
    after = DecodeSnapshot().Frames.at(0);
    EXPECT_EQ(after.Pixels[0], before.Pixels[95 * 128]);
    optimizer_.GrayScaleButtonClick();
    const auto gray = DecodeSnapshot();
    for (const TRGB c : gray.Frames.at(0).Pixels) {
        ASSERT_EQ(c.Red, c.Green);
        ASSERT_EQ(c.Green, c.Blue);
    }
    optimizer_.RotateSButtonClick();
    after = DecodeSnapshot().Frames.at(0);
    EXPECT_EQ(after.Width, 90) << "fitted to 120 wide, then turned";
    EXPECT_EQ(after.Height, 120);
    EXPECT_EQ(optimizer_.Zoom, 100) << "min(trunc(120 / 1.2), trunc(128 / 0.9))";
    EXPECT_EQ(optimizer_.ColorCountText, std::to_string(encoder_.Proc.CalcImageNumColors()));
}

TEST_F(GifOptimizerTest, NegativeOfManyColoursReducesAndUndoBringsItBack) {
    encoder_.Assign(camera_);
    ASSERT_GT(encoder_.Proc.CalcImageNumColors(), 256);
    optimizer_.NegativeSButtonClick();
    EXPECT_LE(Colors(DecodeSnapshot().Frames.at(0)), 256u);
    EXPECT_LE(encoder_.Proc.CalcImageNumColors(), 256);
    TBitmap negative = camera_;
    for (auto& b : negative.Data()) b = std::uint8_t(255 - b);
    // The reduction filled the undo buffer with the unreduced negative.
    optimizer_.UndoSpeedButtonClick();
    EXPECT_TRUE(encoder_.Proc.UndoBuffer() == negative);
    const auto once = ReadAll("Snapshot.gif");
    optimizer_.UndoSpeedButtonClick();
    EXPECT_TRUE(encoder_.Proc.UndoBuffer() == negative);
    EXPECT_EQ(ReadAll("Snapshot.gif"), once) << "a second undo restores the same picture";
}

TEST_F(GifOptimizerTest, ReduceAndFitFollowTheLamps) {
    Snap();
    optimizer_.ColorCountText = "16";
    optimizer_.ReduceColorSButtonClick();
    EXPECT_LE(Colors(DecodeSnapshot().Frames.at(0)), 16u);
    optimizer_.ColorCountText = "1x";
    const auto bytes = ReadAll("Snapshot.gif");
    EXPECT_THROW(optimizer_.ReduceColorSButtonClick(), EConvertError);
    EXPECT_EQ(ReadAll("Snapshot.gif"), bytes);

    optimizer_.NecLit = false;
    optimizer_.FITVerticalSButtonClick();
    EXPECT_TRUE(optimizer_.FitVertLit);
    EXPECT_FALSE(optimizer_.FitHorLit);
    EXPECT_EQ(ReadAll("Snapshot.gif"), bytes) << "a dark display only switches the lamps";
    optimizer_.NecLit = true;
    optimizer_.FITVerticalSButtonClick();
    EXPECT_EQ(DecodeSnapshot().Frames.at(0).Height, 128);
    optimizer_.FITHorizontalSButtonClick();
    EXPECT_EQ(DecodeSnapshot().Frames.at(0).Width, 128);
    EXPECT_TRUE(optimizer_.FitHorLit);
}

TEST_F(GifOptimizerTest, LzwSwitchKeepsThePixels) {
    Snap();
    optimizer_.NecLit = false;
    optimizer_.NEC_Display_LEDDblClick();
    EXPECT_FALSE(encoder_.IO.UseLZW) << "dark lamp: nothing happens";
    optimizer_.NecLit = true;
    const auto plain = ReadAll("Snapshot.gif");
    const auto before = DecodeSnapshot().Frames.at(0).Pixels;
    optimizer_.NEC_Display_LEDDblClick();
    EXPECT_TRUE(encoder_.IO.UseLZW);
    EXPECT_TRUE(optimizer_.NecRed);
    EXPECT_EQ(optimizer_.NecHint, "LZW Compression / Requires Licence");
    EXPECT_NE(ReadAll("Snapshot.gif"), plain);
    EXPECT_EQ(DecodeSnapshot().Frames.at(0).Pixels, before);
    optimizer_.NEC_Display_LEDDblClick();
    EXPECT_FALSE(encoder_.IO.UseLZW);
    EXPECT_FALSE(optimizer_.NecRed);
    EXPECT_EQ(optimizer_.NecHint, "Non LZW Compression / Requires no License");
    optimizer_.NEC_Display_LEDDblClick();
    optimizer_.SwitchLzwOff();
    EXPECT_FALSE(encoder_.IO.UseLZW);
    EXPECT_FALSE(optimizer_.NecRed);
}

TEST_F(GifOptimizerTest, LoadsTheChosenPathWithoutMovingTheFolder) {
    fs::create_directories("pictures");
    SaveJpegFile("pictures/Photo.jpg", test::PhotoPicture(256, 128, 5));
    SaveBmpFile("pictures/Small.bmp", test::PhotoPicture(64, 64, 6));
    std::vector<std::pair<std::string, std::string>> asked;
    std::string answer;
    optimizer_.ChooseFile = [&](const std::string& title, const std::string& filter) {
        asked.emplace_back(title, filter);
        return answer;
    };
    const auto cwd = fs::current_path();
    answer = (cwd / "pictures/Photo.jpg").string();
    optimizer_.PhoneDisplayStatusLowDblClick();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, "Select Picture to Upload");
    EXPECT_EQ(asked[0].second, "Graphics (bmp,jpg)|*.bmp;*.jpg|Bitmaps (*.bmp)|*.bmp|Jpeg  (*.jpg)|*.jpg");
    EXPECT_EQ(PipeFilterToQt(asked[0].second),
              "Graphics (bmp,jpg) (*.bmp *.jpg);;Bitmaps (*.bmp) (*.bmp);;Jpeg  (*.jpg) (*.jpg)");
    EXPECT_EQ(fs::current_path(), cwd);
    EXPECT_EQ(grabs_, 0);
    EXPECT_EQ(DecodeSnapshot().Frames.at(0).Height, 64);
    EXPECT_FALSE(FixedFileExists("Snapshot.bmp"));
    EXPECT_FALSE(pipeline_.PictureLoaded);

    answer = "pictures/Small.bmp";
    optimizer_.PhoneDisplayStatusLowDblClick();
    EXPECT_EQ(DecodeSnapshot().Frames.at(0).Height, 128);
    EXPECT_EQ(pipeline_.SnapshotCounter, 2);

    fs::copy_file("pictures/Photo.jpg", "pictures/UPPER.JPG");
    answer = "pictures/UPPER.JPG";
    optimizer_.PhoneDisplayStatusLowDblClick();
    EXPECT_EQ(pipeline_.SnapshotCounter, 2) << "an upper-case extension is ignored";

    std::ofstream("pictures/Broken.jpg") << "no";
    answer = "pictures/Broken.jpg";
    EXPECT_THROW(optimizer_.PhoneDisplayStatusLowDblClick(), EInvalidGraphic);
    EXPECT_FALSE(pipeline_.PictureLoaded) << "the flag is cleared however it ends";
    pipeline_.Snapshot();
    EXPECT_EQ(grabs_, 1) << "the next snapshot grabs again";
}

TEST_F(GifOptimizerTest, AnimationsOfThreeAndOfSevenFrames) {
    TCaptureDevice camera;
    ASSERT_TRUE(camera.DriverConnect(0));
    pipeline_.GrabToBitmap = [&] { return camera.GrabFrameNoStop() && camera.SaveDib("Snapshot.bmp"); };
    optimizer_.FramesText = "3";
    optimizer_.InsertFrameSButtonClick();
    EXPECT_TRUE(optimizer_.AnimationLeds[0]);
    EXPECT_FALSE(optimizer_.AnimationLeds[1]);
    optimizer_.InsertFrameSButtonClick();
    EXPECT_TRUE(optimizer_.AnimationLeds[1]);
    EXPECT_TRUE(FixedFileExists("Nextshot.gif"));
    optimizer_.InsertFrameSButtonClick();
    EXPECT_EQ(status_, "GIF Animation with 3 Frames Ready");
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(optimizer_.FramesText, "2");
    for (const bool lit : optimizer_.AnimationLeds) EXPECT_FALSE(lit);
    EXPECT_FALSE(FixedFileExists("Nextshot.gif"));
    EXPECT_FALSE(FixedFileExists("Snapshot.bmp"));
    auto bytes = ReadAll("Snapshot.gif");
    EXPECT_EQ(test::CountOccurrences(bytes, "NETSCAPE2.0"), 1);
    auto gif = test::DecodeWithGiflib(bytes);
    ASSERT_EQ(gif.Frames.size(), 3u);
    for (const auto& f : gif.Frames) {
        EXPECT_EQ(f.Width, 128);
        EXPECT_LE(Colors(f), 7u);
    }
    EXPECT_NE(gif.Frames[0].Pixels, gif.Frames[2].Pixels) << "the block moved between grabs";

    optimizer_.FramesText = "7";
    optimizer_.InsertFrameSButtonClick();
    EXPECT_EQ(optimizer_.FramesText, "5");
    for (int i = 0; i < 4; ++i) optimizer_.InsertFrameSButtonClick();
    EXPECT_EQ(status_, "GIF Animation with 5 Frames Ready");
    gif = DecodeSnapshot();
    ASSERT_EQ(gif.Frames.size(), 5u);
    for (const auto& f : gif.Frames) EXPECT_LE(Colors(f), 4u);

    optimizer_.FramesText = "1";  // counts as 2
    optimizer_.InsertFrameSButtonClick();
    optimizer_.InsertFrameSButtonClick();
    EXPECT_EQ(status_, "GIF Animation with 2 Frames Ready");
    EXPECT_EQ(DecodeSnapshot().Frames.size(), 2u);
}

TEST_F(GifOptimizerTest, AnotherWriteOfTheGifEndsTheAnimation) {
    optimizer_.FramesText = "3";
    optimizer_.InsertFrameSButtonClick();
    optimizer_.InsertFrameSButtonClick();
    EXPECT_EQ(optimizer_.FrameCounter, 2);
    optimizer_.FlipVerticalSButtonClick();
    EXPECT_EQ(optimizer_.FrameCounter, 0);
    EXPECT_FALSE(optimizer_.AnimationLeds[0]);
    EXPECT_FALSE(FixedFileExists("Nextshot.gif"));
    optimizer_.FramesText = "3";
    optimizer_.InsertFrameSButtonClick();
    Snap();  // a snapshot rewrites the GIF too
    EXPECT_EQ(optimizer_.FrameCounter, 0);
    EXPECT_TRUE(status_.empty()) << "no completion text for an animation cut short";
}

TEST_F(GifOptimizerTest, TimeLapseGifHasAtMost64Colours) {
    Snap();
    optimizer_.TimeLapseGif();
    EXPECT_LE(Colors(DecodeSnapshot().Frames.at(0)), 64u);
}

TEST_F(GifOptimizerTest, Fit10KbChoosesTheLargestCountThatFits) {
    camera_ = test::PhotoPicture(128, 96, 21);
    Snap();
    ASSERT_GT(fs::file_size("Snapshot.gif"), 10240u) << "the picture must start too large";
    const TBitmap original = encoder_.Bitmap();
    ASSERT_TRUE(optimizer_.Fit10KbClick());
    const auto size = fs::file_size("Snapshot.gif");
    EXPECT_LE(size, 10240u);
    const int n = std::stoi(optimizer_.ColorCountText);
    EXPECT_GE(n, 2);
    // One colour more, made by the command-line tool, no longer fits.
    SaveBmpFile("original.bmp", original);
#ifdef VANDREX_GIF_TOOL
    const auto more = test::RunCommand(std::string(VANDREX_GIF_TOOL) + " --fit none --colors " + std::to_string(n + 1) +
                                       " original.bmp more.gif");
    ASSERT_EQ(more.Status, 0) << more.Err;
    EXPECT_GT(fs::file_size("more.gif"), 10240u);
    const auto fit = test::RunCommand(std::string(VANDREX_GIF_TOOL) + " --fit none --max-bytes 10240 original.bmp fit.gif");
    ASSERT_EQ(fit.Status, 0) << fit.Err;
    EXPECT_EQ(fit.Out, std::to_string(n) + " colours\n");
    EXPECT_LE(fs::file_size("fit.gif"), 10240u);
    const auto bad = test::RunCommand(std::string(VANDREX_GIF_TOOL) + " --max-bytes 10k original.bmp x.gif");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("--max-bytes takes a positive number, not \"10k\""), std::string::npos);
    const auto tiny = test::RunCommand(std::string(VANDREX_GIF_TOOL) + " --max-bytes 100 original.bmp x.gif");
    EXPECT_EQ(tiny.Status, 1);
    EXPECT_NE(tiny.Err.find("even 2 colours make a GIF of more than 100 bytes"), std::string::npos);
    EXPECT_FALSE(fs::exists("x.gif"));
#endif
    optimizer_.UndoSpeedButtonClick();
    EXPECT_TRUE(encoder_.Bitmap() == original) << "applied with undo";

    // Nothing fits: say so and change nothing.
    encoder_.Assign(test::NoisePicture(400, 400, 2, 3));
    SaveSnapshotGif(encoder_);
    const auto before = ReadAll("Snapshot.gif");
    EXPECT_FALSE(optimizer_.Fit10KbClick());
    EXPECT_EQ(messages_, (std::vector<std::string>{TGifOptimizer::kFit10KbFails}));
    EXPECT_EQ(ReadAll("Snapshot.gif"), before);
}

}  // namespace
}  // namespace vandrex
