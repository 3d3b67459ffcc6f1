// vandrex-capture: the capture layer from the command line.
//
//   vandrex-capture list
//   vandrex-capture snap [--driver N] [--size WxH]
//   vandrex-capture record --seconds S [--fps F] [--audio mono|stereo|none] [--rate R]
//                          [--bits 8|16] [--driver N] [--size WxH] [--quality Q] FILE.avi
//
// snap writes "Snapshot.gif" and "Snapshot.jpg" in the current folder the way
// the snapshot button does; record captures like the program's capture
// component with its stored settings (5 frames per second, 22050 Hz 16-bit
// mono sound) unless told otherwise.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "imaging/imageencore.h"
#include "imaging/snapshot.h"
#include "platform/capturedevice.h"
#include "platform/capturedrivers.h"
#include "platform/exceptions.h"

namespace {

const char* kUsage =
    "usage: vandrex-capture list\n"
    "       vandrex-capture snap [--driver N] [--size WxH]\n"
    "       vandrex-capture record --seconds S [--fps F] [--audio mono|stereo|none] [--rate R]\n"
    "                              [--bits 8|16] [--driver N] [--size WxH] [--quality Q] FILE.avi\n";

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TOptions {
    std::string Command;
    int Driver = 0;
    int Width = 0, Height = 0;
    int Seconds = -1;
    int Fps = 5;
    int Channels = 1;  // 0 = no sound
    int Rate = 22050;
    int Bits = 16;
    int Quality = 80;
    std::string File;
};

int Number(const std::string& option, const std::string& text, int low, int high) {
    std::size_t used = 0;
    int n = 0;
    try {
        n = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || n < low || n > high)
        throw TUsageError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                          ", not \"" + text + "\"");
    return n;
}

TOptions Parse(int argc, char** argv) {
    if (argc < 2) throw TUsageError("no command");
    TOptions o;
    o.Command = argv[1];
    if (o.Command != "list" && o.Command != "snap" && o.Command != "record")
        throw TUsageError("unknown command \"" + o.Command + "\"");
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw TUsageError(a + " needs a value");
            return argv[++i];
        };
        if (a == "--driver") {
            o.Driver = Number(a, value(), 0, 9);
        } else if (a == "--size") {
            const std::string v = value();
            const auto x = v.find('x');
            if (x == std::string::npos) throw TUsageError("--size takes WxH, not \"" + v + "\"");
            o.Width = Number(a, v.substr(0, x), 16, 8192);
            o.Height = Number(a, v.substr(x + 1), 16, 8192);
        } else if (a == "--seconds" && o.Command == "record") {
            o.Seconds = Number(a, value(), 1, 65535);
        } else if (a == "--fps" && o.Command == "record") {
            o.Fps = Number(a, value(), 1, 30);
        } else if (a == "--audio" && o.Command == "record") {
            const std::string v = value();
            if (v == "mono") o.Channels = 1;
            else if (v == "stereo") o.Channels = 2;
            else if (v == "none") o.Channels = 0;
            else throw TUsageError("--audio takes mono, stereo or none, not \"" + v + "\"");
        } else if (a == "--rate" && o.Command == "record") {
            o.Rate = Number(a, value(), 8000, 44100);
            if (o.Rate != 8000 && o.Rate != 11025 && o.Rate != 22050 && o.Rate != 44100)
                throw TUsageError("--rate takes 8000, 11025, 22050 or 44100");
        } else if (a == "--bits" && o.Command == "record") {
            o.Bits = Number(a, value(), 8, 16);
            if (o.Bits != 8 && o.Bits != 16) throw TUsageError("--bits takes 8 or 16");
        } else if (a == "--quality" && o.Command == "record") {
            o.Quality = Number(a, value(), 1, 100);
        } else if (a.size() > 1 && a[0] == '-') {
            throw TUsageError("unknown option " + a + " for " + o.Command);
        } else {
            files.push_back(a);
        }
    }
    if (o.Command == "record") {
        if (o.Seconds < 0) throw TUsageError("record needs --seconds");
        if (files.size() != 1) throw TUsageError("record needs one output file");
        o.File = files[0];
    } else if (!files.empty()) {
        throw TUsageError("unexpected argument \"" + files[0] + "\"");
    }
    return o;
}

int List() {
    for (const auto& d : vandrex::CaptureDrivers()) std::printf("%s %s\n", d.Name.c_str(), d.Version.c_str());
    return 0;
}

void Connect(vandrex::TCaptureDevice& device, const TOptions& o) {
    if (!device.DriverConnect(o.Driver))
        throw vandrex::Exception("no capture driver " + std::to_string(o.Driver));
    if (o.Width > 0 && !device.SetFrameSize({o.Width, o.Height}))
        throw vandrex::Exception("driver " + std::to_string(o.Driver) + " does not offer " + std::to_string(o.Width) +
                                 "x" + std::to_string(o.Height));
}

int Snap(const TOptions& o) {
    vandrex::TCaptureDevice device;
    Connect(device, o);
    vandrex::TImageEnCore encoder;
    vandrex::TSnapshotPipeline pipeline(encoder);
    pipeline.GrabToBitmap = [&] { return device.GrabFrameNoStop() && device.SaveDib(vandrex::kSnapshotBmp); };
    pipeline.Snapshot();
    const auto size = vandrex::GifSizeDisplay(encoder.Proc.CalcImageNumColors());
    std::printf("Snapshot.gif %lld bytes, %s colours%s\n", size.Bytes, size.ColorCount.c_str(),
                size.WarningLit ? " (over 10240 bytes)" : "");
    return 0;
}

int Record(QCoreApplication& app, const TOptions& o) {
    vandrex::TCaptureDevice device;
    Connect(device, o);
    device.ErrorCallback = [](int, const std::string& text) { std::fprintf(stderr, "vandrex-capture: %s\n", text.c_str()); };
    device.SetQuality(o.Quality);
    vandrex::TCaptureParms parms;
    device.GetSequenceSetup(parms);
    parms.RequestMicroSecPerFrame = std::uint32_t(1000000 / o.Fps);
    parms.LimitEnabled = true;
    parms.TimeLimit = std::uint32_t(o.Seconds);
    parms.CaptureAudio = o.Channels > 0;
    parms.Yield = true;
    device.SetSequenceSetup(parms);
    if (o.Channels > 0) {
        vandrex::TWaveFormat wave;
        wave.Channels = std::uint16_t(o.Channels);
        wave.SamplesPerSec = std::uint32_t(o.Rate);
        wave.BitsPerSample = std::uint16_t(o.Bits);
        wave.BlockAlign = std::uint16_t(o.Channels * o.Bits / 8);
        wave.AvgBytesPerSec = wave.BlockAlign * wave.SamplesPerSec;
        device.SetAudioFormat(wave);
    }
    if (!device.SetCaptureFile(o.File) || !device.Sequence())
        throw vandrex::Exception("cannot start recording to " + o.File);
    bool ok = false;
    QObject::connect(&device, &vandrex::TCaptureDevice::CaptureEnded, &app, [&](bool result) {
        ok = result;
        app.quit();
    });
    app.exec();
    vandrex::TCapStatus status;
    device.GetStatus(status);
    std::printf("%s: %u frames, %u dropped\n", o.File.c_str(), status.CurrentVideoFrame,
                status.CurrentVideoFramesDropped);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions o;
    try {
        o = Parse(argc, argv);
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "vandrex-capture: %s\n%s", e.what(), kUsage);
        return 2;
    }
    QCoreApplication app(argc, argv);
    try {
        if (o.Command == "list") return List();
        if (o.Command == "snap") return Snap(o);
        return Record(app, o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vandrex-capture: %s\n", e.what());
    }
    return 1;
}
