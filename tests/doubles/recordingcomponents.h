#pragma once
// Recording doubles of the outside components the main window drives: each
// keeps what it is given and counts or lists the calls, so window tests can
// follow the window's steps without a modem, camera, encoder, player or
// server, and without depending on this machine's devices.

#include <QImage>
#include <QStringList>
#include <functional>
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

    // Told each call that matters to the order of the window's steps.
    std::function<void(const QString&)> Journal = [](const QString&) {};

    void Open() override {
        Journal("Line.Open");
        ++OpenCalls;
        if (dropped) ++DroppedAtOpen;
        open = true;
        dropped = false;
    }
    void Close() override { ++CloseCalls, open = false, connected = false; }
    void MakeCall() override {}
    void DropCall() override { dropped = true; }
    int DevIdToInitialize() const override { return devId; }
    void SetDevIdToInitialize(int id) override {
        Journal(QStringLiteral("Line.DevIdToInitialize=%1").arg(id));
        devId = id;
    }
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
    std::function<void(const QString&)> Journal = [](const QString&) {};

    QStringList DriverNames() const override {
        Journal("Capture.DriverNames");
        ++DriverListRequests;
        return Drivers;
    }
    int DriverIndex() const override { return index; }
    void SetDriverIndex(int i) override {
        Journal(QStringLiteral("Capture.DriverIndex=%1").arg(i));
        index = i;
    }
    bool DriverOpen() const override { return driverOpen; }
    void SetDriverOpen(bool o) override {
        Journal(o ? "Capture.DriverOpen=true" : "Capture.DriverOpen=false");
        driverOpen = o;
    }
    bool VideoPreview() override { return preview; }
    void SetVideoPreview(bool on) override {
        Journal(on ? "Capture.VideoPreview=true" : "Capture.VideoPreview=false");
        preview = on;
    }

    // A grab "takes" Frame; SaveFrameAsBitmap writes it as a BMP under the
    // single-image file's name. A null Frame makes the grab fail.
    QImage Frame;
    QString SingleImage = QStringLiteral("Capture.bmp");
    int Grabs = 0, Saves = 0;
    std::vector<QString> Dialogs;
    void SetSingleImageFile(const QString& file) override { SingleImage = file; }
    bool GrabFrameNoStop() override {
        ++Grabs;
        return !Frame.isNull();
    }
    bool SaveFrameAsBitmap() override {
        ++Saves;
        return !Frame.isNull() && Frame.convertToFormat(QImage::Format_RGB888).save(SingleImage, "BMP");
    }
    bool ShowSourceDialog() override { return Dialogs.push_back(QStringLiteral("Source")), true; }
    bool ShowFormatDialog() override { return Dialogs.push_back(QStringLiteral("Format")), true; }
    bool ShowDisplayDialog() override { return Dialogs.push_back(QStringLiteral("Display")), true; }
    bool ShowCompressionDialog() override { return Dialogs.push_back(QStringLiteral("Compression")), true; }
};

struct RecordingProducer : TProducerInterface {
    std::map<QString, QVariant> Properties;
    int StopEncodingCalls = 0;
    std::function<void(const QString&)> Journal = [](const QString&) {};

    bool SetProperty(const QString& name, const QVariant& value) override {
        Journal("Producer." + name + "=" + value.toString());
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
