#pragma once
// Doubles for driving TDataPhone without a stream: a hand-set clock, a sink
// that keeps items in memory, a source over a string, and two phones joined
// back to back.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "telephony/dataphone.h"

namespace vandrex::testing {

struct TManualClock {
    std::int64_t now = 1000;
    TDataPhone::TClock Clock() {
        return [this] { return now; };
    }
};

class TMemorySink : public TTransferSink {
public:
    void Begin(TTransferKind kind, const std::string& peerName, std::int64_t announced) override {
        ++begun;
        if (failBegin) throw EInOutError("Cannot create \"" + peerName + "\": Permission denied");
        open = true;
        current.clear();
        currentName = kind == TTransferKind::Picture ? "Snapshot.jpg" : peerName;
        lastAnnounced = announced;
    }
    void Append(std::string_view bytes) override {
        if (failAppend) throw EInOutError("Cannot write: No space left on device");
        current.append(bytes);
    }
    std::string Commit() override {
        open = false;
        if (failCommit) throw EInvalidGraphic("bad picture");
        stored[currentName] = current;
        ++commits;
        return currentName;
    }
    void Abort() noexcept override {
        if (open) ++aborts;
        open = false;
        current.clear();
    }

    std::map<std::string, std::string> stored;
    std::string current;
    std::string currentName;
    std::int64_t lastAnnounced = -1;
    bool open = false;
    bool failBegin = false;
    bool failAppend = false;
    bool failCommit = false;
    int begun = 0;
    int commits = 0;
    int aborts = 0;
};

class TStringSource : public TTransferSource {
public:
    explicit TStringSource(std::string data, bool* destroyed = nullptr)
        : data_(std::move(data)), destroyed_(destroyed) {}
    ~TStringSource() override {
        if (destroyed_) *destroyed_ = true;
    }
    std::size_t Read(char* buffer, std::size_t max) override {
        std::size_t n = std::min(max, data_.size() - pos_);
        data_.copy(buffer, n, pos_);
        pos_ += n;
        return n;
    }

private:
    std::string data_;
    std::size_t pos_ = 0;
    bool* destroyed_;
};

inline std::unique_ptr<TTransferSource> Source(std::string data, bool* destroyed = nullptr) {
    return std::make_unique<TStringSource>(std::move(data), destroyed);
}

// Deterministic bytes of every value.
inline std::string Pattern(std::size_t size, unsigned seed = 7) {
    std::string s(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

// Two phones on one call. Pump moves bytes both ways, optionally in pieces
// of `piece` bytes, until neither has anything to say; every byte that
// travels is also recorded per direction.
struct TPhonePair {
    TManualClock clock;
    TMemorySink sinkA, sinkB;
    TDataPhone a{sinkA, clock.Clock()};
    TDataPhone b{sinkB, clock.Clock()};
    std::string aToB, bToA;
    std::size_t piece = 0;

    TPhonePair() {
        a.SetConnected(true);
        b.SetConnected(true);
    }

    static void Deliver(TDataPhone& to, const std::string& bytes, std::size_t piece) {
        if (piece == 0) {
            to.Feed(bytes);
            return;
        }
        for (std::size_t i = 0; i < bytes.size(); i += piece) to.Feed(std::string_view(bytes).substr(i, piece));
    }

    void Pump() {
        for (int round = 0; round < 1000000; ++round) {
            std::string fromA = a.TakeOutput();
            std::string fromB = b.TakeOutput();
            if (fromA.empty() && fromB.empty()) return;
            aToB += fromA;
            bToA += fromB;
            Deliver(b, fromA, piece);
            Deliver(a, fromB, piece);
        }
    }

    // Lets quiet pass so chat lines and pictures without a closing block end.
    void Quiet(std::int64_t ms) {
        clock.now += ms;
        a.Tick();
        b.Tick();
        Pump();
    }
};

inline std::vector<std::string> Texts(const std::vector<TDataPhoneEvent>& events,
                                      TDataPhoneEvent::TKind kind) {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.Kind == kind) out.push_back(e.Text);
    return out;
}

inline int Count(const std::vector<TDataPhoneEvent>& events, TDataPhoneEvent::TKind kind) {
    int n = 0;
    for (const auto& e : events) n += e.Kind == kind;
    return n;
}

}  // namespace vandrex::testing
