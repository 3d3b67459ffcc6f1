#pragma once
// Minimal stand-ins for the subsystems the main window drives at activation
// and shutdown whose own components are still to come: the telephony line,
// the RealProducer control, the capture component, the SMTP control and the
// mix player. Each keeps the settings the window gives it and counts the
// calls, so the window's steps can be followed; the subsystems replace them.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <map>
#include <vector>

namespace vandrex {

// Modem1 (TTAPILine): only what activation, ShowCard and Close touch.
struct TLineStandIn {
    int DevIdToInitialize = -1;
    QString PhoneNumber;
    bool Connected = false;
    bool Dropped = false;
    bool Suspended = false;
    int OpenCalls = 0;
    int CloseCalls = 0;
    bool IsOpen = false;
    void Open() { ++OpenCalls; IsOpen = true; }
    void Close() { ++CloseCalls; IsOpen = false; }
};

// RealAudioControl: a bag of named properties plus the encoder commands.
struct TProducerStandIn {
    std::map<QString, QVariant> Properties;
    int StopEncodingCalls = 0;
    bool IsEncoding = false;
    void Set(const QString& name, const QVariant& value) { Properties[name] = value; }
    QVariant Get(const QString& name) const {
        auto it = Properties.find(name);
        return it == Properties.end() ? QVariant() : it->second;
    }
    void StopEncoding() { ++StopEncodingCalls; IsEncoding = false; }
};

// The capture drivers of this machine: the built-in test-pattern driver,
// always present so the program runs without a camera, then the names of the
// V4L2 video devices.
QStringList InstalledCaptureDrivers();

// VideoCap1 (TVideoCap): the driver list and the state activation sets.
struct TCaptureStandIn {
    QStringList Drivers = InstalledCaptureDrivers();
    int DriverIndex = 0;
    bool DriverOpen = false;
    bool VideoPreview = false;
};

// SMTP1: the connection state the Close command tests (4 = connected).
struct TSmtpStandIn {
    int State = 0;
    int QuitCalls = 0;
    void Quit() { ++QuitCalls; State = 0; }
};

// Real_Player_1 as the mixer and the instance messages drive it.
struct TPlayerStandIn {
    std::vector<QString> Calls;  // "PlayerSetHold(true)", "PlayerNextItem" ...
    bool Hold = false;
    void SetHold(bool on) { Hold = on; Calls.push_back(on ? "PlayerSetHold(true)" : "PlayerSetHold(false)"); }
    void NextItem() { Calls.push_back("PlayerNextItem"); }
    void PrevItem() { Calls.push_back("PlayerPrevItem"); }
    void Play() { Calls.push_back("PlayerPlay"); }
};

}  // namespace vandrex
