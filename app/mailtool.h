#pragma once
// The mail panel's handlers: SMTP1's session (Login, Send, the status texts,
// the byte counter) and FTP1's (connect, upload, picture format), each read
// from and written to the window through a view, plus the two colour
// buttons. TForm1 always creates one; a session exists only for a real
// control (a stand-in or recording double has none), its buttons unbound.

#include <QObject>
#include <functional>
#include <memory>

#include "mail/mailsession.h"
#include "mail/uploadsession.h"

namespace vandrex {

class TForm1;
class TLineInterface;
struct TPanels;

class TMailTool : public QObject {
    Q_OBJECT
public:
    TMailTool(TForm1& form, const TPanels& panels, TLineInterface& line, TSMTP* smtp, TFTP* ftp);
    ~TMailTool() override;

    TMailSession* Mail() { return mail_.get(); }
    TUploadSession* Upload() { return upload_.get(); }

    void BGColorSButtonClick();
    void TextColorSButtonClick();
    // Starting the time-lapse timer begins a new series of remote names.
    void TimerStarted() {
        if (upload_) upload_->TimerStarted();
    }

    // Writes the i-mode display's picture as the given file before a GIF
    // upload. Unset, the file on disc (the last snapshot) goes as it is.
    std::function<void(const QString& path)> SaveDisplayPicture;

private:
    class MailView;
    class UploadView;

    void wire();

    TForm1& form_;
    const TPanels& p_;
    TLineInterface& line_;
    std::unique_ptr<MailView> mailView_;
    std::unique_ptr<UploadView> uploadView_;
    std::unique_ptr<TMailSession> mail_;
    std::unique_ptr<TUploadSession> upload_;
    THtmlColorDialog HTMLBGColorDialog;
    THtmlColorDialog HTMLTextColorDialog;
};

}  // namespace vandrex
