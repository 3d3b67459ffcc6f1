#include "telephony/dataphonedriver.h"

#include <algorithm>

namespace vandrex {

TDataPhoneDriver::TDataPhoneDriver(TDataPhone& phone, TReadAll read, TWrite write, QObject* parent)
    : QObject(parent), phone_(phone), read_(std::move(read)), write_(std::move(write)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        phone_.Tick();
        Flush();
    });
}

void TDataPhoneDriver::NewData() {
    std::string bytes = read_();
    if (bytes.empty()) return;
    phone_.Feed(bytes);
    Flush();
}

void TDataPhoneDriver::Flush() {
    // A handler of the Events signal may give the phone a command, which
    // flushes again: that inner call does the work of the outer loop.
    if (flushing_) return;
    flushing_ = true;
    // A write or an event handler that throws must not leave the driver
    // believing it is still flushing: every later step would be dropped.
    struct TReset {
        TDataPhoneDriver* driver;
        ~TReset() {
            driver->flushing_ = false;
            driver->Rearm();
        }
    } reset{this};
    for (;;) {
        std::string out = phone_.TakeOutput();
        if (!out.empty() && !write_(out)) phone_.SetConnected(false);
        auto events = phone_.TakeEvents();
        if (events.empty()) break;
        emit Events(events);
    }
}

void TDataPhoneDriver::Rearm() {
    timer_.stop();
    auto deadline = phone_.NextDeadline();
    if (!deadline) return;
    // The phone's clock and the timer both count real milliseconds.
    std::int64_t wait = std::max<std::int64_t>(0, *deadline - phone_.Now());
    timer_.start(static_cast<int>(std::min<std::int64_t>(wait, 60 * 60 * 1000)));
}

}  // namespace vandrex
