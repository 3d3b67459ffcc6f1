#pragma once
// FTP1: the FTP control. A session the user opens (Connect), authenticates
// (Authenticate, asked for by ProtocolStateChanged(1)), uses for uploads
// (Put) and closes (Quit); every step an event on the owning thread.
//
// Connection states as the SMTP control's: 1 Connect called, 2 resolving,
// 3 resolved, 4 connected (greeting received), 5 disconnecting, 6
// disconnected. Protocol states: 1 the server waits for USER/PASS, 2 logged
// in.
//
// Put sends TYPE I, then EPSV (PASV when EPSV is refused) in passive mode or
// PORT/EPRT in active mode, then STOR. The address in a PASV reply is
// ignored: data goes to the control connection's peer. In active mode only
// a connection from that peer is accepted. Busy(true)/Busy(false) bracket
// each exchange; PutDone reports whether the server confirmed the upload.
//
// The password is sent only in PASS; it never appears in an error text.
// Error numbers are reply codes or the local codes below.

#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "mail/docinput.h"
#include "mail/mailconnection.h"

class QTcpSocket;
class QTcpServer;

namespace vandrex {

class TFTP : public TMailConnection {
    Q_OBJECT
public:
    enum : int {
        kErrorHostNotFound = 10001,
        kErrorConnect = 10002,
        kErrorTimeout = 10003,
        kErrorClosed = 10005,
        kErrorBusy = 10007,
        kErrorBadInput = 10008,     // CR/LF or controls in a name or password
        kErrorProtocol = 10009,
        kErrorNotConnected = 10010,
        kErrorLocalFile = 10011,    // the local file cannot be read
        kErrorDataConnection = 10012,
    };

    explicit TFTP(QObject* parent = nullptr);
    ~TFTP() override;

    QString RemoteHost;
    int RemotePort = 21;
    bool PassiveMode = true;
    QString RemoteFile;
    QString URL;            // kept for the caller; holds the password
    bool Blocking = false;  // kept for the caller; every call returns at once

    int ProtocolState() const { return fProtocolState; }
    bool IsBusy() const { return fBusy; }
    TDocInput DocInput;

    void Connect(const QString& host = {}, int port = 0);
    void Authenticate(const QString& user, const QString& password);
    // Uploads localFile as remoteFile; false (and an error event) when not
    // logged in, busy, or the file cannot be opened.
    bool Put(const QString& localFile, const QString& remoteFile);
    void Quit();

signals:
    void ProtocolStateChanged(int protocolState);
    void Busy(bool isBusy);
    void Error(int number, const QString& description);
    void PutDone(bool confirmed);

private:
    enum class Phase {
        Idle, Resolving, Connecting, Greeting, Connected,
        User, Pass, LoggedIn,
        Type, Epsv, Pasv, Port, DataConnect, Stor, Transfer, Finish,
        Quitting,
    };

    void SetBusy(bool busy);
    void EnterResolving() override { fPhase = Phase::Resolving; }
    bool Resolving() const override { return fPhase == Phase::Resolving; }
    void HostNotFound(const QString& error) override;
    void TryNextAddress() override;
    void ControlReadyRead();
    void ControlError();
    void ControlDisconnected();
    void Reply(const TServerReply& reply);
    void PutReply(const TServerReply& reply);
    void Command(const QByteArray& line);
    void Expect(Phase phase);
    void OpenDataConnection(quint16 port);
    void ListenForData();
    void DataAccepted();
    void DataConnected();
    void PumpData();
    void DataError();
    void EndPut(bool confirmed);
    void Fail(int number, const QString& description);
    void FailReply(const TServerReply& reply);
    void WaitTimedOut();
    void TearDown();
    void DropData();

    int fProtocolState = 0;
    bool fBusy = false;
    Phase fPhase = Phase::Idle;
    QTcpSocket* fControl = nullptr;
    QPointer<QTcpSocket> fData;
    QTcpServer* fListener = nullptr;
    int fPort = 21;
    QString fPassword;
    std::unique_ptr<QFile> fFile;
    qint64 fSent = 0;
    bool fStorAccepted = false;  // 125/150 arrived
    bool fDataDone = false;      // every byte written and the data connection closed
};

}  // namespace vandrex
