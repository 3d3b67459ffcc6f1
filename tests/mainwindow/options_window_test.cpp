// The options window over the program's own line component and capture
// control, opened from the Info menu and used with real mouse and key events:
// the lines and pattern cameras it lists, what "ON", "OFF" and Escape change,
// a line another program holds, and the capture layer's errors reaching the
// status line.

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "imaging/videocap.h"
#include "platform/capturedrivers.h"
#include "telephony/phoneoptions.h"
#include "telephony/tapiline.h"
#include "telephony/tapilineadapter.h"
#include "tests/mainwindow/window_fixture.h"
#include "tests/telephony/telephonytestsupport.h"

namespace vandrex::testing {
namespace {

using test::FreePort;
using test::TLineEnvironment;
using test::TModemEmulator;
using test::TSpawn;

const QString kInUse = QStringLiteral(
    "VerifyUsableLine: \r\nLine is already in use by a non-Vandrex app or\r\nanother Service Provider.");

class OptionsOnRealParts : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetExtraPatternDrivers(2);
        modem = std::make_unique<TModemEmulator>(env.Path("modem"), 0);
        env.Set(QString::number(FreePort()), {modem->Link()});
    }
    void TearDown() override {
        form.reset();
        modem.reset();
        SetExtraPatternDrivers(0);
        WindowTest::TearDown();
    }

    // The window on the program's Modem1 and VideoCap1, its options window
    // made as at start-up.
    void CreateOnRealParts() {
        TForm1Components c = doubles.Make();
        c.Modem1 = std::make_unique<TTAPILineAdapter>();
        doubles.line = nullptr;
        auto camera = std::make_unique<TVideoCap>();
        ApplyVideoCap1Settings(*camera);
        cap = camera.get();
        c.VideoCap1 = std::move(camera);
        doubles.capture = nullptr;
        form = std::make_unique<TForm1>(std::move(c));
        line = TTAPILine::Instance();
        ASSERT_NE(line, nullptr);
    }
    void CreateAndStart() {
        CreateOnRealParts();
        options = form->CreateOptionsWindow();
        Start();
    }

    template <class W>
    W* In(const char* name) {
        W* w = options->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Opens the options window from the Info menu; once it shows, `user`
    // works it. A window still open after 5 s is closed from code and the
    // test fails.
    void UseOptionsWindow(const std::function<void()>& user) {
        bool stuck = false;
        QTimer::singleShot(50, options, [&] {
            mainEnabledWhileOpen = form->isEnabled();
            user();
        });
        QTimer::singleShot(5000, options, [&] {
            if (!options->isVisible()) return;
            stuck = true;
            options->done(QDialog::Rejected);
        });
        form->control<QAction>("Info1")->trigger();
        Process();
        QStringList shown;
        for (const auto& d : dialogs.shown) shown << d.kind + ": " + d.text;
        EXPECT_FALSE(stuck) << "the options window did not close; shown: " << shown.join(" | ").toStdString();
    }
    void ClickOn(const char* name) { QTest::mouseClick(In<QWidget>(name), Qt::LeftButton); }
    void ClickCheck(const char* name) {
        // A check box toggles where its box is drawn.
        QTest::mouseClick(In<QCheckBox>(name), Qt::LeftButton, {}, QPoint(6, 10));
    }
    void Type(const char* name, const QString& text) {
        QWidget* w = In<QWidget>(name);
        w->setFocus();
        const QStringList lines = text.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0) QTest::keyClick(w, Qt::Key_Return);
            QTest::keyClicks(w, lines[i]);
        }
    }
    void Down(const char* name, int times) {
        for (int i = 0; i < times; ++i) QTest::keyClick(In<QComboBox>(name), Qt::Key_Down);
    }
    QImage Icon(int device) { return line->LineIcon(device).pixmap(24, 24).toImage(); }

    TLineEnvironment env;
    std::unique_ptr<TModemEmulator> modem;
    TVideoCap* cap = nullptr;
    TTAPILine* line = nullptr;
    TPhoneOptions* options = nullptr;
    bool mainEnabledWhileOpen = true;
};

TEST_F(OptionsOnRealParts, CreationListsTheLinesAndCamerasAndDisconnectsTheCamera) {
    CreateOnRealParts();
    cap->SetDriverIndex(1);
    cap->SetDriverOpen(true);
    ASSERT_TRUE(cap->DriverOpen());
    options = form->CreateOptionsWindow();

    EXPECT_FALSE(cap->DriverOpen());
    QComboBox* lines = In<QComboBox>("SelectedLine");
    ASSERT_EQ(lines->count(), 2);
    EXPECT_EQ(lines->itemText(0), "Vandrex network line");
    EXPECT_EQ(lines->itemText(1), "Hayes modem on " + modem->Link());
    const QStringList cameras = {"Vandrex Test Pattern 1.0", "Vandrex Test Pattern 2 1.0",
                                 "Vandrex Test Pattern 3 1.0"};
    QComboBox* drivers = In<QComboBox>("DriverChoiceBox");
    QStringList listed;
    for (int i = 0; i < drivers->count(); ++i) listed << drivers->itemText(i);
    EXPECT_EQ(listed, cameras);
    EXPECT_EQ(drivers->currentIndex(), 1);
    EXPECT_EQ(options->DriverList(), cameras);
}

TEST_F(OptionsOnRealParts, OnAppliesTheLineTheModesAndTheCameraAndActivationKeepsThem) {
    CreateAndStart();
    ASSERT_EQ(line->OpenDevice(), 0);
    ASSERT_EQ(cap->DriverIndex(), 0);
    ASSERT_TRUE(cap->VideoPreview());

    bool scriptEnabledBefore = true, scriptEnabledAfter = false, iconShown = false, waitTicked = true;
    int lineShown = -1;
    QString scriptShown = "?";
    UseOptionsWindow([&] {
        lineShown = In<QComboBox>("SelectedLine")->currentIndex();
        iconShown = In<QLabel>("Image1")->pixmap().toImage() == Icon(0);
        waitTicked = In<QCheckBox>("WaitForC")->isChecked();
        scriptShown = In<QPlainTextEdit>("Script")->toPlainText();
        scriptEnabledBefore = In<QWidget>("Script")->isEnabled() || In<QWidget>("LogFile")->isEnabled();
        ClickCheck("DevDirectAccess");
        scriptEnabledAfter = In<QWidget>("Script")->isEnabled() && In<QWidget>("LogFile")->isEnabled();
        Type("Script", "ATZ\nATDT 5550100\n");
        Type("LogFile", "line.log");
        ClickCheck("WaitForC");
        Down("SelectedLine", 1);
        // The box shows the camera chosen when the window was made: none yet.
        Down("DriverChoiceBox", 3);
        ClickOn("Button2");
    });

    EXPECT_FALSE(mainEnabledWhileOpen);
    EXPECT_EQ(lineShown, 0);
    EXPECT_TRUE(iconShown) << "Image1 shows the chosen line's icon";
    EXPECT_FALSE(waitTicked);
    EXPECT_EQ(scriptShown, "") << "no script applied yet";
    EXPECT_FALSE(scriptEnabledBefore);
    EXPECT_TRUE(scriptEnabledAfter);
    EXPECT_TRUE(dialogs.shown.empty());

    EXPECT_EQ(line->DevIdToInitialize(), 1);
    EXPECT_EQ(line->OpenDevice(), 1) << "the chosen line is opened when the window closes";
    EXPECT_TRUE(line->DeviceDirectAccess);
    EXPECT_TRUE(line->WaitForCall);
    EXPECT_EQ(line->DirectAccessLogFile, "line.log");
    EXPECT_EQ(line->DirectAccessScript(), (QStringList{"ATZ", "ATDT 5550100"}));

    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->ActivationCount(), 2);
    EXPECT_EQ(cap->DriverIndex(), 2) << "activation undid the chosen camera";
    EXPECT_TRUE(cap->DriverOpen());
    EXPECT_TRUE(cap->VideoPreview());
    EXPECT_TRUE(options->DriverList().isEmpty());

    // Shown again: the line's settings, its icon and the applied script.
    UseOptionsWindow([&] {
        lineShown = In<QComboBox>("SelectedLine")->currentIndex();
        iconShown = In<QLabel>("Image1")->pixmap().toImage() == Icon(1);
        scriptShown = In<QPlainTextEdit>("Script")->toPlainText();
        scriptEnabledBefore = In<QWidget>("Script")->isEnabled();
        QTest::keyClick(options, Qt::Key_Escape);
    });
    EXPECT_EQ(lineShown, 1);
    EXPECT_TRUE(iconShown);
    EXPECT_EQ(scriptShown, "ATZ\nATDT 5550100");
    EXPECT_TRUE(scriptEnabledBefore);
}

TEST_F(OptionsOnRealParts, OffSwitchesTheCameraOffForGoodAndChangesNoLineSetting) {
    CreateAndStart();
    const QStringList script{"ATZ"};
    line->SetDirectAccessScript(&script);
    UseOptionsWindow([&] {
        ClickCheck("WaitForC");
        ClickCheck("DevDirectAccess");
        Type("Script", "ATH");
        Down("SelectedLine", 1);
        ClickOn("Button1");
    });
    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->ActivationCount(), 2);
    EXPECT_FALSE(cap->DriverOpen()) << "activation switched the camera on again";
    EXPECT_FALSE(line->WaitForCall);
    EXPECT_FALSE(line->DeviceDirectAccess);
    EXPECT_EQ(line->DevIdToInitialize(), 0);
    EXPECT_EQ(line->OpenDevice(), 0);
    EXPECT_EQ(line->DirectAccessScript(), QStringList{"ATZ"});

    // "ON" brings it back; a script typed while Direct Access was ticked and
    // then unticked again is not applied.
    UseOptionsWindow([&] {
        ClickCheck("DevDirectAccess");
        Type("Script", "\nATH");
        ClickCheck("DevDirectAccess");
        Down("DriverChoiceBox", 1);
        ClickOn("Button2");
    });
    EXPECT_TRUE(cap->DriverOpen());
    EXPECT_TRUE(cap->VideoPreview());
    EXPECT_EQ(line->DirectAccessScript(), QStringList{"ATZ"});
    EXPECT_FALSE(line->DeviceDirectAccess);
}

TEST_F(OptionsOnRealParts, ALineHeldByAnotherProgramIsRefusedAndTheOldOneStays) {
    CreateAndStart();
    test::THeldLock holder;
    ASSERT_TRUE(holder.Start(QFileInfo(modem->Link()).canonicalFilePath()));
    dialogs.clear();
    UseOptionsWindow([&] {
        Down("SelectedLine", 1);
        ClickCheck("WaitForC");
        Down("DriverChoiceBox", 1);
        ClickOn("Button2");
    });
    EXPECT_EQ(dialogs.messages(), QStringList{kInUse});
    EXPECT_EQ(line->DevIdToInitialize(), 0);
    EXPECT_EQ(line->OpenDevice(), 0) << "the line in use stays open";
    EXPECT_TRUE(line->WaitForCall) << "the other settings still apply";
    EXPECT_TRUE(form->isEnabled());
}

TEST_F(OptionsOnRealParts, EscapeEnablesTheMainWindowAndChangesNothing) {
    CreateAndStart();
    UseOptionsWindow([&] {
        ClickCheck("WaitForC");
        Down("SelectedLine", 1);
        Down("DriverChoiceBox", 1);
        QTest::keyClick(options, Qt::Key_Escape);
    });
    EXPECT_TRUE(form->isEnabled());
    EXPECT_FALSE(line->WaitForCall);
    EXPECT_EQ(line->DevIdToInitialize(), 0);
    EXPECT_EQ(cap->DriverIndex(), 0);
    EXPECT_TRUE(cap->VideoPreview());
    EXPECT_EQ(form->ActivationCount(), 2);
}

TEST_F(OptionsOnRealParts, OnWithNoCameraChosenSaysSoAndTheWindowStaysOpen) {
    CreateAndStart();
    bool openAfterOn = false;
    UseOptionsWindow([&] {
        ClickOn("Button2");
        openAfterOn = options->isVisible();
        ClickOn("Button1");
    });
    EXPECT_EQ(dialogs.errors(), QStringList{"No capture driver selected"});
    EXPECT_TRUE(openAfterOn);
    EXPECT_TRUE(form->isEnabled());
    EXPECT_FALSE(cap->DriverOpen());
}

TEST_F(OptionsOnRealParts, TheProgramEndingWhileTheWindowIsOpenEndsCleanly) {
    CreateAndStart();
    // A termination signal or the session's end arrives while the options
    // window is open: every event loop ends, the options window's too (the
    // test has no main loop to end, so it closes that window itself), and
    // the window goes before the activation its closing queued could run.
    QTimer::singleShot(50, options, [&] {
        form->TerminateCleanly();
        options->done(QDialog::Rejected);
    });
    form->control<QAction>("Info1")->trigger();
    EXPECT_TRUE(form->Terminated());
    const int activations = form->ActivationCount();
    QObject::connect(form.get(), &TForm1::Activated, [&] { ADD_FAILURE() << "activation ran while the window went"; });
    form.reset();
    EXPECT_EQ(activations, 1);
}

TEST_F(OptionsOnRealParts, CaptureErrorsReachTheStatusLine) {
    CreateAndStart();
    ASSERT_TRUE(cap->DriverOpen());
    cap->VideoFileName = dir.filePath("missing/Capture.avi");
    cap->CapAudio = false;
    cap->StartCapture();
    ASSERT_TRUE(test::WaitUntil([&] { return Panel0().startsWith("Can not create capture file: "); }, 5000))
        << Panel0().toStdString();
    cap->StopCapture();
    EXPECT_TRUE(dialogs.errors().isEmpty());
}

}  // namespace
}  // namespace vandrex::testing
