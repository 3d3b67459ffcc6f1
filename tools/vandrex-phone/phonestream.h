#pragma once
// TPhoneStream: the byte stream of one data call for vandrex-phone. Today it
// is a connected TCP socket (the network line) or a serial device opened raw
// (a modem already in data mode, or a pseudo-terminal); the same read, write
// and wait calls can later sit on the telephony line's stream.

#include <string>

namespace vandrex {

class TPhoneStream {
public:
    TPhoneStream() = default;
    ~TPhoneStream();
    TPhoneStream(const TPhoneStream&) = delete;
    TPhoneStream& operator=(const TPhoneStream&) = delete;

    // "HOST:PORT" connects (retrying for up to timeoutSeconds while nobody
    // listens yet); a path opens that serial device. Throws EInOutError.
    void Dial(const std::string& address, int timeoutSeconds);
    // "HOST:PORT" or "PORT" listens and takes the next call; a path opens that
    // serial device. Throws EInOutError.
    void Answer(const std::string& line, int timeoutSeconds);

    int Handle() const { return fd_; }
    bool Connected() const { return fd_ >= 0; }
    void HangUp();

private:
    void OpenSerial(const std::string& path);

    int fd_ = -1;
};

}  // namespace vandrex
