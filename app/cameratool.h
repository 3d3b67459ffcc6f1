#pragma once
// TCameraTool: the window's camera side. It owns the snapshot pipeline, the
// GIF optimizer, the time-lapse rules and their two timers, works on the
// handset display's image component and the capture component VideoCap1, and
// carries out their hooks on the panels: ZozadiFotoBtn1Click, the thirteen
// optimizer handlers and "Fit 10 KB", TimerSetButtonClick,
// TimerSpeedButtonClick, TimerTimer and RealMediaTimerTimer.

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "imaging/gifoptimizer.h"
#include "imaging/snapshot.h"
#include "imaging/timelapse.h"

namespace vandrex {

class TCaptureInterface;
class TLineInterface;
class TTimeLapseTimers;
class TForm1;
class TTimerPanel;
enum class TOptimizerCommand;
struct TPanels;

class TCameraTool : public QObject {
    Q_OBJECT
public:
    TCameraTool(TForm1& form, const TPanels& panels, TTimerPanel& timerPanel, TCaptureInterface& capture,
                TLineInterface& line);
    ~TCameraTool() override;

    void ZozadiFotoBtn1Click();
    void OptimizerCommand(TOptimizerCommand command);
    void TimerSetButtonClick();
    void TimerSpeedButtonClick();

    // Hooks of the subsystems still to be wired:
    // the data phone sends a snapshot's JPEG to the peer (counted until then),
    std::function<void(const std::string& file)> SendToDataPhone;
    // an upload or a data-phone send is running (a tick then waits),
    std::function<bool()> TransferBusy;
    // the timer was started (the upload forgets its remembered name).
    std::function<void()> TimerStarted;
    int DataPhoneSends() const { return dataPhoneSends_; }

    TSnapshotPipeline& Snapshots() { return snapshot_; }
    TGifOptimizer& Optimizer() { return optimizer_; }
    TTimeLapse& TimeLapse() { return rules_; }
    TTimeLapseTimers& Timers() { return *timers_; }

private:
    void showState();
    void showSize(const TGifSizeDisplay& size);
    void setStatus(const std::string& text);
    void showEncoder();

    TForm1& form_;
    const TPanels& p_;
    TTimerPanel& timerPanel_;
    TCaptureInterface& capture_;
    TLineInterface& line_;
    TSnapshotPipeline snapshot_;
    TGifOptimizer optimizer_;
    TTimeLapse rules_;
    std::unique_ptr<TTimeLapseTimers> timers_;
    int dataPhoneSends_ = 0;
};

}  // namespace vandrex
