#pragma once
// The behaviour of the mail panel's SMTP controls without widgets: Login,
// Send, the status texts of SMTP1's events, the error box and the byte
// counter. The window implements TMailView (reads its controls into
// TMailPanelFields, writes what the session reports) and calls the handler
// of the same name from each control's event.

#include <QColor>
#include <QObject>
#include <QString>

#include "mail/mailmessage.h"
#include "mail/smtp.h"

namespace vandrex {

// The controls the handlers read, as values at the moment of the call.
struct TMailPanelFields {
    QString smtpServer;                            // SMTPEdit
    QString recipient;                             // Edit10 / RecipientAddress
    QString sender;                                // SenderAddress
    QString accountName = QStringLiteral("Your Account");
    QString subject;                               // Onderwerp
    QString text;                                  // MailSheet, lines joined by CR LF
    QString key;                                   // Key
    bool sign = false;                             // CheckBox2
    TMailChoice choice = TMailChoice::Audio;       // the radio group
    bool html = false;                             // LED_i_modeGIF lit
    bool objectPage = false;                       // ObjectCheckBox
    QString sheet = QStringLiteral("Audio");       // ObjectRichEdit
    QString fontSize = QStringLiteral("12");       // FontSize
    QString fontColor = QStringLiteral("000000");  // FontColor
    QString backgroundColor = QStringLiteral("FFFFFF");  // BackGroundColor
    QString fileUrl;                               // FileUrl(WebSiteAddressEdit, remote name)
};

// Transfer total and count of the window, shared with uploads and the data
// phone; shown in WebPhoneStatusBar2 and WebPhoneStatusBar4.
struct TTransferCounters {
    qint64 total = 0;
    int count = 0;
};

class TMailView {
public:
    virtual ~TMailView() = default;
    virtual TMailPanelFields Fields() const = 0;
    virtual void SetStatusText(const QString& text) = 0;        // ConnectStatus panel 0
    virtual void RepaintStatus() {}                              // repaint the status bar at once
    virtual void SetConnectionCaption(const QString& text) = 0;  // Connection button
    virtual void ShowCounters(const QString& total, const QString& count) = 0;  // WebPhoneStatusBar2 / 4
    virtual void SetMailSheet2(const QString& text) = 0;
    virtual void ShowKey(bool visible, int subjectWidth) = 0;    // Key shown, Onderwerp width
    virtual void LineOpen() = 0;                                 // Modem1.Open
    virtual void LineClose() = 0;                                // Modem1.Close
    virtual void ProcessMessages() {}
};

// Shown when Send is pressed while the previous mail is still on the way.
inline const QString kMailBusyMessage = QStringLiteral("MAIL TRANSFER IN PROGRESS !");

class TMailSession : public QObject {
    Q_OBJECT
public:
    // Binds SMTP1's three events to the handlers below.
    TMailSession(TSMTP& smtp, TMailView& view, TTransferCounters& counters, QObject* parent = nullptr);

    void ConnectionClick();
    void Connect();
    // Throws EConvertError when the object page's font size is not a number.
    void SendBtnClick();
    void MailSheetChange(int length);
    void OnderwerpChange(int length);
    void KeyChange(int length);
    void CheckBox2Click(bool checked);

    void SMTP1StateChanged(int state);
    void SMTP1DocInput(TDocInput* docInput);
    void SMTP1Error(int number, const QString& description, bool* cancelDisplay);

    bool TransmissionFailed() const { return fFailed; }

private:
    void ShowByteCount();

    TSMTP& fSmtp;
    TMailView& fView;
    TTransferCounters& fCounters;
    bool fFailed = false;
    int fTextLength = 0, fSubjectLength = 0, fKeyLength = 0;
    qint64 fPendingLength = 0;  // characters of the mail on the way
};

// BGColorSButtonClick / TextColorSButtonClick: HTMLBGColorDialog through the
// dialog service. A cancelled dialog yields its current colour (white until
// one was chosen). Returns RRGGBB for BackGroundColor or FontColor.
class THtmlColorDialog {
public:
    QString Run();
    QColor Current() const { return fCurrent; }
private:
    QColor fCurrent = Qt::white;
};

}  // namespace vandrex
