#include "platform/capturedevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <QMetaObject>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/avirecorder.h"
#include "platform/framesource.h"

namespace vandrex {

namespace {

using Clock = std::chrono::steady_clock;

// What the format and compression dialogs chose, per driver, so a driver
// keeps its settings from one connection to the next as a driver would.
struct TDriverSettings {
    TFrameSize Size{};
    int Quality = 80;
};
std::mutex gSettingsLock;
std::map<std::string, TDriverSettings> gSettings;

// How far computed frames may fall behind before slots are dropped.
constexpr double kMaxLagUs = 1e6;

std::string SettingsKey(const TCaptureDriverInfo& d) { return d.Name + "|" + d.Device; }

TDriverSettings RememberedSettings(const TCaptureDriverInfo& d) {
    std::lock_guard lock(gSettingsLock);
    auto it = gSettings.find(SettingsKey(d));
    return it == gSettings.end() ? TDriverSettings{} : it->second;
}

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A 24-bit bottom-up device-independent bitmap file.
std::vector<std::uint8_t> EncodeDib(const TVideoFrame& f) {
    const std::size_t stride = (std::size_t(f.Width) * 3 + 3) & ~std::size_t(3);
    const std::size_t image = stride * std::size_t(f.Height);
    std::vector<std::uint8_t> b(54 + image, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, std::uint32_t(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, std::uint32_t(f.Width));
    Put32(b, 22, std::uint32_t(f.Height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 34, std::uint32_t(image));
    Put32(b, 38, 2835);
    Put32(b, 42, 2835);
    for (int y = 0; y < f.Height; ++y)
        std::memcpy(b.data() + 54 + stride * std::size_t(f.Height - 1 - y),
                    f.Pixels.data() + std::size_t(y) * f.Width * 3, std::size_t(f.Width) * 3);
    return b;
}

bool WriteAside(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string aside = path + ".part";
    FILE* out = std::fopen(aside.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed || std::rename(aside.c_str(), path.c_str()) != 0) {
        std::remove(aside.c_str());
        return false;
    }
    return true;
}

}  // namespace

TCaptureDevice::TCaptureDevice(QObject* parent) : QObject(parent) {}

TCaptureDevice::~TCaptureDevice() { DriverDisconnect(); }

bool TCaptureDevice::DriverConnect(int index) {
    if (connected_) DriverDisconnect();
    TCaptureDriverInfo info;
    if (!GetDriverInfo(index, info)) return false;
    auto source = MakeFrameSource(info);
    std::string error;
    source->SetFrameRate(1000.0 / previewMs_.load());
    const TDriverSettings remembered = RememberedSettings(info);
    if (remembered.Size.Width > 0) source->SetSize(remembered.Size);
    quality_ = remembered.Quality;
    if (!source->Open(error)) {
        PostError(1, error);
        return false;
    }
    driver_ = info;
    source_ = std::move(source);
    {
        std::lock_guard lock(m_);
        quit_ = false;
        preview_ = false;
        grabRequests_ = 0;
        current_.reset();
        progress_ = {};
    }
    connected_ = true;
    worker_ = std::thread([this] { Worker(); });
    return true;
}

bool TCaptureDevice::DriverDisconnect() {
    if (!connected_) return false;
    stopSequence_ = true;
    {
        std::lock_guard lock(m_);
        quit_ = true;
    }
    source_->Interrupt();
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    source_->Close();
    source_.reset();
    connected_ = false;
    capturing_ = false;
    frames_.notify_all();
    std::lock_guard lock(m_);
    preview_ = false;
    current_.reset();
    return true;
}

bool TCaptureDevice::GetDriverCaps(TCapDriverCaps& caps) const {
    if (!connected_) return false;
    caps = {};
    TCaptureDriverInfo info;
    const auto all = CaptureDrivers();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].Name == driver_.Name && all[i].Device == driver_.Device) caps.DeviceIndex = int(i);
    caps.HasOverlay = false;
    caps.CaptureInitialized = true;
    return true;
}

bool TCaptureDevice::GetStatus(TCapStatus& status) const {
    if (!connected_) return false;
    std::lock_guard lock(m_);
    status = progress_;
    const TFrameSize size = source_->Size();
    status.ImageWidth = current_ ? current_->Width : size.Width;
    status.ImageHeight = current_ ? current_->Height : size.Height;
    status.LiveWindow = preview_;
    status.OverlayWindow = false;
    status.Scale = scale_;
    status.CapturingNow = capturing_;
    status.AudioHardware = driver_.Kind == TCaptureDriverKind::TestPattern;
    return true;
}

bool TCaptureDevice::SetPreview(bool on) {
    if (!connected_) return false;
    {
        std::lock_guard lock(m_);
        preview_ = on;
    }
    wake_.notify_all();
    return true;
}

bool TCaptureDevice::SetOverlay(bool) { return false; }

bool TCaptureDevice::SetPreviewRate(int milliseconds) {
    if (!connected_ || milliseconds <= 0) return false;
    previewMs_ = milliseconds;
    wake_.notify_all();
    return true;
}

bool TCaptureDevice::SetScale(bool on) {
    if (!connected_) return false;
    scale_ = on;
    return true;
}

bool TCaptureDevice::SetCaptureFile(const std::string& path) {
    if (!connected_ || path.empty() || capturing_) return false;
    std::lock_guard lock(m_);
    captureFile_ = path;
    return true;
}

std::string TCaptureDevice::CaptureFile() const {
    std::lock_guard lock(m_);
    return captureFile_;
}

bool TCaptureDevice::FileAllocate(std::uint64_t bytes) {
    const std::string path = CaptureFile();
    if (!connected_ || path.empty()) return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = ::posix_fallocate(fd, 0, off_t(bytes)) == 0;
    return (::close(fd) == 0) && ok;
}

bool TCaptureDevice::GrabFrame() { return Grab(true); }
bool TCaptureDevice::GrabFrameNoStop() { return Grab(false); }

bool TCaptureDevice::Grab(bool stopPreview) {
    if (!connected_ || capturing_) return false;
    std::unique_lock lock(m_);
    if (stopPreview) preview_ = false;
    const std::uint64_t wanted = frameSerial_ + 1;
    ++grabRequests_;
    wake_.notify_all();
    const bool got = frames_.wait_for(lock, std::chrono::milliseconds(kGrabTimeoutMs),
                                      [&] { return frameSerial_ >= wanted || !connected_; });
    if (!got || !connected_) {
        if (grabRequests_ > 0) --grabRequests_;
        return false;
    }
    lock.unlock();
    emit FrameShown();
    return true;
}

bool TCaptureDevice::SaveDib(const std::string& path) {
    const TFramePtr frame = CurrentFrame();
    if (!connected_ || !frame || path.empty()) return false;
    return WriteAside(path, EncodeDib(*frame));
}

TFramePtr TCaptureDevice::CurrentFrame() const {
    std::lock_guard lock(m_);
    return current_;
}

bool TCaptureDevice::GetSequenceSetup(TCaptureParms& parms) const {
    if (!connected_) return false;
    std::lock_guard lock(m_);
    parms = parms_;
    return true;
}

bool TCaptureDevice::SetSequenceSetup(const TCaptureParms& parms) {
    if (!connected_ || capturing_ || parms.RequestMicroSecPerFrame == 0) return false;
    std::lock_guard lock(m_);
    parms_ = parms;
    return true;
}

bool TCaptureDevice::GetAudioFormat(TWaveFormat& format) const {
    if (!connected_) return false;
    std::lock_guard lock(m_);
    format = wave_;
    return true;
}

bool TCaptureDevice::SetAudioFormat(const TWaveFormat& f) {
    if (!connected_ || capturing_) return false;
    const bool valid = f.FormatTag == 1 && (f.Channels == 1 || f.Channels == 2) &&
                       (f.BitsPerSample == 8 || f.BitsPerSample == 16) && f.SamplesPerSec >= 4000 &&
                       f.SamplesPerSec <= 96000 && f.BlockAlign == f.Channels * f.BitsPerSample / 8 &&
                       f.AvgBytesPerSec == f.BlockAlign * f.SamplesPerSec;
    if (!valid) return false;
    std::lock_guard lock(m_);
    wave_ = f;
    return true;
}

bool TCaptureDevice::Sequence() { return StartSequence(true); }
bool TCaptureDevice::SequenceNoFile() { return StartSequence(false); }

bool TCaptureDevice::StartSequence(bool toFile) {
    if (!connected_ || capturing_) return false;
    {
        std::lock_guard lock(m_);
        if (toFile && captureFile_.empty()) return false;
        sequenceRequested_ = true;
        sequenceToFile_ = toFile;
        progress_ = {};
    }
    stopSequence_ = false;
    capturing_ = true;
    wake_.notify_all();
    return true;
}

bool TCaptureDevice::Stop() {
    if (!connected_) return false;
    if (!capturing_) return true;
    stopSequence_ = true;
    source_->Interrupt();  // a stalled camera must not hold the capture open
    wake_.notify_all();
    // The file is complete when Stop returns; the worker finishes it quickly.
    while (capturing_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    source_->ClearInterrupt();
    return true;
}

std::vector<TFrameSize> TCaptureDevice::FrameSizes() const {
    return connected_ ? source_->Sizes() : std::vector<TFrameSize>{};
}

TFrameSize TCaptureDevice::FrameSize() const { return connected_ ? source_->Size() : TFrameSize{}; }

bool TCaptureDevice::SetFrameSize(TFrameSize size) {
    if (!connected_ || capturing_) return false;
    // The worker must not read while the source reopens.
    std::unique_lock lock(m_);
    const bool wasPreview = preview_;
    quit_ = true;
    lock.unlock();
    source_->Interrupt();
    wake_.notify_all();
    worker_.join();
    source_->ClearInterrupt();
    const bool ok = source_->SetSize(size);
    if (ok) {
        std::lock_guard settings(gSettingsLock);
        gSettings[SettingsKey(driver_)].Size = size;
    }
    lock.lock();
    quit_ = false;
    preview_ = wasPreview;
    current_.reset();
    lock.unlock();
    worker_ = std::thread([this] { Worker(); });
    return ok;
}

std::vector<TCaptureControl> TCaptureDevice::Controls() const {
    return connected_ ? source_->Controls() : std::vector<TCaptureControl>{};
}

bool TCaptureDevice::SetControl(std::uint32_t id, int value) { return connected_ && source_->SetControl(id, value); }

bool TCaptureDevice::SetQuality(int quality) {
    if (quality < 1 || quality > 100) return false;
    quality_ = quality;
    if (connected_) {
        std::lock_guard settings(gSettingsLock);
        gSettings[SettingsKey(driver_)].Quality = quality;
    }
    return true;
}

void TCaptureDevice::PostError(int id, const std::string& text) {
    QMetaObject::invokeMethod(this, [this, id, text] {
        if (ErrorCallback) ErrorCallback(id, text);
    }, Qt::QueuedConnection);
}

void TCaptureDevice::PostStatus(int id, const std::string& text) {
    QMetaObject::invokeMethod(this, [this, id, text] {
        if (StatusCallback) StatusCallback(id, text);
    }, Qt::QueuedConnection);
}

void TCaptureDevice::PostFrame(const TFramePtr& frame, bool streaming) {
    if (streaming && wantVideo_) {
        QMetaObject::invokeMethod(this, [this, frame] {
            if (!VideoStreamCallback) return;
            TVideoHdr hdr{frame->Pixels.data(), std::uint32_t(frame->Pixels.size()), std::uint32_t(frame->Pixels.size()),
                          frame->TimeCapturedMS, frame->Width, frame->Height};
            VideoStreamCallback(&hdr);
        }, Qt::QueuedConnection);
    }
    // Preview frames are shown at most one at a time; a frame that arrives
    // while the last is still queued replaces it as the current frame.
    if (previewPending_.exchange(true)) return;
    QMetaObject::invokeMethod(this, [this] {
        previewPending_ = false;
        const TFramePtr shown = CurrentFrame();
        if (shown && FrameCallback) {
            TVideoHdr hdr{shown->Pixels.data(), std::uint32_t(shown->Pixels.size()), std::uint32_t(shown->Pixels.size()),
                          shown->TimeCapturedMS, shown->Width, shown->Height};
            FrameCallback(&hdr);
        }
        emit FrameShown();
    }, Qt::QueuedConnection);
}

void TCaptureDevice::PostWave(std::vector<std::uint8_t> samples) {
    if (!wantWave_) return;
    QMetaObject::invokeMethod(this, [this, samples = std::move(samples)] {
        if (!WaveStreamCallback) return;
        TWaveHdr hdr{samples.data(), std::uint32_t(samples.size()), std::uint32_t(samples.size())};
        WaveStreamCallback(&hdr);
    }, Qt::QueuedConnection);
}

void TCaptureDevice::Worker() {
    auto nextPreview = Clock::now();
    std::unique_lock lock(m_);
    while (!quit_) {
        if (sequenceRequested_) {
            sequenceRequested_ = false;
            const bool toFile = sequenceToFile_;
            lock.unlock();
            RunSequence(toFile);
            lock.lock();
            continue;
        }
        const auto now = Clock::now();
        const bool camera = source_->SelfPaced();
        const bool previewDue = preview_ && now >= nextPreview;
        if (grabRequests_ == 0 && !previewDue && !camera) {
            if (preview_)
                wake_.wait_until(lock, nextPreview);
            else
                wake_.wait(lock);
            continue;
        }
        lock.unlock();
        auto frame = std::make_shared<TVideoFrame>();
        const bool ok = source_->Read(*frame);
        lock.lock();
        if (!ok) {
            if (quit_) break;
            // A failing camera: try again a little later; grabs time out.
            wake_.wait_for(lock, std::chrono::milliseconds(20));
            continue;
        }
        current_ = frame;
        ++frameSerial_;
        const bool grabbed = grabRequests_ > 0;
        grabRequests_ = 0;
        frames_.notify_all();
        const bool show = preview_ && Clock::now() >= nextPreview;
        if (show) {
            nextPreview = std::max(nextPreview + std::chrono::milliseconds(previewMs_.load()), Clock::now());
        }
        if (show && !grabbed) {
            lock.unlock();
            PostFrame(frame, false);
            lock.lock();
        }
    }
}

void TCaptureDevice::RunSequence(bool toFile) {
    TCaptureParms parms;
    TWaveFormat wave;
    std::string file;
    {
        std::lock_guard lock(m_);
        parms = parms_;
        wave = wave_;
        file = captureFile_;
    }
    const double period = double(parms.RequestMicroSecPerFrame);  // microseconds
    source_->SetFrameRate(1e6 / period);
    bool audio = parms.CaptureAudio;
    std::unique_ptr<TAudioSource> sound;
    if (audio) {
        sound = MakeAudioSource(driver_);
        std::string error;
        if (!sound->Open(int(wave.SamplesPerSec), wave.Channels, wave.BitsPerSample, error)) {
            PostError(2, error + "; recording video only");
            audio = false;
            sound.reset();
        }
    }
    TAviRecorder recorder;
    bool ok = true;
    if (toFile) {
        TAviSettings settings;
        const TFrameSize size = source_->Size();
        settings.Width = size.Width;
        settings.Height = size.Height;
        settings.MicroSecPerFrame = parms.RequestMicroSecPerFrame;
        settings.Quality = quality_.load();
        settings.Audio = audio;
        settings.Wave = wave;
        std::string error;
        if (!recorder.Open(file, settings, error)) {
            PostError(3, "Can not create capture file: " + error);
            ok = false;
        }
    }
    PostStatus(1, "Capture start");
    const std::int64_t limitUs = parms.LimitEnabled ? std::int64_t(parms.TimeLimit) * 1000000 : -1;
    const auto start = Clock::now();
    const bool camera = source_->SelfPaced();
    std::int64_t slot = 0, lastSlot = -1, samples = 0;
    std::uint32_t frames = 0, dropped = 0;
    std::vector<std::uint8_t> pcm;
    auto slotTime = [&](std::int64_t n) {
        return start + std::chrono::microseconds(std::int64_t(std::llround(double(n) * period)));
    };
    while (ok && !stopSequence_) {
        if (limitUs >= 0 && double(slot) * period >= double(limitUs)) break;
        if (!camera) {
            std::unique_lock lock(m_);
            wake_.wait_until(lock, slotTime(slot), [&] { return stopSequence_.load() || quit_; });
            if (stopSequence_ || quit_) break;
        }
        auto frame = std::make_shared<TVideoFrame>();
        if (!source_->Read(*frame)) {
            if (stopSequence_) break;
            PostError(4, "The capture driver delivered no frame");
            ok = false;
            break;
        }
        if (camera) {
            // A camera keeps its own time: each frame takes the slot of the
            // moment it arrived; a repeated slot is skipped.
            const auto at = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            slot = std::int64_t(at / period);
            if (slot <= lastSlot) continue;
            if (limitUs >= 0 && double(slot) * period >= double(limitUs)) break;
        }
        if (lastSlot >= 0 && slot > lastSlot + 1) dropped += std::uint32_t(slot - lastSlot - 1);
        frame->TimeCapturedMS = std::uint32_t(std::llround(double(slot) * period / 1000.0));
        if (toFile && !recorder.WriteVideo(*frame, slot)) {
            PostError(5, "Writing the capture file failed");
            ok = false;
            break;
        }
        ++frames;
        lastSlot = slot;
        if (audio) {
            // Sound up to the end of this frame's period.
            const std::int64_t upTo = std::int64_t(double(slot + 1) * period * wave.SamplesPerSec / 1e6);
            pcm.clear();
            samples += sound->Read(pcm, upTo);
            if (!pcm.empty()) {
                if (toFile && !recorder.WriteAudio(pcm.data(), pcm.size())) {
                    PostError(5, "Writing the capture file failed");
                    ok = false;
                    break;
                }
                PostWave(pcm);
            }
        }
        {
            std::lock_guard lock(m_);
            current_ = frame;
            ++frameSerial_;
            progress_.CurrentVideoFrame = frames;
            progress_.CurrentVideoFramesDropped = dropped;
            progress_.CurrentWaveSamples = std::uint32_t(samples);
            progress_.CurrentTimeElapsedMS =
                std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        }
        PostFrame(frame, true);
        if (!camera) {
            // Computed frames catch up on a short delay, as a camera's queue
            // of buffers would; beyond kMaxLagUs behind, the missed slots are
            // dropped.
            const auto now = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            const auto behind = std::int64_t((now - kMaxLagUs) / period);
            slot = std::max(slot + 1, behind);
        }
    }
    if (toFile && recorder.IsOpen() && !recorder.Close() && ok) {
        PostError(5, "Writing the capture file failed");
        ok = false;
    }
    if (sound) sound->Close();
    PostStatus(2, "Capture end: " + std::to_string(frames) + " frames, " + std::to_string(dropped) + " dropped");
    capturing_ = false;
    QMetaObject::invokeMethod(this, [this, ok] { emit CaptureEnded(ok); }, Qt::QueuedConnection);
}

}  // namespace vandrex
