#include "platform/capturedialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace vandrex {

namespace {

// OK and Cancel under a form; returns the form.
QFormLayout* Frame(QDialog& dialog, const QString& title, const QString& name) {
    dialog.setWindowTitle(title);
    dialog.setObjectName(name);
    auto* outer = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    outer->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setObjectName("Buttons");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    outer->addWidget(buttons);
    return form;
}

}  // namespace

TVideoFormatDialog::TVideoFormatDialog(TCaptureDevice& device, QWidget* parent)
    : QDialog(parent), device_(device), sizes_(device.FrameSizes()) {
    QFormLayout* form = Frame(*this, tr("Video Format"), "VideoFormatDialog");
    form->addRow(tr("Driver:"), new QLabel(QString::fromStdString(device.Driver().Name), this));
    SizeBox = new QComboBox(this);
    SizeBox->setObjectName("SizeBox");
    const TFrameSize current = device.FrameSize();
    for (const TFrameSize s : sizes_) {
        SizeBox->addItem(QStringLiteral("%1 x %2").arg(s.Width).arg(s.Height));
        if (s == current) SizeBox->setCurrentIndex(SizeBox->count() - 1);
    }
    form->addRow(tr("Image size:"), SizeBox);
    form->addRow(tr("Pixel format:"), new QLabel(tr("24-bit RGB"), this));
}

bool TVideoFormatDialog::Apply() {
    const int i = SizeBox->currentIndex();
    if (i < 0 || std::size_t(i) >= sizes_.size()) return false;
    if (sizes_[std::size_t(i)] == device_.FrameSize()) return true;
    return device_.SetFrameSize(sizes_[std::size_t(i)]);
}

TVideoSourceDialog::TVideoSourceDialog(TCaptureDevice& device, QWidget* parent) : QDialog(parent), device_(device) {
    QFormLayout* form = Frame(*this, tr("Video Source"), "VideoSourceDialog");
    form->addRow(tr("Driver:"), new QLabel(QString::fromStdString(device.Driver().Name), this));
    for (const TCaptureControl& c : device.Controls()) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QString::fromStdString(c.Name));
        box->setRange(c.Minimum, c.Maximum);
        box->setSingleStep(c.Step);
        box->setValue(c.Value);
        form->addRow(QString::fromStdString(c.Name) + ":", box);
        Boxes.emplace_back(c.Id, box);
    }
}

bool TVideoSourceDialog::Apply() {
    bool ok = true;
    for (const auto& [id, box] : Boxes) ok = device_.SetControl(id, box->value()) && ok;
    return ok;
}

TVideoDisplayDialog::TVideoDisplayDialog(TCaptureDevice& device, QWidget* parent) : QDialog(parent), device_(device) {
    QFormLayout* form = Frame(*this, tr("Video Display"), "VideoDisplayDialog");
    ScaleBox = new QCheckBox(tr("Stretch the preview to the window"), this);
    ScaleBox->setObjectName("ScaleBox");
    ScaleBox->setChecked(device.Scale());
    form->addRow(ScaleBox);
    RateBox = new QSpinBox(this);
    RateBox->setObjectName("RateBox");
    RateBox->setRange(1, 30);
    RateBox->setValue(std::clamp(int(std::lround(1000.0 / std::max(1, device.PreviewRateMs()))), 1, 30));
    form->addRow(tr("Preview frames per second:"), RateBox);
}

bool TVideoDisplayDialog::Apply() {
    return device_.SetScale(ScaleBox->isChecked()) &&
           device_.SetPreviewRate(int(std::lround(1000.0 / RateBox->value())));
}

TVideoCompressionDialog::TVideoCompressionDialog(TCaptureDevice& device, QWidget* parent)
    : QDialog(parent), device_(device) {
    QFormLayout* form = Frame(*this, tr("Video Compression"), "VideoCompressionDialog");
    CodecBox = new QComboBox(this);
    CodecBox->setObjectName("CodecBox");
    CodecBox->addItem(tr("Motion JPEG"));
    form->addRow(tr("Compressor:"), CodecBox);
    QualityBox = new QSpinBox(this);
    QualityBox->setObjectName("QualityBox");
    QualityBox->setRange(1, 100);
    QualityBox->setValue(device.Quality());
    form->addRow(tr("Quality:"), QualityBox);
}

bool TVideoCompressionDialog::Apply() { return device_.SetQuality(QualityBox->value()); }

}  // namespace vandrex
