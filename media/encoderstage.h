#pragma once
// Encoder stages: a filter chain and an FFmpeg encoder for pictures (rv20)
// and for sound (AC-3 or real_144). Frames go in, packets come out through
// a callback, with times in the encoder's time base.

#include <functional>
#include <string>

#include "media/encodeplan.h"
#include "platform/ffmpeg.h"

namespace vandrex {

using TPacketSink = std::function<void(AVPacket*)>;

class TVideoEncoderStage {
public:
    // pass: 0 single pass, 1 first pass (statistics to statsOut), 2 second
    // pass (statistics from statsIn).
    TVideoEncoderStage(const TInputFormat& in, const TVideoPlan& plan, int pass, const std::string& statsIn);
    const AVCodecContext* Encoder() const { return enc_.get(); }
    void Push(AVFrame* frame, const TPacketSink& sink);
    void Flush(const TPacketSink& sink);
    // First-pass statistics gathered so far.
    const std::string& Stats() const { return stats_; }
    long long FramesOut() const { return framesOut_; }

private:
    void Drain(const TPacketSink& sink);
    void Encode(AVFrame* frame, const TPacketSink& sink);
    TVideoPlan plan_;
    av::FilterGraphPtr graph_;
    AVFilterContext* src_ = nullptr;
    AVFilterContext* sinkFilter_ = nullptr;
    av::CodecPtr enc_;
    AVRational inTimeBase_;
    AVRational inRate_;
    long long endPts_ = 0;
    std::string stats_;
    std::string statsIn_;
    long long framesOut_ = 0;
    av::PacketPtr pkt_ = av::NewPacket();
};

class TAudioEncoderStage {
public:
    TAudioEncoderStage(const TInputFormat& in, const TAudioPlan& plan);
    const AVCodecContext* Encoder() const { return enc_.get(); }
    void Push(AVFrame* frame, const TPacketSink& sink);
    void Flush(const TPacketSink& sink);
    // Peak of the samples since the last call, 0..32767, and whether one
    // reached full scale.
    int TakePeak(bool* clipped);
    long long SamplesOut() const { return samples_; }

private:
    void EncodeFifo(bool all, const TPacketSink& sink);
    void Send(AVFrame* frame, const TPacketSink& sink);
    TAudioPlan plan_;
    av::CodecPtr enc_;
    av::SwrPtr swr_;
    av::AudioFifoPtr fifo_;
    long long samples_ = 0;
    int peak_ = 0;
    bool clipped_ = false;
    av::PacketPtr pkt_ = av::NewPacket();
};

}  // namespace vandrex
