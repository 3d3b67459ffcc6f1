#pragma once
// TDataPhoneDriver: runs a TDataPhone on the user-interface thread for the
// main window. The line's new-data notice calls NewData (which reads every
// waiting byte); a single-shot timer runs Tick at the phone's next deadline;
// after every step the phone's output is written to the line and its events
// are handed on in one Events signal. The line is reached through two
// functions, so the driver does not depend on the line component.

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "telephony/dataphone.h"

namespace vandrex {

class TDataPhoneDriver : public QObject {
    Q_OBJECT
public:
    using TReadAll = std::function<std::string()>;              // every waiting byte, maybe none
    using TWrite = std::function<bool(std::string_view bytes)>;  // false: the call is gone

    TDataPhoneDriver(TDataPhone& phone, TReadAll read, TWrite write, QObject* parent = nullptr);

    TDataPhone& Phone() { return phone_; }

    // Each new-data notice; a notice with nothing waiting does nothing.
    void NewData();
    // After any command given to the phone directly (SendChat, SendFile ...).
    void Flush();

signals:
    void Events(const std::vector<vandrex::TDataPhoneEvent>& events);

private:
    void Rearm();

    TDataPhone& phone_;
    TReadAll read_;
    TWrite write_;
    QTimer timer_;
    bool flushing_ = false;
};

}  // namespace vandrex
