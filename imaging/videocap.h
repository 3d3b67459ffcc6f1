#pragma once
// TVideoCap: the video capture control. It lists the capture drivers,
// connects one to a child capture window that fills the control, shows live
// preview in it, grabs single frames to a bitmap file, opens the driver's
// dialogs and records video (and sound) to an AVI file. The driver work is
// done by the capture layer (platform/capturewindow.h); this control holds
// the settings and turns them into requests. Events are called on the
// user-interface thread.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "imaging/captureinterface.h"
#include "platform/capturetypes.h"
#include "platform/exceptions.h"

namespace vandrex {

class TCaptureWindow;

class ENoDriverException : public Exception {
public:
    ENoDriverException() : Exception("No capture driver selected") {}
};
class ENoCapWindowException : public Exception {
public:
    ENoCapWindowException() : Exception("Can not create capture window") {}
};
class ENotConnectException : public Exception {
public:
    ENotConnectException() : Exception("Can not connect capture driver with capture window") {}
};
class ENoOverlayException : public Exception {
public:
    ENoOverlayException() : Exception("Driver has no overlay mode") {}
};
class EBufferFileError : public Exception {
public:
    EBufferFileError() : Exception("Could not create tmp file") {}
};

enum class TChannel : std::uint8_t { Stereo, Mono };
enum class TFrequency : std::uint8_t { f8000Hz, f11025Hz, f22050Hz, f44100Hz };
enum class TResolution : std::uint8_t { r8Bit, r16Bit };

// Sound format of streaming capture.
class TAudioFormat {
public:
    TChannel Channels = TChannel::Mono;
    TFrequency Frequency = TFrequency::f8000Hz;
    TResolution Resolution = TResolution::r8Bit;
    // The PCM wave format these settings make from `current` (format tag,
    // rate, channels, bits, block align, bytes per second replaced).
    TWaveFormat Apply(TWaveFormat current) const;
    friend bool operator==(const TAudioFormat&, const TAudioFormat&) = default;
};

using TCapStatusProc = std::function<void(QObject* Sender)>;
using TCapStatusCallback = std::function<void(QObject* Sender, int nID, const QString& status)>;
using TVideoStream = std::function<void(QObject* sender, PVIDEOHDR lpVhdr)>;
using TAudioStream = std::function<void(QObject* sender, PWaveHdr lpWHdr)>;
using TError = std::function<void(QObject* sender, int nID, const QString& errorstr)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

// One line per driver, name + blank + version, in index order, at most 10.
QStringList ListCaptureDrivers();

class TVideoCap : public QWidget, public TCaptureInterface {
    Q_OBJECT
public:
    explicit TVideoCap(QWidget* parent = nullptr);
    ~TVideoCap() override;

    // File names are limited to this many characters; longer ones make the
    // operations that use them fail.
    static constexpr int kMaxFileName = 260;

    QColor color() const;
    void setColor(const QColor& c);

    // What the main window asks of VideoCap1 (TCaptureInterface).
    QStringList DriverNames() const override { return ListCaptureDrivers(); }
    void SetSingleImageFile(const QString& file) override { SingleImageFile = file; }
    QWidget* Monitor() override { return this; }

    bool DriverOpen() const override { return window_ != nullptr; }
    void SetDriverOpen(bool open) override;
    int DriverIndex() const override { return driverIndex_; }
    void SetDriverIndex(int index) override;
    QString DriverName() const { return driverName_; }
    void SetDriverName(const QString& name);
    bool VideoOverlay();
    void SetVideoOverlay(bool on);
    bool VideoPreview() override;
    void SetVideoPreview(bool on) override;
    bool PreviewScaleToWindow() const { return scaleToWindow_; }
    void SetPreviewScaleToWindow(bool on);
    bool PreviewScaleProportional() const { return scaleProportional_; }
    void SetPreviewScaleProportional(bool on);
    std::uint16_t PreviewRate() const { return previewRate_; }
    void SetPreviewRate(int rate);
    std::uint32_t MicroSecPerFrame() const { return microSecPerFrame_; }
    void SetMicroSecPerFrame(std::uint32_t us);
    std::uint16_t FrameRate() const;
    void SetFrameRate(std::uint16_t fps);
    bool CapAudio = false;
    QString VideoFileName = QStringLiteral("Video.avi");
    QString SingleImageFile = QStringLiteral("Capture.bmp");
    std::uint16_t CapTimeLimit = 0;
    std::uint32_t CapIndexSize() const { return capIndexSize_; }
    void SetCapIndexSize(std::uint32_t size);
    bool CapToFile = true;
    TAudioFormat& CapAudioFormat() { return *audioFormat_; }
    std::uint16_t BufferFileSize() const { return bufferFileSize_; }
    void SetBufferFileSize(std::uint16_t megabytes);

    TCapStatusProc OnStatus;
    void SetOnStatusCallback(TCapStatusCallback handler);
    void SetOnVideoStream(TVideoStream handler);
    void SetOnFrameCallback(TVideoStream handler);
    void SetOnAudioStream(TAudioStream handler);
    void SetOnError(TError handler);
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TMouseEvent OnMouseDown;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    bool HasOverlay();
    bool ShowFormatDialog() override;
    bool ShowSourceDialog() override;
    bool ShowDisplayDialog() override;
    bool ShowCompressionDialog() override;
    bool GrabFrame();
    bool GrabFrameNoStop() override;
    bool SaveFrameAsBitmap() override;
    bool StartCapture() override;
    bool StopCapture() override;

    // The last status record read (nothing before the first refresh).
    const std::optional<TCapStatus>& Status() const { return status_; }
    // The capture window while connected (for its frames and settings).
    TCaptureWindow* CaptureWindow() const { return window_; }
    // The temporary buffer file in use, empty when none.
    QString BufferFile() const { return bufferFile_; }
    // The index size the last StartCapture asked for.
    std::uint32_t LastIndexSize() const { return lastIndexSize_; }

signals:
    // A streaming capture ended and its file is complete (ok) or failed.
    void CaptureFinished(bool ok);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ConnectDriver();
    void DisconnectDriver();
    bool FitCaptureWindow();
    void UpdateBufferFile(bool allocate);
    bool RefreshStatus(bool fireEvent);
    bool ReadDriverCaps();
    void InstallCallbacks();
    void FireError(int id, const QString& text);
    void ApplyAudioFormat();
    void CaptureEnded(bool ok);
    template <class Fn>
    bool WithDriver(Fn dialog, bool refresh);

    TCaptureWindow* window_ = nullptr;
    int driverIndex_ = 0;
    QString driverName_;
    bool scaleToWindow_ = false;
    bool scaleProportional_ = false;
    std::uint16_t previewRate_ = 25;
    std::uint32_t microSecPerFrame_ = 40000;
    std::uint32_t capIndexSize_ = 0;
    std::uint16_t bufferFileSize_ = 0;
    std::unique_ptr<TAudioFormat> audioFormat_;
    std::optional<TCapDriverCaps> caps_;
    std::optional<TCapStatus> status_;
    QString bufferFile_;
    std::uint32_t lastIndexSize_ = 0;
    bool pressed_ = false;
    bool abortFilter_ = false;
    TCapStatusCallback onStatusCallback_;
    TVideoStream onVideoStream_;
    TVideoStream onFrameCallback_;
    TAudioStream onAudioStream_;
    TError onError_;
};

// VideoCap1's stored settings: hidden, driver -1, closed, no preview or
// overlay, preview scaled to the window (not proportional) at 25 frames per
// second, 5 frames per second capture with sound (22050 Hz 16-bit), files
// "Capture.avi" and "Snapshot.bmp", time limit 27000 s, index size 0, to
// file, no buffer file, hint "Monitor [Select Capture Driver]".
void ApplyVideoCap1Settings(TVideoCap& cap);

// The index size StartCapture asks for (see its notes in videocap.cpp).
std::uint32_t CaptureIndexSize(std::uint16_t timeLimit, std::uint16_t frameRate, bool audio,
                               std::uint32_t capIndexSize);

}  // namespace vandrex
