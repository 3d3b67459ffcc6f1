#include "app/panels/mailpanel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/panels/builders.h"

namespace vandrex {

TMailPanel::TMailPanel(QWidget* c, QObject* parent) : QObject(parent) {
    QGroupBox* m = MailEntryForm = ui::Group(c, "MailEntryForm", QStringLiteral(" E-mail "), 4, 362, 384, 226);
    SMTPLabel = ui::Label(m, "SMTPLabel", QStringLiteral("Smtp:"), 8, 21, 30);
    SMTPEdit = ui::Edit(m, "SMTPEdit", 40, 18, 140, QStringLiteral("E-mail SMTP Server address "));
    MailChatBox = ui::Check(m, "MailChatBox", QStringLiteral("Chat"), 190, 20, 50, QStringLiteral("Chat [Phone] mode"));
    FTPCheckBox = ui::Check(m, "FTPCheckBox", QStringLiteral("Ftp"), 244, 20, 44, QStringLiteral("Ftp settings"));
    Connection = ui::Button(m, "Connection", QStringLiteral("&Login"), 292, 16, 84, 23,
                            QStringLiteral("Make a Connection wth Mail Server"));

    Onderwerp = ui::Edit(m, "Onderwerp", 8, 44, 218, QStringLiteral("Subject of your E-mail Message"));
    Onderwerp->setMaxLength(40);
    Key = ui::Edit(m, "Key", 178, 44, 48, QStringLiteral("Fill in your Personal Signature [Authentication] "));
    Key->setMaxLength(41);
    Key->hide();
    CheckBox2 = ui::Check(m, "CheckBox2", QStringLiteral("Sign"), 232, 46, 52, QStringLiteral("Enable Signature mode"));
    SendBtn = ui::Button(m, "SendBtn", QStringLiteral("&Send"), 292, 42, 84, 23,
                         QStringLiteral("Begin E-mail Transfer [Upload your gif/jpg or RealMedia file first]"));

    MailSheet = ui::Named(new QPlainTextEdit(m), "MailSheet");
    MailSheet->setGeometry(8, 68, 368, 135);
    MailSheet->setToolTip(QStringLiteral("Text area with WordWrap [50 Characters wide]"));
    MailSheet->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // Chat (phone chat mode) shares the place of subject and text.
    MailEntryChatMemo = ui::Named(new QPlainTextEdit(m), "MailEntryChatMemo");
    MailEntryChatMemo->setGeometry(8, 68, 368, 111);
    MailEntryChatMemo->setReadOnly(true);
    MailEntryChatMemo->hide();
    MailEntryEdit = ui::Edit(m, "MailEntryEdit", 8, 182, 340, QStringLiteral("Chat Line [Phone mode]"));
    MailEntryEdit->setMaxLength(50);
    MailEntryEdit->hide();
    MailEntryEditButton = ui::Button(m, "MailEntryEditButton", QStringLiteral("+"), 352, 182, 24, 21);
    MailEntryEditButton->hide();

    // FTP settings share the place too.
    const struct { const char* label; const char* caption; const char* edit; const char* hint; int y; } ftp[] = {
        {"RemoteHostLabel", "Host:", "RemoteHost_Edit", "FTP Server address", 44},
        {"UserIDLabel", "User:", "UserIDEdit", "FTP User ID", 68},
        {"PasswordLabel", "Password:", "PassWordEdit", "FTP Password", 92},
        {"PortLabel", "Port:", "PortEdit", "FTP Port", 116},
    };
    std::array<QLineEdit*, 4> ftpEdits{};
    for (int i = 0; i < 4; ++i) {
        ftpLabels_[i] = ui::Label(m, ftp[i].label, QString::fromLatin1(ftp[i].caption), 8, ftp[i].y + 3, 60);
        ftpLabels_[i]->hide();
        ftpEdits[i] = ui::Edit(m, ftp[i].edit, 70, ftp[i].y, 200, QString::fromLatin1(ftp[i].hint));
        ftpEdits[i]->hide();
    }
    RemoteHost_Edit = ftpEdits[0];
    UserIDEdit = ftpEdits[1];
    PassWordEdit = ftpEdits[2];
    PortEdit = ftpEdits[3];
    PassWordEdit->setEchoMode(QLineEdit::Password);
    PortEdit->setText(QStringLiteral("21"));
    PassiveCheckBox = ui::Check(m, "PassiveCheckBox", QStringLiteral("Passive"), 70, 142, 80, QStringLiteral("Passive FTP"));
    PassiveCheckBox->hide();

    GIFRadioButton = ui::Radio(m, "GIFRadioButton", QStringLiteral("gif"), 8, 206, 44);
    JPGRadioButton = ui::Radio(m, "JPGRadioButton", QStringLiteral("jpg"), 54, 206, 44);
    AudioRadioButton = ui::Radio(m, "AudioRadioButton", QStringLiteral("Audio"), 100, 206, 56);
    AudioRadioButton->setChecked(true);
    Video_RadioButton = ui::Radio(m, "Video_RadioButton", QStringLiteral("Video"), 158, 206, 56);
    FTPSButton = ui::Button(m, "FTPSButton", QStringLiteral("FTP"), 216, 204, 40, 20, QStringLiteral("Upload"));
    setPictureChoicesVisible(false);

    // HTML page controls: object sheet and colours.
    HTMLBox = ui::Group(c, "HTMLBox", QStringLiteral(" Html "), 236, 328, 152, 32, QStringLiteral("HTML Settings"));
    HTMLBox->hide();
    ObjectUpDown = ui::Named(new QSpinBox(HTMLBox), "ObjectUpDown");
    ObjectUpDown->setGeometry(4, 10, 36, 20);
    ObjectUpDown->setRange(0, 12);
    ObjectUpDown->setValue(1);
    ObjectRichEdit = ui::Named(new QLineEdit(HTMLBox), "ObjectRichEdit");
    ObjectRichEdit->setGeometry(42, 10, 50, 20);
    ObjectRichEdit->setReadOnly(true);
    ObjectCheckBox = ui::Check(HTMLBox, "ObjectCheckBox", QStringLiteral("Obj"), 96, 11, 50);

    WebSiteAddressEdit = ui::Edit(c, "WebSiteAddressEdit", 4, 590 - 22, 357, QStringLiteral("WebSite Address"));
    WebSiteAddressEdit->setReadOnly(true);
    WebSiteAddressEdit->setText(QStringLiteral("http://"));
    webSiteStartText_ = WebSiteAddressEdit->text();
    WebSiteAddressCheckBox = ui::Check(c, "WebSiteAddressCheckBox", QString(), 366, 570, 20,
                                       QStringLiteral("Correct WebSite Address if not complient with FTP Settings"));

    connect(MailChatBox, &QCheckBox::toggled, this, &TMailPanel::MailChatBoxClicked);
    connect(FTPCheckBox, &QCheckBox::toggled, this, &TMailPanel::FTPCheckBoxClicked);
}

bool TMailPanel::ChatChecked() const { return MailChatBox->isChecked(); }
bool TMailPanel::FtpChecked() const { return FTPCheckBox->isChecked(); }

TCaptureFormat TMailPanel::PictureFormat() const {
    if (GIFRadioButton->isChecked()) return TCaptureFormat::Gif;
    if (JPGRadioButton->isChecked()) return TCaptureFormat::Jpg;
    if (Video_RadioButton->isChecked()) return TCaptureFormat::Video;
    return TCaptureFormat::Audio;
}

void TMailPanel::ClickFTPSButton() { FTPSButton->click(); }

void TMailPanel::setMailControlsVisible(bool visible) {
    Onderwerp->setVisible(visible);
    MailSheet->setVisible(visible);
    CheckBox2->setVisible(visible);
}

void TMailPanel::setPictureChoicesVisible(bool visible) {
    for (QRadioButton* r : {GIFRadioButton, JPGRadioButton, AudioRadioButton, Video_RadioButton}) r->setVisible(visible);
}

void TMailPanel::setChatControlsVisible(bool visible) {
    MailEntryChatMemo->setVisible(visible);
    MailEntryEdit->setVisible(visible);
    MailEntryEditButton->setVisible(visible);
}

void TMailPanel::setFtpControlsVisible(bool visible) {
    for (QLabel* l : ftpLabels_) l->setVisible(visible);
    for (QLineEdit* e : {RemoteHost_Edit, UserIDEdit, PassWordEdit, PortEdit}) e->setVisible(visible);
    PassiveCheckBox->setVisible(visible);
}

void TMailPanel::setGroup(const QString& caption, int width) {
    MailEntryForm->setTitle(caption);
    MailEntryForm->resize(width, MailEntryForm->height());
}

void TMailPanel::ShowCardSide(bool bigDisplay) {
    WebSiteAddressEdit->resize(bigDisplay ? 518 : 357, WebSiteAddressEdit->height());
    // The small display takes no GIF animation; chat pictures go as JPEG.
    if (!bigDisplay || MailChatBox->isChecked()) JPGRadioButton->setChecked(true);
}

void TMailPanel::ApplyCloneState(bool isClone) {
    if (!isClone) return;
    Connection->setEnabled(false);
    SendBtn->setEnabled(false);
}

void TMailPanel::ResetSignature() {
    CheckBox2->setChecked(false);
    Key->hide();
    Key->clear();
    Onderwerp->resize(218, Onderwerp->height());
}

void TMailPanel::showWebSiteAddress() {
    // Web address of the uploaded files, from the FTP settings.
    const QString host = RemoteHost_Edit->text();
    const QString user = UserIDEdit->text();
    const bool known = !host.isEmpty() && !user.isEmpty();
    WebSiteAddressEdit->setText(known ? QStringLiteral("http://") + host + QStringLiteral("/~") + user +
                                           QStringLiteral("/")
                                     : kNoFtpValues);
    WebSiteAddressCheckBox->setEnabled(known);
}

void TMailPanel::Layout(WindowMode mode) {
    if (mode == WindowMode::Player) return;
    setChatControlsVisible(false);
    setFtpControlsVisible(false);
    if (IsHtmlMode(mode)) MailEntryForm->setVisible(true);
    switch (mode) {
    case WindowMode::TextMail:
        MailSheet->resize(MailSheet->width(), 135);
        setPictureChoicesVisible(false);
        HTMLBox->setVisible(false);
        setMailControlsVisible(true);
        MailChatBox->setVisible(true);
        setGroup(QStringLiteral(" E-mail "), 384);
        break;
    case WindowMode::HtmlMail:
        setGroup(QStringLiteral(" E-mail "), 384);
        MailChatBox->setVisible(true);
        showWebSiteAddress();
        setMailControlsVisible(true);
        setPictureChoicesVisible(true);
        HTMLBox->setVisible(true);
        for (QWidget* w : {static_cast<QWidget*>(ObjectUpDown), static_cast<QWidget*>(ObjectRichEdit),
                           static_cast<QWidget*>(ObjectCheckBox), static_cast<QWidget*>(AudioRadioButton),
                           static_cast<QWidget*>(Video_RadioButton)})
            w->setEnabled(false);
        ObjectRichEdit->setText(objectSheetNames_.value(1, QStringLiteral("TV")));
        break;
    case WindowMode::PhoneChat:
        setGroup(QStringLiteral(" ChatBox "), 377);
        setChatControlsVisible(true);
        setMailControlsVisible(false);
        setPictureChoicesVisible(false);
        HTMLBox->setVisible(false);
        break;
    case WindowMode::FtpSettings:
        setGroup(QStringLiteral(" Ftp [i-mode] "), 384);
        setFtpControlsVisible(true);
        SMTPLabel->setVisible(true);
        SMTPEdit->setVisible(true);
        setMailControlsVisible(false);
        setPictureChoicesVisible(false);
        HTMLBox->setVisible(false);
        MailChatBox->setVisible(false);
        break;
    case WindowMode::Player:
        break;
    }
}

void TMailPanel::Activate(const QString& instanceNumber) {
    transferTotal_ = 0;
    transferCount_ = 0;
    objectSheetNames_ = {"Audio", "TV", "16_9", "20_9", "Phone", "Cam", "DVD1",
                         "DVD2",  "DVD3", "Radio", "LP",  "CD",    "Crypt"};
    accountName_ = QStringLiteral("Your Account");
    senderAddress_ = QStringLiteral("vandrex_") + instanceNumber + QStringLiteral("@") + kSenderDomain;
}

void TMailPanel::ShowWebSiteNotice(const QString& text) { WebSiteAddressEdit->setText(text); }

void TMailPanel::UnlockAfterClones() {
    Connection->setEnabled(true);
    SendBtn->setEnabled(true);
    WebSiteAddressEdit->setText(webSiteStartText_);
}

}  // namespace vandrex
