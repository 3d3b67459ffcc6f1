#pragma once
// A TCP port on loopback that nobody listens on right now, for tests and
// benchmarks that start listeners of their own.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

namespace vandrex::test {

inline int AnyFreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A port handed out once is not handed out again: two listeners asked for
// in a row must not get the same one.
inline int FreePort() {
    static std::set<int> given;
    for (;;) {
        const int port = AnyFreePort();
        if (given.insert(port).second) return port;
    }
}

}  // namespace vandrex::test
