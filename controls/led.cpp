#include "controls/led.h"

#include "controls/ledbitmap.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vandrex {

TLED::TLED(QWidget* parent) : QWidget(parent) {
    TLEDBitmap::Attach(this);
    // The lamp covers its whole area, so Qt need not paint what lies behind.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(TLEDBitmap::CellWidth, TLEDBitmap::CellHeight);
}

TLED::~TLED() {
    TLEDBitmap::Detach(this);
}

void TLED::setLit(bool lit) {
    if (lit == lit_)
        return;
    lit_ = lit;
    StateChanged();
}

void TLED::setColor(TLEDColor color) {
    if (color == color_)
        return;
    color_ = color;
    StateChanged();
}

void TLED::StateChanged() {
    repaint(LampRect());
    emit OnChangeState(this);
}

QRect TLED::LampRect() const {
    return rect();
}

QSize TLED::sizeHint() const {
    return {TLEDBitmap::CellWidth, TLEDBitmap::CellHeight};
}

QColor TLED::ParentColor() const {
    if (const QWidget* parent = parentWidget())
        return parent->palette().color(parent->backgroundRole());
    return palette().color(QPalette::Window);
}

void TLED::DrawLamp(QPainter& painter) const {
    int column = lit_ ? 1 : 0;
    int row = color_;
    if (!isEnabled()) {
        column = 0;
        row = TLEDBitmap::DisabledRow;
    }
    TLEDBitmap::Instance()->DrawCell(painter, LampRect().topLeft(), column, row, ParentColor());
}

void TLED::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawLamp(painter);
}

void TLED::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        emit OnChangeState(this);
    QWidget::changeEvent(event);
}

void TLED::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QWidget::mousePressEvent(event);
}

void TLED::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click)
        emit OnClick();
}

void TLED::mouseDoubleClickEvent(QMouseEvent* event) {
    // Not handed on as a second press: the release that ends a double click
    // is not another click.
    pressed_ = false;
    if (event->button() == Qt::LeftButton)
        emit OnDblClick();
    else
        event->ignore();
}

}  // namespace vandrex
