#pragma once
// SMTP1 as the window sees it: TSMTP behind TSmtpInterface. The window's
// mail handlers drive the control itself (Control()); Close and the
// termination path use the interface.

#include "mail/smtp.h"
#include "mail/smtpinterface.h"

namespace vandrex {

class TSmtpAdapter : public TSmtpInterface {
public:
    TSmtpAdapter();

    QString RemoteHost() const override { return fSmtp.RemoteHost; }
    void SetRemoteHost(const QString& host) override { fSmtp.RemoteHost = host; }
    int State() const override { return fSmtp.State(); }
    void Connect() override { fSmtp.Connect(); }
    void SendDoc(const THeaders& headers, const QString& body) override;
    void Quit() override { fSmtp.Quit(); }
    QStringList Errors() const override { return fSmtp.Errors; }
    TSMTP* Control() override { return &fSmtp; }

private:
    TSMTP fSmtp;
};

}  // namespace vandrex
