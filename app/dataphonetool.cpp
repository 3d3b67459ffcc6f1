#include "app/dataphonetool.h"

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QTimer>
#include <chrono>

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/panels/mailpanel.h"
#include "app/panels/panels.h"
#include "app/panels/phonepanel.h"
#include "app/panels/picturepanel.h"
#include "app/panels/playerpanel.h"
#include "app/panels/probepanel.h"
#include "app/panels/snapshotpanel.h"
#include "app/statusbar.h"
#include "imaging/bitmap.h"
#include "imaging/bmpfile.h"
#include "imaging/jpegfile.h"
#include "imaging/jpegtobmp.h"
#include "imaging/snapshot.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "telephony/dataphonedriver.h"
#include "telephony/dataphonestore.h"
#include "telephony/lineinterface.h"
#include "telephony/tapiline.h"

namespace vandrex {

namespace {

QString FromAnsi(const std::string& bytes) { return QString::fromStdString(AnsiToUtf8(bytes)); }

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

QImage ToQImage(const TBitmap& picture) {
    if (picture.Empty()) return {};
    // Our pixels are blue, green, red; the copy outlives the bitmap.
    return QImage(picture.Data().data(), picture.Width(), picture.Height(), picture.Width() * 3,
                  QImage::Format_BGR888)
        .copy();
}

TDataPhoneTool::TDataPhoneTool(TForm1& form, const TPanels& panels, TLineInterface& line, const std::string& folder)
    : form_(form), p_(panels), line_(line), tapi_(line.Control()) {
    store_ = std::make_unique<TDataPhoneStore>(folder);
    store_->SetPictureCheck([](std::string_view jpeg) {
        DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()));
    });
    phone_ = std::make_unique<TDataPhone>(*store_, &SteadyMs);
    if (tapi_) phone_->SetTimeoutSeconds(tapi_->Timeout);

    TTAPILine* tapi = tapi_;
    auto read = [tapi]() -> std::string {
        if (!tapi) return {};
        // Every waiting byte: block data is raw, so nothing may cut it at a NUL.
        const long waiting = tapi->BytesInQueue();
        if (waiting <= 0) return {};
        std::string bytes(static_cast<std::size_t>(waiting), '\0');
        const long got = tapi->ReadBuffer(bytes.data(), waiting, waiting);
        bytes.resize(static_cast<std::size_t>(std::max(0L, got)));
        return bytes;
    };
    auto write = [tapi](std::string_view bytes) -> bool {
        if (!tapi) return false;
        // A broken stream ends the call for the phone; its failure shows the
        // transfer's end, and the line reports the hang-up itself.
        try {
            return tapi->WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
        } catch (const std::exception&) {
            return false;
        }
    };
    driver_ = std::make_unique<TDataPhoneDriver>(*phone_, read, write, this);
    connect(driver_.get(), &TDataPhoneDriver::Events, this, &TDataPhoneTool::OnEvents);
    line_.OnNewData = [this](TLineInterface*) { Modem1NewData(); };

    TPhonePanel& phonePanel = p_.Phone;
    connect(&phonePanel, &TPhonePanel::SendClicked, this, Guarded(this, &TDataPhoneTool::SendFile1Click));
    connect(&phonePanel, &TPhonePanel::ReceiveClicked, this, Guarded(this, &TDataPhoneTool::ReceiveFile1Click));
    connect(&phonePanel, &TPhonePanel::StopClicked, this, Guarded(this, &TDataPhoneTool::SpeedButtonStopClick));
    connect(&phonePanel, &TPhonePanel::ResumeClicked, this, Guarded(this, &TDataPhoneTool::SpeedButtonResumeClick));
    connect(&phonePanel, &TPhonePanel::BigDisplayClicked, this, Guarded(this, &TDataPhoneTool::BigDisplaySpeedButtonClick));
    connect(&p_.Mail, &TMailPanel::MailEntryEditButtonClicked, this,
            Guarded(this, &TDataPhoneTool::MailEntryEditButtonClick));
}

TDataPhoneTool::~TDataPhoneTool() { line_.OnNewData = nullptr; }

template <class F>
void TDataPhoneTool::Command(F&& f) {
    f(*phone_);
    driver_->Flush();
}

void TDataPhoneTool::MailEntryEditButtonClick() {
    if (!phone_->Connected()) return;
    const std::string text = EncodeAnsi(p_.Mail.ChatLineText().toStdU32String());
    Command([&](TDataPhone& phone) { phone.SendChat(text); });
    p_.Mail.ClearChatLine();
}

void TDataPhoneTool::SendSnapshot(const std::string& file) {
    if (!p_.Mail.ChatChecked() || !phone_->Connected()) return;
    if (phone_->Busy()) {
        Dialogs().Beep();
        return;
    }
    auto source = std::make_unique<TDataPhoneFileSource>(file);
    Command([&](TDataPhone& phone) { phone.SendPicture(std::move(source)); });
}

void TDataPhoneTool::SendFile1Click() {
    if (!phone_->Connected()) return;
    if (phone_->Busy()) {
        Dialogs().Beep();
        return;
    }
    FileDialogRequest request;
    request.title = QStringLiteral("Select File to Send");
    const QString path = Dialogs().OpenFile(request);
    if (path.isEmpty()) return;
    auto source = std::make_unique<TDataPhoneFileSource>(QFile::encodeName(path).toStdString());
    const std::int64_t size = source->Size();
    const std::string wireName = dataphone::WireNameFromUnicode(QFileInfo(path).fileName().toStdU32String());
    // The call may have ended while the dialog was open.
    Command([&](TDataPhone& phone) {
        if (!phone.SendFile(wireName, size, std::move(source)) && phone.Connected()) Dialogs().Beep();
    });
}

void TDataPhoneTool::Modem1NewData() {
    TApplication::Guard([this] { driver_->NewData(); });
}

void TDataPhoneTool::ReceiveFile1Click() {
    Command([](TDataPhone& phone) { phone.AcceptFile(); });
}

void TDataPhoneTool::SpeedButtonStopClick() {
    Command([](TDataPhone& phone) {
        phone.ShowLamp(TLamp::Resume, false);
        phone.ShowLamp(TLamp::Receive, false);
        phone.ShowLamp(TLamp::Stop, true, TLampColor::Red);
    });
    line_.SetSuspended(!line_.Suspended());
    QTimer::singleShot(kLampPauseMs, this, [this] { Command([](TDataPhone& phone) { phone.ShowLamp(TLamp::Stop, false); }); });
}

void TDataPhoneTool::SpeedButtonResumeClick() {
    Command([](TDataPhone& phone) {
        phone.ShowLamp(TLamp::Resume, true, TLampColor::Yellow);
        phone.ShowLamp(TLamp::Stop, false);
    });
    if (tapi_)
        tapi_->StartReceive();
    else
        line_.SetSuspended(false);
    QTimer::singleShot(kLampPauseMs, this,
                       [this] { Command([](TDataPhone& phone) { phone.ShowLamp(TLamp::Resume, false); }); });
}

void TDataPhoneTool::BigDisplaySpeedButtonClick() {
    const bool chat = p_.Mail.ChatChecked();
    const bool large = p_.Phone.ToggleDisplaySize(chat);
    // The disc calculator's group carries the camera's caption while the
    // monitor stands in its corner.
    if (auto* sluiten = form_.findChild<QGroupBox*>(QStringLiteral("Sluiten")))
        sluiten->setTitle(large ? QStringLiteral(" Cam ") : QString());
    if (large)
        p_.Picture.PlaceCamera(313, 308, true);
    else
        p_.Picture.PlaceCamera(200, 190, false);
    if (p_.Probe.ProbeChecked()) {
        if (large)
            p_.Player.PlaceImageWindow(87, 23, 290, 217);
        else
            p_.Player.PlaceImageWindow(199, 23, 178, 136);
    }
    p_.Mail.SetHtmlBoxVisible(!chat);
}

void TDataPhoneTool::SetConnected(bool connected) {
    if (connected == phone_->Connected()) return;
    Command([connected](TDataPhone& phone) { phone.SetConnected(connected); });
}

void TDataPhoneTool::ResetCounters() {
    Command([](TDataPhone& phone) { phone.ResetCounters(); });
    ShowView();
}

void TDataPhoneTool::OnEvents(const std::vector<TDataPhoneEvent>& events) {
    using TKind = TDataPhoneEvent::TKind;
    // Shown after the batch: a box opened here would run the message loop
    // in the middle of the driver's step.
    QStringList failures;
    for (const TDataPhoneEvent& e : events) {
        switch (e.Kind) {
        case TKind::ChatReceived: p_.Mail.AddChatMemoLine(FromAnsi(e.Text)); break;
        case TKind::Panel0Changed: p_.ConnectStatus.setPanelText(0, FromAnsi(e.Text)); break;
        case TKind::PictureReceived:
            try {
                GetJPEGFile(e.Text);
            } catch (const std::exception& ex) {
                failures << QString::fromStdString(ex.what());
            }
            break;
        case TKind::TransferFailed: failures << FromAnsi(e.Text); break;
        default: break;
        }
    }
    ShowView();
    if (!failures.isEmpty())
        QTimer::singleShot(0, this, [failures] {
            for (const QString& text : failures) ShowError(text);
        });
}

void TDataPhoneTool::ShowView() {
    const TDataPhoneView& v = phone_->View();
    for (int i = 0; i < kLampCount; ++i) {
        const TLampState& lamp = v.Lamps[static_cast<std::size_t>(i)];
        const int color = lamp.Color == TLampColor::Green ? 1 : lamp.Color == TLampColor::Yellow ? 2 : 0;
        p_.Phone.ShowLamp(i, lamp.Lit, color);
    }
    p_.Phone.SetSendEnabled(v.SendButtonEnabled);
    p_.Snapshot.SetSnapshotEnabled(v.SnapshotButtonEnabled);
    p_.Phone.ShowProgress(v.ProgressMax, v.ProgressPosition, FromAnsi(v.FileTransferStatus));
    const TDataPhoneCounters& c = v.Counters;
    p_.Phone.ShowCounters({c.BytesInTotal, c.BytesOutTotal, c.FilesInCount, c.FilesOutCount, c.TimeInTotal,
                           c.TimeOutTotal, c.PicturesInCount, c.PicturesOutCount});
}

// A received picture: "Snapshot.jpg" through JpegToBmp1 to "Snapshot.bmp",
// shown in BitmapDisplay. A failure leaves the display as it was.
void TDataPhoneTool::GetJPEGFile(const std::string& storedName) {
    TJpegToBmp JpegToBmp1;
    JpegToBmp1.JpegFile = store_->Folder() + "/" + storedName;
    JpegToBmp1.BmpFile = store_->Folder() + "/" + kSnapshotBmp;
    JpegToBmp1.Convert();
    p_.Phone.ShowPicture(ToQImage(LoadBmpFile(JpegToBmp1.BmpFile)));
}

}  // namespace vandrex
