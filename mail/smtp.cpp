#include "mail/smtp.h"

#include <QFile>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>

#include "mail/netrc.h"

namespace vandrex {

namespace {

// Bytes handed to the socket ahead of the network; keeps memory flat for
// large bodies while the kernel buffers stay full. Chunks stay below the
// allocator's mmap threshold, so the socket's buffers reuse heap memory
// instead of faulting in fresh pages for every piece.
constexpr qsizetype kChunk = 64 * 1024;
constexpr qsizetype kAhead = 1024 * 1024;

// "host", "host:port", "[v6]:port" -> host and port (0 when absent).
std::pair<QString, int> SplitHostPort(const QString& text) {
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close > 0) {
            const QString host = t.mid(1, close - 1);
            const QString rest = t.mid(close + 1);
            return {host, rest.startsWith(QLatin1Char(':')) ? rest.mid(1).toInt() : 0};
        }
    }
    const qsizetype colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && t.indexOf(QLatin1Char(':')) == colon) {
        bool ok = false;
        const int port = t.mid(colon + 1).toInt(&ok);
        return {t.left(colon), ok ? port : 0};
    }
    return {t, 0};
}

}  // namespace

TSMTP::TSMTP(QObject* parent) : TMailConnection(parent) {
    connect(&fWait, &QTimer::timeout, this, &TSMTP::WaitTimedOut);
    const QByteArray caFile = qgetenv("VANDREX_MAIL_CA_FILE");
    if (!caFile.isEmpty())
        CaCertificates = QSslCertificate::fromPath(QString::fromLocal8Bit(caFile));
}

TSMTP::~TSMTP() {
    StopLookup();
    if (fSocket) {
        fSocket->disconnect(this);
        fSocket->abort();
    }
}

bool TSMTP::Encrypted() const { return fSocket && fSocket->isEncrypted(); }

void TSMTP::Connect(const QString& host, int port) {
    if (fState != 6)
        return;
    auto [name, parsedPort] = SplitHostPort(host.isEmpty() ? RemoteHost : host);
    fHost = name;
    fPort = port > 0 ? port : RemotePort > 0 ? RemotePort : parsedPort > 0 ? parsedPort : 25;
    fImplicitTls = fPort == ImplicitTlsPort;
    fTlsDone = false;
    fAuthenticated = false;
    fExtensions.clear();
    BeginConnect();
}

void TSMTP::HostNotFound(const QString& error) {
    Fail(kErrorHostNotFound, QStringLiteral("Host not found: ") + fHost, {error});
    TearDown();
}

void TSMTP::TryNextAddress() {
    if (!fSocket) {
        fSocket = new QSslSocket(this);
        connect(fSocket, &QSslSocket::connected, this, &TSMTP::SocketConnected);
        connect(fSocket, &QSslSocket::encrypted, this, &TSMTP::SocketEncrypted);
        connect(fSocket, &QSslSocket::readyRead, this, &TSMTP::SocketReadyRead);
        connect(fSocket, &QSslSocket::disconnected, this, &TSMTP::SocketDisconnected);
        connect(fSocket, &QSslSocket::errorOccurred, this, &TSMTP::SocketError);
        connect(fSocket, &QSslSocket::bytesWritten, this, [this] {
            if (fPhase == Phase::Body)
                WriteBody();
        });
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!CaCertificates.isEmpty())
        config.addCaCertificates(CaCertificates);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    fSocket->setSslConfiguration(config);
    fSocket->setPeerVerifyName(fHost);

    const QHostAddress address = fAddresses.takeFirst();
    fPhase = Phase::Connecting;
    fWait.start(Timeout);
    if (fImplicitTls)
        fSocket->connectToHostEncrypted(address.toString(), quint16(fPort), fHost);
    else
        fSocket->connectToHost(address, quint16(fPort));
}

void TSMTP::SocketConnected() {
    fSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!fImplicitTls)
        Expect(Phase::Greeting);
}

void TSMTP::SocketEncrypted() {
    fTlsDone = true;
    if (fImplicitTls && fPhase == Phase::Connecting) {
        Expect(Phase::Greeting);
        return;
    }
    if (fPhase == Phase::Handshake) {
        // A new EHLO: the extensions offered before STARTTLS no longer hold.
        fExtensions.clear();
        Command("EHLO " + HeloName().toLatin1());
        Expect(Phase::Ehlo);
    }
}

void TSMTP::SocketError() {
    const QAbstractSocket::SocketError error = fSocket->error();
    if (fPhase == Phase::Idle || fPhase == Phase::Quitting) {
        if (fPhase == Phase::Quitting)
            TearDown();
        return;
    }
    if (fPhase == Phase::Connecting && !fTlsDone && error != QAbstractSocket::SslHandshakeFailedError &&
        !fAddresses.isEmpty()) {
        TryNextAddress();
        return;
    }
    if (error == QAbstractSocket::RemoteHostClosedError) {
        return;  // disconnected() reports it
    }
    const bool tls = error == QAbstractSocket::SslHandshakeFailedError ||
                     error == QAbstractSocket::SslInternalError || error == QAbstractSocket::SslInvalidUserDataError;
    QStringList entries{fSocket->errorString()};
    for (const QSslError& e : fSocket->sslHandshakeErrors())
        entries.append(e.errorString());
    const int number = tls ? kErrorTls : fPhase == Phase::Connecting ? kErrorConnect : kErrorClosed;
    Fail(number, fSocket->errorString(), entries);
    TearDown();
}

void TSMTP::SocketDisconnected() {
    if (fPhase == Phase::Idle)
        return;
    if (fPhase != Phase::Quitting)
        Fail(kErrorClosed, QStringLiteral("Connection closed by the mail server"),
             {QStringLiteral("Connection closed by the mail server")});
    TearDown();
}

void TSMTP::SocketReadyRead() {
    fReader.Feed(fSocket->readAll());
    while (fPhase != Phase::Idle) {
        std::optional<TServerReply> reply = fReader.Next();
        if (fReader.Malformed()) {
            Fail(kErrorProtocol, QStringLiteral("Malformed reply from the mail server"),
                 {QStringLiteral("Malformed reply from the mail server")});
            TearDown();
            return;
        }
        if (!reply)
            return;
        Reply(*reply);
    }
}

void TSMTP::Reply(const TServerReply& reply) {
    fWait.stop();
    if (fPhase == Phase::Quitting) {
        TearDown();
        return;
    }
    // 421: the server is closing the session, asked or not; one error, then down.
    if (reply.code == 421) {
        FailReply(reply);
        TearDown();
        return;
    }
    switch (fPhase) {
    case Phase::Ready:
        return;
    case Phase::MailFrom:
    case Phase::RcptTo:
    case Phase::Data:
    case Phase::Body:
    case Phase::Rset:
        MailReply(reply);
        return;
    default:
        SessionReply(reply);
    }
}

void TSMTP::SessionReply(const TServerReply& reply) {
    switch (fPhase) {
    case Phase::Greeting:
        if (reply.code != 220) {
            FailReply(reply);
            TearDown();
            return;
        }
        Command("EHLO " + HeloName().toLatin1());
        Expect(Phase::Ehlo);
        return;
    case Phase::Ehlo:
        if (reply.code == 250) {
            for (qsizetype i = 1; i < reply.lines.size(); ++i)
                fExtensions.append(reply.lines[i].toUpper());
            AfterEhlo();
        } else if (reply.code >= 500 && reply.code <= 504) {
            Command("HELO " + HeloName().toLatin1());
            Expect(Phase::Helo);
        } else {
            FailReply(reply);
            Quit();
        }
        return;
    case Phase::Helo:
        if (reply.code == 250) {
            AfterEhlo();
        } else {
            FailReply(reply);
            Quit();
        }
        return;
    case Phase::StartTls:
        if (reply.code != 220) {
            FailReply(reply);
            Quit();
            return;
        }
        fReader.Clear();
        fPhase = Phase::Handshake;
        fWait.start(Timeout);
        fSocket->startClientEncryption();
        return;
    case Phase::AuthLoginUser:
        if (reply.code != 334) {
            FailReply(reply);
            Quit();
            return;
        }
        Command(fLogin.toUtf8().toBase64());
        Expect(Phase::AuthLoginPass);
        return;
    case Phase::AuthLoginPass:
        if (reply.code != 334) {
            FailReply(reply);
            Quit();
            return;
        }
        Command(fPassword.toUtf8().toBase64());
        fPassword.clear();
        Expect(Phase::AuthPlain);
        return;
    case Phase::AuthPlain:
        fPassword.clear();
        if (reply.code != 235) {
            FailReply(reply);
            Quit();
            return;
        }
        fAuthenticated = true;
        SessionReady();
        return;
    default:
        return;
    }
}

void TSMTP::AfterEhlo() {
    if (!fTlsDone && fExtensions.contains(QStringLiteral("STARTTLS"))) {
        Command("STARTTLS");
        Expect(Phase::StartTls);
        return;
    }
    QStringList mechanisms;
    for (const QString& e : fExtensions)
        if (e.startsWith(QStringLiteral("AUTH ")) || e.startsWith(QStringLiteral("AUTH=")))
            mechanisms += e.mid(5).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const std::optional<TNetrcEntry> entry = FindNetrcEntry(fHost, NetrcPath);
    if (!entry || mechanisms.isEmpty()) {
        SessionReady();
        return;
    }
    if (!Encrypted() && !PeerIsLoopback()) {
        const QString text = QStringLiteral("The mail server offers no encryption; the password is not sent");
        Fail(kErrorInsecureAuth, text, {text});
        Quit();
        return;
    }
    fLogin = entry->login;
    fPassword = entry->password;
    if (mechanisms.contains(QStringLiteral("PLAIN"))) {
        const QByteArray token = QByteArray(1, '\0') + fLogin.toUtf8() + QByteArray(1, '\0') + fPassword.toUtf8();
        fPassword.clear();
        Command("AUTH PLAIN " + token.toBase64());
        Expect(Phase::AuthPlain);
    } else if (mechanisms.contains(QStringLiteral("LOGIN"))) {
        Command("AUTH LOGIN");
        Expect(Phase::AuthLoginUser);
    } else {
        fPassword.clear();
        SessionReady();
    }
}

void TSMTP::SessionReady() {
    fPhase = Phase::Ready;
    SetState(4);
}

bool TSMTP::SendDoc(const THeaderList& headers, const QString& body) {
    if (Sending()) {
        const QString text = QStringLiteral("A mail is still being sent");
        bool cancel = false;
        Errors = QStringList{text};
        emit Error(kErrorBusy, text, &cancel);
        return false;
    }
    if (fState != 4 || fPhase != Phase::Ready) {
        const QString text = QStringLiteral("Not connected with the mail server");
        bool cancel = false;
        Errors = QStringList{text};
        emit Error(kErrorNotConnected, text, &cancel);
        return false;
    }
    fFrom.clear();
    fTo.clear();
    bool safe = true;
    for (const THeader& h : headers) {
        if (h.name == QLatin1String("From"))
            fFrom = h.value;
        else if (h.name == QLatin1String("To"))
            fTo = h.value;
        safe = safe && !HasControlCharacters(h.name) && !HasControlCharacters(h.value) &&
               !h.name.contains(QLatin1Char(':')) && !h.name.contains(QLatin1Char(' '));
    }
    if (!safe || !IsPlainAddrSpec(fFrom) || !IsPlainAddrSpec(fTo)) {
        const QString text = fTo.isEmpty() ? QStringLiteral("No recipient address") : kUnsafeHeaderMessage;
        bool cancel = false;
        Errors = QStringList{text};
        emit Error(kErrorBadDocument, text, &cancel);
        return false;
    }
    Errors.clear();
    fWire = RenderSmtpData(headers, body, QDateTime::currentDateTime());
    fWire += ".\r\n";
    fWireOffset = 0;
    DocInput.Headers = headers;
    DocInput.BytesTotal = fWire.size() - 3;
    DocInput.BytesTransferred = 0;
    Command("MAIL FROM:<" + fFrom.toLatin1() + ">");
    Expect(Phase::MailFrom);
    DocInput.State = TDocInput::StateMailFrom;
    emit DocInputChanged(&DocInput);
    return true;
}

void TSMTP::MailReply(const TServerReply& reply) {
    switch (fPhase) {
    case Phase::MailFrom:
        if (reply.code != 250)
            break;
        Command("RCPT TO:<" + fTo.toLatin1() + ">");
        Expect(Phase::RcptTo);
        DocInput.State = TDocInput::StateRcptTo;
        emit DocInputChanged(&DocInput);
        return;
    case Phase::RcptTo:
        if (reply.code != 250 && reply.code != 251)
            break;
        Command("DATA");
        Expect(Phase::Data);
        return;
    case Phase::Data:
        if (reply.code != 354)
            break;
        fPhase = Phase::Body;
        DocInput.State = TDocInput::StateSending;
        emit DocInputChanged(&DocInput);
        if (fPhase == Phase::Body)
            WriteBody();
        return;
    case Phase::Body:
        if (reply.code != 250) {
            FailReply(reply);
            fWire.clear();
            if (fPhase == Phase::Body)
                EndDocument();
            return;
        }
        fWire.clear();
        DocInput.BytesTransferred = DocInput.BytesTotal;
        EndDocument();
        return;
    case Phase::Rset:
        EndDocument();
        return;
    default:
        return;
    }
    // A refusal before the message went out: reset the transaction, then end.
    FailReply(reply);
    if (fPhase == Phase::Idle || fPhase == Phase::Quitting)
        return;
    Command("RSET");
    Expect(Phase::Rset);
}

void TSMTP::WriteBody() {
    while (fWireOffset < fWire.size() && fSocket->bytesToWrite() < kAhead) {
        const qsizetype n = std::min(kChunk, fWire.size() - fWireOffset);
        fSocket->write(fWire.constData() + fWireOffset, n);
        fWireOffset += n;
    }
    const qint64 sent = std::clamp<qint64>(fWireOffset - fSocket->bytesToWrite(), 0, DocInput.BytesTotal);
    fWait.start(Timeout);
    if (sent != DocInput.BytesTransferred) {
        DocInput.BytesTransferred = sent;
        emit DocInputChanged(&DocInput);
    }
}

void TSMTP::EndDocument() {
    fPhase = Phase::Ready;
    DocInput.State = TDocInput::StateEnd;
    emit DocInputChanged(&DocInput);
}

void TSMTP::Quit() {
    if (fState == 6 || fInterrupting)
        return;
    if (Sending()) {
        // Mid-transaction the one clean end is closing the connection (a QUIT
        // would become part of the message); the server drops the mail.
        fInterrupting = true;
        const QString text = QStringLiteral("Mail interrupted by Quit");
        Fail(kErrorClosed, text, {text});
        TearDown();
        return;
    }
    const bool open = fSocket && fSocket->state() == QAbstractSocket::ConnectedState &&
                      fPhase != Phase::Resolving && fPhase != Phase::Connecting && fPhase != Phase::Greeting &&
                      fPhase != Phase::Handshake;
    if (!open || fPhase == Phase::Quitting) {
        if (fPhase != Phase::Quitting)
            TearDown();
        return;
    }
    Command("QUIT");
    fPhase = Phase::Quitting;
    fWait.start(QuitTimeout);
    SetState(5);
}

void TSMTP::Command(const QByteArray& line) { fSocket->write(line + "\r\n"); }

void TSMTP::Expect(Phase phase, int timeout) {
    fPhase = phase;
    fWait.start(timeout < 0 ? Timeout : timeout);
}

void TSMTP::Fail(int number, const QString& description, const QStringList& entries) {
    Errors = entries;
    bool cancel = false;
    emit Error(number, description, &cancel);
}

void TSMTP::FailReply(const TServerReply& reply) {
    Fail(reply.code, reply.lines.value(0), reply.lines);
}

void TSMTP::WaitTimedOut() {
    if (fPhase == Phase::Quitting || fPhase == Phase::Idle) {
        TearDown();
        return;
    }
    const QString text = QStringLiteral("Timeout waiting for the mail server");
    Fail(kErrorTimeout, text, {text});
    if (Sending())
        EndDocument();
    TearDown();
}

void TSMTP::TearDown() {
    const bool wasSending = Sending();
    fInterrupting = false;
    fWait.stop();
    fPhase = Phase::Idle;
    StopLookup();
    if (wasSending) {
        DocInput.State = TDocInput::StateEnd;
        emit DocInputChanged(&DocInput);
    }
    fPassword.clear();
    fWire.clear();
    fAddresses.clear();
    if (fSocket)
        fSocket->abort();
    fReader.Clear();
    EndStates();
}

bool TSMTP::PeerIsLoopback() const { return fSocket && fSocket->peerAddress().isLoopback(); }

QString TSMTP::HeloName() const {
    const QString name = QHostInfo::localHostName();
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return re.match(name).hasMatch() ? name : QStringLiteral("localhost");
}

}  // namespace vandrex
