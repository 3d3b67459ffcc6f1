#include "app/windowmodes.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include "app/cardfiletool.h"
#include "app/clonemode.h"
#include "app/mainwindow.h"
#include "app/statusbar.h"
#include "controls/led.h"

namespace vandrex {

namespace {
const char* const kCardLabels[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6",
                                   "Label7", "Label8", "Label9", "Label10", "Label11"};
const char* const kChatControls[] = {"MailEntryChatMemo", "MailEntryEdit", "MailEntryEditButton"};
const char* const kFtpControls[] = {"RemoteHostLabel", "RemoteHost_Edit", "UserIDLabel", "UserIDEdit",
                                    "PasswordLabel",   "PassWordEdit",    "PortLabel",   "PortEdit",
                                    "PassiveCheckBox"};
const char* const kMailControls[] = {"Onderwerp", "MailSheet", "CheckBox2"};
const char* const kPictureChoices[] = {"GIFRadioButton", "JPGRadioButton", "AudioRadioButton", "Video_RadioButton"};
const char* const kPhoneGroups[] = {"WebPhoneDialer", "LEDWebPhoneIPLabel1", "DataGroupBox", "Zozadi"};
}  // namespace

TWindowModes::TWindowModes(TForm1* form) : form_(form) {
    QObject::connect(form->control<QCheckBox>("VideoPhone"), &QCheckBox::toggled, form,
                     [this] { VideoPhoneClick(); });
    QObject::connect(form->control<QCheckBox>("MailChatBox"), &QCheckBox::toggled, form,
                     [this] { MailChatBoxClick(); });
    QObject::connect(form->control<QCheckBox>("FTPCheckBox"), &QCheckBox::toggled, form,
                     [this] { FTPCheckBoxClick(); });
}

void TWindowModes::VideoPhoneClick() {
    const bool html = form_->control<QCheckBox>("VideoPhone")->isChecked();
    setVisible("VideoCap1", html);
    setVisible("Image1", !html);
    if (html) {
        setVisible("Rec_Image1", true);
        for (const char* n : {"Source1", "Format1", "Display1"}) form_->control<QAction>(n)->setEnabled(true);
        form_->control<QAction>("Compress1")->setEnabled(false);
        form_->control<QAction>("RecorderStatusAction")->setEnabled(false);
        form_->Modem1.Dropped = true;
        form_->Modem1.Open();
    } else {
        for (const char* n : {"Source1", "Format1", "Display1", "Compress1", "RecorderStatusAction"})
            form_->control<QAction>(n)->setEnabled(false);
        setVisible("Close", true);
    }
    ShowCard();
}

void TWindowModes::setVisible(const char* name, bool visible) {
    form_->control<QWidget>(name)->setVisible(visible);
}

void TWindowModes::setEnabled(const char* name, bool enabled) {
    form_->control<QWidget>(name)->setEnabled(enabled);
}

void TWindowModes::showCardEdits(bool visible) {
    for (QLineEdit* e : form_->Cards().Edits()) e->setVisible(visible);
    for (const char* l : kCardLabels) setVisible(l, visible);
}

void TWindowModes::ShowCard() {
    TCardDatabase& db = form_->Cards().Database();
    QSlider* slider = form_->control<QSlider>("TrackBar1");
    auto setPanelAndSlider = [&] {
        form_->control<QLabel>("Panel1")->setText(QString::number(db.CardIndex));
        const QSignalBlocker block(slider);
        slider->setValue(db.CardIndex);
    };

    if (form_->control<QCheckBox>("CheckBox1")->isChecked()) {
        layoutPlayer();
        setPanelAndSlider();
        return;
    }
    layoutCardSide();
    applyCloneRestrictions();

    form_->Cards().ShowFields();
    showCardEdits(true);
    const auto edits = form_->Cards().Edits();
    form_->control<QLineEdit>("WebPhoneIP_Edit2")->setText(edits[static_cast<int>(CardField::LastName)]->text());
    const QString phone = edits[static_cast<int>(CardField::Phone)]->text();
    form_->control<QLineEdit>("WebPhoneIP_Edit1")->setText(phone);
    form_->Modem1.PhoneNumber = phone;
    const QString mail = edits[static_cast<int>(CardField::EMail)]->text();
    form_->control<QLineEdit>("WebPhoneEmail_Edit1")->setText(mail);
    form_->RecipientAddress = mail;
    setPanelAndSlider();

    resetSignature();
    layoutCommon();
    if (form_->control<QCheckBox>("VideoPhone")->isChecked())
        layoutHtmlMail();
    else
        layoutTextMail();
}

void TWindowModes::layoutPlayer() {
    mode_ = WindowMode::Player;
    for (const char* n : {"Previous", "Next", "Erase", "Save", "TrackBar1", "CheckBox1"}) setEnabled(n, false);
    for (const char* n : {"New", "Panel1", "Slider", "CheckBox1"}) setVisible(n, false);
    showCardEdits(false);
    form_->SetFormSize(400, 339);

    QWidget* panorama = form_->control<QWidget>("Panorama");
    panorama->show();
    panorama->raise();
    form_->ConnectStatus()->raise();
    for (const char* n : {"Real_PlayItem", "Real_FadeVolume", "FadeTimerEdit"}) setVisible(n, true);
    QWidget* player = form_->control<QWidget>("Real_Player_1");
    player->setParent(panorama);
    player->setProperty("Controls", QStringLiteral("Statusbar"));
    player->setGeometry(79, 260, 307, 27);
    player->setVisible(form_->PlaylistLoaded);
    if (!form_->PlaylistLoaded) {
        form_->control<QLabel>("Label12")->setText(QStringLiteral("Title"));
        form_->control<QLabel>("Label14")->setText(QStringLiteral("Author"));
        form_->control<QLabel>("Label15")->setText(QStringLiteral("Copyright"));
    }
    for (const char* n : {"Info1", "Modem2Action", "VideoAction"}) form_->control<QAction>(n)->setVisible(false);
    form_->control<QAction>("MixerAction")->setVisible(true);
    form_->control<QAction>("CreateMixFile")->setEnabled(false);

    // Entering the player leaves recording and the probe behind.
    form_->UseLZW = false;
    TProducerStandIn& producer = form_->RealAudioControl;
    producer.StopEncoding();
    form_->control<TLED>("Probe_LED")->setLit(false);
    for (const char* p : {"LossProtection", "Target56KModem", "TargetSingleISDN", "TargetDualISDN",
                          "TargetDSLCableModem", "TargetLAN", "VideoCroppingEnabled"})
        producer.Set(p, false);
    producer.Set("DoOutputFile", true);
    producer.Set("DoOutputServer", false);
    producer.Set("MobilePlay", false);
    setVisible("OptimizerGroupBox", true);
    setVisible("Probe_GroupBox", false);
    form_->control<QCheckBox>("Timer_ProbeBox")->setChecked(false);
}

void TWindowModes::layoutCardSide() {
    setVisible("Panorama", false);
    QWidget* player = form_->control<QWidget>("Real_Player_1");
    player->setParent(form_->centralWidget());
    player->setProperty("Controls", QStringLiteral("ImageWindow"));
    player->setGeometry(199, 23, 178, 136);
    player->hide();
    const bool bigDisplay = form_->control<TLED>("NEC_Display_LED")->Lit();
    QLineEdit* web = form_->control<QLineEdit>("WebSiteAddressEdit");
    web->resize(bigDisplay ? 518 : 357, web->height());
    if (!bigDisplay || form_->control<QCheckBox>("MailChatBox")->isChecked())
        form_->control<QRadioButton>("JPGRadioButton")->setChecked(true);
    setEnabled("CheckBox1", true);
}

void TWindowModes::applyCloneRestrictions() {
    const bool clone = form_->Title() != kFirstCopyTitle;
    for (const char* n : {"TrackBar1", "Erase", "Save", "New", "Previous", "Next"}) setEnabled(n, !clone);
    if (clone) {
        setEnabled("Connection", false);
        setEnabled("SendBtn", false);
    }
}

void TWindowModes::resetSignature() {
    form_->control<QCheckBox>("CheckBox2")->setChecked(false);
    QLineEdit* key = form_->control<QLineEdit>("Key");
    key->hide();
    key->clear();
    QLineEdit* subject = form_->control<QLineEdit>("Onderwerp");
    subject->resize(218, subject->height());
}

void TWindowModes::layoutCommon() {
    setVisible("VideoPhone", true);
    setEnabled("VideoPhone", form_->Title() != kCloneTitle);
    form_->control<QGroupBox>("Zozadi")->setTitle(QStringLiteral(" Cam "));
    form_->control<QGroupBox>("Slider")->setTitle(QStringLiteral(" Search "));
    form_->RecipientAddress = form_->control<QLineEdit>("Edit10")->text();
    for (const char* n : kChatControls) setVisible(n, false);
    for (const char* n : kFtpControls) setVisible(n, false);
    form_->SetFormSize(400, 655);
    for (const char* n : {"Info1", "VideoAction", "Modem2Action", "MixerAction"})
        form_->control<QAction>(n)->setVisible(true);
    form_->control<QAction>("CreateMixFile")->setEnabled(true);
    for (const char* n : {"Panel1", "Slider", "CheckBox1"}) setVisible(n, true);
}

void TWindowModes::layoutTextMail() {
    mode_ = WindowMode::TextMail;
    form_->ConnectStatus()->setPanelText(0, QStringLiteral("Text mail mode"));
    showCardEdits(form_->Title() == kFirstCopyTitle);
    for (const char* n : {"New", "Save", "Navigatie", "Correctie"}) setVisible(n, true);
    form_->control<QGroupBox>("Navigatie")->setTitle(QStringLiteral(" Navigatie "));
    if (form_->Clones().SenderActive())
        for (const char* n : {"Save", "Erase", "New"}) setEnabled(n, false);

    QPlainTextEdit* sheet = form_->control<QPlainTextEdit>("MailSheet");
    sheet->resize(sheet->width(), 135);
    for (const char* n : kPhoneGroups) setVisible(n, false);
    for (const char* n : kPictureChoices) setVisible(n, false);
    setVisible("HTMLBox", false);
    setVisible("Picture", true);
    for (const char* n : kMailControls) setVisible(n, true);
    setVisible("MailChatBox", true);
    QGroupBox* mail = form_->control<QGroupBox>("MailEntryForm");
    mail->setTitle(QStringLiteral(" E-mail "));
    mail->resize(384, mail->height());

    QWidget* slider = form_->control<QWidget>("Slider");
    slider->resize(305, slider->height());
    QWidget* track = form_->control<QWidget>("TrackBar1");
    track->resize(289, track->height());
}

void TWindowModes::layoutHtmlMail() {
    showCardEdits(false);
    for (const char* n : {"New", "Save", "Navigatie", "Correctie"}) setVisible(n, false);
    form_->SetFormHeight(655);
    for (const char* n : kPhoneGroups) setVisible(n, true);
    setVisible("MailEntryForm", true);
    QWidget* slider = form_->control<QWidget>("Slider");
    slider->resize(105, slider->height());
    QWidget* track = form_->control<QWidget>("TrackBar1");
    track->resize(89, track->height());

    const bool chat = form_->control<QCheckBox>("MailChatBox")->isChecked();
    const bool ftp = form_->control<QCheckBox>("FTPCheckBox")->isChecked();
    if (chat) {
        setEnabled("VideoPhone", false);
        layoutChat();
    } else if (ftp) {
        layoutFtp();
    } else {
        layoutMailGroup();
    }
}

void TWindowModes::layoutMailGroup() {
    mode_ = WindowMode::HtmlMail;
    form_->ConnectStatus()->setPanelText(0, QStringLiteral("HTML mail mode"));
    QGroupBox* mail = form_->control<QGroupBox>("MailEntryForm");
    mail->setTitle(QStringLiteral(" E-mail "));
    mail->resize(384, mail->height());
    setVisible("MailChatBox", true);

    // Web address of the uploaded files, from the FTP settings.
    const QString host = form_->control<QLineEdit>("RemoteHost_Edit")->text();
    const QString user = form_->control<QLineEdit>("UserIDEdit")->text();
    QLineEdit* web = form_->control<QLineEdit>("WebSiteAddressEdit");
    const bool known = !host.isEmpty() && !user.isEmpty();
    web->setText(known ? QStringLiteral("http://") + host + QStringLiteral("/~") + user + QStringLiteral("/")
                       : kNoFtpValues);
    setEnabled("WebSiteAddressCheckBox", known);

    for (const char* n : kMailControls) setVisible(n, true);
    for (const char* n : kPictureChoices) setVisible(n, true);
    const bool bigDisplay = form_->control<TLED>("NEC_Display_LED")->Lit();
    setVisible("PocketPC_LED", !bigDisplay);
    setVisible("HTMLBox", true);
    for (const char* n : {"ObjectUpDown", "ObjectRichEdit", "ObjectCheckBox", "AudioRadioButton",
                          "Video_RadioButton"})
        setEnabled(n, false);
    form_->control<QLineEdit>("ObjectRichEdit")->setText(form_->ObjectSheetNames.value(1, QStringLiteral("TV")));
}

void TWindowModes::layoutChat() {
    mode_ = WindowMode::PhoneChat;
    form_->ConnectStatus()->setPanelText(0, QStringLiteral("Phone Chat mode"));
    QGroupBox* mail = form_->control<QGroupBox>("MailEntryForm");
    mail->setTitle(QStringLiteral(" ChatBox "));
    mail->resize(377, mail->height());
    for (const char* n : kChatControls) setVisible(n, true);
    for (const char* n : kMailControls) setVisible(n, false);
    for (const char* n : kPictureChoices) setVisible(n, false);
    setVisible("HTMLBox", false);
    form_->UseLZW = false;
}

void TWindowModes::layoutFtp() {
    mode_ = WindowMode::FtpSettings;
    form_->ConnectStatus()->setPanelText(0, QStringLiteral("FTP Settings"));
    QGroupBox* mail = form_->control<QGroupBox>("MailEntryForm");
    mail->setTitle(QStringLiteral(" Ftp [i-mode] "));
    mail->resize(384, mail->height());
    for (const char* n : kFtpControls) setVisible(n, true);
    for (const char* n : {"SMTPLabel", "SMTPEdit"}) setVisible(n, true);
    for (const char* n : kMailControls) setVisible(n, false);
    for (const char* n : kPictureChoices) setVisible(n, false);
    setVisible("HTMLBox", false);
    setVisible("MailChatBox", false);
    setEnabled("VideoPhone", false);
}

}  // namespace vandrex
