#pragma once
// TCaptureWindow: the child window a capture component connects a driver to.
// It shows the current frame (stretched to the window when scaling is on,
// else at its own size from the top left), leaves mouse input to its parent,
// and answers the requests of the component through its TCaptureDevice and
// the four driver dialogs.

#include <QWidget>

#include "platform/capturedevice.h"

namespace vandrex {

class TCaptureWindow : public QWidget {
    Q_OBJECT
public:
    explicit TCaptureWindow(QWidget* parent);

    TCaptureDevice& Device() { return device_; }

    // The driver dialogs; true when the user confirmed and the settings took.
    bool DlgVideoFormat();
    bool DlgVideoSource();
    bool DlgVideoDisplay();
    bool DlgVideoCompression();

    // Frames painted since the window was made.
    int PaintedFrames() const { return painted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TCaptureDevice device_;
    int painted_ = 0;
};

}  // namespace vandrex
