#pragma once
// The minimal implementations of the SMTP and FTP controls (the program
// itself uses the real mail controls). Each keeps what the window
// gives it and does nothing else, so the program runs on a machine with no
// modem or server. app/main.cpp hands them to the window; each subsystem
// replaces its own by its real component.

#include <QStringList>

#include "mail/ftpinterface.h"
#include "mail/smtpinterface.h"

namespace vandrex {

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
