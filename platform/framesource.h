#pragma once
// Where a connected capture window's pictures and sound come from: the
// built-in test pattern, or a V4L2 node read through FFmpeg's libavdevice.
// A source is used from one worker thread at a time; only Interrupt may be
// called from another thread.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/capturedrivers.h"
#include "platform/capturetypes.h"

namespace vandrex {

class TFrameSource {
public:
    virtual ~TFrameSource() = default;
    // Starts delivering frames at the current size; error says why not.
    virtual bool Open(std::string& error) = 0;
    virtual void Close() = 0;
    virtual TFrameSize Size() const = 0;
    // The sizes the format dialog offers.
    virtual std::vector<TFrameSize> Sizes() = 0;
    // Switches to another offered size (reopening when open).
    virtual bool SetSize(TFrameSize size) = 0;
    // The frame rate the source should deliver when it paces itself; the
    // pattern's clock runs at this rate.
    virtual void SetFrameRate(double fps) = 0;
    // Waits for the next whole frame and stores it in frame (sized to
    // Size()); false when the source failed or was interrupted.
    virtual bool Read(TVideoFrame& frame) = 0;
    // Makes a blocked Read return false soon; thread-safe.
    virtual void Interrupt() = 0;
    virtual void ClearInterrupt() = 0;
    // Picture settings for the source dialog.
    virtual std::vector<TCaptureControl> Controls() = 0;
    virtual bool SetControl(std::uint32_t id, int value) = 0;
    // True when the frames come on their own clock (a camera); false when
    // they are computed on demand and the caller paces them.
    virtual bool SelfPaced() const = 0;
};

// The sound that goes with a source during streaming capture.
class TAudioSource {
public:
    virtual ~TAudioSource() = default;
    // Interleaved PCM in the given format (8-bit unsigned or 16-bit signed).
    virtual bool Open(int rate, int channels, int bits, std::string& error) = 0;
    // Appends the samples from the last call up to sample `upTo` (counted
    // from Open) when the source computes them, or whatever has arrived
    // when it is a device; returns the number of samples appended.
    virtual int Read(std::vector<std::uint8_t>& out, std::int64_t upTo) = 0;
    virtual void Close() = 0;
};

std::unique_ptr<TFrameSource> MakeFrameSource(const TCaptureDriverInfo& driver);
// The pattern's tone, or for a camera the default PulseAudio or ALSA input.
std::unique_ptr<TAudioSource> MakeAudioSource(const TCaptureDriverInfo& driver);

// Test setting: while on, the pattern camera delivers no frames (a stalled
// camera); a blocked Read still ends on Interrupt.
void SetTestPatternStalled(bool stalled);

}  // namespace vandrex
