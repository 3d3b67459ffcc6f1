#pragma once
// What the main window asks of the FTP control (FTP1). The mail subsystem
// implements it; app/main.cpp chooses the implementation.

#include <QString>
#include <functional>

namespace vandrex {

class TFTP;

class TFtpInterface {
public:
    virtual ~TFtpInterface() = default;

    // --- required ---
    virtual QString RemoteHost() const = 0;
    // Connection state, 1..6 as for the SMTP control; 0 before the first connect.
    virtual int State() const = 0;
    virtual bool PassiveMode() const = 0;
    virtual void SetPassiveMode(bool on) = 0;
    virtual void Connect(const QString& host, int port) = 0;
    virtual void Authenticate(const QString& user, const QString& password) = 0;
    // Puts a file of the working folder under remoteFile.
    virtual void PutFile(const QString& localFile, const QString& remoteFile) = 0;
    virtual void Quit() = 0;

    // --- optional ---
    // The address the last upload is read from.
    virtual QString URL() const { return {}; }
    // The control itself, for the window's upload handlers; none in a stand-in.
    virtual TFTP* Control() { return nullptr; }

    // --- events, on the user-interface thread ---
    std::function<void(TFtpInterface* sender, int protocolState)> OnProtocolStateChanged;
    std::function<void(TFtpInterface* sender, int state)> OnStateChanged;
    std::function<void(TFtpInterface* sender, bool isBusy)> OnBusy;
};

}  // namespace vandrex
