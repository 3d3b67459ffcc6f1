#include "app/panels/picturepanel.h"

#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>

#include "app/panels/builders.h"

namespace vandrex {

TPicturePanel::TPicturePanel(QWidget* c, QObject* parent) : QObject(parent) {
    Picture = ui::Group(c, "Picture", QString(), 196, 0, 192, 282);
    Image2 = ui::Named(new QLabel(c), "Image2");
    Image2->setGeometry(202, 4, 16, 16);
    Image2->setText(QStringLiteral("i"));
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setFrameShape(QFrame::Panel);
    Image2->setToolTip(QStringLiteral("Double-click for help"));
    Image2->installEventFilter(this);
    Image3 = ui::Named(new QLabel(c), "Image3");
    Image3->setGeometry(222, 4, 16, 16);
    Image3->setFrameShape(QFrame::Panel);
    Image1 = ui::Picture(c, "Image1", 199, 23, 178, 136, QStringLiteral("Line icon"));
    VideoCap1 = ui::Picture(c, "VideoCap1", 199, 23, 178, 136, QStringLiteral("Capture monitor"));
    VideoCap1->hide();
    Rec_Image1 = ui::Picture(c, "Rec_Image1", 356, 4, 16, 16);
    Rec_Image1->hide();
    SDCard_Image = ui::Picture(c, "SDCard_Image", 202, 165, 32, 32);
    SDCard_Image->hide();
}

bool TPicturePanel::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Image2 && e->type() == QEvent::MouseButtonDblClick) {
        emit Image2DblClicked();
        return true;
    }
    return QObject::eventFilter(watched, e);
}

void TPicturePanel::ShowInstanceNumber(const QString& number) { Image3->setToolTip(number); }

void TPicturePanel::ShowCaptureMonitor(bool on) {
    VideoCap1->setVisible(on);
    Image1->setVisible(!on);
    if (on) Rec_Image1->setVisible(true);
}

void TPicturePanel::SetCaptureMonitor(QWidget* monitor) {
    if (!monitor) return;
    monitor->setParent(VideoCap1->parentWidget());
    monitor->setGeometry(VideoCap1->geometry());
    monitor->setVisible(VideoCap1->isVisible());
    monitor->setObjectName(QStringLiteral("VideoCap1"));
    monitor->stackUnder(VideoCap1);
    delete VideoCap1;
    VideoCap1 = monitor;
}

void TPicturePanel::ShowCameraOnly(bool visible) { VideoCap1->setVisible(visible); }

void TPicturePanel::Layout(WindowMode mode) {
    if (mode == WindowMode::TextMail) Picture->setVisible(true);
}

void TPicturePanel::PlaceCamera(int left, int top, bool front) {
    VideoCap1->move(left, top);
    if (front) VideoCap1->raise();
}

}  // namespace vandrex
