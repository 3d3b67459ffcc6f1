#include "media/playlistplayer.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <random>
#include <thread>

extern "C" {
#include <libswscale/swscale.h>
}

#include "media/audiooutput.h"
#include "media/ramplaylist.h"
#include "platform/ffmpeg.h"

namespace vandrex {

using Clock = std::chrono::steady_clock;

// Plays one clip on its own thread.
class TClipWorker {
public:
    struct TCallbacks {
        std::function<void(QString, QString, QString, int)> Opened;
        std::function<void(QString)> Failed;
        std::function<void()> Ended;
        std::function<void(QImage)> Picture;
    };

    TClipWorker(QString url, bool silent, bool pictures, std::shared_ptr<std::atomic<int>> volume,
                std::function<void(const std::int16_t*, int, int)> tap, TCallbacks callbacks)
        : url_(std::move(url)), silent_(silent), pictures_(pictures), volume_(std::move(volume)), tap_(std::move(tap)),
          callbacks_(std::move(callbacks)) {}
    ~TClipWorker() { Stop(); }

    void Start(bool paused) {
        paused_ = paused;
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    void SetPaused(bool paused) {
        {
            std::lock_guard<std::mutex> lock(m_);
            paused_ = paused;
        }
        cv_.notify_all();
    }
    int PositionMs() const { return static_cast<int>(position_.load()); }

private:
    // Returns false when stopped; true after any pause is over. pausedFor
    // grows by the time spent paused.
    bool WaitWhilePaused(Clock::duration* pausedFor) {
        std::unique_lock<std::mutex> lock(m_);
        if (!paused_) return !stop_;
        const auto since = Clock::now();
        cv_.wait(lock, [this] { return !paused_ || stop_; });
        *pausedFor += Clock::now() - since;
        if (output_) output_->Resume();
        return !stop_;
    }
    bool Stopped() {
        std::lock_guard<std::mutex> lock(m_);
        return stop_;
    }
    void SleepFor(std::chrono::milliseconds d) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, d, [this] { return stop_; });
    }

    void Run() {
        try {
            Play();
        } catch (const std::exception& e) {
            if (!Stopped()) callbacks_.Failed(QString::fromStdString(e.what()));
        }
    }

    void Play() {
        const std::string url = url_.toStdString();
        av::InputPtr in = IsUrl(url_) ? av::OpenNetworkInput(url) : av::OpenLocalInput(url, {});
        const int vi = av::BestStream(in.get(), AVMEDIA_TYPE_VIDEO);
        const int ai = av::BestStream(in.get(), AVMEDIA_TYPE_AUDIO);
        if (vi < 0 && ai < 0) throw av::EMediaError("Nothing to play in " + url);
        av::CodecPtr vdec = vi >= 0 ? av::OpenDecoder(in->streams[vi]) : nullptr;
        av::CodecPtr adec = ai >= 0 ? av::OpenDecoder(in->streams[ai]) : nullptr;
        for (unsigned i = 0; i < in->nb_streams; ++i)
            if (static_cast<int>(i) != vi && static_cast<int>(i) != ai) in->streams[i]->discard = AVDISCARD_ALL;
        callbacks_.Opened(QString::fromStdString(av::MetadataValue(in->metadata, "title")),
                          QString::fromStdString(av::MetadataValue(in->metadata, "author")),
                          QString::fromStdString(av::MetadataValue(in->metadata, "copyright")),
                          static_cast<int>(av::DurationMs(in.get())));

        int rate = 0, channels = 0;
        av::SwrPtr swr;
        if (adec) {
            rate = adec->sample_rate;
            channels = std::min(2, adec->ch_layout.nb_channels);
            AVChannelLayout outLayout{};
            av_channel_layout_default(&outLayout, channels);
            SwrContext* s = nullptr;
            av::Check(swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, rate, &adec->ch_layout, adec->sample_fmt, rate, 0,
                                          nullptr),
                      "Sound converter");
            swr.reset(s);
            av::Check(swr_init(swr.get()), "Sound converter");
            output_ = OpenAudioOutput(rate, channels, silent_);
        }
        SwsContext* sws = nullptr;
        struct SwsFree {
            SwsContext*& s;
            ~SwsFree() { sws_freeContext(s); }
        } swsFree{sws};

        av::PacketPtr pkt = av::NewPacket();
        av::FramePtr frame = av::NewFrame();
        std::vector<std::int16_t> samples;
        long long written = 0;
        Clock::duration pausedFor{};
        const auto start = Clock::now();
        auto wallMs = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start - pausedFor).count();
        };
        auto clockMs = [&]() -> long long {
            if (output_) return std::max(0LL, written * 1000 / rate - output_->LatencyMs());
            return wallMs();
        };

        auto handleAudio = [&](AVFrame* f) {
            const int outMax = swr_get_out_samples(swr.get(), f ? f->nb_samples : 0);
            if (outMax <= 0) return;
            samples.resize(static_cast<size_t>(outMax) * channels);
            std::uint8_t* out[] = {reinterpret_cast<std::uint8_t*>(samples.data())};
            const int n = swr_convert(swr.get(), out, outMax, f ? const_cast<const std::uint8_t**>(f->extended_data) : nullptr,
                                      f ? f->nb_samples : 0);
            if (n <= 0) return;
            const int volume = std::clamp(volume_->load(), 0, 100);
            if (volume != 100)
                for (int i = 0; i < n * channels; ++i) samples[i] = static_cast<std::int16_t>(samples[i] * volume / 100);
            if (tap_) tap_(samples.data(), n, channels);
            output_->Write(samples.data(), n);
            written += n;
            position_ = clockMs();
        };
        auto handleVideo = [&](AVFrame* f) {
            const long long ts = f->best_effort_timestamp;
            const long long ms = ts == AV_NOPTS_VALUE ? clockMs() : av_rescale_q(ts, in->streams[vi]->time_base, {1, 1000});
            // Pictures wait for the clock; late ones are shown at once. With
            // sound the clock moves only as sound is written, so a picture
            // ahead of the sound waits no longer than the sound buffered.
            const auto deadline = Clock::now() + std::chrono::milliseconds(
                output_ ? std::clamp<long long>(ms - clockMs(), 0, 200) : std::max<long long>(0, ms - clockMs()));
            for (long long wait = ms - clockMs(); wait > 0 && Clock::now() < deadline && !Stopped(); wait = ms - clockMs()) {
                SleepFor(std::chrono::milliseconds(std::min<long long>(wait, 20)));
                if (!WaitWhilePaused(&pausedFor)) return;
            }
            if (!output_) position_ = clockMs();
            if (!pictures_) return;
            int w = f->width, h = f->height;
            if (w > 640) { h = h * 640 / w; w = 640; }
            sws = sws_getCachedContext(sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), w, h, AV_PIX_FMT_RGB32,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr);
            if (!sws) return;
            QImage image(w, h, QImage::Format_RGB32);
            std::uint8_t* dst[] = {image.bits()};
            int stride[] = {static_cast<int>(image.bytesPerLine())};
            sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
            callbacks_.Picture(image);
        };
        auto drain = [&](AVCodecContext* dec, bool video) {
            while (avcodec_receive_frame(dec, frame.get()) >= 0) {
                if (video) handleVideo(frame.get());
                else handleAudio(frame.get());
                av_frame_unref(frame.get());
                if (!WaitWhilePaused(&pausedFor)) return false;
            }
            return true;
        };

        while (WaitWhilePaused(&pausedFor)) {
            const int rc = av_read_frame(in.get(), pkt.get());
            if (rc < 0) break;
            AVCodecContext* dec = pkt->stream_index == vi ? vdec.get() : pkt->stream_index == ai ? adec.get() : nullptr;
            if (dec && avcodec_send_packet(dec, pkt.get()) >= 0) {
                av_packet_unref(pkt.get());
                if (!drain(dec, dec == vdec.get())) return;
            } else {
                av_packet_unref(pkt.get());
            }
        }
        if (Stopped()) return;
        for (AVCodecContext* dec : {vdec.get(), adec.get()}) {
            if (!dec) continue;
            avcodec_send_packet(dec, nullptr);
            if (!drain(dec, dec == vdec.get())) return;
        }
        if (output_) output_->Drain();
        position_ = std::max<long long>(position_, clockMs());
        if (!Stopped()) callbacks_.Ended();
    }

    QString url_;
    bool silent_, pictures_;
    std::shared_ptr<std::atomic<int>> volume_;
    std::function<void(const std::int16_t*, int, int)> tap_;
    TCallbacks callbacks_;
    std::unique_ptr<IAudioOutput> output_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
    bool paused_ = false;
    std::atomic<long long> position_{0};
};

TPlaylistPlayer::TPlaylistPlayer(QObject* parent) : QObject(parent) {}

TPlaylistPlayer::~TPlaylistPlayer() { stopWorker(); }

void TPlaylistPlayer::setState(TState s) {
    if (state_ == s) return;
    state_ = s;
    emit StateChanged();
}

void TPlaylistPlayer::stopWorker() {
    ++generation_;
    if (worker_) {
        worker_->Stop();
        worker_.reset();
    }
}

void TPlaylistPlayer::buildOrder() {
    const int current = order_.empty() ? 0 : order_[std::clamp(position_, 0, int(order_.size()) - 1)];
    order_.resize(entries_.size());
    for (int i = 0; i < int(order_.size()); ++i) order_[i] = i;
    if (order_.empty()) {
        position_ = 0;
        return;
    }
    if (shuffle_) {
        static std::mt19937 random(std::random_device{}());
        std::shuffle(order_.begin(), order_.end(), random);
        // The clip now current stays current.
        auto it = std::find(order_.begin(), order_.end(), current);
        std::iter_swap(order_.begin(), it);
        position_ = 0;
    } else {
        position_ = std::min(current, int(order_.size()) - 1);
    }
}

void TPlaylistPlayer::PlayerSetSource(const QString& source) {
    stopWorker();
    cued_ = false;
    setState(TState::Stopped);
    source_ = source;
    entries_ = source.endsWith(".ram", Qt::CaseInsensitive) && !IsUrl(source) ? ReadRamPlaylist(source) : QStringList{source};
    order_.clear();
    position_ = 0;
    buildOrder();
    title_.clear();
    author_.clear();
    copyright_.clear();
    lengthMs_ = 0;
}

std::int16_t TPlaylistPlayer::PlayerGetCurrentEntry() const {
    if (order_.empty()) return 0;
    return static_cast<std::int16_t>(order_[std::clamp(position_, 0, int(order_.size()) - 1)]);
}

int TPlaylistPlayer::PlayerGetPosition() const { return worker_ ? worker_->PositionMs() : 0; }

void TPlaylistPlayer::startClip(bool paused) {
    stopWorker();
    if (order_.empty()) return;
    const unsigned generation = generation_;
    const QString url = entries_[PlayerGetCurrentEntry()];
    title_.clear();
    author_.clear();
    copyright_.clear();
    lengthMs_ = 0;
    TClipWorker::TCallbacks cb;
    cb.Opened = [this, generation](QString t, QString a, QString c, int len) {
        QMetaObject::invokeMethod(this, [this, generation, t, a, c, len] { clipOpened(generation, t, a, c, len); }, Qt::QueuedConnection);
    };
    cb.Failed = [this, generation](QString reason) {
        QMetaObject::invokeMethod(this, [this, generation, reason] { clipFailed(generation, reason); }, Qt::QueuedConnection);
    };
    cb.Ended = [this, generation] { QMetaObject::invokeMethod(this, [this, generation] { clipEnded(generation); }, Qt::QueuedConnection); };
    cb.Picture = [this, generation](QImage image) {
        QMetaObject::invokeMethod(this, [this, generation, image] {
            if (generation == generation_) emit PictureReady(image);
        }, Qt::QueuedConnection);
    };
    worker_ = std::make_shared<TClipWorker>(url, silent_, wantPictures_, volume_, SampleTap, std::move(cb));
    worker_->Start(paused);
    setState(paused ? TState::Paused : TState::Playing);
}

void TPlaylistPlayer::clipOpened(unsigned generation, QString title, QString author, QString copyright, int lengthMs) {
    if (generation != generation_) return;
    failuresInARow_ = 0;
    title_ = title;
    author_ = author;
    copyright_ = copyright;
    lengthMs_ = lengthMs;
    const QString url = entries_[PlayerGetCurrentEntry()];
    emit OnClipOpened(IsUrl(url) ? url.section('/', -1) : QFileInfo(url).fileName(), url);
}

bool TPlaylistPlayer::step(int direction, bool wrap) {
    const int next = position_ + direction;
    if (next >= 0 && next < int(order_.size())) {
        position_ = next;
        return true;
    }
    if (!wrap || order_.empty()) return false;
    if (shuffle_ && direction > 0) {
        static std::mt19937 random(std::random_device{}());
        std::shuffle(order_.begin(), order_.end(), random);
    }
    position_ = direction > 0 ? 0 : int(order_.size()) - 1;
    return true;
}

void TPlaylistPlayer::clipEnded(unsigned generation) {
    if (generation != generation_) return;
    if (!step(+1, loop_)) {
        stopWorker();
        setState(TState::Stopped);
        emit PlaybackFinished();
        return;
    }
    if (hold_) {
        stopWorker();
        cued_ = true;
        setState(TState::Paused);
        return;
    }
    startClip(false);
}

void TPlaylistPlayer::clipFailed(unsigned generation, QString reason) {
    if (generation != generation_) return;
    emit ClipFailed(entries_[PlayerGetCurrentEntry()], reason);
    // Every entry failing in turn ends playback instead of looping forever.
    if (++failuresInARow_ >= int(entries_.size())) {
        failuresInARow_ = 0;
        stopWorker();
        setState(TState::Stopped);
        emit PlaybackFinished();
        return;
    }
    clipEnded(generation);
}

void TPlaylistPlayer::PlayerPlay() {
    if (order_.empty()) return;
    if (cued_ || state_ == TState::Stopped) {
        cued_ = false;
        startClip(false);
    } else if (state_ == TState::Paused) {
        if (worker_) worker_->SetPaused(false);
        else startClip(false);
        setState(TState::Playing);
    }
}

void TPlaylistPlayer::PlayerStop() {
    stopWorker();
    cued_ = false;
    setState(TState::Stopped);
}

void TPlaylistPlayer::PlayerPlayPause() {
    if (state_ == TState::Playing) {
        if (worker_) worker_->SetPaused(true);
        setState(TState::Paused);
    } else {
        PlayerPlay();
    }
}

void TPlaylistPlayer::PlayerNextItem() {
    if (!step(+1, loop_)) return;
    cued_ = false;
    if (state_ == TState::Stopped) stopWorker();
    else startClip(state_ == TState::Paused);
}

void TPlaylistPlayer::PlayerPrevItem() {
    if (!step(-1, loop_)) return;
    cued_ = false;
    if (state_ == TState::Stopped) stopWorker();
    else startClip(state_ == TState::Paused);
}

void TPlaylistPlayer::PlayerSetVolume(int volume) {
    volume = std::clamp(volume, 0, 100);
    if (volume_->exchange(volume) != volume) emit OnVolumeChange(volume);
}

void TPlaylistPlayer::PlayerSetShuffle(bool on) {
    if (shuffle_ == on) return;
    shuffle_ = on;
    buildOrder();
}

void TPlaylistPlayer::PlayerSetHold(bool on) {
    hold_ = on;
    if (!on && cued_) {
        cued_ = false;
        startClip(false);
    }
}

}  // namespace vandrex
