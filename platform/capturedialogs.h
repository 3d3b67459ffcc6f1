#pragma once
// The driver dialogs of a capture window: video format (frame size), video
// source (picture controls), display (preview scaling and rate) and
// compression (codec and quality). Each is a plain QDialog whose controls
// carry object names, so tests can fill and confirm it; confirming applies
// the values to the device.

#include <QDialog>

#include "platform/capturedevice.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace vandrex {

class TVideoFormatDialog : public QDialog {
    Q_OBJECT
public:
    TVideoFormatDialog(TCaptureDevice& device, QWidget* parent);
    bool Apply();
    QComboBox* SizeBox = nullptr;  // "SizeBox": "640 x 480" …

private:
    TCaptureDevice& device_;
    std::vector<TFrameSize> sizes_;
};

class TVideoSourceDialog : public QDialog {
    Q_OBJECT
public:
    TVideoSourceDialog(TCaptureDevice& device, QWidget* parent);
    bool Apply();
    // One spin box per control, named after it ("Brightness" …).
    std::vector<std::pair<std::uint32_t, QSpinBox*>> Boxes;

private:
    TCaptureDevice& device_;
};

class TVideoDisplayDialog : public QDialog {
    Q_OBJECT
public:
    TVideoDisplayDialog(TCaptureDevice& device, QWidget* parent);
    bool Apply();
    QCheckBox* ScaleBox = nullptr;  // "ScaleBox"
    QSpinBox* RateBox = nullptr;    // "RateBox": preview frames per second 1..30

private:
    TCaptureDevice& device_;
};

class TVideoCompressionDialog : public QDialog {
    Q_OBJECT
public:
    TVideoCompressionDialog(TCaptureDevice& device, QWidget* parent);
    bool Apply();
    QComboBox* CodecBox = nullptr;  // "CodecBox": the one codec, Motion JPEG
    QSpinBox* QualityBox = nullptr; // "QualityBox": 1..100

private:
    TCaptureDevice& device_;
};

}  // namespace vandrex
