#include "tools/vandrex-modem/hayesemulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vandrex::modem {

namespace {

using std::chrono::milliseconds;

constexpr std::size_t kBuffer = 65536;  // bytes held per direction

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

int MsUntil(Clock::time_point t, Clock::time_point now) {
    if (t <= now) return 0;
    return static_cast<int>(std::chrono::ceil<milliseconds>(t - now).count());
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

// ---- options, pacing, addresses ----

bool ParseOptions(int argc, char** argv, TOptions* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                *error = a + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--listen") {
            if (!value(&v)) return false;
            const auto colon = v.rfind(':');
            const std::string port = colon == std::string::npos ? v : v.substr(colon + 1);
            if (colon != std::string::npos) o->listenAddress = v.substr(0, colon);
            char* end = nullptr;
            const long p = std::strtol(port.c_str(), &end, 10);
            if (port.empty() || *end || p < 0 || p > 65535) {
                *error = "bad port: " + port;
                return false;
            }
            o->listenPort = static_cast<int>(p);
        } else if (a == "--rate") {
            if (!value(&v)) return false;
            char* end = nullptr;
            o->rate = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || o->rate <= 0) {
                *error = "bad rate: " + v;
                return false;
            }
        } else if (a == "--log") {
            if (!value(&o->logFile)) return false;
        } else if (a == "--ignore-dtr") {
            o->ignoreDtr = true;
        } else if (!a.empty() && a[0] == '-') {
            *error = "unknown option " + a;
            return false;
        } else if (o->link.empty()) {
            o->link = a;
        } else {
            *error = "one link only";
            return false;
        }
    }
    if (o->link.empty()) {
        *error = "usage: vandrex-modem LINK [--listen [ADDR:]PORT] [--rate BPS] [--log FILE] [--ignore-dtr]";
        return false;
    }
    return true;
}

std::size_t TPacer::Allowance(Clock::time_point now) {
    if (!Paced()) return SIZE_MAX;
    const double cap = rate_ * 0.05;
    if (last_ == Clock::time_point{}) {
        tokens_ = std::max(1.0, cap);
    } else {
        tokens_ += std::chrono::duration<double>(now - last_).count() * rate_;
        tokens_ = std::min(tokens_, std::max(1.0, cap));
    }
    last_ = now;
    return tokens_ >= 1 ? static_cast<std::size_t>(tokens_) : 0;
}

int TPacer::WaitMs(Clock::time_point) const {
    if (!Paced()) return 0;
    const double missing = std::max(0.0, 1.0 - tokens_);
    return std::max(1, static_cast<int>(missing / rate_ * 1000.0 + 0.999));
}

bool SplitHostPort(const std::string& text, std::string* host, int* port) {
    std::string h, p;
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        h = text.substr(1, close - 1);
        p = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        h = text.substr(0, colon);
        p = text.substr(colon + 1);
    }
    if (h.empty() || p.empty() || p.size() > 5) return false;
    for (char c : p)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    const int n = std::atoi(p.c_str());
    if (n <= 0 || n > 65535) return false;
    *host = h;
    *port = n;
    return true;
}

// ---- the modem ----

namespace {

class TEmulator {
public:
    explicit TEmulator(const TOptions& o)
        : o_(o), toDtePacer_(o.rate / 10.0), toNetPacer_(o.rate / 10.0) {}
    int Run();

private:
    enum class Mode { Command, Data, OnlineCommand };
    enum class Call { None, Dialing, BusyCheck, Ringing, Up };

    bool NewTerminal();
    void TerminalHangUp();
    void Listen();
    void Factory();
    void Result(int code, const std::string& text);
    void Ok() { Result(0, "OK"); }
    void Error() { Result(4, "ERROR"); }
    void WriteDte(const std::string& s) { toDte_ += s; }
    void CommandBytes(const char* p, std::size_t n);
    void Execute(const std::string& line);
    bool Dial(const std::string& number);
    void Answer();
    void Connected();
    void HangUpCall();
    void DataFromDte(const char* p, std::size_t n, Clock::time_point now);
    void FlushHeldPluses();
    void FlushToDte(Clock::time_point t);
    void FlushToNet(Clock::time_point t);
    void CheckEscape(Clock::time_point now);
    void LogCommand(const std::string& line);
    std::string ConnectText() const;

    TOptions o_;
    int master_ = -1;
    int listen_ = -1;
    int net_ = -1;
    bool dteOpen_ = false;
    bool masterHup_ = false;  // the last poll saw the DTE side closed
    Mode mode_ = Mode::Command;
    Call call_ = Call::None;
    int s_[40] = {};
    bool echo_ = true, verbose_ = true, quiet_ = false;
    bool ignoreDtr_ = false;  // &D0
    std::string line_;
    std::string toDte_, toNet_;
    TPacer toDtePacer_, toNetPacer_;
    Clock::time_point dialDeadline_{}, busyCheckUntil_{}, nextRing_{};
    int rings_ = 0;
    bool farEndGone_ = false;
    Clock::time_point hangUpAt_{};
    // Escape detection.
    Clock::time_point lastDteByte_{}, lastPlus_{};
    int pluses_ = 0;
    bool trace_ = std::getenv("VANDREX_MODEM_TRACE") != nullptr;
};

void TEmulator::Factory() {
    std::fill(std::begin(s_), std::end(s_), 0);
    s_[0] = 0;    // rings before answering; 0 = never
    s_[2] = '+';  // escape character
    s_[3] = '\r';
    s_[4] = '\n';
    s_[5] = 8;
    s_[7] = 50;   // seconds to wait for the far end
    s_[12] = 50;  // escape guard time, fiftieths of a second
    echo_ = true;
    verbose_ = true;
    quiet_ = false;
    ignoreDtr_ = o_.ignoreDtr;
}

std::string TEmulator::ConnectText() const {
    return "CONNECT " + std::to_string(o_.rate > 0 ? o_.rate : 115200);
}

void TEmulator::Result(int code, const std::string& text) {
    if (quiet_) return;
    if (verbose_) WriteDte("\r\n" + text + "\r\n");
    else WriteDte(std::to_string(code) + "\r");
}

bool TEmulator::NewTerminal() {
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0 || ::grantpt(m) != 0 || ::unlockpt(m) != 0) return false;
    const char* name = ::ptsname(m);
    if (!name) return false;
    const std::string slave = name;
    // Raw from the start, so nothing is echoed or translated before the DTE
    // sets its own mode; opening and closing once also makes the master
    // report "no DTE" until someone opens the port.
    const int s = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s >= 0) {
        termios t{};
        ::tcgetattr(s, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, B115200);
        ::cfsetospeed(&t, B115200);
        ::tcsetattr(s, TCSANOW, &t);
        ::close(s);
    }
    SetNonBlocking(m);
    const std::string tmp = o_.link + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(slave.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), o_.link.c_str()) != 0) {
        std::perror("vandrex-modem: link");
        ::close(m);
        return false;
    }
    const int old = master_;
    master_ = m;
    dteOpen_ = false;
    if (old >= 0) ::close(old);  // the old terminal's readers see the hang-up
    return true;
}

void TEmulator::TerminalHangUp() {
    toDte_.clear();
    toNet_.clear();
    line_.clear();
    pluses_ = 0;
    mode_ = Mode::Command;
    NewTerminal();
}

void TEmulator::Listen() {
    if (o_.listenPort < 0) return;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(o_.listenPort);
    if (::getaddrinfo(o_.listenAddress.c_str(), port.c_str(), &hints, &found) != 0) return;
    for (addrinfo* a = found; a && listen_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 4) == 0) listen_ = fd;
        else ::close(fd);
    }
    ::freeaddrinfo(found);
    if (listen_ < 0) std::fprintf(stderr, "vandrex-modem: cannot listen on %s:%d\n",
                                  o_.listenAddress.c_str(), o_.listenPort);
}

void TEmulator::LogCommand(const std::string& line) {
    if (o_.logFile.empty()) return;
    if (FILE* f = std::fopen(o_.logFile.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

void TEmulator::CommandBytes(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const char c = p[i];
        if (echo_) toDte_ += c;
        if (c == static_cast<char>(s_[3])) {
            const std::string line = line_;
            line_.clear();
            if (echo_ && s_[4]) toDte_ += static_cast<char>(s_[4]);
            Execute(line);
        } else if (c == static_cast<char>(s_[5]) || c == 127) {
            if (!line_.empty()) line_.pop_back();
        } else if (c == '\n') {
            // line feeds between commands are ignored
        } else if (line_.size() < 256) {
            line_ += c;
        }
    }
}

void TEmulator::Execute(const std::string& raw) {
    // A command starts at "AT"; whatever came before it (line noise, a
    // terminal program's control bytes) is not part of it.
    std::size_t start = std::string::npos;
    for (std::size_t k = 0; k + 1 < raw.size(); ++k) {
        if (std::toupper(static_cast<unsigned char>(raw[k])) == 'A' &&
            std::toupper(static_cast<unsigned char>(raw[k + 1])) == 'T') {
            start = k;
            break;
        }
    }
    if (start == std::string::npos) return;
    std::string line = raw.substr(start);
    LogCommand(line);
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'T')
        return;  // not a command: ignored
    std::size_t i = 2;
    auto number = [&](int fallback) {
        if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return fallback;
        int v = 0;
        while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
            v = v * 10 + (line[i++] - '0');
        return v;
    };
    while (i < line.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i++])));
        switch (c) {
        case ' ': break;
        case 'E': echo_ = number(0) != 0; break;
        case 'V': verbose_ = number(0) != 0; break;
        case 'Q': quiet_ = number(0) != 0; break;
        case 'L': case 'M': case 'X': number(0); break;
        case 'Z':
            Factory();
            Ok();
            return;
        case '&': {
            if (i >= line.size()) return Error();
            const char what = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i++])));
            const int v = number(0);
            if (what == 'F') Factory();
            else if (what == 'D') ignoreDtr_ = v == 0;
            else if (what != 'C' && what != 'K' && what != 'W' && what != 'V') return Error();
            (void)v;
            break;
        }
        case 'I': {
            const int v = number(0);
            if (v == 0) WriteDte("\r\nVandrex modem emulator\r\n");
            else WriteDte("\r\n" + std::to_string(o_.rate > 0 ? o_.rate : 115200) + "\r\n");
            break;
        }
        case 'S': {
            const int reg = number(-1);
            if (reg < 0 || reg >= 40 || i >= line.size()) return Error();
            if (line[i] == '?') {
                ++i;
                char text[16];
                std::snprintf(text, sizeof text, "%03d", s_[reg]);
                WriteDte(std::string("\r\n") + text + "\r\n");
            } else if (line[i] == '=') {
                ++i;
                const int v = number(-1);
                if (v < 0 || v > 255) return Error();
                s_[reg] = v;
            } else {
                return Error();
            }
            break;
        }
        case 'D': {
            if (call_ != Call::None && call_ != Call::Ringing) return Error();
            std::string rest = line.substr(i);
            std::size_t k = 0;
            while (k < rest.size() && (std::toupper(static_cast<unsigned char>(rest[k])) == 'T' ||
                                       std::toupper(static_cast<unsigned char>(rest[k])) == 'P' ||
                                       rest[k] == ' '))
                ++k;
            std::string number;
            for (char ch : rest.substr(k))
                if (ch != ' ') number += ch;
            if (!Dial(number)) Error();
            return;  // the result comes when the call is set up
        }
        case 'A':
            if (call_ != Call::Ringing) return Result(3, "NO CARRIER");
            Answer();
            return;
        case 'H':
            number(0);
            if (call_ != Call::None) HangUpCall();
            break;
        case 'O':
            number(0);
            if (call_ != Call::Up) return Result(3, "NO CARRIER");
            mode_ = Mode::Data;
            Result(1, ConnectText());
            return;
        default:
            return Error();
        }
    }
    Ok();
}

bool TEmulator::Dial(const std::string& number) {
    std::string host;
    int port = 0;
    if (!SplitHostPort(number, &host, &port)) return false;
    if (call_ == Call::Ringing) HangUpCall();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) {
        Result(3, "NO CARRIER");
        return true;
    }
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        Result(3, "NO CARRIER");
        return true;
    }
    net_ = fd;
    call_ = Call::Dialing;
    dialDeadline_ = Clock::now() + std::chrono::seconds(s_[7] > 0 ? s_[7] : 50);
    return true;
}

void TEmulator::Answer() {
    Connected();
}

void TEmulator::Connected() {
    const int one = 1;
    ::setsockopt(net_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    call_ = Call::Up;
    mode_ = Mode::Data;
    farEndGone_ = false;
    pluses_ = 0;
    lastDteByte_ = Clock::now();
    Result(1, ConnectText());
}

void TEmulator::HangUpCall() {
    if (net_ >= 0) ::close(net_);
    net_ = -1;
    call_ = Call::None;
    mode_ = Mode::Command;
    toNet_.clear();
    farEndGone_ = false;
    rings_ = 0;
}

void TEmulator::FlushToDte(Clock::time_point t) {
    if (toDte_.empty() || master_ < 0) return;
    const std::size_t allowed = std::min(toDte_.size(), toDtePacer_.Allowance(t));
    const ssize_t put = allowed ? ::write(master_, toDte_.data(), allowed) : 0;
    if (put > 0) {
        toDtePacer_.Spend(static_cast<std::size_t>(put));
        toDte_.erase(0, static_cast<std::size_t>(put));
    }
}

void TEmulator::FlushToNet(Clock::time_point t) {
    if (toNet_.empty() || net_ < 0) return;
    const std::size_t allowed = std::min(toNet_.size(), toNetPacer_.Allowance(t));
    const ssize_t put = allowed ? ::send(net_, toNet_.data(), allowed, MSG_NOSIGNAL) : 0;
    if (put > 0) {
        toNetPacer_.Spend(static_cast<std::size_t>(put));
        toNet_.erase(0, static_cast<std::size_t>(put));
    } else if (put < 0 && errno != EAGAIN && errno != EINTR && !farEndGone_) {
        farEndGone_ = true;
        hangUpAt_ = t + milliseconds(300);
    }
}

void TEmulator::FlushHeldPluses() {
    toNet_.append(static_cast<std::size_t>(pluses_), static_cast<char>(s_[2]));
    pluses_ = 0;
}

void TEmulator::DataFromDte(const char* p, std::size_t n, Clock::time_point now) {
    const auto guard = milliseconds(s_[12] * 20);
    const char esc = static_cast<char>(s_[2]);
    if (pluses_ == 0 && n > 0 && (p[0] != esc || now - lastDteByte_ < guard)) {
        // An escape can only start a read that follows silence: the common
        // case passes straight through.
        toNet_.append(p, n);
        lastDteByte_ = now;
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = p[i];
        // Only the last byte of a read can be followed by silence: a plus
        // inside a burst is plain data.
        const bool quietBefore = pluses_ == 0 ? now - lastDteByte_ >= guard && i == 0
                                              : now - lastPlus_ < guard;
        if (c == esc && s_[2] < 128 && pluses_ < 3 && quietBefore) {
            ++pluses_;
            lastPlus_ = now;
        } else {
            FlushHeldPluses();
            toNet_ += c;
        }
        lastDteByte_ = now;
    }
}

void TEmulator::CheckEscape(Clock::time_point now) {
    if (pluses_ == 0) return;
    const auto guard = milliseconds(s_[12] * 20);
    if (now - lastPlus_ < guard) return;
    if (pluses_ == 3) {
        pluses_ = 0;
        mode_ = Mode::OnlineCommand;
        Ok();
    } else {
        FlushHeldPluses();
    }
}

int TEmulator::Run() {
    Factory();
    if (!NewTerminal()) {
        std::fprintf(stderr, "vandrex-modem: cannot make a pseudo-terminal\n");
        return 1;
    }
    Listen();
    std::printf("vandrex-modem: ready on %s\n", o_.link.c_str());
    std::fflush(stdout);
    static char buf[kBuffer];
    while (!gStop) {
        const auto now = Clock::now();
        // Is a DTE there (the slave open)? A master without one reports a hang-up.
        if (!dteOpen_ || masterHup_) {
            masterHup_ = false;
            pollfd f{master_, POLLIN, 0};
            ::poll(&f, 1, 0);
            const bool open = !(f.revents & POLLHUP);
            if (dteOpen_ && !open && ignoreDtr_ && call_ == Call::Up) {
                // &D0: a DTR drop changes nothing; the call goes on for the
                // DTE that opens the port next.
            } else if (dteOpen_ && !open) {
                // DTR dropped: the call ends, commands start afresh.
                if (call_ != Call::None) HangUpCall();
                mode_ = Mode::Command;
                toDte_.clear();
                line_.clear();
                pluses_ = 0;
            }
            dteOpen_ = open;
        }
        if (!dteOpen_) toDte_.clear();
        CheckEscape(now);

        pollfd fds[4];
        int n = 0, at_master = -1, at_listen = -1, at_net = -1;
        int timeout = dteOpen_ ? -1 : 20;
        auto within = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
        if (dteOpen_) {
            short ev = 0;
            if (toNet_.size() < kBuffer || mode_ != Mode::Data) ev |= POLLIN;
            if (!toDte_.empty()) {
                if (toDtePacer_.Allowance(now) > 0) ev |= POLLOUT;
                else within(toDtePacer_.WaitMs(now));
            }
            at_master = n;
            fds[n++] = {master_, ev, 0};
        }
        if (listen_ >= 0) {
            at_listen = n;
            fds[n++] = {listen_, POLLIN, 0};
        }
        if (net_ >= 0) {
            short ev = POLLRDHUP;
            if (call_ == Call::Dialing) ev |= POLLOUT;
            if (call_ == Call::Up && mode_ == Mode::Data && toDte_.size() < kBuffer && !farEndGone_)
                ev |= POLLIN;
            if (call_ == Call::Up && !toNet_.empty()) {
                if (toNetPacer_.Allowance(now) > 0) ev |= POLLOUT;
                else within(toNetPacer_.WaitMs(now));
            }
            if ((call_ == Call::Ringing || call_ == Call::BusyCheck) || farEndGone_) ev &= ~POLLRDHUP;
            at_net = n;
            fds[n++] = {net_, ev, 0};
        }
        if (call_ == Call::Dialing) within(MsUntil(dialDeadline_, now));
        if (call_ == Call::BusyCheck) within(MsUntil(busyCheckUntil_, now));
        if (call_ == Call::Ringing) within(MsUntil(nextRing_, now));
        if (pluses_ > 0) within(MsUntil(lastPlus_ + milliseconds(s_[12] * 20), now) + 1);
        if (farEndGone_) within(toDte_.empty() ? MsUntil(hangUpAt_, now) : 20);

        if (trace_) std::fprintf(stderr, "[%s] poll call=%d mode=%d dte=%d timeout=%d\n", o_.link.c_str(), int(call_), int(mode_), int(dteOpen_), timeout);
        const int ready = ::poll(fds, n, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (gStop) break;
        const auto t = Clock::now();

        if (at_master >= 0 && (fds[at_master].revents & (POLLHUP | POLLERR))) masterHup_ = true;
        // DTE -> modem.
        if (at_master >= 0 && (fds[at_master].revents & POLLIN)) {
            const ssize_t got = ::read(master_, buf, sizeof buf);
            if (trace_ && got > 0 && mode_ != Mode::Data) {
                std::fprintf(stderr, "[%s] from DTE:", o_.link.c_str());
                for (ssize_t k = 0; k < got; ++k) std::fprintf(stderr, " %02x", static_cast<unsigned char>(buf[k]));
                std::fprintf(stderr, "\n");
            }
            if (got > 0) {
                if (mode_ == Mode::Data) {
                    DataFromDte(buf, static_cast<std::size_t>(got), t);
                    if (call_ == Call::Up) FlushToNet(t);
                } else if (call_ == Call::Dialing || call_ == Call::BusyCheck) {
                    HangUpCall();  // a key pressed while dialling aborts it
                    Result(3, "NO CARRIER");
                } else {
                    CommandBytes(buf, static_cast<std::size_t>(got));
                }
            }
        }
        // Modem -> DTE.
        if (at_master >= 0 && (fds[at_master].revents & POLLOUT)) FlushToDte(t);
        // Incoming calls.
        if (at_listen >= 0 && (fds[at_listen].revents & POLLIN)) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                if (!dteOpen_) {
                    // The flag may be older than the poll: look again.
                    pollfd f{master_, POLLIN, 0};
                    ::poll(&f, 1, 0);
                    dteOpen_ = !(f.revents & POLLHUP);
                }
                if (trace_) std::fprintf(stderr, "[%s] incoming call=%d dte=%d\n", o_.link.c_str(), int(call_), int(dteOpen_));
                if (call_ != Call::None || !dteOpen_) {
                    ::close(fd);  // busy
                } else {
                    net_ = fd;
                    call_ = Call::Ringing;
                    rings_ = 0;
                    nextRing_ = t;
                }
            }
        }
        // The line.
        if (at_net >= 0 && net_ >= 0) {
            const short rev = fds[at_net].revents;
            if (call_ == Call::Dialing) {
                if (rev & (POLLOUT | POLLERR | POLLHUP)) {
                    int error = 0;
                    socklen_t len = sizeof error;
                    ::getsockopt(net_, SOL_SOCKET, SO_ERROR, &error, &len);
                    if (error != 0) {
                        HangUpCall();
                        Result(3, "NO CARRIER");
                    } else {
                        // A far end that takes the connection and drops it at
                        // once is busy.
                        call_ = Call::BusyCheck;
                        busyCheckUntil_ = t + milliseconds(150);
                    }
                } else if (t >= dialDeadline_) {
                    HangUpCall();
                    Result(8, "NO ANSWER");
                }
            } else if (call_ == Call::BusyCheck) {
                pollfd f{net_, POLLRDHUP, 0};
                ::poll(&f, 1, 0);
                if (f.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
                    char probe;
                    if (::recv(net_, &probe, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) {
                        HangUpCall();
                        Result(7, "BUSY");
                    } else {
                        Connected();
                    }
                } else if (t >= busyCheckUntil_) {
                    Connected();
                }
            } else if (call_ == Call::Ringing) {
                pollfd f{net_, POLLRDHUP, 0};
                ::poll(&f, 1, 0);
                if (f.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
                    const bool announced = rings_ > 0;
                    HangUpCall();  // the caller gave up
                    if (dteOpen_ && announced) Result(3, "NO CARRIER");
                } else if (t >= nextRing_) {
                    if (dteOpen_) Result(2, "RING");
                    ++rings_;
                    s_[1] = rings_;
                    nextRing_ = t + milliseconds(2000);
                    if (s_[0] > 0 && rings_ >= s_[0]) Answer();
                }
            } else if (call_ == Call::Up) {
                if (rev & POLLOUT) FlushToNet(t);
                if (rev & POLLIN) {
                    const std::size_t room = kBuffer - std::min<std::size_t>(kBuffer, toDte_.size());
                    const ssize_t got = ::recv(net_, buf, std::min(room, sizeof buf), 0);
                    if (got > 0) {
                        toDte_.append(buf, static_cast<std::size_t>(got));
                        if (dteOpen_) FlushToDte(t);
                    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                        farEndGone_ = true;
                        hangUpAt_ = t + milliseconds(300);
                    }
                } else if ((rev & (POLLHUP | POLLERR)) && !farEndGone_) {
                    farEndGone_ = true;
                    hangUpAt_ = t + milliseconds(300);
                }
                if (farEndGone_ && toDte_.empty() && t >= hangUpAt_) {
                    // The far end hung up: after its last bytes had time to
                    // be read, the terminal is hung up.
                    HangUpCall();
                    TerminalHangUp();
                } else if (farEndGone_ && !toDte_.empty()) {
                    hangUpAt_ = t + milliseconds(300);
                }
            }
        }
    }
    if (net_ >= 0) ::close(net_);
    if (listen_ >= 0) ::close(listen_);
    ::unlink(o_.link.c_str());
    if (master_ >= 0) ::close(master_);
    return 0;
}

}  // namespace

int RunEmulator(const TOptions& options) {
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    TEmulator emulator(options);
    return emulator.Run();
}

}  // namespace vandrex::modem
