#pragma once
// Inside the telephony layer: one line device (the network line, a Hayes
// modem) behind the API functions of tapi.h. A device runs its own worker
// thread for the line it has open and reports through a TLineSink, which
// posts the messages to the application's event loop.

#include <QString>
#include <functional>
#include <memory>

#include "platform/telephony/tapi.h"

namespace vandrex {

class TLineSink {
public:
    virtual ~TLineSink() = default;
    virtual void Post(DWORD hDevice, DWORD msg, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) = 0;
    void Reply(DWORD request, LONG result) {
        Post(0, LINE_REPLY, request, static_cast<DWORD_PTR>(static_cast<DWORD>(result)), 0);
    }
    void CallState(HCALL call, DWORD state, DWORD detail = 0, DWORD privilege = 0) {
        Post(call, LINE_CALLSTATE, state, detail, privilege);
    }
};

class TLineDevice {
public:
    virtual ~TLineDevice() = default;
    virtual QString Name() const = 0;
    // False when the device cannot be used at all (no version negotiates).
    virtual bool Available() const = 0;
    virtual void FillCaps(LINEDEVCAPS& caps) const = 0;
    // Starts serving incoming and outgoing calls for line, reporting to sink
    // (kept until Close). LINEERR_ALLOCATED when another program holds it.
    virtual LONG Open(HLINE line, TLineSink* sink, std::function<HCALL()> newCall) = 0;
    // The check of a trial open: would Open succeed?
    virtual LONG Probe() const = 0;
    // Ends every call and the worker; idempotent.
    virtual void Close() = 0;
    virtual bool HasCall(HCALL call) const = 0;
    virtual bool Busy() const = 0;  // a call is in progress
    // Asynchronous: the result is reported by LINE_REPLY with request.
    virtual LONG MakeCall(HCALL call, const QString& destination, bool passThrough,
                          DWORD request) = 0;
    virtual LONG Answer(HCALL call, DWORD request) = 0;
    virtual LONG Drop(HCALL call, DWORD request) = 0;
    virtual void Deallocate(HCALL call) = 0;
    virtual TCommHandlePtr Stream(HCALL call) const = 0;
    // Shows the device's configuration dialog.
    virtual void ConfigDialog(QWidget* owner) = 0;
};

// The devices of this machine in device-ID order (see tapi.h).
std::vector<std::unique_ptr<TLineDevice>> EnumerateLineDevices();

// Milliseconds a far end's last bytes may wait to be read before the call is
// reported DISCONNECTED.
constexpr int kDrainGraceMs = 1000;

}  // namespace vandrex
