// The camera side of the window, driven offscreen: snapshots onto the
// handset display, the optimizer group, the timer group, the capture menu
// and the monitor. The files the window writes are read back with giflib;
// the capture component is the recording double, or the real control on its
// built-in test-pattern camera.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProgressBar>
#include <QRadioButton>
#include <gif_lib.h>

#include "app/cameratool.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "controls/ledlabel.h"
#include "imaging/phonedisplay.h"
#include "imaging/timelapsetimers.h"
#include "imaging/videocap.h"
#include "window_fixture.h"

namespace vandrex::testing {
namespace {

struct Gif {
    int width = 0, height = 0, frames = 0, colors = 0;
    std::vector<QRgb> pixels;  // first frame
};

// giflib reads the file the window wrote.
Gif DecodeGif(const QString& file) {
    Gif g;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(file.toLocal8Bit().constData(), &error);
    if (!gif) {
        ADD_FAILURE() << "giflib cannot open " << file.toStdString() << ": " << error;
        return g;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read " << file.toStdString() << ": " << gif->Error;
        DGifCloseFile(gif, &error);
        return g;
    }
    g.frames = gif->ImageCount;
    const SavedImage& frame = gif->SavedImages[0];
    g.width = frame.ImageDesc.Width;
    g.height = frame.ImageDesc.Height;
    const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
    std::vector<bool> used(256);
    for (int i = 0; i < g.width * g.height; ++i) {
        const GifByteType index = frame.RasterBits[i];
        used[index] = true;
        const GifColorType c = map->Colors[index];
        g.pixels.push_back(qRgb(c.Red, c.Green, c.Blue));
    }
    g.colors = int(std::count(used.begin(), used.end(), true));
    DGifCloseFile(gif, &error);
    return g;
}

// A smooth picture with a marked left edge, so flips show.
QImage Gradient(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, x < w / 8 ? 255 : 40));
    return image;
}

// Noise: a GIF far above the 10 KB page.
QImage Noise(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    std::uint32_t s = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            image.setPixel(x, y, qRgb(s >> 24, (s >> 16) & 0xff, (s >> 8) & 0xff));
        }
    return image;
}

class CameraWindow : public WindowTest {
protected:
    void StartHtmlGif() {
        Start();
        Check("VideoPhone")->setChecked(true);
        Process();
        form->control<QRadioButton>("GIFRadioButton")->setChecked(true);
    }
    void Press(const char* name) {
        form->control<QAbstractButton>(name)->click();
        Process();
    }
    int Clicks(const char* name) { return clicks_[name]; }
    void CountClicks(const char* name) {
        QObject::connect(form->control<QAbstractButton>(name), &QAbstractButton::clicked, form.get(),
                         [this, name] { ++clicks_[name]; });
    }
    TLEDLabel* Lamp(const char* name) { return form->control<TLEDLabel>(name); }
    bool Exists(const char* file) { return QFile::exists(dir.filePath(QString::fromLatin1(file))); }
    // Runs the event loop until cond holds (or 5 s pass).
    template <class F>
    bool WaitFor(F cond) {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return cond();
    }
    std::map<std::string, int> clicks_;
};

TEST_F(CameraWindow, SnapshotMakesTheGifAndJpegAndShowsItOnTheHandset) {
    StartHtmlGif();
    doubles.capture->Frame = Gradient(320, 240);
    auto* encoder = form->control<TImageEnView>("PhoneDisplayEncoder1");
    EXPECT_FALSE(Lamp("NEC_Display_LED")->Lit());
    Press("ZozadiFotoBtn1");
    ASSERT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('\n').toStdString();
    EXPECT_EQ(doubles.capture->SingleImage, "Snapshot.bmp");
    EXPECT_EQ(doubles.capture->Grabs, 1);

    const Gif gif = DecodeGif("Snapshot.gif");
    EXPECT_EQ(gif.width, 128);
    EXPECT_EQ(gif.height, 96);
    EXPECT_LE(gif.colors, 256);
    EXPECT_TRUE(Exists("Snapshot.jpg"));
    EXPECT_FALSE(Exists("Snapshot.bmp"));
    EXPECT_EQ(Panel0(), "Snapshot 1");

    // On the handset: the view shows the picture in place of the logo.
    EXPECT_TRUE(encoder->isVisible());
    EXPECT_FALSE(form->control<QWidget>("i_mode_Logo")->isVisible());
    EXPECT_TRUE(Lamp("NEC_Display_LED")->Lit());
    EXPECT_EQ(encoder->Core().Bitmap().Width(), 128);
    const QImage shown = encoder->grab().toImage();
    EXPECT_NE(shown.pixel(2, 2), qRgb(255, 255, 255)) << "the picture is painted, not the white background";
    const QString size = QString::number(QFile(dir.filePath("Snapshot.gif")).size());
    EXPECT_EQ(form->control<QProgressBar>("GIFSizeBar")->toolTip(), size + " Bytes");
    EXPECT_EQ(Edit("ColorCountEdit")->text().toInt(), encoder->Core().Proc.CalcImageNumColors());

    Press("ZozadiFotoBtn1");
    EXPECT_EQ(Panel0(), "Snapshot 2");
}

TEST_F(CameraWindow, FailedGrabConvertsNothingAndSaysSo) {
    StartHtmlGif();
    // A bitmap some other part left behind must not pass for a snapshot.
    WriteFile(dir.filePath("Snapshot.bmp").toStdString(), "stale");
    Press("ZozadiFotoBtn1");
    EXPECT_EQ(dialogs.errors(), QStringList{TSnapshotPipeline::kGrabFailedText});
    EXPECT_FALSE(Exists("Snapshot.gif"));
    EXPECT_FALSE(Exists("Snapshot.jpg"));
    EXPECT_FALSE(Exists("Snapshot.bmp"));
    EXPECT_NE(Panel0(), "Snapshot 1");
}

TEST_F(CameraWindow, OptimizerButtonsRewriteTheFile) {
    StartHtmlGif();
    doubles.capture->Frame = Gradient(320, 240);
    Press("ZozadiFotoBtn1");
    const Gif before = DecodeGif("Snapshot.gif");
    ASSERT_EQ(before.width, 128);

    Press("FlipHorizontalSButton");
    const Gif flipped = DecodeGif("Snapshot.gif");
    ASSERT_EQ(flipped.width, before.width);
    for (int y = 0; y < before.height; y += 7)
        for (int x = 0; x < before.width; x += 5)
            ASSERT_EQ(flipped.pixels[y * 128 + x], before.pixels[y * 128 + 127 - x]) << x << "," << y;

    Press("UndoSpeedButton");
    EXPECT_EQ(DecodeGif("Snapshot.gif").pixels, before.pixels);

    Press("RotateSButton");
    const Gif turned = DecodeGif("Snapshot.gif");
    EXPECT_EQ(turned.width, 90) << "fitted to the view's 120 wide, then turned";
    EXPECT_EQ(turned.height, 120);

    Press("GrayScaleButton");
    for (QRgb p : DecodeGif("Snapshot.gif").pixels) ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));

    Edit("ColorCountEdit")->setText("4");
    Press("ReduceColorSButton");
    EXPECT_LE(DecodeGif("Snapshot.gif").colors, 4);
    EXPECT_TRUE(dialogs.errors().isEmpty());

    Edit("ColorCountEdit")->setText("x");
    Press("ReduceColorSButton");
    EXPECT_EQ(dialogs.errors(), QStringList{"'x' is not a valid integer value"});
}

TEST_F(CameraWindow, LzwSwitchOnTheLampKeepsThePixels) {
    StartHtmlGif();
    doubles.capture->Frame = Gradient(200, 150);
    auto* lamp = Lamp("NEC_Display_LED");
    // Dark lamp: nothing happens.
    emit lamp->OnDblClick();
    Process();
    EXPECT_FALSE(form->Panels().Optimizer.UseLZW());
    EXPECT_FALSE(Exists("Snapshot.gif"));

    Press("ZozadiFotoBtn1");
    const Gif plain = DecodeGif("Snapshot.gif");
    const qint64 plainSize = QFile(dir.filePath("Snapshot.gif")).size();
    emit lamp->OnDblClick();
    Process();
    EXPECT_TRUE(form->Panels().Optimizer.UseLZW());
    EXPECT_EQ(lamp->Color(), lcRed);
    EXPECT_EQ(lamp->toolTip(), TGifOptimizer::kLzwHint);
    EXPECT_EQ(DecodeGif("Snapshot.gif").pixels, plain.pixels);
    EXPECT_LT(QFile(dir.filePath("Snapshot.gif")).size(), plainSize);

    // Player mode switches LZW off: the lamp turns green with its hint.
    Check("CheckBox1")->setChecked(true);
    Process();
    EXPECT_FALSE(form->Panels().Optimizer.UseLZW());
    EXPECT_EQ(lamp->Color(), lcGreen);
    EXPECT_EQ(lamp->toolTip(), TGifOptimizer::kNonLzwHint);
}

TEST_F(CameraWindow, Fit10KbBringsANoisyPictureUnderThePageLimit) {
    StartHtmlGif();
    doubles.capture->Frame = Noise(256, 192);
    Press("ZozadiFotoBtn1");
    ASSERT_GT(QFile(dir.filePath("Snapshot.gif")).size(), 10240);
    EXPECT_TRUE(form->control<TLED>("GIFSize_LED")->Lit());
    Press("Fit10KbButton");
    EXPECT_LE(QFile(dir.filePath("Snapshot.gif")).size(), 10240);
    EXPECT_FALSE(form->control<TLED>("GIFSize_LED")->Lit());
    const int colors = Edit("ColorCountEdit")->text().toInt();
    EXPECT_EQ(DecodeGif("Snapshot.gif").colors, colors);
    EXPECT_TRUE(dialogs.messages().isEmpty());

    // Undo brings the unfitted picture back.
    Press("UndoSpeedButton");
    EXPECT_GT(QFile(dir.filePath("Snapshot.gif")).size(), 10240);
}

TEST_F(CameraWindow, Fit10KbWithLzwKeepsAsManyColoursAsFit) {
    StartHtmlGif();
    doubles.capture->Frame = Noise(256, 192);
    Press("ZozadiFotoBtn1");
    emit Lamp("NEC_Display_LED")->OnDblClick();
    Process();
    ASSERT_TRUE(form->Panels().Optimizer.UseLZW());
    ASSERT_GT(QFile(dir.filePath("Snapshot.gif")).size(), 10240);
    Press("Fit10KbButton");
    const qint64 fitted = QFile(dir.filePath("Snapshot.gif")).size();
    const int colors = Edit("ColorCountEdit")->text().toInt();
    EXPECT_LE(fitted, 10240);
    EXPECT_GT(colors, 2) << "LZW codes noise of a few colours in fewer bits";
    EXPECT_EQ(DecodeGif("Snapshot.gif").colors, colors);
}

TEST_F(CameraWindow, AnimationOfThreeFrames) {
    StartHtmlGif();
    doubles.capture->Frame = Gradient(160, 120);
    form->control<QLineEdit>("GIFrameEdit")->setText("3");
    for (int i = 0; i < 3; ++i) Press("InsertFrameSButton");
    EXPECT_EQ(Panel0(), "GIF Animation with 3 Frames Ready");
    EXPECT_EQ(dialogs.textsOf("beep").size(), 1);
    EXPECT_EQ(DecodeGif("Snapshot.gif").frames, 3);
    EXPECT_EQ(Edit("GIFrameEdit")->text(), "2");
    for (const char* n : {"LED_Animation_1", "LED_Animation_2", "LED_Animation_3"})
        EXPECT_FALSE(form->control<TLED>(n)->Lit()) << n;
    EXPECT_FALSE(Exists("Nextshot.gif"));
}

TEST_F(CameraWindow, TimerSetAndSpeedButton) {
    StartHtmlGif();
    Edit("Timer_Interval_Edit")->setText("1");
    Edit("Timer_Duration_Edit")->setText("40");
    Press("TimerSetButton");
    EXPECT_EQ(Edit("Timer_Interval_Edit")->text(), "3");
    EXPECT_EQ(Edit("Timer_Duration_Edit")->text(), "40");
    Edit("Timer_Duration_Edit")->setText("95");
    Press("TimerSetButton");
    EXPECT_EQ(Edit("Timer_Duration_Edit")->text(), "90");
    Edit("Timer_Duration_Edit")->setText("5");
    Press("TimerSetButton");
    EXPECT_EQ(Edit("Timer_Duration_Edit")->text(), "15");

    int started = 0;
    form->Camera().TimerStarted = [&] { ++started; };
    auto& timer = form->Camera().Timers().Timer;
    EXPECT_TRUE(form->control<QWidget>("VideoCap1")->isVisible());
    Press("TimerSpeedButton");
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 180000);
    EXPECT_TRUE(form->control<TLED>("LED_Timer")->Lit());
    EXPECT_FALSE(form->control<QWidget>("VideoCap1")->isVisible());
    EXPECT_EQ(started, 1);
    Press("TimerSpeedButton");
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(form->control<TLED>("LED_Timer")->Lit());
    EXPECT_TRUE(form->control<QWidget>("VideoCap1")->isVisible());

    // An interval of 0 would tick without pause: the timer stays off.
    Edit("Timer_Interval_Edit")->setText("0");
    Press("TimerSpeedButton");
    EXPECT_FALSE(timer.isActive());
}

TEST_F(CameraWindow, GifTickSnapsReducesAndUploadsOnce) {
    StartHtmlGif();
    CountClicks("FTPSButton");
    doubles.capture->Frame = Gradient(320, 240);
    Press("TimerSpeedButton");
    auto& timer = form->Camera().Timers().Timer;
    timer.setInterval(10);
    ASSERT_TRUE(WaitFor([&] { return Clicks("FTPSButton") > 0; }));
    timer.stop();
    EXPECT_LE(DecodeGif("Snapshot.gif").colors, 64);
    EXPECT_EQ(form->control<TLED>("LED_TimerActive")->Color(), lcRed);
    EXPECT_TRUE(Exists("Snapshot.jpg"));
}

TEST_F(CameraWindow, TickIsSkippedWhileATransferRuns) {
    StartHtmlGif();
    CountClicks("FTPSButton");
    doubles.capture->Frame = Gradient(64, 48);
    bool busy = true;
    form->Camera().TransferBusy = [&] { return busy; };
    Press("TimerSpeedButton");
    auto& timer = form->Camera().Timers().Timer;
    timer.setInterval(5);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(Clicks("FTPSButton"), 0);
    EXPECT_FALSE(Exists("Snapshot.gif"));
    busy = false;
    EXPECT_TRUE(WaitFor([&] { return Clicks("FTPSButton") > 0; }));
    timer.stop();
}

TEST_F(CameraWindow, VideoTickRecordsForTheDuration) {
    StartHtmlGif();
    CountClicks("StartAudioSButton");
    form->control<QRadioButton>("Video_RadioButton")->setChecked(true);
    Edit("Timer_Duration_Edit")->setText("20");
    Press("TimerSpeedButton");
    auto& timer = form->Camera().Timers().Timer;
    auto& recording = form->Camera().Timers().RealMediaTimer;
    timer.setInterval(5);
    ASSERT_TRUE(WaitFor([&] { return Clicks("StartAudioSButton") == 1; }));
    timer.stop();
    EXPECT_TRUE(recording.isActive());
    EXPECT_EQ(recording.interval(), 20000);
    recording.setInterval(5);
    recording.start();
    ASSERT_TRUE(WaitFor([&] { return Clicks("StartAudioSButton") == 2; }));
    EXPECT_FALSE(recording.isActive());
}

TEST_F(CameraWindow, LoadedPictureIsConvertedWithoutAGrab) {
    StartHtmlGif();
    QDir(dir.path()).mkdir("pictures");
    const QString chosen = dir.filePath("pictures/Holiday.bmp");
    ASSERT_TRUE(Gradient(256, 128).save(chosen, "BMP"));
    const QString upper = dir.filePath("pictures/LOUD.BMP");
    ASSERT_TRUE(Gradient(64, 64).save(upper, "BMP"));
    auto* strip = form->control<TDoubleClickLabel>("PhoneDisplayStatusLow");

    dialogs.files.push_back(upper);
    emit strip->DoubleClicked();
    Process();
    EXPECT_FALSE(Exists("Snapshot.gif")) << "an upper-case extension is ignored";

    dialogs.files.push_back(chosen);
    emit strip->DoubleClicked();
    Process();
    EXPECT_EQ(dialogs.textsOf("open"), (QStringList{TGifOptimizer::kLoadTitle, TGifOptimizer::kLoadTitle}));
    EXPECT_EQ(doubles.capture->Grabs, 0);
    const Gif gif = DecodeGif("Snapshot.gif");
    EXPECT_EQ(gif.width, 128);
    EXPECT_EQ(gif.height, 64);
    EXPECT_FALSE(Exists("Snapshot.bmp"));
    EXPECT_EQ(QDir::currentPath(), dir.path()) << "the working folder stays";
    EXPECT_FALSE(form->Camera().Snapshots().PictureLoaded);

    // The next press grabs again.
    doubles.capture->Frame = Gradient(64, 48);
    Press("ZozadiFotoBtn1");
    EXPECT_EQ(doubles.capture->Grabs, 1);
}

TEST_F(CameraWindow, SnapshotGoesToTheDataPhonePeerInChatWithACall) {
    StartHtmlGif();
    doubles.capture->Frame = Gradient(64, 48);
    std::vector<std::string> sent;
    form->Camera().SendToDataPhone = [&](const std::string& file) { sent.push_back(file); };
    Press("ZozadiFotoBtn1");
    EXPECT_TRUE(sent.empty()) << "no chat";
    Check("MailChatBox")->setChecked(true);
    Process();
    Press("ZozadiFotoBtn1");
    EXPECT_TRUE(sent.empty()) << "no call";
    doubles.line->connected = true;
    Press("ZozadiFotoBtn1");
    EXPECT_EQ(sent, std::vector<std::string>{"Snapshot.jpg"});
    EXPECT_EQ(form->Camera().DataPhoneSends(), 1);
}

TEST_F(CameraWindow, CaptureMenuOpensTheDriverDialogs) {
    Start();
    Check("VideoPhone")->setChecked(true);
    Process();
    form->control<QAction>("Compress1")->setEnabled(true);
    for (const char* item : {"Source1", "Format1", "Display1", "Compress1"}) form->control<QAction>(item)->trigger();
    EXPECT_EQ(doubles.capture->Dialogs,
              (std::vector<QString>{"Source", "Format", "Display", "Compression"}));
}

// The real capture control on its built-in pattern camera (driver 0 exists
// on every machine).
class PatternCameraWindow : public CameraWindow {
protected:
    void CreateWithRealCamera() {
        TForm1Components c = doubles.Make();
        auto camera = std::make_unique<TVideoCap>();
        ApplyVideoCap1Settings(*camera);
        cap = camera.get();
        c.VideoCap1 = std::move(camera);
        doubles.capture = nullptr;
        form = std::make_unique<TForm1>(std::move(c));
    }
    TVideoCap* cap = nullptr;
};

TEST_F(PatternCameraWindow, TheMonitorIsTheCaptureControlAndSnapshotsWork) {
    CreateWithRealCamera();
    Start();
    EXPECT_EQ(form->control<QWidget>("VideoCap1"), cap);
    EXPECT_EQ(form->control<QAction>("D1")->text(), ListCaptureDrivers().value(0));
    EXPECT_EQ(cap->DriverIndex(), 0);
    EXPECT_TRUE(cap->VideoPreview());
    EXPECT_FALSE(cap->isVisible());
    Check("VideoPhone")->setChecked(true);
    Process();
    EXPECT_TRUE(cap->isVisible());
    EXPECT_EQ(cap->geometry(), QRect(199, 23, 178, 136));

    form->control<QRadioButton>("GIFRadioButton")->setChecked(true);
    Press("ZozadiFotoBtn1");
    ASSERT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('\n').toStdString();
    const Gif gif = DecodeGif("Snapshot.gif");
    EXPECT_EQ(gif.width, 128);
    EXPECT_GT(gif.height, 0);
    EXPECT_FALSE(Exists("Snapshot.bmp"));
}

}  // namespace
}  // namespace vandrex::testing
