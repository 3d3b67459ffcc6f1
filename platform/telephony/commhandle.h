#pragma once
// TCommHandle: the byte stream of one connected call, from CONNECTED until
// the call goes IDLE or DISCONNECTED or the line closes. The line layer hands
// it out (lineGetID with "comm/datamodem"); the line component reads and
// writes it. It is an interface so that a TCP line, a serial modem and a
// later encrypted line all fit behind it.
//
// Thread contract: one thread may read and write while one other thread waits
// for arrivals (WaitForArrival); HangUp, Wake and Close may be called from any
// thread and wake both.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vandrex {

using TDeadline = std::chrono::steady_clock::time_point;

// Line-error bits as ClearCommError reports them.
enum : std::uint32_t {
    CE_RXOVER = 0x0001,
    CE_OVERRUN = 0x0002,
    CE_RXPARITY = 0x0004,
    CE_FRAME = 0x0008,
    CE_BREAK = 0x0010,
    CE_TXFULL = 0x0100,
    CE_PTO = 0x0200,
    CE_IOE = 0x0400,
    CE_DNS = 0x0800,
    CE_OOP = 0x1000,
    CE_MODE = 0x8000,
};

class TCommHandle {
public:
    enum class Status {
        Ok,        // bytes moved (count in Result::bytes, at least one)
        TimedOut,  // the deadline passed first
        HungUp,    // the far end or the line ended the call
        Closed,    // Close was called on this handle
        Failed,    // any other failure; Result::error holds errno
    };
    struct Result {
        Status status = Status::Ok;
        std::size_t bytes = 0;
        int error = 0;
    };
    enum class Wait { Arrived, HungUp, Closed, Woken, TimedOut };

    virtual ~TCommHandle() = default;

    // Reads what is waiting, up to size bytes, waiting until at least one byte
    // is there. Bytes that arrived before a hang-up are still returned; only
    // an empty stream reports HungUp. Never writes more than size bytes.
    virtual Result Read(void* buffer, std::size_t size, TDeadline deadline) = 0;
    // Writes at least one byte of data, waiting for room until the deadline.
    virtual Result Write(const void* data, std::size_t size, TDeadline deadline) = 0;
    // Bytes received and not yet read (FIONREAD); -1 once closed.
    virtual long BytesWaiting() = 0;
    // Waits for new bytes: returns Arrived once per arrival after the call
    // (edge-triggered), and at once when bytes are waiting on the first call.
    // Meant for one waiting thread.
    virtual Wait WaitForArrival(TDeadline deadline) = 0;
    // Makes a current or the next WaitForArrival return Woken.
    virtual void Wake() = 0;
    // Throws away buffered bytes in either direction.
    virtual void Purge(bool transmit, bool receive) = 0;
    // Line errors since the last call (CE_ bits; 0 when none or not a UART).
    virtual std::uint32_t ClearErrors() = 0;
    // Ends the call's stream: blocked reads, writes and waits return HungUp.
    virtual void HangUp() = 0;
    virtual bool IsHungUp() const = 0;
    // Releases the stream; every later operation reports Closed. Idempotent.
    virtual void Close() = 0;
    virtual bool IsClosed() const = 0;
};

using TCommHandlePtr = std::shared_ptr<TCommHandle>;

}  // namespace vandrex
