#pragma once
// The e-mail group MailEntryForm (server, Login, subject, text, signature,
// picture choice, Send), the chat controls and FTP settings that share its
// place, the HTML page controls HTMLBox and the web address
// WebSiteAddressEdit with its check box. Owns the mail settings: sender and
// recipient address, account name, object sheet names, transfer counters.

#include <QObject>
#include <QStringList>
#include <array>

#include "app/panels/windowmode.h"
#include "imaging/timelapse.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace vandrex {

class TMailPanel : public QObject {
    Q_OBJECT
public:
    TMailPanel(QWidget* client, QObject* parent);

    bool ChatChecked() const;
    bool FtpChecked() const;
    // The checked one of the format radio buttons (gif, jpg, Audio, Video).
    TCaptureFormat PictureFormat() const;
    // One click on FTPSButton, as the time-lapse timer gives it.
    void ClickFTPSButton();

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
    qint64 MailTransferTotal() const { return transferTotal_; }
    int MailTransferCount() const { return transferCount_; }

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

private:
    void setMailControlsVisible(bool visible);
    void setPictureChoicesVisible(bool visible);
    void setChatControlsVisible(bool visible);
    void setFtpControlsVisible(bool visible);
    void setGroup(const QString& caption, int width);
    void showWebSiteAddress();

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
    QLineEdit* MailEntryEdit = nullptr;
    QPushButton* MailEntryEditButton = nullptr;
    std::array<QLabel*, 4> ftpLabels_{};  // RemoteHostLabel, UserIDLabel, PasswordLabel, PortLabel
    QLineEdit* RemoteHost_Edit = nullptr;
    QLineEdit* UserIDEdit = nullptr;
    QLineEdit* PassWordEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QCheckBox* PassiveCheckBox = nullptr;
    QRadioButton* GIFRadioButton = nullptr;
    QRadioButton* JPGRadioButton = nullptr;
    QRadioButton* AudioRadioButton = nullptr;
    QRadioButton* Video_RadioButton = nullptr;
    QPushButton* FTPSButton = nullptr;
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
    qint64 transferTotal_ = 0;
    int transferCount_ = 0;
};

}  // namespace vandrex
