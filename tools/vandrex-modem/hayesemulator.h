#pragma once
// The Hayes modem emulator behind vandrex-modem. The DTE side is a
// pseudo-terminal whose slave is reached through a symbolic link that stays
// valid across hang-ups; the line side is raw TCP, as on the network line,
// so an emulator can call another emulator or a network line and back.
//
// Command mode: AT, ATZ, AT&F, ATE, ATV, ATQ, ATI, ATSn=v / ATSn?, ATD[T|P]
// host:port, ATA, ATH, ATO; "+++" with guard time (S12, fiftieths of a
// second; S2 the escape character) escapes from data mode. The DTE closing
// the port is DTR dropping: the call ends. The far end's hang-up is a
// terminal hang-up: the emulator puts a fresh pseudo-terminal behind the link
// and ends the old one, whose readers see the hang-up.

#include <chrono>
#include <cstdint>
#include <string>

namespace vandrex::modem {

using Clock = std::chrono::steady_clock;

struct TOptions {
    std::string link;
    std::string listenAddress = "127.0.0.1";
    int listenPort = -1;  // -1: no incoming calls
    long rate = 0;        // bit/s; 0 = unpaced
    std::string logFile;
    bool ignoreDtr = false;  // as AT&D0 from the start
};

// Parses the command line; false with a message in *error on bad arguments.
bool ParseOptions(int argc, char** argv, TOptions* options, std::string* error);

// Paces one direction at a byte rate (a token bucket of 50 ms).
class TPacer {
public:
    explicit TPacer(double bytesPerSecond = 0) : rate_(bytesPerSecond) {}
    bool Paced() const { return rate_ > 0; }
    // Bytes that may go now (unlimited when unpaced).
    std::size_t Allowance(Clock::time_point now);
    void Spend(std::size_t bytes) { tokens_ -= static_cast<double>(bytes); }
    // Milliseconds until one more byte may go.
    int WaitMs(Clock::time_point now) const;

private:
    double rate_;
    double tokens_ = 0;
    Clock::time_point last_{};
};

// Splits "host:port" or "[v6]:port"; false when it is not of that form.
bool SplitHostPort(const std::string& text, std::string* host, int* port);

// Runs the emulator until SIGTERM or SIGINT; returns the exit status.
int RunEmulator(const TOptions& options);

}  // namespace vandrex::modem
