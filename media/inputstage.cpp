#include "media/inputstage.h"

#include <cmath>
#include <thread>

namespace vandrex {

const std::vector<std::string>& FileInputDemuxers() {
    static const std::vector<std::string> list = {"wav", "avi", "aiff", "au", "mp3", "mov,mp4,m4a,3gp,3g2,mj2",
                                                  "mpeg", "asf", "rm", "ogg", "flac", "matroska,webm"};
    return list;
}

TFileInput::TFileInput(const std::string& path, bool wantVideo) : path_(path), wantVideo_(wantVideo) { Open(); }

void TFileInput::Open() {
    input_ = av::OpenLocalInput(path_, FileInputDemuxers());
    video_.reset();
    audio_.reset();
    draining_ = false;
    format_ = {};
    videoIndex_ = wantVideo_ ? av::BestStream(input_.get(), AVMEDIA_TYPE_VIDEO) : -1;
    audioIndex_ = av::BestStream(input_.get(), AVMEDIA_TYPE_AUDIO);
    if (videoIndex_ >= 0 && (input_->streams[videoIndex_]->disposition & AV_DISPOSITION_ATTACHED_PIC)) videoIndex_ = -1;
    if (videoIndex_ < 0 && audioIndex_ < 0) throw av::EMediaError("No sound or pictures in " + path_);
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        if (static_cast<int>(i) != videoIndex_ && static_cast<int>(i) != audioIndex_) input_->streams[i]->discard = AVDISCARD_ALL;
    if (videoIndex_ >= 0) {
        AVStream* st = input_->streams[videoIndex_];
        video_ = av::OpenDecoder(st, 0);
        format_.HasVideo = true;
        format_.Width = video_->width;
        format_.Height = video_->height;
        format_.PixelFormat = video_->pix_fmt;
        format_.FrameRate = av_guess_frame_rate(input_.get(), st, nullptr);
        if (format_.FrameRate.num <= 0) format_.FrameRate = {25, 1};
        format_.SampleAspect = st->codecpar->sample_aspect_ratio.num ? st->codecpar->sample_aspect_ratio : AVRational{1, 1};
        format_.VideoTimeBase = st->time_base;
        if (format_.Width <= 0 || format_.Height <= 0) throw av::EMediaError("Picture without a size in " + path_);
    }
    if (audioIndex_ >= 0) {
        AVStream* st = input_->streams[audioIndex_];
        audio_ = av::OpenDecoder(st);
        format_.HasAudio = true;
        format_.SampleRate = audio_->sample_rate;
        av_channel_layout_copy(&format_.Layout, &audio_->ch_layout);
        if (format_.Layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&format_.Layout, format_.Layout.nb_channels);
        format_.SampleFormat = audio_->sample_fmt;
        format_.AudioTimeBase = st->time_base;
        if (format_.SampleRate <= 0 || format_.Layout.nb_channels <= 0) throw av::EMediaError("Sound without a format in " + path_);
    }
    format_.DurationMs = av::DurationMs(input_.get());
}

bool TFileInput::Receive(TInputFrame& out) {
    for (auto* dec : {video_.get(), audio_.get()}) {
        if (!dec) continue;
        av::FramePtr f = av::NewFrame();
        int rc = avcodec_receive_frame(dec, f.get());
        if (rc >= 0) {
            // Containers like AVI carry only decode times; the filters need
            // presentation times.
            f->pts = f->best_effort_timestamp;
            out.Kind = dec == video_.get() ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
            out.Frame = std::move(f);
            return true;
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) av::Check(rc, "Decode " + path_);
    }
    return false;
}

bool TFileInput::Next(TInputFrame& out) {
    for (;;) {
        if (Receive(out)) return true;
        if (draining_) return false;
        int rc = av_read_frame(input_.get(), packet_.get());
        if (rc == AVERROR_EOF || (rc == AVERROR(EIO) && avio_feof(input_->pb))) {
            draining_ = true;
            if (video_) avcodec_send_packet(video_.get(), nullptr);
            if (audio_) avcodec_send_packet(audio_.get(), nullptr);
            continue;
        }
        av::Check(rc, "Read " + path_);
        AVCodecContext* dec = packet_->stream_index == videoIndex_ ? video_.get()
                            : packet_->stream_index == audioIndex_ ? audio_.get() : nullptr;
        if (dec) {
            rc = avcodec_send_packet(dec, packet_.get());
            // A damaged packet is skipped; the decoder resynchronises.
            if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
                av_packet_unref(packet_.get());
                av::Check(rc, "Decode " + path_);
            }
        }
        av_packet_unref(packet_.get());
    }
}

void TFileInput::SkipSound() {
    if (audioIndex_ < 0) return;
    input_->streams[audioIndex_]->discard = AVDISCARD_ALL;
    audioIndex_ = -1;
    audio_.reset();
}

bool TFileInput::Rewind() {
    Open();
    return true;
}

TTestPatternInput::TTestPatternInput(bool video, int width, int height, int fps, bool audio) {
    format_.Live = true;
    if (video) {
        format_.HasVideo = true;
        format_.Width = width;
        format_.Height = height;
        format_.PixelFormat = AV_PIX_FMT_YUV420P;
        format_.FrameRate = {fps, 1};
        format_.VideoTimeBase = {1, fps};
    }
    if (audio) {
        format_.HasAudio = true;
        format_.SampleRate = 44100;
        av_channel_layout_default(&format_.Layout, 2);
        format_.SampleFormat = AV_SAMPLE_FMT_S16;
        format_.AudioTimeBase = {1, 44100};
    }
    start_ = std::chrono::steady_clock::now();
}

bool TTestPatternInput::Next(TInputFrame& out) {
    using namespace std::chrono;
    const int fps = format_.HasVideo ? format_.FrameRate.num : 25;
    const long long blockSamples = 44100 / fps;
    // Whichever stream is behind comes next; the clock paces both.
    const double videoT = format_.HasVideo ? double(videoFrames_) / fps : 1e300;
    const double audioT = format_.HasAudio ? double(audioSamples_) / 44100 : 1e300;
    const double due = std::min(videoT, audioT);
    std::this_thread::sleep_until(start_ + duration_cast<steady_clock::duration>(duration<double>(due)));
    av::FramePtr f = av::NewFrame();
    if (videoT <= audioT) {
        f->format = AV_PIX_FMT_YUV420P;
        f->width = format_.Width;
        f->height = format_.Height;
        av::Check(av_frame_get_buffer(f.get(), 0), "Test pattern");
        static const std::uint8_t bars[8][3] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                                                {106, 202, 222}, {81, 90, 240}, {41, 240, 110}, {16, 128, 128}};
        const int shift = static_cast<int>(videoFrames_ * 4);
        for (int y = 0; y < f->height; ++y)
            for (int x = 0; x < f->width; ++x) {
                int bar = ((x + shift) * 8 / f->width) % 8;
                f->data[0][y * f->linesize[0] + x] = bars[bar][0];
                if ((x & 1) == 0 && (y & 1) == 0) {
                    f->data[1][(y / 2) * f->linesize[1] + x / 2] = bars[bar][1];
                    f->data[2][(y / 2) * f->linesize[2] + x / 2] = bars[bar][2];
                }
            }
        f->pts = videoFrames_++;
        out.Kind = AVMEDIA_TYPE_VIDEO;
    } else {
        f->format = AV_SAMPLE_FMT_S16;
        f->sample_rate = 44100;
        av_channel_layout_default(&f->ch_layout, 2);
        f->nb_samples = static_cast<int>(blockSamples);
        av::Check(av_frame_get_buffer(f.get(), 0), "Test tone");
        auto* s = reinterpret_cast<std::int16_t*>(f->data[0]);
        for (int i = 0; i < f->nb_samples; ++i) {
            auto v = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * double(audioSamples_ + i) / 44100));
            s[2 * i] = s[2 * i + 1] = v;
        }
        f->pts = audioSamples_;
        audioSamples_ += f->nb_samples;
        out.Kind = AVMEDIA_TYPE_AUDIO;
    }
    out.Frame = std::move(f);
    return true;
}

}  // namespace vandrex
