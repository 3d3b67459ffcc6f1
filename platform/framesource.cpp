#include "platform/framesource.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/testpattern.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vandrex {

namespace {

std::atomic<bool> gPatternStalled{false};

void RegisterDevices() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// ---------------------------------------------------------------- pattern

constexpr std::uint32_t kBrightnessId = 1;

class TPatternSource : public TFrameSource {
public:
    bool Open(std::string&) override {
        number_ = 0;
        return true;
    }
    void Close() override {}
    TFrameSize Size() const override { return size_; }
    std::vector<TFrameSize> Sizes() override { return TestPatternSizes(); }
    bool SetSize(TFrameSize size) override {
        const auto& all = TestPatternSizes();
        if (std::find(all.begin(), all.end(), size) == all.end()) return false;
        size_ = size;
        return true;
    }
    void SetFrameRate(double fps) override { fps_ = fps > 0 ? fps : 25.0; }
    bool Read(TVideoFrame& frame) override {
        while (gPatternStalled.load()) {
            if (interrupted_.load()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (interrupted_.load()) return false;
        if (frame.Width != size_.Width || frame.Height != size_.Height) frame.Resize(size_.Width, size_.Height);
        RenderTestPattern(frame, number_++, fps_, brightness_.load());
        return true;
    }
    void Interrupt() override { interrupted_ = true; }
    void ClearInterrupt() override { interrupted_ = false; }
    std::vector<TCaptureControl> Controls() override {
        return {{kBrightnessId, "Brightness", -64, 64, 1, 0, brightness_.load()}};
    }
    bool SetControl(std::uint32_t id, int value) override {
        if (id != kBrightnessId || value < -64 || value > 64) return false;
        brightness_ = value;
        return true;
    }
    bool SelfPaced() const override { return false; }

private:
    TFrameSize size_ = TestPatternSizes().front();
    double fps_ = 25.0;
    std::int64_t number_ = 0;
    std::atomic<int> brightness_{0};
    std::atomic<bool> interrupted_{false};
};

class TToneSource : public TAudioSource {
public:
    bool Open(int rate, int channels, int bits, std::string&) override {
        rate_ = rate;
        channels_ = channels;
        bits_ = bits;
        next_ = 0;
        return true;
    }
    int Read(std::vector<std::uint8_t>& out, std::int64_t upTo) override {
        if (upTo <= next_) return 0;
        const int count = int(upTo - next_);
        AppendTestTone(out, next_, count, rate_, channels_, bits_);
        next_ = upTo;
        return count;
    }
    void Close() override {}

private:
    int rate_ = 8000, channels_ = 1, bits_ = 8;
    std::int64_t next_ = 0;
};

// ------------------------------------------------------------------- V4L2

int InterruptCallback(void* flag) { return static_cast<std::atomic<bool>*>(flag)->load() ? 1 : 0; }

class TV4L2Source : public TFrameSource {
public:
    explicit TV4L2Source(std::string device) : device_(std::move(device)) {}
    ~TV4L2Source() override { Close(); }

    bool Open(std::string& error) override {
        Close();
        RegisterDevices();
        if (size_.Width == 0) {
            const auto sizes = Sizes();
            size_ = sizes.empty() ? TFrameSize{640, 480} : PreferredSize(sizes);
        }
        const AVInputFormat* v4l2 = av_find_input_format("video4linux2");
        if (!v4l2) {
            error = "libavdevice has no video4linux2 input";
            return false;
        }
        input_ = avformat_alloc_context();
        input_->interrupt_callback.callback = InterruptCallback;
        input_->interrupt_callback.opaque = &interrupted_;
        AVDictionary* options = nullptr;
        const std::string size = std::to_string(size_.Width) + "x" + std::to_string(size_.Height);
        av_dict_set(&options, "video_size", size.c_str(), 0);
        av_dict_set(&options, "framerate", std::to_string(int(std::lround(fps_))).c_str(), 0);
        int rc = avformat_open_input(&input_, device_.c_str(), v4l2, &options);
        av_dict_free(&options);
        if (rc < 0) {
            error = device_ + ": " + AvError(rc);
            input_ = nullptr;  // freed by avformat_open_input on failure
            return false;
        }
        if ((rc = avformat_find_stream_info(input_, nullptr)) < 0 || input_->nb_streams < 1) {
            error = device_ + ": no video stream";
            Close();
            return false;
        }
        const AVCodecParameters* par = input_->streams[0]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        decoder_ = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!decoder_ || avcodec_parameters_to_context(decoder_, par) < 0 || avcodec_open2(decoder_, codec, nullptr) < 0) {
            error = device_ + ": no decoder for its pixel format";
            Close();
            return false;
        }
        size_ = {par->width, par->height};
        packet_ = av_packet_alloc();
        decoded_ = av_frame_alloc();
        return true;
    }

    void Close() override {
        if (scaler_) sws_freeContext(scaler_);
        scaler_ = nullptr;
        av_frame_free(&decoded_);
        av_packet_free(&packet_);
        avcodec_free_context(&decoder_);
        if (input_) avformat_close_input(&input_);
    }

    TFrameSize Size() const override { return size_; }

    std::vector<TFrameSize> Sizes() override {
        std::vector<TFrameSize> sizes;
        const int fd = ::open(device_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return sizes;
        v4l2_fmtdesc format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        for (format.index = 0; ::ioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
            v4l2_frmsizeenum frame{};
            frame.pixel_format = format.pixelformat;
            for (frame.index = 0; ::ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &frame) == 0; ++frame.index) {
                if (frame.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                    TFrameSize s{int(frame.discrete.width), int(frame.discrete.height)};
                    if (std::find(sizes.begin(), sizes.end(), s) == sizes.end()) sizes.push_back(s);
                } else {
                    // Stepwise or continuous: offer the usual sizes in range.
                    for (const TFrameSize s : TestPatternSizes())
                        if (unsigned(s.Width) >= frame.stepwise.min_width && unsigned(s.Width) <= frame.stepwise.max_width &&
                            unsigned(s.Height) >= frame.stepwise.min_height && unsigned(s.Height) <= frame.stepwise.max_height &&
                            std::find(sizes.begin(), sizes.end(), s) == sizes.end())
                            sizes.push_back(s);
                    break;
                }
            }
        }
        ::close(fd);
        return sizes;
    }

    bool SetSize(TFrameSize size) override {
        const bool wasOpen = input_ != nullptr;
        const TFrameSize old = size_;
        size_ = size;
        if (!wasOpen) return true;
        std::string error;
        if (Open(error)) return true;
        // The camera refused the size: go back to the one that worked.
        size_ = old;
        Open(error);
        return false;
    }

    void SetFrameRate(double fps) override { fps_ = fps > 0 ? fps : 25.0; }

    bool Read(TVideoFrame& frame) override {
        if (!input_) return false;
        for (;;) {
            const int rc = avcodec_receive_frame(decoder_, decoded_);
            if (rc == 0) return Convert(frame);
            if (rc != AVERROR(EAGAIN)) return false;
            if (av_read_frame(input_, packet_) < 0) return false;
            const int sent = avcodec_send_packet(decoder_, packet_);
            av_packet_unref(packet_);
            if (sent < 0 && sent != AVERROR(EAGAIN)) return false;
        }
    }

    void Interrupt() override { interrupted_ = true; }
    void ClearInterrupt() override { interrupted_ = false; }

    std::vector<TCaptureControl> Controls() override {
        std::vector<TCaptureControl> controls;
        const int fd = ::open(device_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return controls;
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (::ioctl(fd, VIDIOC_QUERYCTRL, &query) == 0) {
            const bool usable = !(query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE)) &&
                                (query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN);
            if (usable) {
                v4l2_control value{};
                value.id = query.id;
                ::ioctl(fd, VIDIOC_G_CTRL, &value);
                controls.push_back({query.id, std::string(reinterpret_cast<const char*>(query.name),
                                                          strnlen(reinterpret_cast<const char*>(query.name), sizeof query.name)),
                                    query.minimum, query.maximum, std::max(1, query.step), query.default_value, value.value});
            }
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        ::close(fd);
        return controls;
    }

    bool SetControl(std::uint32_t id, int value) override {
        const int fd = ::open(device_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        v4l2_control control{};
        control.id = id;
        control.value = value;
        const bool ok = ::ioctl(fd, VIDIOC_S_CTRL, &control) == 0;
        ::close(fd);
        return ok;
    }

    bool SelfPaced() const override { return true; }

private:
    static TFrameSize PreferredSize(const std::vector<TFrameSize>& sizes) {
        for (const TFrameSize s : sizes)
            if (s.Width == 640 && s.Height == 480) return s;
        return sizes.front();
    }

    bool Convert(TVideoFrame& frame) {
        const int w = decoded_->width, h = decoded_->height;
        if (frame.Width != w || frame.Height != h) frame.Resize(w, h);
        scaler_ = sws_getCachedContext(scaler_, w, h, AVPixelFormat(decoded_->format), w, h, AV_PIX_FMT_BGR24,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler_) return false;
        std::uint8_t* planes[1] = {frame.Pixels.data()};
        const int strides[1] = {w * 3};
        sws_scale(scaler_, decoded_->data, decoded_->linesize, 0, h, planes, strides);
        ++number_;
        frame.Number = number_;
        return true;
    }

    std::string device_;
    TFrameSize size_{};
    double fps_ = 25.0;
    std::int64_t number_ = 0;
    std::atomic<bool> interrupted_{false};
    AVFormatContext* input_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* decoded_ = nullptr;
    SwsContext* scaler_ = nullptr;
};

// The desktop's default sound input through libavdevice (PulseAudio, else
// ALSA), converted to the requested sample size.
class TDeviceAudioSource : public TAudioSource {
public:
    ~TDeviceAudioSource() override { Close(); }
    bool Open(int rate, int channels, int bits, std::string& error) override {
        RegisterDevices();
        bits_ = bits;
        channels_ = channels;
        delivered_ = 0;
        for (const char* name : {"pulse", "alsa"}) {
            const AVInputFormat* format = av_find_input_format(name);
            if (!format) continue;
            AVDictionary* options = nullptr;
            av_dict_set(&options, "sample_rate", std::to_string(rate).c_str(), 0);
            av_dict_set(&options, "channels", std::to_string(channels).c_str(), 0);
            AVFormatContext* ctx = nullptr;
            const int rc = avformat_open_input(&ctx, "default", format, &options);
            av_dict_free(&options);
            if (rc >= 0 && ctx->nb_streams == 1 &&
                ctx->streams[0]->codecpar->codec_id == AV_CODEC_ID_PCM_S16LE) {
                input_ = ctx;
                packet_ = av_packet_alloc();
                return true;
            }
            if (rc >= 0) avformat_close_input(&ctx);
            error = std::string("no sound input (") + name + ": " + (rc < 0 ? AvError(rc) : "unexpected format") + ")";
        }
        if (error.empty()) error = "no sound input";
        return false;
    }
    // Reads packets until the sound reaches `upTo` (the device delivers in
    // real time, so this waits at most about one packet).
    int Read(std::vector<std::uint8_t>& out, std::int64_t upTo) override {
        if (!input_) return 0;
        const std::size_t before = out.size();
        const std::size_t frame = std::size_t(channels_ * bits_ / 8);
        while (delivered_ < upTo && av_read_frame(input_, packet_) >= 0) {
            if (bits_ == 16) {
                out.insert(out.end(), packet_->data, packet_->data + packet_->size);
            } else {
                for (int i = 0; i + 1 < packet_->size; i += 2)
                    out.push_back(std::uint8_t((int(std::int8_t(packet_->data[i + 1])) + 128)));
            }
            delivered_ += std::int64_t(packet_->size) / (channels_ * 2);
            av_packet_unref(packet_);
        }
        return int((out.size() - before) / frame);
    }
    void Close() override {
        av_packet_free(&packet_);
        if (input_) avformat_close_input(&input_);
    }

private:
    int bits_ = 16;
    int channels_ = 1;
    std::int64_t delivered_ = 0;
    AVFormatContext* input_ = nullptr;
    AVPacket* packet_ = nullptr;
};

}  // namespace

std::unique_ptr<TFrameSource> MakeFrameSource(const TCaptureDriverInfo& driver) {
    if (driver.Kind == TCaptureDriverKind::V4L2) return std::make_unique<TV4L2Source>(driver.Device);
    return std::make_unique<TPatternSource>();
}

std::unique_ptr<TAudioSource> MakeAudioSource(const TCaptureDriverInfo& driver) {
    if (driver.Kind == TCaptureDriverKind::V4L2) return std::make_unique<TDeviceAudioSource>();
    return std::make_unique<TToneSource>();
}

void SetTestPatternStalled(bool stalled) { gPatternStalled = stalled; }

}  // namespace vandrex
