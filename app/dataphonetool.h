#pragma once
// TDataPhoneTool: the window's data phone. It owns the protocol (TDataPhone),
// the store of what arrives (TDataPhoneStore on the working folder) and the
// driver that runs them on the real line Modem1, and carries out the phone
// group's handlers: MailEntryEditButtonClick, the sending part of
// ZozadiFotoBtn1Click, SendFile1Click, Modem1NewData, ReceiveFile1Click,
// SpeedButtonStopClick, SpeedButtonResumeClick and BigDisplaySpeedButtonClick.
// The phone's View is the one record of the lamps, buttons, progress and
// counters; every batch of its events is shown from it.

#include <QImage>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "telephony/dataphone.h"

namespace vandrex {

class TBitmap;
class TDataPhoneDriver;
class TDataPhoneStore;
class TForm1;
class TLineInterface;
class TTAPILine;
struct TPanels;

// A picture for a picture control.
QImage ToQImage(const TBitmap& picture);

class TDataPhoneTool : public QObject {
    Q_OBJECT
public:
    // folder: where received items go (the working folder at start-up). The
    // owner destroys the tool before the line.
    TDataPhoneTool(TForm1& form, const TPanels& panels, TLineInterface& line, const std::string& folder);
    ~TDataPhoneTool() override;

    TDataPhone& Phone() { return *phone_; }
    TDataPhoneStore& Store() { return *store_; }
    TDataPhoneDriver& Driver() { return *driver_; }

    void MailEntryEditButtonClick();
    // The snapshot's sending part: file is the snapshot's JPEG.
    void SendSnapshot(const std::string& file);
    void SendFile1Click();
    void Modem1NewData();
    void ReceiveFile1Click();
    void SpeedButtonStopClick();
    void SpeedButtonResumeClick();
    void BigDisplaySpeedButtonClick();
    // The call's CONNECTED and DISCONNECTED.
    void SetConnected(bool connected);
    // Activation: the eight counters to zero.
    void ResetCounters();
    // A picture or file is going out or coming in.
    bool TransferBusy() const { return phone_->Busy(); }

    // How long Stop and Resume keep their lamp lit.
    static constexpr int kLampPauseMs = 100;

private:
    void OnEvents(const std::vector<TDataPhoneEvent>& events);
    void ShowView();
    void GetJPEGFile(const std::string& storedName);
    // Runs a command given to the phone and writes what it produced.
    template <class F>
    void Command(F&& f);

    TForm1& form_;
    const TPanels& p_;
    TLineInterface& line_;
    TTAPILine* tapi_ = nullptr;
    std::unique_ptr<TDataPhoneStore> store_;
    std::unique_ptr<TDataPhone> phone_;
    std::unique_ptr<TDataPhoneDriver> driver_;
};

}  // namespace vandrex
