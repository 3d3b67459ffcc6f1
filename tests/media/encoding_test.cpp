// Encodings of real inputs, checked with ffprobe and by decoding.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "media/producercontrol.h"
#include "mediatestsupport.h"

namespace vandrex {
namespace {

struct TRun {
    std::vector<int> errors;
    std::vector<QString> errorTexts;
    std::vector<int> percents;
    int stops = 0;
};

TRun Encode(TProducerControl& c) {
    TRun run;
    auto e = QObject::connect(&c, &TProducerControl::OnErrorOccurred, [&](int code, const QString& t) {
        run.errors.push_back(code);
        run.errorTexts.push_back(t);
    });
    auto p = QObject::connect(&c, &TProducerControl::OnEncodingProgressChanged,
                              [&](int, int, int percent, int) { run.percents.push_back(percent); });
    auto s = QObject::connect(&c, &TProducerControl::OnEncodingStopped, [&] { ++run.stops; });
    c.StartEncoding();
    EXPECT_TRUE(c.WaitUntilIdle(120000));
    QObject::disconnect(e);
    QObject::disconnect(p);
    QObject::disconnect(s);
    return run;
}

class Encoding : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        ASSERT_TRUE(dir_.isValid());
    }
    std::string Path(const char* name) { return dir_.filePath(name).toStdString(); }
    void FileToFile(TProducerControl& c, const std::string& in, const std::string& out) {
        c.SetInputType(0);
        c.SetInputFilename(QString::fromStdString(in));
        c.SetOutputFilename(QString::fromStdString(out));
    }
    QTemporaryDir dir_;
};

TEST_F(Encoding, SoundFileForEveryAudienceAndContent) {
    const std::string wav = Path("in.wav");
    test::MakeWav(wav, 2.0);
    const char* targets[] = {"Target28KModem", "Target56KModem", "TargetSingleISDN", "TargetDualISDN",
                             "TargetLAN", "TargetDSLCableModem", "Target256KDSLCableModem", "Target384KDSLCableModem"};
    for (int n = 0; n < kAudienceCount; ++n) {
        TProducerControl c;
        const std::string out = Path("a") + std::to_string(n) + ".rm";
        FileToFile(c, wav, out);
        c.SetInputDoVideo(kWordFalse);
        c.SetProperty(targets[n], -1);
        c.SetAudioContent(n % 4);
        TRun run = Encode(c);
        ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
        EXPECT_EQ(test::DecodeErrors(out), "") << n;
        auto p = test::Probe(out, "stream=codec_name,channels,bit_rate:format=duration");
        const float target = c.GetAudienceSettings(n).GetTargetBitrate();
        if (target < 32) {
            EXPECT_EQ(p["stream0.codec_name"], "ra_144") << n;
        } else {
            EXPECT_EQ(p["stream0.codec_name"], "ac3") << n;
            const double rate = std::stod(p["stream0.bit_rate"]) / 1000;
            EXPECT_LE(rate, target) << n;
            EXPECT_GT(rate, target * 0.6) << n;
            EXPECT_EQ(p["stream0.channels"], (n % 4 == 1 || n % 4 == 3) ? "2" : "1") << n;
        }
        EXPECT_NEAR(std::stod(p["format.duration"]), 2.0, 0.1) << n;
        ASSERT_FALSE(run.percents.empty());
        EXPECT_EQ(run.percents.back(), 100);
    }
}

TEST_F(Encoding, VideoFileForEveryAudienceKeepsSoundAndPicturesInStep) {
    const std::string avi = Path("in.avi");
    test::MakeAvi(avi, 176, 144, 25, 1.0);
    const char* targets[] = {"Target28KModem", "Target56KModem", "TargetSingleISDN", "TargetDualISDN",
                             "TargetLAN", "TargetDSLCableModem", "Target256KDSLCableModem", "Target384KDSLCableModem"};
    for (int n = 0; n < kAudienceCount; ++n) {
        TProducerControl c;
        const std::string out = Path("v") + std::to_string(n) + ".rm";
        FileToFile(c, avi, out);
        c.SetProperty(targets[n], -1);
        TRun run = Encode(c);
        ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
        EXPECT_EQ(test::DecodeErrors(out), "") << n;
        auto p = test::Probe(out, "stream=codec_name:format=duration");
        EXPECT_EQ(p["stream0.codec_name"], "rv20") << n;
        // Beside pictures, sound gets a quarter of the target; AC-3 needs 32.
        EXPECT_EQ(p["stream1.codec_name"], c.GetAudienceSettings(n).GetTargetBitrate() / 4 < 32 ? "ra_144" : "ac3") << n;
        EXPECT_NEAR(std::stod(p["format.duration"]), 1.0, 0.15) << n;
        // The last sound packet lies near the end of the pictures.
        std::string times;
        test::RunCommand("ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 " + test::Quote(out), &times);
        const double lastSound = std::stod(times.substr(times.rfind('\n', times.size() - 2) + 1));
        EXPECT_NEAR(lastSound, 1.0, 0.1) << n;
    }
}

TEST_F(Encoding, VideoFileWithCroppingOddSizeAndClipFields) {
    const std::string avi = Path("in.avi");
    test::MakeAvi(avi, 384, 288, 25, 2.0);
    TProducerControl c;
    const std::string out = Path("v.rm");
    FileToFile(c, avi, out);
    c.SetTarget256KDSLCableModem(kWordTrue);
    c.GetAudienceSettings(6).SetTargetBitrate(250.0f);
    c.GetAudienceSettings(6).SetMaxFrameRate(15.0f);
    c.SetVideoCropTop(59);
    c.SetVideoCropLeft(0);
    c.SetVideoCropWidth(384);
    c.SetVideoCropHeight(170);
    c.SetVideoCroppingEnabled(kWordTrue);
    c.SetVideoOutputHeight(170);
    c.SetVideoOutputWidth(384);
    c.SetTitle("Clip title");
    c.SetAuthor("Your Account");
    c.SetDescription("About it");
    c.SetKeywords("sea, boat");
    c.SetMobilePlay(kWordTrue);
    TRun run = Encode(c);
    ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
    EXPECT_EQ(test::DecodeErrors(out), "");
    auto p = test::Probe(out, "stream=codec_name,width,height,r_frame_rate:format=duration:format_tags");
    EXPECT_EQ(p["stream0.codec_name"], "rv20");
    EXPECT_EQ(p["stream0.width"], "384");
    EXPECT_EQ(p["stream0.height"], "172");
    EXPECT_EQ(p["stream0.r_frame_rate"], "15/1");
    EXPECT_EQ(p["stream1.codec_name"], "ac3");
    EXPECT_NEAR(std::stod(p["format.duration"]), 2.0, 1.0 / 15 + 0.05);
    EXPECT_NEAR(test::CountFrames(out), 30, 1);
    EXPECT_EQ(p["format.TAG:title"], "Clip title");
    EXPECT_EQ(p["format.TAG:author"], "Your Account");
    EXPECT_EQ(p["format.TAG:comment"], "About it");
    EXPECT_EQ(p["format.TAG:Keywords"], "sea, boat");
    EXPECT_EQ(p["format.TAG:MobilePlay"], "1");
}

TEST_F(Encoding, LevelsAndClippingAreReported) {
    for (double amplitude : {0.5, 1.0}) {
        const std::string wav = Path("level.wav");
        test::MakeWav(wav, 1.0, 44100, 2, amplitude);
        TProducerControl c;
        FileToFile(c, wav, Path("level.rm"));
        c.SetTargetDualISDN(kWordTrue);
        int peak = 0, clips = 0, clipValue = 0;
        QObject::connect(&c, &TProducerControl::OnEncodingProgressChanged, [&](int, int, int, int p) { peak = std::max(peak, p); });
        QObject::connect(&c, &TProducerControl::OnAudioLevelClipped, [&](int, int v) {
            ++clips;
            clipValue = v;
        });
        TRun run = Encode(c);
        ASSERT_TRUE(run.errors.empty());
        EXPECT_NEAR(peak, amplitude * 32767, 400) << amplitude;
        if (amplitude < 1.0) {
            EXPECT_EQ(clips, 0);
        } else {
            EXPECT_GE(clips, 1);
            EXPECT_EQ(clipValue, 32767);
        }
    }
}

TEST_F(Encoding, FiltersQualityAndOddInputSizes) {
    const std::string avi = Path("odd.avi");
    ASSERT_EQ(test::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i "
                               "'testsrc2=size=176x112:rate=25:d=1,crop=171:97,format=bgr24' -c:v rawvideo " +
                               test::Quote(avi)),
              0);
    TProducerControl c;
    const std::string out = Path("odd.rm");
    FileToFile(c, avi, out);
    c.SetTargetLAN(kWordTrue);
    c.SetDeInterlaceFilter(kWordTrue);
    c.SetVideoNoiseFiltering(2);
    c.SetVideoQuality(2);
    c.SetVbrEncoding(kWordTrue);
    TRun run = Encode(c);
    ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
    EXPECT_EQ(test::DecodeErrors(out), "");
    auto p = test::Probe(out, "stream=width,height");
    EXPECT_EQ(p["stream0.width"], "172");
    EXPECT_EQ(p["stream0.height"], "100");
    EXPECT_NEAR(test::CountFrames(out), 25, 1);
}

TEST_F(Encoding, VideoBitrateHoldsTheAudienceTarget) {
    const std::string avi = Path("in.avi");
    // A calm picture: the rate control can meet the target on a short clip.
    ASSERT_EQ(test::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=size=320x240:rate=25:d=6' -f lavfi -i "
                               "'sine=r=44100:d=6' -ac 2 -c:v mjpeg -q:v 3 -c:a pcm_s16le " + test::Quote(avi)),
              0);
    TProducerControl c;
    const std::string out = Path("rate.rm");
    FileToFile(c, avi, out);
    c.SetTargetLAN(kWordTrue);
    c.GetAudienceSettings(4).SetTargetBitrate(400.0f);
    c.SetMaxTimeBetweenKeyframes(5000);
    TRun run = Encode(c);
    ASSERT_TRUE(run.errors.empty());
    auto p = test::Probe(out, "format=bit_rate,duration");
    const double kbits = std::stod(p["format.bit_rate"]) / 1000;
    EXPECT_NEAR(kbits, 400.0, 400.0 * 0.15);
    EXPECT_EQ(test::DecodeErrors(out), "");
}

TEST_F(Encoding, TwoPassMakesItsTempFolderAndCountsEachPassToHundred) {
    const std::string avi = Path("in.avi");
    test::MakeAvi(avi, 176, 144, 25, 1.5);
    TProducerControl c;
    const std::string out = Path("two.rm");
    FileToFile(c, avi, out);
    const QString temp = dir_.filePath("not/yet/there");
    c.SetTempDirectory(temp);
    c.SetTwoPassEncoding(kWordTrue);
    c.SetTargetLAN(kWordTrue);
    TRun run = Encode(c);
    ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
    EXPECT_TRUE(QDir(temp).exists());
    EXPECT_TRUE(QDir(temp).isEmpty()) << "statistics left behind";
    EXPECT_EQ(std::count(run.percents.begin(), run.percents.end(), 100), 2);
    EXPECT_EQ(test::DecodeErrors(out), "");
    EXPECT_EQ(test::Probe(out, "stream=codec_name")["stream0.codec_name"], "rv20");
}

TEST_F(Encoding, TwoPassBelowWhatThePictureNeedsStillEncodes) {
    const std::string avi = Path("busy.avi");
    ASSERT_EQ(test::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=s=768x576:r=25:d=0.6' -c:v mjpeg -q:v 3 " +
                               test::Quote(avi)),
              0);
    TProducerControl c;
    const std::string out = Path("low.rm");
    FileToFile(c, avi, out);
    c.SetTwoPassEncoding(kWordTrue);
    c.SetTarget256KDSLCableModem(kWordTrue);
    c.GetAudienceSettings(6).SetTargetBitrate(40.0f);
    TRun run = Encode(c);
    ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
    EXPECT_EQ(test::DecodeErrors(out), "");
    EXPECT_NEAR(test::CountFrames(out), 15, 1);
}

TEST_F(Encoding, KeyFramesOfALargeFastPictureFitTheMuxer) {
    // A full-size picture at the highest realtime rate with a key frame every
    // second would give key frames over 64 KB without the buffer cap.
    const std::string avi = Path("big.avi");
    ASSERT_EQ(test::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=s=768x576:r=25:d=0.6' "
                               "-c:v mjpeg -q:v 2 " + test::Quote(avi)),
              0);
    TProducerControl c;
    const std::string out = Path("svd.rm");
    FileToFile(c, avi, out);
    c.SetTarget384KDSLCableModem(kWordTrue);
    c.GetAudienceSettings(7).SetTargetBitrate(3664.0f);
    c.SetMaxTimeBetweenKeyframes(1000);
    TRun run = Encode(c);
    ASSERT_TRUE(run.errors.empty()) << run.errorTexts[0].toStdString();
    EXPECT_EQ(test::DecodeErrors(out), "");
    EXPECT_NEAR(test::CountFrames(out), 15, 1);
    std::string sizes;
    test::RunCommand("ffprobe -v error -select_streams v -show_entries packet=size,flags -of csv=p=0 " + test::Quote(out), &sizes);
    int largest = 0;
    for (const char* p = sizes.c_str(); *p;) {
        largest = std::max(largest, std::atoi(p));
        while (*p && *p != '\n') ++p;
        if (*p) ++p;
    }
    EXPECT_GT(largest, 8000);
    EXPECT_LT(largest, 65000);
}

TEST_F(Encoding, RealTimeTestPatternCaptureStopsIntoAPlayableFile) {
    TProducerControl c;
    const std::string out = Path("capture.rm");
    c.SetInputType(1);
    c.SetInputCaptureVideoDriver(0);
    c.SetOutputFilename(QString::fromStdString(out));
    c.SetTargetLAN(kWordTrue);
    std::vector<int> percents, timestamps;
    QObject::connect(&c, &TProducerControl::OnEncodingProgressChanged, [&](int, int t, int p, int) {
        percents.push_back(p);
        timestamps.push_back(t);
    });
    c.StartEncoding();
    QTimer::singleShot(1500, &c, [&] { c.StopEncoding(); });
    ASSERT_TRUE(c.WaitUntilIdle(10000));
    EXPECT_EQ(test::DecodeErrors(out), "");
    const double seconds = std::stod(test::Probe(out, "format=duration")["format.duration"]);
    EXPECT_NEAR(seconds, 1.5, 0.4);
    for (int p : percents) EXPECT_EQ(p, 0);
    ASSERT_GE(timestamps.size(), 3u);
    EXPECT_NEAR(timestamps.back(), 1500, 400);
}

TEST_F(Encoding, ProtectedOutputIsRefusedEvenForRoot) {
    const std::string wav = Path("in.wav");
    test::MakeWav(wav, 0.5);
    const std::string out = Path("protected.rm");
    std::ofstream(out) << "keep me";
    ASSERT_EQ(chmod(out.c_str(), 0444), 0);
    TProducerControl c;
    FileToFile(c, wav, out);
    TRun run = Encode(c);
    ASSERT_EQ(run.errors, std::vector<int>{2});
    EXPECT_EQ(run.stops, 1);
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "keep me");
}

TEST_F(Encoding, AnEncodeNeverWritesOverItsOwnInput) {
    const std::string wav = Path("in.wav");
    test::MakeWav(wav, 0.5);
    const std::string link = Path("other-name.rm");
    ASSERT_EQ(::link(wav.c_str(), link.c_str()), 0);
    struct stat before{};
    stat(wav.c_str(), &before);
    for (const std::string& out : {wav, link, Path("./in.wav")}) {
        TProducerControl c;
        FileToFile(c, wav, out);
        TRun run = Encode(c);
        EXPECT_EQ(run.errors, std::vector<int>{3}) << out;
    }
    struct stat after{};
    stat(wav.c_str(), &after);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(test::DecodeErrors(wav), "");
}

TEST_F(Encoding, BadInputsReportAnErrorThenStop) {
    const std::string junk = Path("junk.wav");
    std::ofstream(junk) << "RIFF but not really";
    for (const std::string& in : {Path("missing.wav"), junk}) {
        TProducerControl c;
        const std::string out = Path("never.rm");
        FileToFile(c, in, out);
        TRun run = Encode(c);
        EXPECT_EQ(run.errors, std::vector<int>{1}) << in;
        EXPECT_EQ(run.stops, 1);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    }
}

}  // namespace
}  // namespace vandrex
