#pragma once
// An in-process stand-in for the desktop that running copies share: each
// copy gets an endpoint with its own title and hooks, and a send delivers
// the block to the other endpoint's hooks at once, inside the send, as a
// synchronous window message does. Several main windows in one test process
// then behave as several running copies.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "ipc/messagetransport.h"

namespace vandrex::testing {

class LoopbackDesktop {
public:
    class Endpoint final : public TMessageTransport {
    public:
        Endpoint(LoopbackDesktop& desktop, QString id, QString title)
            : desktop_(desktop), id_(std::move(id)), title_(std::move(title)) {}
        ~Endpoint() override { desktop_.remove(this); }

        TWindowHandle FindWindow(const QString& className, const QString& windowName) override {
            return desktop_.find(className, windowName);
        }
        bool SendCopyData(const TWindowHandle& target, const TCopyDataStruct& data) override {
            ++desktop_.sends;
            return desktop_.deliver(target, data);
        }
        int HookMainWindow(TWindowHook hook) override {
            hooks_.push_back({nextHook_, std::move(hook)});
            return nextHook_++;
        }
        void UnhookMainWindow(int id) override {
            hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [id](const Hook& h) { return h.id == id; }),
                         hooks_.end());
        }
        QString Title() const override { return title_; }
        void SetTitle(const QString& title) override {
            title_ = title;
            announced_ = ++desktop_.announcements_;
        }
        const QString& Id() const { return id_; }

    private:
        friend class LoopbackDesktop;
        struct Hook {
            int id;
            TWindowHook function;
        };
        bool dispatch(TMessage& m) {
            // Hooks may be removed while one runs: walk a copy.
            const std::vector<Hook> hooks = hooks_;
            for (const Hook& h : hooks)
                if (h.function(m)) return true;
            return false;
        }

        LoopbackDesktop& desktop_;
        QString id_;
        QString title_;
        std::vector<Hook> hooks_;
        int nextHook_ = 1;
        long announced_ = 0;
    };

    // A new copy's endpoint, under the title program entry gives it.
    std::unique_ptr<Endpoint> NewCopy(const QString& title = QStringLiteral("Vandrex v4.4a")) {
        auto e = std::make_unique<Endpoint>(*this, QStringLiteral("copy%1").arg(++copies_), title);
        e->announced_ = ++announcements_;
        endpoints_.push_back(e.get());
        return e;
    }

    int sends = 0;

private:
    friend class Endpoint;

    void remove(Endpoint* e) { endpoints_.erase(std::remove(endpoints_.begin(), endpoints_.end(), e), endpoints_.end()); }

    // The copy announced most recently under that class and title first.
    TWindowHandle find(const QString& className, const QString& windowName) const {
        if (className.isEmpty() || windowName.isEmpty() || className != QLatin1String("TApplication")) return {};
        const Endpoint* best = nullptr;
        for (const Endpoint* e : endpoints_)
            if (e->title_ == windowName && (!best || e->announced_ > best->announced_)) best = e;
        return best ? TWindowHandle(best->id_) : TWindowHandle();
    }

    bool deliver(const TWindowHandle& target, const TCopyDataStruct& data) {
        if (target.IsNull() || data.cbData > kMaxCopyDataBytes || (data.cbData && !data.lpData)) return false;
        Endpoint* to = nullptr;
        for (Endpoint* e : endpoints_)
            if (e->id_ == target.Id()) to = e;
        if (!to) return false;  // that copy has ended
        // The receiver reads its own copy, as it would after a transfer.
        std::array<char, kMaxCopyDataBytes> bytes{};
        if (data.cbData) std::memcpy(bytes.data(), data.lpData, data.cbData);
        TCopyDataStruct copy = data;
        copy.lpData = bytes.data();
        TMessage m;
        m.Msg = WM_COPYDATA;
        m.CopyData = &copy;
        to->dispatch(m);
        return true;
    }

    std::vector<Endpoint*> endpoints_;
    int copies_ = 0;
    long announcements_ = 0;
};

}  // namespace vandrex::testing
