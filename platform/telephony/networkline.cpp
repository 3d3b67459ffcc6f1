#include "platform/telephony/networkline.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/telephony/fdcommhandle.h"

namespace vandrex {

namespace {

constexpr int kConnectTimeoutMs = 30000;

int ListenOn(const QString& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray host = address.toUtf8();
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(host.isEmpty() ? nullptr : host.constData(), service.constData(), &hints,
                      &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

void NoDelay(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

TNetworkLine::TNetworkLine(const TNetworkLineSettings& settings) : settings_(settings) {}

TNetworkLine::~TNetworkLine() { Close(); }

QString TNetworkLine::Name() const { return QStringLiteral("Vandrex network line"); }

void TNetworkLine::FillCaps(LINEDEVCAPS& caps) const {
    caps.dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA;
    caps.dwMediaModes = LINEMEDIAMODE_DATAMODEM;
    caps.dwLineFeatures = LINEFEATURE_MAKECALL;
    caps.dwMaxRate = 0;
    caps.dwNumAddresses = 1;
    caps.dwMaxNumActiveCalls = 1;
}

LONG TNetworkLine::Open(HLINE, TLineSink* sink, std::function<HCALL()> newCall) {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return LINEERR_ALLOCATED;
    sink_ = sink;
    newCall_ = std::move(newCall);
    stop_ = false;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // A copy whose port is taken still dials out; it only cannot be called.
    listenFd_ = ListenOn(settings_.address, settings_.port);
    listeningPort_ = 0;
    if (listenFd_ >= 0) {
        sockaddr_storage sa{};
        socklen_t len = sizeof sa;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
        listeningPort_ = sa.ss_family == AF_INET6
                             ? ntohs(reinterpret_cast<sockaddr_in6*>(&sa)->sin6_port)
                             : ntohs(reinterpret_cast<sockaddr_in*>(&sa)->sin_port);
    }
    thread_ = std::thread([this] { Run(); });
    return 0;
}

int TNetworkLine::ListeningPort() const {
    std::lock_guard lock(mutex_);
    return listeningPort_;
}

void TNetworkLine::Close() {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        stop_ = true;
    }
    Wake();
    thread_.join();
    std::lock_guard lock(mutex_);
    if (current_.phase != Phase::Gone) {
        if (current_.stream) {
            current_.stream->HangUp();
            current_.stream->Close();
        }
        CloseCallFds(current_);
        current_ = Call{};
    }
    commands_.clear();
    finished_.clear();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    listeningPort_ = 0;
    ::close(wakeFd_);
    wakeFd_ = -1;
    sink_ = nullptr;
}

bool TNetworkLine::HasCall(HCALL call) const {
    std::lock_guard lock(mutex_);
    return (current_.phase != Phase::Gone && current_.handle == call) || finished_.count(call);
}

bool TNetworkLine::Busy() const {
    std::lock_guard lock(mutex_);
    return current_.phase != Phase::Gone;
}

LONG TNetworkLine::MakeCall(HCALL call, const QString& destination, bool passThrough,
                            DWORD request) {
    if (passThrough) return LINEERR_BEARERMODEUNAVAIL;
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return LINEERR_INVALLINEHANDLE;
    if (current_.phase != Phase::Gone) return LINEERR_CALLUNAVAIL;
    Command c{Command::Dial, call, QString(), 0, request};
    if (!ParseNetworkAddress(destination, settings_.port, &c.host, &c.port)) c.host.clear();
    current_ = Call{};
    current_.handle = call;
    current_.phase = Phase::Connecting;
    commands_.push_back(c);
    ::eventfd_write(wakeFd_, 1);
    return static_cast<LONG>(request);
}

LONG TNetworkLine::Answer(HCALL call, DWORD request) {
    std::lock_guard lock(mutex_);
    if (!(current_.handle == call && current_.phase != Phase::Gone)) return LINEERR_INVALCALLHANDLE;
    commands_.push_back({Command::Answer, call, QString(), 0, request});
    ::eventfd_write(wakeFd_, 1);
    return static_cast<LONG>(request);
}

LONG TNetworkLine::Drop(HCALL call, DWORD request) {
    std::lock_guard lock(mutex_);
    if (!(current_.handle == call && current_.phase != Phase::Gone) && !finished_.count(call))
        return LINEERR_INVALCALLHANDLE;
    commands_.push_back({Command::Drop, call, QString(), 0, request});
    ::eventfd_write(wakeFd_, 1);
    return static_cast<LONG>(request);
}

void TNetworkLine::Deallocate(HCALL call) {
    std::lock_guard lock(mutex_);
    finished_.erase(call);
}

TCommHandlePtr TNetworkLine::Stream(HCALL call) const {
    std::lock_guard lock(mutex_);
    if (current_.handle == call && current_.phase == Phase::Connected) return current_.stream;
    return nullptr;
}

void TNetworkLine::Wake() {
    std::lock_guard lock(mutex_);
    if (wakeFd_ >= 0) ::eventfd_write(wakeFd_, 1);
}

void TNetworkLine::CloseCallFds(Call& call) {
    if (call.fd >= 0) ::close(call.fd);
    if (call.watchFd >= 0) ::close(call.watchFd);
    call.fd = call.watchFd = -1;
}

void TNetworkLine::EndCall(Call& call, DWORD state, DWORD mode) {
    if (call.stream) {
        call.stream->HangUp();
        call.stream->Close();
        call.stream.reset();
    }
    CloseCallFds(call);
    finished_[call.handle] = state;
    sink_->CallState(call.handle, state, mode);
    call = Call{};
}

void TNetworkLine::Connected(Call& call) {
    NoDelay(call.fd);
    call.stream = std::make_shared<TFdCommHandle>(call.fd, TFdCommHandle::Kind::Socket);
    call.fd = -1;
    call.watchFd = call.stream->DuplicateForWatch();
    call.phase = Phase::Connected;
    sink_->CallState(call.handle, LINECALLSTATE_CONNECTED);
}

void TNetworkLine::StartDial(const Command& command) {
    sink_->Reply(command.request, 0);
    if (command.host.isEmpty()) {
        EndCall(current_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BADADDRESS);
        return;
    }
    sink_->CallState(current_.handle, LINECALLSTATE_DIALING);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray host = command.host.toUtf8();
    const QByteArray service = QByteArray::number(command.port);
    // Resolving may take a while; the line stays usable meanwhile.
    mutex_.unlock();
    const int rc = ::getaddrinfo(host.constData(), service.constData(), &hints, &found);
    mutex_.lock();
    if (current_.handle != command.call || current_.phase != Phase::Connecting) {
        if (rc == 0) ::freeaddrinfo(found);
        return;  // dropped meanwhile
    }
    int fd = -1;
    if (rc == 0) {
        for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
            fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (fd < 0) continue;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
                ::close(fd);
                fd = -1;
            }
        }
        ::freeaddrinfo(found);
    }
    if (fd < 0) {
        EndCall(current_, LINECALLSTATE_DISCONNECTED,
                rc == 0 ? LINEDISCONNECTMODE_UNREACHABLE : LINEDISCONNECTMODE_BADADDRESS);
        return;
    }
    current_.fd = fd;
    current_.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
}

void TNetworkLine::Execute(const Command& command) {
    switch (command.kind) {
    case Command::Dial:
        if (current_.handle == command.call && current_.phase == Phase::Connecting) StartDial(command);
        else sink_->Reply(command.request, LINEERR_INVALCALLSTATE);
        break;
    case Command::Answer:
        if (current_.handle == command.call && current_.phase == Phase::Offering) {
            sink_->Reply(command.request, 0);
            Connected(current_);
        } else {
            sink_->Reply(command.request, LINEERR_INVALCALLSTATE);
        }
        break;
    case Command::Drop:
        sink_->Reply(command.request, 0);
        if (current_.handle == command.call && current_.phase != Phase::Gone) {
            EndCall(current_, LINECALLSTATE_IDLE, LINEDISCONNECTMODE_NORMAL);
        } else if (finished_.count(command.call)) {
            finished_[command.call] = LINECALLSTATE_IDLE;
            sink_->CallState(command.call, LINECALLSTATE_IDLE);
        }
        break;
    }
}

void TNetworkLine::Accept() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (current_.phase != Phase::Gone) {
            ::close(fd);  // one call per line: the caller sees it busy
            continue;
        }
        current_ = Call{};
        current_.handle = newCall_();
        current_.phase = Phase::Offering;
        current_.fd = fd;
        sink_->CallState(current_.handle, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_OWNER);
    }
}

void TNetworkLine::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop_) return;
        pollfd fds[3];
        int n = 0;
        fds[n++] = {wakeFd_, POLLIN, 0};
        const int listenAt = listenFd_ >= 0 ? n : -1;
        if (listenFd_ >= 0) fds[n++] = {listenFd_, POLLIN, 0};
        int callAt = -1;
        int timeout = -1;
        const auto now = std::chrono::steady_clock::now();
        auto until = [&](std::chrono::steady_clock::time_point t) {
            return std::max<int>(0, std::chrono::ceil<std::chrono::milliseconds>(t - now).count());
        };
        switch (current_.phase) {
        case Phase::Connecting:
            if (current_.fd >= 0) {
                callAt = n;
                fds[n++] = {current_.fd, POLLOUT, 0};
                timeout = until(current_.deadline);
            }
            break;
        case Phase::Offering:
            callAt = n;
            fds[n++] = {current_.fd, POLLRDHUP, 0};
            break;
        case Phase::Connected:
            if (current_.draining) {
                timeout = 20;
            } else if (current_.watchFd >= 0) {
                callAt = n;
                fds[n++] = {current_.watchFd, POLLRDHUP, 0};
            }
            break;
        case Phase::Gone:
            break;
        }
        lock.unlock();
        const int ready = ::poll(fds, n, timeout);
        lock.lock();
        if (stop_) return;
        if (ready < 0 && errno != EINTR) return;
        if (fds[0].revents) {
            eventfd_t v;
            ::eventfd_read(wakeFd_, &v);
        }
        while (!commands_.empty()) {
            const Command c = commands_.front();
            commands_.pop_front();
            Execute(c);
            if (stop_) return;
        }
        if (listenAt >= 0 && fds[listenAt].revents) Accept();
        const auto t = std::chrono::steady_clock::now();
        switch (current_.phase) {
        case Phase::Connecting:
            if (current_.fd < 0) break;
            if (callAt >= 0 && fds[callAt].fd == current_.fd && fds[callAt].revents) {
                int error = 0;
                socklen_t len = sizeof error;
                ::getsockopt(current_.fd, SOL_SOCKET, SO_ERROR, &error, &len);
                if (error == 0) Connected(current_);
                else EndCall(current_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNREACHABLE);
            } else if (t >= current_.deadline) {
                EndCall(current_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER);
            }
            break;
        case Phase::Offering:
            if (callAt >= 0 && fds[callAt].fd == current_.fd && fds[callAt].revents)
                EndCall(current_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
            break;
        case Phase::Connected:
            if (!current_.draining && callAt >= 0 && fds[callAt].fd == current_.watchFd &&
                fds[callAt].revents) {
                // The far end hung up: give the last bytes a moment to be read.
                current_.draining = true;
                current_.deadline = t + std::chrono::milliseconds(kDrainGraceMs);
            }
            if (current_.draining &&
                (t >= current_.deadline || current_.stream->IsClosed() ||
                 current_.stream->BytesWaiting() <= 0))
                EndCall(current_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
            break;
        case Phase::Gone:
            break;
        }
    }
}

void TNetworkLine::ConfigDialog(QWidget* owner) {
    TNetworkLineDialog dialog(owner);
    if (RunLineDialog(dialog)) {
        dialog.Store();
        std::lock_guard lock(mutex_);
        settings_ = NetworkLineSettings();
    }
}

}  // namespace vandrex
