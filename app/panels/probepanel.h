#pragma once
// The stream probe: the group Probe_GroupBox with its lamp Probe_LED and the
// switch Timer_ProbeBox. It shares its place with the GIF optimizer.

#include <QObject>

#include "app/panels/windowmode.h"

class QCheckBox;
class QGroupBox;
class QWidget;

namespace vandrex {

class TLED;

class TProbePanel : public QObject {
    Q_OBJECT
public:
    TProbePanel(QWidget* client, QObject* parent);
    void Layout(WindowMode mode);
    // The check box "Probe".
    bool ProbeChecked() const;
    void UncheckProbe();

private:
    QGroupBox* Probe_GroupBox = nullptr;
    TLED* Probe_LED = nullptr;
    QCheckBox* Timer_ProbeBox = nullptr;
};

}  // namespace vandrex
