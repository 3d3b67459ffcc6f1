#include "app/panels/phonepanel.h"

#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

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
    BitmapDisplay = ui::Picture(data, "BitmapDisplay", 8, 102, 172, 24, QStringLiteral("Received picture"));

    // Bytes and files sent, where the card commands stand in text mail mode.
    WebPhoneStatusBar2 = ui::Named(new TStatusBar(c), "WebPhoneStatusBar2");
    WebPhoneStatusBar2->setGeometry(202, 240, 60, 19);
    WebPhoneStatusBar2->addPanel(60, Qt::AlignRight, QStringLiteral("0"));
    WebPhoneStatusBar2->setToolTip(QStringLiteral("Bytes sent"));
    WebPhoneStatusBar4 = ui::Named(new TStatusBar(c), "WebPhoneStatusBar4");
    WebPhoneStatusBar4->setGeometry(266, 240, 60, 19);
    WebPhoneStatusBar4->addPanel(60, Qt::AlignRight, QStringLiteral("0"));
    WebPhoneStatusBar4->setToolTip(QStringLiteral("Files sent"));

    connect(WebPhoneButton1, &QPushButton::clicked, this, &TPhonePanel::PhoneClicked);
    connect(WebPhoneButton2, &QPushButton::clicked, this, &TPhonePanel::PreviousClicked);
    connect(WebPhoneButton3, &QPushButton::clicked, this, &TPhonePanel::NextClicked);
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
    WebPhoneStatusBar2->setVisible(html);
    WebPhoneStatusBar4->setVisible(html);
}

void TPhonePanel::ShowTransferCounters(const QString& total, const QString& count) {
    WebPhoneStatusBar2->setPanelText(0, total);
    WebPhoneStatusBar4->setPanelText(0, count);
}

void TPhonePanel::ResetCounters() { counters_.fill(0); }

}  // namespace vandrex
