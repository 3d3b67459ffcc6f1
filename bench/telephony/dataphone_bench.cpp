// Throughput of vandrex-phone against lrzsz (sz/rz, ZMODEM) on the same line
// in the same run: one random 256 KiB file through a relay paced like a
// 33 600 bit/s modem link (10 bits a byte: 3 360 bytes/s each way), and the
// unpaced rate over loopback TCP (the network line).
//
// Counters: phone_Bps and lrzsz_Bps (file bytes per second of wall time from
// dialling to the sender's last acknowledgement), ratio = phone / lrzsz, and
// line_share = phone_Bps / 3360.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
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

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kTool = VANDREX_PHONE_TOOL;
constexpr double kLineBytesPerSecond = 3360.0;

// Socket buffers of a paced line: small, like a modem's, so that a sender that
// streams is held back by flow control rather than filling megabytes of
// kernel buffers the line then needs a minute to drain.
constexpr int kLineBuffer = 4096;

void SmallBuffers(int fd, int size) {
    if (size <= 0) return;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

int Listen(int& port, int buffer = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    SmallBuffers(fd, buffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 1);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int FreePort() {
    int port = 0;
    ::close(Listen(port));
    return port;
}

int Connect(int port, int buffer = 0) {
    for (int i = 0; i < 200; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        SmallBuffers(fd, buffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// Takes one call on its port and forwards it to `target`, each direction
// limited to `rate` bytes per second (0: unlimited).
class TPacedRelay {
public:
    TPacedRelay(int target, double rate) : target_(target), rate_(rate) {
        listener_ = Listen(port_, kLineBuffer);
        thread_ = std::thread([this] { Run(); });
    }
    ~TPacedRelay() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    void Run() {
        pollfd l{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&l, 1, 100) <= 0) {
        }
        if (stop_) return;
        int a = ::accept(listener_, nullptr, nullptr);
        int b = Connect(target_, kLineBuffer);
        int one = 1;
        ::setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(b, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        struct TDirection {
            int from, to;
            std::string buffer;
            std::int64_t sent = 0;
            bool open = true;
        } dirs[2] = {{a, b, {}, 0, true}, {b, a, {}, 0, true}};
        auto start = Clock::now();
        while (!stop_ && (dirs[0].open || dirs[1].open)) {
            pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
            ::poll(p, 2, 1);
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            for (auto& d : dirs) {
                if (d.open && d.buffer.size() < 1024) {
                    char chunk[8192];
                    ssize_t n = ::recv(d.from, chunk, sizeof chunk, MSG_DONTWAIT);
                    if (n > 0) d.buffer.append(chunk, static_cast<std::size_t>(n));
                    else if (n == 0) d.open = false;
                }
                std::int64_t allowed = static_cast<std::int64_t>(d.buffer.size());
                if (rate_ > 0) allowed = std::min<std::int64_t>(allowed, static_cast<std::int64_t>(elapsed * rate_) - d.sent);
                if (allowed > 0) {
                    ssize_t n = ::send(d.to, d.buffer.data(), static_cast<std::size_t>(allowed), MSG_NOSIGNAL);
                    if (n > 0) {
                        d.buffer.erase(0, static_cast<std::size_t>(n));
                        d.sent += n;
                    }
                }
                if (!d.open && d.buffer.empty()) ::shutdown(d.to, SHUT_WR);
            }
        }
        ::close(a);
        ::close(b);
    }

    int target_;
    double rate_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct TChild {
    pid_t pid = -1;
    int out = -1;
};

TChild Spawn(const std::vector<std::string>& args, const fs::path& cwd) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::chdir(cwd.c_str());
        ::dup2(pipeFds[1], 1);
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 2);
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

// Seconds from dialling until the sender has its last acknowledgement.
double PhoneSeconds(const fs::path& file, double rate) {
    auto in = MakeFolder("phone-in");
    int port = FreePort();
    TChild receiver = Spawn({kTool, "--answer", "--line", "127.0.0.1:" + std::to_string(port), "--dir", in.string(),
                             "--idle", "2"},
                            in);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Unpaced runs go straight to the receiver: the network line itself.
    std::unique_ptr<TPacedRelay> relay;
    if (rate > 0) relay = std::make_unique<TPacedRelay>(port, rate);
    int dialled = relay ? relay->Port() : port;
    auto start = Clock::now();
    TChild sender = Spawn({kTool, "--dial", "127.0.0.1:" + std::to_string(dialled), "--idle", "0.2", "--file",
                           file.string()},
                          in);
    bool ok = WaitForOutput(sender, "sent file", 600);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Reap(sender, false);
    Reap(receiver, false);
    bool same = fs::exists(in / "payload.bin") && fs::file_size(in / "payload.bin") == fs::file_size(file);
    fs::remove_all(in);
    return ok && same ? seconds : -1;
}

double LrzszSeconds(const fs::path& file, double rate) {
    auto in = MakeFolder("lrzsz-in");
    int port = FreePort();
    // On the paced line sz and rz sit on a terminal, as on a serial port; on the
    // network line they get plain pipes, their fastest.
    const std::string terminal = rate > 0 ? ",pty,raw,echo=0" : "";
    TChild receiver = Spawn({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                             "EXEC:rz -y -q" + terminal},
                            in);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::unique_ptr<TPacedRelay> relay;
    if (rate > 0) relay = std::make_unique<TPacedRelay>(port, rate);
    int dialled = relay ? relay->Port() : port;
    auto start = Clock::now();
    // sz streams: on the paced line its socket gets a modem-sized send buffer,
    // otherwise the kernel would take the whole file at once and sz would time
    // out waiting for the end while the line drains it.
    std::string tcp = "TCP:127.0.0.1:" + std::to_string(dialled) + (rate > 0 ? ",sndbuf=4096" : "");
    TChild sender = Spawn({"socat", tcp, "EXEC:sz -q " + file.string() + terminal},
                          file.parent_path());
    WaitForOutput(sender, "", 600);  // sz ends after the receiver's last answer
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Reap(sender, false);
    Reap(receiver, true);
    bool same = fs::exists(in / "payload.bin") && fs::file_size(in / "payload.bin") == fs::file_size(file);
    fs::remove_all(in);
    return same ? seconds : -1;
}

void Compare(benchmark::State& state, std::size_t size, double rate) {
    auto out = MakeFolder("out");
    auto file = RandomFile(out, size);
    for (auto _ : state) {
        double phone = PhoneSeconds(file, rate);
        double lrzsz = LrzszSeconds(file, rate);
        if (phone <= 0 || lrzsz <= 0) {
            state.SkipWithError(phone <= 0 ? "the vandrex-phone transfer failed" : "the sz/rz transfer failed");
            break;
        }
        state.SetIterationTime(phone);
        state.counters["phone_Bps"] = static_cast<double>(size) / phone;
        state.counters["lrzsz_Bps"] = static_cast<double>(size) / lrzsz;
        state.counters["ratio"] = lrzsz / phone;
        if (rate > 0) state.counters["line_share"] = static_cast<double>(size) / phone / rate;
    }
    fs::remove_all(out);
}

void BM_Paced33600_256KiB(benchmark::State& state) { Compare(state, 256 * 1024, kLineBytesPerSecond); }
void BM_Paced33600_64KiB(benchmark::State& state) { Compare(state, 64 * 1024, kLineBytesPerSecond); }
void BM_NetworkLine_64MiB(benchmark::State& state) { Compare(state, 64 * 1024 * 1024, 0); }

}  // namespace

BENCHMARK(BM_Paced33600_256KiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Paced33600_64KiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_NetworkLine_64MiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
