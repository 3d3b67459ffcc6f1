#pragma once
// What the main window and its tools ask of the telephony line (Modem1).
// The line component implements it; app/main.cpp chooses the
// implementation. Required operations first, then the optional ones with
// their defaults, then the events (each carries its sender, like the
// component's own method-pointer events).

#include <QString>
#include <functional>

namespace vandrex {

class TTAPILine;

class TLineInterface {
public:
    using TNotifyEvent = std::function<void(TLineInterface* sender)>;

    virtual ~TLineInterface() = default;

    // --- required ---
    // Opens the line DevIdToInitialize (clears Dropped); Close closes the
    // stream and the line (clears Connected). Neither fails when there is no
    // line to open or close.
    virtual void Open() = 0;
    virtual void Close() = 0;
    // Places a call to PhoneNumber; drops the current call.
    virtual void MakeCall() = 0;
    virtual void DropCall() = 0;

    // TAPI device of the line to open; -1 = none chosen.
    virtual int DevIdToInitialize() const = 0;
    virtual void SetDevIdToInitialize(int deviceId) = 0;
    // The number dialled; ShowCard copies the card's phone here.
    virtual QString PhoneNumber() const = 0;
    virtual void SetPhoneNumber(const QString& number) = 0;

    // Run-time flags shared with the window's handlers.
    virtual bool Connected() const = 0;
    virtual void SetConnected(bool on) = 0;
    virtual bool Dropped() const = 0;
    virtual void SetDropped(bool on) = 0;
    virtual bool Suspended() const = 0;
    virtual void SetSuspended(bool on) = 0;

    // --- optional ---
    // The menu items Config and Location.
    virtual void ConfigDialog() {}
    virtual void TranslateDialog() {}
    // The real line component, for the window's phone handlers; nullptr for
    // a line without one.
    virtual TTAPILine* Control() { return nullptr; }

    // --- events, on the user-interface thread ---
    TNotifyEvent OnConnection;
    TNotifyEvent OnCallOffering;
    TNotifyEvent OnDisconnect;
    TNotifyEvent OnDropCall;
    TNotifyEvent OnNewData;
};

}  // namespace vandrex
