#pragma once
// The phone group WebPhoneDialer (recipient ID, number and e-mail address
// copied from the card, the Phone button and the twins of << and >>), the
// line lamp LEDWebPhoneIPLabel1 and the data group DataGroupBox (send,
// receive, stop and resume with their lamps, the transfer bar and byte
// count, the display-size button), shown in HTML mail mode where the card
// edits were; the data-phone display WebPhoneDisplay with the picture
// BitmapDisplay (phone chat mode) and the eight counter bars
// WebPhoneStatusBar1..8. The phone handlers write it as their TPhoneView
// (the status text goes to the window's ConnectStatus), the data phone
// through the Show... functions.

#include <QObject>
#include <array>
#include <cstdint>

#include "app/panels/windowmode.h"
#include "telephony/phonecalltool.h"

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;
class QFrame;
class QImage;
class QLabel;

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
    // Activation: the picture display at its normal size.
    void ResetDisplaySize() { displaySizeToggle_ = false; }
    bool DisplaySizeToggle() const { return displaySizeToggle_; }
    // BigDisplaySpeedButtonClick's part in this panel: the flag, the display
    // and picture places and the dialer's width. Returns the new flag.
    bool ToggleDisplaySize(bool chatChecked);

    // The data phone's view. lamps: LED_Send, LED_Receive, LED_Stop,
    // LED_Resume, LED_SendJPEG, each lit and colour (0 red, 1 green, 2 yellow).
    void ShowLamp(int lamp, bool lit, int color);
    bool LampLit(int lamp) const;
    void SetSendEnabled(bool enabled);
    void ShowProgress(std::int64_t max, std::int64_t position, const QString& status);
    // WebPhoneStatusBar1..8 in that order.
    void ShowCounters(const std::array<std::int64_t, 8>& counters);
    // BitmapDisplay; a null picture leaves it as it is.
    void ShowPicture(const QImage& picture);
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
    void SendClicked();      // SpeedButtonSend
    void ReceiveClicked();   // SpeedButtonReceive
    void StopClicked();      // SpeedButtonStop
    void ResumeClicked();    // SpeedButtonResume
    void BigDisplayClicked();  // BigDisplaySpeedButton

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
    QToolButton* BigDisplaySpeedButton = nullptr;
    QGroupBox* WebPhoneDisplay = nullptr;
    QLabel* BitmapDisplay = nullptr;
    std::array<TStatusBar*, 8> WebPhoneStatusBars_{};  // WebPhoneStatusBar1..8

    TStatusBar* connectStatus_ = nullptr;
    bool displaySizeToggle_ = false;
};

}  // namespace vandrex
