// The snapshot pipeline with the test-pattern camera; its files read back by
// giflib and libjpeg.

#include <gtest/gtest.h>

#include <fstream>

#include "capturetest_support.h"
#include "giflib_check.h"
#include "imaging/bmpfile.h"
#include "imaging/bmptojpeg.h"
#include "imaging/fixednames.h"
#include "imaging/jpegfile.h"
#include "imaging/jpegtobmp.h"
#include "imaging/snapshot.h"
#include "imaging/videocap.h"
#include "platform/capturewindow.h"
#include "platform/exceptions.h"

namespace vandrex {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        cap_.SetDriverOpen(true);
        cap_.CaptureWindow()->Device().SetFrameSize({640, 480});
        pipeline_.GrabToBitmap = [this] {
            ++grabs_;
            cap_.SingleImageFile = "Snapshot.bmp";
            return cap_.GrabFrameNoStop() && cap_.SaveFrameAsBitmap();
        };
        pipeline_.SetStatus = [this](const std::string& s) { status_ = s; };
        pipeline_.SetColorCount = [this](const std::string& s) { colors_ = s; };
        pipeline_.ShowSize = [this](const TGifSizeDisplay& d) { size_ = d; };
        pipeline_.GifChecked = [] { return true; };
        pipeline_.ShowEncoder = [this] { ++encoderShown_; };
    }
    void TearDown() override { cap_.CaptureWindow()->Device().SetFrameSize({320, 240}); }

    bool app_ = (test::App(), true);
    test::TScratchFolder folder_{"snapshot"};
    TVideoCap cap_;
    TImageEnCore encoder_;
    TSnapshotPipeline pipeline_{encoder_};
    int grabs_ = 0, encoderShown_ = 0;
    std::string status_, colors_;
    TGifSizeDisplay size_;
};

TEST_F(SnapshotTest, MakesTheGifAndJpegAndRemovesTheBitmap) {
    pipeline_.Snapshot();
    EXPECT_EQ(grabs_, 1);
    EXPECT_FALSE(fs::exists("Snapshot.bmp"));
    const auto gif = test::DecodeWithGiflib(ReadAll("Snapshot.gif"));
    ASSERT_EQ(gif.Frames.size(), 1u);
    EXPECT_EQ(gif.Frames[0].Width, 128);
    EXPECT_EQ(gif.Frames[0].Height, 96);
    std::set<int> indices(gif.Frames[0].Indices.begin(), gif.Frames[0].Indices.end());
    EXPECT_LE(indices.size(), 256u);
    // The yellow bar survives fitting and reduction.
    const TRGB yellow = gif.Frames[0].Pixels[std::size_t(10 * 128 + 16 + 8)];
    EXPECT_GT(yellow.Red, 200);
    EXPECT_GT(yellow.Green, 200);
    EXPECT_LT(yellow.Blue, 60);

    const auto jpeg = test::DecodeJpegWithLibjpeg(ReadAll("Snapshot.jpg"));
    EXPECT_EQ(jpeg.Width, 640) << "the JPEG keeps the capture size";
    EXPECT_EQ(jpeg.Height, 480);
    EXPECT_EQ(jpeg.Components, 3);
    EXPECT_FALSE(jpeg.Progressive);
    EXPECT_TRUE(jpeg.Baseline);

    EXPECT_EQ(status_, "Snapshot 1");
    EXPECT_EQ(encoderShown_, 1);
    EXPECT_EQ(size_.Bytes, static_cast<long long>(fs::file_size("Snapshot.gif")));
    EXPECT_EQ(size_.Hint, std::to_string(size_.Bytes) + " Bytes");
    EXPECT_EQ(colors_, std::to_string(encoder_.Proc.CalcImageNumColors()));
    EXPECT_EQ(pipeline_.Display().Width(), 640);
    pipeline_.Snapshot();
    EXPECT_EQ(status_, "Snapshot 2");
}

TEST_F(SnapshotTest, FitsToHeightWhenTheWidthLampIsOff) {
    pipeline_.FitHorizontal = [] { return false; };
    pipeline_.Snapshot();
    const auto gif = test::DecodeWithGiflib(ReadAll("Snapshot.gif"));
    EXPECT_EQ(gif.Frames[0].Height, 128);
    EXPECT_EQ(gif.Frames[0].Width, 170) << "640 * 128 div 480";
}

TEST_F(SnapshotTest, FailedGrabConvertsAndSendsNothing) {
    // A bitmap someone else left must not pass for the snapshot.
    SaveBmpFile("Snapshot.bmp", TBitmap(50, 50));
    std::ofstream("Snapshot.gif") << "old gif";
    int sent = 0;
    pipeline_.PeerWanted = [] { return true; };
    pipeline_.SendToPeer = [&](const std::string&) { ++sent; };
    pipeline_.GrabToBitmap = [] { return false; };
    try {
        pipeline_.Snapshot();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), TSnapshotPipeline::kGrabFailedText);
    }
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(fs::exists("Snapshot.jpg"));
    EXPECT_EQ(ReadAll("Snapshot.gif").size(), 7u) << "the old GIF stays";
    EXPECT_FALSE(fs::exists("Snapshot.bmp"));
    EXPECT_EQ(pipeline_.SnapshotCounter, 0);
}

TEST_F(SnapshotTest, LoadedPictureIsUsedWhateverTheCaseOfItsName) {
    SaveBmpFile("snapshot.bmp", test::PhotoPicture(200, 100, 7));
    std::ofstream("SnapShot.gif") << "stale";
    pipeline_.PictureLoaded = true;
    int sent = 0;
    std::string sentName;
    pipeline_.PeerWanted = [] { return true; };
    pipeline_.SendToPeer = [&](const std::string& name) {
        ++sent;
        sentName = name;
    };
    pipeline_.Snapshot();
    EXPECT_EQ(grabs_, 0) << "a loaded picture is not grabbed over";
    EXPECT_FALSE(fs::exists("snapshot.bmp"));
    EXPECT_FALSE(fs::exists("Snapshot.bmp"));
    const auto gif = test::DecodeWithGiflib(ReadAll(ResolveFixedName("Snapshot.gif")));
    EXPECT_EQ(gif.Frames[0].Width, 128);
    EXPECT_EQ(gif.Frames[0].Height, 64);
    int variants = 0;
    for (const auto& e : fs::directory_iterator(".")) variants += e.path().filename().string().size() == 12 &&
                                                                   e.path().extension() == ".gif";
    EXPECT_EQ(variants, 1) << "one file per fixed name";
    EXPECT_EQ(test::DecodeJpegWithLibjpeg(ReadAll("Snapshot.jpg")).Width, 200);
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(sentName, "Snapshot.jpg");
}

TEST_F(SnapshotTest, SizeLampLightsAbove10240Bytes) {
    for (const long long bytes : {10240LL, 10241LL, 0LL}) {
        {
            std::ofstream out("Snapshot.gif", std::ios::binary | std::ios::trunc);
            out << std::string(std::size_t(bytes), 'g');
        }
        const TGifSizeDisplay d = GifSizeDisplay(77);
        EXPECT_EQ(d.Bytes, bytes);
        EXPECT_EQ(d.WarningLit, bytes == 10241) << bytes;
        EXPECT_EQ(d.BarPosition, int(std::min(bytes, 10240LL)));
        EXPECT_EQ(d.Hint, std::to_string(bytes) + " Bytes");
        EXPECT_EQ(d.ColorCount, "77");
    }
    fs::remove("Snapshot.gif");
    EXPECT_THROW(GifSizeDisplay(1), EInOutError);
}

TEST_F(SnapshotTest, ConvertersWriteAsideAndKeepTheOldFileOnFailure) {
    const TBitmap picture = test::PhotoPicture(64, 48, 3);
    TBmpToJpeg toJpeg;
    toJpeg.Image = &picture;
    toJpeg.JpegFile = "Snapshot.jpg";
    toJpeg.Convert();
    const auto first = test::DecodeJpegWithLibjpeg(ReadAll("Snapshot.jpg"));
    EXPECT_EQ(first.Width, 64);
    TBmpToJpeg empty;
    empty.JpegFile = "Snapshot.jpg";
    EXPECT_THROW(empty.Convert(), EInvalidGraphic);
    EXPECT_EQ(test::DecodeJpegWithLibjpeg(ReadAll("Snapshot.jpg")).Width, 64);

    TJpegToBmp toBmp;
    toBmp.JpegFile = "snapshot.JPG";  // another case reaches the same file
    toBmp.BmpFile = "Snapshot.bmp";
    toBmp.Convert();
    const TBitmap back = LoadBmpFile("Snapshot.bmp");
    EXPECT_EQ(back.Width(), 64);
    EXPECT_EQ(back.Height(), 48);
    std::ofstream("Snapshot.jpg", std::ios::trunc) << "not a jpeg";
    EXPECT_THROW(toBmp.Convert(), EInvalidGraphic);
    EXPECT_EQ(LoadBmpFile("Snapshot.bmp").Width(), 64) << "the bitmap is not broken";
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().extension(), ".part") << "no aside file left";
}

#ifdef VANDREX_CAPTURE_TOOL
TEST(SnapshotToolTest, SnapWritesTheTwoFiles) {
    test::TScratchFolder folder("snaptool");
    const auto r = test::RunCommand(std::string(VANDREX_CAPTURE_TOOL) + " snap --size 640x480");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.rfind("Snapshot.gif ", 0), 0u);
    EXPECT_EQ(test::DecodeWithGiflib(ReadAll("Snapshot.gif")).Frames.at(0).Width, 128);
    EXPECT_EQ(test::DecodeJpegWithLibjpeg(ReadAll("Snapshot.jpg")).Height, 480);
    EXPECT_FALSE(fs::exists("Snapshot.bmp"));
    const auto bad = test::RunCommand(std::string(VANDREX_CAPTURE_TOOL) + " snap --size 641x480");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Err.find("does not offer 641x480"), std::string::npos);
}
#endif

}  // namespace
}  // namespace vandrex
