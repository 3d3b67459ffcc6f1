#pragma once
// Capture input: pictures from capture driver n (0 = the built-in test
// pattern, n > 0 = the n-th V4L2 video device) and sound from audio driver 0
// (the default PulseAudio input, else the default ALSA input, else the
// built-in tone). Each device is read on its own thread; frames come out in
// arrival order with each stream's times counted from its first frame.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/inputstage.h"
#include "platform/rmfile.h"

namespace vandrex {

// A capture device opened through libavdevice and decoded.
class TDeviceInput final : public IInputStage {
public:
    // Throws av::EMediaError when the device cannot be opened.
    TDeviceInput(const std::string& format, const std::string& device, const av::FileInfoList& options = {});
    const TInputFormat& Format() const override { return format_; }
    bool Next(TInputFrame& out) override;
    bool Rewind() override { return false; }

private:
    av::InputPtr input_;
    av::CodecPtr decoder_;
    int index_ = -1;
    AVMediaType kind_ = AVMEDIA_TYPE_UNKNOWN;
    av::PacketPtr packet_ = av::NewPacket();
    TInputFormat format_;
};

// The V4L2 video nodes of this machine in name order ("/dev/video0" ...).
std::vector<std::string> VideoDeviceNodes();

class TCaptureInput final : public IInputStage {
public:
    // Throws av::EMediaError when the video driver does not exist.
    TCaptureInput(bool video, int videoDriver, int audioDriver);
    ~TCaptureInput() override;
    const TInputFormat& Format() const override { return format_; }
    bool Next(TInputFrame& out) override;
    bool Rewind() override { return false; }
    // Which sound source was opened: "pulse", "alsa" or "tone".
    const std::string& SoundSource() const { return soundSource_; }

private:
    void Read(IInputStage* source);
    std::vector<std::unique_ptr<IInputStage>> sources_;
    std::vector<std::thread> readers_;
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<TInputFrame> queue_;
    int running_ = 0;
    bool closing_ = false;
    std::string error_;
    long long firstVideo_ = AV_NOPTS_VALUE, firstAudio_ = AV_NOPTS_VALUE;
    TInputFormat format_;
    std::string soundSource_;
};

}  // namespace vandrex
