#include "app/panels/mailpanel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <functional>

#include "app/application.h"
#include "app/panels/builders.h"
#include "mail/ftpnames.h"

namespace vandrex {

namespace {

// An up-down pair: the arrows report clicks, the index is the panel's.
class TUpDown : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    std::function<void(bool down)> OnClick;
    void stepBy(int steps) override {
        if (OnClick && steps != 0) OnClick(steps < 0);
    }

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

int MemoLength(const QPlainTextEdit* memo) {
    return int(MemoText(MemoLines(memo->toPlainText())).size());
}

}  // namespace

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
    MailEntryChatEdit = ui::Edit(m, "MailEntryChatEdit", 8, 182, 340, QStringLiteral("Chat Line [Phone mode]"));
    MailEntryChatEdit->setMaxLength(50);
    MailEntryChatEdit->hide();
    MailEntryEditButton = ui::Button(m, "MailEntryEditButton", QStringLiteral("+"), 352, 182, 24, 21);
    MailEntryEditButton->hide();

    // FTP settings share the place too.
    const struct { const char* label; const char* caption; const char* edit; const char* hint; int y; } ftp[] = {
        {"RemoteHostLabel", "Host:", "RemoteHost_Edit", "Host address: ftp://  +  ( ... )  do not use prefix.", 44},
        {"UserIDLabel", "User ID:", "UserIDEdit", "User ID or UserName", 68},
        {"PasswordLabel", "Passw:", "PasswordEdit", "Private Password", 92},
        {"PortLabel", "Port:", "RemotePort_Edit", "Remote Port Number.", 116},
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
    PasswordEdit = ftpEdits[2];
    RemotePort_Edit = ftpEdits[3];
    PasswordEdit->setEchoMode(QLineEdit::Password);
    RemotePort_Edit->setMaxLength(5);
    RemotePort_Edit->setText(QStringLiteral("21"));
    FTP_Prefix = ui::Check(m, "FTP_Prefix", QStringLiteral("PASV"), 70, 142, 80, QStringLiteral("PASV - (Passive FTP mode)"));
    FTP_Prefix->setChecked(true);
    FTP_Prefix->hide();

    GIFRadioButton = ui::Radio(m, "GIFRadioButton", QStringLiteral("gif"), 8, 184, 44);
    JPGRadioButton = ui::Radio(m, "JPGRadioButton", QStringLiteral("jpg"), 54, 184, 44);
    AudioRadioButton = ui::Radio(m, "AudioRadioButton", QStringLiteral("Audio"), 100, 184, 56);
    AudioRadioButton->setChecked(true);
    Video_RadioButton = ui::Radio(m, "Video_RadioButton", QStringLiteral("Video"), 158, 184, 56);
    setPictureChoicesVisible(false);

    // The page's font and colours, the FTP connection and the upload: one
    // row under the text in HTML mail mode, above the picture choice.
    FontSize = ui::Edit(m, "FontSize", 8, 158, 24, QStringLiteral("Font size"));
    FontSize->setMaxLength(2);
    FontSize->setText(QStringLiteral("12"));
    FontColor = ui::Edit(m, "FontColor", 34, 158, 52, QStringLiteral("Font Color [Hex]"));
    FontColor->setMaxLength(6);
    FontColor->setText(QStringLiteral("000000"));
    TextColorSButton = ui::Speed(m, "TextColorSButton", QStringLiteral("T"), 88, 158, 20, 21, QStringLiteral("Text Color"));
    BackGroundColor = ui::Edit(m, "BackGroundColor", 112, 158, 52, QStringLiteral("Background Color [Hex]"));
    BackGroundColor->setMaxLength(6);
    BackGroundColor->setText(QStringLiteral("FFFFFF"));
    BGColorSButton = ui::Speed(m, "BGColorSButton", QStringLiteral("B"), 166, 158, 20, 21, QStringLiteral("Background Color"));
    htmlFields_ = {FontSize, FontColor, TextColorSButton, BackGroundColor, BGColorSButton};
    i_modeGIFSButton = ui::Button(m, "i_modeGIFSButton", QStringLiteral("FTP"), 196, 157, 84, 23,
                                  QStringLiteral("Enable FTP Connection [Green]"));
    FTPSButton = ui::Button(m, "FTPSButton", QStringLiteral("Upload"), 292, 157, 84, 23,
                            QStringLiteral("FTP Upload [Disabled]"));
    setHtmlFieldsVisible(false);
    // The HTML page of the last mail; it is the body, never shown.
    MailSheet2 = ui::Named(new QPlainTextEdit(m), "MailSheet2");
    MailSheet2->hide();

    // HTML page controls: object sheet and colours.
    HTMLBox = ui::Group(c, "HTMLBox", QStringLiteral(" Html "), 236, 328, 152, 32, QStringLiteral("HTML Settings"));
    HTMLBox->hide();
    auto* upDown = ui::Named(new TUpDown(HTMLBox), "ObjectUpDown");
    upDown->setGeometry(4, 10, 36, 20);
    upDown->setRange(0, 12);
    upDown->OnClick = [this](bool down) { StepObjectSheet(down); };
    ObjectUpDown = upDown;
    ObjectRichEdit = ui::Named(new QLineEdit(HTMLBox), "ObjectRichEdit");
    ObjectRichEdit->setGeometry(42, 10, 50, 20);
    ObjectRichEdit->setReadOnly(true);
    ObjectCheckBox = ui::Check(HTMLBox, "ObjectCheckBox", QStringLiteral("Obj"), 96, 11, 50,
                               QStringLiteral("Enable HTML Object Code"));

    WebSiteAddressEdit = ui::Edit(c, "WebSiteAddressEdit", 4, 590 - 22, 357, QStringLiteral("WebSite Address"));
    WebSiteAddressEdit->setReadOnly(true);
    WebSiteAddressEdit->setText(QStringLiteral("http://"));
    webSiteStartText_ = WebSiteAddressEdit->text();
    WebSiteAddressCheckBox = ui::Check(c, "WebSiteAddressCheckBox", QString(), 366, 570, 20,
                                       QStringLiteral("Correct WebSite Address if not complient with FTP Settings"));

    connect(MailChatBox, &QCheckBox::toggled, this, &TMailPanel::MailChatBoxClicked);
    connect(FTPCheckBox, &QCheckBox::toggled, this, &TMailPanel::FTPCheckBoxClicked);
    connect(Connection, &QPushButton::clicked, this, &TMailPanel::ConnectionClicked);
    connect(SendBtn, &QPushButton::clicked, this, &TMailPanel::SendBtnClicked);
    connect(MailEntryEditButton, &QPushButton::clicked, this, &TMailPanel::MailEntryEditButtonClicked);
    connect(MailSheet, &QPlainTextEdit::textChanged, this, [this] { emit MailSheetChanged(MemoLength(MailSheet)); });
    connect(Onderwerp, &QLineEdit::textChanged, this, [this](const QString& t) { emit OnderwerpChanged(int(t.size())); });
    connect(Key, &QLineEdit::textChanged, this, [this](const QString& t) { emit KeyChanged(int(t.size())); });
    connect(CheckBox2, &QCheckBox::clicked, this, &TMailPanel::CheckBox2Clicked);
    connect(i_modeGIFSButton, &QPushButton::clicked, this, &TMailPanel::i_modeGIFSButtonClicked);
    connect(FTPSButton, &QPushButton::clicked, this, &TMailPanel::FTPSButtonClicked);
    connect(GIFRadioButton, &QRadioButton::clicked, this, &TMailPanel::GIFRadioButtonClicked);
    connect(JPGRadioButton, &QRadioButton::clicked, this, &TMailPanel::JPGRadioButtonClicked);
    connect(BGColorSButton, &QToolButton::clicked, this, &TMailPanel::BGColorSButtonClicked);
    connect(TextColorSButton, &QToolButton::clicked, this, &TMailPanel::TextColorSButtonClicked);
    connect(WebSiteAddressCheckBox, &QCheckBox::clicked, this, &TMailPanel::WebSiteAddressCheckBoxClick);
    // The object page needs a sheet: the box enables the sheet choice.
    connect(ObjectCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        ObjectUpDown->setEnabled(on);
        ObjectRichEdit->setEnabled(on);
    });
}

TMailPanelFields TMailPanel::MailFields(bool ftpLampLit, const QString& remoteFileName) const {
    TMailPanelFields f;
    f.smtpServer = SMTPEdit->text();
    f.recipient = recipientAddress_;
    f.sender = senderAddress_;
    f.accountName = accountName_;
    f.subject = Onderwerp->text();
    f.text = MemoText(MemoLines(MailSheet->toPlainText()));
    f.key = Key->text();
    f.sign = CheckBox2->isChecked();
    f.choice = GIFRadioButton->isChecked()   ? TMailChoice::Gif
               : JPGRadioButton->isChecked() ? TMailChoice::Jpg
               : Video_RadioButton->isChecked() ? TMailChoice::Video
                                                : TMailChoice::Audio;
    f.html = ftpLampLit;
    f.objectPage = ObjectCheckBox->isChecked();
    f.sheet = ObjectRichEdit->text();
    f.fontSize = FontSize->text();
    f.fontColor = FontColor->text();
    f.backgroundColor = BackGroundColor->text();
    f.fileUrl = FileUrl(WebSiteAddressEdit->text(), remoteFileName);
    return f;
}

TUploadFields TMailPanel::UploadFields(bool timerLit) const {
    TUploadFields f;
    f.host = RemoteHost_Edit->text();
    f.user = UserIDEdit->text();
    f.password = PasswordEdit->text();
    f.port = RemotePort_Edit->text();
    f.passive = FTP_Prefix->isChecked();
    f.smtpServer = SMTPEdit->text();
    f.recipient = recipientAddress_;
    f.choice = MailFields(false, {}).choice;
    f.timerLit = timerLit;
    return f;
}

void TMailPanel::SetConnectionCaption(const QString& text) { Connection->setText(text); }
void TMailPanel::SetMailSheet2(const QString& text) { MailSheet2->setPlainText(text); }
QString TMailPanel::MailSheet2Text() const { return MailSheet2->toPlainText(); }

void TMailPanel::ShowKey(bool visible, int subjectWidth) {
    Key->setVisible(visible);
    Onderwerp->resize(subjectWidth, Onderwerp->height());
}

void TMailPanel::SelectJpg() { JPGRadioButton->setChecked(true); }

void TMailPanel::ApplyPictureLayout(int webAddressWidth, bool mediaButtonsFlat) {
    setWebSiteAddressWidth(webAddressWidth);
    BGColorSButton->setVisible(!mediaButtonsFlat && FontSize->isVisible());
    TextColorSButton->setVisible(!mediaButtonsFlat && FontSize->isVisible());
}

void TMailPanel::SetBackGroundColor(const QString& rrggbb) { BackGroundColor->setText(rrggbb); }
void TMailPanel::SetFontColor(const QString& rrggbb) { FontColor->setText(rrggbb); }

void TMailPanel::StepObjectSheet(bool down) {
    objectSheetIndex_ = vandrex::StepObjectSheet(objectSheetIndex_, down);
    ObjectUpDown->setValue(objectSheetIndex_);
    ObjectRichEdit->setText(objectSheetNames_.value(objectSheetIndex_));
}

void TMailPanel::WebSiteAddressCheckBoxClick() {
    WebSiteAddressEdit->setReadOnly(!WebSiteAddressCheckBox->isChecked());
}

// The check box stays just right of the address, whatever its width.
void TMailPanel::setWebSiteAddressWidth(int width) {
    WebSiteAddressEdit->resize(width, WebSiteAddressEdit->height());
    WebSiteAddressCheckBox->move(WebSiteAddressEdit->geometry().right() + 5, WebSiteAddressCheckBox->y());
}

void TMailPanel::ClickFTPSButton() {
    madeClick_ = true;
    clickError_ = nullptr;
    FTPSButton->click();
    madeClick_ = false;
    if (clickError_) std::rethrow_exception(std::exchange(clickError_, nullptr));
}

void TMailPanel::RunFTPSButtonHandler(const std::function<void()>& handler) {
    if (!madeClick_) {
        TApplication::Guard(handler);
        return;
    }
    try {
        handler();
    } catch (...) {
        clickError_ = std::current_exception();
    }
}

void TMailPanel::setHtmlFieldsVisible(bool visible) {
    for (QWidget* w : htmlFields_) w->setVisible(visible);
    // The big display takes GIF pages only: no colours to choose.
    BGColorSButton->setVisible(visible && !bigDisplay_);
    TextColorSButton->setVisible(visible && !bigDisplay_);
    i_modeGIFSButton->setVisible(visible);
    FTPSButton->setVisible(visible);
}

bool TMailPanel::ChatChecked() const { return MailChatBox->isChecked(); }

QString TMailPanel::ChatLineText() const { return MailEntryChatEdit->text(); }

void TMailPanel::ClearChatLine() { MailEntryChatEdit->clear(); }

void TMailPanel::AddChatMemoLine(const QString& line) { MailEntryChatMemo->appendPlainText(line); }

void TMailPanel::SetHtmlBoxVisible(bool visible) { HTMLBox->setVisible(visible); }
bool TMailPanel::FtpChecked() const { return FTPCheckBox->isChecked(); }

TCaptureFormat TMailPanel::PictureFormat() const {
    if (GIFRadioButton->isChecked()) return TCaptureFormat::Gif;
    if (JPGRadioButton->isChecked()) return TCaptureFormat::Jpg;
    if (Video_RadioButton->isChecked()) return TCaptureFormat::Video;
    return TCaptureFormat::Audio;
}

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
    MailEntryChatEdit->setVisible(visible);
    MailEntryEditButton->setVisible(visible);
}

void TMailPanel::setFtpControlsVisible(bool visible) {
    for (QLabel* l : ftpLabels_) l->setVisible(visible);
    for (QLineEdit* e : {RemoteHost_Edit, UserIDEdit, PasswordEdit, RemotePort_Edit}) e->setVisible(visible);
    FTP_Prefix->setVisible(visible);
}

void TMailPanel::setGroup(const QString& caption, int width) {
    MailEntryForm->setTitle(caption);
    MailEntryForm->resize(width, MailEntryForm->height());
}

void TMailPanel::ShowCardSide(bool bigDisplay) {
    bigDisplay_ = bigDisplay;
    setWebSiteAddressWidth(bigDisplay ? 518 : 357);
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
    setHtmlFieldsVisible(mode == WindowMode::HtmlMail);
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
        // The page row and the picture choice sit under a shorter text, above the web address.
        MailSheet->resize(MailSheet->width(), 87);
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
    counters_ = {};
    objectSheetIndex_ = 0;
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
