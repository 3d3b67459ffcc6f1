// The call's byte stream over a real socket pair and a real pseudo-terminal:
// reads never exceed the buffer, hang-ups and closes end blocked calls at
// once, and arrivals are reported once each.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "platform/telephony/fdcommhandle.h"

using namespace vandrex;
using namespace std::chrono_literals;
using Status = TCommHandle::Status;
using Wait = TCommHandle::Wait;

namespace {

TDeadline In(std::chrono::milliseconds ms) { return std::chrono::steady_clock::now() + ms; }

struct SocketPair {
    SocketPair() {
        int fds[2];
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        stream = std::make_shared<TFdCommHandle>(fds[0], TFdCommHandle::Kind::Socket);
        peer = fds[1];
    }
    ~SocketPair() {
        if (peer >= 0) ::close(peer);
    }
    void Send(const std::string& s) { ASSERT_EQ(::write(peer, s.data(), s.size()), ssize_t(s.size())); }
    std::shared_ptr<TFdCommHandle> stream;
    int peer;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

TEST(CommHandle, ReadsWhatWaitsButNeverMoreThanTheBufferHolds) {
    SocketPair p;
    p.Send("0123456789");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(p.stream->BytesWaiting(), 10);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    const auto r = p.stream->Read(buf, 4, In(1000ms));
    EXPECT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.bytes, 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(buf[4], 'x');  // nothing written past what was asked
    EXPECT_EQ(p.stream->BytesWaiting(), 6);
}

TEST(CommHandle, ReadWaitsForTheDeadlineWhenNothingComes) {
    SocketPair p;
    char buf[4];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p.stream->Read(buf, 4, In(200ms)).status, Status::TimedOut);
    EXPECT_GE(Seconds(start), 0.19);
}

TEST(CommHandle, FarEndCloseDeliversTheLastBytesThenReportsTheHangUp) {
    SocketPair p;
    p.Send("bye");
    ::close(p.peer);
    p.peer = -1;
    char buf[16];
    auto r = p.stream->Read(buf, sizeof buf, In(1000ms));
    ASSERT_EQ(r.status, Status::Ok);
    EXPECT_EQ(std::string(buf, r.bytes), "bye");
    EXPECT_EQ(p.stream->Read(buf, sizeof buf, In(1000ms)).status, Status::HungUp);
    EXPECT_TRUE(p.stream->IsHungUp());
}

TEST(CommHandle, HangUpEndsABlockedReadAndWriteAtOnce) {
    SocketPair p;
    auto reader = std::async(std::launch::async, [&] {
        char buf[4];
        const auto start = std::chrono::steady_clock::now();
        const auto r = p.stream->Read(buf, 4, In(20000ms));
        return std::make_pair(r.status, Seconds(start));
    });
    std::this_thread::sleep_for(100ms);
    p.stream->HangUp();
    const auto [status, took] = reader.get();
    EXPECT_EQ(status, Status::HungUp);
    EXPECT_LT(took, 1.0);
    const char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(p.stream->Write(data, 4, In(1000ms)).status, Status::HungUp);
}

TEST(CommHandle, WriteToAFullPeerTimesOutAndAHangUpEndsItEarly) {
    SocketPair p;
    const int small = 4096;
    ::setsockopt(p.peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::vector<char> block(1 << 20, 'z');
    std::size_t sent = 0;
    TCommHandle::Result r;
    while ((r = p.stream->Write(block.data(), block.size(), In(200ms))).status == Status::Ok) sent += r.bytes;
    EXPECT_EQ(r.status, Status::TimedOut);
    EXPECT_GT(sent, 0u);
    auto writer = std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        const auto w = p.stream->Write(block.data(), block.size(), In(20000ms));
        return std::make_pair(w.status, Seconds(start));
    });
    std::this_thread::sleep_for(100ms);
    p.stream->HangUp();
    const auto [status, took] = writer.get();
    EXPECT_EQ(status, Status::HungUp);
    EXPECT_LT(took, 1.0);
}

TEST(CommHandle, ArrivalsAreReportedOnceEachAndWaitingBytesOnTheFirstWait) {
    SocketPair p;
    p.Send("early");
    std::this_thread::sleep_for(20ms);
    // Bytes that waited before anyone watched are reported at once...
    EXPECT_EQ(p.stream->WaitForArrival(In(1000ms)), Wait::Arrived);
    // ...but not again while they just wait.
    EXPECT_EQ(p.stream->WaitForArrival(In(200ms)), Wait::TimedOut);
    p.Send("more");
    EXPECT_EQ(p.stream->WaitForArrival(In(1000ms)), Wait::Arrived);
    EXPECT_EQ(p.stream->WaitForArrival(In(200ms)), Wait::TimedOut);
    EXPECT_EQ(p.stream->BytesWaiting(), 9);
    p.stream->Wake();
    EXPECT_EQ(p.stream->WaitForArrival(In(1000ms)), Wait::Woken);
}

TEST(CommHandle, CloseWakesTheWaiterFirstAndEveryLaterCallReportsClosed) {
    SocketPair p;
    std::atomic<bool> waiting{false};
    auto waiter = std::async(std::launch::async, [&] {
        waiting = true;
        return p.stream->WaitForArrival(In(20000ms));
    });
    while (!waiting) std::this_thread::yield();
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    p.stream->Close();
    EXPECT_LT(Seconds(start), 1.0);
    const Wait w = waiter.get();
    EXPECT_TRUE(w == Wait::Closed || w == Wait::HungUp);
    char buf[4];
    EXPECT_EQ(p.stream->Read(buf, 4, In(100ms)).status, Status::Closed);
    EXPECT_EQ(p.stream->Write(buf, 4, In(100ms)).status, Status::Closed);
    EXPECT_EQ(p.stream->BytesWaiting(), -1);
    EXPECT_EQ(p.stream->ClearErrors(), static_cast<std::uint32_t>(CE_MODE));
    // The peer sees the stream gone.
    EXPECT_EQ(::read(p.peer, buf, 4), 0);
}

TEST(CommHandle, PseudoTerminalHangUpEndsTheSerialStreamAndPurgeDropsInput) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ::grantpt(master);
    ::unlockpt(master);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    auto stream = std::make_shared<TFdCommHandle>(slave, TFdCommHandle::Kind::Serial);
    ASSERT_EQ(::write(master, "abcdef", 6), 6);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(stream->BytesWaiting(), 6);
    EXPECT_EQ(stream->ClearErrors(), 0u);  // no UART counters on a pseudo-terminal
    stream->Purge(false, true);
    EXPECT_EQ(stream->BytesWaiting(), 0);
    auto reader = std::async(std::launch::async, [&] {
        char buf[4];
        const auto start = std::chrono::steady_clock::now();
        return std::make_pair(stream->Read(buf, 4, In(20000ms)).status, Seconds(start));
    });
    std::this_thread::sleep_for(100ms);
    ::close(master);  // the terminal is hung up
    const auto [status, took] = reader.get();
    EXPECT_EQ(status, Status::HungUp);
    EXPECT_LT(took, 1.0);
}
