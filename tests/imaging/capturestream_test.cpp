// Streaming capture to AVI, checked with ffprobe and the ffmpeg decoder: the
// control's own path and vandrex-capture's.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <cstdlib>

#include "capturetest_support.h"
#include "imaging/videocap.h"
#include "platform/capturewindow.h"
#include "platform/testpattern.h"

namespace vandrex {
namespace {

using test::App;
using test::ProbeStreams;
using test::RunCommand;
using test::WaitFor;

struct TStreamCase {
    int fps;
    TFrequency frequency;
    TChannel channels;
    TResolution resolution;
    const char* rate;
    const char* sampleFormat;
    const char* codec;
    int samplesPerSecond;
};

class CaptureStreamTest : public ::testing::Test {
protected:
    void SetUp() override { App(); }

    // Starts a capture and waits for its end; returns whether it ended well.
    static bool RecordAndWait(TVideoCap& cap, int timeoutMs) {
        bool ended = false, ok = false;
        QObject::connect(&cap, &TVideoCap::CaptureFinished, [&](bool result) {
            ended = true;
            ok = result;
        });
        if (!cap.StartCapture()) return false;
        WaitFor([&] { return ended; }, timeoutMs);
        return ended && ok;
    }
};

TEST_F(CaptureStreamTest, ThreeSecondsInEachFormatDecodeCleanly) {
    const TStreamCase cases[] = {
        {5, TFrequency::f22050Hz, TChannel::Mono, TResolution::r16Bit, "5/1", "s16", "pcm_s16le", 22050},
        {25, TFrequency::f44100Hz, TChannel::Stereo, TResolution::r16Bit, "25/1", "s16", "pcm_s16le", 44100},
        {5, TFrequency::f8000Hz, TChannel::Mono, TResolution::r8Bit, "5/1", "u8", "pcm_u8", 8000},
    };
    for (const auto& k : cases) {
        test::TScratchFolder folder("stream");
        TVideoCap cap;
        ApplyVideoCap1Settings(cap);
        cap.SetDriverIndex(0);
        cap.SetFrameRate(std::uint16_t(k.fps));
        cap.CapTimeLimit = 3;
        cap.CapAudioFormat().Frequency = k.frequency;
        cap.CapAudioFormat().Channels = k.channels;
        cap.CapAudioFormat().Resolution = k.resolution;
        int videoBuffers = 0;
        std::size_t waveBytes = 0;
        cap.SetOnVideoStream([&](QObject*, PVIDEOHDR h) {
            EXPECT_EQ(h->Width, 320);
            ++videoBuffers;
        });
        cap.SetOnAudioStream([&](QObject*, PWaveHdr h) { waveBytes += h->dwBytesRecorded; });
        cap.SetDriverOpen(true);
        ASSERT_TRUE(RecordAndWait(cap, 10000)) << k.fps << " fps";
        EXPECT_EQ(cap.LastIndexSize(), 1800u);
        const auto streams = ProbeStreams("Capture.avi");
        ASSERT_EQ(streams.size(), 2u) << k.fps;
        auto video = streams[0], audio = streams[1];
        if (video["codec_type"] != "video") std::swap(video, audio);
        EXPECT_EQ(video["codec_name"], "mjpeg");
        EXPECT_EQ(video["width"], "320");
        EXPECT_EQ(video["r_frame_rate"], k.rate);
        EXPECT_EQ(video["nb_read_frames"], std::to_string(3 * k.fps));
        EXPECT_EQ(audio["codec_name"], k.codec);
        EXPECT_EQ(audio["sample_rate"], std::to_string(k.samplesPerSecond));
        EXPECT_EQ(audio["sample_fmt"], k.sampleFormat);
        EXPECT_EQ(audio["channels"], k.channels == TChannel::Stereo ? "2" : "1");
        EXPECT_NEAR(std::atof(video["format.duration"].c_str()), 3.0, 0.05);
        const auto decoded = RunCommand("ffmpeg -nostdin -v error -i Capture.avi -f null -");
        EXPECT_EQ(decoded.Status, 0);
        EXPECT_EQ(decoded.Err, "") << "the decoder found faults";
        EXPECT_EQ(videoBuffers, 3 * k.fps);
        const int bytesPerSample = (k.channels == TChannel::Stereo ? 2 : 1) * (k.resolution == TResolution::r16Bit ? 2 : 1);
        EXPECT_EQ(waveBytes, std::size_t(3 * k.samplesPerSecond * bytesPerSample));
        ASSERT_TRUE(cap.Status().has_value());
        EXPECT_EQ(cap.Status()->CurrentVideoFrame, std::uint32_t(3 * k.fps));
        EXPECT_EQ(cap.Status()->CurrentVideoFramesDropped, 0u);
        EXPECT_FALSE(cap.Status()->CapturingNow);
    }
}

TEST_F(CaptureStreamTest, EscapeAndStopCaptureEndIt) {
    for (const bool escape : {true, false}) {
        test::TScratchFolder folder("stop");
        TVideoCap cap;
        cap.VideoFileName = "Short.avi";
        cap.CapAudio = false;
        cap.SetFrameRate(10);
        cap.SetDriverOpen(true);
        bool ended = false;
        QObject::connect(&cap, &TVideoCap::CaptureFinished, [&](bool) { ended = true; });
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(cap.StartCapture());
        WaitFor([] { return false; }, 600);
        if (escape) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&cap, &key);
        } else {
            EXPECT_TRUE(cap.StopCapture());
        }
        ASSERT_TRUE(WaitFor([&] { return ended; }, 5000));
        EXPECT_LT(timer.elapsed(), 5000) << "no time limit: only the stop ends it";
        const auto streams = ProbeStreams("Short.avi");
        ASSERT_EQ(streams.size(), 1u) << "video only";
        const int frames = std::atoi(streams[0].at("nb_read_frames").c_str());
        EXPECT_GE(frames, 4);
        EXPECT_LE(frames, 50);
    }
}

TEST_F(CaptureStreamTest, CaptureWithoutFileFeedsOnlyTheCallbacks) {
    test::TScratchFolder folder("nofile");
    TVideoCap cap;
    cap.CapToFile = false;
    cap.CapAudio = true;
    cap.CapTimeLimit = 1;
    cap.SetFrameRate(10);
    int frames = 0;
    std::size_t bytes = 0;
    cap.SetOnVideoStream([&](QObject*, PVIDEOHDR) { ++frames; });
    cap.SetOnAudioStream([&](QObject*, PWaveHdr h) { bytes += h->dwBytesRecorded; });
    QStringList texts;
    cap.SetOnStatusCallback([&](QObject*, int, const QString& text) { texts << text; });
    cap.SetDriverOpen(true);
    ASSERT_TRUE(RecordAndWait(cap, 5000));
    EXPECT_EQ(texts, (QStringList{"Capture start", "Capture end: 10 frames, 0 dropped"}));
    EXPECT_EQ(frames, 10);
    EXPECT_EQ(bytes, 8000u) << "8000 Hz mono 8-bit for one second";
    EXPECT_TRUE(std::filesystem::is_empty(".")) << "no file written";
}

TEST_F(CaptureStreamTest, BufferFileRecordingEndsUpInTheVideoFile) {
    test::TScratchFolder folder("buffer");
    // TMPDIR points into the scratch folder for this test only.
    struct TTmpDir {
        QByteArray old = qgetenv("TMPDIR");
        ~TTmpDir() {
            if (old.isNull()) qunsetenv("TMPDIR"); else qputenv("TMPDIR", old);
        }
    } restore;
    std::filesystem::create_directories("tmp");
    qputenv("TMPDIR", (std::filesystem::current_path() / "tmp").string().c_str());
    {
        TVideoCap cap;
        cap.VideoFileName = "Buffered.avi";
        cap.CapAudio = false;
        cap.CapTimeLimit = 1;
        cap.SetBufferFileSize(1);
        cap.SetDriverOpen(true);
        const QString buffer = cap.BufferFile();
        ASSERT_FALSE(buffer.isEmpty());
        EXPECT_TRUE(QFileInfo(buffer).fileName().startsWith("cap"));
        EXPECT_EQ(QFileInfo(buffer).absolutePath().toStdString(), (std::filesystem::current_path() / "tmp").string());
        EXPECT_EQ(QFileInfo(buffer).size(), 1048576) << "reserved in advance";
        ASSERT_TRUE(RecordAndWait(cap, 5000));
        const auto streams = ProbeStreams("Buffered.avi");
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(streams[0].at("codec_name"), "mjpeg");
        cap.SetDriverOpen(false);
        EXPECT_FALSE(QFile::exists(buffer)) << "the buffer goes at disconnect";
    }
    EXPECT_TRUE(std::filesystem::is_empty("tmp"));
    EXPECT_TRUE(std::filesystem::exists("Buffered.avi"));
}

#ifdef VANDREX_CAPTURE_TOOL

TEST_F(CaptureStreamTest, ToolListsSnapsAndRecords) {
    test::TScratchFolder folder("tool");
    const std::string tool = VANDREX_CAPTURE_TOOL;
    const auto list = RunCommand(tool + " list");
    EXPECT_EQ(list.Status, 0);
    EXPECT_EQ(list.Out.substr(0, 25), "Vandrex Test Pattern 1.0\n");

    const auto record = RunCommand(tool + " record --seconds 2 --fps 10 --audio stereo --rate 11025 --bits 8 Out.avi");
    ASSERT_EQ(record.Status, 0) << record.Err;
    const auto streams = ProbeStreams("Out.avi");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("nb_read_frames"), "20");
    EXPECT_EQ(streams[1].at("sample_rate"), "11025");
    EXPECT_EQ(streams[1].at("channels"), "2");
    EXPECT_EQ(streams[1].at("sample_fmt"), "u8");

    // The colours survive the recording: the first frame, decoded by ffmpeg
    // to RGB, has each bar's colour in its middle (JPEG loses a little).
    // Catches swapped channels, a limited range written as full, or a
    // wrong chroma plane.
    const auto decode = RunCommand("ffmpeg -nostdin -v error -i Out.avi -frames:v 1 -f rawvideo -pix_fmt rgb24 -y first.rgb");
    ASSERT_EQ(decode.Status, 0) << decode.Err;
    const auto rgb = test::ReadAll("first.rgb");
    const int w = 320, h = 240;
    ASSERT_EQ(rgb.size(), std::size_t(w * h * 3));
    for (int i = 0; i < 8; ++i) {
        const int x = (PatternBarLeft(i, w) + PatternBarLeft(i + 1, w)) / 2, y = h / 3;
        const std::uint8_t* px = &rgb[(std::size_t(y) * w + x) * 3];
        const TPatternColor want = kPatternBars[i];
        EXPECT_NEAR(px[0], want.Red, 8) << "bar " << i;
        EXPECT_NEAR(px[1], want.Green, 8) << "bar " << i;
        EXPECT_NEAR(px[2], want.Blue, 8) << "bar " << i;
    }

    const auto defaults = RunCommand(tool + " record --seconds 1 Default.avi");
    ASSERT_EQ(defaults.Status, 0) << defaults.Err;
    const auto d = ProbeStreams("Default.avi");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].at("r_frame_rate"), "5/1");
    EXPECT_EQ(d[1].at("sample_rate"), "22050");
    EXPECT_EQ(d[1].at("sample_fmt"), "s16");
    EXPECT_EQ(d[1].at("channels"), "1");

    const auto bad = RunCommand(tool + " record --seconds 2 --bits 12 X.avi");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("--bits takes 8 or 16"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("X.avi"));
    const auto noDriver = RunCommand(tool + " snap --driver 9");
    EXPECT_EQ(noDriver.Status, 1);
    EXPECT_NE(noDriver.Err.find("no capture driver 9"), std::string::npos);
}

#endif

}  // namespace
}  // namespace vandrex
