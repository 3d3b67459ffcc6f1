#pragma once
// TFdCommHandle: TCommHandle over a descriptor the handle owns, a connected
// TCP socket or a serial port (a real UART or a pseudo-terminal). All waits
// are poll-based and end at once on HangUp or Close; Close waits for every
// operation in progress to leave before the descriptor is closed, so no
// thread ever waits on a reused descriptor.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/telephony/commhandle.h"

namespace vandrex {

class TFdCommHandle : public TCommHandle {
public:
    enum class Kind { Socket, Serial };
    // Takes ownership of fd and makes it non-blocking.
    TFdCommHandle(int fd, Kind kind);
    ~TFdCommHandle() override;

    Result Read(void* buffer, std::size_t size, TDeadline deadline) override;
    Result Write(const void* data, std::size_t size, TDeadline deadline) override;
    long BytesWaiting() override;
    Wait WaitForArrival(TDeadline deadline) override;
    void Wake() override;
    void Purge(bool transmit, bool receive) override;
    std::uint32_t ClearErrors() override;
    void HangUp() override;
    bool IsHungUp() const override { return hungUp_.load(); }
    void Close() override;
    bool IsClosed() const override { return closed_.load(); }

    // For the line layer: a duplicate of the descriptor that stays valid
    // after Close, for watching the far end's hang-up (-1 once closed).
    int DuplicateForWatch();
    // Bytes read from the descriptor before this handle took it over (a
    // modem's first call data, read together with its CONNECT line). Reads
    // take them first; call before the handle is shared.
    void Preload(const std::string& bytes);

private:
    class Use;
    bool Enter();
    void Leave();
    int WaitFd(short events, TDeadline deadline, bool* hung);
    Status ClosedStatus() const;

    const int fd_;
    const Kind kind_;
    int hangupFd_ = -1;  // eventfd, signalled for good by HangUp / Close
    int wakeFd_ = -1;    // eventfd, consumed by WaitForArrival
    int epollFd_ = -1;   // created by the first WaitForArrival
    bool firstWait_ = true;
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> closedAfterHangUp_{false};
    std::mutex mutex_;
    std::condition_variable idle_;
    int inUse_ = 0;
    bool fdClosed_ = false;
    std::mutex preloadMutex_;
    std::string preload_;
    // Serial line error counters at the last ClearErrors.
    int frame_ = 0, overrun_ = 0, parity_ = 0, brk_ = 0, bufOverrun_ = 0;
    bool countersRead_ = false;
};

// Milliseconds from now to the deadline, rounded up, at least 0, capped so a
// far deadline fits poll's int.
int MillisecondsUntil(TDeadline deadline);

}  // namespace vandrex
