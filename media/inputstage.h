#pragma once
// Input stages of an encoding: where decoded pictures and sound come from.
// Each stage is one small interface; the session drives any of them alike.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/ffmpeg.h"

namespace vandrex {

// What an input delivers.
struct TInputFormat {
    bool HasVideo = false;
    int Width = 0, Height = 0;
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
    AVRational FrameRate{0, 1};
    AVRational SampleAspect{1, 1};
    AVRational VideoTimeBase{1, 1000};
    bool HasAudio = false;
    int SampleRate = 0;
    AVChannelLayout Layout{};
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;
    AVRational AudioTimeBase{1, 1000};
    long long DurationMs = 0;  // 0 for live inputs
    bool Live = false;          // paced by the wall clock, cannot rewind
};

struct TInputFrame {
    AVMediaType Kind = AVMEDIA_TYPE_UNKNOWN;
    av::FramePtr Frame;
};

class IInputStage {
public:
    virtual ~IInputStage() = default;
    virtual const TInputFormat& Format() const = 0;
    // The next decoded frame; false at the end of the input.
    virtual bool Next(TInputFrame& out) = 0;
    // Back to the start for a second pass; false when the input cannot.
    virtual bool Rewind() = 0;
    // Sound is not decoded until the next Rewind (a first pass needs none).
    virtual void SkipSound() {}
};

// The demuxers the file encoder's open dialog offers (WAV, AVI and the
// other sound and video files), by FFmpeg short name.
const std::vector<std::string>& FileInputDemuxers();

// A local media file, decoded.
class TFileInput final : public IInputStage {
public:
    // Throws av::EMediaError when the file cannot be opened or has neither
    // sound nor pictures.
    TFileInput(const std::string& path, bool wantVideo);
    const TInputFormat& Format() const override { return format_; }
    bool Next(TInputFrame& out) override;
    bool Rewind() override;
    void SkipSound() override;

private:
    void Open();
    bool Receive(TInputFrame& out);
    std::string path_;
    bool wantVideo_;
    av::InputPtr input_;
    av::CodecPtr video_, audio_;
    int videoIndex_ = -1, audioIndex_ = -1;
    av::PacketPtr packet_ = av::NewPacket();
    bool draining_ = false;
    TInputFormat format_;
};

// The built-in capture stand-in: a moving colour-bar picture and a 1 kHz
// tone, delivered in real time. Used for capture driver 0 and for sound when
// the machine has no input.
class TTestPatternInput final : public IInputStage {
public:
    TTestPatternInput(bool video, int width = 320, int height = 240, int fps = 25, bool audio = true);
    const TInputFormat& Format() const override { return format_; }
    bool Next(TInputFrame& out) override;
    bool Rewind() override { return false; }

private:
    TInputFormat format_;
    std::chrono::steady_clock::time_point start_;
    long long videoFrames_ = 0;
    long long audioSamples_ = 0;
};

}  // namespace vandrex
