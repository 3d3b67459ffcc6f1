// vandrex-phone: the data phone from the command line, on the same protocol
// core and line layer as the program.
//
//   vandrex-phone (--dial NUMBER | --answer) [--line N] [--dir DIR] [--idle S]
//                 [--timeout S] [--chat TEXT | --file PATH | --picture PATH]...
//
// Dials NUMBER or answers the next call on line N (0, the default: the
// network line, where NUMBER is host[:port] and answering listens on the
// address of VANDREX_NETWORK_LINE; N >= 1: the N-th Hayes modem of
// VANDREX_MODEMS), sends the items in order, receives into DIR (files are
// accepted at once, pictures stored as Snapshot.jpg), prints one line per item
// and hangs up after S quiet seconds (default 3). The caller goes first; the
// answering side starts its items once the line has been quiet for a second,
// since the protocol carries one transfer at a time. --timeout bounds
// dialling, waiting for a call and the protocol's waits (default 60).
// Older forms stay: --line HOST:PORT or PORT to answer there on the network
// line, and a serial device path as NUMBER or line, opened raw.
// Exit status: 0 when every acknowledgement was right, 1 when one was not,
// 2 on any failure.

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <span>
#include <string>

#include "imaging/jpegfile.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "telephony/dataphone.h"
#include "telephony/dataphonestore.h"
#include "tools/vandrex-phone/phonestream.h"

using namespace vandrex;
using TKind = TDataPhoneEvent::TKind;

namespace {

constexpr std::int64_t kAnswerTurnMs = 1000;

struct TItem {
    enum class TType { Chat, File, Picture } type;
    std::string value;
};

struct TOptions {
    bool dial = false;
    bool answer = false;
    std::string number;
    TPhoneLineChoice line;
    std::string dir = ".";
    double idleSeconds = 3;
    int timeoutSeconds = 60;
    std::deque<TItem> items;
};

int Usage(const std::string& why) {
    std::cerr << "vandrex-phone: " << why << "\n"
              << "usage: vandrex-phone (--dial NUMBER | --answer) [--line N] [--dir DIR] [--idle S]\n"
              << "                     [--timeout S] [--chat TEXT | --file PATH | --picture PATH]...\n";
    return 2;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// UTF-8 of the command line to code points; broken sequences become U+FFFD.
std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= s.size() + (extra == 0)) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : b & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (n & 0x3F);
        }
        out += ok ? c : U'\uFFFD';
        i += ok ? extra + 1 : 1;
    }
    return out;
}

bool ParseArguments(int argc, char** argv, TOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--dial") {
            if (!value(o.number)) return false;
            o.dial = true;
        } else if (a == "--answer") {
            o.answer = true;
        } else if (a == "--line") {
            if (!value(v)) return false;
            try {
                o.line = ParsePhoneLine(v);
            } catch (const Exception& e) {
                error = e.what();
                return false;
            }
        } else if (a == "--dir") {
            if (!value(o.dir)) return false;
        } else if (a == "--idle" || a == "--timeout") {
            if (!value(v)) return false;
            char* end = nullptr;
            double d = std::strtod(v.c_str(), &end);
            if (!end || *end || d <= 0) {
                error = a + " needs a positive number";
                return false;
            }
            if (a == "--idle") o.idleSeconds = d;
            else o.timeoutSeconds = static_cast<int>(d + 0.999);
        } else if (a == "--chat" || a == "--file" || a == "--picture") {
            if (!value(v)) return false;
            auto type = a == "--chat" ? TItem::TType::Chat
                        : a == "--file" ? TItem::TType::File
                                        : TItem::TType::Picture;
            o.items.push_back({type, v});
        } else {
            error = "unknown argument " + a;
            return false;
        }
    }
    if (o.dial == o.answer) {
        error = "give exactly one of --dial and --answer";
        return false;
    }
    return true;
}

class TSession {
public:
    TSession(TOptions& options, TPhoneStream& stream, TDataPhoneStore& store)
        : o_(options), stream_(stream), phone_(store, NowMs) {
        phone_.SetTimeoutSeconds(o_.timeoutSeconds);
        phone_.SetConnected(true);
        lastActivity_ = NowMs();
        lastInput_ = lastActivity_;
    }

    int Run() {
        for (;;) {
            StartItems();
            Collect();
            // The line may end the call between two waits: a transfer cut
            // off there has failed as much as one cut off inside a wait.
            if (!stream_.Connected()) {
                Dropped("the other side hung up");
                break;
            }
            const auto now = NowMs();
            if (o_.items.empty() && !phone_.Busy() && out_.empty() && !phone_.FileAnnounced() &&
                now - lastActivity_ >= static_cast<std::int64_t>(o_.idleSeconds * 1000)) {
                phone_.SetConnected(false);
                Collect();
                stream_.HangUp();
                break;
            }
            if (!Wait()) break;
        }
        if (!o_.items.empty()) {
            std::cerr << "vandrex-phone: the call ended before every item was sent\n";
            failed_ = true;
        }
        return failed_ ? 2 : wrong_ ? 1 : 0;
    }

private:
    void StartItems() {
        while (!o_.items.empty() && !phone_.Busy() && stream_.Connected()) {
            // The answering side waits for its turn: a quiet line.
            if (o_.answer && NowMs() - lastInput_ < kAnswerTurnMs) return;
            if (phone_.FileAnnounced()) return;
            TItem item = o_.items.front();
            o_.items.pop_front();
            lastActivity_ = NowMs();
            if (item.type == TItem::TType::Chat) {
                phone_.SendChat(Utf8ToAnsi(item.value));
                continue;
            }
            std::unique_ptr<TDataPhoneFileSource> source;
            try {
                source = std::make_unique<TDataPhoneFileSource>(item.value);
            } catch (const Exception& e) {
                std::cerr << "vandrex-phone: " << e.what() << "\n";
                failed_ = true;
                continue;
            }
            if (item.type == TItem::TType::File) {
                auto name = std::filesystem::path(item.value).filename().string();
                auto size = source->Size();
                phone_.SendFile(dataphone::WireNameFromUnicode(DecodeUtf8(name)), size, std::move(source));
            } else {
                phone_.SendPicture(std::move(source));
            }
        }
    }

    // Takes the phone's output and events; accepts announced files at once.
    void Collect() {
        for (;;) {
            out_ += phone_.TakeOutput();
            auto events = phone_.TakeEvents();
            if (events.empty()) return;
            for (const auto& e : events) Report(e);
        }
    }

    void Report(const TDataPhoneEvent& e) {
        switch (e.Kind) {
            case TKind::ChatSent:
                std::cout << "sent chat " << AnsiToUtf8(e.Text) << std::endl;
                break;
            case TKind::ChatReceived:
                std::cout << "received chat " << AnsiToUtf8(e.Text) << std::endl;
                break;
            case TKind::FileSent:
                std::cout << "sent file " << AnsiToUtf8(e.Text) << " " << e.Bytes << std::endl;
                break;
            case TKind::PictureSent:
                std::cout << "sent picture " << e.Bytes << std::endl;
                break;
            case TKind::FileReceived:
                std::cout << "received file " << e.Text << " " << e.Bytes << std::endl;
                break;
            case TKind::PictureReceived:
                std::cout << "received picture " << e.Bytes << std::endl;
                break;
            case TKind::FileAnnounced:
                phone_.AcceptFile();
                break;
            case TKind::WrongAcknowledgement:
                wrong_ = true;
                std::cerr << "vandrex-phone: wrong acknowledgement \""
                          << AnsiToUtf8(e.Text.substr(0, e.Text.find_last_not_of("\r\n") + 1)) << "\"\n";
                break;
            case TKind::TransferFailed:
                failed_ = true;
                std::cerr << "vandrex-phone: " << AnsiToUtf8(e.Text) << "\n";
                break;
            default:
                break;
        }
    }

    // One wait for the stream or the next deadline; false when the call ended.
    bool Wait() {
        TCommHandle& stream = stream_.Stream();
        stream_.Serve();
        auto now = NowMs();
        std::int64_t wake = now + 250;  // the line's messages are served at least this often
        if (auto d = phone_.NextDeadline()) wake = std::min(wake, *d);
        if (o_.answer && !o_.items.empty() && !phone_.Busy() && lastInput_ + kAnswerTurnMs > now)
            wake = std::min(wake, lastInput_ + kAnswerTurnMs);
        const auto idleAt = lastActivity_ + static_cast<std::int64_t>(o_.idleSeconds * 1000);
        if (o_.items.empty() && !phone_.Busy() && idleAt > now) wake = std::min(wake, idleAt);
        const auto until = [](std::int64_t at) {
            return std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(std::max<std::int64_t>(0, at - NowMs()));
        };
        if (!out_.empty()) {
            // Wait for room only while nothing has come in: arrivals are read
            // between writes, so two sides writing at once never stall.
            const bool arrived = stream.BytesWaiting() > 0;
            auto r = stream.Write(out_.data(), out_.size(),
                                  arrived ? std::chrono::steady_clock::now() : until(std::min(wake, now + 50)));
            if (r.status == TCommHandle::Status::Ok) {
                out_.erase(0, r.bytes);
                lastActivity_ = NowMs();
            } else if (r.status != TCommHandle::Status::TimedOut) {
                return Dropped(r.status == TCommHandle::Status::Failed ? std::strerror(r.error)
                                                                       : "the other side hung up");
            }
        }
        // With output still waiting, only take what has already arrived.
        const auto readBy = out_.empty() ? until(wake) : std::chrono::steady_clock::now();
        if (out_.empty() || stream.BytesWaiting() > 0) {
            char buffer[65536];
            auto r = stream.Read(buffer, sizeof buffer, readBy);
            if (r.status == TCommHandle::Status::Ok) {
                lastActivity_ = lastInput_ = NowMs();
                phone_.Feed(std::string_view(buffer, r.bytes));
            } else if (r.status != TCommHandle::Status::TimedOut) {
                return Dropped(r.status == TCommHandle::Status::Failed ? std::strerror(r.error)
                                                                       : "the other side hung up");
            }
        }
        if (!stream_.Connected()) return Dropped("the other side hung up");
        phone_.Tick();
        return true;
    }

    bool Dropped(const std::string& why) {
        bool busy = phone_.Busy() || !out_.empty();
        phone_.SetConnected(false);
        Collect();
        stream_.HangUp();
        if (busy) {
            failed_ = true;
            std::cerr << "vandrex-phone: " << why << "\n";
        }
        return false;
    }

    TOptions& o_;
    TPhoneStream& stream_;
    TDataPhone phone_;
    std::string out_;
    std::int64_t lastActivity_ = 0;
    std::int64_t lastInput_ = 0;
    bool failed_ = false;
    bool wrong_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    TOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, options, error)) return Usage(error);
    // The line layer delivers its messages through the event loop.
    QCoreApplication application(argc, argv);
    try {
        TDataPhoneStore store(options.dir);
        store.SetPictureCheck([](std::string_view jpeg) {
            DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()));
        });
        TPhoneStream stream;
        if (options.dial) {
            stream.Dial(options.line, options.number, options.timeoutSeconds);
        } else {
            stream.Answer(options.line, options.timeoutSeconds,
                          [] { std::cerr << "vandrex-phone: waiting for a call" << std::endl; });
        }
        TSession session(options, stream, store);
        return session.Run();
    } catch (const std::exception& e) {
        std::cerr << "vandrex-phone: " << e.what() << "\n";
        return 2;
    }
}
