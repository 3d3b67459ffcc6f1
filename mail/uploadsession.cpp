#include "mail/uploadsession.h"

#include <QDir>
#include <QFileInfo>

#include "platform/dialogs.h"
#include "platform/exceptions.h"

namespace vandrex {

TUploadSession::TUploadSession(TFTP& ftp, TUploadView& view, TTransferCounters& counters, QObject* parent)
    : QObject(parent), fFtp(ftp), fView(view), fCounters(counters) {
    connect(&ftp, &TFTP::ProtocolStateChanged, this, &TUploadSession::FTP1ProtocolStateChanged);
    connect(&ftp, &TFTP::StateChanged, this, &TUploadSession::FTP1StateChanged);
    connect(&ftp, &TFTP::Busy, this, &TUploadSession::FTP1Busy);
    connect(&ftp, &TFTP::Error, this, &TUploadSession::FTP1Error);
    connect(&ftp, &TFTP::PutDone, this, &TUploadSession::FTP1PutDone);
}

void TUploadSession::i_modeGIFSButtonClick() {
    const TUploadFields f = fView.Fields();
    if (f.host.isEmpty() || f.user.isEmpty() || f.password.isEmpty() || f.smtpServer.isEmpty())
        return;
    fView.ProcessMessages();
    if (fLampLit) {
        fView.SetWindowWidth(400, 383);
        // Checking the button runs its click handler, as a user's click
        // would: the JPEG layout fits the narrow window again.
        fView.SelectJpg();
        JPGRadioButtonClick();
        fView.ProcessMessages();
        fFtp.Quit();
        fFtp.Blocking = false;
        return;
    }
    if (f.choice == TMailChoice::Gif) {
        fLocalName = vandrex::LocalFileName(TMailChoice::Gif);
        fView.SetWindowWidth(563, 552);
        SendFTPicture();
        return;
    }
    // The i-mode domain, as at Login: the sender's own domain never matches a card.
    const QString refusal = ImodeRefusal(f.choice, f.recipient, TRefusalWording::Upload);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal);
        return;
    }
    fLocalName = vandrex::LocalFileName(f.choice);
    SendFTPicture();
}

void TUploadSession::SendFTPicture() {
    const TUploadFields f = fView.Fields();
    bool ok = false;
    const int port = f.port.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError("'" + f.port.toStdString() + "' is not a valid integer value");
    fUser = f.user;
    fPassword = f.password;
    fHost = f.host;
    fPort = port;
    fView.LineClose();
    fView.ProcessMessages();
    fFtp.PassiveMode = f.passive;
    if (fFtp.State() != 6) {
        // Connect acts only once the old session has closed.
        fReconnect = true;
        fFtp.Quit();
        return;
    }
    fFtp.Connect(fHost, fPort);
}

void TUploadSession::FTP1ProtocolStateChanged(int protocolState) {
    if (protocolState != 1)
        return;
    fFtp.Authenticate(fUser, fPassword);
    fView.SetLampColor(TLampColor::Green);
}

void TUploadSession::FTP1StateChanged(int) {
    // The control's current state, not the event's argument.
    switch (fFtp.State()) {
    case 1: fView.SetStatusText(QStringLiteral("Connecting")); break;
    case 2: fView.SetStatusText(QStringLiteral("Resolving Host")); break;
    case 3: fView.SetStatusText(QStringLiteral("Host Resolved")); break;
    case 4:
        fView.SetStatusText(QStringLiteral("Connected to: ") + fFtp.RemoteHost);
        fLampLit = true;
        fView.SetLampLit(true);
        break;
    case 5: fView.SetStatusText(QStringLiteral("Disconnecting")); break;
    case 6:
        fView.SetStatusText(QStringLiteral("Disconnected"));
        fLampLit = false;
        fPendingSize = 0;
        fView.SetLampColor(TLampColor::Red);
        fView.SetLampLit(false);
        if (fReconnect) {
            fReconnect = false;
            QMetaObject::invokeMethod(this, [this] { fFtp.Connect(fHost, fPort); }, Qt::QueuedConnection);
        }
        break;
    default: break;
    }
}

void TUploadSession::FTP1Busy(bool isBusy) {
    fView.SetBusyCursor(isBusy);
    fView.SetLampColor(isBusy ? TLampColor::Yellow : TLampColor::Green);
}

void TUploadSession::FTP1Error(int number, const QString& description) {
    ShowError(QStringLiteral("%1 - %2").arg(number).arg(description));
    // A refused login ends the session (the lamp goes red).
    if (fFtp.State() == 4 && fFtp.ProtocolState() == 1)
        fFtp.Quit();
}

void TUploadSession::FTPSButtonClick() {
    fView.ProcessMessages();
    if (fFtp.State() != 4) {
        fView.SetStatusText(QStringLiteral("Not Connected with FTP Server"));
        return;
    }
    // A click (the time-lapse timer's too) while an upload runs is dropped.
    if (fFtp.IsBusy() || fPendingSize > 0)
        return;
    const TUploadFields f = fView.Fields();
    fRemoteName.clear();
    fLocalName = vandrex::LocalFileName(f.choice);
    const QString path = QDir(f.folder).filePath(fLocalName);
    if (f.choice == TMailChoice::Gif)
        fView.SaveDisplayPicture(path);
    fRemoteName = fSeries.Next(f.timerLit, QDateTime::currentDateTime(), fLocalName);
    QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw EInOutError("File not found: " + path.toStdString());
    const qint64 size = info.size();
    fFtp.DocInput.ClearHeaders();
    fFtp.DocInput.AddHeader(QStringLiteral("content-type"), UploadContentType(f.choice));
    fFtp.DocInput.AddHeader(QStringLiteral("content-length"), QString::number(size));
    fFtp.DocInput.FileName = fLocalName;
    fFtp.RemoteFile = fRemoteName;
    fFtp.URL = UploadUrl(f.user, f.password, f.host, f.port, fRemoteName);
    fPendingSize = size > 0 ? size : 1;  // marks the upload as running
    if (!fFtp.Put(path, fRemoteName)) {
        fPendingSize = 0;
        return;
    }
    fView.ProcessMessages();
    if (fPendingSize > 0)
        fView.SetStatusText(QStringLiteral("FTP UpLoad in Progress"));
}

void TUploadSession::FTP1PutDone(bool confirmed) {
    const qint64 size = fFtp.DocInput.BytesTotal;
    fPendingSize = 0;
    if (!confirmed) {
        fView.SetStatusText(kUploadFailed);
        return;
    }
    fCounters.total += size;
    fCounters.count += 1;
    fView.ShowCounters(QString::number(fCounters.total), QString::number(fCounters.count));
    fView.SetStatusText(kUploadDone);
}

void TUploadSession::GIFRadioButtonClick() {
    fView.DisableRecorderItems();
    fLocalName = vandrex::LocalFileName(TMailChoice::Gif);
    fView.ShowImodeLogo();
    fView.ResetPageSizeBar();
    fView.ApplyPictureLayout({561, 518, 550, true, QStringLiteral("i-mode")});
}

void TUploadSession::JPGRadioButtonClick() {
    fView.DisableRecorderItems();
    fView.StopProbe();
    fView.SwitchLzwOff();
    fLocalName = vandrex::LocalFileName(TMailChoice::Jpg);
    fView.ApplyPictureLayout({400, 357, 386, false, QStringLiteral("Jpeg mode")});
}

}  // namespace vandrex
