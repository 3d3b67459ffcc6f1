#include "app/cameratool.h"

#include "app/application.h"
#include "app/dataphonetool.h"
#include "app/mainwindow.h"
#include "app/panels/mailpanel.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "app/panels/phonepanel.h"
#include "app/panels/picturepanel.h"
#include "app/panels/realmediapanel.h"
#include "app/panels/snapshotpanel.h"
#include "app/panels/timerpanel.h"
#include "app/statusbar.h"
#include "imaging/captureinterface.h"
#include "imaging/timelapsetimers.h"
#include "platform/dialogs.h"
#include "telephony/lineinterface.h"

namespace vandrex {

namespace {
// The window's width in the GIF layout, which opens the handset display's column.
constexpr int kGifLayoutOuterWidth = 561;
}  // namespace

TCameraTool::TCameraTool(TForm1& form, const TPanels& panels, TTimerPanel& timerPanel, TCaptureInterface& capture,
                         TLineInterface& line)
    : QObject(&form),
      form_(form),
      p_(panels),
      timerPanel_(timerPanel),
      capture_(capture),
      line_(line),
      snapshot_(panels.Optimizer.Encoder()),
      optimizer_(panels.Optimizer.Encoder(), snapshot_) {
    TCaptureInterface* cap = &capture_;
    snapshot_.GrabToBitmap = [cap] {
        cap->SetSingleImageFile(QString::fromLatin1(kSnapshotBmp));
        return cap->GrabFrameNoStop() && cap->SaveFrameAsBitmap();
    };
    snapshot_.FitHorizontal = [this] { return optimizer_.FitHorLit; };
    snapshot_.GifChecked = [this] { return p_.Mail.PictureFormat() == TCaptureFormat::Gif; };
    snapshot_.ShowEncoder = [this] { showEncoder(); };
    snapshot_.ShowSize = [this](const TGifSizeDisplay& d) { showSize(d); };
    snapshot_.SetColorCount = [this](const std::string& count) {
        optimizer_.ColorCountText = count;
        p_.Optimizer.ShowColorCount(count);
    };
    snapshot_.SetStatus = [this](const std::string& text) { setStatus(text); };
    // BitmapDisplay shows the snapshot too, until a picture comes in.
    snapshot_.ShowBitmap = [this](const TBitmap& picture) { p_.Phone.ShowPicture(ToQImage(picture)); };
    snapshot_.PeerWanted = [this] { return p_.Mail.ChatChecked() && line_.Connected(); };
    snapshot_.SendToPeer = [this](const std::string& file) {
        ++dataPhoneSends_;
        if (SendToDataPhone) SendToDataPhone(file);
    };

    optimizer_.Changed = [this] { showState(); };
    optimizer_.ShowSize = [this](const TGifSizeDisplay& d) { showSize(d); };
    optimizer_.ChooseFile = [](const std::string& title, const std::string& filter) {
        FileDialogRequest request;
        request.title = QString::fromStdString(title);
        request.filter = QString::fromStdString(PipeFilterToQt(filter));
        return Dialogs().OpenFile(request).toStdString();
    };
    optimizer_.GifChecked = snapshot_.GifChecked;
    optimizer_.ShowEncoder = [this] { showEncoder(); };
    optimizer_.SetStatus = [this](const std::string& text) { setStatus(text); };
    optimizer_.ShowMessage = [](const std::string& text) { ShowMessage(QString::fromStdString(text)); };
    optimizer_.Beep = [] { Dialogs().Beep(); };

    rules_.SetTimerLamps = [this](bool lit) { p_.Snapshot.SetTimerLamps(lit); };
    rules_.SetTickLamp = [this](TTickLamp lamp) { p_.Snapshot.SetTickLampYellow(lamp == TTickLamp::Yellow); };
    rules_.ShowCamera = [this](bool visible) {
        p_.Picture.ShowCameraOnly(visible);
        if (visible) p_.Optimizer.ShowLogo();
    };
    rules_.ClearUploadName = [this] {
        if (TimerStarted) TimerStarted();
    };
    rules_.Busy = [this] { return TransferBusy && TransferBusy(); };
    rules_.Snapshot = [this] { snapshot_.Snapshot(); };
    rules_.BoostReduceAndWriteGif = [this] {
        optimizer_.TimeLapseGif();
        showSize(GifSizeDisplay(p_.Optimizer.Encoder().Proc.CalcImageNumColors()));
    };
    rules_.ClickFtp = [this] { p_.Mail.ClickFTPSButton(); };
    rules_.ClickRecorder = [this] { p_.RealMedia.ClickStartAudioSButton(); };
    // The timers set SetTimer and SetRealMediaTimer.
    timers_ = std::make_unique<TTimeLapseTimers>(rules_, this);
    timers_->Format = [this] { return p_.Mail.PictureFormat(); };
    timers_->DurationText = [this] { return timerPanel_.DurationText(); };
    // A modal box from a timer would pile up while nobody is there; the
    // reason goes to the status bar and the timer runs on.
    timers_->OnError = [this](const std::string& text) { setStatus(text); };

    connect(&p_.Snapshot, &TSnapshotPanel::ZozadiFotoBtn1Clicked, this, &TCameraTool::ZozadiFotoBtn1Click);
    connect(&p_.Optimizer, &TOptimizerPanel::Command, this, &TCameraTool::OptimizerCommand);
    connect(&p_.Optimizer, &TOptimizerPanel::LzwSwitchedOff, this, [this] {
        // The lamp keeps its lit state; only its colour and hint change.
        optimizer_.NecLit = p_.Optimizer.BigDisplay();
        optimizer_.SwitchLzwOff();
    });
    connect(&timerPanel_, &TTimerPanel::TimerSetButtonClicked, this, &TCameraTool::TimerSetButtonClick);
    connect(&timerPanel_, &TTimerPanel::TimerSpeedButtonClicked, this, &TCameraTool::TimerSpeedButtonClick);
}

TCameraTool::~TCameraTool() = default;

void TCameraTool::ZozadiFotoBtn1Click() {
    TApplication::Guard([this] { snapshot_.Snapshot(); });
}

void TCameraTool::OptimizerCommand(TOptimizerCommand command) {
    TApplication::Guard([this, command] {
        // The edits are the user's: read them as they stand now.
        optimizer_.ColorCountText = p_.Optimizer.ColorCountText();
        optimizer_.FramesText = p_.Optimizer.FramesText();
        optimizer_.NecLit = p_.Optimizer.BigDisplay();
        switch (command) {
        case TOptimizerCommand::Undo: optimizer_.UndoSpeedButtonClick(); break;
        case TOptimizerCommand::FlipHorizontal: optimizer_.FlipHorizontalSButtonClick(); break;
        case TOptimizerCommand::FlipVertical: optimizer_.FlipVerticalSButtonClick(); break;
        case TOptimizerCommand::Rotate: optimizer_.RotateSButtonClick(); break;
        case TOptimizerCommand::GrayScale: optimizer_.GrayScaleButtonClick(); break;
        case TOptimizerCommand::Negative: optimizer_.NegativeSButtonClick(); break;
        case TOptimizerCommand::ReduceColors: optimizer_.ReduceColorSButtonClick(); break;
        case TOptimizerCommand::AutoEqualize: optimizer_.AutoEqualizeSButtonClick(); break;
        case TOptimizerCommand::FitHorizontal: optimizer_.FITHorizontalSButtonClick(); break;
        case TOptimizerCommand::FitVertical: optimizer_.FITVerticalSButtonClick(); break;
        case TOptimizerCommand::SwitchLzw: optimizer_.NEC_Display_LEDDblClick(); break;
        case TOptimizerCommand::LoadPicture: optimizer_.PhoneDisplayStatusLowDblClick(); break;
        case TOptimizerCommand::InsertFrame: optimizer_.InsertFrameSButtonClick(); break;
        case TOptimizerCommand::Fit10Kb: optimizer_.Fit10KbClick(); break;
        }
        showState();
    });
}

void TCameraTool::TimerSetButtonClick() {
    TApplication::Guard([this] {
        const TTimeLapse::TValues v = TTimeLapse::SetValues({timerPanel_.IntervalText(), timerPanel_.DurationText()});
        timerPanel_.ShowValues(v.Interval, v.Duration);
    });
}

void TCameraTool::TimerSpeedButtonClick() {
    TApplication::Guard([this] { rules_.SpeedButtonClick(timerPanel_.IntervalText()); });
}

void TCameraTool::showState() { p_.Optimizer.ShowState(optimizer_); }

void TCameraTool::showSize(const TGifSizeDisplay& d) {
    optimizer_.ColorCountText = d.ColorCount;
    p_.Optimizer.ShowSize(d);
    p_.Snapshot.ShowSizeWarning(d.WarningLit);
}

void TCameraTool::setStatus(const std::string& text) { p_.ConnectStatus.setPanelText(0, QString::fromStdString(text)); }

void TCameraTool::showEncoder() {
    optimizer_.NecLit = true;
    p_.Optimizer.ShowEncoder();
    // The display stands in the column the GIF layout opens; a window still
    // at the narrow width shows it by widening.
    if (form_.width() + kFrameExtraWidth < kGifLayoutOuterWidth) form_.setFixedWidth(kGifLayoutOuterWidth - kFrameExtraWidth);
}

}  // namespace vandrex
