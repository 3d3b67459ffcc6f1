#include "app/windowmodes.h"

#include "app/cardfiletool.h"
#include "app/clonemode.h"
#include "app/mainwindow.h"
#include "app/panels/cardpanel.h"
#include "app/panels/mailpanel.h"
#include "app/panels/mainmenu.h"
#include "app/panels/modepanel.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "app/panels/phonepanel.h"
#include "app/panels/picturepanel.h"
#include "app/panels/playerpanel.h"
#include "app/panels/probepanel.h"
#include "app/panels/realmediapanel.h"
#include "app/panels/snapshotpanel.h"
#include "app/panels/timerpanel.h"
#include "app/statusbar.h"
#include "telephony/lineinterface.h"

namespace vandrex {

TWindowModes::TWindowModes(TForm1& form, const TPanels& panels, TCardFileTool& cards, TCloneMode& clones,
                           TLineInterface& line)
    : form_(form), p_(panels), cards_(cards), clones_(clones), line_(line) {}

WindowMode TWindowModes::selectedMode() const {
    if (p_.Switches.PlayerMode()) return WindowMode::Player;
    if (!p_.Switches.HtmlMode()) return WindowMode::TextMail;
    if (p_.Mail.ChatChecked()) return WindowMode::PhoneChat;
    if (p_.Mail.FtpChecked()) return WindowMode::FtpSettings;
    return WindowMode::HtmlMail;
}

void TWindowModes::ShowCard() {
    const TCardDatabase& db = cards_.Database();
    const WindowMode mode = selectedMode();
    const TCloneState clone = clones_.State();
    // 1. Player mode: its layout and the card number; the edits keep their texts.
    if (mode == WindowMode::Player) {
        layout(mode, clone);
        p_.Card.ShowNumber(db.CardIndex);
        return;
    }
    // 2. The card side.
    p_.Player.ShowCardSide();
    p_.Mail.ShowCardSide(p_.Optimizer.BigDisplay());
    p_.Switches.EnablePlayerSwitch();
    // 3. Card commands by clone state.
    p_.Card.ApplyCloneState(clone.IsClone);
    p_.Mail.ApplyCloneState(clone.IsClone);
    // 4. The card, its copies for the phone and mail tools, its number.
    p_.Card.Show(db.CardBuffer);
    copyCardToTools();
    p_.Card.ShowNumber(db.CardIndex);
    // 5. The mail signature.
    p_.Mail.ResetSignature();
    // 6-7. The common layout and the mode's.
    layout(mode, clone);
}

void TWindowModes::copyCardToTools() {
    const QString phone = p_.Card.Text(CardField::Phone);
    const QString mail = p_.Card.Text(CardField::EMail);
    p_.Phone.ShowRecipient(p_.Card.Text(CardField::LastName), phone, mail);
    line_.SetPhoneNumber(phone);
    p_.Mail.SetRecipientAddress(mail);
}

void TWindowModes::layout(WindowMode mode, const TCloneState& clone) {
    mode_ = mode;
    if (mode == WindowMode::Player)
        form_.SetFormSize(400, 339);
    else
        form_.SetFormSize(400, 655);
    p_.Menu.Layout(mode);
    p_.Picture.Layout(mode);
    p_.Card.Layout(mode, clone);
    p_.Switches.Layout(mode, clone);
    p_.Phone.Layout(mode);
    p_.Snapshot.Layout(mode);
    p_.Timer.Layout(mode);
    p_.Optimizer.Layout(mode);
    p_.Probe.Layout(mode);
    p_.Mail.Layout(mode);
    p_.Player.Layout(mode);
    // The player window is exactly the Panorama's height: the status bar
    // would cover its bottom row (the Cards button). It keeps its texts and
    // comes back with the cards.
    p_.ConnectStatus.setVisible(mode != WindowMode::Player);
    switch (mode) {
    case WindowMode::Player:
        p_.RealMedia.EnterPlayerMode();
        break;
    case WindowMode::TextMail:
        p_.ConnectStatus.setPanelText(0, QStringLiteral("Text mail mode"));
        break;
    case WindowMode::HtmlMail:
        p_.ConnectStatus.setPanelText(0, QStringLiteral("HTML mail mode"));
        break;
    case WindowMode::PhoneChat:
        p_.ConnectStatus.setPanelText(0, QStringLiteral("Phone Chat mode"));
        break;
    case WindowMode::FtpSettings:
        p_.ConnectStatus.setPanelText(0, QStringLiteral("FTP Settings"));
        break;
    }
}

void TWindowModes::VideoPhoneClick() {
    const bool html = p_.Switches.HtmlMode();
    p_.Picture.ShowCaptureMonitor(html);
    p_.Menu.EnableCaptureItems(html);
    if (html) {
        line_.SetDropped(true);
        line_.Open();
    } else {
        p_.Card.ShowClose();
    }
    ShowCard();
}

void TWindowModes::PlayerExitClick() {
    p_.Switches.LeavePlayerMode();  // its handler shows the cards
    p_.Menu.DisableRecorderItems();
    p_.RealMedia.LeavePlayerMode();
    cards_.SortAndShow();
}

}  // namespace vandrex
