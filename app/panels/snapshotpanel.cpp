#include "app/panels/snapshotpanel.h"

#include <QGroupBox>
#include <QToolButton>

#include "app/panels/builders.h"

namespace vandrex {

TSnapshotPanel::TSnapshotPanel(QWidget* c, QObject* parent) : QObject(parent) {
    Zozadi = ui::Group(c, "Zozadi", QStringLiteral(" Cam "), 114, 284, 195, 44);
    ZozadiFotoBtn1 = ui::Speed(Zozadi, "ZozadiFotoBtn1", QStringLiteral("Snap"), 8, 16, 48, 22,
                               QStringLiteral("Take Snapshot [Send]"));
    LED_Timer = ui::Led(Zozadi, "LED_Timer", lcGreen, 62, 21, QStringLiteral("Timer Active Led"));
    LED_TimerActive = ui::Led(Zozadi, "LED_TimerActive", lcYellow, 80, 21, QStringLiteral("Timer Led"));
    GIFSize_LED = ui::Led(Zozadi, "GIFSize_LED", lcRed, 98, 21,
                          QStringLiteral("Page size warning led [GIF to big - reduce size]"));
    LED_i_modeGIF = ui::Led(Zozadi, "LED_i_modeGIF", lcYellow, 116, 21, QStringLiteral("FTP connection"));
    connect(ZozadiFotoBtn1, &QToolButton::clicked, this, &TSnapshotPanel::ZozadiFotoBtn1Clicked);
    Zozadi->hide();
}

void TSnapshotPanel::SetTimerLamps(bool lit) {
    LED_Timer->setLit(lit);
    LED_TimerActive->setLit(lit);
}

void TSnapshotPanel::SetTickLampYellow(bool yellow) { LED_TimerActive->setColor(yellow ? lcYellow : lcRed); }

bool TSnapshotPanel::TimerLampLit() const { return LED_Timer->Lit(); }

void TSnapshotPanel::ShowSizeWarning(bool lit) { GIFSize_LED->setLit(lit); }

void TSnapshotPanel::Layout(WindowMode mode) {
    if (mode == WindowMode::Player) return;
    Zozadi->setTitle(QStringLiteral(" Cam "));
    Zozadi->setVisible(IsHtmlMode(mode));
}

bool TSnapshotPanel::TimerLit() const { return LED_Timer->Lit(); }

void TSnapshotPanel::SetSnapshotEnabled(bool enabled) { ZozadiFotoBtn1->setEnabled(enabled); }

}  // namespace vandrex
