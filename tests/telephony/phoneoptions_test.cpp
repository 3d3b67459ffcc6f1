// TPhoneOptions offscreen, with recording doubles for the line and the
// capture component.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "telephony/phoneoptions.h"

using namespace vandrex;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "phoneoptions_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

QPixmap Icon(QColor colour) {
    QPixmap p(32, 32);
    p.fill(colour);
    return p;
}

// The line: device 2 is unusable, as VerifyUsableLine would find it.
struct TRecordingLine : TPhoneOptionsLine {
    QStringList names = {"Modem A", "Line Unavailable", "Modem C"};
    int device = -1;
    bool direct = false;
    bool wait = false;
    QString log;
    QStringList script;
    QStringList calls;
    QStringList GetLineNames() override {
        calls << "GetLineNames";
        return names;
    }
    QPixmap LineIcon(int d) override {
        calls << QString("LineIcon(%1)").arg(d);
        return Icon(d == 0 ? Qt::red : Qt::blue);
    }
    int DevIdToInitialize() const override { return device; }
    void SetDevIdToInitialize(int d) override {
        calls << QString("DevIdToInitialize:=%1").arg(d);
        if (d != device && d != 2 && d != -1) device = d;
    }
    bool DeviceDirectAccess() const override { return direct; }
    void SetDeviceDirectAccess(bool on) override {
        calls << "DeviceDirectAccess";
        direct = on;
    }
    bool WaitForCall() const override { return wait; }
    void SetWaitForCall(bool on) override {
        calls << "WaitForCall";
        wait = on;
    }
    QString DirectAccessLogFile() const override { return log; }
    void SetDirectAccessLogFile(const QString& p) override {
        calls << "DirectAccessLogFile";
        log = p;
    }
    QStringList DirectAccessScript() const override { return script; }
    void SetDirectAccessScript(const QStringList& l) override {
        calls << "DirectAccessScript";
        script = l;
    }
    void Open() override { calls << "Open"; }
};

struct TRecordingCapture : TPhoneOptionsCapture {
    QStringList drivers = {"Test pattern", "USB camera"};
    int index = 1;
    QStringList calls;
    QStringList ListCaptureDrivers() override {
        calls << "ListCaptureDrivers";
        return drivers;
    }
    int DriverIndex() const override { return index; }
    void SetDriverIndex(int i) override {
        calls << QString("DriverIndex:=%1").arg(i);
        index = i;
    }
    void SetDriverOpen(bool open) override { calls << (open ? "DriverOpen:=true" : "DriverOpen:=false"); }
    void SetVideoPreview(bool on) override { calls << (on ? "VideoPreview:=true" : "VideoPreview:=false"); }
};

template <class W>
W* Find(QWidget& parent, const char* name) {
    auto* w = parent.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

struct TWithApp {
    TWithApp() { App(); }
};

struct TOptionsFixture : ::testing::Test, TWithApp {
    QWidget main;
    TRecordingLine line;
    TRecordingCapture capture;
    std::unique_ptr<TPhoneOptions> options;
    void Create() { options = std::make_unique<TPhoneOptions>(nullptr, &line, &capture); options->SetMainWindow(&main); }
    void Show() {
        options->show();
        QApplication::processEvents();
    }
    QComboBox* SelectedLine() { return Find<QComboBox>(*options, "SelectedLine"); }
    QCheckBox* WaitForC() { return Find<QCheckBox>(*options, "WaitForC"); }
    QCheckBox* DevDirectAccess() { return Find<QCheckBox>(*options, "DevDirectAccess"); }
    QPlainTextEdit* Script() { return Find<QPlainTextEdit>(*options, "Script"); }
    QLineEdit* LogFile() { return Find<QLineEdit>(*options, "LogFile"); }
    QComboBox* DriverChoiceBox() { return Find<QComboBox>(*options, "DriverChoiceBox"); }
    QLineEdit* RamDiscTEMPEdit() { return Find<QLineEdit>(*options, "RamDiscTEMPEdit"); }
    QPushButton* Button(const char* name) { return Find<QPushButton>(*options, name); }
    QLabel* Image1() { return Find<QLabel>(*options, "Image1"); }
};

bool HasLabel(QWidget& w, const QString& text) {
    for (auto* label : w.findChildren<QLabel*>())
        if (label->text() == text) return true;
    return false;
}

}  // namespace

TEST_F(TOptionsFixture, WindowAndControlsAsTheFormHasThem) {
    Create();
    EXPECT_TRUE(options->windowTitle().startsWith("Drivers / Direct Access"));
    EXPECT_EQ(options->size(), QSize(616, 385));
    EXPECT_TRUE(options->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(options->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(options->windowFlags() & Qt::WindowMinMaxButtonsHint);
    for (const char* text : {"Selected Data [Modem] Line:", "Modem Script", "Log file:", "(Direct access only)",
                             "Selected Video [Capture] Driver:", "Path to Temporary", "File Storage [Ram]:"})
        EXPECT_TRUE(HasLabel(*options, text)) << text;
    EXPECT_EQ(WaitForC()->text(), "Wait for call");
    EXPECT_EQ(WaitForC()->toolTip(), "Auto answer mode");
    EXPECT_FALSE(WaitForC()->isChecked());
    EXPECT_EQ(DevDirectAccess()->text(), "Direct Access");
    EXPECT_EQ(DevDirectAccess()->toolTip(), "Bypass Dial-Up");
    EXPECT_FALSE(DevDirectAccess()->isChecked());
    EXPECT_EQ(Script()->toolTip(), "Experts only !");
    EXPECT_EQ(LogFile()->text(), "");
    EXPECT_EQ(RamDiscTEMPEdit()->text(), "TEMP");
    EXPECT_EQ(Button("Button2")->text(), "ON");
    EXPECT_EQ(Button("Button2")->toolTip(), "Enable Selected Capture Driver");
    EXPECT_EQ(Button("Button1")->text(), "OFF");
    EXPECT_EQ(Button("Button1")->toolTip(), "Disable Selected Capture Driver");
    // Script and log file only with direct access; everything else enabled.
    EXPECT_FALSE(Script()->isEnabled());
    EXPECT_FALSE(LogFile()->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{SelectedLine(), WaitForC(), DevDirectAccess(), DriverChoiceBox(),
                                                      RamDiscTEMPEdit(), Button("Button1"), Button("Button2")})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(TOptionsFixture, FormCreateListsLinesAndDriversAndDisconnectsTheCamera) {
    Create();
    ASSERT_EQ(SelectedLine()->count(), 3);
    EXPECT_EQ(SelectedLine()->itemText(2), "Modem C");
    EXPECT_EQ(options->DriverList(), capture.drivers);
    ASSERT_EQ(DriverChoiceBox()->count(), 2);
    EXPECT_EQ(DriverChoiceBox()->currentIndex(), 1);
    EXPECT_EQ(capture.calls, (QStringList{"ListCaptureDrivers", "DriverOpen:=false"}));
}

TEST_F(TOptionsFixture, FormActivateCopiesTheLineSettingsIn) {
    line.device = 0;
    line.direct = true;
    line.wait = true;
    line.log = "/tmp/modem.log";
    line.script = {"ATZ", "ATX3"};
    Create();
    Show();
    EXPECT_EQ(SelectedLine()->currentIndex(), 0);
    EXPECT_TRUE(DevDirectAccess()->isChecked());
    EXPECT_TRUE(Script()->isEnabled());
    EXPECT_TRUE(LogFile()->isEnabled());
    EXPECT_TRUE(WaitForC()->isChecked());
    EXPECT_EQ(LogFile()->text(), "/tmp/modem.log");
    EXPECT_EQ(Script()->toPlainText(), "ATZ\nATX3");
    EXPECT_EQ(Image1()->pixmap().toImage().pixelColor(1, 1), QColor(Qt::red));
    options->hide();

    // Shown again with no script and no device: an empty memo, the icon left.
    line.script.clear();
    line.device = -1;
    Script()->setPlainText("edited");
    line.calls.clear();
    Show();
    EXPECT_EQ(Script()->toPlainText(), "");
    EXPECT_EQ(SelectedLine()->currentIndex(), -1);
    EXPECT_FALSE(line.calls.contains("LineIcon(-1)"));
    EXPECT_EQ(Image1()->pixmap().toImage().pixelColor(1, 1), QColor(Qt::red));
}

TEST_F(TOptionsFixture, DirectAccessBoxEnablesScriptAndLog) {
    Create();
    DevDirectAccess()->click();
    EXPECT_TRUE(Script()->isEnabled());
    EXPECT_TRUE(LogFile()->isEnabled());
    DevDirectAccess()->click();
    EXPECT_FALSE(Script()->isEnabled());
    EXPECT_FALSE(LogFile()->isEnabled());
}

TEST_F(TOptionsFixture, OnWithoutDirectAccessKeepsTheOldScript) {
    line.device = 0;
    line.script = {"ATZ"};
    Create();
    Show();
    main.setEnabled(false);
    Script()->setPlainText("AT&F\nATDT123");
    SelectedLine()->setCurrentIndex(2);  // unusable: the line keeps device 0
    WaitForC()->setChecked(true);
    DriverChoiceBox()->setCurrentIndex(0);
    Button("Button2")->click();
    EXPECT_EQ(options->result(), QDialog::Accepted);
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(line.script, QStringList{"ATZ"});
    EXPECT_EQ(line.device, 0);
    EXPECT_TRUE(line.calls.contains("DevIdToInitialize:=2"));
    EXPECT_TRUE(line.wait);
    EXPECT_FALSE(line.direct);
    EXPECT_TRUE(main.isEnabled());
    EXPECT_EQ(capture.calls.mid(2), (QStringList{"DriverIndex:=0", "DriverOpen:=true", "VideoPreview:=true"}));
    EXPECT_TRUE(options->DriverList().isEmpty());
}

TEST_F(TOptionsFixture, OnWithDirectAccessReplacesTheScript) {
    Create();
    Show();
    DevDirectAccess()->click();
    Script()->setPlainText("AT&F\nATDT123\n");
    LogFile()->setText("script.log");
    SelectedLine()->setCurrentIndex(0);
    Button("Button2")->click();
    EXPECT_EQ(line.script, (QStringList{"AT&F", "ATDT123"}));
    EXPECT_TRUE(line.direct);
    EXPECT_EQ(line.log, "script.log");
    EXPECT_EQ(line.device, 0);
}

TEST_F(TOptionsFixture, OffSwitchesTheCameraOffAndChangesNoTelephonySetting) {
    line.device = 0;
    Create();
    Show();
    main.setEnabled(false);
    WaitForC()->setChecked(true);
    DevDirectAccess()->click();
    line.calls.clear();
    capture.calls.clear();
    Button("Button1")->click();
    EXPECT_EQ(options->result(), QDialog::Rejected);
    EXPECT_TRUE(main.isEnabled());
    EXPECT_EQ(capture.calls, QStringList{"DriverOpen:=false"});
    EXPECT_TRUE(line.calls.isEmpty());
    EXPECT_FALSE(line.wait);
    EXPECT_TRUE(options->DriverList().isEmpty());
}

TEST_F(TOptionsFixture, EscapeReenablesTheMainWindowAndChangesNothingElse) {
    Create();
    Show();
    main.setEnabled(false);
    WaitForC()->setChecked(true);
    line.calls.clear();
    capture.calls.clear();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(options.get(), &escape);
    EXPECT_FALSE(options->isVisible());
    EXPECT_TRUE(main.isEnabled());
    EXPECT_TRUE(line.calls.isEmpty());
    EXPECT_TRUE(capture.calls.isEmpty());
    EXPECT_FALSE(line.wait);
    EXPECT_EQ(options->DriverList(), capture.drivers);
}

TEST_F(TOptionsFixture, InfoCommandShowsTheWindowModallyAndOpensTheLineAfterwards) {
    Create();
    bool mainDisabledWhileOpen = false;
    QTimer::singleShot(0, [&] {
        mainDisabledWhileOpen = !main.isEnabled() && options->isVisible();
        Button("Button1")->click();
    });
    line.calls.clear();
    options->MenuItem1Click();
    EXPECT_TRUE(mainDisabledWhileOpen);
    EXPECT_TRUE(main.isEnabled());
    ASSERT_FALSE(line.calls.isEmpty());
    EXPECT_EQ(line.calls.back(), "Open");
}

TEST_F(TOptionsFixture, NoLineDevicesPassMinusOneOn) {
    line.names.clear();
    Create();
    Show();
    Button("Button2")->click();
    EXPECT_TRUE(line.calls.contains("DevIdToInitialize:=-1"));
    EXPECT_EQ(line.device, -1);
}

TEST_F(TOptionsFixture, TemporaryFolderIsTheEditWhileEnabled) {
    Create();
    RamDiscTEMPEdit()->setText("/mnt/ram");
    EXPECT_EQ(options->TemporaryFolder(), "/mnt/ram");
    RamDiscTEMPEdit()->setEnabled(false);
    EXPECT_EQ(options->TemporaryFolder(), "TEMP");
}

// The buttons stay usable while the main window that owns the window is
// disabled, and the window goes with its owner.
TEST(PhoneOptionsStandIns, WorksWithoutLineOrCamera) {
    App();
    QWidget main;
    TPhoneOptions options(&main);
    EXPECT_EQ(options.findChild<QComboBox*>("SelectedLine")->count(), 0);
    options.show();
    QApplication::processEvents();
    main.setEnabled(false);
    options.findChild<QPushButton*>("Button2")->click();
    EXPECT_TRUE(main.isEnabled());
}

TEST(PhoneOptionsStandIns, OwnerDeletesTheWindow) {
    App();
    auto* main = new QWidget;
    QPointer<TPhoneOptions> options = new TPhoneOptions(main);
    delete main;
    EXPECT_TRUE(options.isNull());
}
