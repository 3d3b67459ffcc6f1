// The snapshot button, "Fit 10 KB" and a 30-second capture, each against the
// ffmpeg command line doing the same work in the same run.
//
//   capture_bench [--benchmark_filter=...]
//   VANDREX_CAPTURE_BENCH_SECONDS=30 (length of the capture benchmark)

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/gifoptimizer.h"
#include "imaging/imageencore.h"
#include "imaging/snapshot.h"
#include "platform/capturedevice.h"
#include "tests/imaging/testpictures.h"

namespace {

using namespace vandrex;
using Clock = std::chrono::steady_clock;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "capture_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// A scratch folder entered for one benchmark.
struct TFolder {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path path;
    explicit TFolder(const char* name) {
        path = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~TFolder() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::size_t(std::min<double>(double(v.size() - 1), p * double(v.size() - 1) + 0.5))];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ChildrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double SelfCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// 50 presses of the snapshot button at 640 x 480, then the ffmpeg command
// line making the same two files from one grabbed frame.
void BM_SnapshotPressVsFfmpeg(benchmark::State& state) {
    App();
    TFolder folder("vandrex_bench_snapshot");
    TCaptureDevice camera;
    camera.DriverConnect(0);
    camera.SetFrameSize({640, 480});
    TImageEnCore encoder;
    TSnapshotPipeline pipeline(encoder);
    pipeline.GrabToBitmap = [&] { return camera.GrabFrameNoStop() && camera.SaveDib(kSnapshotBmp); };
    std::vector<double> presses, cli;
    for (auto _ : state) {
        presses.clear();
        for (int i = 0; i < 50; ++i) {
            const auto t0 = Clock::now();
            pipeline.Snapshot();
            presses.push_back(Ms(Clock::now() - t0));
        }
        camera.GrabFrameNoStop();
        camera.SaveDib("frame.bmp");
        cli.clear();
        for (int i = 0; i < 10; ++i) {
            const auto t0 = Clock::now();
            const int rc = std::system(
                "ffmpeg -nostdin -v error -y -i frame.bmp -filter_complex "
                "\"[0]split[a][b];[a]scale=128:-1,split[c][d];[c]palettegen=max_colors=256[p];[d][p]paletteuse[g]\" "
                "-map \"[g]\" cli.gif -map \"[b]\" -q:v 2 cli.jpg");
            cli.push_back(Ms(Clock::now() - t0));
            if (rc != 0) state.SkipWithError("ffmpeg failed");
        }
    }
    const double median = Percentile(presses, 0.5);
    state.counters["median_ms"] = median;
    state.counters["p95_ms"] = Percentile(presses, 0.95);
    state.counters["ffmpeg_median_ms"] = Percentile(cli, 0.5);
    state.counters["ratio"] = median / Percentile(cli, 0.5);
}
BENCHMARK(BM_SnapshotPressVsFfmpeg)->Iterations(1)->Unit(benchmark::kMillisecond);

// "Fit 10 KB" on a photo-like 128 x 96 picture (run-length coding, the
// default).
void BM_Fit10Kb(benchmark::State& state) {
    const TBitmap photo = test::PhotoPicture(128, 96, 42);
    int colors = 0;
    for (auto _ : state) {
        const auto n = FitColorsToBytes(photo, {255, 255, 255}, state.range(0) != 0, kGifPageLimit, 256);
        colors = n.value_or(0);
        benchmark::DoNotOptimize(colors);
    }
    state.counters["colors"] = colors;
}
BENCHMARK(BM_Fit10Kb)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A capture at 640 x 480, 25 frames per second, 44.1 kHz stereo sound, with
// the user-interface thread's longest pause between 5 ms timer ticks; then
// the ffmpeg command line encoding the same length from its own test source.
void BM_Capture30s(benchmark::State& state) {
    App();
    TFolder folder("vandrex_bench_capture");
    const char* env = std::getenv("VANDREX_CAPTURE_BENCH_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : 30;
    for (auto _ : state) {
        TCaptureDevice camera;
        camera.DriverConnect(0);
        camera.SetFrameSize({640, 480});
        TCaptureParms parms;
        camera.GetSequenceSetup(parms);
        parms.RequestMicroSecPerFrame = 40000;
        parms.LimitEnabled = true;
        parms.TimeLimit = std::uint32_t(seconds);
        parms.CaptureAudio = true;
        camera.SetSequenceSetup(parms);
        TWaveFormat wave{1, 2, 44100, 176400, 4, 16, 0};
        camera.SetAudioFormat(wave);
        camera.SetCaptureFile("Capture.avi");
        double longestGap = 0;
        auto last = Clock::now();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longestGap = std::max(longestGap, Ms(now - last));
            last = now;
        });
        QObject::connect(&camera, &TCaptureDevice::CaptureEnded, &App(), [] { QCoreApplication::quit(); });
        tick.start(5);
        // The machine's own scheduling noise, for comparison: the same timer
        // for two seconds without a capture.
        QTimer::singleShot(2000, &App(), [] { QCoreApplication::quit(); });
        last = Clock::now();
        QCoreApplication::exec();
        state.counters["ui_idle_longest_gap_ms"] = longestGap;
        longestGap = 0;
        const double cpu0 = SelfCpuSeconds();
        camera.Sequence();
        last = Clock::now();
        QCoreApplication::exec();
        const double cpu = SelfCpuSeconds() - cpu0;
        TCapStatus status;
        camera.GetStatus(status);
        state.counters["frames"] = status.CurrentVideoFrame;
        state.counters["dropped"] = status.CurrentVideoFramesDropped;
        state.counters["cpu_s"] = cpu;
        state.counters["ui_longest_gap_ms"] = longestGap;

        const double child0 = ChildrenCpuSeconds();
        const std::string cli = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x480:rate=25 "
                                "-f lavfi -i sine=frequency=1000:sample_rate=44100 -ac 2 -t " +
                                std::to_string(seconds) +
                                " -c:v mjpeg -q:v 7 -pix_fmt yuvj420p -c:a pcm_s16le cli.avi";
        if (std::system(cli.c_str()) != 0) state.SkipWithError("ffmpeg failed");
        const double cliCpu = ChildrenCpuSeconds() - child0;
        state.counters["ffmpeg_cpu_s"] = cliCpu;
        state.counters["cpu_ratio"] = cpu / cliCpu;
    }
}
BENCHMARK(BM_Capture30s)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
