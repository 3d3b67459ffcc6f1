#include "app/panels/timerpanel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/panels/builders.h"

namespace vandrex {

TTimerPanel::TTimerPanel(QWidget* c, QObject* parent) : QObject(parent) {
    // Beside the handset display, in the column the GIF layout opens.
    TimerGroup = ui::Group(c, "Timer", QStringLiteral(" Timer "), 400, 218, 152, 58);
    Timer_Interval_Edit = ui::Edit(TimerGroup, "Timer_Interval_Edit", 4, 14, 20, {}, 18);
    Timer_Interval_Edit->setText(QStringLiteral("3"));
    Timer_Interval_Edit->setMaxLength(2);
    IntervalLabel = ui::Label(TimerGroup, "IntervalLabel", QStringLiteral("Interval:   minutes"), 26, 15, 84);
    Timer_Duration_Edit = ui::Edit(TimerGroup, "Timer_Duration_Edit", 4, 35, 20, QStringLiteral("Duration [FTP Video only]"), 18);
    Timer_Duration_Edit->setText(QStringLiteral("15"));
    Timer_Duration_Edit->setMaxLength(2);
    DurationLabel = ui::Label(TimerGroup, "DurationLabel", QStringLiteral("Rec time: seconds"), 26, 36, 84);
    Timer_AlertBox = ui::Check(TimerGroup, "Timer_AlertBox", QStringLiteral("Alert"), 80, -2, 50,
                               QStringLiteral("Send E-mail at Movement detection [not implemented]"));
    Timer_AlertBox->hide();  // read by nothing; kept for the stored layout
    TimerSetButton = ui::Button(TimerGroup, "TimerSetButton", QStringLiteral("Set"), 112, 12, 36, 20);
    TimerSpeedButton = ui::Speed(TimerGroup, "TimerSpeedButton", QStringLiteral("On"), 112, 34, 36, 20,
                                 QStringLiteral("Timer [Disabled]"));
    connect(TimerSetButton, &QPushButton::clicked, this, &TTimerPanel::TimerSetButtonClicked);
    connect(TimerSpeedButton, &QToolButton::clicked, this, &TTimerPanel::TimerSpeedButtonClicked);
    TimerGroup->hide();
}

void TTimerPanel::Layout(WindowMode mode) {
    if (mode == WindowMode::Player) return;
    TimerGroup->setVisible(IsHtmlMode(mode));
}

std::string TTimerPanel::IntervalText() const { return Timer_Interval_Edit->text().toStdString(); }

std::string TTimerPanel::DurationText() const { return Timer_Duration_Edit->text().toStdString(); }

void TTimerPanel::ShowValues(const std::string& interval, const std::string& duration) {
    Timer_Interval_Edit->setText(QString::fromStdString(interval));
    Timer_Duration_Edit->setText(QString::fromStdString(duration));
}

}  // namespace vandrex
