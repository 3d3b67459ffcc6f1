#include "media/captureinput.h"

#include <algorithm>
#include <filesystem>

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace vandrex {

namespace {

void RegisterDevices() {
    static const bool once = [] {
        avdevice_register_all();
        return true;
    }();
    (void)once;
}

}  // namespace

TDeviceInput::TDeviceInput(const std::string& format, const std::string& device, const av::FileInfoList& options) {
    RegisterDevices();
    av::QuietLibraryLog();
    const AVInputFormat* fmt = av_find_input_format(format.c_str());
    if (!fmt) throw av::EMediaError("No capture support for " + format);
    AVDictionary* dict = nullptr;
    for (const auto& [k, v] : options) av_dict_set(&dict, k.c_str(), v.c_str(), 0);
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, device.c_str(), fmt, &dict);
    av_dict_free(&dict);
    if (rc < 0) throw av::EMediaError("Cannot open " + format + " " + device + ": " + av::ErrorText(rc));
    input_.reset(raw);
    av::Check(avformat_find_stream_info(input_.get(), nullptr), "Cannot read " + device);
    index_ = av::BestStream(input_.get(), AVMEDIA_TYPE_VIDEO);
    kind_ = AVMEDIA_TYPE_VIDEO;
    if (index_ < 0) {
        index_ = av::BestStream(input_.get(), AVMEDIA_TYPE_AUDIO);
        kind_ = AVMEDIA_TYPE_AUDIO;
    }
    if (index_ < 0) throw av::EMediaError("Nothing to capture from " + device);
    AVStream* st = input_->streams[index_];
    decoder_ = av::OpenDecoder(st, 1);
    format_.Live = true;
    if (kind_ == AVMEDIA_TYPE_VIDEO) {
        format_.HasVideo = true;
        format_.Width = decoder_->width;
        format_.Height = decoder_->height;
        format_.PixelFormat = decoder_->pix_fmt;
        format_.FrameRate = av_guess_frame_rate(input_.get(), st, nullptr);
        if (format_.FrameRate.num <= 0) format_.FrameRate = {25, 1};
        format_.VideoTimeBase = st->time_base;
    } else {
        format_.HasAudio = true;
        format_.SampleRate = decoder_->sample_rate;
        av_channel_layout_copy(&format_.Layout, &decoder_->ch_layout);
        if (format_.Layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&format_.Layout, format_.Layout.nb_channels);
        format_.SampleFormat = decoder_->sample_fmt;
        format_.AudioTimeBase = st->time_base;
    }
}

bool TDeviceInput::Next(TInputFrame& out) {
    for (;;) {
        av::FramePtr f = av::NewFrame();
        if (avcodec_receive_frame(decoder_.get(), f.get()) >= 0) {
            f->pts = f->best_effort_timestamp;
            out.Kind = kind_;
            out.Frame = std::move(f);
            return true;
        }
        const int rc = av_read_frame(input_.get(), packet_.get());
        if (rc == AVERROR(EAGAIN)) continue;
        if (rc < 0) return false;
        if (packet_->stream_index == index_) avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
    }
}

std::vector<std::string> VideoDeviceNodes() {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("video", 0) == 0) nodes.push_back(e.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

TCaptureInput::TCaptureInput(bool video, int videoDriver, int audioDriver) {
    if (video) {
        if (videoDriver <= 0) {
            sources_.push_back(std::make_unique<TTestPatternInput>(true, 320, 240, 25, false));
        } else {
            const auto nodes = VideoDeviceNodes();
            if (videoDriver > static_cast<int>(nodes.size())) throw av::EMediaError("No capture driver selected");
            sources_.push_back(std::make_unique<TDeviceInput>("video4linux2", nodes[videoDriver - 1],
                                                              av::FileInfoList{{"framerate", "25"}}));
        }
    }
    // Audio driver 0 is the default input; other numbers have no device here.
    if (audioDriver == 0) {
        for (const char* fmt : {"pulse", "alsa"}) {
            try {
                sources_.push_back(std::make_unique<TDeviceInput>(fmt, "default"));
                soundSource_ = fmt;
                break;
            } catch (const av::EMediaError&) {
            }
        }
    }
    if (soundSource_.empty()) {
        sources_.push_back(std::make_unique<TTestPatternInput>(false, 0, 0, 25, true));
        soundSource_ = "tone";
    }
    format_.Live = true;
    for (const auto& s : sources_) {
        const TInputFormat& f = s->Format();
        if (f.HasVideo) {
            format_.HasVideo = true;
            format_.Width = f.Width;
            format_.Height = f.Height;
            format_.PixelFormat = f.PixelFormat;
            format_.FrameRate = f.FrameRate;
            format_.SampleAspect = f.SampleAspect;
            format_.VideoTimeBase = f.VideoTimeBase;
        }
        if (f.HasAudio) {
            format_.HasAudio = true;
            format_.SampleRate = f.SampleRate;
            av_channel_layout_copy(&format_.Layout, &f.Layout);
            format_.SampleFormat = f.SampleFormat;
            format_.AudioTimeBase = f.AudioTimeBase;
        }
    }
    running_ = static_cast<int>(sources_.size());
    for (const auto& s : sources_) readers_.emplace_back([this, src = s.get()] { Read(src); });
}

TCaptureInput::~TCaptureInput() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        closing_ = true;
    }
    ready_.notify_all();
    for (auto& t : readers_) t.join();
}

void TCaptureInput::Read(IInputStage* source) {
    try {
        TInputFrame f;
        while (source->Next(f)) {
            std::unique_lock<std::mutex> lock(lock_);
            if (closing_) break;
            // A consumer far behind loses old frames rather than memory.
            if (queue_.size() > 400) queue_.pop_front();
            queue_.push_back(std::move(f));
            ready_.notify_all();
        }
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(lock_);
        error_ = e.what();
    }
    std::lock_guard<std::mutex> lock(lock_);
    --running_;
    ready_.notify_all();
}

bool TCaptureInput::Next(TInputFrame& out) {
    std::unique_lock<std::mutex> lock(lock_);
    ready_.wait(lock, [this] { return !queue_.empty() || running_ == 0; });
    if (queue_.empty()) {
        if (!error_.empty()) throw av::EMediaError(error_);
        return false;
    }
    out = std::move(queue_.front());
    queue_.pop_front();
    AVFrame* f = out.Frame.get();
    long long& first = out.Kind == AVMEDIA_TYPE_VIDEO ? firstVideo_ : firstAudio_;
    if (f->pts != AV_NOPTS_VALUE) {
        if (first == AV_NOPTS_VALUE) first = f->pts;
        f->pts -= first;
        f->best_effort_timestamp = f->pts;
    }
    return true;
}

}  // namespace vandrex
