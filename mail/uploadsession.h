#pragma once
// The behaviour of the FTP settings and the upload without widgets: the
// connect button i_modeGIFSButton, SendFTPicture, FTP1's events, the upload
// (FTPSButton) with its time-stamped or series name, and the picture-format
// choice. The window implements TUploadView and calls the handler of the
// same name from each control's event.

#include <QObject>
#include <QString>

#include "controls/lampcolor.h"
#include "mail/ftp.h"
#include "mail/ftpnames.h"
#include "mail/mailsession.h"

namespace vandrex {

struct TUploadFields {
    QString host;        // RemoteHost_Edit
    QString user;        // UserIDEdit
    QString password;    // PasswordEdit (never shown, logged or put in a status text)
    QString port = QStringLiteral("21");  // RemotePort_Edit
    bool passive = true; // FTP_Prefix
    QString smtpServer;  // SMTPEdit
    QString recipient;   // Edit10
    TMailChoice choice = TMailChoice::Audio;
    bool timerLit = false;  // LED_Timer
    QString folder = QStringLiteral(".");  // where the snapshot and clip files lie
};

// Window geometry and buttons of a picture-format choice.
struct TPictureLayout {
    int windowWidth;
    int webAddressWidth;  // WebSiteAddressEdit
    int menuBorder;
    bool mediaButtonsFlat;  // RealMedia, background- and text-colour buttons hidden
    QString statusText;
};

class TUploadView {
public:
    virtual ~TUploadView() = default;
    virtual TUploadFields Fields() const = 0;
    virtual void SetStatusText(const QString& text) = 0;        // ConnectStatus panel 0
    virtual void SetLampLit(bool lit) = 0;                      // LED_i_modeGIF
    virtual void SetLampColor(TLampColor color) = 0;
    virtual void SetBusyCursor(bool busy) = 0;                  // hourglass / default
    virtual void ShowCounters(const QString& total, const QString& count) = 0;
    virtual void SetWindowWidth(int width, int menuBorder) = 0;
    virtual void SelectJpg() = 0;                               // JPGRadioButton checked
    // Saves the i-mode display encoder's picture (PhoneDisplayEncoder1) as path.
    virtual void SaveDisplayPicture(const QString& path) = 0;
    virtual void ApplyPictureLayout(const TPictureLayout& layout) = 0;
    // What a picture-format choice changes beyond the mail group.
    virtual void DisableRecorderItems() {}                      // RecorderStatus, Compress1
    virtual void ShowImodeLogo() {}                             // display encoder hidden, logo shown
    virtual void ResetPageSizeBar() {}                          // GIFSizeBar 0, its start hint
    virtual void StopProbe() {}                                 // Timer_ProbeBox checked: stop encoding, uncheck
    virtual void SwitchLzwOff() {}                              // NEC_Display_LED green
    virtual void LineClose() = 0;                               // Modem1.Close
    virtual void ProcessMessages() {}
};

inline const QString kUploadDone = QStringLiteral("FTP UpLoad Complete");
inline const QString kUploadFailed = QStringLiteral("FTP UpLoad Failed");

class TUploadSession : public QObject {
    Q_OBJECT
public:
    // Binds FTP1's events (and the added error and upload-done events).
    TUploadSession(TFTP& ftp, TUploadView& view, TTransferCounters& counters, QObject* parent = nullptr);

    void i_modeGIFSButtonClick();
    // Throws EConvertError when the port is not a number (nothing connects).
    void SendFTPicture();
    // Throws EInOutError when the local file is missing (nothing is uploaded).
    void FTPSButtonClick();
    void GIFRadioButtonClick();
    void JPGRadioButtonClick();
    // Starting the time-lapse timer begins a new series name.
    void TimerStarted() { fSeries.Reset(); }

    void FTP1ProtocolStateChanged(int protocolState);
    void FTP1StateChanged(int state);
    void FTP1Busy(bool isBusy);
    void FTP1Error(int number, const QString& description);
    void FTP1PutDone(bool confirmed);

    // The name the last upload used (empty until one ran): the mail's file URL.
    QString RemoteFileName() const { return fRemoteName; }
    QString LocalFileName() const { return fLocalName; }
    bool LampLit() const { return fLampLit; }

private:
    TFTP& fFtp;
    TUploadView& fView;
    TTransferCounters& fCounters;
    TSeriesName fSeries;
    QString fLocalName = QStringLiteral("Snapshot.gif");
    QString fRemoteName;
    QString fUser, fPassword;
    qint64 fPendingSize = 0;
    bool fLampLit = false;
    bool fReconnect = false;  // SendFTPicture waits for the old session to close
    QString fHost;
    int fPort = 21;
};

}  // namespace vandrex
