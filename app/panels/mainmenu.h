#pragma once
// The menu bar MainMenu1 with Info1 (the options window), the Video menu
// (capture items, the driver slots D1..D5, Recording, Rm Editor) and the
// Modem menu (Config, Location). The mix player adds its own menu after
// these (app/panels/playerpanel.h).

#include <QObject>
#include <QStringList>
#include <array>

#include "app/panels/windowmode.h"

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;

namespace vandrex {

class TMainMenu : public QObject {
    Q_OBJECT
public:
    explicit TMainMenu(QMainWindow* form);

    QMenuBar* Bar() const { return MainMenu1; }

    // Activation: the capture items become visible, and the driver names
    // fill the slots D1..D5. A name repeating the one before it gets no slot
    // of its own; names after the fifth are not shown.
    void ShowCaptureItems();
    void ListCaptureDrivers(const QStringList& drivers);
    // VideoPhone on: the capture items work (Codecs and Recording stay off);
    // off: all five are disabled.
    void EnableCaptureItems(bool on);
    // Leaving player mode: Recording and Codecs are disabled.
    void DisableRecorderItems();
    void Layout(WindowMode mode);

signals:
    void Info1Clicked();
    void RM_EditorClicked();
    void Source1Clicked();
    void Format1Clicked();
    void Display1Clicked();
    void Compress1Clicked();
    void Config1Clicked();
    void Device1Clicked();

private:
    QMenuBar* MainMenu1 = nullptr;
    QAction* Info1 = nullptr;
    QMenu* Video = nullptr;
    QAction* Source1 = nullptr;
    QAction* Format1 = nullptr;
    QAction* Compress1 = nullptr;
    QAction* Display1 = nullptr;
    std::array<QAction*, 5> driverSlots_{};  // D1..D5
    QMenu* RecorderStatus = nullptr;
    QAction* RM_Editor = nullptr;
    QMenu* Modem2 = nullptr;
};

}  // namespace vandrex
