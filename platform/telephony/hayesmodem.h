#pragma once
// A Hayes modem on a serial port (a real UART or the pseudo-terminal of
// vandrex-modem). Dials with ATD and the translated number, answers with
// ATA; a call's first RING offers it. CONNECT, BUSY and NO CARRIER / NO
// ANSWER / NO DIALTONE become CONNECTED, BUSY and DISCONNECTED. The far
// end's hang-up is seen out of band (carrier detect on a UART, the terminal
// hang-up of a pseudo-terminal), never by looking for text in the data.
// Hanging up drops DTR by closing the port ("+++" and ATH when the modem
// stays on line). A UUCP lock file, an exclusive lock and exclusive open
// keep other programs off the port.

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/telephony/linedevice.h"

namespace vandrex {

class TFdCommHandle;

// The UUCP lock file of a serial device ("LCK..name" with the owner's pid).
class TPortLock {
public:
    TPortLock() = default;
    ~TPortLock() { Release(); }
    TPortLock(const TPortLock&) = delete;
    TPortLock& operator=(const TPortLock&) = delete;
    // False when a live process other than this one holds the device. A
    // stale lock is removed. Without a writable lock folder it succeeds.
    bool Acquire(const QString& devicePath);
    void Release();
    // The lock file name for a device path, e.g. /var/lock/LCK..ttyS0.
    static QString LockFileFor(const QString& devicePath);

private:
    QString file_;
};

class THayesModem : public TLineDevice {
public:
    explicit THayesModem(const QString& path);
    ~THayesModem() override;

    QString Name() const override;
    bool Available() const override;
    void FillCaps(LINEDEVCAPS& caps) const override;
    LONG Open(HLINE line, TLineSink* sink, std::function<HCALL()> newCall) override;
    LONG Probe() const override;
    void Close() override;
    bool HasCall(HCALL call) const override;
    bool Busy() const override;
    LONG MakeCall(HCALL call, const QString& destination, bool passThrough, DWORD request) override;
    LONG Answer(HCALL call, DWORD request) override;
    LONG Drop(HCALL call, DWORD request) override;
    void Deallocate(HCALL call) override;
    TCommHandlePtr Stream(HCALL call) const override;
    void ConfigDialog(QWidget* owner) override;

    const QString& Path() const { return path_; }

private:
    enum class Phase { Idle, Offering, Declined, Dialing, Answering, Busy, Connected };
    struct Command {
        enum Kind { Dial, PassThrough, Answer, Drop } kind;
        HCALL call;
        QByteArray text;
        DWORD request;
    };

    // Opens and configures the port; -1 with *allocated set when another
    // program holds it.
    int OpenPort(bool* allocated, TPortLock* lock) const;
    void Run();
    void Execute(const Command& c);
    void HandleLine(const QByteArray& line);
    void SendCommand(const QByteArray& text);
    void SendInit();
    void GoConnected();
    void EndCall(DWORD state, DWORD mode, bool dropDtr);
    void ReleaseStream();
    void LosePort();
    void HangUpFallback();

    const QString path_;
    mutable std::mutex mutex_;
    TLineSink* sink_ = nullptr;
    std::function<HCALL()> newCall_;
    HLINE line_ = 0;
    std::thread thread_;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::deque<Command> commands_;
    TPortLock lock_;

    // Owned by the worker while the line is open.
    int fd_ = -1;  // command mode; -1 while the stream owns the port
    QByteArray input_;
    bool lineEndedAtCr_ = false;
    std::chrono::steady_clock::time_point stopBy_{};  // the line being handled ended at a CR
    std::chrono::steady_clock::time_point reopenAt_{}, lostSince_{}, lastRing_{}, verifyBy_{};
    bool portLost_ = false;
    bool verifying_ = false;
    // The init string's answer is still to come; a call waits for it so the
    // answer never reaches the call's stream.
    bool initPending_ = false;
    std::chrono::steady_clock::time_point initBy_{};
    Phase phase_ = Phase::Idle;
    HCALL call_ = 0;
    std::shared_ptr<TFdCommHandle> stream_;
    int watchFd_ = -1;
    bool carrierWatched_ = false;
    bool draining_ = false;
    std::chrono::steady_clock::time_point drainUntil_{};
    std::map<HCALL, DWORD> finished_;
};

}  // namespace vandrex
