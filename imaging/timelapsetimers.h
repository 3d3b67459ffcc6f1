#pragma once
// TTimeLapseTimers: the window's two timers of the timer group, Timer
// (60000 ms, TimerTimer) and RealMediaTimer (15000 ms, RealMediaTimerTimer),
// both disabled at start, wired to a TTimeLapse. The window sets the format
// and duration readers and the remaining hooks of the TTimeLapse.

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "imaging/timelapse.h"

namespace vandrex {

class TTimeLapseTimers : public QObject {
    Q_OBJECT
public:
    explicit TTimeLapseTimers(TTimeLapse& rules, QObject* parent = nullptr);

    QTimer Timer;
    QTimer RealMediaTimer;

    // What the tick reads from the window: the checked format radio button
    // and Timer_Duration_Edit's text.
    std::function<TCaptureFormat()> Format;
    std::function<std::string()> DurationText;
    // Errors of a tick (an exception must not leave a timer handler).
    std::function<void(const std::string&)> OnError;

private:
    void TimerTimer();
    TTimeLapse& rules_;
};

}  // namespace vandrex
