#include "app/panels/probepanel.h"

#include <QCheckBox>
#include <QGroupBox>

#include "app/panels/builders.h"

namespace vandrex {

TProbePanel::TProbePanel(QWidget* c, QObject* parent) : QObject(parent) {
    Probe_GroupBox = ui::Group(c, "Probe_GroupBox", QStringLiteral(" Probe "), 4, 328, 228, 32,
                               QStringLiteral("Probe is a UDP/TCP Phone Tool !"));
    Probe_LED = ui::Led(Probe_GroupBox, "Probe_LED", lcRed, 8, 12, QStringLiteral("Capture in Progress"));
    Probe_GroupBox->hide();
    Timer_ProbeBox = ui::Check(c, "Timer_ProbeBox", QStringLiteral("Probe"), 316, 326, 70,
                               QStringLiteral("Send Video by UDP/TCP  [Caution !]"));
    Timer_ProbeBox->hide();
}

void TProbePanel::Layout(WindowMode mode) {
    if (mode != WindowMode::Player) return;
    Probe_LED->setLit(false);
    Probe_GroupBox->setVisible(false);
    Timer_ProbeBox->setChecked(false);
}

bool TProbePanel::ProbeChecked() const { return Timer_ProbeBox->isChecked(); }

}  // namespace vandrex
