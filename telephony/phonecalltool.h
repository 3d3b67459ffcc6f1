#pragma once
// TPhoneCallTool: the main window's phone handlers (the Phone button, the
// line events and the Modem menu's Config and Location items) without the
// widgets. The window gives it a TPhoneView that writes the few controls the
// handlers touch; the tool assigns the line's events to its handlers.

#include <QString>
#include <functional>

namespace vandrex {

class TTAPILine;

class TPhoneView {
public:
    virtual ~TPhoneView() = default;
    virtual void SetButtonCaption(const QString& caption) = 0;  // WebPhoneButton1
    virtual void SetStatus(const QString& text) = 0;            // ConnectStatus panel 0
    virtual QString PhoneNumberText() const = 0;                 // WebPhoneIP_Edit1
    virtual void SetLineLamp(bool lit) = 0;                      // LEDWebPhoneIPLabel1
    // LED_Send, LED_Receive, LED_Stop and LED_Resume off.
    virtual void TransferLampsOff() = 0;
};

class TPhoneCallTool {
public:
    // Assigns OnCallOffering, OnConnection, OnDropCall, OnDisconnect and the
    // address check's lamp of line; leaves OnNewData to the data phone. A
    // handler the line already had (the adapter's forwarding) runs after the
    // tool's own.
    TPhoneCallTool(TTAPILine& line, TPhoneView& view);
    // Takes its handlers off the line again.
    ~TPhoneCallTool();
    TPhoneCallTool(const TPhoneCallTool&) = delete;
    TPhoneCallTool& operator=(const TPhoneCallTool&) = delete;

    // The data call came up (true) or ended (false): CONNECTED, the drop and
    // DISCONNECTED of the line, and the user's own hang-up.
    std::function<void(bool connected)> CallStateChanged;

    // An offered call has been announced and not yet dealt with.
    bool AnsweringIncoming = false;

    void WebPhoneButton1Click();
    void Modem1CallOffering();
    void Modem1Connection();
    void Modem1DropCall();
    void Modem1Disconnect();
    void Config1Click();
    void Device1Click();

private:
    using TLineEvent = std::function<void(TTAPILine*)>;
    TTAPILine& line_;
    TPhoneView& view_;
    // What the line's events held before, restored by the destructor.
    TLineEvent offering_, connection_, dropCall_, disconnect_;
};

}  // namespace vandrex
