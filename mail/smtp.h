#pragma once
// SMTP1: the SMTP control. A session the user opens (Connect), uses for any
// number of mails (SendDoc) and closes (Quit), every step an event on the
// thread that owns it; no threads, no blocking waits.
//
// Connection states: 1 Connect called, 2 resolving the host, 3 host
// resolved, 4 session ready (greeting, EHLO/HELO, STARTTLS when offered,
// AUTH when ~/.netrc has an entry), 5 disconnecting, 6 disconnected (the
// start state).
//
// RemoteHost is "host" or "host:port"; the default port is 25, port 465
// speaks TLS from the start. Certificates are verified against the system's
// authorities plus CaCertificates; the environment variable
// VANDREX_MAIL_CA_FILE names a PEM file whose certificates are added at
// construction (the tests' own authority).
//
// The password of ~/.netrc goes only over an encrypted connection or to a
// loopback address; it is never put into an error text.
//
// Error numbers: an SMTP reply code, or one of the local codes below. The
// error collection (Errors) holds the reply's lines, or the local text.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSslCertificate>
#include <QStringList>
#include <QTimer>

#include "mail/docinput.h"
#include "mail/mailconnection.h"

class QSslSocket;

namespace vandrex {

class TSMTP : public TMailConnection {
    Q_OBJECT
public:
    enum : int {
        kErrorHostNotFound = 10001,  // the host name does not resolve
        kErrorConnect = 10002,       // no address accepted the connection
        kErrorTimeout = 10003,       // no reply within Timeout
        kErrorTls = 10004,           // handshake or certificate failed
        kErrorClosed = 10005,        // the server closed the connection
        kErrorInsecureAuth = 10006,  // password would go out unencrypted
        kErrorBusy = 10007,          // a mail is still being sent
        kErrorBadDocument = 10008,   // no addresses, or unsafe header text
        kErrorProtocol = 10009,      // a reply that breaks the grammar
        kErrorNotConnected = 10010,  // SendDoc outside state 4
    };

    explicit TSMTP(QObject* parent = nullptr);
    ~TSMTP() override;

    QString RemoteHost;            // host or host:port
    int RemotePort = 0;            // 0: from RemoteHost, else 25
    int ImplicitTlsPort = 465;     // this port speaks TLS from the first byte
    QList<QSslCertificate> CaCertificates;
    QString NetrcPath;             // empty: ~/.netrc

    TDocInput DocInput;

    // host/port empty: RemoteHost and its port. Acts only in state 6.
    void Connect(const QString& host = {}, int port = 0);
    // Sends a message whose envelope comes from the "From" and "To" headers;
    // the wire text is RenderMessage(headers, body). Only in state 4 and
    // when no other mail is on the way; otherwise an error event and false.
    bool SendDoc(const THeaderList& headers, const QString& body);
    // QUIT with a bounded wait; the connection is closed afterwards in any case.
    void Quit();
    // Whether a mail is on the way (between SendDoc and document state 5).
    bool Sending() const { return fPhase >= Phase::MailFrom && fPhase <= Phase::Rset; }
    bool Encrypted() const;
    bool Authenticated() const { return fAuthenticated; }

signals:
    void DocInputChanged(vandrex::TDocInput* docInput);
    // CancelDisplay is ours to set; this control never shows anything itself.
    void Error(int number, const QString& description, bool* cancelDisplay);

private:
    enum class Phase {
        Idle, Resolving, Connecting, Greeting, Ehlo, Helo, StartTls, Handshake,
        AuthPlain, AuthLoginUser, AuthLoginPass, Ready,
        MailFrom, RcptTo, Data, Body, Rset, Quitting,
    };

    void EnterResolving() override { fPhase = Phase::Resolving; }
    bool Resolving() const override { return fPhase == Phase::Resolving; }
    void HostNotFound(const QString& error) override;
    void TryNextAddress() override;
    void SocketConnected();
    void SocketEncrypted();
    void SocketReadyRead();
    void SocketDisconnected();
    void SocketError();
    void Reply(const TServerReply& reply);
    void SessionReply(const TServerReply& reply);
    void MailReply(const TServerReply& reply);
    void AfterEhlo();
    void SessionReady();
    void Command(const QByteArray& line);
    void Expect(Phase phase, int timeout = -1);
    void WriteBody();
    void Fail(int number, const QString& description, const QStringList& entries);
    void FailReply(const TServerReply& reply);
    void EndDocument();
    void TearDown();
    void WaitTimedOut();
    bool PeerIsLoopback() const;
    QString HeloName() const;

    Phase fPhase = Phase::Idle;
    QSslSocket* fSocket = nullptr;
    int fPort = 25;
    bool fImplicitTls = false;
    QStringList fExtensions;  // EHLO keywords, upper case
    bool fTlsDone = false;
    bool fAuthenticated = false;
    QString fLogin, fPassword;
    QByteArray fWire;         // dot-stuffed message + ".\r\n"
    qsizetype fWireOffset = 0;
    QString fFrom, fTo;
    bool fInterrupting = false;  // Quit is ending a mail on the way
};

}  // namespace vandrex
