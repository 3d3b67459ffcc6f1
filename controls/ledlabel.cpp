#include "controls/ledlabel.h"

#include "controls/ledbitmap.h"

#include <QPainter>

namespace vandrex {

namespace {

constexpr int kLampWidth = TLEDBitmap::CellWidth;
constexpr int kLampHeight = TLEDBitmap::CellHeight;
// Distance from the lamp's outer edge to the far edge of the caption area.
constexpr int kCaptionGapX = kLampWidth + 3;
constexpr int kCaptionGapY = kLampHeight + 3;

}  // namespace

TLEDLabel::TLEDLabel(QWidget* parent) : TLED(parent) {
    // Undo the lamp's fixed size: a label is laid out to whatever size it gets.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    resize(DefaultWidth, DefaultHeight);
}

void TLEDLabel::setCaption(const QString& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
}

void TLEDLabel::setAlignment(TCaptionAlignment alignment) {
    if (alignment == alignment_)
        return;
    alignment_ = alignment;
    update();
}

void TLEDLabel::setTransparent(bool transparent) {
    if (transparent == transparent_)
        return;
    transparent_ = transparent;
    setAttribute(Qt::WA_OpaquePaintEvent, !transparent);
    update();
}

// Integer division truncates toward zero, also for labels smaller than the lamp.
QRect TLEDLabel::LampRect() const {
    const int w = width();
    const int h = height();
    switch (alignment_) {
    case caLeft:
        return {w - kLampWidth, (h - kLampHeight) / 2, kLampWidth, kLampHeight};
    case caRight:
        return {0, (h - kLampHeight) / 2, kLampWidth, kLampHeight};
    case caTop:
        return {(w - kLampWidth) / 2, h - kLampHeight, kLampWidth, kLampHeight};
    case caBottom:
        return {(w - kLampWidth) / 2, 0, kLampWidth, kLampHeight};
    }
    return {};
}

QRect TLEDLabel::CaptionRect() const {
    const int w = width();
    const int h = height();
    switch (alignment_) {
    case caLeft:
        return {0, 0, w - kCaptionGapX, h};
    case caRight:
        return {kCaptionGapX, 0, w - kCaptionGapX, h};
    case caTop:
        return {0, 0, w, h - kCaptionGapY};
    case caBottom:
        return {0, kCaptionGapY, w, h - kCaptionGapY};
    }
    return {};
}

QSize TLEDLabel::sizeHint() const {
    return {DefaultWidth, DefaultHeight};
}

void TLEDLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!transparent_)
        painter.fillRect(rect(), ParentColor());
    DrawLamp(painter);
    DrawCaption(painter);
}

void TLEDLabel::DrawCaption(QPainter& painter) const {
    const QRect area = CaptionRect();
    if (caption_.isEmpty() || area.isEmpty())
        return;
    int flags = Qt::TextSingleLine;
    switch (alignment_) {
    case caTop:
        flags |= Qt::AlignHCenter | Qt::AlignBottom;
        break;
    case caBottom:
        flags |= Qt::AlignHCenter | Qt::AlignTop;
        break;
    case caLeft:
    case caRight:
        flags |= Qt::AlignLeft | Qt::AlignVCenter;
        break;
    }
    painter.setFont(font());
    if (isEnabled()) {
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(area, flags, caption_);
        return;
    }
    // Engraved look: a highlight copy one pixel down and right, the shadow on top.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(area.translated(1, 1), flags, caption_);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawText(area, flags, caption_);
}

}  // namespace vandrex
