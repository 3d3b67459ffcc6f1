#include "tools/vandrex-phone/phonestream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <thread>

#include "platform/exceptions.h"
#include "platform/telephony/fdcommhandle.h"
#include "platform/telephony/linesettings.h"
#include "platform/telephony/tapi.h"

namespace vandrex {

namespace {

using Clock = std::chrono::steady_clock;

struct TMessage {
    DWORD device, msg;
    DWORD_PTR p1, p2;
};

// The line layer calls back with a plain function; one call per process.
std::deque<TMessage>* gMessages = nullptr;

void LineCallback(DWORD hDevice, DWORD dwMsg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR) {
    if (gMessages) gMessages->push_back({hDevice, dwMsg, p1, p2});
}

bool IsPath(const std::string& s) { return !s.empty() && (s[0] == '/' || s[0] == '.'); }

bool AllDigits(const std::string& s) {
    return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string LineError(LONG rc) {
    switch (rc) {
    case LINEERR_ALLOCATED:
    case LINEERR_RESOURCEUNAVAIL:
        return "the line is in use by another program";
    case LINEERR_NODEVICE:
    case LINEERR_BADDEVICEID:
        return "no such line";
    case LINEERR_INCOMPATIBLEAPIVERSION:
        return "the line cannot be used";
    case LINEERR_CALLUNAVAIL:
        return "the line is busy with another call";
    case LINEERR_INVALADDRESS:
        return "bad number";
    default: {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(rc));
        return std::string("line error ") + code;
    }
    }
}

std::string DisconnectReason(DWORD mode) {
    switch (mode) {
    case LINEDISCONNECTMODE_BUSY: return "the line is busy";
    case LINEDISCONNECTMODE_NOANSWER: return "no answer";
    case LINEDISCONNECTMODE_BADADDRESS: return "bad number";
    case LINEDISCONNECTMODE_UNREACHABLE: return "nobody answers there";
    case LINEDISCONNECTMODE_NODIALTONE: return "no dial tone";
    case LINEDISCONNECTMODE_REJECT: return "the call was rejected";
    default: return "the other side hung up";
    }
}

// The network line listens only while open; a port another program holds
// would leave an answering copy waiting for calls that go elsewhere.
void CheckCanListen(const TNetworkLineSettings& net) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray host = net.address.toUtf8();
    const std::string where = net.address.toStdString() + ":" + std::to_string(net.port);
    if (::getaddrinfo(host.isEmpty() ? nullptr : host.constData(), std::to_string(net.port).c_str(), &hints,
                      &found) != 0)
        throw EInOutError("Cannot listen on \"" + where + "\": unknown address");
    int error = 0;
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        const bool ok = ::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 1) == 0;
        if (!ok) error = errno;
        ::close(fd);
        if (ok) {
            error = 0;
            break;
        }
    }
    ::freeaddrinfo(found);
    if (error) throw EInOutError("Cannot listen on \"" + where + "\": " + std::strerror(error));
}

}  // namespace

TPhoneLineChoice ParsePhoneLine(const std::string& text) {
    TPhoneLineChoice c;
    if (IsPath(text)) {
        c.kind = TPhoneLineChoice::TKind::Serial;
        c.address = text;
    } else if (AllDigits(text) && std::stol(text) < 1024) {
        c.line = static_cast<int>(std::stol(text));
    } else if (AllDigits(text) ||
               (text.find(':') != std::string::npos && AllDigits(text.substr(text.rfind(':') + 1)))) {
        c.kind = TPhoneLineChoice::TKind::NetworkAt;
        c.address = text;
    } else {
        throw EConvertError("\"" + text + "\" is not a line: give 0 for the network line or N for the N-th modem");
    }
    return c;
}

struct TPhoneStream::TState {
    std::deque<TMessage> messages;
    HLINEAPP app = 0;
    HLINE line = 0;
    HCALL call = 0;
    bool disconnected = false;
    DWORD mode = 0;
    std::string name;  // the line, for messages
};

TPhoneStream::TPhoneStream() : state_(std::make_unique<TState>()) {}

TPhoneStream::~TPhoneStream() { HangUp(); }

void TPhoneStream::OpenSerial(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EInOutError("Cannot open \"" + path + "\": " + std::strerror(errno));
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        // Eight clean bits both ways: no echo, no line editing, no translation.
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    stream_ = std::make_shared<TFdCommHandle>(fd, TFdCommHandle::Kind::Serial);
}

void TPhoneStream::OpenLine(const TPhoneLineChoice& choice, bool dialling) {
    if (!QCoreApplication::instance()) throw EInOutError("The line needs the application's event loop");
    const bool answerOnNetwork =
        !dialling && (choice.kind == TPhoneLineChoice::TKind::NetworkAt || choice.line == 0);
    // Only an answering network line needs its port; any other use of the
    // line layer must not take it from the program or another copy.
    if (choice.kind == TPhoneLineChoice::TKind::NetworkAt)
        qputenv("VANDREX_NETWORK_LINE",
                dialling ? QByteArray("127.0.0.1:0") : QByteArray::fromStdString(choice.address));
    else if (!answerOnNetwork && NetworkLineSettings().enabled)
        qputenv("VANDREX_NETWORK_LINE", "127.0.0.1:0");
    const TNetworkLineSettings net = NetworkLineSettings();
    DWORD device = 0;
    if (choice.line == 0) {
        if (!net.enabled) throw EInOutError("The network line is off (VANDREX_NETWORK_LINE=off)");
        state_->name = "the network line";
    } else {
        device = static_cast<DWORD>(choice.line - (net.enabled ? 0 : 1));
        state_->name = "modem " + std::to_string(choice.line);
    }
    if (answerOnNetwork) CheckCanListen(net);

    gMessages = &state_->messages;
    DWORD count = 0;
    LONG rc = lineInitialize(&state_->app, nullptr, LineCallback, QStringLiteral("vandrex-phone"), &count);
    if (rc != 0) throw EInOutError("Cannot start the line layer: " + LineError(rc));
    if (device >= count) {
        const DWORD modems = count - (net.enabled ? 1 : 0);
        throw EInOutError("There is no " + state_->name + ": " + std::to_string(modems) +
                          " modem(s) found (VANDREX_MODEMS)");
    }
    DWORD version = 0;
    LINEEXTENSIONID extension;
    rc = lineNegotiateAPIVersion(state_->app, device, TAPI_VERSION_1_4, TAPI_VERSION_2_0, &version, &extension);
    if (rc == 0)
        rc = lineOpen(state_->app, device, &state_->line, version, 0, 0, LINECALLPRIVILEGE_OWNER,
                      LINEMEDIAMODE_DATAMODEM, nullptr);
    if (rc != 0) throw EInOutError("Cannot open " + state_->name + ": " + LineError(rc));
}

void TPhoneStream::WaitForMessage(int ms) {
    if (!state_->messages.empty()) return;
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(std::max(ms, 0));
    while (state_->messages.empty() && timer.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TPhoneStream::TakeStream() {
    const LONG rc = lineGetID(state_->call, QStringLiteral("comm/datamodem"), &stream_);
    if (rc != 0 || !stream_) throw EInOutError("No data stream on " + state_->name + ": " + LineError(rc));
}

void TPhoneStream::Dial(const TPhoneLineChoice& line, const std::string& number, int timeoutSeconds) {
    HangUp();
    if (line.kind == TPhoneLineChoice::TKind::Serial || IsPath(number))
        return OpenSerial(IsPath(number) ? number : line.address);
    OpenLine(line, true);
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    const QString destination = QString::fromStdString(number);
    std::string reason = "no answer";
    for (;;) {
        TLineRecord<LINECALLPARAMS, 176> params;
        params->dwBearerMode = LINEBEARERMODE_VOICE;
        params->dwMediaMode = LINEMEDIAMODE_DATAMODEM;
        HCALL call = 0;
        const LONG request = lineMakeCall(state_->line, &call, &destination, 0, params.get());
        if (request < 0)
            throw EInOutError("Cannot reach \"" + number + "\" on " + state_->name + ": " + LineError(request));
        state_->call = call;
        bool ended = false;
        DWORD mode = 0;
        while (!ended) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                throw EInOutError("Cannot reach \"" + number + "\" on " + state_->name + ": " + reason +
                                  " within " + std::to_string(timeoutSeconds) + " s");
            }
            WaitForMessage(static_cast<int>(std::min<long long>(left, 200)));
            while (!state_->messages.empty()) {
                const TMessage m = state_->messages.front();
                state_->messages.pop_front();
                if (m.msg == LINE_REPLY && static_cast<LONG>(m.p1) == request &&
                    static_cast<LONG>(static_cast<DWORD>(m.p2)) < 0)
                    throw EInOutError("Cannot reach \"" + number + "\" on " + state_->name + ": " +
                                      LineError(static_cast<LONG>(static_cast<DWORD>(m.p2))));
                if (m.msg != LINE_CALLSTATE || m.device != call) continue;
                if (m.p1 == LINECALLSTATE_CONNECTED) {
                    TakeStream();
                    return;
                }
                if (m.p1 == LINECALLSTATE_DISCONNECTED || m.p1 == LINECALLSTATE_IDLE) {
                    ended = true;
                    mode = m.p1 == LINECALLSTATE_IDLE ? LINEDISCONNECTMODE_NORMAL : static_cast<DWORD>(m.p2);
                }
            }
        }
        lineDeallocateCall(call);
        state_->call = 0;
        reason = DisconnectReason(mode);
        // Nobody there yet: the far end may still be starting.
        if (mode != LINEDISCONNECTMODE_UNREACHABLE && mode != LINEDISCONNECTMODE_BUSY)
            throw EInOutError("Cannot reach \"" + number + "\" on " + state_->name + ": " + reason);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void TPhoneStream::Answer(const TPhoneLineChoice& line, int timeoutSeconds, const std::function<void()>& ready) {
    HangUp();
    if (line.kind == TPhoneLineChoice::TKind::Serial) {
        OpenSerial(line.address);
        if (ready) ready();
        return;
    }
    OpenLine(line, false);
    if (ready) ready();
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    HCALL offered = 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            throw EInOutError("No call on " + state_->name + " within " + std::to_string(timeoutSeconds) + " s");
        WaitForMessage(static_cast<int>(std::min<long long>(left, 200)));
        while (!state_->messages.empty()) {
            const TMessage m = state_->messages.front();
            state_->messages.pop_front();
            if (m.msg != LINE_CALLSTATE) continue;
            if (m.p1 == LINECALLSTATE_OFFERING && offered == 0) {
                offered = m.device;
                state_->call = offered;
                const LONG rc = lineAnswer(offered, nullptr, 0);
                if (rc < 0) throw EInOutError("Cannot answer on " + state_->name + ": " + LineError(rc));
            } else if (m.device == offered && m.p1 == LINECALLSTATE_CONNECTED) {
                TakeStream();
                return;
            } else if (m.device == offered &&
                       (m.p1 == LINECALLSTATE_DISCONNECTED || m.p1 == LINECALLSTATE_IDLE)) {
                // The caller gave up before the answer: wait for the next call.
                lineDeallocateCall(offered);
                offered = 0;
                state_->call = 0;
            }
        }
    }
}

void TPhoneStream::Serve() {
    if (state_->app == 0) return;
    QCoreApplication::processEvents();
    while (!state_->messages.empty()) {
        const TMessage m = state_->messages.front();
        state_->messages.pop_front();
        if (m.msg == LINE_CALLSTATE && m.device == state_->call &&
            (m.p1 == LINECALLSTATE_DISCONNECTED || m.p1 == LINECALLSTATE_IDLE)) {
            state_->disconnected = true;
            state_->mode = static_cast<DWORD>(m.p2);
        }
    }
}

bool TPhoneStream::Connected() {
    if (!stream_ || stream_->IsClosed()) return false;
    if ((stream_->IsHungUp() || state_->disconnected) && stream_->BytesWaiting() <= 0) return false;
    return true;
}

void TPhoneStream::HangUp() {
    if (state_->app == 0) {
        if (stream_) stream_->Close();
        stream_.reset();
        return;
    }
    stream_.reset();
    if (state_->call != 0) {
        const HCALL call = state_->call;
        const LONG request = lineDrop(call, nullptr, 0);
        // A modem takes a moment to go on hook; the line is closed after it.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        bool done = request < 0;
        while (!done && Clock::now() < deadline) {
            WaitForMessage(100);
            while (!state_->messages.empty()) {
                const TMessage m = state_->messages.front();
                state_->messages.pop_front();
                if ((m.msg == LINE_REPLY && static_cast<LONG>(m.p1) == request) ||
                    (m.msg == LINE_CALLSTATE && m.device == call && m.p1 == LINECALLSTATE_IDLE))
                    done = true;
            }
        }
        lineDeallocateCall(call);
        state_->call = 0;
    }
    if (state_->line != 0) lineClose(state_->line);
    lineShutdown(state_->app);
    state_->line = 0;
    state_->app = 0;
    gMessages = nullptr;
}

}  // namespace vandrex
