#pragma once
// The minimal implementations of the outside components whose subsystems
// are still to come: the telephony line and the SMTP and FTP controls (the
// program itself uses the real mail controls). Each keeps what the window
// gives it and does nothing else, so the program runs on a machine with no
// modem or server. app/main.cpp hands them to the window; each subsystem
// replaces its own by its real component.

#include <QStringList>

#include "mail/ftpinterface.h"
#include "mail/smtpinterface.h"
#include "telephony/lineinterface.h"

namespace vandrex {

class TLineStandIn : public TLineInterface {
public:
    void Open() override { open_ = true, dropped_ = false; }
    void Close() override { open_ = false, connected_ = false; }
    void MakeCall() override { dropped_ = false; }
    void DropCall() override { dropped_ = true, connected_ = false; }
    int DevIdToInitialize() const override { return devId_; }
    void SetDevIdToInitialize(int id) override { devId_ = id; }
    QString PhoneNumber() const override { return number_; }
    void SetPhoneNumber(const QString& number) override { number_ = number; }
    bool Connected() const override { return connected_; }
    void SetConnected(bool on) override { connected_ = on; }
    bool Dropped() const override { return dropped_; }
    void SetDropped(bool on) override { dropped_ = on; }
    bool Suspended() const override { return suspended_; }
    void SetSuspended(bool on) override { suspended_ = on; }
    bool IsOpen() const { return open_; }

private:
    int devId_ = -1;
    QString number_;
    bool open_ = false, connected_ = false, dropped_ = false, suspended_ = false;
};

// Never connects: the state stays 0 until a mail subsystem is there.
class TSmtpStandIn : public TSmtpInterface {
public:
    QString RemoteHost() const override { return host_; }
    void SetRemoteHost(const QString& host) override { host_ = host; }
    int State() const override { return 0; }
    void Connect() override {}
    void SendDoc(const THeaders&, const QString&) override {}
    void Quit() override {}

private:
    QString host_;
};

class TFtpStandIn : public TFtpInterface {
public:
    QString RemoteHost() const override { return host_; }
    int State() const override { return 0; }
    bool PassiveMode() const override { return passive_; }
    void SetPassiveMode(bool on) override { passive_ = on; }
    void Connect(const QString& host, int) override { host_ = host; }
    void Authenticate(const QString&, const QString&) override {}
    void PutFile(const QString&, const QString&) override {}
    void Quit() override {}

private:
    QString host_;
    bool passive_ = true;
};

}  // namespace vandrex
