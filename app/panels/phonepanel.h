#pragma once
// The phone group WebPhoneDialer (recipient ID, number and e-mail address
// copied from the card, the Phone button and the twins of << and >>), the
// line lamp LEDWebPhoneIPLabel1 and the data group DataGroupBox (send,
// receive, stop and resume with their lamps, the transfer bar and byte
// count, the received picture). Shown in HTML mail mode where the card edits
// were. Owns the data-phone counters. The phone handlers write it as their
// TPhoneView (the status text goes to the window's ConnectStatus).

#include <QObject>
#include <array>

#include "app/panels/windowmode.h"
#include "telephony/phonecalltool.h"

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;
class QFrame;

namespace vandrex {

class TLED;
class TLEDLabel;
class TStatusBar;

class TPhonePanel : public QObject, public TPhoneView {
    Q_OBJECT
public:
    TPhonePanel(QWidget* client, QObject* parent);

    // ShowCard's copies of the card for the phone tools.
    void ShowRecipient(const QString& lastName, const QString& phone, const QString& email);
    void Layout(WindowMode mode);
    // Activation: the eight data-phone counters and the picture display size.
    void ResetCounters();
    void ResetDisplaySize() { displaySizeToggle_ = false; }

    const std::array<int, 8>& DataPhoneCounters() const { return counters_; }
    bool DisplaySizeToggle() const { return displaySizeToggle_; }
    // The sent-bytes and sent-files bars, shared with mail and upload.
    void ShowTransferCounters(const QString& total, const QString& count);
    // Where SetStatus writes (panel 0); the window's status bar.
    void SetConnectStatus(TStatusBar* bar) { connectStatus_ = bar; }

    void SetButtonCaption(const QString& caption) override;
    void SetStatus(const QString& text) override;
    QString PhoneNumberText() const override;
    void SetLineLamp(bool lit) override;
    void TransferLampsOff() override;

signals:
    void PreviousClicked();  // WebPhoneButton2
    void NextClicked();      // WebPhoneButton3
    void PhoneClicked();     // WebPhoneButton1

private:
    QGroupBox* WebPhoneDialer = nullptr;
    QLineEdit* WebPhoneIP_Edit2 = nullptr;
    QLineEdit* WebPhoneIP_Edit1 = nullptr;
    QLineEdit* WebPhoneEmail_Edit1 = nullptr;
    QPushButton* WebPhoneButton1 = nullptr;
    QPushButton* WebPhoneButton2 = nullptr;
    QPushButton* WebPhoneButton3 = nullptr;
    TLEDLabel* LEDWebPhoneIPLabel1 = nullptr;
    QGroupBox* DataGroupBox = nullptr;
    QToolButton* SpeedButtonSend = nullptr;
    QToolButton* SpeedButtonReceive = nullptr;
    QToolButton* SpeedButtonStop = nullptr;
    QToolButton* SpeedButtonResume = nullptr;
    TLED* LED_Send = nullptr;
    TLED* LED_Receive = nullptr;
    TLED* LED_Stop = nullptr;
    TLED* LED_Resume = nullptr;
    TLED* LED_SendJPEG = nullptr;
    QProgressBar* FileTransferProgressBar = nullptr;
    TStatusBar* FileTransferStatusBar = nullptr;
    QFrame* BitmapDisplay = nullptr;
    TStatusBar* WebPhoneStatusBar2 = nullptr;
    TStatusBar* WebPhoneStatusBar4 = nullptr;

    TStatusBar* connectStatus_ = nullptr;
    std::array<int, 8> counters_{};
    bool displaySizeToggle_ = false;
};

}  // namespace vandrex
