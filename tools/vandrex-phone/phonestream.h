#pragma once
// TPhoneStream: one data call of vandrex-phone, set up through the program's
// own line layer (platform/telephony/tapi.h) and carried by the call's
// TCommHandle, as the line component gets it with "comm/datamodem".
//
// The line is chosen as the program chooses its device:
//   0     the network line (dials "host[:port]"; answers on the address of
//         VANDREX_NETWORK_LINE or the stored settings);
//   N>=1  the N-th Hayes modem (VANDREX_MODEMS or the machine's ports),
//         whatever the network line's state.
// Older command lines still work: "--line HOST:PORT" or "--line PORT" (1024
// and above) answer on the network line at that address; a NUMBER or line
// that is a path ("/dev/...", "./...") opens that serial device raw, for a
// modem already in data mode or a pseudo-terminal.

#include <functional>
#include <memory>
#include <string>

#include "platform/telephony/commhandle.h"

namespace vandrex {

struct TPhoneLineChoice {
    enum class TKind { Device, NetworkAt, Serial } kind = TKind::Device;
    int line = 0;          // Device: 0 network line, N the N-th modem
    std::string address;   // NetworkAt: "PORT" or "HOST:PORT"; Serial: the path
};

// The meaning of a --line text; throws EConvertError for text that is none.
TPhoneLineChoice ParsePhoneLine(const std::string& text);

class TPhoneStream {
public:
    TPhoneStream();
    ~TPhoneStream();
    TPhoneStream(const TPhoneStream&) = delete;
    TPhoneStream& operator=(const TPhoneStream&) = delete;

    // Dials number on the chosen line until connected. A far end that is not
    // there yet (refused, not answering) is dialled again until timeoutSeconds
    // pass. Throws EInOutError with the line's reason.
    void Dial(const TPhoneLineChoice& line, const std::string& number, int timeoutSeconds);
    // Waits up to timeoutSeconds for the next call on the line and answers it.
    // ready is called once the line is open and listening.
    void Answer(const TPhoneLineChoice& line, int timeoutSeconds, const std::function<void()>& ready = {});

    TCommHandle& Stream() { return *stream_; }
    // Delivers the line's messages that have arrived (call state changes).
    void Serve();
    // False once the far end or the line ended the call and nothing is left to read.
    bool Connected();
    // Drops the call and closes the line; idempotent.
    void HangUp();

private:
    struct TState;
    void OpenLine(const TPhoneLineChoice& line, bool dialling);
    void OpenSerial(const std::string& path);
    void WaitForMessage(int ms);
    void TakeStream();

    std::unique_ptr<TState> state_;
    TCommHandlePtr stream_;
};

}  // namespace vandrex
