#include "platform/telephony/fdcommhandle.h"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vandrex {

int MillisecondsUntil(TDeadline deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000));
}

namespace {

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(eventFd, &one, sizeof one);
}

void Drain(int eventFd) {
    std::uint64_t value;
    [[maybe_unused]] auto n = ::read(eventFd, &value, sizeof value);
}

bool IsBrokenError(int error) {
    return error == EPIPE || error == ECONNRESET || error == EIO || error == ENOTCONN ||
           error == ESHUTDOWN || error == ENXIO || error == ENODEV;
}

}  // namespace

// Marks one operation in progress for the lifetime of a scope.
class TFdCommHandle::Use {
public:
    explicit Use(TFdCommHandle& h) : h_(h), ok_(h.Enter()) {}
    ~Use() {
        if (ok_) h_.Leave();
    }
    explicit operator bool() const { return ok_; }

private:
    TFdCommHandle& h_;
    bool ok_;
};

TFdCommHandle::TFdCommHandle(int fd, Kind kind) : fd_(fd), kind_(kind) {
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    hangupFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TFdCommHandle::~TFdCommHandle() {
    Close();
    ::close(hangupFd_);
    ::close(wakeFd_);
}

bool TFdCommHandle::Enter() {
    std::lock_guard lock(mutex_);
    if (closed_.load()) return false;
    ++inUse_;
    return true;
}

void TFdCommHandle::Leave() {
    std::lock_guard lock(mutex_);
    if (--inUse_ == 0) idle_.notify_all();
}

// Waits for events on the descriptor or a hang-up. Returns the revents, 0 on
// time-out; *hung is set when the hang-up event fired.
int TFdCommHandle::WaitFd(short events, TDeadline deadline, bool* hung) {
    for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {hangupFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, MillisecondsUntil(deadline));
        if (n < 0) {
            if (errno == EINTR) continue;
            return POLLERR;
        }
        if (fds[1].revents) *hung = true;
        if (n == 0 || fds[1].revents) return fds[0].revents;
        return fds[0].revents;
    }
}

TCommHandle::Status TFdCommHandle::ClosedStatus() const {
    // A stream the line closed after a hang-up reads as hung up.
    return closedAfterHangUp_.load() ? Status::HungUp : Status::Closed;
}

void TFdCommHandle::Preload(const std::string& bytes) {
    std::lock_guard lock(preloadMutex_);
    preload_ += bytes;
}

TCommHandle::Result TFdCommHandle::Read(void* buffer, std::size_t size, TDeadline deadline) {
    Use use(*this);
    if (!use) return {ClosedStatus(), 0, EBADF};
    if (size == 0) return {Status::Ok, 0, 0};
    {
        std::lock_guard lock(preloadMutex_);
        if (!preload_.empty()) {
            const std::size_t n = std::min(size, preload_.size());
            std::memcpy(buffer, preload_.data(), n);
            preload_.erase(0, n);
            return {Status::Ok, n, 0};
        }
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n > 0) return {Status::Ok, static_cast<std::size_t>(n), 0};
        if (n == 0) {
            // End of stream: the far end of a socket closed, or a terminal
            // was hung up.
            hungUp_ = true;
            return {Status::HungUp, 0, 0};
        }
        const int error = errno;
        if (error == EINTR) continue;
        if (error != EAGAIN && error != EWOULDBLOCK) {
            if (IsBrokenError(error)) {
                hungUp_ = true;
                return {Status::HungUp, 0, error};
            }
            return {Status::Failed, 0, error};
        }
        if (hungUp_.load()) return {Status::HungUp, 0, 0};
        bool hung = false;
        const int revents = WaitFd(POLLIN, deadline, &hung);
        if (closed_.load()) return {ClosedStatus(), 0, EBADF};
        if (revents & (POLLIN | POLLHUP | POLLERR)) continue;
        if (hung) continue;  // reads what is left first, then reports it
        if (std::chrono::steady_clock::now() >= deadline) return {Status::TimedOut, 0, 0};
    }
}

TCommHandle::Result TFdCommHandle::Write(const void* data, std::size_t size, TDeadline deadline) {
    Use use(*this);
    if (!use) return {ClosedStatus(), 0, EBADF};
    if (size == 0) return {Status::Ok, 0, 0};
    for (;;) {
        if (hungUp_.load()) return {Status::HungUp, 0, 0};
        const ssize_t n = kind_ == Kind::Socket ? ::send(fd_, data, size, MSG_NOSIGNAL)
                                                : ::write(fd_, data, size);
        if (n > 0) return {Status::Ok, static_cast<std::size_t>(n), 0};
        const int error = n == 0 ? EAGAIN : errno;
        if (error == EINTR) continue;
        if (error != EAGAIN && error != EWOULDBLOCK) {
            if (IsBrokenError(error)) {
                hungUp_ = true;
                return {Status::HungUp, 0, error};
            }
            return {Status::Failed, 0, error};
        }
        bool hung = false;
        const int revents = WaitFd(POLLOUT, deadline, &hung);
        if (closed_.load()) return {ClosedStatus(), 0, EBADF};
        if (hung) return {Status::HungUp, 0, 0};
        if (revents & (POLLHUP | POLLERR)) {
            hungUp_ = true;
            return {Status::HungUp, 0, 0};
        }
        if (!(revents & POLLOUT) && std::chrono::steady_clock::now() >= deadline)
            return {Status::TimedOut, 0, 0};
    }
}

long TFdCommHandle::BytesWaiting() {
    Use use(*this);
    if (!use) return -1;
    long early = 0;
    {
        std::lock_guard lock(preloadMutex_);
        early = static_cast<long>(preload_.size());
    }
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) return early;
    return early + n;
}

TCommHandle::Wait TFdCommHandle::WaitForArrival(TDeadline deadline) {
    Use use(*this);
    if (!use) return Wait::Closed;
    if (epollFd_ < 0) {
        epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
        // Edge-triggered: one event per arrival, none while bytes just wait.
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        ev.data.fd = fd_;
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd_, &ev);
        ev.events = EPOLLIN;
        ev.data.fd = hangupFd_;
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, hangupFd_, &ev);
        ev.data.fd = wakeFd_;
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
    }
    if (firstWait_) {
        firstWait_ = false;
        // Registering reports what is already readable as one edge; take it
        // here, where the bytes waiting are counted instead.
        epoll_event ignored[3];
        ::epoll_wait(epollFd_, ignored, 3, 0);
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) == 0 && n > 0) return Wait::Arrived;
        std::lock_guard lock(preloadMutex_);
        if (!preload_.empty()) return Wait::Arrived;
    }
    for (;;) {
        epoll_event events[3];
        const int n = ::epoll_wait(epollFd_, events, 3, MillisecondsUntil(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Wait::TimedOut;
        bool arrived = false, hung = false, woken = false;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == fd_) {
                if (events[i].events & EPOLLIN) arrived = true;
                if (events[i].events & (EPOLLHUP | EPOLLERR)) hung = true;
            } else if (events[i].data.fd == wakeFd_) {
                Drain(wakeFd_);
                woken = true;
            } else {
                hung = true;
            }
        }
        if (closed_.load()) return Wait::Closed;
        if (woken) return Wait::Woken;
        if (arrived) {
            int waiting = 0;
            ::ioctl(fd_, FIONREAD, &waiting);
            if (waiting > 0) return Wait::Arrived;
        }
        if (hung || hungUp_.load()) return Wait::HungUp;
        if (arrived) return Wait::HungUp;  // readable with nothing to read: end of stream
    }
}

void TFdCommHandle::Wake() { Signal(wakeFd_); }

void TFdCommHandle::Purge(bool transmit, bool receive) {
    Use use(*this);
    if (!use) return;
    if (receive) {
        std::lock_guard lock(preloadMutex_);
        preload_.clear();
    }
    if (kind_ == Kind::Serial) {
        if (transmit && receive) ::tcflush(fd_, TCIOFLUSH);
        else if (transmit) ::tcflush(fd_, TCOFLUSH);
        else if (receive) ::tcflush(fd_, TCIFLUSH);
        return;
    }
    if (receive) {
        char sink[4096];
        int waiting = 0;
        while (::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) {
            if (::recv(fd_, sink, std::min<int>(waiting, sizeof sink), MSG_DONTWAIT) <= 0) break;
        }
    }
}

std::uint32_t TFdCommHandle::ClearErrors() {
    Use use(*this);
    if (!use) return CE_MODE;
    if (kind_ != Kind::Serial) return 0;
    serial_icounter_struct c{};
    if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return 0;  // not a UART (pseudo-terminal)
    std::uint32_t bits = 0;
    if (countersRead_) {
        if (c.frame != frame_) bits |= CE_FRAME;
        if (c.overrun != overrun_) bits |= CE_OVERRUN;
        if (c.parity != parity_) bits |= CE_RXPARITY;
        if (c.brk != brk_) bits |= CE_BREAK;
        if (c.buf_overrun != bufOverrun_) bits |= CE_RXOVER;
    }
    frame_ = c.frame;
    overrun_ = c.overrun;
    parity_ = c.parity;
    brk_ = c.brk;
    bufOverrun_ = c.buf_overrun;
    countersRead_ = true;
    return bits;
}

void TFdCommHandle::HangUp() {
    std::lock_guard lock(mutex_);
    if (fdClosed_) return;
    hungUp_ = true;
    if (kind_ == Kind::Socket) ::shutdown(fd_, SHUT_RDWR);
    Signal(hangupFd_);
}

void TFdCommHandle::Close() {
    std::unique_lock lock(mutex_);
    if (fdClosed_) return;
    closedAfterHangUp_ = hungUp_.load();
    closed_ = true;
    hungUp_ = true;
    Signal(hangupFd_);
    idle_.wait(lock, [this] { return inUse_ == 0; });
    fdClosed_ = true;
    if (epollFd_ >= 0) ::close(epollFd_);
    epollFd_ = -1;
    ::close(fd_);
}

int TFdCommHandle::DuplicateForWatch() {
    std::lock_guard lock(mutex_);
    if (fdClosed_) return -1;
    return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
}

}  // namespace vandrex
