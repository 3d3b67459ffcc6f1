// The capture control over the test-pattern camera: property rules, the
// driver list, preview, grabs and saved bitmaps, dialogs, events and the
// stalled-camera timeout.

#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QComboBox>
#include <QCheckBox>
#include <QTimer>

#include "capturetest_support.h"
#include "imaging/driverchoice.h"
#include "imaging/videocap.h"
#include "platform/capturedrivers.h"
#include "platform/capturewindow.h"
#include "platform/framesource.h"
#include "platform/testpattern.h"

namespace vandrex {
namespace {

using test::App;
using test::WaitFor;

class VideoCapTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        SetExtraPatternDrivers(0);
    }
    void TearDown() override {
        SetExtraPatternDrivers(0);
        SetTestPatternStalled(false);
    }
};

// ------------------------------------------------------- property rules

struct TPropertyCase {
    const char* what;
    std::function<std::int64_t(TVideoCap&)> act;
    std::int64_t expected;
};

TEST_F(VideoCapTest, PropertyRulesAndIndexSizes) {
    const std::vector<TPropertyCase> cases = {
        {"MicroSecPerFrame 20000 keeps the floor", [](TVideoCap& c) { c.SetMicroSecPerFrame(20000); return c.MicroSecPerFrame(); }, 33333},
        {"FrameRate 50 skips the floor", [](TVideoCap& c) { c.SetFrameRate(50); return c.MicroSecPerFrame(); }, 20000},
        {"FrameRate 0 is ignored", [](TVideoCap& c) { c.SetMicroSecPerFrame(100000); c.SetFrameRate(0); return c.MicroSecPerFrame(); }, 100000},
        {"FrameRate after 200000", [](TVideoCap& c) { c.SetMicroSecPerFrame(200000); return c.FrameRate(); }, 5},
        {"FrameRate rounds halves to even", [](TVideoCap& c) { c.SetMicroSecPerFrame(40000); return c.FrameRate(); }, 25},
        {"PreviewRate 0", [](TVideoCap& c) { c.SetPreviewRate(0); return c.PreviewRate(); }, 1},
        {"PreviewRate 60", [](TVideoCap& c) { c.SetPreviewRate(60); return c.PreviewRate(); }, 30},
        {"CapIndexSize 1", [](TVideoCap& c) { c.SetCapIndexSize(1); return c.CapIndexSize(); }, 1800},
        {"CapIndexSize 500000", [](TVideoCap& c) { c.SetCapIndexSize(500000); return c.CapIndexSize(); }, 324000},
        {"CapIndexSize 0", [](TVideoCap& c) { c.SetCapIndexSize(5000); c.SetCapIndexSize(0); return c.CapIndexSize(); }, 0},
        {"unknown DriverName leaves index -1", [](TVideoCap& c) { c.SetDriverName("No Such Camera"); return c.DriverIndex(); }, -1},
        {"unknown DriverName empties the name", [](TVideoCap& c) { c.SetDriverName("No Such Camera"); return std::int64_t(c.DriverName().size()); }, 0},
        {"DriverName finds its index", [](TVideoCap& c) { SetExtraPatternDrivers(2); c.SetDriverIndex(-1); c.SetDriverName("Vandrex Test Pattern 3"); return c.DriverIndex(); }, 2},
        {"DriverIndex past the list becomes -1", [](TVideoCap& c) { c.SetDriverIndex(7); return c.DriverIndex(); }, -1},
    };
    for (const auto& k : cases) {
        TVideoCap cap;
        EXPECT_EQ(k.act(cap), k.expected) << k.what;
        SetExtraPatternDrivers(0);
    }
    struct TIndexCase {
        std::uint16_t limit, fps;
        bool audio;
        std::uint32_t configured, expected;
    };
    const TIndexCase index[] = {
        {27000, 5, true, 0, 270000},   {27000, 25, true, 0, 324000}, {10, 5, false, 0, 1800},
        {0, 5, true, 0, 100000},       {0, 5, true, 5000, 5000},     {65535, 65535, true, 0, 324000},
        {300, 25, true, 0, 9000},
    };
    for (const auto& k : index)
        EXPECT_EQ(CaptureIndexSize(k.limit, k.fps, k.audio, k.configured), k.expected)
            << k.limit << " s at " << k.fps << " fps";
}

TEST_F(VideoCapTest, DefaultsAndStoredSettings) {
    TVideoCap cap;
    EXPECT_EQ(cap.width(), 100);
    EXPECT_EQ(cap.color(), QColor(Qt::black));
    EXPECT_EQ(cap.DriverIndex(), 0);
    EXPECT_EQ(cap.PreviewRate(), 25);
    EXPECT_EQ(cap.MicroSecPerFrame(), 40000u);
    EXPECT_EQ(cap.VideoFileName, "Video.avi");
    EXPECT_EQ(cap.SingleImageFile, "Capture.bmp");
    EXPECT_TRUE(cap.CapToFile);
    EXPECT_TRUE(cap.CapAudioFormat() == TAudioFormat{});
    ApplyVideoCap1Settings(cap);
    EXPECT_EQ(cap.DriverIndex(), -1);
    EXPECT_EQ(cap.FrameRate(), 5);
    EXPECT_TRUE(cap.CapAudio);
    EXPECT_EQ(cap.VideoFileName, "Capture.avi");
    EXPECT_EQ(cap.SingleImageFile, "Snapshot.bmp");
    EXPECT_EQ(cap.CapTimeLimit, 27000);
    EXPECT_TRUE(cap.PreviewScaleToWindow());
    EXPECT_EQ(cap.toolTip(), "Monitor [Select Capture Driver]");
    const TWaveFormat wave = cap.CapAudioFormat().Apply({});
    EXPECT_EQ(wave.SamplesPerSec, 22050u);
    EXPECT_EQ(wave.BitsPerSample, 16);
    EXPECT_EQ(wave.Channels, 1);
    EXPECT_EQ(wave.BlockAlign, 2);
    EXPECT_EQ(wave.AvgBytesPerSec, 44100u);
}

TEST_F(VideoCapTest, ConnectionFailuresRaiseTheirExceptions) {
    TVideoCap cap;
    int statusEvents = 0;
    cap.OnStatus = [&](QObject* sender) {
        EXPECT_EQ(sender, &cap);
        ++statusEvents;
    };
    cap.SetDriverIndex(-1);
    try {
        cap.SetVideoPreview(true);
        FAIL() << "no exception";
    } catch (const ENoDriverException& e) {
        EXPECT_STREQ(e.what(), "No capture driver selected");
    }
    EXPECT_EQ(statusEvents, 1);
    EXPECT_FALSE(cap.DriverOpen());
    cap.SetDriverIndex(0);
    try {
        cap.SetVideoOverlay(true);
        FAIL() << "no exception";
    } catch (const ENoOverlayException& e) {
        EXPECT_STREQ(e.what(), "Driver has no overlay mode");
    }
    EXPECT_FALSE(cap.DriverOpen()) << "reading the caps connects only for the call";
    // A driver that went away after it was chosen.
    SetExtraPatternDrivers(2);
    cap.SetDriverIndex(2);
    SetExtraPatternDrivers(0);
    try {
        cap.SetDriverOpen(true);
        FAIL() << "no exception";
    } catch (const ENotConnectException& e) {
        EXPECT_STREQ(e.what(), "Can not connect capture driver with capture window");
    }
    EXPECT_FALSE(cap.DriverOpen());
    EXPECT_EQ(cap.CaptureWindow(), nullptr);
    cap.SetDriverIndex(0);
    EXPECT_FALSE(cap.GrabFrame()) << "not connected";
    EXPECT_FALSE(cap.SaveFrameAsBitmap());
    EXPECT_FALSE(cap.StartCapture());
    EXPECT_STREQ(ENoCapWindowException().what(), "Can not create capture window");
    EXPECT_STREQ(EBufferFileError().what(), "Could not create tmp file");
}

// ---------------------------------------------------------- driver list

TEST_F(VideoCapTest, DriverListHoldsAtMostTenLines) {
    SetExtraPatternDrivers(2);
    QStringList lines = ListCaptureDrivers();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "Vandrex Test Pattern 1.0");
    EXPECT_EQ(lines[1], "Vandrex Test Pattern 2 1.0");
    EXPECT_EQ(lines[2], "Vandrex Test Pattern 3 1.0");
    if (V4L2CaptureNodes().empty()) {
        EXPECT_EQ(lines.size(), 3);
    }
    SetExtraPatternDrivers(11);  // twelve drivers
    lines = ListCaptureDrivers();
    EXPECT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[9], "Vandrex Test Pattern 10 1.0");
    std::string name, version;
    EXPECT_TRUE(GetDriverDescription(9, name, version));
    EXPECT_FALSE(GetDriverDescription(10, name, version));
    EXPECT_FALSE(GetDriverDescription(-1, name, version));
}

// ------------------------------------------------ preview, grab and save

TEST_F(VideoCapTest, PreviewPaintsFramesAndReportsThem) {
    TVideoCap cap;
    cap.resize(160, 120);
    cap.SetPreviewScaleToWindow(true);
    cap.show();
    int frames = 0;
    int width = 0;
    cap.SetOnFrameCallback([&](QObject* sender, PVIDEOHDR h) {
        EXPECT_EQ(sender, &cap);
        EXPECT_EQ(h->dwBytesUsed, std::uint32_t(h->Width * h->Height * 3));
        width = h->Width;
        ++frames;
    });
    cap.SetVideoPreview(true);
    EXPECT_TRUE(cap.DriverOpen());
    EXPECT_TRUE(cap.VideoPreview());
    EXPECT_EQ(cap.CaptureWindow()->Device().PreviewRateMs(), 40) << "25 per second";
    ASSERT_TRUE(WaitFor([&] { return frames >= 3 && cap.CaptureWindow()->PaintedFrames() >= 2; }, 5000));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(cap.CaptureWindow()->geometry(), QRect(0, 0, 160, 120)) << "stretched to the control";
    cap.SetPreviewScaleProportional(true);
    cap.resize(200, 100);
    EXPECT_EQ(cap.CaptureWindow()->geometry(), QRect(0, 0, 133, 100));
    cap.resize(100, 200);
    EXPECT_EQ(cap.CaptureWindow()->geometry(), QRect(0, 0, 100, 75));
    cap.resize(100, 0);  // no height: fill the control rather than divide by it
    EXPECT_EQ(cap.CaptureWindow()->geometry(), QRect(0, 0, 100, 0));
    cap.SetPreviewScaleToWindow(false);
    EXPECT_EQ(cap.CaptureWindow()->geometry().size(), QSize(320, 240));
    cap.SetVideoPreview(false);
    EXPECT_FALSE(cap.VideoPreview());
    cap.SetDriverOpen(false);
    EXPECT_FALSE(cap.DriverOpen());
    EXPECT_EQ(cap.CaptureWindow(), nullptr);
}

TEST_F(VideoCapTest, SavedBitmapHasThePatternUpright) {
    test::TScratchFolder folder("save");
    TVideoCap cap;
    cap.SingleImageFile = "Grab.bmp";
    cap.SetDriverOpen(true);
    ASSERT_TRUE(cap.GrabFrameNoStop());
    ASSERT_TRUE(cap.SaveFrameAsBitmap());
    const QImage image("Grab.bmp");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(320, 240));
    ASSERT_TRUE(cap.Status().has_value());
    EXPECT_EQ(cap.Status()->ImageWidth, 320);
    for (int i = 0; i < 8; ++i) {
        const int x = PatternBarLeft(i, 320) + 20;
        const QColor c = image.pixelColor(x, 5);  // top row: the bars, not the band
        EXPECT_EQ(c, QColor(kPatternBars[i].Red, kPatternBars[i].Green, kPatternBars[i].Blue)) << "bar " << i;
    }
    EXPECT_EQ(image.pixelColor(160, 170), QColor(48, 48, 48)) << "the band is at the bottom";
    EXPECT_FALSE(std::filesystem::exists("Grab.bmp.part"));

    cap.SingleImageFile = QString(261, 'x');
    EXPECT_FALSE(cap.SaveFrameAsBitmap()) << "names longer than 260 characters are refused";
}

TEST_F(VideoCapTest, GrabTakesAWholeNewFrameAndStopsPreview) {
    TVideoCap cap;
    cap.SetVideoPreview(true);
    TCaptureDevice& d = cap.CaptureWindow()->Device();
    ASSERT_TRUE(cap.GrabFrameNoStop());
    const std::int64_t first = d.CurrentFrame()->Number;
    EXPECT_TRUE(cap.VideoPreview());
    ASSERT_TRUE(cap.GrabFrame());
    EXPECT_GT(d.CurrentFrame()->Number, first);
    EXPECT_EQ(d.CurrentFrame()->Pixels.size(), std::size_t(320 * 240 * 3));
    EXPECT_FALSE(cap.VideoPreview()) << "a grab with stop ends preview";
}

TEST_F(VideoCapTest, StalledCameraGrabGivesUpAfterTwoSeconds) {
    TVideoCap cap;
    cap.SetDriverOpen(true);
    SetTestPatternStalled(true);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(cap.GrabFrameNoStop());
    const qint64 waited = timer.elapsed();
    EXPECT_GE(waited, 1900);
    EXPECT_LT(waited, 4000);
    SetTestPatternStalled(false);
    EXPECT_TRUE(cap.GrabFrameNoStop()) << "the camera recovers";
    SetTestPatternStalled(true);
    cap.SetDriverOpen(false);  // disconnecting a stalled camera does not hang
    EXPECT_FALSE(cap.DriverOpen());
}

// ----------------------------------------------------- dialogs and events

// Runs `fill` on the next modal dialog, then presses OK (or Cancel).
void OnNextDialog(std::function<void(QDialog&)> fill, bool ok) {
    QTimer::singleShot(0, [fill, ok] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no dialog shown";
            return;
        }
        fill(*dialog);
        auto* buttons = dialog->findChild<QDialogButtonBox*>("Buttons");
        buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
}

TEST_F(VideoCapTest, DialogsChangeTheDriverSettings) {
    TVideoCap cap;
    cap.SetDriverIndex(-1);
    EXPECT_FALSE(cap.ShowFormatDialog()) << "no driver";
    cap.SetDriverIndex(0);

    OnNextDialog([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Video Format");
        auto* sizes = d.findChild<QComboBox*>("SizeBox");
        EXPECT_EQ(sizes->currentText(), "320 x 240");
        sizes->setCurrentIndex(sizes->findText("640 x 480"));
    }, true);
    EXPECT_TRUE(cap.ShowFormatDialog());
    EXPECT_FALSE(cap.DriverOpen()) << "a dialog connects only for its call";
    cap.SetDriverOpen(true);
    ASSERT_TRUE(cap.GrabFrameNoStop());
    EXPECT_EQ(cap.Status()->ImageWidth, 640) << "the driver keeps the chosen size";

    OnNextDialog([](QDialog& d) { d.findChild<QComboBox*>("SizeBox")->setCurrentIndex(0); }, false);
    EXPECT_FALSE(cap.ShowFormatDialog());
    EXPECT_EQ(cap.CaptureWindow()->Device().FrameSize(), (TFrameSize{640, 480}));

    OnNextDialog([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Video Display");
        d.findChild<QCheckBox*>("ScaleBox")->setChecked(true);
        d.findChild<QSpinBox*>("RateBox")->setValue(10);
    }, true);
    EXPECT_TRUE(cap.ShowDisplayDialog());
    EXPECT_EQ(cap.CaptureWindow()->Device().PreviewRateMs(), 100);
    EXPECT_TRUE(cap.CaptureWindow()->Device().Scale());

    OnNextDialog([](QDialog& d) {
        EXPECT_EQ(d.findChild<QComboBox*>("CodecBox")->currentText(), "Motion JPEG");
        d.findChild<QSpinBox*>("QualityBox")->setValue(55);
    }, true);
    EXPECT_TRUE(cap.ShowCompressionDialog());
    EXPECT_EQ(cap.CaptureWindow()->Device().Quality(), 55);

    OnNextDialog([](QDialog& d) { d.findChild<QSpinBox*>("Brightness")->setValue(-40); }, true);
    EXPECT_TRUE(cap.ShowSourceDialog());
    ASSERT_TRUE(cap.GrabFrameNoStop());
    const TFramePtr frame = cap.CaptureWindow()->Device().CurrentFrame();
    EXPECT_EQ(frame->Pixels[0], 255 - 40) << "white bar darkened";
    cap.CaptureWindow()->Device().SetFrameSize({320, 240});  // back for the other tests
}

TEST_F(VideoCapTest, ClicksInTheCaptureWindowReachTheControl) {
    TVideoCap cap;
    cap.resize(160, 120);
    cap.show();
    cap.SetDriverOpen(true);
    int clicks = 0, doubles = 0, downs = 0;
    cap.OnClick = [&](QObject*) { ++clicks; };
    cap.OnDblClick = [&](QObject*) { ++doubles; };
    cap.OnMouseDown = [&](QObject*, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(b, Qt::LeftButton);
        EXPECT_EQ(QPoint(x, y), QPoint(30, 40));
        ++downs;
    };
    QWidget* window = cap.CaptureWindow();
    const QPointF at(30, 40);
    QMouseEvent press(QEvent::MouseButtonPress, at, window->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, window->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, window->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    QApplication::sendEvent(window, &release);
    QApplication::sendEvent(window, &twice);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
}

TEST_F(VideoCapTest, ErrorEventsArriveAndClearedHandlersAreRemoved) {
    TVideoCap cap;
    cap.SetDriverOpen(true);
    int errors = 0;
    cap.SetOnError([&](QObject* sender, int, const QString& text) {
        EXPECT_EQ(sender, &cap);
        EXPECT_FALSE(text.isEmpty());
        ++errors;
    });
    EXPECT_TRUE(static_cast<bool>(cap.CaptureWindow()->Device().ErrorCallback));
    cap.SetOnError(nullptr);
    EXPECT_FALSE(static_cast<bool>(cap.CaptureWindow()->Device().ErrorCallback));
}

TEST_F(VideoCapTest, OptionsWindowSwitchesTheDriverOnAndOff) {
    SetExtraPatternDrivers(1);
    TVideoCap cap;
    cap.SetDriverOpen(true);
    TDriverChoice choice;
    EXPECT_EQ(choice.FormCreate(cap), 0);
    EXPECT_FALSE(cap.DriverOpen());
    ASSERT_GE(choice.Drivers.size(), 2);
    EXPECT_EQ(choice.Drivers[1], "Vandrex Test Pattern 2 1.0");
    choice.SwitchOn(cap, 1);
    EXPECT_TRUE(choice.Drivers.isEmpty());
    EXPECT_EQ(cap.DriverName(), "Vandrex Test Pattern 2");
    EXPECT_TRUE(cap.DriverOpen());
    EXPECT_TRUE(cap.VideoPreview());
    choice.FormCreate(cap);
    choice.SwitchOff(cap);
    EXPECT_FALSE(cap.DriverOpen());
    EXPECT_TRUE(choice.Drivers.isEmpty());
    EXPECT_THROW(choice.SwitchOn(cap, -1), ENoDriverException);
}

// A camera attached to this machine, when there is one.
TEST_F(VideoCapTest, RealCameraGrabsAFrame) {
    const auto nodes = V4L2CaptureNodes();
    if (nodes.empty()) GTEST_SKIP() << "no V4L2 capture node on this machine";
    TVideoCap cap;
    cap.SetDriverIndex(1);
    EXPECT_EQ(cap.DriverName().toStdString(), nodes.front().Name);
    cap.SetDriverOpen(true);
    ASSERT_TRUE(cap.GrabFrameNoStop());
    EXPECT_GT(cap.Status()->ImageWidth, 0);
}

}  // namespace
}  // namespace vandrex
