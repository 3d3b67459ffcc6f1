#pragma once
// ShowCard and the window modes it lays out: player mode, text mail mode,
// HTML mail mode with its chat and FTP settings variants.

#include <QString>

namespace vandrex {

class TForm1;

enum class WindowMode { Player, TextMail, HtmlMail, PhoneChat, FtpSettings };

class TWindowModes {
public:
    explicit TWindowModes(TForm1* form);

    void ShowCard();
    // Mode switches.
    void VideoPhoneClick();
    void MailChatBoxClick() { ShowCard(); }
    void FTPCheckBoxClick() { ShowCard(); }
    // The mode the last ShowCard laid out.
    WindowMode Mode() const { return mode_; }

    // Start text of WebSiteAddressEdit, restored when the last clone ends.
    static inline const QString kNoFtpValues = QStringLiteral("No FTP Values : WebSite Address Unknown !");

private:
    void layoutPlayer();
    void layoutCardSide();
    void applyCloneRestrictions();
    void resetSignature();
    void layoutCommon();
    void layoutTextMail();
    void layoutHtmlMail();
    void layoutMailGroup();
    void layoutChat();
    void layoutFtp();
    void showCardEdits(bool visible);
    void setVisible(const char* name, bool visible);
    void setEnabled(const char* name, bool enabled);

    TForm1* form_;
    WindowMode mode_ = WindowMode::TextMail;
};

}  // namespace vandrex
