#pragma once
// TTimeLapse: the rules of the timer group ("Set", the timer speed button,
// the time-lapse tick and the end of a timed recording), without widgets.
// The window reads its edits and radio buttons into the calls and carries
// out what the hooks ask; every hook is optional.

#include <functional>
#include <string>

namespace vandrex {

// What a snapshot or tick produces (the format radio buttons).
enum class TCaptureFormat { Gif, Jpg, Audio, Video };

// The colours LED_TimerActive takes during a tick.
enum class TTickLamp { Yellow, Red };

class TTimeLapse {
public:
    struct TValues {
        std::string Interval;  // minutes, Timer_Interval_Edit
        std::string Duration;  // seconds, Timer_Duration_Edit
    };

    // TimerSetButtonClick: interval at least 3; duration at most interval x
    // 30 and at least 15. EConvertError for a text that is not a number.
    static TValues SetValues(const TValues& edits);

    // TimerSpeedButtonClick. Switching on needs an interval of at least one
    // minute (an interval of 0 would tick without pause); without one the
    // timer stays off and false is returned.
    bool SpeedButtonClick(const std::string& intervalText);
    bool On() const { return on_; }
    int IntervalMs() const { return intervalMs_; }

    // TimerTimer. Skipped (false) while an upload or a data-phone send is
    // running, since they process events and a tick would rewrite the files
    // they are sending.
    bool Tick(TCaptureFormat format, const std::string& durationText);
    // RealMediaTimerTimer.
    void RealMediaTimerTimer();

    // --- hooks ---
    std::function<void(bool lit)> SetTimerLamps;          // LED_Timer and LED_TimerActive
    std::function<void(TTickLamp)> SetTickLamp;           // LED_TimerActive's colour
    std::function<void(bool enabled, int ms)> SetTimer;   // Timer
    std::function<void(bool visible)> ShowCamera;         // VideoCap1 (and i_mode_Logo when shown)
    std::function<void()> ClearUploadName;                // remembered FTP name
    std::function<bool()> Busy;                           // upload or data-phone send running
    std::function<void()> Snapshot;                       // the snapshot button's action
    std::function<void()> BoostReduceAndWriteGif;         // boost, 64 colours, "Snapshot.gif"
    std::function<void()> ClickFtp;                       // one click on FTPSButton
    std::function<void()> ClickRecorder;                  // StartAudioSButton
    // RealMediaTimer; ms is the interval to set when enabling.
    std::function<void(bool enabled, int ms)> SetRealMediaTimer;

private:
    bool on_ = false;
    int intervalMs_ = 0;
};

// A decimal integer text as the conversion function reads it (surrounding
// blanks are not allowed); EConvertError with "'<text>' is not a valid
// integer value" otherwise.
int StrToInt(const std::string& text);

}  // namespace vandrex
