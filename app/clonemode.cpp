#include "app/clonemode.h"

#include <QRandomGenerator>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/cardfiletool.h"
#include "app/mainwindow.h"
#include "app/panels/cardpanel.h"
#include "app/panels/mailpanel.h"
#include "app/panels/modepanel.h"
#include "app/panels/panels.h"
#include "app/panels/playerpanel.h"
#include "media/playerinterface.h"

namespace vandrex {

TCloneMode::TCloneMode(TForm1& form, const TPanels& panels, TPlayerInterface& player, TCardFileTool& cards,
                       TMessageTransport& transport)
    : QObject(&form), form_(form), p_(panels), player_(player), cards_(cards), transport_(transport),
      fxCommTX1(transport), fxCommRX1(transport) {
    cloneCheck_.setInterval(2000);
    connect(&cloneCheck_, &QTimer::timeout, this, &TCloneMode::CheckClones);
    fxCommTX1.SetRxWindowName(kFirstCopyTitle);
    fxCommRX1.OnCommReceived = [this](TfxCommRX* sender, const QString& text) {
        VandrexCommRXCommReceived(sender, text);
    };
    // The copy is announced under the first-copy title only once activation
    // has decided it is the first copy: a copy still starting must never be
    // taken for the first copy by another one starting beside it.
}

bool TCloneMode::IsClone() const { return form_.Title() != kFirstCopyTitle; }

QString TCloneMode::DrawInstanceNumber() {
    instanceNumber_ = QString::number(QRandomGenerator::global()->bounded(99999999));
    return instanceNumber_;
}

void TCloneMode::setTitle(const QString& title) { form_.SetTitle(title); }

void TCloneMode::BecomeFirstCopyOrClone() {
    // Re-activation (after a modal window) must not announce a running clone
    // twice, nor aim a first copy with clones at its own title.
    if (!IsClone() && cloneCount_ > 0) return;
    if (IsClone()) {
        fxCommTX1.SetRxWindowName(kFirstCopyTitle);
        fxCommTX1.SetActive(true);
        if (fxCommTX1.Active()) return;  // its first copy still runs
    }
    fxCommTX1.SetRxWindowName(kFirstCopyTitle);
    // Copies starting together decide one after the other, from the search
    // until the title is set.
    const std::shared_ptr<void> decision = transport_.LockCopyDecision();
    // The search must not find this copy itself.
    setTitle(kCloneTitle);
    fxCommTX1.Send(QStringLiteral("DJReady"));
    if (!fxCommTX1.Active()) setTitle(kFirstCopyTitle);
}

void TCloneMode::SendResetPlayer() { fxCommTX1.Send(QStringLiteral("ResetPlayer")); }

void TCloneMode::VandrexCommRXCommReceived(TfxCommRX*, const QString& sMessage) {
    TPlayerPanel& mixer = p_.Player;
    TPlayerInterface& player = player_;
    const std::pair<const char*, std::function<void()>> table[] = {
        {"DJReady", [this] { DJReady(); }},
        {"CloneMode", [this] { CloneMode(); }},
        {"DJAutoOff", [&mixer] { mixer.SetDJAuto(false); }},
        {"DJAutoOn", [&mixer] { mixer.SetDJAuto(true); }},
        {"ResetPlayer", [this] { ResetPlayer(); }},
        {"PauseTrack", [&mixer] { mixer.PauseMixClick(); }},
        {"StopTrack", [&mixer] { mixer.StopMixClick(); }},
        {"StartTrack", [&mixer] { mixer.StartMixClick(); }},
        {"GoToNextTrack", [this] { GoToTrack(true); }},
        {"GoToPreviousTrack", [this] { GoToTrack(false); }},
        {"SetNextTrackReady", [&player] { player.PlayerSetHold(true); }},
        {"PlayNextReadyTrack", [&player] { player.PlayerSetHold(false); }},
        {"PlayTrack", [&player] { player.PlayerPlay(); }},
        {"AddOneClone", [this] { AddOneClone(); }},
    };
    for (const auto& [name, action] : table)
        if (sMessage == QLatin1String(name)) action();
}

void TCloneMode::DJReady() {
    fxCommTX1.SetRxWindowName(kCloneTitle);
    setTitle(kFirstCopyTitle);
    form_.setWindowTitle(form_.Title() + kClonesCaptionTail);
    p_.Player.OfferDJAuto(QStringLiteral("Player"));
    p_.Card.LockForClones();
    fxCommTX1.SetActive(true);
    const TWindowHandle clone = fxCommTX1.Target();
    const qint32 before = cloneCount_;
    fxCommTX1.Send(QStringLiteral("CloneMode"));
    if (cloneCount_ > before && !clone.IsNull()) {
        if (std::find(answeredClones_.begin(), answeredClones_.end(), clone) == answeredClones_.end())
            answeredClones_.push_back(clone);
        cloneCheck_.start();
    }
}

void TCloneMode::CheckClones() {
    // An empty text matches no message: a live clone answers and ignores it.
    const TCommBlock ping = TfxCommTX::MakeBlock(QString());
    TCopyDataStruct data;
    data.cbData = ping.cbData;
    data.lpData = ping.buffer.data();
    // Messages handled while a check waits may change the list (a clone's
    // "ResetPlayer"), and a timer may fire inside the wait.
    if (checkingClones_) return;
    checkingClones_ = true;
    const std::vector<TWindowHandle> watched = answeredClones_;
    std::vector<TWindowHandle> gone;
    for (const TWindowHandle& clone : watched)
        if (!transport_.SendCopyData(clone, data)) gone.push_back(clone);
    checkingClones_ = false;
    if (gone.empty()) return;
    std::erase_if(answeredClones_, [&gone](const TWindowHandle& h) {
        return std::find(gone.begin(), gone.end(), h) != gone.end();
    });
    // A clone that closed normally was counted out by its own message
    // already; only the count above the clones still there is undone.
    while (cloneCount_ > static_cast<qint32>(answeredClones_.size())) ResetPlayer();
}

void TCloneMode::CloneMode() {
    fxCommTX1.Send(QStringLiteral("AddOneClone"));
    p_.Player.OfferDJAuto(QStringLiteral("Clone"));
    form_.setWindowTitle(QStringLiteral("Clone: ") + instanceNumber_ + QStringLiteral(" -> ") +
                         fxCommTX1.RxWindowName() + QStringLiteral(" / Database protection"));
    p_.Mail.ShowWebSiteNotice(QStringLiteral("        You are clone ") + instanceNumber_ +
                              QStringLiteral(" -  You are violating privacy !"));
}

void TCloneMode::GoToTrack(bool next) {
    fxCommTX1.Send(QStringLiteral("SetNextTrackReady"));
    player_.PlayerSetHold(false);
    if (next)
        player_.PlayerNextItem();
    else
        player_.PlayerPrevItem();
}

void TCloneMode::showCloneCount() {
    if (IsClone()) return;
    const QString tail = cloneCount_ == 1
                             ? QStringLiteral(" Clone detected on same path. Do not close application !")
                             : QStringLiteral(" Clones detected on same path. Do not close application !");
    p_.Mail.ShowWebSiteNotice(QStringLiteral("      ") + QString::number(cloneCount_) + tail);
}

void TCloneMode::AddOneClone() {
    ++cloneCount_;
    showCloneCount();
}

void TCloneMode::ResetPlayer() {
    if (cloneCount_ > 1) {
        --cloneCount_;
        showCloneCount();
        return;
    }
    if (cloneCount_ != 1) return;  // this copy's own message: nothing to undo

    fxCommTX1.SetRxWindowName(kFirstCopyTitle);
    setTitle(kFirstCopyTitle);
    form_.setWindowTitle(kNormalCaption);
    p_.Player.ResetDJ();
    p_.Card.UnlockAfterClones();
    p_.Mail.UnlockAfterClones();
    p_.Switches.UnlockAfterClones();  // runs VideoPhone's click handler when it was checked
    cloneCount_ = 0;
    answeredClones_.clear();
    cloneCheck_.stop();
    // The file is not read again: the edits and the card shown are the
    // user's. Store follows a card another copy moved and refuses one it
    // changed, so nothing is overwritten unseen.
}

}  // namespace vandrex
