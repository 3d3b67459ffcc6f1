#include "mail/ftp.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include "mail/mailmessage.h"

namespace vandrex {

namespace {

// File pieces below the allocator's mmap threshold (reused heap memory, no
// fresh pages per piece); up to kAhead bytes wait in the socket's buffer.
constexpr qint64 kChunk = 64 * 1024;
constexpr qint64 kAhead = 2 * 1024 * 1024;

bool SameHost(const QHostAddress& a, const QHostAddress& b) {
    bool okA = false, okB = false;
    const quint32 a4 = a.toIPv4Address(&okA);
    const quint32 b4 = b.toIPv4Address(&okB);
    if (okA && okB)
        return a4 == b4;
    return a.isEqual(b, QHostAddress::TolerantConversion);
}

}  // namespace

TFTP::TFTP(QObject* parent) : TMailConnection(parent) {
    connect(&fWait, &QTimer::timeout, this, &TFTP::WaitTimedOut);
}

TFTP::~TFTP() {
    StopLookup();
    if (fData)
        fData->disconnect(this);
    if (fControl)
        fControl->disconnect(this);
}

void TFTP::SetBusy(bool busy) {
    if (fBusy == busy)
        return;
    fBusy = busy;
    emit Busy(busy);
}

void TFTP::Connect(const QString& host, int port) {
    if (fState != 6)
        return;
    fHost = (host.isEmpty() ? RemoteHost : host).trimmed();
    RemoteHost = fHost;
    fPort = port > 0 ? port : RemotePort > 0 ? RemotePort : 21;
    fProtocolState = 0;
    BeginConnect();
}

void TFTP::HostNotFound(const QString&) {
    Fail(kErrorHostNotFound, QStringLiteral("Host not found: ") + fHost);
    TearDown();
}

void TFTP::TryNextAddress() {
    if (!fControl) {
        fControl = new QTcpSocket(this);
        connect(fControl, &QTcpSocket::connected, this, [this] { Expect(Phase::Greeting); });
        connect(fControl, &QTcpSocket::readyRead, this, &TFTP::ControlReadyRead);
        connect(fControl, &QTcpSocket::errorOccurred, this, &TFTP::ControlError);
        connect(fControl, &QTcpSocket::disconnected, this, &TFTP::ControlDisconnected);
    }
    fPhase = Phase::Connecting;
    fWait.start(Timeout);
    fControl->connectToHost(fAddresses.takeFirst(), quint16(fPort));
}

void TFTP::ControlError() {
    if (fPhase == Phase::Idle)
        return;
    if (fPhase == Phase::Quitting) {
        TearDown();
        return;
    }
    if (fPhase == Phase::Connecting && !fAddresses.isEmpty()) {
        TryNextAddress();
        return;
    }
    if (fControl->error() == QAbstractSocket::RemoteHostClosedError)
        return;  // disconnected() reports it
    Fail(fPhase == Phase::Connecting ? kErrorConnect : kErrorClosed, fControl->errorString());
    if (fFile)
        EndPut(false);
    TearDown();
}

void TFTP::ControlDisconnected() {
    if (fPhase == Phase::Idle)
        return;
    if (fPhase != Phase::Quitting) {
        Fail(kErrorClosed, QStringLiteral("Connection closed by the FTP server"));
        if (fFile)
            EndPut(false);
    }
    TearDown();
}

void TFTP::ControlReadyRead() {
    fReader.Feed(fControl->readAll());
    while (fPhase != Phase::Idle) {
        std::optional<TServerReply> reply = fReader.Next();
        if (fReader.Malformed()) {
            Fail(kErrorProtocol, QStringLiteral("Malformed reply from the FTP server"));
            if (fFile)
                EndPut(false);
            TearDown();
            return;
        }
        if (!reply)
            return;
        Reply(*reply);
    }
}

void TFTP::Reply(const TServerReply& reply) {
    if (fPhase != Phase::Transfer && fPhase != Phase::Finish)
        fWait.stop();
    if (fPhase == Phase::Quitting) {
        TearDown();
        return;
    }
    // 421: the server is closing the session; one error, then down.
    if (reply.code == 421) {
        FailReply(reply);
        TearDown();
        return;
    }
    switch (fPhase) {
    case Phase::Greeting:
        if (reply.code == 120) {
            fWait.start(Timeout);
            return;
        }
        if (reply.code != 220) {
            FailReply(reply);
            TearDown();
            return;
        }
        fPhase = Phase::Connected;
        SetState(4);
        if (fPhase != Phase::Connected)
            return;
        fProtocolState = 1;
        emit ProtocolStateChanged(1);
        return;
    case Phase::User:
        if (reply.code == 331) {
            Command("PASS " + fPassword.toUtf8());
            fPassword.clear();
            Expect(Phase::Pass);
            return;
        }
        [[fallthrough]];
    case Phase::Pass:
        fPassword.clear();
        if (reply.code == 230 || reply.code == 202) {
            fPhase = Phase::LoggedIn;
            fProtocolState = 2;
            SetBusy(false);
            emit ProtocolStateChanged(2);
            return;
        }
        fPhase = Phase::Connected;
        SetBusy(false);
        FailReply(reply);
        return;
    case Phase::Connected:
    case Phase::LoggedIn:
        return;
    default:
        PutReply(reply);
    }
}

void TFTP::Authenticate(const QString& user, const QString& password) {
    if (fState != 4 || fPhase != Phase::Connected) {
        Fail(kErrorNotConnected, QStringLiteral("Not connected with the FTP server"));
        return;
    }
    if (HasControlCharacters(user) || HasControlCharacters(password)) {
        Fail(kErrorBadInput, QStringLiteral("Invalid characters in user name or password"));
        return;
    }
    fPassword = password;
    SetBusy(true);
    Command("USER " + user.toUtf8());
    Expect(Phase::User);
}

bool TFTP::Put(const QString& localFile, const QString& remoteFile) {
    if (fBusy || fFile) {
        Fail(kErrorBusy, QStringLiteral("An upload is still in progress"));
        return false;
    }
    if (fState != 4 || fPhase != Phase::LoggedIn) {
        Fail(kErrorNotConnected, QStringLiteral("Not connected with the FTP server"));
        return false;
    }
    if (remoteFile.isEmpty() || HasControlCharacters(remoteFile)) {
        Fail(kErrorBadInput, QStringLiteral("Invalid remote file name"));
        return false;
    }
    auto file = std::make_unique<QFile>(localFile);
    if (!file->open(QIODevice::ReadOnly)) {
        Fail(kErrorLocalFile, localFile + QStringLiteral(": ") + file->errorString());
        return false;
    }
    fFile = std::move(file);
    RemoteFile = remoteFile;
    DocInput.FileName = localFile;
    DocInput.BytesTotal = fFile->size();
    DocInput.BytesTransferred = 0;
    fSent = 0;
    fStorAccepted = false;
    fDataDone = false;
    SetBusy(true);
    Command("TYPE I");
    Expect(Phase::Type);
    return true;
}

void TFTP::PutReply(const TServerReply& reply) {
    switch (fPhase) {
    case Phase::Type:
        if (reply.code != 200)
            break;
        if (PassiveMode) {
            Command("EPSV");
            Expect(Phase::Epsv);
        } else {
            ListenForData();
        }
        return;
    case Phase::Epsv:
        if (reply.code == 229) {
            static const QRegularExpression re(QStringLiteral("\\(([!-~])\\1\\1(\\d+)\\1\\)"));
            const QRegularExpressionMatch m = re.match(reply.text());
            const int port = m.hasMatch() ? m.captured(2).toInt() : 0;
            if (port > 0 && port < 65536) {
                OpenDataConnection(quint16(port));
                return;
            }
            Fail(kErrorProtocol, QStringLiteral("Malformed EPSV reply: ") + reply.text());
            EndPut(false);
            return;
        }
        if (reply.code >= 500) {
            Command("PASV");
            Expect(Phase::Pasv);
            return;
        }
        break;
    case Phase::Pasv:
        if (reply.code == 227) {
            // The address part is ignored: a server behind NAT often names
            // an address nobody can reach, and a hostile one a third host.
            static const QRegularExpression re(
                QStringLiteral("(\\d+),\\s*(\\d+),\\s*(\\d+),\\s*(\\d+),\\s*(\\d+),\\s*(\\d+)"));
            const QRegularExpressionMatch m = re.match(reply.text());
            const int port = m.hasMatch() ? m.captured(5).toInt() * 256 + m.captured(6).toInt() : 0;
            if (port > 0 && port < 65536 && m.captured(5).toInt() < 256 && m.captured(6).toInt() < 256) {
                OpenDataConnection(quint16(port));
                return;
            }
            Fail(kErrorProtocol, QStringLiteral("Malformed PASV reply: ") + reply.text());
            EndPut(false);
            return;
        }
        break;
    case Phase::Port:
        if (reply.code != 200)
            break;
        Command("STOR " + RemoteFile.toUtf8());
        Expect(Phase::Stor);
        return;
    case Phase::Stor:
        if (reply.code != 125 && reply.code != 150)
            break;
        fStorAccepted = true;
        fPhase = Phase::Transfer;
        fWait.start(Timeout);
        if (fData && fData->state() == QAbstractSocket::ConnectedState)
            PumpData();
        return;
    case Phase::Transfer:
    case Phase::Finish:
        if (reply.code == 226 || reply.code == 250) {
            if (fDataDone && fSent == DocInput.BytesTotal) {
                EndPut(true);
            } else {
                Fail(kErrorDataConnection, QStringLiteral("The server ended the upload early: ") + reply.text());
                EndPut(false);
            }
            return;
        }
        break;
    case Phase::DataConnect:
        break;
    default:
        return;
    }
    FailReply(reply);
    EndPut(false);
}

void TFTP::OpenDataConnection(quint16 port) {
    DropData();
    fData = new QTcpSocket(this);
    connect(fData, &QTcpSocket::connected, this, &TFTP::DataConnected);
    connect(fData, &QTcpSocket::bytesWritten, this, &TFTP::PumpData);
    connect(fData, &QTcpSocket::errorOccurred, this, &TFTP::DataError);
    connect(fData, &QTcpSocket::disconnected, this, &TFTP::PumpData);
    Expect(Phase::DataConnect);
    fData->connectToHost(fControl->peerAddress(), port);
}

void TFTP::DataConnected() {
    fData->setSocketOption(QAbstractSocket::LowDelayOption, 0);
    if (fPhase == Phase::DataConnect) {
        Command("STOR " + RemoteFile.toUtf8());
        Expect(Phase::Stor);
    } else if (fStorAccepted) {
        PumpData();
    }
}

void TFTP::ListenForData() {
    delete fListener;
    fListener = new QTcpServer(this);
    QHostAddress local = fControl->localAddress();
    bool v4 = false;
    const quint32 a = local.toIPv4Address(&v4);
    if (!fListener->listen(v4 ? QHostAddress(a) : local, 0)) {
        Fail(kErrorDataConnection, fListener->errorString());
        EndPut(false);
        return;
    }
    connect(fListener, &QTcpServer::newConnection, this, &TFTP::DataAccepted);
    const quint16 port = fListener->serverPort();
    if (v4) {
        Command(QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
                    .arg((a >> 24) & 255).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255)
                    .arg(port >> 8).arg(port & 255)
                    .toLatin1());
    } else {
        Command(QStringLiteral("EPRT |2|%1|%2|").arg(local.toString()).arg(port).toLatin1());
    }
    Expect(Phase::Port);
}

void TFTP::DataAccepted() {
    while (fListener && fListener->hasPendingConnections()) {
        QTcpSocket* s = fListener->nextPendingConnection();
        if (fData || !SameHost(s->peerAddress(), fControl->peerAddress())) {
            s->abort();
            s->deleteLater();
            continue;
        }
        fData = s;
        connect(fData, &QTcpSocket::bytesWritten, this, &TFTP::PumpData);
        connect(fData, &QTcpSocket::errorOccurred, this, &TFTP::DataError);
        connect(fData, &QTcpSocket::disconnected, this, &TFTP::PumpData);
        fListener->close();
        if (fStorAccepted)
            PumpData();
    }
}

void TFTP::PumpData() {
    if (!fData || !fFile || !fStorAccepted)
        return;
    if (fData->state() == QAbstractSocket::UnconnectedState) {
        if (fSent == DocInput.BytesTotal && !fFile->bytesAvailable() && fData->bytesToWrite() == 0) {
            fDataDone = true;
            fPhase = Phase::Finish;
            fWait.start(Timeout);
        }
        return;
    }
    if (fData->state() != QAbstractSocket::ConnectedState)
        return;
    while (!fFile->atEnd() && fData->bytesToWrite() < kAhead) {
        const QByteArray chunk = fFile->read(kChunk);
        if (chunk.isEmpty()) {
            Fail(kErrorLocalFile, DocInput.FileName + QStringLiteral(": ") + fFile->errorString());
            EndPut(false);
            return;
        }
        fData->write(chunk);
        fSent += chunk.size();
    }
    DocInput.BytesTransferred = fSent - fData->bytesToWrite();
    fWait.start(Timeout);
    if (fFile->atEnd() && fData->bytesToWrite() == 0)
        fData->disconnectFromHost();
}

void TFTP::DataError() {
    if (!fData || !fFile)
        return;
    if (fData->error() == QAbstractSocket::RemoteHostClosedError && fFile->atEnd() && fData->bytesToWrite() == 0) {
        PumpData();
        return;
    }
    Fail(kErrorDataConnection, QStringLiteral("Data connection: ") + fData->errorString());
    EndPut(false);
}

void TFTP::EndPut(bool confirmed) {
    DropData();
    fFile.reset();
    if (fPhase != Phase::Idle && fPhase != Phase::Quitting)
        fPhase = Phase::LoggedIn;
    fWait.stop();
    if (confirmed)
        DocInput.BytesTransferred = DocInput.BytesTotal;
    SetBusy(false);
    emit PutDone(confirmed);
}

void TFTP::DropData() {
    if (fData) {
        fData->disconnect(this);
        fData->abort();
        fData->deleteLater();
        fData = nullptr;
    }
    if (fListener) {
        fListener->close();
        fListener->deleteLater();
        fListener = nullptr;
    }
}

void TFTP::Quit() {
    if (fState == 6)
        return;
    if (fFile) {
        Fail(kErrorClosed, QStringLiteral("Upload interrupted by Quit"));
        EndPut(false);
    }
    const bool open = fControl && fControl->state() == QAbstractSocket::ConnectedState &&
                      fPhase != Phase::Resolving && fPhase != Phase::Connecting && fPhase != Phase::Greeting;
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

void TFTP::Command(const QByteArray& line) { fControl->write(line + "\r\n"); }

void TFTP::Expect(Phase phase) {
    fPhase = phase;
    fWait.start(Timeout);
}

void TFTP::Fail(int number, const QString& description) {
    Errors = QStringList{description};
    emit Error(number, description);
}

void TFTP::FailReply(const TServerReply& reply) {
    Errors = reply.lines;
    emit Error(reply.code, reply.text());
}

void TFTP::WaitTimedOut() {
    if (fPhase == Phase::Quitting || fPhase == Phase::Idle) {
        TearDown();
        return;
    }
    Fail(kErrorTimeout, QStringLiteral("Timeout waiting for the FTP server"));
    if (fFile)
        EndPut(false);
    TearDown();
}

void TFTP::TearDown() {
    if (fFile)
        EndPut(false);
    fWait.stop();
    fPhase = Phase::Idle;
    StopLookup();
    fPassword.clear();
    DropData();
    fFile.reset();
    fAddresses.clear();
    if (fControl)
        fControl->abort();
    fReader.Clear();
    fProtocolState = 0;
    SetBusy(false);
    EndStates();
}

}  // namespace vandrex
