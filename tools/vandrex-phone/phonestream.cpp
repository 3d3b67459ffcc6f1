#include "tools/vandrex-phone/phonestream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/exceptions.h"

namespace vandrex {

namespace {

[[noreturn]] void Fail(const std::string& what, int err) {
    throw EInOutError(what + ": " + std::strerror(err));
}

bool IsPath(const std::string& s) { return !s.empty() && (s[0] == '/' || s[0] == '.'); }

void SplitAddress(const std::string& address, std::string& host, std::string& port) {
    auto colon = address.rfind(':');
    if (colon == std::string::npos) {
        host = "127.0.0.1";
        port = address;
    } else {
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    }
    if (host.empty()) host = "127.0.0.1";
}

addrinfo* Resolve(const std::string& address, bool passive) {
    std::string host, port;
    SplitAddress(address, host, port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (passive) hints.ai_flags = AI_PASSIVE;
    addrinfo* result = nullptr;
    int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &result);
    if (rc != 0) throw EInOutError("Cannot find \"" + address + "\": " + gai_strerror(rc));
    return result;
}

void Tune(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

TPhoneStream::~TPhoneStream() { HangUp(); }

void TPhoneStream::HangUp() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TPhoneStream::OpenSerial(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) Fail("Cannot open \"" + path + "\"", errno);
    termios tio{};
    if (tcgetattr(fd_, &tio) == 0) {
        // Eight clean bits both ways: no echo, no line editing, no translation.
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(fd_, TCSANOW, &tio);
    }
}

void TPhoneStream::Dial(const std::string& address, int timeoutSeconds) {
    HangUp();
    if (IsPath(address)) return OpenSerial(address);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int lastError = 0;
    do {
        addrinfo* list = Resolve(address, false);
        for (addrinfo* a = list; a && fd_ < 0; a = a->ai_next) {
            int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0) continue;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
                fd_ = fd;
            } else {
                lastError = errno;
                ::close(fd);
            }
        }
        freeaddrinfo(list);
        if (fd_ >= 0) {
            Tune(fd_);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    Fail("Cannot reach \"" + address + "\"", lastError);
}

void TPhoneStream::Answer(const std::string& line, int timeoutSeconds) {
    HangUp();
    if (IsPath(line)) return OpenSerial(line);
    addrinfo* list = Resolve(line, true);
    int listener = -1;
    int lastError = 0;
    for (addrinfo* a = list; a && listener < 0; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 1) == 0) {
            listener = fd;
        } else {
            lastError = errno;
            ::close(fd);
        }
    }
    freeaddrinfo(list);
    if (listener < 0) Fail("Cannot listen on \"" + line + "\"", lastError);
    pollfd p{listener, POLLIN, 0};
    int ready = ::poll(&p, 1, timeoutSeconds * 1000);
    if (ready <= 0) {
        ::close(listener);
        throw EInOutError("No call on \"" + line + "\" within " + std::to_string(timeoutSeconds) + " s");
    }
    fd_ = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    int err = errno;
    ::close(listener);
    if (fd_ < 0) Fail("Cannot take the call on \"" + line + "\"", err);
    Tune(fd_);
}

}  // namespace vandrex
