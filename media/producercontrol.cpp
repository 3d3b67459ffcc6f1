#include "media/producercontrol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

#include "media/encodesession.h"

namespace vandrex {

TProducerControl::TProducerControl(QObject* parent) : QObject(parent), audiences_(DefaultAudiences()) {
    targetOrder_.push_back(kAudience56K);  // Target56KModem is true by default
    using I = TProducerInterface;
    connect(this, &TProducerControl::OnEncodingStarted, this, [this] {
        if (I::OnEncodingStarted) I::OnEncodingStarted(this);
    });
    connect(this, &TProducerControl::OnEncodingProgressChanged, this, [this](int d, int t, int p, int a) {
        if (I::OnEncodingProgressChanged) I::OnEncodingProgressChanged(this, d, t, p, a);
    });
    connect(this, &TProducerControl::OnEncodingStopped, this, [this] {
        if (I::OnEncodingStopped) I::OnEncodingStopped(this);
    });
    connect(this, &TProducerControl::OnErrorOccurred, this, [this](int code, const QString& text) {
        if (I::OnErrorOccurred) I::OnErrorOccurred(this, code, text);
    });
    connect(this, &TProducerControl::OnAudioLevelClipped, this, [this](int t, int v) {
        if (I::OnAudioLevelClipped) I::OnAudioLevelClipped(this, t, v);
    });
}

TProducerControl::~TProducerControl() {
    if (stop_) *stop_ = true;
    joinWorker();
}

void TProducerControl::wrote(const QString& name, int id, const QVariant& value) {
    const int audience = AudienceOfTarget(name);
    if (audience >= 0) {
        targetOrder_.erase(std::remove(targetOrder_.begin(), targetOrder_.end(), audience), targetOrder_.end());
        if (value.toInt() != 0) targetOrder_.push_back(audience);
    }
    emit PropertyWritten(name, id, value);
}

bool TProducerControl::SetProperty(const QString& name, const QVariant& value) {
    if (!settings_.SetByName(name, value)) return false;
    wrote(name, TProducerSettings::DispatchId(name), *settings_.GetByName(name));
    return true;
}

QVariant TProducerControl::GetProperty(const QString& name) const {
    auto v = settings_.GetByName(name);
    return v ? *v : QVariant();
}

TAudienceSettings& TProducerControl::GetAudienceSettings(int n) {
    if (n < 0 || n >= kAudienceCount) throw Exception("Audience out of range: " + std::to_string(n));
    return audiences_[n];
}

void TProducerControl::SetAudience(int audience, float targetBitrate, float maxFrameRate) {
    TAudienceSettings& a = GetAudienceSettings(audience);
    a.SetTargetBitrate(targetBitrate);
    a.SetMaxFrameRate(maxFrameRate);
}

int TProducerControl::ActiveAudience() const { return targetOrder_.empty() ? kAudience56K : targetOrder_.back(); }

void TProducerControl::post(std::function<void()> event) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_back(std::move(event));
    }
    QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
}

void TProducerControl::deliver() {
    // A handler that processes pending messages re-enters here; the event
    // it would get waits for the outer loop instead.
    if (delivering_) return;
    delivering_ = true;
    for (;;) {
        std::function<void()> event;
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            if (queue_.empty()) break;
            event = std::move(queue_.front());
            queue_.pop_front();
        }
        struct Guard {
            TProducerControl* self;
            bool done = false;
            ~Guard() {
                if (done) return;
                // A handler threw: keep delivering the rest later.
                self->delivering_ = false;
                std::lock_guard<std::mutex> lock(self->queueLock_);
                if (!self->queue_.empty())
                    QMetaObject::invokeMethod(self, [s = self] { s->deliver(); }, Qt::QueuedConnection);
            }
        } guard{this};
        event();
        guard.done = true;
    }
    delivering_ = false;
}

void TProducerControl::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

void TProducerControl::StartEncoding() {
    if (IsEncoding() && stop_ && !*stop_) return;  // already encoding
    // A stopped run finishes first, so its stop event precedes the new start.
    joinWorker();
    ++liveSessions_;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    TEncodeEvents events;
    events.Started = [this] { post([this] { emit OnEncodingStarted(); }); };
    events.Progress = [this](int d, int t, int p, int a) {
        post([this, d, t, p, a] { emit OnEncodingProgressChanged(d, t, p, a); });
    };
    events.Clipped = [this](int t, int v) { post([this, t, v] { emit OnAudioLevelClipped(t, v); }); };
    events.Error = [this](int code, const std::string& text) {
        post([this, code, text = QString::fromStdString(text)] { emit OnErrorOccurred(code, text); });
    };
    events.Stopped = [this] {
        post([this] {
            --liveSessions_;
            emit OnEncodingStopped();
        });
    };
    auto session = std::make_shared<TEncodeSession>(settings_, audiences_[ActiveAudience()], std::move(events));
    worker_ = std::thread([session, stop = stop_] { session->Run(*stop); });
}

void TProducerControl::StopEncoding() {
    if (stop_) *stop_ = true;
}

bool TProducerControl::WaitUntilIdle(int timeoutMs) {
    if (!IsEncoding()) return true;
    // An event loop that ends with the stop event: no polling while the
    // worker encodes.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto stopped = connect(this, &TProducerControl::OnEncodingStopped, &loop, [this, &loop] {
        if (!IsEncoding()) loop.quit();
    });
    timer.start(timeoutMs);
    loop.exec();
    disconnect(stopped);
    return !IsEncoding();
}

std::shared_ptr<TMediaFileEditor> TProducerControl::OpenMediaFile(const QString& fullName) {
    return std::make_shared<TMediaFileEditor>(fullName);
}

}  // namespace vandrex
