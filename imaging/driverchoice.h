#pragma once
// TDriverChoice: the capture-driver part of the options window. It keeps the
// driver lines the window lists in DriverChoiceBox and carries out the
// capture steps of FormCreate, "ON" (Button2Click) and "OFF" (Button1Click)
// on the capture control.

#include <QStringList>

namespace vandrex {

class TVideoCap;

class TDriverChoice {
public:
    // The stored driver list (name + blank + version per line).
    QStringList Drivers;

    // FormCreate steps 2-3: lists the drivers, disconnects the capture
    // control and returns the line to select (its DriverIndex).
    int FormCreate(TVideoCap& cap);
    // "ON": the chosen line becomes the driver, connected with preview on;
    // the stored list is emptied. Connection failures pass on.
    void SwitchOn(TVideoCap& cap, int chosenIndex);
    // "OFF": the camera is disconnected; the stored list is emptied.
    void SwitchOff(TVideoCap& cap);
};

}  // namespace vandrex
