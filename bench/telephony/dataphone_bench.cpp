// Throughput of vandrex-phone against lrzsz (sz/rz, ZMODEM) on the same line
// in the same run:
//  - one random 256 KiB file through two vandrex-modem emulators paced at
//    33 600 bit/s (10 bits a byte: 3 360 bytes/s each way); vandrex-phone
//    dials and answers through the line layer (--line 1), sz and rz sit on
//    the modems' terminals after the same dialling by AT commands;
//  - the unpaced rate over the network line (--line 0) against sz/rz over a
//    plain TCP connection.
//
// Counters: phone_Bps and lrzsz_Bps (file bytes per second of wall time from
// dialling to the sender's last acknowledgement), ratio = lrzsz time / phone
// time (above 1: vandrex-phone is faster), line_share = phone_Bps / 3360, and
// the machine's one-minute load average at the start.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/telephony/freeport.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kTool = VANDREX_PHONE_TOOL;
const std::string kModem = VANDREX_MODEM_TOOL;

using vandrex::test::FreePort;

struct TChild {
    pid_t pid = -1;
    int out = -1;
};

// Starts args in cwd with extra environment entries; its standard output
// comes to out (or, with a terminal, both standard streams are that terminal).
TChild Spawn(const std::vector<std::string>& args, const fs::path& cwd, const std::vector<std::string>& environment = {},
             int terminal = -1, bool errorsToo = false) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        for (const auto& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
        int null = ::open("/dev/null", O_RDWR);
        if (terminal >= 0) {
            ::dup2(terminal, 0);
            ::dup2(terminal, 1);
        } else {
            ::dup2(null, 0);
            ::dup2(pipeFds[1], 1);
        }
        ::dup2(terminal >= 0 || errorsToo ? pipeFds[1] : null, 2);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Waits until the child writes `text` (or ends); false on time-out.
bool WaitForOutput(TChild& child, const std::string& text, int seconds) {
    std::string seen;
    auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        pollfd p{child.out, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buffer[4096];
            ssize_t n = ::read(child.out, buffer, sizeof buffer);
            if (n <= 0) return text.empty();
            seen.append(buffer, static_cast<std::size_t>(n));
            if (!text.empty() && seen.find(text) != std::string::npos) return true;
        }
    }
    return false;
}

void Reap(TChild& child, bool kill) {
    if (child.pid <= 0) return;
    if (kill) ::kill(child.pid, SIGKILL);
    ::waitpid(child.pid, nullptr, 0);
    ::close(child.out);
    child.pid = -1;
}

fs::path MakeFolder(const std::string& name) {
    auto path = fs::temp_directory_path() / ("vandrex-phone-bench-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

fs::path RandomFile(const fs::path& folder, std::size_t size) {
    std::mt19937 random(1234);
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(random());
    auto path = folder / "payload.bin";
    std::ofstream(path, std::ios::binary) << data;
    return path;
}

// A vandrex-modem on a link, taking calls on its own port.
class TModem {
public:
    TModem(const fs::path& link, long rate) : link_(link) {
        port_ = FreePort();
        child_ = Spawn({kModem, link.string(), "--listen", "127.0.0.1:" + std::to_string(port_), "--rate",
                        std::to_string(rate)},
                       link.parent_path());
        ready_ = WaitForOutput(child_, "ready on", 10);
    }
    ~TModem() {
        if (child_.pid > 0) ::kill(child_.pid, SIGTERM);
        Reap(child_, false);
    }
    bool Ready() const { return ready_; }
    int Port() const { return port_; }
    const fs::path& Link() const { return link_; }

private:
    fs::path link_;
    int port_ = 0;
    TChild child_;
    bool ready_ = false;
};

// The modem's terminal opened raw, as a terminal program opens it.
int OpenTerminal(const fs::path& link) {
    int fd = ::open(fs::canonical(link).c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

bool Command(int fd, const std::string& text, const std::string& answer, int ms) {
    if (!text.empty() && ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return false;
    if (answer.empty()) return true;
    std::string got;
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char buffer[256];
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return false;
            got.append(buffer, static_cast<std::size_t>(n));
            // The result line is complete with its CR LF.
            auto at = got.find(answer);
            if (at != std::string::npos && got.find('\n', at) != std::string::npos) return true;
        }
    }
    return false;
}

std::vector<std::string> LineEnvironment(const fs::path& folder, const std::string& modems,
                                         const std::string& networkLine) {
    return {"VANDREX_LINE_SETTINGS=" + (folder / "line.ini").string(), "VANDREX_LOCK_DIR=" + folder.string(),
            "VANDREX_MODEMS=" + modems, "VANDREX_NETWORK_LINE=" + networkLine};
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return x && y && std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y), {});
}

// Seconds from dialling until the sender has its last acknowledgement;
// rate 0: the network line, else two modems paced at rate bit/s.
double PhoneSeconds(const fs::path& file, long rate) {
    auto in = MakeFolder("phone-in");
    std::unique_ptr<TModem> a, b;
    std::vector<std::string> answerEnv, callEnv, answerArgs, callArgs;
    if (rate > 0) {
        a = std::make_unique<TModem>(in / "modemA", rate);
        b = std::make_unique<TModem>(in / "modemB", rate);
        if (!a->Ready() || !b->Ready()) return -1;
        answerEnv = LineEnvironment(in, a->Link().string(), "off");
        callEnv = LineEnvironment(in, b->Link().string(), "off");
        answerArgs = {"--line", "1"};
        callArgs = {"--dial", "127.0.0.1:" + std::to_string(a->Port()), "--line", "1"};
    } else {
        const int port = FreePort();
        answerEnv = callEnv = LineEnvironment(in, "", "127.0.0.1:" + std::to_string(port));
        answerArgs = {"--line", "0"};
        callArgs = {"--dial", "127.0.0.1:" + std::to_string(port), "--line", "0"};
    }
    answerArgs.insert(answerArgs.begin(), {kTool, "--answer"});
    answerArgs.insert(answerArgs.end(), {"--dir", in.string(), "--idle", "2"});
    // Its error output says when the line is open and waiting.
    TChild receiver = Spawn(answerArgs, in, answerEnv, -1, true);
    if (!WaitForOutput(receiver, "waiting for a call", 30)) {
        Reap(receiver, true);
        return -1;
    }
    callArgs.insert(callArgs.begin(), kTool);
    callArgs.insert(callArgs.end(), {"--idle", "0.2", "--file", file.string()});
    auto start = Clock::now();
    TChild sender = Spawn(callArgs, file.parent_path(), callEnv);
    bool ok = WaitForOutput(sender, "sent file", 900);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Reap(sender, false);
    Reap(receiver, false);
    bool same = SameFile(in / "payload.bin", file);
    a.reset();
    b.reset();
    fs::remove_all(in);
    return ok && same ? seconds : -1;
}

// sz and rz on the two modems' terminals, after dialling by hand.
double LrzszModemSeconds(const fs::path& file, long rate) {
    auto in = MakeFolder("lrzsz-in");
    double seconds = -1;
    {
        TModem a(in / "modemA", rate), b(in / "modemB", rate);
        if (!a.Ready() || !b.Ready()) return -1;
        int answer = OpenTerminal(a.Link()), call = OpenTerminal(b.Link());
        bool ok = Command(answer, "ATE0\r", "OK", 3000) && Command(call, "ATE0\r", "OK", 3000);
        auto start = Clock::now();
        ok = ok && Command(call, "ATDT127.0.0.1:" + std::to_string(a.Port()) + "\r", "", 0) &&
             Command(answer, "", "RING", 10000) && Command(answer, "ATA\r", "CONNECT", 10000) &&
             Command(call, "", "CONNECT", 10000);
        if (ok) {
            TChild receiver = Spawn({"rz", "-y", "-q"}, in, {}, answer);
            TChild sender = Spawn({"sz", "-q", file.string()}, file.parent_path(), {}, call);
            WaitForOutput(sender, "", 900);  // sz ends after the receiver's last answer
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            Reap(sender, false);
            WaitForOutput(receiver, "", 10);
            Reap(receiver, true);
        }
        ::close(answer);
        ::close(call);
    }
    bool same = SameFile(in / "payload.bin", file);
    fs::remove_all(in);
    return same ? seconds : -1;
}

// sz and rz over one plain TCP connection: their fastest.
double LrzszTcpSeconds(const fs::path& file) {
    auto in = MakeFolder("lrzsz-in");
    const int port = FreePort();
    TChild receiver = Spawn({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr", "EXEC:rz -y -q"},
                            in);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = Clock::now();
    TChild sender = Spawn({"socat", "TCP:127.0.0.1:" + std::to_string(port), "EXEC:sz -q " + file.string()},
                          file.parent_path());
    WaitForOutput(sender, "", 600);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Reap(sender, false);
    Reap(receiver, true);
    bool same = SameFile(in / "payload.bin", file);
    fs::remove_all(in);
    return same ? seconds : -1;
}

double LoadAverage() {
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

void Compare(benchmark::State& state, std::size_t size, long rate) {
    auto out = MakeFolder("out");
    auto file = RandomFile(out, size);
    for (auto _ : state) {
        state.counters["load_1min"] = LoadAverage();
        double phone = PhoneSeconds(file, rate);
        double lrzsz = rate > 0 ? LrzszModemSeconds(file, rate) : LrzszTcpSeconds(file);
        if (phone <= 0 || lrzsz <= 0) {
            state.SkipWithError(phone <= 0 ? "the vandrex-phone transfer failed" : "the sz/rz transfer failed");
            break;
        }
        state.SetIterationTime(phone);
        state.counters["phone_Bps"] = static_cast<double>(size) / phone;
        state.counters["lrzsz_Bps"] = static_cast<double>(size) / lrzsz;
        state.counters["ratio"] = lrzsz / phone;
        if (rate > 0) state.counters["line_share"] = static_cast<double>(size) / phone / (rate / 10.0);
    }
    fs::remove_all(out);
}

void BM_TwoModems33600_256KiB(benchmark::State& state) { Compare(state, 256 * 1024, 33600); }
void BM_NetworkLine_64MiB(benchmark::State& state) { Compare(state, 64 * 1024 * 1024, 0); }

}  // namespace

BENCHMARK(BM_TwoModems33600_256KiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_NetworkLine_64MiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
