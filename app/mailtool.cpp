#include "app/mailtool.h"

#include <QApplication>
#include <QMenuBar>

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/panels/mailpanel.h"
#include "app/panels/mainmenu.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "app/panels/phonepanel.h"
#include "app/panels/probepanel.h"
#include "app/panels/realmediapanel.h"
#include "app/panels/snapshotpanel.h"
#include "app/statusbar.h"
#include "controls/led.h"
#include "telephony/lineinterface.h"

namespace vandrex {

namespace {

void SetWindowWidth(TForm1& form, int outerWidth) {
    const int menu = form.menuBar() ? form.menuBar()->sizeHint().height() : 0;
    form.SetFormSize(outerWidth, form.height() - menu + kFrameExtraHeight);
}

}  // namespace

class TMailTool::MailView : public TMailView {
public:
    MailView(TMailTool& t) : t_(t) {}
    TMailPanelFields Fields() const override {
        const QString remote = t_.upload_ ? t_.upload_->RemoteFileName() : QString();
        return t_.p_.Mail.MailFields(t_.p_.Snapshot.FtpLamp().Lit(), remote);
    }
    void SetStatusText(const QString& text) override { t_.p_.ConnectStatus.setPanelText(0, text); }
    void RepaintStatus() override { t_.p_.ConnectStatus.repaint(); }
    void SetConnectionCaption(const QString& text) override { t_.p_.Mail.SetConnectionCaption(text); }
    void ShowCounters(const QString& total, const QString& count) override {
        t_.p_.Phone.ShowTransferCounters(total, count);
    }
    void SetMailSheet2(const QString& text) override { t_.p_.Mail.SetMailSheet2(text); }
    void ShowKey(bool visible, int subjectWidth) override { t_.p_.Mail.ShowKey(visible, subjectWidth); }
    void LineOpen() override { t_.line_.Open(); }
    void LineClose() override { t_.line_.Close(); }
    void ProcessMessages() override { QCoreApplication::processEvents(); }

private:
    TMailTool& t_;
};

class TMailTool::UploadView : public TUploadView {
public:
    UploadView(TMailTool& t) : t_(t) {}
    ~UploadView() override { SetBusyCursor(false); }
    TUploadFields Fields() const override { return t_.p_.Mail.UploadFields(t_.p_.Snapshot.TimerLit()); }
    void SetStatusText(const QString& text) override { t_.p_.ConnectStatus.setPanelText(0, text); }
    void SetLampLit(bool lit) override { t_.p_.Snapshot.FtpLamp().setLit(lit); }
    void SetLampColor(TLampColor color) override {
        t_.p_.Snapshot.FtpLamp().setColor(color == TLampColor::Red     ? lcRed
                                          : color == TLampColor::Green ? lcGreen
                                                                       : lcYellow);
    }
    void SetBusyCursor(bool busy) override {
        if (busy == busy_) return;
        busy_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    void ShowCounters(const QString& total, const QString& count) override {
        t_.p_.Phone.ShowTransferCounters(total, count);
    }
    void SetWindowWidth(int width, int) override { vandrex::SetWindowWidth(t_.form_, width); }
    void SelectJpg() override { t_.p_.Mail.SelectJpg(); }
    void SaveDisplayPicture(const QString& path) override {
        if (t_.SaveDisplayPicture) t_.SaveDisplayPicture(path);
    }
    void ApplyPictureLayout(const TPictureLayout& layout) override {
        vandrex::SetWindowWidth(t_.form_, layout.windowWidth);
        t_.p_.Mail.ApplyPictureLayout(layout.webAddressWidth, layout.mediaButtonsFlat);
        t_.p_.ConnectStatus.setPanelText(0, layout.statusText);
    }
    void DisableRecorderItems() override { t_.p_.Menu.DisableRecorderItems(); }
    void ShowImodeLogo() override { t_.p_.Optimizer.ShowLogoOnly(); }
    void ResetPageSizeBar() override { t_.p_.Optimizer.ResetSizeBar(); }
    void StopProbe() override {
        if (!t_.p_.Probe.ProbeChecked()) return;
        t_.p_.RealMedia.StopEncoding();
        t_.p_.Probe.UncheckProbe();
    }
    void SwitchLzwOff() override { t_.p_.Optimizer.SwitchLzwOff(); }
    void LineClose() override { t_.line_.Close(); }
    void ProcessMessages() override { QCoreApplication::processEvents(); }

private:
    TMailTool& t_;
    bool busy_ = false;
};

TMailTool::TMailTool(TForm1& form, const TPanels& panels, TLineInterface& line, TSMTP* smtp, TFTP* ftp)
    : QObject(&form), form_(form), p_(panels), line_(line) {
    TTransferCounters& counters = p_.Mail.Counters();
    if (smtp) {
        mailView_ = std::make_unique<MailView>(*this);
        mail_ = std::make_unique<TMailSession>(*smtp, *mailView_, counters);
    }
    if (ftp) {
        uploadView_ = std::make_unique<UploadView>(*this);
        upload_ = std::make_unique<TUploadSession>(*ftp, *uploadView_, counters);
    }
    wire();
}

TMailTool::~TMailTool() = default;

void TMailTool::wire() {
    TMailPanel& m = p_.Mail;
    // The handlers' errors (a port or font size that is no number, a missing
    // file) are shown here, not unwound through Qt's click code.
    if (TMailSession* s = mail_.get()) {
        connect(&m, &TMailPanel::ConnectionClicked, s, Guarded(s, &TMailSession::ConnectionClick));
        connect(&m, &TMailPanel::SendBtnClicked, s, Guarded(s, &TMailSession::SendBtnClick));
        connect(&m, &TMailPanel::MailSheetChanged, s, Guarded(s, &TMailSession::MailSheetChange));
        connect(&m, &TMailPanel::OnderwerpChanged, s, Guarded(s, &TMailSession::OnderwerpChange));
        connect(&m, &TMailPanel::KeyChanged, s, Guarded(s, &TMailSession::KeyChange));
        connect(&m, &TMailPanel::CheckBox2Clicked, s, Guarded(s, &TMailSession::CheckBox2Click));
    }
    if (TUploadSession* u = upload_.get()) {
        connect(&m, &TMailPanel::i_modeGIFSButtonClicked, u, Guarded(u, &TUploadSession::i_modeGIFSButtonClick));
        connect(&m, &TMailPanel::FTPSButtonClicked, u,
                [&m, u] { m.RunFTPSButtonHandler([u] { u->FTPSButtonClick(); }); });
        connect(&m, &TMailPanel::GIFRadioButtonClicked, u, Guarded(u, &TUploadSession::GIFRadioButtonClick));
        connect(&m, &TMailPanel::JPGRadioButtonClicked, u, Guarded(u, &TUploadSession::JPGRadioButtonClick));
    }
    connect(&m, &TMailPanel::BGColorSButtonClicked, this, Guarded(this, &TMailTool::BGColorSButtonClick));
    connect(&m, &TMailPanel::TextColorSButtonClicked, this, Guarded(this, &TMailTool::TextColorSButtonClick));
}

void TMailTool::BGColorSButtonClick() { p_.Mail.SetBackGroundColor(HTMLBGColorDialog.Run()); }

void TMailTool::TextColorSButtonClick() { p_.Mail.SetFontColor(HTMLTextColorDialog.Run()); }

}  // namespace vandrex
