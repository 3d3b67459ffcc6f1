#include "app/mainwindow.h"

#include "mail/ftp.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/application.h"
#include "app/cardfiletool.h"
#include "app/clonemode.h"
#include "app/dataphonetool.h"
#include "app/helpwindow.h"
#include "app/mailtool.h"
#include "app/panels/cardpanel.h"
#include "app/panels/mailpanel.h"
#include "app/panels/mainmenu.h"
#include "app/panels/modepanel.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "app/panels/phonepanel.h"
#include "app/panels/picturepanel.h"
#include "app/panels/playerpanel.h"
#include "app/panels/probepanel.h"
#include "app/panels/realmediapanel.h"
#include "app/panels/snapshotpanel.h"
#include "mail/ftp.h"
#include "app/panels/timerpanel.h"
#include "app/cameratool.h"
#include "app/videocapoptions.h"
#include "app/statusbar.h"
#include "app/windowmodes.h"
#include "compress/embeddedfiles.h"
#include "compress/lzrw1kh.h"
#include "media/rmeditor.h"
#include "platform/dialogs.h"
#include "telephony/phonecalltool.h"
#include "telephony/phoneoptions.h"
#include "telephony/tapilineoptions.h"

namespace vandrex {

TForm1::TForm1(TForm1Components components, QWidget* parent) : QMainWindow(parent), c_(std::move(components)) {
    if (!c_.Modem1 || !c_.VideoCap1 || !c_.RealAudioControl || !c_.Real_Player_1 || !c_.SMTP1 || !c_.FTP1 || !c_.Transport)
        throw Exception("TForm1 needs every outside component");
    setObjectName(QStringLiteral("Form1"));
    buildPanels();
    setWindowTitle(kForm1Caption);
    // Fixed single border with a title but no title-bar buttons: the Close
    // command is the way to end the program.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    setFont(f);
    SetFormSize(kForm1ClientWidth + kFrameExtraWidth, kForm1ClientHeight + kFrameExtraHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    cards_ = std::make_unique<TCardFileTool>(*this, panels_->Card);
    clones_ = std::make_unique<TCloneMode>(*this, *panels_, *c_.Real_Player_1, *cards_, *c_.Transport);
    modes_ = std::make_unique<TWindowModes>(*this, *panels_, *cards_, *clones_, *c_.Modem1);
    camera_ = new TCameraTool(*this, *panels_, panels_->Timer, *c_.VideoCap1, *c_.Modem1);
    // Received items go to the working folder as it is at start-up.
    dataPhone_ = std::make_unique<TDataPhoneTool>(*this, *panels_, *c_.Modem1, QDir::currentPath().toStdString());
    camera_->SendToDataPhone = [this](const std::string& file) { dataPhone_->SendSnapshot(file); };
    wire();
    mail_ = std::make_unique<TMailTool>(*this, *panels_, *c_.Modem1, c_.SMTP1->Control(), c_.FTP1->Control());
    // A time-lapse run starts a new series of upload names; a tick waits
    // while an upload holds the files.
    camera_->TimerStarted = [this] { mail_->TimerStarted(); };
    TFTP* ftp = c_.FTP1->Control();
    TDataPhoneTool* dataPhone = dataPhone_.get();
    camera_->TransferBusy = [ftp, dataPhone] { return (ftp && ftp->IsBusy()) || dataPhone->TransferBusy(); };

    // A carried file that cannot be extracted is reported; the window works on.
    TApplication::Guard([this] { fileSources_ = CreateEmbeddedFileSources(); });
    // The compressor's table is checked at start-up, not first at use.
    TApplication::Guard([] { ThreadHashTable(); });
}

TForm1::~TForm1() {
    // The line serves the event loop while it closes, also from its own
    // destructor. Close it while the window is still whole, and let nothing
    // queued for the window (the activation after a modal window that the
    // end of the program closed) run on it afterwards.
    activationPending_ = false;
    c_.Modem1->Close();
}

// The panels in the order their widgets stack, bottom first.
void TForm1::buildPanels() {
    auto* menu = new TMainMenu(this);
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    auto* picture = new TPicturePanel(client, this);
    auto* card = new TCardPanel(client, this);
    auto* switches = new TModePanel(client, this);
    auto* phone = new TPhonePanel(client, this);
    auto* snapshot = new TSnapshotPanel(client, this);
    auto* timer = new TTimerPanel(client, this);
    auto* optimizer = new TOptimizerPanel(client, this);
    auto* probe = new TProbePanel(client, this);
    auto* mail = new TMailPanel(client, this);
    auto* player = new TPlayerPanel(client, menu->Bar(), this, c_.Real_Player_1->PlayerWidget());
    auto* realMedia = new TRealMediaPanel(*c_.RealAudioControl, this);
    realMedia->BuildRecorderButton(client);
    picture->SetCaptureMonitor(c_.VideoCap1->Monitor());

    status_ = new TStatusBar(client);
    status_->setObjectName(QStringLiteral("ConnectStatus"));
    status_->addPanel(290, Qt::AlignLeft, QString());
    status_->addPanel(57, Qt::AlignRight, QStringLiteral("00:00:00  "));
    status_->addPanel(15, Qt::AlignRight, QStringLiteral("0 %  "));
    status_->setGeometry(0, kForm1ClientHeight - 19, kForm1ClientWidth, 19);

    phone->SetConnectStatus(status_);

    panels_.reset(new TPanels{*menu, *picture, *card, *switches, *phone, *snapshot, *optimizer, *probe, *mail,
                              *player, *realMedia, *status_, *timer});
}

// Controls to handlers. A subsystem connects its panel here, to its tool;
// every handler shows its own errors (Guarded).
void TForm1::wire() {
    const TPanels& p = *panels_;
    connect(&p.Menu, &TMainMenu::Info1Clicked, this, Guarded(this, &TForm1::MenuItem1Click));
    connect(&p.Menu, &TMainMenu::RM_EditorClicked, this, Guarded(this, &TForm1::RM_EditorClick));
    TLineInterface* line = c_.Modem1.get();
    if (TTAPILine* tapi = line->Control()) {
        // The real line: its events, the Phone button and the Modem menu go
        // to the phone handlers. MakeCall's error reaches the error box.
        phone_ = std::make_unique<TPhoneCallTool>(*tapi, p.Phone);
        TPhoneCallTool* tool = phone_.get();
        TDataPhoneTool* dataPhone = dataPhone_.get();
        tool->CallStateChanged = [dataPhone](bool connected) { dataPhone->SetConnected(connected); };
        connect(&p.Phone, &TPhonePanel::PhoneClicked, this, Guarded([tool] { tool->WebPhoneButton1Click(); }));
        connect(&p.Menu, &TMainMenu::Config1Clicked, this, Guarded([tool] { tool->Config1Click(); }));
        connect(&p.Menu, &TMainMenu::Device1Clicked, this, Guarded([tool] { tool->Device1Click(); }));
    } else {
        connect(&p.Menu, &TMainMenu::Config1Clicked, this, Guarded([line] { line->ConfigDialog(); }));
        connect(&p.Menu, &TMainMenu::Device1Clicked, this, Guarded([line] { line->TranslateDialog(); }));
    }
    TCaptureInterface* capture = c_.VideoCap1.get();
    connect(&p.Menu, &TMainMenu::Source1Clicked, this, Guarded([capture] { capture->ShowSourceDialog(); }));
    connect(&p.Menu, &TMainMenu::Format1Clicked, this, Guarded([capture] { capture->ShowFormatDialog(); }));
    connect(&p.Menu, &TMainMenu::Display1Clicked, this, Guarded([capture] { capture->ShowDisplayDialog(); }));
    connect(&p.Menu, &TMainMenu::Compress1Clicked, this, Guarded([capture] { capture->ShowCompressionDialog(); }));
    // The capture layer's errors (a camera that cannot be opened, sound
    // missing from a recording, a capture file that could not be written)
    // arrive while the window goes on working: the status line tells them.
    capture->OnError = [this](TCaptureInterface*, int, const QString& errorstr) { status_->setPanelText(0, errorstr); };
    connect(&p.Picture, &TPicturePanel::Image2DblClicked, this, Guarded(this, &TForm1::Image2DblClick));
    connect(&p.Card, &TCardPanel::CloseClicked, this, Guarded(this, &TForm1::CloseClick));

    TCardFileTool* cards = cards_.get();
    connect(&p.Card, &TCardPanel::NewClicked, cards, Guarded(cards, &TCardFileTool::NewClick));
    connect(&p.Card, &TCardPanel::PreviousClicked, cards, Guarded(cards, &TCardFileTool::PreviousClick));
    connect(&p.Phone, &TPhonePanel::PreviousClicked, cards, Guarded(cards, &TCardFileTool::PreviousClick));
    connect(&p.Card, &TCardPanel::NextClicked, cards, Guarded(cards, &TCardFileTool::NextClick));
    connect(&p.Phone, &TPhonePanel::NextClicked, cards, Guarded(cards, &TCardFileTool::NextClick));
    connect(&p.Card, &TCardPanel::SaveClicked, cards, Guarded(cards, &TCardFileTool::SaveClick));
    connect(&p.Card, &TCardPanel::EraseClicked, cards, Guarded(cards, &TCardFileTool::EraseClick));
    connect(&p.Card, &TCardPanel::TrackBar1Changed, cards, Guarded(cards, &TCardFileTool::TrackBar1Change));
    connect(&p.Switches, &TModePanel::CheckBox1Clicked, cards, Guarded(cards, &TCardFileTool::CheckBox1Click));

    TWindowModes* modes = modes_.get();
    connect(&p.Switches, &TModePanel::VideoPhoneClicked, this, Guarded([modes] { modes->VideoPhoneClick(); }));
    connect(&p.Mail, &TMailPanel::MailChatBoxClicked, this, Guarded([modes] { modes->MailChatBoxClick(); }));
    connect(&p.Mail, &TMailPanel::FTPCheckBoxClicked, this, Guarded([modes] { modes->FTPCheckBoxClick(); }));
    connect(&p.Player, &TPlayerPanel::PlayerExitClicked, this, Guarded([modes] { modes->PlayerExitClick(); }));
}

QString TForm1::Title() const { return c_.Transport->Title(); }

// The title is this copy's address: the copy is re-announced under it at once.
void TForm1::SetTitle(const QString& title) { c_.Transport->SetTitle(title); }

void TForm1::SetFormSize(int outerWidth, int outerHeight) {
    const int menu = menuBar() ? menuBar()->sizeHint().height() : 0;
    setFixedSize(outerWidth - kFrameExtraWidth, outerHeight - kFrameExtraHeight + menu);
}

void TForm1::SetFormHeight(int outerHeight) { SetFormSize(width() + kFrameExtraWidth, outerHeight); }

void TForm1::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    // The status bar stays at the bottom of the client area in every mode.
    if (QWidget* client = centralWidget(); client && status_) {
        status_->setGeometry(0, client->height() - status_->height(), client->width(), status_->height());
        status_->raise();
    }
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && activationPending_) {
        // Queued, so the handler runs from the message loop like any other
        // event and its exceptions reach the error box.
        QTimer::singleShot(0, this, &TForm1::RunPendingActivation);
    }
    return QMainWindow::event(e);
}

void TForm1::RunPendingActivation() {
    if (!activationPending_) return;
    activationPending_ = false;
    FormActivate();
}

void TForm1::closeEvent(QCloseEvent* e) {
    // The window has no close box: a close request of the window manager is
    // refused, Close is the way out. Only the application going down (the
    // end of the session) ends the program, cleanly like a termination signal.
    if (terminated_) {
        e->accept();
        return;
    }
    e->ignore();
    if (QCoreApplication::closingDown()) TerminateCleanly();
}

void TForm1::FormActivate() {
    const TPanels& p = *panels_;
    ++activations_;
    // 1. Telephony line.
    // Only while none is chosen: the options window's choice survives the
    // activation that follows its closing.
    if (c_.Modem1->DevIdToInitialize() == -1) c_.Modem1->SetDevIdToInitialize(0);
    c_.Modem1->Open();
    // 2. Encoder defaults.
    p.RealMedia.SetProducerDefaults();
    // 3. Capture menu items.
    p.Menu.ShowCaptureItems();
    // 4. Instance number.
    p.Picture.ShowInstanceNumber(clones_->DrawInstanceNumber());
    // 5. First copy or clone.
    clones_->BecomeFirstCopyOrClone();
    // 6. MiniDisc image toggle.
    p.RealMedia.ResetMiniDiscImage();
    // 7. Capture drivers into the menu.
    p.Menu.ListCaptureDrivers(c_.VideoCap1->DriverNames());
    // 8. Capture component: driver 0, closed, preview on. As with the line,
    // the driver the options window chose survives the activation that
    // follows its closing, and a camera its "OFF" switched off stays off.
    if (c_.VideoCap1->DriverIndex() == -1) c_.VideoCap1->SetDriverIndex(0);
    if (!phoneOptions_ || !phoneOptions_->CameraSwitchedOff()) {
        c_.VideoCap1->SetDriverOpen(false);
        c_.VideoCap1->SetVideoPreview(true);
    }
    // 9. Counters.
    dataPhone_->ResetCounters();
    p.RealMedia.ResetCounters();
    // 9-13. Mail counters, object sheet names, account and sender address.
    p.Mail.Activate(clones_->InstanceNumber());
    // 11. No playlist; the data-phone picture display at its normal size.
    p.Player.ResetPlaylist();
    p.Phone.ResetDisplaySize();
    // 12-14. Empty card, messages, database.
    cards_->OpenDatabase();
    emit Activated();
}

void TForm1::ShowCard() { modes_->ShowCard(); }

void TForm1::CloseClick() {
    // A clone ends without storing: its card edits are hidden and it has no
    // card commands, so whatever it shows is not the user's work, and a
    // refused Close would keep its first copy in clone mode.
    // With no card at all (an empty or unopenable file) there is nothing to
    // store, sort or lose either.
    if (clones_->IsClone() || !cards_->HasRecords()) {
        terminate();
        return;
    }
    if (!panels_->Card.LastNameGiven()) {
        ShowMessage(cards_->MsgLastName());
        return;
    }
    cards_->StoreShownCardAndSort();
    terminate();
}

void TForm1::TerminateCleanly() {
    if (terminated_) return;
    try {
        if (!clones_->IsClone() && cards_->HasRecords() && panels_->Card.LastNameGiven())
            cards_->StoreShownCardAndSort();
    } catch (const std::exception& e) {
        // Nobody may be there to answer a box while the program is asked to
        // end: the reason goes to the error output and the ending goes on.
        std::fprintf(stderr, "vandrex: %s\n", e.what());
    }
    terminate();
}

void TForm1::terminate() {
    cards_->CloseDatabase();
    c_.Modem1->Close();
    if (c_.SMTP1->State() == TSmtpInterface::Connected) c_.SMTP1->Quit();
    clones_->SendResetPlayer();
    terminated_ = true;
    QCoreApplication::quit();
}

void TForm1::MenuItem1Click() {
    setEnabled(false);
    if (!phoneOptions_) CreateOptionsWindow();
    // A child window takes over the disabled state of the main window; the
    // modal window itself must stay usable, or nothing can close it.
    phoneOptions_->setEnabled(true);
    phoneOptions_->exec();
    setEnabled(true);  // the options window enables the main window again
    c_.Modem1->Open();
    activationPending_ = true;
    QTimer::singleShot(0, this, &TForm1::RunPendingActivation);
}

TPhoneOptions* TForm1::CreateOptionsWindow() {
    if (!optionsLine_)
        if (TTAPILine* tapi = c_.Modem1->Control()) optionsLine_ = std::make_unique<TTAPILineOptions>(*tapi);
    if (!optionsCapture_) optionsCapture_ = std::make_unique<TVideoCapOptions>(*c_.VideoCap1);
    phoneOptions_ = new TPhoneOptions(this, optionsLine_.get(), optionsCapture_.get());
    return phoneOptions_;
}

void TForm1::RM_EditorClick() {
    if (!editor_) editor_ = new TRMeditor(this);
    editor_->setEnabled(true);
    editor_->exec();
    activationPending_ = true;
    QTimer::singleShot(0, this, &TForm1::RunPendingActivation);
}

void TForm1::Image2DblClick() {
    const QString file = helpFile_.isEmpty() ? THelpWindow::FindHelpFile() : helpFile_;
    if (file.isEmpty()) {
        ShowMessage(QStringLiteral("Cannot find the help file VANDREX.HLP"));
        return;
    }
    if (!help_) help_ = new THelpWindow(this);
    help_->ShowContext(file, QStringLiteral("0"));
    help_->show();
    help_->raise();
    help_->activateWindow();
}

}  // namespace vandrex
