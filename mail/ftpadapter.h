#pragma once
// FTP1 as the window sees it: TFTP behind TFtpInterface. The window's
// upload handlers drive the control itself (Control()).

#include "mail/ftp.h"
#include "mail/ftpinterface.h"

namespace vandrex {

class TFtpAdapter : public TFtpInterface {
public:
    TFtpAdapter();

    QString RemoteHost() const override { return fFtp.RemoteHost; }
    int State() const override { return fFtp.State(); }
    bool PassiveMode() const override { return fFtp.PassiveMode; }
    void SetPassiveMode(bool on) override { fFtp.PassiveMode = on; }
    void Connect(const QString& host, int port) override { fFtp.Connect(host, port); }
    void Authenticate(const QString& user, const QString& password) override { fFtp.Authenticate(user, password); }
    void PutFile(const QString& localFile, const QString& remoteFile) override { fFtp.Put(localFile, remoteFile); }
    void Quit() override { fFtp.Quit(); }
    QString URL() const override { return fFtp.URL; }
    TFTP* Control() override { return &fFtp; }

private:
    TFTP fFtp;
};

}  // namespace vandrex
