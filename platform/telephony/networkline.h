#pragma once
// The network line (device 0): calls are TCP connections that carry exactly
// the call's bytes, so any TCP peer can call or answer. Dials "host[:port]";
// listens on the configured address (loopback by default) while open. There
// is no answer signal: the caller is CONNECTED as soon as TCP connects, and
// what it sends early waits until the far end answers; declining hangs up.
// One call per line: a connection arriving during a call is closed at once.

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/telephony/linedevice.h"
#include "platform/telephony/linesettings.h"

namespace vandrex {

class TFdCommHandle;

class TNetworkLine : public TLineDevice {
public:
    explicit TNetworkLine(const TNetworkLineSettings& settings);
    ~TNetworkLine() override;

    QString Name() const override;
    bool Available() const override { return true; }
    void FillCaps(LINEDEVCAPS& caps) const override;
    LONG Open(HLINE line, TLineSink* sink, std::function<HCALL()> newCall) override;
    LONG Probe() const override { return 0; }
    void Close() override;
    bool HasCall(HCALL call) const override;
    bool Busy() const override;
    LONG MakeCall(HCALL call, const QString& destination, bool passThrough, DWORD request) override;
    LONG Answer(HCALL call, DWORD request) override;
    LONG Drop(HCALL call, DWORD request) override;
    void Deallocate(HCALL call) override;
    TCommHandlePtr Stream(HCALL call) const override;
    void ConfigDialog(QWidget* owner) override;

    // The port it listens on (0 when it could not listen).
    int ListeningPort() const;

private:
    enum class Phase { Connecting, Offering, Connected, Gone };
    struct Call {
        HCALL handle = 0;
        Phase phase = Phase::Gone;
        int fd = -1;        // the socket until the stream takes it
        int watchFd = -1;   // a duplicate watched for the far end's hang-up
        std::shared_ptr<TFdCommHandle> stream;
        std::chrono::steady_clock::time_point deadline;  // connect or drain
        bool draining = false;
    };
    struct Command {
        enum Kind { Dial, Answer, Drop } kind;
        HCALL call;
        QString host;
        int port;
        DWORD request;
    };

    void Run();
    void Wake();
    void Execute(const Command& command);
    void StartDial(const Command& command);
    void Accept();
    void Connected(Call& call);
    void EndCall(Call& call, DWORD state, DWORD mode);
    void CloseCallFds(Call& call);

    TNetworkLineSettings settings_;
    mutable std::mutex mutex_;
    TLineSink* sink_ = nullptr;
    std::function<HCALL()> newCall_;
    int listenFd_ = -1;
    int listeningPort_ = 0;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::deque<Command> commands_;
    Call current_;                      // the one call of the line
    std::map<HCALL, DWORD> finished_;   // ended calls still allocated
};

}  // namespace vandrex
