#include "platform/capturewindow.h"

#include <QImage>
#include <QPainter>

#include "platform/capturedialogs.h"

namespace vandrex {

TCaptureWindow::TCaptureWindow(QWidget* parent) : QWidget(parent), device_(this) {
    setObjectName("CaptureWindow");
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&device_, &TCaptureDevice::FrameShown, this, qOverload<>(&QWidget::update));
}

void TCaptureWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const TFramePtr frame = device_.CurrentFrame();
    if (!frame) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QImage image(frame->Pixels.data(), frame->Width, frame->Height, frame->Width * 3, QImage::Format_BGR888);
    if (device_.Scale()) {
        painter.drawImage(rect(), image);
    } else {
        painter.fillRect(rect(), Qt::black);
        painter.drawImage(QPoint(0, 0), image);
    }
    ++painted_;
}

template <class Dialog>
static bool Run(TCaptureDevice& device, QWidget* parent) {
    if (!device.Connected()) return false;
    Dialog dialog(device, parent);
    return dialog.exec() == QDialog::Accepted && dialog.Apply();
}

bool TCaptureWindow::DlgVideoFormat() { return Run<TVideoFormatDialog>(device_, this); }
bool TCaptureWindow::DlgVideoSource() { return Run<TVideoSourceDialog>(device_, this); }
bool TCaptureWindow::DlgVideoDisplay() { return Run<TVideoDisplayDialog>(device_, this); }
bool TCaptureWindow::DlgVideoCompression() { return Run<TVideoCompressionDialog>(device_, this); }

}  // namespace vandrex
