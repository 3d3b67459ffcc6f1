#include "telephony/newdata.h"

namespace vandrex {

TNewData::TNewData(TCommHandlePtr stream, std::function<bool()> shouldRun,
                   std::function<void()> notify)
    : stream_(std::move(stream)), shouldRun_(std::move(shouldRun)), notify_(std::move(notify)) {
    thread_ = std::thread([this] { Run(); });
}

TNewData::~TNewData() { Stop(); }

void TNewData::Stop() {
    stop_ = true;
    stream_->Wake();
    if (thread_.joinable()) thread_.join();
}

void TNewData::Resume() { stream_->Wake(); }

void TNewData::Run() {
    const auto forever = std::chrono::steady_clock::now() + std::chrono::hours(24 * 365);
    while (!stop_.load() && shouldRun_()) {
        const TCommHandle::Wait w = stream_->WaitForArrival(forever);
        if (stop_.load()) break;
        if (w == TCommHandle::Wait::HungUp || w == TCommHandle::Wait::Closed) break;
        if (!shouldRun_()) break;
        if (w == TCommHandle::Wait::Arrived ||
            (w == TCommHandle::Wait::Woken && stream_->BytesWaiting() > 0))
            notify_();
    }
    finished_ = true;
}

}  // namespace vandrex
