#include "imaging/phonedisplay.h"

#include <QImage>
#include <QPainter>
#include <cmath>

#include "controls/ledlabel.h"

namespace vandrex {

TImageEnView::TImageEnView(QWidget* parent) : QWidget(parent) {
    core_.Background = {255, 255, 255};
    core_.OnChange = [this] { update(); };
    resize(120, 128);
}

int TImageEnView::FitZoom() const {
    const TBitmap& p = core_.Bitmap();
    if (p.Empty()) return 100;
    const double byWidth = std::trunc(width() / (p.Width() / 100.0));
    const double byHeight = std::trunc(height() / (p.Height() / 100.0));
    return int(std::min(byWidth, byHeight));
}

void TImageEnView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const TBitmap& p = core_.Bitmap();
    if (p.Empty()) return;
    const QImage image(p.Data().data(), p.Width(), p.Height(), p.Width() * 3, QImage::Format_BGR888);
    const double zoom = FitZoom() / 100.0;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, p.Width() * zoom, p.Height() * zoom), image);
}

void TDoubleClickLabel::mouseDoubleClickEvent(QMouseEvent*) { emit DoubleClicked(); }

TPhoneLCDDisplay::TPhoneLCDDisplay(QWidget* parent) : QFrame(parent) {
    setObjectName("PhoneLCDDisplay");
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    resize(128, 170);
    PhoneDisplayEncoder1 = new TImageEnView(this);
    PhoneDisplayEncoder1->setObjectName("PhoneDisplayEncoder1");
    PhoneDisplayEncoder1->setGeometry(4, 4, 120, 128);
    PhoneDisplayEncoder1->hide();
    i_mode_Logo = new QLabel(QStringLiteral("i-mode"), this);
    i_mode_Logo->setObjectName("i_mode_Logo");
    i_mode_Logo->setAlignment(Qt::AlignCenter);
    i_mode_Logo->setGeometry(4, 4, 120, 128);
    PhoneDisplayStatusLow = new TDoubleClickLabel(this);
    PhoneDisplayStatusLow->setObjectName("PhoneDisplayStatusLow");
    PhoneDisplayStatusLow->setToolTip(QStringLiteral("Double Click to Load a Graphic into  i-mode"));
    PhoneDisplayStatusLow->setGeometry(4, 134, 120, 14);
    NEC_Display_LED = new TLEDLabel(this);
    NEC_Display_LED->setObjectName("NEC_Display_LED");
    NEC_Display_LED->setColor(lcGreen);
    NEC_Display_LED->setCaption(QStringLiteral("GIF"));
    NEC_Display_LED->setToolTip(QStringLiteral("Non LZW Compression / Requires no License."));
    NEC_Display_LED->setGeometry(4, 150, 97, 17);
}

void TPhoneLCDDisplay::ShowEncoder() {
    NEC_Display_LED->setLit(true);
    PhoneDisplayEncoder1->show();
    i_mode_Logo->hide();
}

void TPhoneLCDDisplay::SetCodingLamp(bool lit, bool red, const QString& hint) {
    NEC_Display_LED->setLit(lit);
    NEC_Display_LED->setColor(red ? lcRed : lcGreen);
    NEC_Display_LED->setToolTip(hint);
}

}  // namespace vandrex
