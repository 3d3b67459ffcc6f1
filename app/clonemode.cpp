#include "app/clonemode.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <utility>

#include "app/cardfiletool.h"
#include "app/mainwindow.h"
#include "controls/led.h"
#include "platform/applicationwindow.h"

namespace vandrex {

namespace {

const char* const kCardLabels[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6",
                                   "Label7", "Label8", "Label9", "Label10", "Label11"};
const char* const kCardEdits[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6",
                                  "Edit7", "Edit8", "Edit9", "Edit10", "Edit11"};

}  // namespace

TCloneMode::TCloneMode(TForm1* form) : QObject(form), form_(form) {
    fxCommTX1.SetRxWindowName(kFirstCopyTitle);
    fxCommRX1.OnCommReceived = [this](TfxCommRX* sender, const QString& text) {
        VandrexCommRXCommReceived(sender, text);
    };
    webSiteStartText_ = form_->control<QLineEdit>("WebSiteAddressEdit")->text();
    // The application window carries the title program entry gave it.
    ApplicationWindow().SetTitle(form_->Title());
}

void TCloneMode::setTitle(const QString& title) {
    form_->SetTitle(title);
    ApplicationWindow().SetTitle(title);
}

void TCloneMode::setEnabled(const char* name, bool enabled) {
    form_->control<QWidget>(name)->setEnabled(enabled);
}

void TCloneMode::BecomeFirstCopyOrClone() {
    // Re-activation (after a modal window) must not announce a running clone
    // twice, nor aim a first copy with clones at its own title.
    if (form_->Title() == kFirstCopyTitle && CloneCount > 0) return;
    if (form_->Title() == kCloneTitle) {
        fxCommTX1.SetRxWindowName(kFirstCopyTitle);
        fxCommTX1.SetActive(true);
        if (fxCommTX1.Active()) return;  // its first copy still runs
    }
    fxCommTX1.SetRxWindowName(kFirstCopyTitle);
    // The search must not find this copy itself.
    setTitle(kCloneTitle);
    fxCommTX1.Send(QStringLiteral("DJReady"));
    if (!fxCommTX1.Active()) setTitle(kFirstCopyTitle);
}

void TCloneMode::SendResetPlayer() { fxCommTX1.Send(QStringLiteral("ResetPlayer")); }

void TCloneMode::VandrexCommRXCommReceived(TfxCommRX*, const QString& sMessage) {
    TPlayerStandIn& player = form_->Real_Player_1;
    auto click = [this](const char* action) { form_->control<QAction>(action)->trigger(); };
    const std::pair<const char*, std::function<void()>> table[] = {
        {"DJReady", [this] { DJReady(); }},
        {"CloneMode", [this] { CloneMode(); }},
        {"DJAutoOff", [this] { setDJAuto(false); }},
        {"DJAutoOn", [this] { setDJAuto(true); }},
        {"ResetPlayer", [this] { ResetPlayer(); }},
        {"PauseTrack", [click] { click("PauseMix"); }},
        {"StopTrack", [click] { click("StopMix"); }},
        {"StartTrack", [click] { click("StartMix"); }},
        {"GoToNextTrack", [this] { GoToTrack(true); }},
        {"GoToPreviousTrack", [this] { GoToTrack(false); }},
        {"SetNextTrackReady", [&player] { player.SetHold(true); }},
        {"PlayNextReadyTrack", [&player] { player.SetHold(false); }},
        {"PlayTrack", [&player] { player.Play(); }},
        {"AddOneClone", [this] { AddOneClone(); }},
    };
    for (const auto& [name, action] : table)
        if (sMessage == QLatin1String(name)) action();
}

void TCloneMode::DJReady() {
    fxCommTX1.SetRxWindowName(kCloneTitle);
    setTitle(kFirstCopyTitle);
    form_->setWindowTitle(form_->Title() + kClonesCaptionTail);
    QAction* automatic = form_->control<QAction>("DJAutoMatic");
    automatic->setEnabled(true);
    automatic->setChecked(true);
    form_->control<QAction>("MixerAction")->setText(QStringLiteral("Player"));
    for (const char* name : {"Save", "Erase", "New", "Close"}) setEnabled(name, false);
    fxCommTX1.Send(QStringLiteral("CloneMode"));
}

void TCloneMode::CloneMode() {
    fxCommTX1.Send(QStringLiteral("AddOneClone"));
    QAction* automatic = form_->control<QAction>("DJAutoMatic");
    automatic->setEnabled(true);
    automatic->setChecked(true);
    form_->control<QAction>("MixerAction")->setText(QStringLiteral("Clone"));
    form_->setWindowTitle(QStringLiteral("Clone: ") + form_->InstanceNumber + QStringLiteral(" -> ") +
                          fxCommTX1.RxWindowName() + QStringLiteral(" / Database protection"));
    form_->control<QLineEdit>("WebSiteAddressEdit")
        ->setText(QStringLiteral("        You are clone ") + form_->InstanceNumber +
                  QStringLiteral(" -  You are violating privacy !"));
}

void TCloneMode::setDJAuto(bool automatic) {
    form_->control<QAction>("DJManual")->setChecked(!automatic);
    form_->control<QAction>("DJAutoMatic")->setChecked(automatic);
    form_->control<TLED>("LED_DJButton")->setLit(!automatic);
}

void TCloneMode::GoToTrack(bool next) {
    fxCommTX1.Send(QStringLiteral("SetNextTrackReady"));
    form_->Real_Player_1.SetHold(false);
    if (next)
        form_->Real_Player_1.NextItem();
    else
        form_->Real_Player_1.PrevItem();
}

void TCloneMode::showCloneCount() {
    if (form_->Title() != kFirstCopyTitle) return;
    const QString tail = CloneCount == 1 ? QStringLiteral(" Clone detected on same path. Do not close application !")
                                         : QStringLiteral(" Clones detected on same path. Do not close application !");
    form_->control<QLineEdit>("WebSiteAddressEdit")
        ->setText(QStringLiteral("      ") + QString::number(CloneCount) + tail);
}

void TCloneMode::AddOneClone() {
    ++CloneCount;
    showCloneCount();
}

void TCloneMode::ResetPlayer() {
    if (CloneCount > 1) {
        --CloneCount;
        showCloneCount();
        return;
    }
    if (CloneCount != 1) return;  // this copy's own message: nothing to undo

    fxCommTX1.SetRxWindowName(kFirstCopyTitle);
    setTitle(kFirstCopyTitle);
    form_->setWindowTitle(kNormalCaption);
    form_->control<QAction>("MixerAction")->setText(QStringLiteral("Player"));
    QAction* automatic = form_->control<QAction>("DJAutoMatic");
    form_->control<QAction>("DJManual")->setChecked(false);
    automatic->setChecked(false);
    form_->control<TLED>("LED_DJButton")->setLit(false);
    automatic->setEnabled(false);
    for (const char* name : {"Save", "Erase", "New", "Previous", "Next", "TrackBar1", "Connection",
                             "Close", "SendBtn"})
        setEnabled(name, true);
    QCheckBox* videoPhone = form_->control<QCheckBox>("VideoPhone");
    videoPhone->setEnabled(true);
    if (videoPhone->isChecked()) videoPhone->click();  // runs its click handler
    for (const char* name : kCardLabels) form_->control<QWidget>(name)->setVisible(true);
    for (const char* name : kCardEdits) form_->control<QWidget>(name)->setVisible(true);
    form_->control<QLineEdit>("WebSiteAddressEdit")->setText(webSiteStartText_);
    CloneCount = 0;

    // The clones stored and sorted the shared file meanwhile, so the card
    // number and the edits of this copy may no longer match it. Open the
    // file again as activation does, so that Store cannot overwrite a card
    // that moved.
    form_->Cards().OpenDatabase();
}

}  // namespace vandrex
