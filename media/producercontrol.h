#pragma once
// TProducerControl (RealAudioControl): the encoder behind every recording,
// file encoding, cut and join. Settings are written before a start; a worker
// thread encodes; events arrive on the user-interface thread in the order
// OnEncodingStarted, OnEncodingProgressChanged..., OnEncodingStopped, with
// OnErrorOccurred (then OnEncodingStopped) on a fatal error. Events are never
// delivered inside another event's handler, even when that handler processes
// pending messages; they wait until it returns.

#include <QObject>
#include <QString>
#include <QVariant>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/mediafileeditor.h"
#include "media/producerinterface.h"
#include "media/producersettings.h"

namespace vandrex {

// The window drives it through TProducerInterface: the interface's event
// callbacks are called after the signals of the same names.
class TProducerControl : public QObject, public TProducerInterface {
    Q_OBJECT
public:
    explicit TProducerControl(QObject* parent = nullptr);
    ~TProducerControl() override;

    // Typed settings: Get<Name>() and Set<Name>(value); each write is
    // signalled through PropertyWritten in order.
#define VANDREX_ACCESSORS(type, name, id, def)                                  \
    type Get##name() const { return settings_.name; }                          \
    void Set##name(const type& value) {                                         \
        settings_.name = value;                                                 \
        wrote(QStringLiteral(#name), id, QVariant::fromValue(value));           \
    }
    VANDREX_PRODUCER_SETTINGS(VANDREX_ACCESSORS)
#undef VANDREX_ACCESSORS

    // By name, for the command line and the window's property writes.
    // False (and nothing written) for an unknown name or a value of the wrong kind.
    bool SetProperty(const QString& name, const QVariant& value) override;
    QVariant GetProperty(const QString& name) const;
    QVariant Property(const QString& name) const override { return GetProperty(name); }
    void SetAudience(int audience, float targetBitrate, float maxFrameRate) override;
    const TProducerSettings& Settings() const { return settings_; }

    // The settings object of audience n (0..7); throws Exception otherwise.
    TAudienceSettings& GetAudienceSettings(int n);
    // The audience an encoding uses: of the target most recently set true
    // that is still true; audience 1 (56K) when none is.
    int ActiveAudience() const;

    void StartEncoding() override;
    void StopEncoding() override;
    bool IsEncoding() const override { return liveSessions_ > 0; }

    // The file-editing object of an existing RealMedia file; throws
    // Exception when the file cannot be opened.
    std::shared_ptr<TMediaFileEditor> OpenMediaFile(const QString& fullName);

    // Waits (processing events) until no encoding is running or the time is
    // up; true when idle. For tools and tests.
    bool WaitUntilIdle(int timeoutMs);

signals:
    void OnEncodingStarted();
    void OnEncodingStopped();
    void OnErrorOccurred(int ErrorCode, const QString& ErrorString);
    void OnAudioLevelClipped(int timestamp, int AudioPeakValue);
    void OnEncodingProgressChanged(int duration, int timestamp, int PercentDone, int AudioPeakLevel);
    void PropertyWritten(const QString& name, int dispatchId, const QVariant& value);

private:
    void wrote(const QString& name, int id, const QVariant& value);
    void post(std::function<void()> event);
    void deliver();
    void joinWorker();

    TProducerSettings settings_;
    std::array<TAudienceSettings, kAudienceCount> audiences_;
    std::vector<int> targetOrder_;  // audiences set true, most recent last
    int liveSessions_ = 0;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::mutex queueLock_;
    std::deque<std::function<void()>> queue_;
    bool delivering_ = false;
};

}  // namespace vandrex
