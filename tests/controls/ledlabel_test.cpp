#include "controls/ledlabel.h"
#include "tests/controls/lamptable.h"

#include <QPainter>

#include <memory>

using namespace vandrex;
using lamptest::CellMatches;

namespace {

const QRgb kBack = qRgb(200, 190, 30);
const QRgb kText = qRgb(20, 60, 140);  // in no lamp cell
const QRgb kHighlight = qRgb(255, 0, 255);
const QRgb kShadow = qRgb(0, 0, 255);

// A shown panel with a known background colour, or with a two-colour stripe
// pattern when striped is set (to tell "filled with the parent's colour"
// apart from "showing what the parent drew").
class Host : public QWidget {
public:
    explicit Host(bool striped = false) : striped_(striped) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, kBack);
        setPalette(pal);
        resize(150, 100);
        show();
    }
    static QRgb Stripe(int x) { return x % 2 ? qRgb(10, 250, 10) : qRgb(250, 10, 10); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!striped_)
            return;
        QPainter painter(this);
        for (int x = 0; x < width(); ++x) {
            painter.setPen(QColor(Stripe(x)));
            painter.drawLine(x, 0, x, height());
        }
    }

private:
    bool striped_;
};

std::unique_ptr<Host> MakeHost(bool striped = false) {
    lamptest::App();
    return std::make_unique<Host>(striped);
}

// The label's own area as drawn on its parent.
QImage GrabLabel(TLEDLabel& label) {
    return label.parentWidget()->grab(label.geometry()).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// A font drawn without smoothing, so text pixels are exactly the pen colour.
void UsePlainText(TLEDLabel& label) {
    QFont font("DejaVu Sans", 9);
    font.setStyleStrategy(QFont::NoAntialias);
    label.setFont(font);
    QPalette pal = label.palette();
    pal.setColor(QPalette::WindowText, kText);
    pal.setColor(QPalette::Light, kHighlight);
    pal.setColor(QPalette::Dark, kShadow);
    label.setPalette(pal);
}

// Bounding box of the pixels of colour c.
QRect PixelsOf(const QImage& image, QRgb c) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) | 0xff000000u) == c)
                box |= QRect(x, y, 1, 1);
    return box;
}

}  // namespace

TEST(LEDLabel, Defaults) {
    lamptest::App();
    TLEDLabel label;
    EXPECT_EQ(label.size(), QSize(97, 17));
    EXPECT_EQ(label.Alignment(), caRight);
    EXPECT_FALSE(label.Transparent());
    EXPECT_TRUE(label.Caption().isEmpty());
    EXPECT_FALSE(label.Lit());
    EXPECT_EQ(label.Color(), lcRed);
}

TEST(LEDLabel, DefaultSizeDrawsTheLampAtZeroTwo) {
    auto host = MakeHost();
    TLEDLabel label(host.get());
    label.show();
    label.setColor(lcGreen);
    label.setLit(true);
    EXPECT_EQ(label.LampRect(), QRect(0, 2, 12, 13));
    EXPECT_EQ(label.CaptionRect(), QRect(15, 0, 82, 17));
    const QImage image = GrabLabel(label);
    EXPECT_TRUE(CellMatches(image, {0, 2}, 1, lcGreen, kBack));
    // Rows above and below the lamp are background.
    for (int x = 0; x < 12; ++x) {
        EXPECT_EQ(image.pixel(x, 1) | 0xff000000u, kBack);
        EXPECT_EQ(image.pixel(x, 15) | 0xff000000u, kBack);
    }
}

TEST(LEDLabel, AlignmentLayouts) {
    auto host = MakeHost();
    TLEDLabel label(host.get());
    label.show();
    label.resize(61, 40);
    label.setColor(lcYellow);
    struct Case {
        TCaptionAlignment alignment;
        QRect lamp, caption;
    } const cases[] = {
        {caLeft, {49, 13, 12, 13}, {0, 0, 46, 40}},
        {caRight, {0, 13, 12, 13}, {15, 0, 46, 40}},
        {caTop, {24, 27, 12, 13}, {0, 0, 61, 24}},
        {caBottom, {24, 0, 12, 13}, {0, 16, 61, 24}},
    };
    for (const Case& c : cases) {
        label.setAlignment(c.alignment);
        EXPECT_EQ(label.Alignment(), c.alignment);
        EXPECT_EQ(label.LampRect(), c.lamp) << "alignment " << c.alignment;
        EXPECT_EQ(label.CaptionRect(), c.caption) << "alignment " << c.alignment;
        EXPECT_TRUE(CellMatches(GrabLabel(label), c.lamp.topLeft(), 0, lcYellow, kBack))
            << "alignment " << c.alignment;
    }

    // The layout follows every resize.
    label.resize(100, 30);
    EXPECT_EQ(label.LampRect(), QRect(44, 0, 12, 13));
    EXPECT_EQ(label.CaptionRect(), QRect(0, 16, 100, 14));
}

TEST(LEDLabel, LabelsSmallerThanTheLampTruncateTowardZero) {
    auto host = MakeHost();
    TLEDLabel label(host.get());
    label.resize(10, 10);
    EXPECT_EQ(label.size(), QSize(10, 10));
    EXPECT_EQ(label.LampRect(), QRect(0, -1, 12, 13));  // (10 - 13) / 2 is -1, not -2
    label.setAlignment(caTop);
    EXPECT_EQ(label.LampRect(), QRect(-1, -3, 12, 13));
    EXPECT_TRUE(label.CaptionRect().isEmpty());
    // Painting with no room for the caption is harmless.
    label.setCaption("Long caption");
    label.show();
    EXPECT_FALSE(GrabLabel(label).isNull());
}

TEST(LEDLabel, TransparentShowsWhatTheParentDrew) {
    auto host = MakeHost(true);
    TLEDLabel label(host.get());
    label.move(3, 4);
    label.show();
    const QRect lamp = label.LampRect();

    QImage image = GrabLabel(label);
    EXPECT_TRUE(CellMatches(image, lamp.topLeft(), 0, lcRed, kBack));
    EXPECT_EQ(PixelsOf(image, kBack) | lamp, image.rect());

    label.setTransparent(true);
    EXPECT_TRUE(label.Transparent());
    image = GrabLabel(label);
    // The lamp's own see-through pixels still take the parent's colour.
    EXPECT_TRUE(CellMatches(image, lamp.topLeft(), 0, lcRed, kBack));
    int stripes = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!lamp.contains(x, y)) {
                ASSERT_EQ(image.pixel(x, y) | 0xff000000u, Host::Stripe(x + 3)) << x << "," << y;
                ++stripes;
            }
    EXPECT_EQ(stripes, 97 * 17 - 12 * 13);

    label.setTransparent(false);
    EXPECT_EQ(PixelsOf(GrabLabel(label), kBack) | lamp, image.rect());
}

TEST(LEDLabel, CaptionSitsInItsAreaOnTheRightSide) {
    auto host = MakeHost();
    TLEDLabel label(host.get());
    UsePlainText(label);
    label.setCaption("Wg\nline");
    label.resize(90, 60);
    label.show();
    for (TCaptionAlignment alignment : {caLeft, caRight, caTop, caBottom}) {
        label.setAlignment(alignment);
        const QRect area = label.CaptionRect();
        const QRect text = PixelsOf(GrabLabel(label), kText);
        ASSERT_FALSE(text.isEmpty()) << "alignment " << alignment;
        EXPECT_TRUE(area.contains(text)) << "alignment " << alignment;
        EXPECT_LT(text.height(), 20) << "one line only, alignment " << alignment;
        switch (alignment) {
        case caLeft:
        case caRight:
            EXPECT_LE(text.left() - area.left(), 3);
            EXPECT_NEAR(text.center().y(), area.center().y(), 4);
            break;
        case caTop:
            EXPECT_LE(area.bottom() - text.bottom(), 5);
            EXPECT_NEAR(text.center().x(), area.center().x(), 2);
            break;
        case caBottom:
            EXPECT_LE(text.top() - area.top(), 5);
            EXPECT_NEAR(text.center().x(), area.center().x(), 2);
            break;
        }
    }
}

TEST(LEDLabel, DisabledCaptionIsHighlightOffsetThenShadow) {
    auto host = MakeHost();
    TLEDLabel label(host.get());
    UsePlainText(label);
    label.setCaption("Tape");
    label.setLit(true);
    label.show();

    const QImage enabled = GrabLabel(label);
    const QRect area = label.CaptionRect();
    for (int y = 0; y < enabled.height(); ++y)
        for (int x = area.left(); x < enabled.width(); ++x) {
            const QRgb c = enabled.pixel(x, y) | 0xff000000u;
            ASSERT_TRUE(c == kText || c == kBack) << "smoothed text at " << x << "," << y;
        }
    auto glyph = [&](int x, int y) {
        return enabled.valid(x, y) && (enabled.pixel(x, y) | 0xff000000u) == kText;
    };
    ASSERT_FALSE(PixelsOf(enabled, kText).isEmpty());

    label.setEnabled(false);
    const QImage disabled = GrabLabel(label);
    EXPECT_TRUE(CellMatches(disabled, label.LampRect().topLeft(), 0, 3, kBack));
    for (int y = 0; y < disabled.height(); ++y)
        for (int x = area.left(); x < disabled.width(); ++x) {
            QRgb want = kBack;
            if (glyph(x, y))
                want = kShadow;
            else if (glyph(x - 1, y - 1))
                want = kHighlight;
            ASSERT_EQ(disabled.pixel(x, y) | 0xff000000u, want) << x << "," << y;
        }
}
