#include "app/statusbar.h"

#include <QPainter>
#include <QStyleOption>

namespace vandrex {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) { setFixedHeight(19); }

void TStatusBar::addPanel(int width, Qt::Alignment alignment, const QString& text) {
    panels_.push_back({width, alignment, text});
    update();
}

QString TStatusBar::panelText(int index) const {
    if (index < 0 || index >= panelCount()) return QString();
    return panels_[index].text;
}

void TStatusBar::setPanelText(int index, const QString& text) {
    if (index < 0 || index >= panelCount()) return;
    panels_[index].text = text;
    update();
}

int TStatusBar::panelWidth(int index) const {
    return index >= 0 && index < panelCount() ? panels_[index].width : 0;
}

void TStatusBar::setSimpleText(const QString& text) {
    simpleText_ = text;
    update();
}

void TStatusBar::setSimplePanel(bool on) {
    simplePanel_ = on;
    update();
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    auto bevel = [&](const QRect& r) {
        p.setPen(shadow);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(light);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    };
    p.setPen(palette().color(QPalette::WindowText));
    if (simplePanel_) {
        const QRect r = rect().adjusted(0, 2, -1, -1);
        bevel(r);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft, simpleText_);
        return;
    }
    int x = 0;
    for (int i = 0; i < panelCount(); ++i) {
        const bool last = i == panelCount() - 1;
        const int w = last ? width() - x : panels_[i].width;
        const QRect r(x, 2, w - 2, height() - 3);
        bevel(r);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignVCenter | panels_[i].alignment, panels_[i].text);
        x += panels_[i].width;
    }
}

}  // namespace vandrex
