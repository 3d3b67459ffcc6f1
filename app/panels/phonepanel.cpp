#include "app/panels/phonepanel.h"

#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "app/panels/builders.h"
#include "app/statusbar.h"
#include "controls/ledlabel.h"

namespace vandrex {

TPhonePanel::TPhonePanel(QWidget* c, QObject* parent) : QObject(parent) {
    WebPhoneDialer = ui::Group(c, "WebPhoneDialer", QStringLiteral(" Phone "), 4, 0, 188, 130);
    QGroupBox* phone = WebPhoneDialer;
    WebPhoneIP_Edit2 = ui::Edit(phone, "WebPhoneIP_Edit2", 8, 18, 172, QStringLiteral("Name or ID of Recipient"));
    WebPhoneIP_Edit1 = ui::Edit(phone, "WebPhoneIP_Edit1", 8, 42, 172, QStringLiteral("PhoneNumber of Recipient"));
    WebPhoneIP_Edit1->setReadOnly(true);
    WebPhoneEmail_Edit1 =
        ui::Edit(phone, "WebPhoneEmail_Edit1", 8, 66, 172, QStringLiteral("E-mail Address of Recipient"));
    WebPhoneEmail_Edit1->setReadOnly(true);
    WebPhoneButton2 = ui::Button(phone, "WebPhoneButton2", QStringLiteral("<<"), 8, 96, 40, 25,
                                 QStringLiteral("Show previous Card"));
    WebPhoneButton1 = ui::Button(phone, "WebPhoneButton1", QStringLiteral("Phone"), 52, 96, 84, 25,
                                 QStringLiteral("Call the [Phone] Number"));
    WebPhoneButton3 = ui::Button(phone, "WebPhoneButton3", QStringLiteral(">>"), 140, 96, 40, 25,
                                 QStringLiteral("Show next Card"));
    LEDWebPhoneIPLabel1 = ui::Named(new TLEDLabel(c), "LEDWebPhoneIPLabel1");
    LEDWebPhoneIPLabel1->setGeometry(8, 132, 180, 17);
    LEDWebPhoneIPLabel1->setCaption(QStringLiteral("Line"));
    LEDWebPhoneIPLabel1->setColor(lcGreen);
    LEDWebPhoneIPLabel1->setToolTip(QStringLiteral("Phone/Line connection"));

    DataGroupBox = ui::Group(c, "DataGroupBox", QStringLiteral(" Data "), 4, 150, 188, 132);
    QGroupBox* data = DataGroupBox;
    SpeedButtonSend = ui::Speed(data, "SpeedButtonSend", QStringLiteral("Send"), 8, 18, 40, 22,
                                QStringLiteral("Send File if Connected [Select with DialogBox]"));
    SpeedButtonReceive = ui::Speed(data, "SpeedButtonReceive", QStringLiteral("Receive"), 52, 18, 44, 22,
                                   QStringLiteral("Receive File if Connected [Led Signal if new file is Incoming]"));
    SpeedButtonStop = ui::Speed(data, "SpeedButtonStop", QStringLiteral("Stop"), 100, 18, 36, 22,
                                QStringLiteral("Stop Dataflow / Speak"));
    SpeedButtonResume = ui::Speed(data, "SpeedButtonResume", QStringLiteral("Resume"), 140, 18, 42, 22,
                                  QStringLiteral("Resume Dataflow / Don't Speak"));
    LED_Send = ui::Led(data, "LED_Send", lcRed, 22, 44, QStringLiteral("File Transfer Led"));
    LED_Receive = ui::Led(data, "LED_Receive", lcGreen, 68, 44, QStringLiteral("File Receive led"));
    LED_Stop = ui::Led(data, "LED_Stop", lcRed, 112, 44, QStringLiteral("Data flow Led"));
    LED_Resume = ui::Led(data, "LED_Resume", lcGreen, 156, 44, QStringLiteral("Resume Data flow Led"));
    LED_SendJPEG = ui::Led(data, "LED_SendJPEG", lcYellow, 8, 62, QStringLiteral("Picture [Phone] Transfer Led"));
    FileTransferProgressBar = ui::Named(new QProgressBar(data), "FileTransferProgressBar");
    FileTransferProgressBar->setGeometry(24, 62, 156, 13);
    FileTransferProgressBar->setTextVisible(false);
    FileTransferProgressBar->setValue(0);
    FileTransferStatusBar = ui::Named(new TStatusBar(data), "FileTransferStatusBar");
    FileTransferStatusBar->setGeometry(8, 80, 172, 19);
    FileTransferStatusBar->addPanel(172, Qt::AlignLeft, QString());
    BigDisplaySpeedButton = ui::Speed(data, "BigDisplaySpeedButton", QStringLiteral("<>"), 8, 102, 28, 22,
                                      QStringLiteral("Change Display Size"));

    // The received picture (and the last snapshot), over the line icon's place.
    WebPhoneDisplay = ui::Group(c, "WebPhoneDisplay", QString(), 192, 8, 193, 161, QStringLiteral("Data Phone Display"));
    WebPhoneDisplay->hide();
    // It covers the camera's place: nothing may show through.
    WebPhoneDisplay->setAutoFillBackground(true);
    BitmapDisplay = ui::Named(new QLabel(WebPhoneDisplay), "BitmapDisplay");
    BitmapDisplay->setGeometry(7, 16, 178, 135);
    BitmapDisplay->setScaledContents(true);
    BitmapDisplay->setFrameShape(QFrame::Box);
    BitmapDisplay->setFrameShadow(QFrame::Sunken);
    BitmapDisplay->setToolTip(QStringLiteral("Received picture"));

    // The data-phone counters under the picture: what came in, what went
    // out, the time units; bars 2 and 4 (bytes and files sent) are shared
    // with mail and upload. The Close button keeps the corner.
    static constexpr struct {
        const char* name;
        int x, y;
        const char* hint;
    } kBars[8] = {
        {"WebPhoneStatusBar1", 200, 202, "Bytes received"}, {"WebPhoneStatusBar2", 200, 221, "Bytes sent"},
        {"WebPhoneStatusBar3", 262, 202, "Files received"}, {"WebPhoneStatusBar4", 262, 221, "Files sent"},
        {"WebPhoneStatusBar5", 200, 240, "Receive time"},   {"WebPhoneStatusBar6", 262, 240, "Send time"},
        {"WebPhoneStatusBar7", 324, 202, "Pictures received"}, {"WebPhoneStatusBar8", 324, 221, "Pictures sent"},
    };
    for (int i = 0; i < 8; ++i) {
        auto* bar = ui::Named(new TStatusBar(c), kBars[i].name);
        bar->setGeometry(kBars[i].x, kBars[i].y, 58, 19);
        bar->addPanel(58, Qt::AlignRight, QStringLiteral("0"));
        bar->setToolTip(QString::fromLatin1(kBars[i].hint));
        WebPhoneStatusBars_[i] = bar;
    }

    connect(WebPhoneButton1, &QPushButton::clicked, this, &TPhonePanel::PhoneClicked);
    connect(WebPhoneButton2, &QPushButton::clicked, this, &TPhonePanel::PreviousClicked);
    connect(WebPhoneButton3, &QPushButton::clicked, this, &TPhonePanel::NextClicked);
    connect(SpeedButtonSend, &QToolButton::clicked, this, &TPhonePanel::SendClicked);
    connect(SpeedButtonReceive, &QToolButton::clicked, this, &TPhonePanel::ReceiveClicked);
    connect(SpeedButtonStop, &QToolButton::clicked, this, &TPhonePanel::StopClicked);
    connect(SpeedButtonResume, &QToolButton::clicked, this, &TPhonePanel::ResumeClicked);
    connect(BigDisplaySpeedButton, &QToolButton::clicked, this, &TPhonePanel::BigDisplayClicked);
}

void TPhonePanel::SetButtonCaption(const QString& caption) { WebPhoneButton1->setText(caption); }

void TPhonePanel::SetStatus(const QString& text) {
    if (connectStatus_) connectStatus_->setPanelText(0, text);
}

QString TPhonePanel::PhoneNumberText() const { return WebPhoneIP_Edit1->text(); }

void TPhonePanel::SetLineLamp(bool lit) { LEDWebPhoneIPLabel1->setLit(lit); }

void TPhonePanel::TransferLampsOff() {
    for (TLED* led : {LED_Send, LED_Receive, LED_Stop, LED_Resume}) led->setLit(false);
}

void TPhonePanel::ShowRecipient(const QString& lastName, const QString& phone, const QString& email) {
    WebPhoneIP_Edit2->setText(lastName);
    WebPhoneIP_Edit1->setText(phone);
    WebPhoneEmail_Edit1->setText(email);
}

void TPhonePanel::Layout(WindowMode mode) {
    if (mode == WindowMode::Player) return;
    const bool html = IsHtmlMode(mode);
    WebPhoneDialer->setVisible(html);
    LEDWebPhoneIPLabel1->setVisible(html);
    DataGroupBox->setVisible(html);
    for (TStatusBar* bar : WebPhoneStatusBars_) bar->setVisible(html);
    WebPhoneDisplay->setVisible(mode == WindowMode::PhoneChat);
    if (WebPhoneDisplay->isVisible()) WebPhoneDisplay->raise();
}

void TPhonePanel::ShowTransferCounters(const QString& total, const QString& count) {
    WebPhoneStatusBars_[1]->setPanelText(0, total);
    WebPhoneStatusBars_[3]->setPanelText(0, count);
}

bool TPhonePanel::ToggleDisplaySize(bool chatChecked) {
    const bool large = !displaySizeToggle_;
    displaySizeToggle_ = large;
    if (large) {
        WebPhoneDisplay->setGeometry(80, 8, 305, 241);
        BitmapDisplay->setGeometry(7, 16, 289, 215);
    } else {
        WebPhoneDisplay->setGeometry(192, 8, 193, 161);
        BitmapDisplay->setGeometry(7, 16, 178, 135);
    }
    WebPhoneDialer->resize(chatChecked ? 291 : 98, WebPhoneDialer->height());
    return large;
}

namespace {
TLED* LampAt(const std::array<TLED*, 5>& lamps, int lamp) {
    return lamp >= 0 && lamp < 5 ? lamps[static_cast<std::size_t>(lamp)] : nullptr;
}
}  // namespace

void TPhonePanel::ShowLamp(int lamp, bool lit, int color) {
    if (TLED* led = LampAt({LED_Send, LED_Receive, LED_Stop, LED_Resume, LED_SendJPEG}, lamp)) {
        led->setColor(color == 1 ? lcGreen : color == 2 ? lcYellow : lcRed);
        led->setLit(lit);
    }
}

bool TPhonePanel::LampLit(int lamp) const {
    TLED* led = LampAt({LED_Send, LED_Receive, LED_Stop, LED_Resume, LED_SendJPEG}, lamp);
    return led && led->Lit();
}

void TPhonePanel::SetSendEnabled(bool enabled) { SpeedButtonSend->setEnabled(enabled); }

void TPhonePanel::ShowProgress(std::int64_t max, std::int64_t position, const QString& status) {
    // The bar counts in ints: large files are shown in kilobytes. An empty
    // range would make it a busy indicator.
    const int shift = max > 0x7fffffff ? 10 : 0;
    FileTransferProgressBar->setRange(0, std::max(1, static_cast<int>(max >> shift)));
    FileTransferProgressBar->setValue(static_cast<int>(position >> shift));
    FileTransferStatusBar->setPanelText(0, status);
}

void TPhonePanel::ShowCounters(const std::array<std::int64_t, 8>& counters) {
    for (std::size_t i = 0; i < counters.size(); ++i) WebPhoneStatusBars_[i]->setPanelText(0, QString::number(counters[i]));
}

void TPhonePanel::ShowPicture(const QImage& picture) {
    if (!picture.isNull()) BitmapDisplay->setPixmap(QPixmap::fromImage(picture));
}

}  // namespace vandrex
