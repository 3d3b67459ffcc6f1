#include "mail/mailsession.h"

#include "platform/dialogs.h"

namespace vandrex {

TMailSession::TMailSession(TSMTP& smtp, TMailView& view, TTransferCounters& counters, QObject* parent)
    : QObject(parent), fSmtp(smtp), fView(view), fCounters(counters) {
    connect(&smtp, &TSMTP::StateChanged, this, &TMailSession::SMTP1StateChanged);
    connect(&smtp, &TSMTP::DocInputChanged, this, &TMailSession::SMTP1DocInput);
    connect(&smtp, &TSMTP::Error, this, &TMailSession::SMTP1Error);
}

void TMailSession::ConnectionClick() {
    // Logging off needs neither an address nor the i-mode test.
    if (fSmtp.State() == 4) {
        Connect();
        return;
    }
    const TMailPanelFields f = fView.Fields();
    if (f.recipient.isEmpty()) {
        ShowMessage(QStringLiteral("NO E-MAIL ADDRESS !"));
        return;
    }
    const QString refusal = ImodeRefusal(f.choice, f.recipient, TRefusalWording::Login);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal);
        return;
    }
    Connect();
}

void TMailSession::Connect() {
    const QString server = fView.Fields().smtpServer;
    if (fSmtp.State() == 4) {
        fFailed = false;
        fView.SetConnectionCaption(QStringLiteral("Logout"));
        fView.ProcessMessages();
        fSmtp.Quit();
        fView.LineOpen();
    } else if (fSmtp.State() == 6) {
        fView.SetConnectionCaption(QStringLiteral("Login"));
        fSmtp.RemoteHost = server;
        fFailed = false;
        // The modem and the network connection are not used at the same time.
        fView.LineClose();
        fSmtp.Connect();
    }
}

void TMailSession::SendBtnClick() {
    if (fSmtp.State() != 4)
        return;
    if (fSmtp.Sending()) {
        ShowMessage(kMailBusyMessage);
        return;
    }
    fFailed = false;
    const TMailPanelFields f = fView.Fields();
    if (f.recipient.isEmpty()) {
        ShowMessage(QStringLiteral("NO E-MAIL ADDRESS !"));
        return;
    }
    TSendInput in;
    in.fields = {f.recipient, f.sender, f.subject, f.text, f.key, f.sign, f.html};
    const QString unsafe = CheckHeaderFields(in.fields);
    if (!unsafe.isEmpty()) {
        ShowMessage(unsafe);
        return;
    }
    in.page.choice = f.choice;
    in.page.fontSize = f.fontSize;
    in.page.fontColor = f.fontColor;
    in.page.backgroundColor = f.backgroundColor;
    in.page.fileUrl = f.fileUrl;
    in.objectPage = f.objectPage;
    in.sheet = f.sheet;
    const TComposedMail mail = ComposeMail(in);
    if (f.html)
        fView.SetMailSheet2(mail.body);
    fPendingLength = mail.body.size();
    fSmtp.SendDoc(mail.headers, mail.body);
}

void TMailSession::SMTP1StateChanged(int state) {
    const TMailPanelFields f = fView.Fields();
    const QString& server = f.smtpServer;
    switch (state) {
    case 1:
        fView.SetStatusText(QStringLiteral("Connecting to Mailserver: ") + server + QStringLiteral("..."));
        break;
    case 2:
        fView.SetStatusText(QStringLiteral("Checking Account: ") + f.accountName);
        break;
    case 3:
        fView.SetStatusText(f.accountName + QStringLiteral(": OK"));
        break;
    case 4:
        fView.SetStatusText(QStringLiteral("Connected with Mailserver: ") + server);
        fView.SetConnectionCaption(QStringLiteral("Logoff"));
        break;
    case 5:
        fView.SetStatusText(QStringLiteral("Disconnecting Mailserver: ") + server + QStringLiteral("..."));
        break;
    case 6:
        fView.SetStatusText(QStringLiteral("Disconnected from Mailserver: ") + server);
        fView.SetConnectionCaption(QStringLiteral("Login"));
        break;
    default:
        break;
    }
}

void TMailSession::SMTP1DocInput(TDocInput* doc) {
    switch (doc->State) {
    case TDocInput::StateMailFrom:
        fView.SetStatusText(QStringLiteral("Initiating Transmission"));
        break;
    case TDocInput::StateRcptTo:
        fView.SetStatusText(QStringLiteral("Sending Addressinformation"));
        break;
    case TDocInput::StateSending:
        if (doc->BytesTotal < 1) {
            fView.SetStatusText(QStringLiteral("Sending ..."));
        } else {
            // 64-bit: bytes x 100 leaves 32 bits above 21 MB.
            const qint64 percent = doc->BytesTransferred * 100 / doc->BytesTotal;
            fView.SetStatusText(QStringLiteral("Data send: %1 of %2 bytes(%3%)")
                                    .arg(doc->BytesTransferred)
                                    .arg(doc->BytesTotal)
                                    .arg(percent));
        }
        break;
    case TDocInput::StateEnd:
        if (fFailed) {
            fView.SetStatusText(QStringLiteral("Transmission Terminated"));
        } else {
            fView.SetStatusText(QStringLiteral("Mail send to %1 (%2 bytes data)")
                                    .arg(fView.Fields().recipient)
                                    .arg(doc->BytesTransferred));
            // Only a mail the server accepted counts.
            fCounters.total += fPendingLength;
            fCounters.count += 1;
            fView.ShowCounters(QString::number(fCounters.total), QString::number(fCounters.count));
        }
        fPendingLength = 0;
        break;
    default:
        return;
    }
    fView.RepaintStatus();
}

void TMailSession::SMTP1Error(int number, const QString& description, bool* cancelDisplay) {
    fFailed = true;
    if (cancelDisplay)
        *cancelDisplay = true;
    if (fView.Fields().recipient.isEmpty())
        return;
    QString last;
    for (const QString& entry : fSmtp.Errors)
        last = QStringLiteral("\r(%1)").arg(entry);
    // Blanks and control characters off both ends.
    qsizetype b = 0, e = last.size();
    while (b < e && last[b].unicode() <= 0x20) ++b;
    while (e > b && last[e - 1].unicode() <= 0x20) --e;
    last = last.mid(b, e - b);
    ShowError(QStringLiteral("%1 - %2%3").arg(number).arg(description, last));
}

void TMailSession::MailSheetChange(int length) {
    fTextLength = length;
    ShowByteCount();
}

void TMailSession::OnderwerpChange(int length) {
    fSubjectLength = length;
    ShowByteCount();
}

void TMailSession::KeyChange(int length) {
    fKeyLength = length;
    ShowByteCount();
}

void TMailSession::ShowByteCount() {
    fView.SetStatusText(QString::number(fTextLength + fSubjectLength + fKeyLength) + QStringLiteral(" Bytes"));
}

void TMailSession::CheckBox2Click(bool checked) { fView.ShowKey(checked, checked ? 166 : 218); }

QString THtmlColorDialog::Run() {
    if (const std::optional<QColor> chosen = Dialogs().ChooseColor(fCurrent))
        fCurrent = *chosen;
    const quint32 windowsValue = quint32(fCurrent.red()) | (quint32(fCurrent.green()) << 8) |
                                 (quint32(fCurrent.blue()) << 16);
    return HtmlColorFromWindows(windowsValue);
}

}  // namespace vandrex
