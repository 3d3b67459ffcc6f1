#include "imaging/timelapsetimers.h"

#include "platform/exceptions.h"

namespace vandrex {

TTimeLapseTimers::TTimeLapseTimers(TTimeLapse& rules, QObject* parent) : QObject(parent), rules_(rules) {
    Timer.setObjectName("Timer");
    Timer.setInterval(60000);
    RealMediaTimer.setObjectName("RealMediaTimer");
    RealMediaTimer.setInterval(15000);
    rules_.SetTimer = [this](bool enabled, int ms) {
        if (!enabled) {
            Timer.stop();
            return;
        }
        Timer.setInterval(ms);
        Timer.start();
    };
    rules_.SetRealMediaTimer = [this](bool enabled, int ms) {
        if (!enabled) {
            RealMediaTimer.stop();
            return;
        }
        RealMediaTimer.setInterval(ms);
        RealMediaTimer.start();
    };
    connect(&Timer, &QTimer::timeout, this, &TTimeLapseTimers::TimerTimer);
    connect(&RealMediaTimer, &QTimer::timeout, this, [this] { rules_.RealMediaTimerTimer(); });
}

void TTimeLapseTimers::TimerTimer() {
    try {
        rules_.Tick(Format ? Format() : TCaptureFormat::Gif, DurationText ? DurationText() : "15");
    } catch (const Exception& e) {
        if (OnError) OnError(e.message());
    }
}

}  // namespace vandrex
