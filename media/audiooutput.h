#pragma once
// Sound outputs of the player: PulseAudio, else ALSA, else a silent output
// that keeps real time, so playback runs at its speed on any machine.

#include <cstdint>
#include <memory>
#include <string>

namespace vandrex {

class IAudioOutput {
public:
    virtual ~IAudioOutput() = default;
    // Interleaved signed 16-bit samples; blocks as a sound card would.
    virtual bool Write(const std::int16_t* samples, int frames) = 0;
    // Waits until what was written has been heard.
    virtual void Drain() = 0;
    virtual std::string Name() const = 0;
    // Sound written but not yet heard, in milliseconds.
    virtual int LatencyMs() = 0;
    // Playback goes on after a pause.
    virtual void Resume() {}
};

// Consumes samples at the real-time rate and discards them.
class TSilentAudioOutput final : public IAudioOutput {
public:
    TSilentAudioOutput(int rate, int channels);
    bool Write(const std::int16_t* samples, int frames) override;
    void Drain() override;
    std::string Name() const override { return "silent"; }
    int LatencyMs() override;
    void Resume() override;

private:
    int rate_;
    long long frames_ = 0;
    long long startNs_ = -1;
};

// The first output that opens: PulseAudio, ALSA, then the silent one. With
// silent set, the silent one directly.
std::unique_ptr<IAudioOutput> OpenAudioOutput(int rate, int channels, bool silent);

}  // namespace vandrex
