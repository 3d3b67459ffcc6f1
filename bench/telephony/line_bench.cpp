// The line layer's speed, each figure against what a user would otherwise
// have, in the same run:
//  - Arrival latency: a byte written by a TCP peer until the line component's
//    OnNewData runs on the user-interface thread (p50, p99 in ms; the target
//    is a p99 of at most 20 ms).
//  - Unpaced bulk through two vandrex-modem emulators (pseudo-terminal ->
//    TCP -> pseudo-terminal) against socat joining two pseudo-terminals
//    directly; the counter "ratio" is ours / socat.
//  - Paced bulk at 33 600 bit/s: bytes per second as a share of 3 360.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include <set>
#include <vector>

#include "platform/dialogs.h"
#include "telephony/tapiline.h"
#include "tests/telephony/freeport.h"

using namespace vandrex;
using Clock = std::chrono::steady_clock;

namespace {

void Serve(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Runs the event loop as the program does (sleeping until something
// happens) until pred holds or ms pass.
template <class Pred>
bool RunLoopUntil(Pred pred, int ms) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (pred()) loop.quit();
    });
    check.start(10);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!pred()) loop.exec();
    return pred();
}

template <class Pred>
bool WaitFor(Pred pred, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (Clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

using test::FreePort;

int OpenRaw(const QString& path) {
    const int fd = ::open(QFileInfo(path).canonicalFilePath().toLocal8Bit().constData(),
                          O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads until text has come (or ms pass); returns what was read.
std::string ReadUntil(int fd, const std::string& text, int ms) {
    std::string got;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (got.find(text) == std::string::npos && Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
    }
    return got;
}

// Moves total bytes from one descriptor to the other; returns bytes/second
// from the first byte read to the last.
double Bulk(int from, int to, std::size_t total) {
    std::thread writer([&] {
        std::vector<char> block(4096, 'b');
        std::size_t sent = 0;
        while (sent < total) {
            const ssize_t n = ::write(from, block.data(), std::min(block.size(), total - sent));
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
    });
    std::vector<char> buf(65536);
    std::size_t got = 0, first = 0;
    Clock::time_point start{}, last{};
    while (got < total) {
        pollfd p{to, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        const ssize_t n = ::read(to, buf.data(), buf.size());
        if (n <= 0) break;
        if (got == 0) {
            start = Clock::now();
            first = static_cast<std::size_t>(n);
        }
        got += static_cast<std::size_t>(n);
        last = Clock::now();
    }
    writer.join();
    const double seconds = std::chrono::duration<double>(last - start).count();
    return seconds > 0 ? (got - first) / seconds : 0;
}

class Emulator {
public:
    Emulator(const QString& link, int port, const QStringList& extra = {}) : link_(link) {
        QStringList args{link, "--listen", QStringLiteral("127.0.0.1:%1").arg(port)};
        process_.start(VANDREX_MODEM_EXE, args + extra);
        process_.waitForReadyRead(5000);
    }
    ~Emulator() {
        process_.terminate();
        process_.waitForFinished(3000);
    }

private:
    QString link_;
    QProcess process_;
};

// Two emulators in a call: a's terminal to b's terminal.
struct ModemPair {
    explicit ModemPair(const QTemporaryDir& dir, const QStringList& extra = {})
        : portA(FreePort()), portB(FreePort()),
          a(dir.filePath("a"), portA, extra), b(dir.filePath("b"), portB, extra) {
        dteA = OpenRaw(dir.filePath("a"));
        dteB = OpenRaw(dir.filePath("b"));
        const std::string dial = "ATE0\rATDT127.0.0.1:" + std::to_string(portB) + "\r";
        [[maybe_unused]] auto n = ::write(dteB, "ATE0\r", 5);
        ReadUntil(dteB, "OK", 2000);
        n = ::write(dteA, dial.data(), dial.size());
        ReadUntil(dteB, "RING", 5000);
        n = ::write(dteB, "ATA\r", 4);
        ok = ReadUntil(dteB, "CONNECT", 5000).find("CONNECT") != std::string::npos &&
             ReadUntil(dteA, "CONNECT", 5000).find("CONNECT") != std::string::npos;
        ReadUntil(dteA, "\n", 200);
        ReadUntil(dteB, "\n", 200);
    }
    ~ModemPair() {
        ::close(dteA);
        ::close(dteB);
    }
    int portA, portB;
    Emulator a, b;
    int dteA = -1, dteB = -1;
    bool ok = false;
};

void BM_ArrivalToOnNewData(benchmark::State& state) {
    QTemporaryDir dir;
    const int port = FreePort();
    qputenv("VANDREX_NETWORK_LINE", QByteArray::number(port));
    qputenv("VANDREX_MODEMS", "");
    qputenv("VANDREX_LINE_SETTINGS", dir.filePath("line.ini").toLocal8Bit());
    std::vector<double> ms;
    for (auto _ : state) {
        TTAPILine line;
        line.SetDevIdToInitialize(0);
        line.Open();
        std::atomic<long long> stamp{0};
        int bytes = 0;
        line.OnConnection = [](TTAPILine* l) {
            l->Connected = true;
            l->StartReceive();
        };
        line.OnNewData = [&](TTAPILine* l) {
            const auto now = Clock::now().time_since_epoch().count();
            ms.push_back((now - stamp.load()) / 1e6);
            char buf[64];
            bytes += static_cast<int>(l->ReadBuffer(buf, 0, sizeof buf));
        };
        const int peer = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (!WaitFor([&] { return line.ReceiverRunning(); }, 5000)) {
            state.SkipWithError("no call");
            ::close(peer);
            return;
        }
        // A writer thread stamps and sends one byte at a time, 20 ms apart,
        // while this thread runs the event loop as the window would.
        std::atomic<bool> done{false};
        std::thread writer([&] {
            for (int i = 0; i < 300; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                stamp = Clock::now().time_since_epoch().count();
                [[maybe_unused]] auto n = ::write(peer, "x", 1);
            }
            done = true;
        });
        RunLoopUntil([&] { return done.load() && bytes >= 300; }, 20000);
        writer.join();
        ::close(peer);
        Serve(100);
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        state.counters["p50_ms"] = ms[ms.size() / 2];
        state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
        state.counters["samples"] = static_cast<double>(ms.size());
    }
}
BENCHMARK(BM_ArrivalToOnNewData)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_UnpacedThroughTwoEmulatorsVsSocat(benchmark::State& state) {
    const std::size_t total = 16u << 20;
    double ours = 0, socat = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        {
            ModemPair pair(dir);
            if (!pair.ok) {
                state.SkipWithError("emulators did not connect");
                return;
            }
            ours = Bulk(pair.dteA, pair.dteB, total);
        }
        QProcess joiner;
        joiner.start("socat", {"pty,raw,echo=0,link=" + dir.filePath("x"),
                               "pty,raw,echo=0,link=" + dir.filePath("y")});
        WaitFor([&] { return QFileInfo::exists(dir.filePath("y")); }, 5000);
        const int x = OpenRaw(dir.filePath("x")), y = OpenRaw(dir.filePath("y"));
        socat = Bulk(x, y, total);
        ::close(x);
        ::close(y);
        joiner.terminate();
        joiner.waitForFinished(3000);
    }
    state.counters["ours_MBps"] = ours / 1e6;
    state.counters["socat_MBps"] = socat / 1e6;
    state.counters["ratio"] = socat > 0 ? ours / socat : 0;
}
BENCHMARK(BM_UnpacedThroughTwoEmulatorsVsSocat)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PacedAt33600(benchmark::State& state) {
    double rate = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        ModemPair pair(dir, {"--rate", "33600"});
        if (!pair.ok) {
            state.SkipWithError("emulators did not connect");
            return;
        }
        rate = Bulk(pair.dteA, pair.dteB, 3360 * 5);
    }
    state.counters["bytes_per_s"] = rate;
    state.counters["share_of_3360_pct"] = rate / 3360.0 * 100.0;
}
BENCHMARK(BM_PacedAt33600)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TRecordingDialogs dialogs;
    SetDialogs(&dialogs);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
