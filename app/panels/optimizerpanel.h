#pragma once
// The handset display PhoneLCDDisplay (the image view PhoneDisplayEncoder1,
// the i-mode logo, the status strip and the coding lamp NEC_Display_LED: the
// large i-mode display), PocketPC_LED, the page-size bar GIFSizeBar with
// ColorCountEdit beneath the display, and the GIF optimizer group
// OptimizerGroupBox with its buttons, fit lamps, frame lamps and GIFrameEdit.
// The GIF coding (UseLZW) is the display's image component's own setting.

#include <QObject>
#include <array>

#include "app/panels/windowmode.h"

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QToolButton;
class QWidget;

namespace vandrex {

class TGifOptimizer;
class TImageEnCore;
class TLED;
class TLEDLabel;
class TPhoneLCDDisplay;
struct TGifSizeDisplay;

// The optimizer's commands, in the order the group shows them.
enum class TOptimizerCommand {
    Undo, FlipHorizontal, FlipVertical, Rotate, GrayScale, Negative, ReduceColors, AutoEqualize,
    FitHorizontal, FitVertical, SwitchLzw, LoadPicture, InsertFrame, Fit10Kb
};

class TOptimizerPanel : public QObject {
    Q_OBJECT
public:
    TOptimizerPanel(QWidget* client, QObject* parent);

    // The handset has the large display (NEC_Display_LED lit).
    bool BigDisplay() const;
    // GIF coding of the snapshots: LZW, or the licence-free run-length coding.
    bool UseLZW() const;
    // PhoneDisplayEncoder1's picture.
    TImageEnCore& Encoder() const;
    void Layout(WindowMode mode);

    // The edits the optimizer reads.
    std::string ColorCountText() const;
    std::string FramesText() const;
    // Lamps, edits and the view as the optimizer's state says.
    void ShowState(const TGifOptimizer& state);
    void ShowColorCount(const std::string& count);
    // GIFSizeBar's position and hint (the warning lamp is the snapshot group's).
    void ShowSize(const TGifSizeDisplay& size);
    // A GIF is on the display: the lamp lit, the view in place of the logo.
    void ShowEncoder();
    // The timer shows the i-mode logo again when it stops.
    void ShowLogo();
    // The GIF choice: the logo in place of the display's picture.
    void ShowLogoOnly();
    // GIFSizeBar back to 0 with its start hint.
    void ResetSizeBar();
    // Snapshots go without LZW from now on (the lamp turns green).
    void SwitchLzwOff() { emit LzwSwitchedOff(); }

signals:
    void Command(vandrex::TOptimizerCommand command);
    // Another window mode switched the LZW coding off.
    void LzwSwitchedOff();

private:
    QToolButton* commandButton(const char* name, const QString& caption, const QString& hint, int x, int y, int w,
                               TOptimizerCommand command);

    TPhoneLCDDisplay* PhoneLCDDisplay = nullptr;
    TLED* PocketPC_LED = nullptr;
    QProgressBar* GIFSizeBar = nullptr;
    QLineEdit* ColorCountEdit = nullptr;
    QGroupBox* OptimizerGroupBox = nullptr;
    TLEDLabel* Fit_Hor_LED = nullptr;
    TLEDLabel* Fit_Vert_LED = nullptr;
    std::array<TLED*, 5> LED_Animation{};
    QLineEdit* GIFrameEdit = nullptr;
};

}  // namespace vandrex
