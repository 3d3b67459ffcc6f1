#pragma once
// One encoding run on the worker thread: input, encoders and outputs driven
// from the start event to the stop event. The session reports through
// callbacks on the worker thread; the control carries them to the user
// interface.

#include <atomic>
#include <functional>
#include <string>

#include "media/producersettings.h"

namespace vandrex {

// Error codes of OnErrorOccurred.
enum TEncodeErrorCode : int {
    kEncodeErrorInput = 1,            // the input cannot be opened or read
    kEncodeErrorOutputProtected = 2,  // the output file is write protected
    kEncodeErrorOutputIsInput = 3,    // the output would overwrite the input
    kEncodeErrorEncoder = 4,          // an encoder or filter failed
    kEncodeErrorOutput = 5,           // the output cannot be written
    kEncodeErrorSettings = 6,         // settings that cannot be encoded
};

struct TEncodeEvents {
    std::function<void()> Started;
    // duration: ms since the start; timestamp: media position in ms.
    std::function<void(int duration, int timestamp, int percentDone, int audioPeakLevel)> Progress;
    std::function<void(int timestamp, int audioPeakValue)> Clipped;
    std::function<void(int code, const std::string& text)> Error;
    std::function<void()> Stopped;
};

class TEncodeSession {
public:
    // Progress is reported at least this often while encoding.
    static constexpr int kProgressPeriodMs = 250;

    TEncodeSession(TProducerSettings settings, TAudienceSettings audience, TEncodeEvents events);
    // Runs to the end of the input or until stop is set. Always reports
    // Started first and Stopped last; a recording stopped or failed part way
    // is finished so that it plays.
    void Run(const std::atomic<bool>& stop);

private:
    TProducerSettings settings_;
    TAudienceSettings audience_;
    TEncodeEvents events_;
};

// True when both names lead to the same existing file (links included).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace vandrex
