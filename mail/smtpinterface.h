#pragma once
// What the main window asks of the SMTP control (SMTP1). The mail
// subsystem implements it; app/main.cpp chooses the implementation.

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

namespace vandrex {

class TSMTP;

class TSmtpInterface {
public:
    // Connection states of the control.
    enum State { Connecting = 1, Resolving = 2, Resolved = 3, Connected = 4, Disconnecting = 5, Disconnected = 6 };
    using THeaders = std::vector<std::pair<QString, QString>>;

    virtual ~TSmtpInterface() = default;

    // --- required ---
    virtual QString RemoteHost() const = 0;
    virtual void SetRemoteHost(const QString& host) = 0;
    // The connection state above; 0 before the first connect.
    virtual int State() const = 0;
    // Connects to RemoteHost on the control's own default port.
    virtual void Connect() = 0;
    // Sends one mail: the header lines in order and the body text.
    virtual void SendDoc(const THeaders& headers, const QString& body) = 0;
    virtual void Quit() = 0;

    // --- optional ---
    // Descriptions of the errors the control collected.
    virtual QStringList Errors() const { return {}; }
    // The control itself, for the window's mail handlers; none in a stand-in.
    virtual TSMTP* Control() { return nullptr; }

    // --- events, on the user-interface thread ---
    std::function<void(TSmtpInterface* sender, int state)> OnStateChanged;
    // Transfer progress of the mail being sent: state (1, 2, 3, 5), bytes.
    std::function<void(TSmtpInterface* sender, int state, qint64 total, qint64 transferred)> OnDocInput;
    std::function<void(TSmtpInterface* sender, int number, const QString& description)> OnError;
};

}  // namespace vandrex
