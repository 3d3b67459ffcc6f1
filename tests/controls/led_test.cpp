#include "controls/led.h"
#include "controls/ledbitmap.h"
#include "controls/ledlabel.h"
#include "tests/controls/lamptable.h"

#include <QMouseEvent>
#include <QVBoxLayout>

#include <memory>

using namespace vandrex;
using lamptest::CellMatches;

namespace {

const QRgb kBack = qRgb(200, 190, 30);

// A shown top-level panel with a known background colour.
std::unique_ptr<QWidget> MakeHost(QRgb back = kBack) {
    lamptest::App();
    auto host = std::make_unique<QWidget>();
    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, back);
    host->setPalette(pal);
    host->resize(60, 40);
    host->show();
    return host;
}

QImage Grab(QWidget& host) {
    return host.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void Send(QWidget& w, QEvent::Type type, Qt::MouseButton button, QPoint at) {
    QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

}  // namespace

TEST(LEDBitmap, HoldsThePictureInTheStandardPalette) {
    lamptest::App();
    TLED lamp;
    const TLEDBitmap* shared = TLEDBitmap::Instance();
    ASSERT_NE(shared, nullptr);
    const QImage& picture = shared->Bitmap();
    ASSERT_EQ(picture.size(), QSize(24, 52));
    for (int y = 0; y < 52; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(picture.pixel(x, y) | 0xff000000u, lamptest::PicturePixel(x, y))
                << "pixel " << x << "," << y;
    EXPECT_EQ(shared->TransparentColor() | 0xff000000u, lamptest::kTeal);
    // Entries the picture does not use are still the standard ones.
    ASSERT_EQ(picture.colorCount(), 16);
    EXPECT_EQ(picture.color(4), qRgb(0, 0, 128));
    EXPECT_EQ(picture.color(7), qRgb(192, 192, 192));
    EXPECT_EQ(picture.color(14), qRgb(0, 255, 255));
}

TEST(LEDBitmap, ExistsExactlyWhileALampExists) {
    lamptest::App();
    ASSERT_EQ(TLEDBitmap::Instance(), nullptr);
    auto first = std::make_unique<TLED>();
    const TLEDBitmap* shared = TLEDBitmap::Instance();
    ASSERT_NE(shared, nullptr);
    {
        TLEDLabel second;
        EXPECT_EQ(TLEDBitmap::Instance(), shared);
        EXPECT_EQ(shared->Lamps(), (QList<TLED*>{first.get(), &second}));
    }
    EXPECT_EQ(shared->Lamps(), QList<TLED*>{first.get()});
    first.reset();
    EXPECT_EQ(TLEDBitmap::Instance(), nullptr);

    // Lamps freed with their parent take the picture with them.
    auto panel = std::make_unique<QWidget>();
    new TLED(panel.get());
    new TLEDLabel(panel.get());
    ASSERT_NE(TLEDBitmap::Instance(), nullptr);
    EXPECT_EQ(TLEDBitmap::Instance()->Lamps().size(), 2);
    panel.reset();
    EXPECT_EQ(TLEDBitmap::Instance(), nullptr);
}

TEST(LEDDrawing, EveryColourLitAndUnlitMatchesItsCell) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.move(5, 7);
    lamp.show();
    for (TLEDColor color : {lcRed, lcGreen, lcYellow}) {
        for (bool lit : {false, true}) {
            lamp.setColor(color);
            lamp.setLit(lit);
            EXPECT_TRUE(CellMatches(Grab(*host), {5, 7}, lit ? 1 : 0, color, kBack))
                << "colour " << color << " lit " << lit;
        }
    }
}

TEST(LEDDrawing, DisabledShowsTheGreyCellUntilEnabledAgain) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.show();
    lamp.setEnabled(false);
    for (TLEDColor color : {lcRed, lcGreen, lcYellow}) {
        for (bool lit : {false, true}) {
            lamp.setColor(color);
            lamp.setLit(lit);
            EXPECT_TRUE(CellMatches(Grab(*host), {0, 0}, 0, 3, kBack))
                << "colour " << color << " lit " << lit;
        }
    }
    lamp.setEnabled(true);
    EXPECT_TRUE(CellMatches(Grab(*host), {0, 0}, 1, lcYellow, kBack));

    // A disabled panel disables the lamp in it too.
    host->setEnabled(false);
    EXPECT_TRUE(CellMatches(Grab(*host), {0, 0}, 0, 3, kBack));
}

TEST(LEDDrawing, SeeThroughPixelsFollowTheParentColour) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.show();
    lamp.setLit(true);
    const QRgb other = qRgb(17, 34, 51);
    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, other);
    host->setPalette(pal);
    EXPECT_TRUE(CellMatches(Grab(*host), {0, 0}, 1, lcRed, other));

    // Without a parent the lamp stands on its own window colour.
    TLED alone;
    pal.setColor(QPalette::Window, kBack);
    alone.setPalette(pal);
    alone.setEnabled(false);
    EXPECT_TRUE(CellMatches(alone.grab().toImage(), {0, 0}, 0, 3, kBack));
}

TEST(LEDState, OnChangeStateOnlyForARealChange) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.show();
    QList<TLED*> senders;
    QObject::connect(&lamp, &TLED::OnChangeState, [&](TLED* sender) { senders.append(sender); });

    lamp.setLit(false);
    lamp.setColor(lcRed);
    EXPECT_TRUE(senders.isEmpty());

    lamp.setLit(true);
    lamp.setLit(true);
    lamp.setColor(lcGreen);
    lamp.setColor(lcGreen);
    EXPECT_EQ(senders, (QList<TLED*>{&lamp, &lamp}));
    EXPECT_TRUE(lamp.Lit());
    EXPECT_EQ(lamp.Color(), lcGreen);

    // A hidden lamp still stores and reports its state.
    lamp.hide();
    lamp.setLit(false);
    EXPECT_EQ(senders.size(), 3);
    EXPECT_FALSE(lamp.Lit());
}

TEST(LEDState, OnChangeStateWhenTheEnabledStateChanges) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.show();
    int count = 0;
    bool enabledSeen = true;
    QObject::connect(&lamp, &TLED::OnChangeState, [&](TLED* sender) {
        ++count;
        enabledSeen = sender->isEnabled();
    });
    lamp.setEnabled(false);
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(enabledSeen);
    lamp.setEnabled(false);
    EXPECT_EQ(count, 1);
    lamp.setEnabled(true);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(enabledSeen);
}

TEST(LEDSizing, AlwaysTwelveByThirteen) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.resize(20, 20);
    EXPECT_EQ(lamp.size(), QSize(12, 13));
    lamp.setGeometry(3, 4, 20, 20);
    EXPECT_EQ(lamp.geometry(), QRect(3, 4, 12, 13));
    EXPECT_EQ(lamp.LampRect(), QRect(0, 0, 12, 13));

    // A layout does not stretch it either.
    auto* layout = new QVBoxLayout(host.get());
    layout->addWidget(&lamp);
    host->resize(200, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(lamp.size(), QSize(12, 13));
    layout->removeWidget(&lamp);
}

TEST(LEDMouse, ClickAndDoubleClick) {
    auto host = MakeHost();
    TLED lamp(host.get());
    lamp.show();
    int clicks = 0, doubles = 0;
    QObject::connect(&lamp, &TLED::OnClick, [&] { ++clicks; });
    QObject::connect(&lamp, &TLED::OnDblClick, [&] { ++doubles; });

    Send(lamp, QEvent::MouseButtonPress, Qt::LeftButton, {5, 5});
    Send(lamp, QEvent::MouseButtonRelease, Qt::LeftButton, {6, 6});
    EXPECT_EQ(clicks, 1);

    // Released off the lamp, or with another button: no click.
    Send(lamp, QEvent::MouseButtonPress, Qt::LeftButton, {5, 5});
    Send(lamp, QEvent::MouseButtonRelease, Qt::LeftButton, {30, 30});
    Send(lamp, QEvent::MouseButtonPress, Qt::RightButton, {5, 5});
    Send(lamp, QEvent::MouseButtonRelease, Qt::RightButton, {5, 5});
    EXPECT_EQ(clicks, 1);

    // A double click is one click and one double click.
    Send(lamp, QEvent::MouseButtonPress, Qt::LeftButton, {5, 5});
    Send(lamp, QEvent::MouseButtonRelease, Qt::LeftButton, {5, 5});
    Send(lamp, QEvent::MouseButtonDblClick, Qt::LeftButton, {5, 5});
    Send(lamp, QEvent::MouseButtonRelease, Qt::LeftButton, {5, 5});
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(doubles, 1);
}
