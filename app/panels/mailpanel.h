#pragma once
// The e-mail group MailEntryForm (server, Login, subject, text, signature,
// picture choice, Send), the chat controls and FTP settings that share its
// place, the HTML page controls HTMLBox and the web address
// WebSiteAddressEdit with its check box, the FTP connect and upload buttons.
// Owns the mail settings: sender and recipient address, account name, object
// sheet names and index, transfer counters.

#include <QObject>
#include <QStringList>
#include <array>
#include <exception>
#include <functional>

#include "app/panels/windowmode.h"
#include "imaging/timelapse.h"
#include "mail/mailsession.h"
#include "mail/uploadsession.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class QWidget;

namespace vandrex {

class TMailPanel : public QObject {
    Q_OBJECT
public:
    TMailPanel(QWidget* client, QObject* parent);

    bool ChatChecked() const;
    // The chat line (MailEntryChatEdit) and the chat memo.
    QString ChatLineText() const;
    void ClearChatLine();
    void AddChatMemoLine(const QString& line);
    void SetHtmlBoxVisible(bool visible);
    bool FtpChecked() const;
    // The checked one of the format radio buttons (gif, jpg, Audio, Video).
    TCaptureFormat PictureFormat() const;

    // ShowCard's steps for this panel.
    void ShowCardSide(bool bigDisplay);
    void ApplyCloneState(bool isClone);
    void ResetSignature();
    void Layout(WindowMode mode);

    // The mail recipient: the e-mail address of the card shown.
    QString RecipientAddress() const { return recipientAddress_; }
    void SetRecipientAddress(const QString& address) { recipientAddress_ = address; }

    // Activation: the settings and counters of the mail tools.
    void Activate(const QString& instanceNumber);
    QString SenderAddress() const { return senderAddress_; }
    QString AccountName() const { return accountName_; }
    const QStringList& ObjectSheetNames() const { return objectSheetNames_; }
    qint64 MailTransferTotal() const { return counters_.total; }
    int MailTransferCount() const { return counters_.count; }
    // The window's one transfer total and count, shared by mail and upload.
    TTransferCounters& Counters() { return counters_; }

    // What the mail and upload handlers read. The FTP lamp, the timer lamp
    // and the last upload's name live elsewhere and are handed in.
    TMailPanelFields MailFields(bool ftpLampLit, const QString& remoteFileName) const;
    TUploadFields UploadFields(bool timerLit) const;

    // What they write back.
    void SetConnectionCaption(const QString& text);
    void SetMailSheet2(const QString& text);
    QString MailSheet2Text() const;
    void ShowKey(bool visible, int subjectWidth);
    void SelectJpg();
    // Web address width and the RealMedia/colour buttons of a picture format.
    void ApplyPictureLayout(int webAddressWidth, bool mediaButtonsFlat);
    void SetBackGroundColor(const QString& rrggbb);
    void SetFontColor(const QString& rrggbb);
    // ObjectUpDown: the sheet index moves down (+1) or up (-1) within the names.
    void StepObjectSheet(bool down);
    int ObjectSheetIndex() const { return objectSheetIndex_; }
    // WebSiteAddressCheckBoxClick: checked, the web address may be edited.
    void WebSiteAddressCheckBoxClick();
    // One click on FTPSButton, as the time-lapse timer and the end of a timed
    // recording make it. The upload's error comes back to the caller.
    void ClickFTPSButton();
    // Runs FTPSButton's handler: the error of a user's click goes to the
    // error box, that of ClickFTPSButton back to its caller.
    void RunFTPSButtonHandler(const std::function<void()>& handler);

    // Clone mode writes its notices where the web address stands, and gives
    // the field its start text back when the last clone has gone.
    void ShowWebSiteNotice(const QString& text);
    void UnlockAfterClones();

    // The sender mail domain of SenderAddress.
    static inline const QString kSenderDomain = QStringLiteral("vandrex.invalid");
    static inline const QString kNoFtpValues = QStringLiteral("No FTP Values : WebSite Address Unknown !");

signals:
    void MailChatBoxClicked();
    void FTPCheckBoxClicked();
    void ConnectionClicked();
    void SendBtnClicked();
    void MailEntryEditButtonClicked();
    // Text lengths after a change (the memo's lines joined by CR LF).
    void MailSheetChanged(int length);
    void OnderwerpChanged(int length);
    void KeyChanged(int length);
    void CheckBox2Clicked(bool checked);
    void i_modeGIFSButtonClicked();
    // The user's click, or one the time-lapse timer or a timed recording makes.
    void FTPSButtonClicked();
    void GIFRadioButtonClicked();
    void JPGRadioButtonClicked();
    void BGColorSButtonClicked();
    void TextColorSButtonClicked();

private:
    void setMailControlsVisible(bool visible);
    void setPictureChoicesVisible(bool visible);
    void setChatControlsVisible(bool visible);
    void setFtpControlsVisible(bool visible);
    void setGroup(const QString& caption, int width);
    void showWebSiteAddress();
    void setHtmlFieldsVisible(bool visible);
    void setWebSiteAddressWidth(int width);

    QGroupBox* MailEntryForm = nullptr;
    QLabel* SMTPLabel = nullptr;
    QLineEdit* SMTPEdit = nullptr;
    QCheckBox* MailChatBox = nullptr;
    QCheckBox* FTPCheckBox = nullptr;
    QPushButton* Connection = nullptr;
    QLineEdit* Onderwerp = nullptr;
    QLineEdit* Key = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QPushButton* SendBtn = nullptr;
    QPlainTextEdit* MailSheet = nullptr;
    QPlainTextEdit* MailEntryChatMemo = nullptr;
    QLineEdit* MailEntryChatEdit = nullptr;
    QPushButton* MailEntryEditButton = nullptr;
    std::array<QLabel*, 4> ftpLabels_{};  // RemoteHostLabel, UserIDLabel, PasswordLabel, PortLabel
    std::array<QWidget*, 5> htmlFields_{};  // FontSize, FontColor, TextColorSButton, BackGroundColor, BGColorSButton
    QLineEdit* RemoteHost_Edit = nullptr;
    QLineEdit* UserIDEdit = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QLineEdit* RemotePort_Edit = nullptr;
    QCheckBox* FTP_Prefix = nullptr;
    QPushButton* i_modeGIFSButton = nullptr;
    QPushButton* FTPSButton = nullptr;
    QPlainTextEdit* MailSheet2 = nullptr;
    QLineEdit* FontSize = nullptr;
    QLineEdit* FontColor = nullptr;
    QLineEdit* BackGroundColor = nullptr;
    QToolButton* BGColorSButton = nullptr;
    QToolButton* TextColorSButton = nullptr;
    QRadioButton* GIFRadioButton = nullptr;
    QRadioButton* JPGRadioButton = nullptr;
    QRadioButton* AudioRadioButton = nullptr;
    QRadioButton* Video_RadioButton = nullptr;
    QGroupBox* HTMLBox = nullptr;
    QSpinBox* ObjectUpDown = nullptr;
    QLineEdit* ObjectRichEdit = nullptr;
    QCheckBox* ObjectCheckBox = nullptr;
    QLineEdit* WebSiteAddressEdit = nullptr;
    QCheckBox* WebSiteAddressCheckBox = nullptr;

    QString webSiteStartText_;
    QString recipientAddress_;
    QString senderAddress_;
    QString accountName_ = QStringLiteral("Your Account");
    QStringList objectSheetNames_;
    int objectSheetIndex_ = 0;
    bool bigDisplay_ = false;  // NEC_Display_LED lit at the last ShowCard
    bool madeClick_ = false;   // inside ClickFTPSButton
    std::exception_ptr clickError_;
    TTransferCounters counters_;
};

}  // namespace vandrex
