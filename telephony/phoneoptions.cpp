#include "telephony/phoneoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "platform/dialogs.h"

namespace vandrex {

namespace {

// Stand-ins for a machine without a line component or capture component:
// no devices, and the settings the window gives them are kept.
class TNoLine : public TPhoneOptionsLine {
public:
    QStringList GetLineNames() override { return {}; }
    QPixmap LineIcon(int) override { return {}; }
    int DevIdToInitialize() const override { return device_; }
    void SetDevIdToInitialize(int) override {}  // no device is usable
    bool DeviceDirectAccess() const override { return direct_; }
    void SetDeviceDirectAccess(bool on) override { direct_ = on; }
    bool WaitForCall() const override { return wait_; }
    void SetWaitForCall(bool on) override { wait_ = on; }
    QString DirectAccessLogFile() const override { return log_; }
    void SetDirectAccessLogFile(const QString& path) override { log_ = path; }
    QStringList DirectAccessScript() const override { return script_; }
    void SetDirectAccessScript(const QStringList& lines) override { script_ = lines; }
    void Open() override {}

private:
    int device_ = -1;
    bool direct_ = false;
    bool wait_ = false;
    QString log_;
    QStringList script_;
};

class TNoCapture : public TPhoneOptionsCapture {
public:
    QStringList ListCaptureDrivers() override { return {}; }
    int DriverIndex() const override { return index_; }
    void SetDriverIndex(int index) override { index_ = index; }
    void SetDriverOpen(bool) override {}
    void SetVideoPreview(bool) override {}

private:
    int index_ = 0;
};

// A button's handler may fail in the components (a capture driver that does
// not connect): its message goes to the error box and the window stays open,
// instead of the exception unwinding through Qt's click code.
template <class F>
auto Shielded(F handler) {
    return [handler] {
        try {
            handler();
        } catch (const std::exception& e) {
            ShowError(QString::fromUtf8(e.what()));
        }
    };
}

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w = 280) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, w, 16);
    return label;
}

}  // namespace

TPhoneOptions::TPhoneOptions(QWidget* parent, TPhoneOptionsLine* line, TPhoneOptionsCapture* capture)
    // Not a Qt child of the main window: disabling the main window while this
    // window is open would disable it too. The main window still owns it.
    : QDialog(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      line_(line),
      capture_(capture),
      mainWindow_(parent) {
    if (parent) connect(parent, &QObject::destroyed, this, [this] { delete this; });
    if (!line_) {
        ownLine_ = std::make_unique<TNoLine>();
        line_ = ownLine_.get();
    }
    if (!capture_) {
        ownCapture_ = std::make_unique<TNoCapture>();
        capture_ = ownCapture_.get();
    }
    setObjectName(QStringLiteral("PhoneOptions"));
    setWindowTitle(QStringLiteral("Drivers / Direct Access"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    if (auto* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    BuildControls();
    FormCreate();
}

TPhoneOptions::~TPhoneOptions() = default;

void TPhoneOptions::BuildControls() {
    Caption(this, QStringLiteral("Selected Data [Modem] Line:"), 16, 12);
    SelectedLine = new QComboBox(this);
    SelectedLine->setObjectName(QStringLiteral("SelectedLine"));
    SelectedLine->setGeometry(16, 30, 280, 24);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(300, 30, 24, 24);
    Image1->setScaledContents(true);

    WaitForC = new QCheckBox(QStringLiteral("Wait for call"), this);
    WaitForC->setObjectName(QStringLiteral("WaitForC"));
    WaitForC->setToolTip(QStringLiteral("Auto answer mode"));
    WaitForC->setGeometry(16, 64, 120, 20);

    DevDirectAccess = new QCheckBox(QStringLiteral("Direct Access"), this);
    DevDirectAccess->setObjectName(QStringLiteral("DevDirectAccess"));
    DevDirectAccess->setToolTip(QStringLiteral("Bypass Dial-Up"));
    DevDirectAccess->setGeometry(150, 64, 130, 20);
    connect(DevDirectAccess, &QCheckBox::clicked, this, &TPhoneOptions::DevDirectAccessClick);

    Caption(this, QStringLiteral("Modem Script"), 16, 94);
    Script = new QPlainTextEdit(this);
    Script->setObjectName(QStringLiteral("Script"));
    Script->setToolTip(QStringLiteral("Experts only !"));
    Script->setGeometry(16, 112, 280, 160);

    Caption(this, QStringLiteral("Log file:"), 16, 282, 60);
    Caption(this, QStringLiteral("(Direct access only)"), 80, 282, 200);
    LogFile = new QLineEdit(this);
    LogFile->setObjectName(QStringLiteral("LogFile"));
    LogFile->setGeometry(16, 300, 280, 24);

    Caption(this, QStringLiteral("Selected Video [Capture] Driver:"), 328, 12);
    DriverChoiceBox = new QComboBox(this);
    DriverChoiceBox->setObjectName(QStringLiteral("DriverChoiceBox"));
    DriverChoiceBox->setGeometry(328, 30, 272, 24);

    Caption(this, QStringLiteral("Path to Temporary"), 328, 76);
    Caption(this, QStringLiteral("File Storage [Ram]:"), 328, 92);
    RamDiscTEMPEdit = new QLineEdit(QStringLiteral("TEMP"), this);
    RamDiscTEMPEdit->setObjectName(QStringLiteral("RamDiscTEMPEdit"));
    RamDiscTEMPEdit->setGeometry(328, 112, 272, 24);

    Button2 = new QPushButton(QStringLiteral("ON"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setToolTip(QStringLiteral("Enable Selected Capture Driver"));
    Button2->setGeometry(328, 340, 120, 28);
    connect(Button2, &QPushButton::clicked, this, Shielded([this] { Button2Click(); }));

    Button1 = new QPushButton(QStringLiteral("OFF"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setToolTip(QStringLiteral("Disable Selected Capture Driver"));
    Button1->setGeometry(480, 340, 120, 28);
    connect(Button1, &QPushButton::clicked, this, Shielded([this] { Button1Click(); }));

    // The form's defaults: both boxes unticked, so the script and log are off.
    WaitForC->setChecked(false);
    DevDirectAccess->setChecked(false);
    DevDirectAccessClick();
}

void TPhoneOptions::FormCreate() {
    SelectedLine->clear();
    SelectedLine->addItems(line_->GetLineNames());
    driverList_ = capture_->ListCaptureDrivers();
    DriverChoiceBox->clear();
    DriverChoiceBox->addItems(driverList_);
    capture_->SetDriverOpen(false);
    DriverChoiceBox->setCurrentIndex(capture_->DriverIndex());
}

void TPhoneOptions::FormActivate() {
    SelectedLine->setCurrentIndex(line_->DevIdToInitialize());
    DevDirectAccess->setChecked(line_->DeviceDirectAccess());
    DevDirectAccessClick();
    WaitForC->setChecked(line_->WaitForCall());
    LogFile->setText(line_->DirectAccessLogFile());
    Script->clear();
    const QStringList script = line_->DirectAccessScript();
    if (!script.isEmpty()) Script->setPlainText(script.join(QLatin1Char('\n')));
    const int device = line_->DevIdToInitialize();
    if (device != -1) Image1->setPixmap(line_->LineIcon(device));
}

void TPhoneOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TPhoneOptions::DevDirectAccessClick() {
    const bool on = DevDirectAccess->isChecked();
    Script->setEnabled(on);
    LogFile->setEnabled(on);
}

void TPhoneOptions::Button2Click() {
    line_->SetDevIdToInitialize(SelectedLine->currentIndex());
    line_->SetDeviceDirectAccess(DevDirectAccess->isChecked());
    line_->SetWaitForCall(WaitForC->isChecked());
    line_->SetDirectAccessLogFile(LogFile->text());
    if (line_->DeviceDirectAccess()) {
        QStringList lines = Script->toPlainText().split(QLatin1Char('\n'));
        // The memo's last line break does not make an empty command.
        if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
        line_->SetDirectAccessScript(lines);
    }
    capture_->SetDriverIndex(DriverChoiceBox->currentIndex());
    EnableMainWindow();
    cameraOff_ = false;
    capture_->SetDriverOpen(true);
    capture_->SetVideoPreview(true);
    driverList_.clear();
    // The form's outer width of 624 is this client width.
    setFixedWidth(kClientWidth);
    QDialog::accept();
}

void TPhoneOptions::Button1Click() {
    EnableMainWindow();
    capture_->SetDriverOpen(false);
    cameraOff_ = true;
    driverList_.clear();
    QDialog::reject();
}

void TPhoneOptions::reject() {
    EnableMainWindow();
    QDialog::reject();
}

void TPhoneOptions::EnableMainWindow() {
    if (mainWindow_) mainWindow_->setEnabled(true);
}

void TPhoneOptions::MenuItem1Click() {
    if (mainWindow_) mainWindow_->setEnabled(false);
    exec();
    line_->Open();
}

QString TPhoneOptions::TemporaryFolder() const {
    return RamDiscTEMPEdit->isEnabled() ? RamDiscTEMPEdit->text() : QStringLiteral("TEMP");
}

}  // namespace vandrex
