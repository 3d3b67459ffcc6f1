#include "imaging/timelapse.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/exceptions.h"

namespace vandrex {

int StrToInt(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    const bool blankStart = !text.empty() && std::isspace(static_cast<unsigned char>(text[0]));
    if (text.empty() || blankStart || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return int(value);
}

TTimeLapse::TValues TTimeLapse::SetValues(const TValues& edits) {
    TValues v = edits;
    int interval = StrToInt(v.Interval);
    if (interval < 3) {
        interval = 3;
        v.Interval = "3";
    }
    int duration = StrToInt(v.Duration);
    if (interval * 30 < duration) {
        duration = interval * 30;
        v.Duration = std::to_string(duration);
    }
    if (duration < 15) v.Duration = "15";
    return v;
}

bool TTimeLapse::SpeedButtonClick(const std::string& intervalText) {
    if (on_) {
        on_ = false;
        if (SetTimerLamps) SetTimerLamps(false);
        if (SetTimer) SetTimer(false, intervalMs_);
        if (ShowCamera) ShowCamera(true);
        return true;
    }
    const long long ms = static_cast<long long>(StrToInt(intervalText)) * 60000;
    if (ms <= 0 || ms > INT_MAX) return false;
    on_ = true;
    intervalMs_ = int(ms);
    if (SetTimerLamps) SetTimerLamps(true);
    if (ShowCamera) ShowCamera(false);
    if (SetTimer) SetTimer(true, intervalMs_);
    if (ClearUploadName) ClearUploadName();
    return true;
}

bool TTimeLapse::Tick(TCaptureFormat format, const std::string& durationText) {
    if (Busy && Busy()) return false;
    if (SetTickLamp) SetTickLamp(TTickLamp::Yellow);
    struct TRedAtEnd {
        const TTimeLapse& t;
        ~TRedAtEnd() {
            if (t.SetTickLamp) t.SetTickLamp(TTickLamp::Red);
        }
    } red{*this};
    switch (format) {
    case TCaptureFormat::Gif:
        if (Snapshot) Snapshot();
        if (BoostReduceAndWriteGif) BoostReduceAndWriteGif();
        if (ClickFtp) ClickFtp();
        break;
    case TCaptureFormat::Jpg:
        if (Snapshot) Snapshot();
        if (ClickFtp) ClickFtp();
        break;
    case TCaptureFormat::Audio:
    case TCaptureFormat::Video: {
        const int ms = StrToInt(durationText) * 1000;
        if (SetRealMediaTimer) SetRealMediaTimer(false, ms);
        if (ClickRecorder) ClickRecorder();
        if (SetRealMediaTimer) SetRealMediaTimer(true, ms);
        break;
    }
    }
    return true;
}

void TTimeLapse::RealMediaTimerTimer() {
    if (SetRealMediaTimer) SetRealMediaTimer(false, 0);
    if (ClickRecorder) ClickRecorder();
}

}  // namespace vandrex
