#pragma once
// What the main window asks of the encoder control (RealAudioControl). The
// media subsystem implements it; app/main.cpp chooses the implementation.
// Settings are named properties written before a start (Booleans as true
// and false; the implementation turns them into what its encoder takes).

#include <QString>
#include <QVariant>
#include <functional>

namespace vandrex {

class TProducerInterface {
public:
    virtual ~TProducerInterface() = default;

    // --- required ---
    // False when the implementation does not know the name or the value's kind.
    virtual bool SetProperty(const QString& name, const QVariant& value) = 0;
    // The value last written, or an invalid QVariant.
    virtual QVariant Property(const QString& name) const = 0;
    virtual void StartEncoding() = 0;
    virtual void StopEncoding() = 0;
    // True from a start until encoding has stopped.
    virtual bool IsEncoding() const = 0;

    // --- optional ---
    // Target bitrate (Kbit/s) and frame rate of audience 0..7.
    virtual void SetAudience(int audience, float targetBitrate, float maxFrameRate) {
        (void)audience, (void)targetBitrate, (void)maxFrameRate;
    }

    // --- events, on the user-interface thread, in this order: started,
    // progress (any number), stopped; an error at any time after a start ---
    std::function<void(TProducerInterface* sender)> OnEncodingStarted;
    std::function<void(TProducerInterface* sender, qint64 durationMs, qint64 timestamp, int percentDone,
                       int audioPeakLevel)>
        OnEncodingProgressChanged;
    std::function<void(TProducerInterface* sender)> OnEncodingStopped;
    std::function<void(TProducerInterface* sender, int errorCode, const QString& errorString)> OnErrorOccurred;
    std::function<void(TProducerInterface* sender, qint64 timestamp, int audioPeakValue)> OnAudioLevelClipped;
};

}  // namespace vandrex
