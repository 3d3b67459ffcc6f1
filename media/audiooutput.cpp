#include "media/audiooutput.h"

#include <alsa/asoundlib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <thread>

namespace vandrex {

namespace {

// ALSA prints its failures itself; a missing card is not worth a line.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class TPulseAudioOutput final : public IAudioOutput {
public:
    static std::unique_ptr<IAudioOutput> Open(int rate, int channels) {
        pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(rate), static_cast<std::uint8_t>(channels)};
        int error = 0;
        // A short buffer, so pictures timed by what was heard stay close.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(rate * channels * 2 / 10);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        pa_simple* s = pa_simple_new(nullptr, "Vandrex", PA_STREAM_PLAYBACK, nullptr, "Player", &format, nullptr, &attr, &error);
        if (!s) return nullptr;
        return std::unique_ptr<IAudioOutput>(new TPulseAudioOutput(s, channels));
    }
    ~TPulseAudioOutput() override { pa_simple_free(s_); }
    bool Write(const std::int16_t* samples, int frames) override {
        int error = 0;
        return pa_simple_write(s_, samples, static_cast<size_t>(frames) * channels_ * 2, &error) == 0;
    }
    void Drain() override {
        int error = 0;
        pa_simple_drain(s_, &error);
    }
    std::string Name() const override { return "pulse"; }
    int LatencyMs() override {
        int error = 0;
        pa_usec_t us = pa_simple_get_latency(s_, &error);
        return us == static_cast<pa_usec_t>(-1) ? 0 : static_cast<int>(us / 1000);
    }

private:
    TPulseAudioOutput(pa_simple* s, int channels) : s_(s), channels_(channels) {}
    pa_simple* s_;
    int channels_;
};

class TAlsaAudioOutput final : public IAudioOutput {
public:
    static std::unique_ptr<IAudioOutput> Open(int rate, int channels) {
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
        if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, 200000) < 0) {
            snd_pcm_close(pcm);
            return nullptr;
        }
        return std::unique_ptr<IAudioOutput>(new TAlsaAudioOutput(pcm, rate));
    }
    ~TAlsaAudioOutput() override { snd_pcm_close(pcm_); }
    bool Write(const std::int16_t* samples, int frames) override {
        while (frames > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, samples, frames);
            if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
            if (n < 0) return false;
            frames -= static_cast<int>(n);
        }
        return true;
    }
    void Drain() override { snd_pcm_drain(pcm_); }
    std::string Name() const override { return "alsa"; }
    int LatencyMs() override {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0) return 0;
        return static_cast<int>(delay * 1000 / rate_);
    }

private:
    TAlsaAudioOutput(snd_pcm_t* pcm, int rate) : pcm_(pcm), rate_(rate) {}
    snd_pcm_t* pcm_;
    int rate_;
};

}  // namespace

TSilentAudioOutput::TSilentAudioOutput(int rate, int) : rate_(rate) {}

bool TSilentAudioOutput::Write(const std::int16_t*, int frames) {
    if (startNs_ < 0) startNs_ = NowNs();
    frames_ += frames;
    // Stay at most 50 ms ahead of the clock, as a small sound card buffer.
    const long long dueNs = startNs_ + frames_ * 1000000000LL / rate_ - 50000000LL;
    const long long wait = dueNs - NowNs();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
    return true;
}

void TSilentAudioOutput::Drain() {
    if (startNs_ < 0) return;
    const long long wait = startNs_ + frames_ * 1000000000LL / rate_ - NowNs();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
}

int TSilentAudioOutput::LatencyMs() {
    if (startNs_ < 0) return 0;
    const long long aheadNs = startNs_ + frames_ * 1000000000LL / rate_ - NowNs();
    return aheadNs > 0 ? static_cast<int>(aheadNs / 1000000) : 0;
}

void TSilentAudioOutput::Resume() {
    startNs_ = -1;
    frames_ = 0;
}

std::unique_ptr<IAudioOutput> OpenAudioOutput(int rate, int channels, bool silent) {
    if (!silent) {
        if (auto p = TPulseAudioOutput::Open(rate, channels)) return p;
        snd_lib_error_set_handler(&QuietAlsa);
        if (auto a = TAlsaAudioOutput::Open(rate, channels)) return a;
    }
    return std::make_unique<TSilentAudioOutput>(rate, channels);
}

}  // namespace vandrex
