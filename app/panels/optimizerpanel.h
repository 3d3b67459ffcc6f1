#pragma once
// The handset display lamps (NEC_Display_LED: the large i-mode display;
// PocketPC_LED) and the GIF optimizer group OptimizerGroupBox with its fit
// lamps and animation frame lamps. Owns the GIF coding choice UseLZW.

#include <QObject>
#include <array>

#include "app/panels/windowmode.h"

class QGroupBox;
class QWidget;

namespace vandrex {

class TLED;
class TLEDLabel;

class TOptimizerPanel : public QObject {
    Q_OBJECT
public:
    TOptimizerPanel(QWidget* client, QObject* parent);

    // The handset has the large display (NEC_Display_LED lit).
    bool BigDisplay() const;
    // GIF coding of the snapshots: LZW, or the licence-free run-length coding.
    bool UseLZW() const { return useLZW_; }
    void Layout(WindowMode mode);

private:
    TLEDLabel* NEC_Display_LED = nullptr;
    TLED* PocketPC_LED = nullptr;
    QGroupBox* OptimizerGroupBox = nullptr;
    TLEDLabel* Fit_Hor_LED = nullptr;
    TLEDLabel* Fit_Vert_LED = nullptr;
    std::array<TLED*, 5> LED_Animation{};
    bool useLZW_ = true;
};

}  // namespace vandrex
