#include "app/panels/optimizerpanel.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>

#include "app/panels/builders.h"
#include "controls/ledlabel.h"
#include "imaging/gifoptimizer.h"
#include "imaging/phonedisplay.h"

namespace vandrex {

namespace {
const QString kSizeBarHint = QStringLiteral("i-mode page size [10 Kbyte = 10 Eurocent]");
}  // namespace

TOptimizerPanel::TOptimizerPanel(QWidget* c, QObject* parent) : QObject(parent) {
    // The display sits in the column the GIF layout opens right of the card.
    PhoneLCDDisplay = new TPhoneLCDDisplay(c);
    PhoneLCDDisplay->move(400, 4);
    PhoneLCDDisplay->NEC_Display_LED->setCaption(QStringLiteral("i-mode"));
    connect(PhoneLCDDisplay->NEC_Display_LED, &TLED::OnDblClick, this,
            [this] { emit Command(TOptimizerCommand::SwitchLzw); });
    connect(PhoneLCDDisplay->PhoneDisplayStatusLow, &TDoubleClickLabel::DoubleClicked, this,
            [this] { emit Command(TOptimizerCommand::LoadPicture); });
    PocketPC_LED = ui::Led(c, "PocketPC_LED", lcYellow, 266, 164, QStringLiteral("PocketPC target"));

    GIFSizeBar = ui::Named(new QProgressBar(c), "GIFSizeBar");
    GIFSizeBar->setGeometry(404, 178, 120, 10);
    GIFSizeBar->setRange(0, int(kGifPageLimit));
    GIFSizeBar->setValue(0);
    GIFSizeBar->setTextVisible(false);
    GIFSizeBar->setToolTip(kSizeBarHint);
    ColorCountEdit = ui::Edit(c, "ColorCountEdit", 404, 192, 36, QStringLiteral("Color Count"));
    ColorCountEdit->setText(QStringLiteral("256"));
    ColorCountEdit->setMaxLength(3);

    // Beneath the timer group, in the handset display's column.
    OptimizerGroupBox = ui::Group(c, "OptimizerGroupBox", QStringLiteral(" GIF Optimizer "), 400, 280, 152, 100);
    Fit_Hor_LED = ui::Named(new TLEDLabel(OptimizerGroupBox), "Fit_Hor_LED");
    Fit_Hor_LED->setGeometry(6, 14, 50, 17);
    Fit_Hor_LED->setCaption(QStringLiteral("Width"));
    Fit_Hor_LED->setColor(lcGreen);
    Fit_Hor_LED->setLit(true);
    Fit_Vert_LED = ui::Named(new TLEDLabel(OptimizerGroupBox), "Fit_Vert_LED");
    Fit_Vert_LED->setGeometry(58, 14, 52, 17);
    Fit_Vert_LED->setCaption(QStringLiteral("Height"));
    Fit_Vert_LED->setColor(lcGreen);
    for (int i = 1; i <= 5; ++i) {
        const QByteArray name = "LED_Animation_" + QByteArray::number(i);
        LED_Animation[i - 1] =
            ui::Led(OptimizerGroupBox, name.constData(), lcYellow, 6 + 14 * (i - 1), 37, QStringLiteral("Frame %1").arg(i));
    }
    GIFrameEdit = ui::Edit(OptimizerGroupBox, "GIFrameEdit", 78, 34, 16,
                           QStringLiteral("Number of frames in animation [Max: 5]"), 18);
    GIFrameEdit->setText(QStringLiteral("2"));
    GIFrameEdit->setMaxLength(1);
    commandButton("InsertFrameSButton", QStringLiteral("Frame"), QStringLiteral("Make animation with up to 5 frames"), 98,
                  34, 48, TOptimizerCommand::InsertFrame);

    struct TButton {
        const char* name;
        const char* caption;
        const char* hint;
        int width;
        TOptimizerCommand command;
    };
    static const TButton rows[] = {
        {"UndoSpeedButton", "Undo", "Undo Optimizer [1 level only]", 32, TOptimizerCommand::Undo},
        {"FlipHorizontalSButton", "H", "Flip Horizontal", 18, TOptimizerCommand::FlipHorizontal},
        {"FlipVerticalSButton", "V", "Flip Vertical", 18, TOptimizerCommand::FlipVertical},
        {"RotateSButton", "R", "Rotate", 18, TOptimizerCommand::Rotate},
        {"GrayScaleButton", "G", "Convert To Gray", 18, TOptimizerCommand::GrayScale},
        {"NegativeSButton", "N", "Show Negative", 18, TOptimizerCommand::Negative},
        {"ReduceColorSButton", "C", "Reduce Colors", 18, TOptimizerCommand::ReduceColors},
        {"AutoEqualizeSButton", "B", "Boost Dark levels", 18, TOptimizerCommand::AutoEqualize},
        {"FITHorizontalSButton", "W", "Fit Image to Display [Width: 128]", 18, TOptimizerCommand::FitHorizontal},
        {"FITVerticalSButton", "T", "Fit Image to Display [Height: 104/128]", 18, TOptimizerCommand::FitVertical},
    };
    int x = 6, y = 56;
    for (const TButton& b : rows) {
        if (x + b.width > 146) x = 6, y += 20;
        commandButton(b.name, QString::fromLatin1(b.caption), QString::fromLatin1(b.hint), x, y, b.width, b.command);
        x += b.width;
    }
    commandButton("Fit10KbButton", QStringLiteral("Fit 10 KB"), QStringLiteral("Fewest colours cut for a 10 KB page"),
                  x + 4, y, 146 - x - 4, TOptimizerCommand::Fit10Kb);
    OptimizerGroupBox->hide();
}

QToolButton* TOptimizerPanel::commandButton(const char* name, const QString& caption, const QString& hint, int x, int y,
                                            int w, TOptimizerCommand command) {
    QToolButton* b = ui::Speed(OptimizerGroupBox, name, caption, x, y, w, 18, hint);
    connect(b, &QToolButton::clicked, this, [this, command] { emit Command(command); });
    return b;
}

bool TOptimizerPanel::BigDisplay() const { return PhoneLCDDisplay->NEC_Display_LED->Lit(); }

bool TOptimizerPanel::UseLZW() const { return PhoneLCDDisplay->PhoneDisplayEncoder1->Core().IO.UseLZW; }

TImageEnCore& TOptimizerPanel::Encoder() const { return PhoneLCDDisplay->PhoneDisplayEncoder1->Core(); }

std::string TOptimizerPanel::ColorCountText() const { return ColorCountEdit->text().toStdString(); }

std::string TOptimizerPanel::FramesText() const { return GIFrameEdit->text().toStdString(); }

void TOptimizerPanel::ShowState(const TGifOptimizer& s) {
    PhoneLCDDisplay->SetCodingLamp(s.NecLit, s.NecRed, QString::fromStdString(s.NecHint));
    Fit_Hor_LED->setLit(s.FitHorLit);
    Fit_Vert_LED->setLit(s.FitVertLit);
    for (int i = 0; i < 5; ++i) LED_Animation[i]->setLit(s.AnimationLeds[i]);
    ShowColorCount(s.ColorCountText);
    GIFrameEdit->setText(QString::fromStdString(s.FramesText));
    PhoneLCDDisplay->PhoneDisplayEncoder1->update();
}

void TOptimizerPanel::ShowColorCount(const std::string& count) { ColorCountEdit->setText(QString::fromStdString(count)); }

void TOptimizerPanel::ShowSize(const TGifSizeDisplay& size) {
    GIFSizeBar->setValue(size.BarPosition);
    GIFSizeBar->setToolTip(QString::fromStdString(size.Hint));
    ShowColorCount(size.ColorCount);
}

void TOptimizerPanel::ShowEncoder() {
    PhoneLCDDisplay->ShowEncoder();
    PhoneLCDDisplay->PhoneDisplayEncoder1->update();
}

void TOptimizerPanel::ShowLogo() { PhoneLCDDisplay->i_mode_Logo->show(); }

void TOptimizerPanel::ShowLogoOnly() {
    PhoneLCDDisplay->PhoneDisplayEncoder1->hide();
    PhoneLCDDisplay->i_mode_Logo->show();
}

void TOptimizerPanel::ResetSizeBar() {
    GIFSizeBar->setValue(0);
    GIFSizeBar->setToolTip(kSizeBarHint);
}

void TOptimizerPanel::Layout(WindowMode mode) {
    switch (mode) {
    case WindowMode::Player:
        // Entering the player leaves recording behind; the snapshots go
        // without LZW from here.
        emit LzwSwitchedOff();
        OptimizerGroupBox->setVisible(true);
        break;
    case WindowMode::HtmlMail:
        PocketPC_LED->setVisible(!BigDisplay());
        OptimizerGroupBox->setVisible(true);
        break;
    case WindowMode::PhoneChat:
        emit LzwSwitchedOff();
        break;
    default:
        break;
    }
}

}  // namespace vandrex
