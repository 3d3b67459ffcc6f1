#pragma once
// The snapshot and timer group Zozadi (" Cam "): the snapshot button and the
// lamps of the time-lapse timer, the page size and the FTP connection.
// Shown in HTML mail mode.

#include <QObject>

#include "app/panels/windowmode.h"

class QGroupBox;
class QToolButton;
class QWidget;

namespace vandrex {

class TLED;

class TSnapshotPanel : public QObject {
    Q_OBJECT
public:
    TSnapshotPanel(QWidget* client, QObject* parent);
    void Layout(WindowMode mode);
    // The FTP connection lamp (lit while connected; the mail goes as HTML)
    // and whether the time-lapse timer runs, for the upload.
    TLED& FtpLamp() const { return *LED_i_modeGIF; }
    bool TimerLit() const;

    // The time-lapse lamps: LED_Timer and LED_TimerActive lit together;
    // LED_TimerActive yellow while a tick runs, red after it.
    void SetTimerLamps(bool lit);
    void SetTickLampYellow(bool yellow);
    bool TimerLampLit() const;
    // GIFSize_LED: the GIF is above the page limit.
    void ShowSizeWarning(bool lit);
    // The data phone disables the snapshot button while a file goes out.
    void SetSnapshotEnabled(bool enabled);

signals:
    void ZozadiFotoBtn1Clicked();

private:
    QGroupBox* Zozadi = nullptr;
    QToolButton* ZozadiFotoBtn1 = nullptr;
    TLED* LED_Timer = nullptr;
    TLED* LED_TimerActive = nullptr;
    TLED* GIFSize_LED = nullptr;
    TLED* LED_i_modeGIF = nullptr;
};

}  // namespace vandrex
