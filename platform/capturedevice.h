#pragma once
// TCaptureDevice: the engine behind a capture window. It connects one capture
// driver, reads its frames on a worker thread, keeps the newest whole frame,
// grabs, saves 24-bit bitmaps and records streaming captures to AVI. Every
// request is a method with a Boolean result, the way the capture window's
// messages answer. Callbacks are called on the thread that owns the device
// (the user-interface thread), from queued calls: the worker never waits for
// a handler and never touches a widget.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/capturedrivers.h"
#include "platform/capturetypes.h"

namespace vandrex {

class TFrameSource;

class TCaptureDevice : public QObject {
    Q_OBJECT
public:
    explicit TCaptureDevice(QObject* parent = nullptr);
    ~TCaptureDevice() override;

    // How long a grab waits for a frame before it gives up.
    static constexpr int kGrabTimeoutMs = 2000;

    bool DriverConnect(int index);
    bool DriverDisconnect();
    bool Connected() const { return connected_; }
    const TCaptureDriverInfo& Driver() const { return driver_; }

    bool GetDriverCaps(TCapDriverCaps& caps) const;
    bool GetStatus(TCapStatus& status) const;

    bool SetPreview(bool on);
    bool SetOverlay(bool on);  // always false: no overlay hardware
    bool SetPreviewRate(int milliseconds);
    int PreviewRateMs() const { return previewMs_; }
    bool SetScale(bool on);
    bool Scale() const { return scale_; }

    bool SetCaptureFile(const std::string& path);
    std::string CaptureFile() const;
    // Reserves `bytes` in the capture file (which must be set).
    bool FileAllocate(std::uint64_t bytes);

    // Takes the next whole frame; GrabFrame also ends preview. False when not
    // connected or when no frame came within kGrabTimeoutMs.
    bool GrabFrame();
    bool GrabFrameNoStop();
    // The current frame as a 24-bit bitmap file, written aside and renamed.
    bool SaveDib(const std::string& path);
    // The newest whole frame (null before the first).
    TFramePtr CurrentFrame() const;

    bool GetSequenceSetup(TCaptureParms& parms) const;
    bool SetSequenceSetup(const TCaptureParms& parms);
    bool GetAudioFormat(TWaveFormat& format) const;
    bool SetAudioFormat(const TWaveFormat& format);
    // Starts streaming capture to the capture file (Sequence) or to the
    // callbacks only (SequenceNoFile); returns at once. False when not
    // connected, already capturing, or the file cannot be opened.
    bool Sequence();
    bool SequenceNoFile();
    // Ends streaming capture (waiting until the file is complete) and preview
    // grabs in progress; false when not connected.
    bool Stop();
    bool Capturing() const { return capturing_; }

    // Format, source and compression settings (the dialogs' contents).
    std::vector<TFrameSize> FrameSizes() const;
    TFrameSize FrameSize() const;
    bool SetFrameSize(TFrameSize size);
    std::vector<TCaptureControl> Controls() const;
    bool SetControl(std::uint32_t id, int value);
    int Quality() const { return quality_; }
    bool SetQuality(int quality);

    std::function<void(int nID, const std::string& text)> StatusCallback;
    std::function<void(int nID, const std::string& text)> ErrorCallback;
    std::function<void(PVIDEOHDR)> FrameCallback;
    std::function<void(PVIDEOHDR)> VideoStreamCallback;
    std::function<void(PWaveHdr)> WaveStreamCallback;
    // Whether the worker hands streaming buffers over at all; set this with
    // the stream callbacks (copies are queued only when someone listens).
    void WantStreamBuffers(bool video, bool wave) {
        wantVideo_ = video;
        wantWave_ = wave;
    }

signals:
    // A new frame to show arrived (preview or grab).
    void FrameShown();
    // A streaming capture ended (file complete).
    void CaptureEnded(bool ok);

private:
    void Worker();
    void RunSequence(bool toFile);
    bool StartSequence(bool toFile);
    bool Grab(bool stopPreview);
    void PostError(int id, const std::string& text);
    void PostStatus(int id, const std::string& text);
    void PostFrame(const TFramePtr& frame, bool streaming);
    void PostWave(std::vector<std::uint8_t> samples);

    TCaptureDriverInfo driver_;
    std::unique_ptr<TFrameSource> source_;
    std::atomic<bool> connected_{false};
    bool scale_ = false;
    std::atomic<int> previewMs_{66};  // read by the worker
    std::atomic<int> quality_{80};

    mutable std::mutex m_;
    std::condition_variable wake_;   // worker: work to do
    std::condition_variable frames_; // grabbers: a frame arrived
    std::thread worker_;
    bool quit_ = false;
    bool preview_ = false;
    int grabRequests_ = 0;
    std::uint64_t frameSerial_ = 0;
    TFramePtr current_;
    std::string captureFile_;
    TCaptureParms parms_;
    TWaveFormat wave_;
    bool sequenceRequested_ = false;
    bool sequenceToFile_ = true;
    std::atomic<bool> stopSequence_{false};
    std::atomic<bool> capturing_{false};
    std::atomic<bool> previewPending_{false};
    std::atomic<bool> wantVideo_{false};
    std::atomic<bool> wantWave_{false};
    TCapStatus progress_;  // frames, drops, samples, elapsed of the running capture
};

}  // namespace vandrex
