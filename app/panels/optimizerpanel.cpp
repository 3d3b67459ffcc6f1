#include "app/panels/optimizerpanel.h"

#include <QGroupBox>

#include "app/panels/builders.h"
#include "controls/ledlabel.h"

namespace vandrex {

TOptimizerPanel::TOptimizerPanel(QWidget* c, QObject* parent) : QObject(parent) {
    NEC_Display_LED = ui::Named(new TLEDLabel(c), "NEC_Display_LED");
    NEC_Display_LED->setGeometry(202, 162, 60, 17);
    NEC_Display_LED->setCaption(QStringLiteral("i-mode"));
    NEC_Display_LED->setColor(lcGreen);
    NEC_Display_LED->setToolTip(QStringLiteral("Non LZW Compression / Requires no License."));
    PocketPC_LED = ui::Led(c, "PocketPC_LED", lcYellow, 266, 164, QStringLiteral("PocketPC target"));

    OptimizerGroupBox = ui::Group(c, "OptimizerGroupBox", QStringLiteral(" GIF Optimizer "), 4, 328, 228, 32);
    Fit_Hor_LED = ui::Named(new TLEDLabel(OptimizerGroupBox), "Fit_Hor_LED");
    Fit_Hor_LED->setGeometry(6, 13, 50, 17);
    Fit_Hor_LED->setCaption(QStringLiteral("Width"));
    Fit_Hor_LED->setColor(lcGreen);
    Fit_Hor_LED->setLit(true);
    Fit_Vert_LED = ui::Named(new TLEDLabel(OptimizerGroupBox), "Fit_Vert_LED");
    Fit_Vert_LED->setGeometry(58, 13, 52, 17);
    Fit_Vert_LED->setCaption(QStringLiteral("Height"));
    Fit_Vert_LED->setColor(lcGreen);
    for (int i = 1; i <= 5; ++i) {
        const QByteArray name = "LED_Animation_" + QByteArray::number(i);
        LED_Animation[i - 1] =
            ui::Led(OptimizerGroupBox, name.constData(), lcYellow, 112 + 16 * i, 15, QStringLiteral("Frame %1").arg(i));
    }
    OptimizerGroupBox->hide();
}

bool TOptimizerPanel::BigDisplay() const { return NEC_Display_LED->Lit(); }

void TOptimizerPanel::Layout(WindowMode mode) {
    switch (mode) {
    case WindowMode::Player:
        // Entering the player leaves recording behind; the snapshots go
        // without LZW from here.
        useLZW_ = false;
        OptimizerGroupBox->setVisible(true);
        break;
    case WindowMode::HtmlMail:
        PocketPC_LED->setVisible(!BigDisplay());
        break;
    case WindowMode::PhoneChat:
        useLZW_ = false;
        break;
    default:
        break;
    }
}

}  // namespace vandrex
