#pragma once
// The time-lapse timer group "Timer": the interval and recording-time edits
// with their labels, the Alert box, the "Set" button and the timer speed
// button that starts and stops the timer. Its lamps are in the snapshot
// group; the Probe box is the probe panel's. Shown in HTML mail mode.

#include <QObject>
#include <string>

#include "app/panels/windowmode.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace vandrex {

class TTimerPanel : public QObject {
    Q_OBJECT
public:
    TTimerPanel(QWidget* client, QObject* parent);
    void Layout(WindowMode mode);

    std::string IntervalText() const;
    std::string DurationText() const;
    void ShowValues(const std::string& interval, const std::string& duration);

signals:
    void TimerSetButtonClicked();
    void TimerSpeedButtonClicked();

private:
    QGroupBox* TimerGroup = nullptr;
    QLineEdit* Timer_Interval_Edit = nullptr;
    QLineEdit* Timer_Duration_Edit = nullptr;
    QLabel* IntervalLabel = nullptr;
    QLabel* DurationLabel = nullptr;
    QCheckBox* Timer_AlertBox = nullptr;
    QPushButton* TimerSetButton = nullptr;
    QToolButton* TimerSpeedButton = nullptr;
};

}  // namespace vandrex
