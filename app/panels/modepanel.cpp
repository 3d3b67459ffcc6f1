#include "app/panels/modepanel.h"

#include <QCheckBox>

#include "app/panels/builders.h"

namespace vandrex {

TModePanel::TModePanel(QWidget* c, QObject* parent) : QObject(parent) {
    CheckBox1 = ui::Check(c, "CheckBox1", QStringLiteral("Player"), 316, 290, 70, QStringLiteral("Player mode"));
    VideoPhone = ui::Check(c, "VideoPhone", QStringLiteral("HTML"), 316, 308, 70,
                           QStringLiteral("Enable HTML [i-mode] with RealMedia"));
    connect(CheckBox1, &QCheckBox::toggled, this, &TModePanel::CheckBox1Clicked);
    connect(VideoPhone, &QCheckBox::toggled, this, &TModePanel::VideoPhoneClicked);
}

bool TModePanel::PlayerMode() const { return CheckBox1->isChecked(); }
bool TModePanel::HtmlMode() const { return VideoPhone->isChecked(); }

void TModePanel::EnablePlayerSwitch() { CheckBox1->setEnabled(true); }

void TModePanel::Layout(WindowMode mode, const TCloneState& clone) {
    if (mode == WindowMode::Player) {
        CheckBox1->setEnabled(false);
        CheckBox1->setVisible(false);
        return;
    }
    CheckBox1->setVisible(true);
    VideoPhone->setVisible(true);
    // A clone may not leave text mail mode; chat and FTP settings are left
    // through their own boxes first.
    VideoPhone->setEnabled(!clone.IsClone && mode != WindowMode::PhoneChat && mode != WindowMode::FtpSettings);
}

void TModePanel::LeavePlayerMode() {
    CheckBox1->setEnabled(true);
    CheckBox1->setChecked(false);
}

void TModePanel::UnlockAfterClones() {
    VideoPhone->setEnabled(true);
    if (VideoPhone->isChecked()) VideoPhone->click();
}

}  // namespace vandrex
