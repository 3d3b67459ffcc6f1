// Encoding speed of TProducerControl against the ffmpeg command line doing the
// same encode, reported per benchmark as counters: seconds for each and
// speed_ratio = ffmpeg seconds / our seconds (1.0 = as fast; the goal is at
// least 0.95).
//
// 1. A 60 s 44.1 kHz stereo WAV at the 44K audio profile (dual ISDN, 64 Kbit/s
//    AC-3 stereo).
// 2. A 30 s 768 x 576 25 fps test video with sound, 2-pass at 250 Kbit/s
//    (rv20 at 194 Kbit/s, AC-3 56 Kbit/s stereo, key frame every 15 s).
// 3. Headroom of a realtime SVD recording (see below).
// Inputs are made once by the ffmpeg command line (not timed).

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "media/producercontrol.h"

using namespace vandrex;

namespace {

using Clock = std::chrono::steady_clock;

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

std::string Path(const char* name) { return Dir().filePath(name).toStdString(); }

void Shell(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("failed: " + cmd);
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double Ours(TProducerControl& c) {
    int errors = 0;
    auto e = QObject::connect(&c, &TProducerControl::OnErrorOccurred, [&](int, const QString&) { ++errors; });
    const auto start = Clock::now();
    c.StartEncoding();
    c.WaitUntilIdle(600000);
    const double s = Seconds(start);
    QObject::disconnect(e);
    if (errors) throw std::runtime_error("encode failed");
    return s;
}

double Theirs(const std::string& cmd) {
    const auto start = Clock::now();
    Shell(cmd);
    return Seconds(start);
}

void Report(benchmark::State& state, double ours, double theirs) {
    state.SetIterationTime(ours);
    state.counters["ours_s"] = ours;
    state.counters["ffmpeg_s"] = theirs;
    state.counters["speed_ratio"] = theirs / ours;
}

void BM_Wav60sAt44K(benchmark::State& state) {
    const std::string in = Path("in60.wav");
    Shell("test -f " + in + " || ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:r=44100:d=60' -ac 2 " + in);
    for (auto _ : state) {
        TProducerControl c;
        c.SetInputFilename(QString::fromStdString(in));
        c.SetOutputFilename(QString::fromStdString(Path("ours44.rm")));
        c.SetInputDoVideo(kWordFalse);
        c.SetTargetDualISDN(kWordTrue);
        c.SetAudioContent(1);
        c.GetAudienceSettings(3).SetTargetBitrate(64.0f);
        const double ours = Ours(c);
        const double theirs =
            Theirs("ffmpeg -nostdin -v error -y -i " + in + " -c:a ac3 -b:a 64k -ac 2 -ar 44100 " + Path("cli44.rm"));
        Report(state, ours, theirs);
    }
}
BENCHMARK(BM_Wav60sAt44K)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Video30sTwoPass250K(benchmark::State& state) {
    const std::string in = Path("in30.avi");
    Shell("test -f " + in + " || ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc=s=768x576:r=25:d=30' -f lavfi -i "
                            "'sine=r=44100:d=30' -ac 2 -c:v mjpeg -q:v 3 -c:a pcm_s16le " + in);
    const std::string rv = " -c:v rv20 -b:v 194k -maxrate 194k -bufsize 97000 -g 375 -bf 0 -qmin 3 -qmax 31 ";
    for (auto _ : state) {
        TProducerControl c;
        c.SetInputFilename(QString::fromStdString(in));
        c.SetOutputFilename(QString::fromStdString(Path("ours250.rm")));
        c.SetTempDirectory(QString::fromStdString(Path("tmp")));
        c.SetTwoPassEncoding(kWordTrue);
        c.SetTarget256KDSLCableModem(kWordTrue);
        c.SetAudioContent(1);
        c.GetAudienceSettings(6).SetTargetBitrate(250.0f);
        c.GetAudienceSettings(6).SetMaxFrameRate(25.0f);
        const double ours = Ours(c);
        const std::string log = Path("cli250");
        const double theirs = Theirs("cd " + Dir().path().toStdString() + " && ffmpeg -nostdin -v error -y -i " + in + rv +
                                     "-pass 1 -passlogfile " + log + " -an -f null - && ffmpeg -nostdin -v error -y -i " + in +
                                     rv + "-pass 2 -passlogfile " + log + " -c:a ac3 -b:a 56k -ac 2 " + Path("cli250.rm"));
        Report(state, ours, theirs);
    }
}
BENCHMARK(BM_Video30sTwoPass250K)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Headroom of a realtime SVD recording: the full-size picture encoded at
// 3664 Kbit/s with a key frame every second, from a file as fast as it goes.
// realtime_factor = frames per second encoded / 25; above 1 the capture of
// the same picture keeps up without dropping frames.
void BM_SvdRealtimeHeadroom(benchmark::State& state) {
    const std::string in = Path("svd10.avi");
    Shell("test -f " + in + " || ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc=s=768x576:r=25:d=10' -f lavfi -i "
                            "'sine=r=44100:d=10' -ac 2 -c:v mjpeg -q:v 3 -c:a pcm_s16le " + in);
    for (auto _ : state) {
        TProducerControl c;
        c.SetInputFilename(QString::fromStdString(in));
        c.SetOutputFilename(QString::fromStdString(Path("svd.rm")));
        c.SetTarget384KDSLCableModem(kWordTrue);
        c.SetAudioContent(1);
        c.SetMaxTimeBetweenKeyframes(1000);
        c.GetAudienceSettings(7).SetTargetBitrate(3664.0f);
        c.GetAudienceSettings(7).SetMaxFrameRate(25.0f);
        const double ours = Ours(c);
        state.SetIterationTime(ours);
        state.counters["realtime_factor"] = 250.0 / ours / 25.0;
    }
}
BENCHMARK(BM_SvdRealtimeHeadroom)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
