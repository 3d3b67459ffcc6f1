// The handset display shows the snapshot on its own image component.

#include <gtest/gtest.h>

#include <QMouseEvent>

#include "capturetest_support.h"
#include "controls/ledlabel.h"
#include "imaging/phonedisplay.h"
#include "imaging/snapshot.h"
#include "imaging/videocap.h"
#include "platform/capturewindow.h"

namespace vandrex {
namespace {

TEST(PhoneDisplayTest, ShowsASnapshotZoomedToFit) {
    test::App();
    test::TScratchFolder folder("phone");
    TVideoCap cap;
    cap.SetDriverOpen(true);
    TPhoneLCDDisplay display;
    TSnapshotPipeline pipeline(display.PhoneDisplayEncoder1->Core());
    pipeline.GrabToBitmap = [&] {
        cap.SingleImageFile = "Snapshot.bmp";
        return cap.GrabFrameNoStop() && cap.SaveFrameAsBitmap();
    };
    pipeline.GifChecked = [] { return true; };
    pipeline.ShowEncoder = [&] { display.ShowEncoder(); };
    display.show();
    EXPECT_TRUE(display.i_mode_Logo->isVisible());
    EXPECT_FALSE(display.NEC_Display_LED->Lit());
    pipeline.Snapshot();
    EXPECT_TRUE(display.NEC_Display_LED->Lit());
    EXPECT_TRUE(display.PhoneDisplayEncoder1->isVisible());
    EXPECT_FALSE(display.i_mode_Logo->isVisible());
    EXPECT_EQ(display.PhoneDisplayEncoder1->FitZoom(), 93) << "128 x 96 in 120 x 128";
    const QImage shown = display.PhoneDisplayEncoder1->grab().toImage();
    EXPECT_EQ(shown.pixelColor(22, 10).blue(), 0) << "the yellow bar, not the white background";
    EXPECT_GT(shown.pixelColor(22, 10).red(), 200);
    EXPECT_EQ(shown.pixelColor(60, 120), QColor(Qt::white)) << "below the picture";
    if (const QByteArray dir = qgetenv("VANDREX_SCREENSHOTS"); !dir.isEmpty())
        display.grab().save(QString::fromLocal8Bit(dir) + "/handset-display.png");

    int clicks = 0;
    QObject::connect(display.PhoneDisplayStatusLow, &TDoubleClickLabel::DoubleClicked, [&] { ++clicks; });
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(display.PhoneDisplayStatusLow, &twice);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(display.PhoneDisplayStatusLow->toolTip(), "Double Click to Load a Graphic into  i-mode");
    display.SetCodingLamp(true, true, "LZW Compression / Requires Licence");
    EXPECT_EQ(display.NEC_Display_LED->Color(), lcRed);
    EXPECT_EQ(display.NEC_Display_LED->toolTip(), "LZW Compression / Requires Licence");
}

}  // namespace
}  // namespace vandrex
