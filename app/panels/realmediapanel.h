#pragma once
// The RealMedia side of the window: what the window tells the encoder
// (RealAudioControl) at activation and on entering player mode, and the
// encoding counters and toggles the recorder reads. Its controls (profiles,
// targets, monitor) join this panel with the media subsystem.

#include <QObject>
#include <array>

class QToolButton;
class QWidget;

namespace vandrex {

class TProducerInterface;

class TRealMediaPanel : public QObject {
    Q_OBJECT
public:
    TRealMediaPanel(TProducerInterface& producer, QObject* parent);

    // Activation step 2: the encoder's defaults.
    void SetProducerDefaults();
    // Activation: counters and totals, the MiniDisc image toggle.
    void ResetCounters() { encodingCounters_.fill(0); }
    void ResetMiniDiscImage() { miniDiscImageToggle_ = false; }
    // Entering player mode stops any recording and sets the file output.
    void EnterPlayerMode();
    // The JPEG choice ends a probe broadcast.
    void StopEncoding();
    // Leaving player mode selects the 20K audio target (RadioButton20K)
    // once the profile controls exist.
    void LeavePlayerMode() {}

    // The start/stop recording button StartAudioSButton, bare until the
    // recorder brings its handler; the time-lapse timer presses it.
    void BuildRecorderButton(QWidget* client);
    void ClickStartAudioSButton();

    const std::array<qint64, 4>& EncodingCounters() const { return encodingCounters_; }
    bool MiniDiscImageToggle() const { return miniDiscImageToggle_; }

private:
    TProducerInterface& producer_;
    QToolButton* StartAudioSButton = nullptr;
    std::array<qint64, 4> encodingCounters_{};
    bool miniDiscImageToggle_ = false;
};

}  // namespace vandrex
