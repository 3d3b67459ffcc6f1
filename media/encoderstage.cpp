#include "media/encoderstage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

namespace vandrex {

namespace {

// Largest picture the muxer takes in one packet, with room for its header.
constexpr int kMaxPacketBits = 60000 * 8;

std::string Str(long long v) { return std::to_string(v); }

// The rate the second pass needs at the coarsest quantiser, estimated from
// the first pass's statistics: texture bits shrink with the quantiser, the
// rest does not. FFmpeg's rate control fails to open (and in 5.1 frees its
// rate expression twice doing so) when asked for less.
long long LeastSecondPassRate(const std::string& stats, double fps) {
    double bits = 0;
    long long frames = 0;
    std::size_t at = 0;
    while ((at = stats.find("in:", at)) != std::string::npos) {
        const std::size_t end = stats.find(';', at);
        const std::string line = stats.substr(at, end == std::string::npos ? std::string::npos : end - at);
        auto field = [&](const char* name) {
            const std::size_t p = line.find(std::string(" ") + name + ":");
            return p == std::string::npos ? 0.0 : std::atof(line.c_str() + p + std::strlen(name) + 2);
        };
        const double qscale = std::max(1.0, field("q") / FF_QP2LAMBDA);
        bits += (field("itex") + field("ptex")) * qscale / 31.0 + field("mv") + field("misc") + field("hbits");
        ++frames;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    if (frames == 0) return 0;
    return static_cast<long long>(bits / frames * fps);
}

}  // namespace

TVideoEncoderStage::TVideoEncoderStage(const TInputFormat& in, const TVideoPlan& plan, int pass,
                                       const std::string& statsIn)
    : plan_(plan), statsIn_(statsIn) {
    inTimeBase_ = in.VideoTimeBase;
    inRate_ = in.FrameRate.num > 0 ? in.FrameRate : AVRational{25, 1};
    graph_.reset(avfilter_graph_alloc());
    if (!graph_) throw av::EMediaError("Out of memory");
    graph_->nb_threads = 1;
    const std::string args = "video_size=" + Str(in.Width) + "x" + Str(in.Height) + ":pix_fmt=" + Str(in.PixelFormat) +
                             ":time_base=" + Str(in.VideoTimeBase.num) + "/" + Str(in.VideoTimeBase.den) +
                             ":pixel_aspect=" + Str(in.SampleAspect.num) + "/" + Str(in.SampleAspect.den);
    av::Check(avfilter_graph_create_filter(&src_, avfilter_get_by_name("buffer"), "in", args.c_str(), nullptr, graph_.get()),
              "Picture input filter");
    av::Check(avfilter_graph_create_filter(&sinkFilter_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                           graph_.get()),
              "Picture output filter");

    std::string chain;
    auto add = [&](const std::string& f) { chain += (chain.empty() ? "" : ",") + f; };
    if (plan.DeInterlace) add("yadif");
    if (plan.Crop)
        add("crop=" + Str(plan.CropWidth) + ":" + Str(plan.CropHeight) + ":" + Str(plan.CropLeft) + ":" + Str(plan.CropTop));
    if (plan.NoiseFilter == 1) add("hqdn3d=2:1.5:3:2.25");
    if (plan.NoiseFilter == 2) add("hqdn3d=6:4.5:9:6.75");
    add("fps=" + Str(plan.FrameRate.num) + "/" + Str(plan.FrameRate.den));
    add("scale=" + Str(plan.ScaleWidth) + ":" + Str(plan.ScaleHeight) + ":flags=bicubic");
    add("setsar=1");
    if (plan.Width != plan.ScaleWidth || plan.Height != plan.ScaleHeight)
        add("pad=" + Str(plan.Width) + ":" + Str(plan.Height) + ":" + Str((plan.Width - plan.ScaleWidth) / 2) + ":" +
            Str((plan.Height - plan.ScaleHeight) / 2) + ":black");
    add("format=yuv420p");

    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    outputs->name = av_strdup("in");
    outputs->filter_ctx = src_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sinkFilter_;
    int rc = avfilter_graph_parse_ptr(graph_.get(), chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    av::Check(rc, "Picture filters");
    av::Check(avfilter_graph_config(graph_.get(), nullptr), "Picture filters");

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_RV20);
    if (!codec) throw av::EMediaError("No rv20 encoder");
    enc_.reset(avcodec_alloc_context3(codec));
    enc_->width = plan.Width;
    enc_->height = plan.Height;
    enc_->pix_fmt = AV_PIX_FMT_YUV420P;
    enc_->sample_aspect_ratio = {1, 1};
    enc_->framerate = plan.FrameRate;
    enc_->time_base = av_inv_q(plan.FrameRate);
    enc_->bit_rate = plan.BitRate;
    enc_->gop_size = plan.KeyFrameInterval;
    enc_->max_b_frames = 0;
    // Key frames are capped through the VBV buffer: the muxer refuses
    // packets over 64 KB.
    // Half a second of buffer (at least eight pictures' worth) keeps the
    // rate near its target even on short clips.
    const long long perFrame = static_cast<long long>(plan.BitRate / std::max(0.1, av_q2d(plan.FrameRate)));
    enc_->rc_buffer_size = static_cast<int>(std::clamp<long long>(std::max<long long>(plan.BitRate / 2, perFrame * 8), 16000, kMaxPacketBits));
    enc_->rc_max_rate = plan.Vbr ? std::min<long long>(plan.BitRate * 2LL, 1LL << 30) : plan.BitRate;
    enc_->rc_initial_buffer_occupancy = enc_->rc_buffer_size * 3 / 4;
    enc_->qmin = plan.Quality == 2 ? 2 : plan.Quality == 1 ? 4 : 3;
    enc_->qmax = 31;
    enc_->qcompress = plan.Quality == 1 ? 0.7f : plan.Quality == 2 ? 0.3f : 0.5f;
    if (plan.Quality == 2) enc_->mb_decision = FF_MB_DECISION_RD;
    enc_->thread_count = 1;
    if (pass == 1) enc_->flags |= AV_CODEC_FLAG_PASS1;
    if (pass == 2) {
        // A rate below what the picture needs at the coarsest quantiser is
        // raised to it (with a margin) instead of failing.
        const long long least = LeastSecondPassRate(statsIn_, av_q2d(plan.FrameRate)) * 5 / 4;
        if (enc_->bit_rate < least) {
            enc_->bit_rate = least;
            enc_->rc_max_rate = std::max<long long>(enc_->rc_max_rate, least);
            enc_->rc_buffer_size = static_cast<int>(std::clamp<long long>(std::max<long long>(least / 2, enc_->rc_buffer_size), 16000, kMaxPacketBits));
            enc_->rc_initial_buffer_occupancy = enc_->rc_buffer_size * 3 / 4;
        }
        enc_->flags |= AV_CODEC_FLAG_PASS2;
        // The statistics stay ours: the codec only reads them.
        enc_->stats_in = statsIn_.data();
    }
    av::Check(avcodec_open2(enc_.get(), codec, nullptr), "Cannot open the rv20 encoder");
}

void TVideoEncoderStage::Push(AVFrame* frame, const TPacketSink& sink) {
    if (frame->pts != AV_NOPTS_VALUE) {
        const long long step = frame->pkt_duration > 0 ? frame->pkt_duration
                                                      : av_rescale_q(1, av_inv_q(inRate_), inTimeBase_);
        endPts_ = std::max(endPts_, frame->pts + std::max(1LL, step));
    }
    av::Check(av_buffersrc_add_frame_flags(src_, frame, AV_BUFFERSRC_FLAG_KEEP_REF), "Picture filters");
    Drain(sink);
}

void TVideoEncoderStage::Drain(const TPacketSink& sink) {
    for (;;) {
        av::FramePtr f = av::NewFrame();
        int rc = av_buffersink_get_frame(sinkFilter_, f.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        av::Check(rc, "Picture filters");
        // Pictures are numbered in order; the muxer stamps them by count.
        f->pts = framesOut_++;
        f->pict_type = AV_PICTURE_TYPE_NONE;
        Encode(f.get(), sink);
    }
}

void TVideoEncoderStage::Encode(AVFrame* frame, const TPacketSink& sink) {
    av::Check(avcodec_send_frame(enc_.get(), frame), "rv20 encoder");
    for (;;) {
        int rc = avcodec_receive_packet(enc_.get(), pkt_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
        av::Check(rc, "rv20 encoder");
        if (pkt_->size > kMaxPacketBits / 8) {
            av_packet_unref(pkt_.get());
            throw av::EMediaError("A picture is too large for RealMedia at this size and rate");
        }
        if (enc_->stats_out) stats_ += enc_->stats_out;
        sink(pkt_.get());
        av_packet_unref(pkt_.get());
    }
}

void TVideoEncoderStage::Flush(const TPacketSink& sink) {
    // Closing at the end of the last picture lets the rate filter emit it.
    av::Check(av_buffersrc_close(src_, endPts_, AV_BUFFERSRC_FLAG_PUSH), "Picture filters");
    Drain(sink);
    Encode(nullptr, sink);
}

TAudioEncoderStage::TAudioEncoderStage(const TInputFormat& in, const TAudioPlan& plan) : plan_(plan) {
    const AVCodec* codec = avcodec_find_encoder(plan.Codec);
    if (!codec) throw av::EMediaError(std::string("No encoder for ") + avcodec_get_name(plan.Codec));
    enc_.reset(avcodec_alloc_context3(codec));
    enc_->sample_rate = plan.SampleRate;
    av_channel_layout_default(&enc_->ch_layout, plan.Channels);
    enc_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    enc_->bit_rate = plan.BitRate;
    enc_->time_base = {1, plan.SampleRate};
    av::Check(avcodec_open2(enc_.get(), codec, nullptr), std::string("Cannot open the sound encoder ") + codec->name);

    SwrContext* swr = nullptr;
    AVChannelLayout inLayout{};
    av_channel_layout_copy(&inLayout, &in.Layout);
    av::Check(swr_alloc_set_opts2(&swr, &enc_->ch_layout, enc_->sample_fmt, enc_->sample_rate, &inLayout,
                                  in.SampleFormat, in.SampleRate, 0, nullptr),
              "Sound converter");
    swr_.reset(swr);
    av::Check(swr_init(swr_.get()), "Sound converter");
    fifo_.reset(av_audio_fifo_alloc(enc_->sample_fmt, plan.Channels, 4096));
    if (!fifo_) throw av::EMediaError("Out of memory");
}

void TAudioEncoderStage::Push(AVFrame* frame, const TPacketSink& sink) {
    const int outMax = swr_get_out_samples(swr_.get(), frame ? frame->nb_samples : 0);
    if (outMax <= 0 && frame) return;
    av::FramePtr out = av::NewFrame();
    out->format = enc_->sample_fmt;
    av_channel_layout_copy(&out->ch_layout, &enc_->ch_layout);
    out->sample_rate = enc_->sample_rate;
    out->nb_samples = std::max(outMax, 1);
    av::Check(av_frame_get_buffer(out.get(), 0), "Sound buffer");
    int n = swr_convert(swr_.get(), out->data, out->nb_samples, frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                        frame ? frame->nb_samples : 0);
    av::Check(n, "Sound converter");
    out->nb_samples = n;
    // Peak measured on what is encoded.
    const int channels = plan_.Channels;
    if (enc_->sample_fmt == AV_SAMPLE_FMT_S16) {
        auto* s = reinterpret_cast<const std::int16_t*>(out->data[0]);
        for (int i = 0; i < n * channels; ++i) {
            int v = std::abs(int(s[i]));
            if (v >= 32767) clipped_ = true;
            peak_ = std::max(peak_, std::min(v, 32767));
        }
    } else if (enc_->sample_fmt == AV_SAMPLE_FMT_FLTP) {
        for (int c = 0; c < channels; ++c) {
            auto* s = reinterpret_cast<const float*>(out->data[c]);
            for (int i = 0; i < n; ++i) {
                // On the 16-bit scale of the input: 32767 is full scale.
                const int v = static_cast<int>(std::min(std::lround(std::fabs(s[i]) * 32768.0f), 32767L));
                if (v >= 32767) clipped_ = true;
                peak_ = std::max(peak_, v);
            }
        }
    }
    if (n > 0) av::Check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out->data), n), "Sound buffer");
    EncodeFifo(false, sink);
}

void TAudioEncoderStage::EncodeFifo(bool all, const TPacketSink& sink) {
    const int frameSize = enc_->frame_size > 0 ? enc_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (all && av_audio_fifo_size(fifo_.get()) > 0)) {
        av::FramePtr f = av::NewFrame();
        f->format = enc_->sample_fmt;
        av_channel_layout_copy(&f->ch_layout, &enc_->ch_layout);
        f->sample_rate = enc_->sample_rate;
        f->nb_samples = frameSize;
        av::Check(av_frame_get_buffer(f.get(), 0), "Sound buffer");
        const int got = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(f->data), frameSize);
        // The last frame is filled with silence: the codecs take whole frames.
        if (got < frameSize)
            av_samples_set_silence(f->data, got, frameSize - got, plan_.Channels, enc_->sample_fmt);
        f->pts = samples_;
        samples_ += frameSize;
        Send(f.get(), sink);
    }
}

void TAudioEncoderStage::Send(AVFrame* frame, const TPacketSink& sink) {
    av::Check(avcodec_send_frame(enc_.get(), frame), "Sound encoder");
    for (;;) {
        int rc = avcodec_receive_packet(enc_.get(), pkt_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
        av::Check(rc, "Sound encoder");
        sink(pkt_.get());
        av_packet_unref(pkt_.get());
    }
}

void TAudioEncoderStage::Flush(const TPacketSink& sink) {
    Push(nullptr, sink);
    EncodeFifo(true, sink);
    Send(nullptr, sink);
}

int TAudioEncoderStage::TakePeak(bool* clipped) {
    int p = peak_;
    if (clipped) *clipped = clipped_;
    peak_ = 0;
    clipped_ = false;
    return p;
}

}  // namespace vandrex
