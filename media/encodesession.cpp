#include "media/encodesession.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "media/captureinput.h"
#include "media/encodeplan.h"
#include "media/encoderstage.h"
#include "media/inputstage.h"
#include "media/outputstage.h"
#include "platform/fileattributes.h"

namespace vandrex {

namespace {

struct TCodedError {
    int code;
    std::string text;
};

using Clock = std::chrono::steady_clock;

long long FrameMs(const AVFrame* f, AVRational tb) {
    long long ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (ts == AV_NOPTS_VALUE) return -1;
    return av_rescale_q(ts, tb, {1, 1000});
}

std::unique_ptr<IInputStage> OpenInput(const TProducerSettings& s) {
    const bool video = s.InputDoVideo != 0 && s.DoAudioOnlyMultimedia == 0;
    if (s.InputType == 1) return std::make_unique<TCaptureInput>(video, s.InputCaptureVideoDriver, s.InputCaptureAudioDriver);
    return std::make_unique<TFileInput>(s.InputFilename.toStdString(), video);
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa{}, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TEncodeSession::TEncodeSession(TProducerSettings settings, TAudienceSettings audience, TEncodeEvents events)
    : settings_(std::move(settings)), audience_(audience), events_(std::move(events)) {}

void TEncodeSession::Run(const std::atomic<bool>& stop) {
    const auto started = Clock::now();
    auto elapsedMs = [&] {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
    };
    events_.Started();

    std::vector<std::unique_ptr<IOutputStage>> outputs;
    std::unique_ptr<TVideoEncoderStage> video;
    std::unique_ptr<TAudioEncoderStage> audio;
    std::vector<int> videoStream, audioStream;
    std::string statsPath;
    long long positionMs = 0;
    int peakSinceReport = 0;
    auto lastReport = Clock::now();

    auto report = [&](int percent, bool force) {
        const auto now = Clock::now();
        if (!force && now - lastReport < std::chrono::milliseconds(kProgressPeriodMs)) return;
        lastReport = now;
        bool clipped = false;
        int peak = audio ? audio->TakePeak(&clipped) : 0;
        peak = std::max(peak, peakSinceReport);
        peakSinceReport = 0;
        if (clipped) events_.Clipped(static_cast<int>(positionMs), 32767);
        events_.Progress(elapsedMs(), static_cast<int>(positionMs), percent, peak);
    };

    const std::string output = settings_.OutputFilename.toStdString();
    const std::string input = settings_.InputFilename.toStdString();
    try {
        const bool toFile = settings_.DoOutputFile != 0;
        const bool toServer = settings_.DoOutputServer != 0;
        if (!toFile && !toServer) throw TCodedError{kEncodeErrorSettings, "No output chosen"};
        if (toFile) {
            if (output.empty()) throw TCodedError{kEncodeErrorSettings, "No output file name"};
            const std::uint32_t attrs = GetFileAttributes(output);
            // The kernel lets root write through a read-only file; the
            // program does not.
            if (attrs != kFileAttributeInvalid && (attrs & kFileAttributeReadOnly))
                throw TCodedError{kEncodeErrorOutputProtected, "Output file is write protected: " + output};
            if (settings_.InputType == 0 &&
                (SameFile(input, output) || QFileInfo(QString::fromStdString(input)).absoluteFilePath() ==
                                                QFileInfo(QString::fromStdString(output)).absoluteFilePath()))
                throw TCodedError{kEncodeErrorOutputIsInput, "Output file is the input file: " + output};
        }
        if (settings_.InputType == 0 && input.empty()) throw TCodedError{kEncodeErrorInput, "No input file name"};

        std::unique_ptr<IInputStage> in;
        try {
            in = OpenInput(settings_);
        } catch (const Exception& e) {
            throw TCodedError{kEncodeErrorInput, e.message()};
        }
        const TInputFormat& format = in->Format();
        const TEncodePlan plan = MakeEncodePlan(settings_, audience_, format);
        const long long durationMs = format.DurationMs;
        auto percentOf = [&] {
            if (format.Live || durationMs <= 0) return 0;
            return static_cast<int>(std::clamp<long long>(positionMs * 100 / durationMs, 0, 100));
        };

        int pass2 = 0;
        std::string stats;
        if (plan.Video.Enabled && plan.Video.TwoPass) {
            QString dir = settings_.TempDirectory.isEmpty() ? QDir::tempPath() : settings_.TempDirectory;
            if (!QDir().mkpath(dir)) throw TCodedError{kEncodeErrorOutput, "Cannot create " + dir.toStdString()};
            statsPath = QDir(dir).filePath(QFileInfo(QString::fromStdString(output.empty() ? "stream" : output)).completeBaseName() +
                                           QString("-%1-pass.log").arg(reinterpret_cast<quintptr>(this)))
                            .toStdString();
            TVideoEncoderStage first(format, plan.Video, 1, {});
            in->SkipSound();
            auto discard = [](AVPacket*) {};
            events_.Progress(elapsedMs(), 0, 0, 0);
            TInputFrame f;
            while (!stop && in->Next(f)) {
                if (f.Kind != AVMEDIA_TYPE_VIDEO) continue;
                long long ms = FrameMs(f.Frame.get(), format.VideoTimeBase);
                if (ms >= 0) positionMs = std::max(positionMs, ms);
                first.Push(f.Frame.get(), discard);
                report(percentOf(), false);
            }
            first.Flush(discard);
            stats = first.Stats();
            std::ofstream(statsPath) << stats;
            positionMs = 0;
            if (stop) {
                // Stopped during the first pass: nothing is written.
                std::remove(statsPath.c_str());
                events_.Stopped();
                return;
            }
            report(100, true);
            if (!in->Rewind()) throw TCodedError{kEncodeErrorInput, "Input cannot be read twice"};
            pass2 = 2;
        }

        try {
            if (plan.Video.Enabled) video = std::make_unique<TVideoEncoderStage>(format, plan.Video, pass2, stats);
            if (plan.Audio.Enabled) audio = std::make_unique<TAudioEncoderStage>(format, plan.Audio);
        } catch (const Exception& e) {
            throw TCodedError{kEncodeErrorEncoder, e.message()};
        }

        av::RmClipInfo clip;
        clip.Title = settings_.Title.toStdString();
        clip.Author = settings_.Author.toStdString();
        clip.Copyright = settings_.Copyright.toStdString();
        clip.Description = settings_.Description.toStdString();
        clip.FileInfo = {{"Keywords", settings_.Keywords.toStdString()},
                         {"Rating", std::to_string(settings_.Rating)},
                         {"Indexable", settings_.Indexable ? "1" : "0"},
                         {"SelectiveRecord", settings_.SelectiveRecord ? "1" : "0"},
                         {"MobilePlay", settings_.MobilePlay ? "1" : "0"}};
        try {
            if (toFile) outputs.push_back(std::make_unique<TRmOutput>(output, false, clip));
            if (toServer) {
                TServerTarget t = MakeServerTarget(settings_.ServerName.toStdString(), settings_.ServerPort,
                                                   settings_.ServerFilename.toStdString(), settings_.ServerUsername.toStdString(),
                                                   settings_.ServerPassword.toStdString(), settings_.ServerTransport);
                outputs.push_back(std::make_unique<TRmOutput>(t.Url, true, clip, t.Options));
            }
            for (auto& o : outputs) {
                if (video) videoStream.push_back(o->AddStream(video->Encoder()));
                if (audio) audioStream.push_back(o->AddStream(audio->Encoder()));
                o->Begin();
            }
        } catch (const Exception& e) {
            throw TCodedError{kEncodeErrorOutput, e.message()};
        }

        av::PacketPtr copy = av::NewPacket();
        auto sinkTo = [&](const std::vector<int>& streams, const AVCodecContext* enc) {
            return [&, enc](AVPacket* pkt) {
                for (std::size_t i = 0; i < outputs.size(); ++i) {
                    av::Check(av_packet_ref(copy.get(), pkt), "Packet");
                    try {
                        outputs[i]->Write(copy.get(), streams[i], enc->time_base);
                    } catch (const Exception& e) {
                        av_packet_unref(copy.get());
                        throw TCodedError{kEncodeErrorOutput, outputs[i]->Name() + ": " + e.message()};
                    }
                    av_packet_unref(copy.get());
                }
            };
        };
        const TPacketSink videoSink = video ? sinkTo(videoStream, video->Encoder()) : TPacketSink();
        const TPacketSink audioSink = audio ? sinkTo(audioStream, audio->Encoder()) : TPacketSink();

        events_.Progress(elapsedMs(), 0, 0, 0);
        long long firstMs = -1;
        TInputFrame f;
        try {
            while (!stop && in->Next(f)) {
                const bool isVideo = f.Kind == AVMEDIA_TYPE_VIDEO;
                long long ms = FrameMs(f.Frame.get(), isVideo ? format.VideoTimeBase : format.AudioTimeBase);
                if (ms >= 0) {
                    if (firstMs < 0) firstMs = ms;
                    positionMs = std::max(positionMs, ms - firstMs);
                }
                if (isVideo && video) video->Push(f.Frame.get(), videoSink);
                else if (!isVideo && audio) audio->Push(f.Frame.get(), audioSink);
                report(percentOf(), false);
            }
            if (video) video->Flush(videoSink);
            if (audio) audio->Flush(audioSink);
        } catch (const TCodedError&) {
            throw;
        } catch (const Exception& e) {
            throw TCodedError{kEncodeErrorEncoder, e.message()};
        }
        report(stop ? percentOf() : (format.Live ? 0 : 100), true);
        for (auto& o : outputs) {
            try {
                o->Finish();
            } catch (const Exception& e) {
                throw TCodedError{kEncodeErrorOutput, e.message()};
            }
        }
    } catch (const TCodedError& e) {
        events_.Error(e.code, e.text);
        // Whatever was recorded is kept and finished so it plays.
        for (auto& o : outputs) {
            try {
                if (o->Begun()) o->Finish();
            } catch (const Exception&) {
            }
        }
    } catch (const std::exception& e) {
        events_.Error(kEncodeErrorEncoder, e.what());
        for (auto& o : outputs) {
            try {
                if (o->Begun()) o->Finish();
            } catch (const Exception&) {
            }
        }
    }
    if (!statsPath.empty()) std::remove(statsPath.c_str());
    events_.Stopped();
}

}  // namespace vandrex
