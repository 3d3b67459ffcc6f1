#include "imaging/videocap.h"

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "platform/capturedrivers.h"
#include "platform/capturewindow.h"
#include "platform/rounding.h"

namespace vandrex {

namespace {

constexpr std::uint32_t kMinMicroSecPerFrame = 33333;
constexpr std::uint32_t kMinIndex = 1800;
constexpr std::uint32_t kMaxIndex = 324000;
constexpr std::uint32_t kDefaultIndex = 100000;

bool NameFits(const QString& name) { return !name.isEmpty() && name.toLocal8Bit().size() <= TVideoCap::kMaxFileName; }

}  // namespace

TWaveFormat TAudioFormat::Apply(TWaveFormat f) const {
    static constexpr std::uint32_t rates[] = {8000, 11025, 22050, 44100};
    f.FormatTag = 1;
    f.SamplesPerSec = rates[int(Frequency)];
    f.Channels = Channels == TChannel::Mono ? 1 : 2;
    f.BitsPerSample = Resolution == TResolution::r16Bit ? 16 : 8;
    f.BlockAlign = std::uint16_t(f.Channels * f.BitsPerSample / 8);
    f.AvgBytesPerSec = f.BlockAlign * f.SamplesPerSec;
    return f;
}

QStringList ListCaptureDrivers() {
    QStringList lines;
    lines.reserve(kMaxCaptureDrivers);
    for (int i = 0; i < kMaxCaptureDrivers; ++i) {
        std::string name, version;
        if (!GetDriverDescription(i, name, version)) break;
        lines << QString::fromStdString(name) + " " + QString::fromStdString(version);
    }
    return lines;
}

// With a time limit the index holds one entry per frame plus five per second
// of sound; without one, the configured size or 100000. Always within
// 1800..324000; computed in 64 bits, so large limits clamp instead of
// wrapping.
std::uint32_t CaptureIndexSize(std::uint16_t timeLimit, std::uint16_t frameRate, bool audio,
                               std::uint32_t capIndexSize) {
    std::int64_t size;
    if (timeLimit != 0)
        size = std::int64_t(frameRate) * timeLimit + (audio ? 5 * std::int64_t(timeLimit) : 0);
    else
        size = capIndexSize != 0 ? capIndexSize : kDefaultIndex;
    return std::uint32_t(std::clamp<std::int64_t>(size, kMinIndex, kMaxIndex));
}

TVideoCap::TVideoCap(QWidget* parent) : QWidget(parent), audioFormat_(std::make_unique<TAudioFormat>()) {
    setObjectName("VideoCap");
    resize(100, 100);
    setColor(Qt::black);
}

TVideoCap::~TVideoCap() {
    DisconnectDriver();
    caps_.reset();
    status_.reset();
}

QColor TVideoCap::color() const { return palette().color(QPalette::Window); }

void TVideoCap::setColor(const QColor& c) {
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    setPalette(p);
    update();
}

void TVideoCap::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), color());
}

// ------------------------------------------------------------ properties

void TVideoCap::SetDriverOpen(bool open) {
    if (open == DriverOpen()) return;
    if (open)
        ConnectDriver();
    else
        DisconnectDriver();
}

void TVideoCap::SetDriverIndex(int index) {
    if (index == driverIndex_) return;
    DisconnectDriver();
    caps_.reset();
    status_.reset();
    std::string name, version;
    if (index >= 0 && GetDriverDescription(index, name, version)) {
        driverIndex_ = index;
        driverName_ = QString::fromStdString(name);
    } else {
        driverIndex_ = -1;
        driverName_.clear();
    }
}

void TVideoCap::SetDriverName(const QString& name) {
    if (name == driverName_) return;
    DisconnectDriver();
    caps_.reset();
    status_.reset();
    for (int i = 0; i < kMaxCaptureDrivers; ++i) {
        std::string n, version;
        if (!GetDriverDescription(i, n, version)) break;
        if (QString::fromStdString(n) == name) {
            driverName_ = name;
            driverIndex_ = i;
            return;
        }
    }
    driverName_.clear();
    driverIndex_ = -1;
}

bool TVideoCap::VideoPreview() {
    return DriverOpen() && RefreshStatus(false) && status_->LiveWindow;
}

void TVideoCap::SetVideoPreview(bool on) {
    if (on == VideoPreview()) return;
    if (on && !DriverOpen()) ConnectDriver();
    if (window_) window_->Device().SetPreview(on);
    RefreshStatus(true);
    update();
}

bool TVideoCap::VideoOverlay() {
    return DriverOpen() && RefreshStatus(false) && status_->OverlayWindow;
}

void TVideoCap::SetVideoOverlay(bool on) {
    if (on == VideoOverlay()) return;
    if (!HasOverlay()) throw ENoOverlayException();
    if (on) {
        if (!DriverOpen()) ConnectDriver();
        GrabFrame();
    }
    if (window_) window_->Device().SetOverlay(on);
    RefreshStatus(true);
    update();
}

void TVideoCap::SetPreviewScaleToWindow(bool on) {
    if (on == scaleToWindow_) return;
    scaleToWindow_ = on;
    if (window_) {
        window_->Device().SetScale(on);
        FitCaptureWindow();
    }
    update();
}

void TVideoCap::SetPreviewScaleProportional(bool on) {
    if (on == scaleProportional_) return;
    scaleProportional_ = on;
    if (window_) FitCaptureWindow();
    update();
}

void TVideoCap::SetPreviewRate(int rate) {
    const auto clamped = std::uint16_t(std::clamp(rate, 1, 30));
    if (clamped == previewRate_) return;
    previewRate_ = clamped;
    if (window_) window_->Device().SetPreviewRate(int(Round(1000.0 / previewRate_)));
}

void TVideoCap::SetMicroSecPerFrame(std::uint32_t us) { microSecPerFrame_ = std::max(us, kMinMicroSecPerFrame); }

std::uint16_t TVideoCap::FrameRate() const {
    if (microSecPerFrame_ < 1) return 0;
    return std::uint16_t(Round(1000000.0 / microSecPerFrame_));
}

void TVideoCap::SetFrameRate(std::uint16_t fps) {
    if (fps == 0) return;
    microSecPerFrame_ = std::uint32_t(Round(1000000.0 / fps));
}

void TVideoCap::SetCapIndexSize(std::uint32_t size) {
    capIndexSize_ = size == 0 ? 0 : std::clamp(size, kMinIndex, kMaxIndex);
}

void TVideoCap::SetBufferFileSize(std::uint16_t megabytes) {
    if (megabytes == bufferFileSize_) return;
    bufferFileSize_ = megabytes;
    if (window_) UpdateBufferFile(true);
}

void TVideoCap::SetOnStatusCallback(TCapStatusCallback handler) {
    onStatusCallback_ = std::move(handler);
    InstallCallbacks();
}
void TVideoCap::SetOnVideoStream(TVideoStream handler) {
    onVideoStream_ = std::move(handler);
    InstallCallbacks();
}
void TVideoCap::SetOnFrameCallback(TVideoStream handler) {
    onFrameCallback_ = std::move(handler);
    InstallCallbacks();
}
void TVideoCap::SetOnAudioStream(TAudioStream handler) {
    onAudioStream_ = std::move(handler);
    InstallCallbacks();
}
void TVideoCap::SetOnError(TError handler) {
    onError_ = std::move(handler);
    InstallCallbacks();
}

void TVideoCap::FireError(int id, const QString& text) {
    if (onError_) onError_(this, id, text);
    if (TCaptureInterface::OnError) TCaptureInterface::OnError(this, id, text);
}

// The device's callbacks relay to the events with this control as sender;
// a cleared event removes its callback.
void TVideoCap::InstallCallbacks() {
    if (!window_) return;
    TCaptureDevice& d = window_->Device();
    d.StatusCallback = onStatusCallback_
        ? std::function<void(int, const std::string&)>([this](int id, const std::string& text) {
              if (onStatusCallback_) onStatusCallback_(this, id, QString::fromStdString(text));
          })
        : nullptr;
    d.FrameCallback = onFrameCallback_ ? std::function<void(PVIDEOHDR)>([this](PVIDEOHDR h) {
        if (onFrameCallback_) onFrameCallback_(this, h);
    })
                                       : nullptr;
    // The window's handler (TCaptureInterface::OnError, set before the driver
    // connects) hears the same errors as the component's own event.
    d.ErrorCallback = onError_ || TCaptureInterface::OnError
        ? std::function<void(int, const std::string&)>([this](int id, const std::string& text) {
              FireError(id, QString::fromStdString(text));
          })
        : nullptr;
    d.VideoStreamCallback = onVideoStream_ ? std::function<void(PVIDEOHDR)>([this](PVIDEOHDR h) {
        if (onVideoStream_) onVideoStream_(this, h);
    })
                                           : nullptr;
    d.WaveStreamCallback = onAudioStream_ ? std::function<void(PWaveHdr)>([this](PWaveHdr h) {
        if (onAudioStream_) onAudioStream_(this, h);
    })
                                          : nullptr;
    d.WantStreamBuffers(static_cast<bool>(onVideoStream_), static_cast<bool>(onAudioStream_));
}

// ------------------------------------------------------------- internals

bool TVideoCap::ConnectDriver() {
    if (window_) return true;
    if (driverIndex_ == -1) {
        RefreshStatus(true);
        throw ENoDriverException();
    }
    window_ = new TCaptureWindow(this);
    window_->setGeometry(0, 0, width(), height());
    window_->show();
    connect(&window_->Device(), &TCaptureDevice::CaptureEnded, this, &TVideoCap::CaptureEnded);
    InstallCallbacks();
    if (!window_->Device().DriverConnect(driverIndex_)) {
        DisconnectDriver();
        RefreshStatus(true);
        throw ENotConnectException();
    }
    UpdateBufferFile(true);
    window_->Device().SetScale(scaleToWindow_);
    window_->Device().SetPreviewRate(int(Round(1000.0 / previewRate_)));
    RefreshStatus(true);
    FitCaptureWindow();
    return true;
}

void TVideoCap::DisconnectDriver() {
    if (!window_) return;
    if (abortFilter_) {
        qApp->removeEventFilter(this);
        abortFilter_ = false;
    }
    UpdateBufferFile(false);
    window_->Device().DriverDisconnect();
    delete window_;
    window_ = nullptr;
}

bool TVideoCap::FitCaptureWindow() {
    if (!window_) return false;
    const int pw = status_ ? status_->ImageWidth : 0;
    const int ph = status_ ? status_->ImageHeight : 0;
    int w = width(), h = height();
    if (!scaleToWindow_) {
        w = pw;
        h = ph;
    } else if (scaleProportional_) {
        // A control or picture without height has no aspect: fill the control.
        if (h > 0 && ph > 0 && pw > 0) {
            const float control = float(width()) / float(height());
            const float picture = float(pw) / float(ph);
            if (control > picture) {
                h = height();
                w = int(Round(double(float(h) * picture)));
            } else {
                w = width();
                h = int(Round(double(float(w) / picture)));
            }
        }
    }
    window_->setGeometry(0, 0, w, h);
    window_->update();
    return true;
}

void TVideoCap::UpdateBufferFile(bool allocate) {
    if (bufferFile_.isEmpty() && bufferFileSize_ == 0) return;
    if (bufferFile_.isEmpty()) {
        QByteArray pattern = QDir(QDir::tempPath()).filePath("capXXXXXX").toLocal8Bit();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) throw EBufferFileError();
        ::close(fd);
        bufferFile_ = QString::fromLocal8Bit(pattern);
    }
    TCaptureDevice* d = window_ ? &window_->Device() : nullptr;
    if (allocate && bufferFileSize_ != 0) {
        if (!d || !d->SetCaptureFile(bufferFile_.toStdString()) ||
            !d->FileAllocate(std::uint64_t(bufferFileSize_) * 1048576))
            throw EBufferFileError();
    } else {
        if (d && NameFits(VideoFileName)) d->SetCaptureFile(VideoFileName.toStdString());
        QFile::remove(bufferFile_);
        bufferFile_.clear();
    }
}

bool TVideoCap::RefreshStatus(bool fireEvent) {
    bool result = false;
    if (window_) {
        TCapStatus s;
        result = window_->Device().GetStatus(s);
        if (result) status_ = s;
    }
    if (fireEvent && OnStatus) OnStatus(this);
    return result;
}

bool TVideoCap::ReadDriverCaps() {
    if (caps_) return true;
    if (driverIndex_ == -1) return false;
    const bool connectedHere = !window_;
    if (connectedHere) {
        try {
            ConnectDriver();
        } catch (const Exception&) {
            return false;
        }
    }
    TCapDriverCaps caps;
    if (window_ && window_->Device().GetDriverCaps(caps)) caps_ = caps;
    if (connectedHere) DisconnectDriver();
    return caps_.has_value();
}

bool TVideoCap::HasOverlay() { return ReadDriverCaps() && caps_->HasOverlay; }

template <class Fn>
bool TVideoCap::WithDriver(Fn dialog, bool refresh) {
    if (driverIndex_ == -1) return false;
    const bool connectedHere = !window_;
    if (connectedHere) {
        try {
            ConnectDriver();
        } catch (const Exception&) {
            return false;
        }
    }
    const bool ok = dialog(*window_);
    if (ok && refresh) {
        RefreshStatus(true);
        FitCaptureWindow();
        update();
    }
    if (connectedHere) DisconnectDriver();
    return ok;
}

bool TVideoCap::ShowFormatDialog() {
    return WithDriver([](TCaptureWindow& w) { return w.DlgVideoFormat(); }, true);
}
bool TVideoCap::ShowSourceDialog() {
    return WithDriver([](TCaptureWindow& w) { return w.DlgVideoSource(); }, true);
}
bool TVideoCap::ShowDisplayDialog() {
    return WithDriver([](TCaptureWindow& w) { return w.DlgVideoDisplay(); }, true);
}
bool TVideoCap::ShowCompressionDialog() {
    return WithDriver([](TCaptureWindow& w) { return w.DlgVideoCompression(); }, false);
}

bool TVideoCap::GrabFrame() {
    if (!window_ || !window_->Device().GrabFrame()) return false;
    RefreshStatus(true);
    return true;
}

bool TVideoCap::GrabFrameNoStop() {
    if (!window_ || !window_->Device().GrabFrameNoStop()) return false;
    RefreshStatus(true);
    return true;
}

bool TVideoCap::SaveFrameAsBitmap() {
    if (!window_ || !NameFits(SingleImageFile)) return false;
    return window_->Device().SaveDib(SingleImageFile.toLocal8Bit().toStdString());
}

void TVideoCap::ApplyAudioFormat() {
    TCaptureDevice& d = window_->Device();
    TWaveFormat wave;
    d.GetAudioFormat(wave);
    d.SetAudioFormat(audioFormat_->Apply(wave));
}

bool TVideoCap::StartCapture() {
    if (!window_) return false;
    TCaptureDevice& d = window_->Device();
    TCaptureParms parms;
    d.GetSequenceSetup(parms);
    if (bufferFile_.isEmpty()) {
        if (CapToFile && !NameFits(VideoFileName)) return false;
        if (NameFits(VideoFileName)) d.SetCaptureFile(VideoFileName.toLocal8Bit().toStdString());
    }
    parms.RequestMicroSecPerFrame = microSecPerFrame_;
    parms.LimitEnabled = CapTimeLimit != 0;
    parms.TimeLimit = CapTimeLimit;
    parms.CaptureAudio = CapAudio;
    parms.Yield = true;
    parms.KeyAbort = 0x1B;
    parms.AbortLeftMouse = false;
    parms.AbortRightMouse = false;
    parms.MCIControl = false;
    parms.IndexSize = lastIndexSize_ = CaptureIndexSize(CapTimeLimit, FrameRate(), CapAudio, capIndexSize_);
    d.SetSequenceSetup(parms);
    if (CapAudio) ApplyAudioFormat();
    const bool result = CapToFile ? d.Sequence() : d.SequenceNoFile();
    RefreshStatus(true);
    if (result && !abortFilter_) {
        // Escape anywhere in the program ends the capture.
        qApp->installEventFilter(this);
        abortFilter_ = true;
    }
    return result;
}

bool TVideoCap::StopCapture() {
    if (!window_) return false;
    const bool result = window_->Device().Stop();
    RefreshStatus(true);
    return result;
}

// The file of a capture into the buffer file belongs in VideoFileName; the
// buffer is then reserved again for the next capture.
void TVideoCap::CaptureEnded(bool ok) {
    if (abortFilter_) {
        qApp->removeEventFilter(this);
        abortFilter_ = false;
    }
    if (ok && CapToFile && !bufferFile_.isEmpty() && NameFits(VideoFileName)) {
        QFile::remove(VideoFileName);
        if (!QFile::rename(bufferFile_, VideoFileName)) {
            ok = false;
            FireError(6, QStringLiteral("Could not move the capture to ") + VideoFileName);
        }
        if (window_) {
            try {
                UpdateBufferFile(true);
            } catch (const EBufferFileError&) {
                FireError(7, QString::fromStdString(EBufferFileError().message()));
            }
        }
    }
    RefreshStatus(true);
    emit CaptureFinished(ok);
}

bool TVideoCap::eventFilter(QObject* watched, QEvent* event) {
    if (abortFilter_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && window_ && window_->Device().Capturing()) {
        StopCapture();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ------------------------------------------------------------------ mouse

void TVideoCap::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (window_ && scaleToWindow_) FitCaptureWindow();
}

void TVideoCap::mousePressEvent(QMouseEvent* e) {
    pressed_ = true;
    if (OnMouseDown) OnMouseDown(this, e->button(), e->modifiers(), int(e->position().x()), int(e->position().y()));
}

void TVideoCap::mouseReleaseEvent(QMouseEvent* e) {
    if (OnMouseUp) OnMouseUp(this, e->button(), e->modifiers(), int(e->position().x()), int(e->position().y()));
    if (pressed_ && rect().contains(e->position().toPoint()) && OnClick) OnClick(this);
    pressed_ = false;
}

void TVideoCap::mouseDoubleClickEvent(QMouseEvent* e) {
    pressed_ = true;
    if (OnDblClick) OnDblClick(this);
    (void)e;
}

void TVideoCap::mouseMoveEvent(QMouseEvent* e) {
    if (OnMouseMove) OnMouseMove(this, e->modifiers(), int(e->position().x()), int(e->position().y()));
}

void ApplyVideoCap1Settings(TVideoCap& cap) {
    cap.hide();
    cap.SetDriverOpen(false);
    cap.SetDriverIndex(-1);
    cap.SetPreviewScaleToWindow(true);
    cap.SetPreviewScaleProportional(false);
    cap.SetPreviewRate(25);
    cap.SetMicroSecPerFrame(200000);
    cap.CapAudio = true;
    cap.VideoFileName = QStringLiteral("Capture.avi");
    cap.SingleImageFile = QStringLiteral("Snapshot.bmp");
    cap.CapTimeLimit = 27000;
    cap.SetCapIndexSize(0);
    cap.CapToFile = true;
    cap.CapAudioFormat().Frequency = TFrequency::f22050Hz;
    cap.CapAudioFormat().Resolution = TResolution::r16Bit;
    cap.SetBufferFileSize(0);
    cap.setToolTip(QStringLiteral("Monitor [Select Capture Driver]"));
}

}  // namespace vandrex
