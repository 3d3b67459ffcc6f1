#pragma once
// TNewData: the receive thread of the line component. It waits for bytes to
// arrive on the call's stream and posts one NewDataNotice per arrival to the
// hidden window; it never reads or writes the stream. The component owns the
// thread and joins it before the stream closes.

#include <atomic>
#include <functional>
#include <thread>

#include "platform/telephony/commhandle.h"

namespace vandrex {

class TNewData {
public:
    // shouldRun is checked once per pass (Connected and not Suspended);
    // notify posts a notice. The thread starts at once.
    TNewData(TCommHandlePtr stream, std::function<bool()> shouldRun, std::function<void()> notify);
    // Stops and joins.
    ~TNewData();
    TNewData(const TNewData&) = delete;
    TNewData& operator=(const TNewData&) = delete;

    // Asks the thread to end and waits for it.
    void Stop();
    // Makes the thread look again: it reports bytes already waiting (after
    // delivery was suspended and resumed).
    void Resume();
    bool Finished() const { return finished_.load(); }

private:
    void Run();
    TCommHandlePtr stream_;
    std::function<bool()> shouldRun_;
    std::function<void()> notify_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace vandrex
