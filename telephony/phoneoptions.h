#pragma once
// TPhoneOptions, the modal options window of the data phone and the camera:
// the line and its modes (auto answer, direct access with its modem script
// and log file), the capture driver, and the folder for the encoder's
// temporary files. Created once at start-up (FormCreate lists the lines and
// drivers and disconnects the capture driver), shown modally from the main
// window's Info menu any number of times.
//
// The window reaches the line and the capture component only through the two
// small interfaces below, which the telephony and camera components
// implement; without them it uses built-in stand-ins with no devices.

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vandrex {

// What the options window uses of the line component Modem1.
class TPhoneOptionsLine {
public:
    virtual ~TPhoneOptionsLine() = default;
    // One entry per line device; an entry's index is its device ID.
    virtual QStringList GetLineNames() = 0;
    // The device's icon, a null picture when it has none.
    virtual QPixmap LineIcon(int device) = 0;
    virtual int DevIdToInitialize() const = 0;
    // Checks a changed device first; an unusable one shows its message and
    // keeps the previous device.
    virtual void SetDevIdToInitialize(int device) = 0;
    virtual bool DeviceDirectAccess() const = 0;
    virtual void SetDeviceDirectAccess(bool on) = 0;
    virtual bool WaitForCall() const = 0;
    virtual void SetWaitForCall(bool on) = 0;
    virtual QString DirectAccessLogFile() const = 0;
    virtual void SetDirectAccessLogFile(const QString& path) = 0;
    virtual QStringList DirectAccessScript() const = 0;
    virtual void SetDirectAccessScript(const QStringList& lines) = 0;
    virtual void Open() = 0;
};

// What the options window uses of the capture component VideoCap1.
class TPhoneOptionsCapture {
public:
    virtual ~TPhoneOptionsCapture() = default;
    virtual QStringList ListCaptureDrivers() = 0;
    virtual int DriverIndex() const = 0;
    virtual void SetDriverIndex(int index) = 0;
    virtual void SetDriverOpen(bool open) = 0;
    virtual void SetVideoPreview(bool on) = 0;
};

class TPhoneOptions : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 616;
    static constexpr int kClientHeight = 385;

    // line and capture are not owned; nullptr uses a stand-in with no devices.
    explicit TPhoneOptions(QWidget* parent = nullptr, TPhoneOptionsLine* line = nullptr,
                           TPhoneOptionsCapture* capture = nullptr);
    ~TPhoneOptions() override;

    // The window the buttons enable again (the parent unless set).
    void SetMainWindow(QWidget* window) { mainWindow_ = window; }

    // The main window's Info command: disables the main window, shows this
    // window modally and opens the line again when it has closed.
    void MenuItem1Click();

    // The encoder's folder for temporary files: the edit's text while it is
    // enabled, otherwise "TEMP".
    QString TemporaryFolder() const;

    // "OFF" was the last of the two buttons pressed: the camera is to stay
    // off until "ON" (Escape changes nothing).
    bool CameraSwitchedOff() const { return cameraOff_; }

    // The driver names stored at creation (emptied by either button).
    const QStringList& DriverList() const { return driverList_; }

    // Handlers, public so the main window and tests can run them as a click does.
    void FormCreate();
    void FormActivate();
    void DevDirectAccessClick();
    void Button2Click();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;

public slots:
    // Escape and any other close but the buttons: the main window is usable
    // again and nothing else changes.
    void reject() override;

private:
    void BuildControls();
    void EnableMainWindow();

    TPhoneOptionsLine* line_;
    TPhoneOptionsCapture* capture_;
    std::unique_ptr<TPhoneOptionsLine> ownLine_;
    std::unique_ptr<TPhoneOptionsCapture> ownCapture_;
    QPointer<QWidget> mainWindow_;
    QStringList driverList_;
    bool cameraOff_ = false;

    QComboBox* SelectedLine = nullptr;
    QCheckBox* WaitForC = nullptr;
    QCheckBox* DevDirectAccess = nullptr;
    QPlainTextEdit* Script = nullptr;
    QLineEdit* LogFile = nullptr;
    QComboBox* DriverChoiceBox = nullptr;
    QLineEdit* RamDiscTEMPEdit = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Image1 = nullptr;
};

}  // namespace vandrex
