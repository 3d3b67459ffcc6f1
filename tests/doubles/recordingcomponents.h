#pragma once
// Recording doubles of the outside components the main window drives: each
// keeps what it is given and counts or lists the calls, so window tests can
// follow the window's steps without a modem, camera, encoder, player or
// server, and without depending on this machine's devices.

#include <QStringList>
#include <map>
#include <vector>

#include "app/components.h"

namespace vandrex::testing {

struct RecordingLine : TLineInterface {
    int devId = -1;
    QString number;
    bool connected = false, dropped = false, suspended = false, open = false;
    int OpenCalls = 0;
    int CloseCalls = 0;
    int DroppedAtOpen = 0;  // opens that found Dropped set

    void Open() override {
        ++OpenCalls;
        if (dropped) ++DroppedAtOpen;
        open = true;
        dropped = false;
    }
    void Close() override { ++CloseCalls, open = false, connected = false; }
    void MakeCall() override {}
    void DropCall() override { dropped = true; }
    int DevIdToInitialize() const override { return devId; }
    void SetDevIdToInitialize(int id) override { devId = id; }
    QString PhoneNumber() const override { return number; }
    void SetPhoneNumber(const QString& n) override { number = n; }
    bool Connected() const override { return connected; }
    void SetConnected(bool on) override { connected = on; }
    bool Dropped() const override { return dropped; }
    void SetDropped(bool on) override { dropped = on; }
    bool Suspended() const override { return suspended; }
    void SetSuspended(bool on) override { suspended = on; }
};

struct RecordingCapture : TCaptureInterface {
    QStringList Drivers{QStringLiteral("Vandrex Test Pattern")};
    int index = -1;
    bool driverOpen = false, preview = false;
    mutable int DriverListRequests = 0;

    QStringList DriverNames() const override {
        ++DriverListRequests;
        return Drivers;
    }
    int DriverIndex() const override { return index; }
    void SetDriverIndex(int i) override { index = i; }
    bool DriverOpen() const override { return driverOpen; }
    void SetDriverOpen(bool o) override { driverOpen = o; }
    bool VideoPreview() const override { return preview; }
    void SetVideoPreview(bool on) override { preview = on; }
};

struct RecordingProducer : TProducerInterface {
    std::map<QString, QVariant> Properties;
    int StopEncodingCalls = 0;

    bool SetProperty(const QString& name, const QVariant& value) override {
        Properties[name] = value;
        return true;
    }
    QVariant Property(const QString& name) const override {
        auto it = Properties.find(name);
        return it == Properties.end() ? QVariant() : it->second;
    }
    QVariant Get(const QString& name) const { return Property(name); }
    void StartEncoding() override {}
    void StopEncoding() override { ++StopEncodingCalls; }
    bool IsEncoding() const override { return false; }
};

// Lists the player operations in the order they came, by their names.
struct RecordingPlayer : TPlayerInterface {
    std::vector<QString> Calls;

    void PlayerSetSource(const QString& s) override { Calls.push_back("PlayerSetSource(" + s + ")"); }
    void PlayerPlay() override { Calls.push_back("PlayerPlay"); }
    void PlayerStop() override { Calls.push_back("PlayerStop"); }
    void PlayerPlayPause() override { Calls.push_back("PlayerPlayPause"); }
    void PlayerNextItem() override { Calls.push_back("PlayerNextItem"); }
    void PlayerPrevItem() override { Calls.push_back("PlayerPrevItem"); }
    void PlayerSetHold(bool on) override {
        Calls.push_back(on ? "PlayerSetHold(true)" : "PlayerSetHold(false)");
    }
};

struct RecordingSmtp : TSmtpInterface {
    QString host;
    int state = 0;
    int QuitCalls = 0;

    QString RemoteHost() const override { return host; }
    void SetRemoteHost(const QString& h) override { host = h; }
    int State() const override { return state; }
    void Connect() override { state = Connected; }
    void SendDoc(const THeaders&, const QString&) override {}
    void Quit() override { ++QuitCalls, state = Disconnected; }
};

struct RecordingFtp : TFtpInterface {
    QString host;
    bool passive = true;
    QString RemoteHost() const override { return host; }
    int State() const override { return 0; }
    bool PassiveMode() const override { return passive; }
    void SetPassiveMode(bool on) override { passive = on; }
    void Connect(const QString& h, int) override { host = h; }
    void Authenticate(const QString&, const QString&) override {}
    void PutFile(const QString&, const QString&) override {}
    void Quit() override {}
};

// One set of doubles handed to a window; the pointers stay valid while the
// window lives.
struct RecordingComponents {
    RecordingLine* line = nullptr;
    RecordingCapture* capture = nullptr;
    RecordingProducer* producer = nullptr;
    RecordingPlayer* player = nullptr;
    RecordingSmtp* smtp = nullptr;
    RecordingFtp* ftp = nullptr;
    // Real local sockets unless a test gives another transport.
    TMessageTransport* transport = &LocalSocketTransport();

    TForm1Components Make() {
        TForm1Components c;
        c.Modem1.reset(line = new RecordingLine);
        c.VideoCap1.reset(capture = new RecordingCapture);
        c.RealAudioControl.reset(producer = new RecordingProducer);
        c.Real_Player_1.reset(player = new RecordingPlayer);
        c.SMTP1.reset(smtp = new RecordingSmtp);
        c.FTP1.reset(ftp = new RecordingFtp);
        c.Transport = transport;
        return c;
    }
};

}  // namespace vandrex::testing
