#include "platform/telephony/hayesmodem.h"

#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/telephony/fdcommhandle.h"
#include "platform/telephony/linesettings.h"

namespace vandrex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kRingGap = milliseconds(8000);     // no RING for this long: the caller gave up
constexpr auto kDtrDrop = milliseconds(300);      // port closed this long drops DTR
constexpr auto kVerifyTime = milliseconds(1500);  // a modem answers AT within this
constexpr auto kLostAfter = milliseconds(2000);   // a port gone this long closes the line

QString LockFolder() {
    const QString env = qEnvironmentVariable("VANDREX_LOCK_DIR");
    if (!env.isEmpty()) return env;
    for (const char* d : {"/var/lock", "/run/lock"})
        if (::access(d, W_OK) == 0) return QString::fromLatin1(d);
    return QString();
}

speed_t SpeedCode(int bps) {
    switch (bps) {
    case 2400: return B2400;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    default: return B115200;
    }
}

bool Starts(const QByteArray& line, const char* word) { return line.startsWith(word); }

// When each port was last closed: a port opened again must stay closed long
// enough for the modem to see DTR drop, or it keeps the old call and answers.
std::mutex gClosedMutex;
std::map<QString, Clock::time_point> gClosedAt;

void NoteClosed(const QString& path) {
    std::lock_guard lock(gClosedMutex);
    gClosedAt[path] = Clock::now();
}

void ClosePort(const QString& path, int fd) {
    ::close(fd);
    NoteClosed(path);
}

void WaitOutDtrDrop(const QString& path) {
    Clock::time_point closed;
    {
        std::lock_guard lock(gClosedMutex);
        auto it = gClosedAt.find(path);
        if (it == gClosedAt.end()) return;
        closed = it->second;
    }
    const auto until = closed + kDtrDrop;
    if (Clock::now() < until) std::this_thread::sleep_until(until);
}

// Another process has the device open (terminal programs and getty-like
// programs take no lock a modem program can see): looks through /proc.
bool OpenElsewhere(const QString& devicePath) {
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    if (device.isEmpty()) return false;
    const QByteArray target = device.toLocal8Bit();
    const pid_t self = ::getpid();
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0 || pid == self) continue;
        const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;
        while (dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            char link[PATH_MAX];
            const ssize_t n = ::readlink((fdDir + "/" + f->d_name).c_str(), link, sizeof link - 1);
            if (n > 0 && static_cast<std::size_t>(n) == static_cast<std::size_t>(target.size()) &&
                std::memcmp(link, target.constData(), static_cast<std::size_t>(n)) == 0) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
        if (found) break;
    }
    ::closedir(proc);
    return found;
}

}  // namespace

// ---- TPortLock ----

QString TPortLock::LockFileFor(const QString& devicePath) {
    QString real = QFileInfo(devicePath).canonicalFilePath();
    if (real.isEmpty()) real = devicePath;
    if (real.startsWith(QStringLiteral("/dev/"))) real = real.mid(5);
    else real = QFileInfo(real).fileName();
    real.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString folder = LockFolder();
    if (folder.isEmpty()) return QString();
    return folder + QStringLiteral("/LCK..") + real;
}

bool TPortLock::Acquire(const QString& devicePath) {
    Release();
    const QString file = LockFileFor(devicePath);
    if (file.isEmpty()) return true;
    const QByteArray name = file.toLocal8Bit();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const QByteArray pid = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
            [[maybe_unused]] auto n = ::write(fd, pid.constData(), pid.size());
            ::close(fd);
            file_ = file;
            return true;
        }
        if (errno != EEXIST) return true;  // folder not usable: rely on the port locks
        // Someone holds it: a live process other than us wins.
        char text[64] = {};
        const int rfd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        long pid = 0;
        if (rfd >= 0) {
            const ssize_t n = ::read(rfd, text, sizeof text - 1);
            ::close(rfd);
            if (n == 4) std::memcpy(&pid, text, 4);  // binary lock of old programs
            else pid = std::strtol(text, nullptr, 10);
        }
        if (pid == ::getpid()) return true;
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return false;
        ::unlink(name.constData());  // stale
    }
    return false;
}

void TPortLock::Release() {
    if (!file_.isEmpty()) ::unlink(file_.toLocal8Bit().constData());
    file_.clear();
}

// ---- THayesModem ----

THayesModem::THayesModem(const QString& path) : path_(path) {}

THayesModem::~THayesModem() { Close(); }

QString THayesModem::Name() const { return QStringLiteral("Hayes modem on ") + path_; }

bool THayesModem::Available() const {
    struct stat st{};
    const QByteArray p = path_.toLocal8Bit();
    return ::stat(p.constData(), &st) == 0 && S_ISCHR(st.st_mode) &&
           ::access(p.constData(), R_OK | W_OK) == 0;
}

void THayesModem::FillCaps(LINEDEVCAPS& caps) const {
    caps.dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA | LINEBEARERMODE_PASSTHROUGH;
    caps.dwMediaModes = LINEMEDIAMODE_DATAMODEM;
    caps.dwLineFeatures = LINEFEATURE_MAKECALL;
    caps.dwMaxRate = static_cast<DWORD>(ModemSettings(path_).speed);
    caps.dwNumAddresses = 1;
    caps.dwMaxNumActiveCalls = 1;
}

int THayesModem::OpenPort(bool* allocated, TPortLock* lock) const {
    *allocated = false;
    if (!lock->Acquire(path_)) {
        *allocated = true;
        return -1;
    }
    if (OpenElsewhere(path_)) {
        lock->Release();
        *allocated = true;
        return -1;
    }
    WaitOutDtrDrop(path_);
    const QByteArray p = path_.toLocal8Bit();
    const int fd = ::open(p.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *allocated = errno == EBUSY;
        lock->Release();
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        lock->Release();
        *allocated = true;
        return -1;
    }
    ::ioctl(fd, TIOCEXCL);
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CREAD | CLOCAL | HUPCL;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        const speed_t speed = SpeedCode(ModemSettings(path_).speed);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    ::tcflush(fd, TCIFLUSH);  // nothing left over from an earlier user
    return fd;
}

LONG THayesModem::Probe() const {
    {
        std::lock_guard lock(mutex_);
        if (thread_.joinable()) return 0;  // ours already
    }
    bool allocated = false;
    TPortLock lock;
    const int fd = OpenPort(&allocated, &lock);
    if (fd < 0) return allocated ? LINEERR_ALLOCATED : LINEERR_RESOURCEUNAVAIL;
    ClosePort(path_, fd);
    return 0;
}

LONG THayesModem::Open(HLINE line, TLineSink* sink, std::function<HCALL()> newCall) {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return LINEERR_ALLOCATED;
    bool allocated = false;
    const int fd = OpenPort(&allocated, &lock_);
    if (fd < 0) return allocated ? LINEERR_ALLOCATED : LINEERR_RESOURCEUNAVAIL;
    fd_ = fd;
    sink_ = sink;
    newCall_ = std::move(newCall);
    line_ = line;
    stop_ = false;
    portLost_ = false;
    phase_ = Phase::Idle;
    call_ = 0;
    input_.clear();
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    SendInit();
    thread_ = std::thread([this] { Run(); });
    return 0;
}

void THayesModem::Close() {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        stop_ = true;
        // Bounds the hang-up check that closing still waits for.
        stopBy_ = Clock::now() + milliseconds(6000);
        ::eventfd_write(wakeFd_, 1);
    }
    thread_.join();
    std::lock_guard lock(mutex_);
    ReleaseStream();
    if (fd_ >= 0) ClosePort(path_, fd_);  // drops DTR
    fd_ = -1;
    lock_.Release();
    ::close(wakeFd_);
    wakeFd_ = -1;
    commands_.clear();
    finished_.clear();
    phase_ = Phase::Idle;
    call_ = 0;
    sink_ = nullptr;
}

bool THayesModem::HasCall(HCALL call) const {
    std::lock_guard lock(mutex_);
    return (call_ == call && phase_ != Phase::Idle) || finished_.count(call);
}

bool THayesModem::Busy() const {
    std::lock_guard lock(mutex_);
    return phase_ != Phase::Idle && phase_ != Phase::Declined;
}

LONG THayesModem::MakeCall(HCALL call, const QString& destination, bool passThrough,
                           DWORD request) {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable() || portLost_) return LINEERR_INVALLINEHANDLE;
    if (phase_ != Phase::Idle && phase_ != Phase::Declined) return LINEERR_CALLUNAVAIL;
    Command c{passThrough ? Command::PassThrough : Command::Dial, call, QByteArray(), request};
    if (!passThrough) {
        const TDialingSettings d = DialingSettings();
        c.text = QByteArray("ATD") + (d.pulse ? "P" : "T") +
                 (d.outsideLinePrefix + destination.trimmed()).toLatin1();
    }
    call_ = call;
    phase_ = Phase::Dialing;
    commands_.push_back(c);
    ::eventfd_write(wakeFd_, 1);
    return static_cast<LONG>(request);
}

LONG THayesModem::Answer(HCALL call, DWORD request) {
    std::lock_guard lock(mutex_);
    if (call_ != call || phase_ == Phase::Idle) return LINEERR_INVALCALLHANDLE;
    commands_.push_back({Command::Answer, call, QByteArray(), request});
    ::eventfd_write(wakeFd_, 1);
    return static_cast<LONG>(request);
}

LONG THayesModem::Drop(HCALL call, DWORD request) {
    std::lock_guard lock(mutex_);
    if (!(call_ == call && phase_ != Phase::Idle) && !finished_.count(call))
        return LINEERR_INVALCALLHANDLE;
    commands_.push_back({Command::Drop, call, QByteArray(), request});
    ::eventfd_write(wakeFd_, 1);
    return static_cast<LONG>(request);
}

void THayesModem::Deallocate(HCALL call) {
    std::lock_guard lock(mutex_);
    finished_.erase(call);
}

TCommHandlePtr THayesModem::Stream(HCALL call) const {
    std::lock_guard lock(mutex_);
    return call_ == call && phase_ == Phase::Connected ? stream_ : nullptr;
}

void THayesModem::SendCommand(const QByteArray& text) {
    if (fd_ < 0) return;
    const QByteArray line = text + '\r';
    const char* p = line.constData();
    std::size_t left = line.size();
    const auto until = Clock::now() + milliseconds(2000);
    while (left > 0 && Clock::now() < until) {
        const ssize_t n = ::write(fd_, p, left);
        if (n > 0) {
            p += n;
            left -= n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd f{fd_, POLLOUT, 0};
            ::poll(&f, 1, 50);
        } else {
            return;
        }
    }
}

void THayesModem::SendInit() {
    const QByteArray init = ModemSettings(path_).initString.toLatin1().trimmed();
    if (init.isEmpty()) return;
    SendCommand(init);
    initPending_ = true;
    initBy_ = Clock::now() + milliseconds(2000);
}

void THayesModem::GoConnected() {
    // What was read after the CONNECT line is the call's first data (a far
    // end that sends at once); the stream must get it. A line that ended at
    // its CR still has its LF to come, which is not data.
    QByteArray early = input_;
    input_.clear();
    if (lineEndedAtCr_ && early.isEmpty()) {
        pollfd p{fd_, POLLIN, 0};
        char c;
        if (::poll(&p, 1, 100) > 0 && ::read(fd_, &c, 1) == 1) early.append(c);
    }
    if (lineEndedAtCr_ && early.startsWith('\n')) early.remove(0, 1);
    auto stream = std::make_shared<TFdCommHandle>(fd_, TFdCommHandle::Kind::Serial);
    if (!early.isEmpty()) stream->Preload(early.toStdString());
    stream_ = std::move(stream);
    fd_ = -1;
    watchFd_ = stream_->DuplicateForWatch();
    int lines = 0;
    carrierWatched_ = ::ioctl(watchFd_, TIOCMGET, &lines) == 0 && (lines & TIOCM_CD);
    draining_ = false;
    phase_ = Phase::Connected;
    sink_->CallState(call_, LINECALLSTATE_CONNECTED);
}

// The call's stream is hung up and closed (readers wake at once) and the
// carrier watch ends; the port itself stays as it is.
void THayesModem::ReleaseStream() {
    if (stream_) {
        stream_->HangUp();
        stream_->Close();
        stream_.reset();
        NoteClosed(path_);
    }
    if (watchFd_ >= 0) ::close(watchFd_);
    watchFd_ = -1;
}

// Ends the current call. With dropDtr the port is closed for a moment (the
// modem hangs up) and opened again; otherwise it is opened again at once.
void THayesModem::EndCall(DWORD state, DWORD mode, bool dropDtr) {
    const HCALL call = call_;
    const bool hadStream = stream_ != nullptr;
    ReleaseStream();
    if (dropDtr && fd_ >= 0) {
        ClosePort(path_, fd_);
        fd_ = -1;
    }
    if (fd_ < 0) {
        reopenAt_ = Clock::now() + (dropDtr ? kDtrDrop : milliseconds(0));
        verifying_ = dropDtr && hadStream;
    }
    phase_ = Phase::Idle;
    call_ = 0;
    finished_[call] = state;
    sink_->CallState(call, state, mode);
}

void THayesModem::LosePort() {
    portLost_ = true;
    if (stream_) {
        stream_->HangUp();
        stream_->Close();
        stream_.reset();
    }
    if (call_ != 0) {
        finished_[call_] = LINECALLSTATE_DISCONNECTED;
        sink_->CallState(call_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    }
    phase_ = Phase::Idle;
    call_ = 0;
    lock_.Release();
    sink_->Post(line_, LINE_CLOSE, 0, 0, 0);
}

// A modem that ignored the DTR drop: escape to command mode and hang up.
void THayesModem::HangUpFallback() {
    mutex_.unlock();
    std::this_thread::sleep_for(milliseconds(1100));
    mutex_.lock();
    if (fd_ >= 0) [[maybe_unused]] auto n = ::write(fd_, "+++", 3);
    mutex_.unlock();
    std::this_thread::sleep_for(milliseconds(1100));
    mutex_.lock();
    SendCommand("ATH");
}

void THayesModem::Execute(const Command& c) {
    switch (c.kind) {
    case Command::Dial:
        sink_->Reply(c.request, 0);
        if (call_ != c.call) break;
        sink_->CallState(call_, LINECALLSTATE_DIALING);
        if (fd_ < 0) {
            EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE, false);
            break;
        }
        input_.clear();
        SendCommand(c.text);
        break;
    case Command::PassThrough:
        sink_->Reply(c.request, 0);
        if (call_ != c.call) break;
        if (fd_ < 0) EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE, false);
        else GoConnected();  // the script drives the modem in command mode
        break;
    case Command::Answer:
        if (call_ == c.call && phase_ == Phase::Offering && fd_ >= 0) {
            sink_->Reply(c.request, 0);
            phase_ = Phase::Answering;
            SendCommand("ATA");
        } else {
            sink_->Reply(c.request, LINEERR_INVALCALLSTATE);
        }
        break;
    case Command::Drop:
        sink_->Reply(c.request, 0);
        if (call_ == c.call && phase_ != Phase::Idle) {
            if (phase_ == Phase::Offering) {
                // A modem cannot refuse a call: stop announcing this one.
                finished_[call_] = LINECALLSTATE_IDLE;
                sink_->CallState(call_, LINECALLSTATE_IDLE);
                phase_ = Phase::Declined;
                call_ = 0;
            } else {
                EndCall(LINECALLSTATE_IDLE, LINEDISCONNECTMODE_NORMAL,
                        phase_ == Phase::Connected || phase_ == Phase::Dialing ||
                            phase_ == Phase::Answering);
            }
        } else if (finished_.count(c.call)) {
            finished_[c.call] = LINECALLSTATE_IDLE;
            sink_->CallState(c.call, LINECALLSTATE_IDLE);
        }
        break;
    }
}

void THayesModem::HandleLine(const QByteArray& raw) {
    const QByteArray line = raw.trimmed().toUpper();
    if (line.isEmpty()) return;
    if (verifying_ && line == "OK") verifying_ = false;
    if (line == "OK" || line == "0" || line == "ERROR" || line == "4") {
        if (initPending_) {
            initPending_ = false;
            return;
        }
    }
    if (line == "RING" || line == "2") {
        lastRing_ = Clock::now();
        if (phase_ == Phase::Idle) {
            call_ = newCall_();
            phase_ = Phase::Offering;
            sink_->CallState(call_, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_OWNER);
        }
        return;
    }
    if (phase_ == Phase::Offering && (line == "NO CARRIER" || line == "3")) {
        // The caller gave up before the call was answered.
        EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, false);
        return;
    }
    if (phase_ != Phase::Dialing && phase_ != Phase::Answering) return;
    if (Starts(line, "CONNECT")) {
        GoConnected();
    } else if (line == "BUSY" || line == "7") {
        phase_ = Phase::Busy;
        sink_->CallState(call_, LINECALLSTATE_BUSY);
    } else if (line == "NO CARRIER" || line == "3") {
        EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, false);
    } else if (line == "NO ANSWER" || line == "8") {
        EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER, false);
    } else if (line == "NO DIALTONE" || line == "6") {
        EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE, false);
    } else if (line == "ERROR" || line == "4") {
        EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BADADDRESS, false);
    }
}

void THayesModem::Run() {
    std::unique_lock lock(mutex_);
    // Closing waits for the check after a hang-up: a modem that ignored the
    // DTR drop is escaped and told ATH before the port is let go.
    auto ending = [this] { return stop_ && (!verifying_ || Clock::now() >= stopBy_); };
    auto runCommands = [this] {
        if (initPending_ && Clock::now() >= initBy_) initPending_ = false;
        while (!commands_.empty()) {
            const Command c = commands_.front();
            // Closing: only a hang-up asked for just before still counts.
            if (stop_ && c.kind != Command::Drop) {
                commands_.pop_front();
                continue;
            }
            if (initPending_ && (c.kind == Command::Dial || c.kind == Command::PassThrough)) break;
            commands_.pop_front();
            Execute(c);
        }
    };
    for (;;) {
        if (stop_) runCommands();
        if (ending()) break;
        const auto now = Clock::now();
        // Port closed for a DTR drop or after a hang-up: open it again.
        if (fd_ < 0 && phase_ != Phase::Connected && !portLost_ && now >= reopenAt_) {
            bool allocated = false;
            // Opening may wait out a DTR drop: the line stays usable meanwhile.
            lock.unlock();
            const int fd = OpenPort(&allocated, &lock_);
            lock.lock();
            if (ending()) {
                if (fd >= 0) ClosePort(path_, fd);
                break;
            }
            if (fd >= 0) {
                fd_ = fd;
                lostSince_ = {};
                SendInit();
                if (verifying_) {
                    SendCommand("AT");
                    verifyBy_ = Clock::now() + kVerifyTime;
                }
            } else {
                if (lostSince_ == Clock::time_point{}) lostSince_ = now;
                if (now - lostSince_ >= kLostAfter) LosePort();
                reopenAt_ = now + milliseconds(100);
            }
        }
        if (verifying_ && fd_ >= 0 && verifyBy_ != Clock::time_point{} && now >= verifyBy_) {
            verifying_ = false;
            HangUpFallback();
            if (stop_) {
                // Time for the modem to take the ATH before the port closes.
                lock.unlock();
                std::this_thread::sleep_for(milliseconds(300));
                lock.lock();
                break;
            }
        }

        pollfd fds[2];
        int n = 0;
        fds[n++] = {wakeFd_, POLLIN, 0};
        int timeout = -1;
        auto within = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
        if (fd_ >= 0) fds[n++] = {fd_, POLLIN, 0};
        else if (phase_ == Phase::Connected && watchFd_ >= 0 && !draining_)
            fds[n++] = {watchFd_, 0, 0};  // hang-up and errors only
        if (fd_ < 0 && !portLost_ && phase_ != Phase::Connected) within(100);
        if (phase_ == Phase::Connected && (carrierWatched_ || draining_)) within(draining_ ? 20 : 100);
        if (phase_ == Phase::Offering || phase_ == Phase::Declined) within(500);
        if (verifying_) within(100);
        if (initPending_ && !commands_.empty()) within(20);

        lock.unlock();
        ::poll(fds, n, timeout);
        lock.lock();
        if (stop_) runCommands();
        if (ending()) break;
        if (fds[0].revents) {
            eventfd_t v;
            ::eventfd_read(wakeFd_, &v);
        }
        runCommands();
        if (n > 1 && fds[1].fd == fd_ && fd_ >= 0 && fds[1].revents) {
            char buf[512];
            const ssize_t got = ::read(fd_, buf, sizeof buf);
            if (got > 0) {
                input_.append(buf, static_cast<int>(got));
                int end;
                while ((end = input_.indexOf('\n')) >= 0 || (end = input_.indexOf('\r')) >= 0) {
                    const QByteArray line = input_.left(end);
                    lineEndedAtCr_ = input_.at(end) == '\r';
                    input_.remove(0, end + 1);
                    HandleLine(line);
                    if (fd_ < 0) break;  // the stream took the port
                }
                if (input_.size() > 4096) input_.clear();
                runCommands();  // a call may have waited for the init string's answer
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The terminal was hung up or went away: open it again (a
                // pseudo-terminal modem makes a fresh one at each hang-up).
                ::close(fd_);
                fd_ = -1;
                reopenAt_ = Clock::now();
                if (phase_ == Phase::Dialing || phase_ == Phase::Answering || phase_ == Phase::Busy)
                    EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, false);
            }
        }
        const auto t = Clock::now();
        if ((phase_ == Phase::Offering || phase_ == Phase::Declined) && t - lastRing_ > kRingGap) {
            if (phase_ == Phase::Offering)
                EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, false);
            else
                phase_ = Phase::Idle;
        }
        if (phase_ == Phase::Connected) {
            bool lost = false;
            if (n > 1 && fds[1].fd == watchFd_ && watchFd_ >= 0 && fds[1].revents) lost = true;
            if (carrierWatched_ && watchFd_ >= 0) {
                int lines = 0;
                if (::ioctl(watchFd_, TIOCMGET, &lines) != 0 || !(lines & TIOCM_CD)) lost = true;
            }
            if (lost && !draining_) {
                draining_ = true;
                drainUntil_ = t + milliseconds(kDrainGraceMs);
            }
            if (draining_ && (t >= drainUntil_ || stream_->IsClosed() || stream_->BytesWaiting() <= 0))
                EndCall(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, false);
        }
    }
}

void THayesModem::ConfigDialog(QWidget* owner) {
    TModemConfigDialog dialog(path_, owner);
    if (RunLineDialog(dialog)) dialog.Store();
}

}  // namespace vandrex
