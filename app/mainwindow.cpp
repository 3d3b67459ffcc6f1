#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "app/application.h"
#include "app/cardfiletool.h"
#include "app/clonemode.h"
#include "app/form1ui.h"
#include "app/statusbar.h"
#include "app/windowmodes.h"
#include "compress/embeddedfiles.h"
#include "compress/lzrw1kh.h"
#include "media/rmeditor.h"
#include "platform/applicationwindow.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"
#include "telephony/phoneoptions.h"

namespace vandrex {

namespace {
// Menu items of the capture driver slots.
const char* const kDriverSlots[] = {"D1", "D2", "D3", "D4", "D5"};
}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    BuildForm1(this);
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

    cards_ = std::make_unique<TCardFileTool>(this);
    modes_ = std::make_unique<TWindowModes>(this);
    clones_ = std::make_unique<TCloneMode>(this);

    connect(control<QAction>("Info1"), &QAction::triggered, this, &TForm1::MenuItem1Click);
    connect(control<QAction>("RM_Editor"), &QAction::triggered, this, &TForm1::RM_EditorClick);
    connect(control<QPushButton>("Close"), &QPushButton::clicked, this, &TForm1::CloseClick);
    control<QLabel>("Image2")->installEventFilter(this);

    // A carried file that cannot be extracted is reported; the window works on.
    TApplication::Guard([this] { FileSources = CreateEmbeddedFileSources(); });
    // The compressor's table is checked at start-up, not first at use.
    TApplication::Guard([] { ThreadHashTable(); });
}

TForm1::~TForm1() = default;

TStatusBar* TForm1::ConnectStatus() const { return control<TStatusBar>("ConnectStatus"); }

QString TForm1::Title() const { return QApplication::applicationName(); }

// The title is this copy's address: the application window re-announces itself
// under it, and the application name follows for the desktop.
void TForm1::SetTitle(const QString& title) {
    QApplication::setApplicationName(title);
    ApplicationWindow().SetTitle(title);
}

void TForm1::SetFormSize(int outerWidth, int outerHeight) {
    const int menu = menuBar() ? menuBar()->sizeHint().height() : 0;
    setFixedSize(outerWidth - kFrameExtraWidth, outerHeight - kFrameExtraHeight + menu);
}

void TForm1::SetFormHeight(int outerHeight) {
    SetFormSize(width() + kFrameExtraWidth, outerHeight);
}

void TForm1::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    // The status bar stays at the bottom of the client area in every mode.
    if (QWidget* client = centralWidget()) {
        TStatusBar* status = ConnectStatus();
        status->setGeometry(0, client->height() - status->height(), client->width(), status->height());
        status->raise();
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

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick && watched->objectName() == QLatin1String("Image2")) {
        Image2DblClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
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

void TForm1::listCaptureDrivers() {
    const QStringList& drivers = VideoCap1.Drivers;
    for (int i = 0; i < 5; ++i) {
        QAction* slot = control<QAction>(kDriverSlots[i]);
        if (i >= drivers.size()) continue;
        slot->setText(drivers[i]);
        // A name repeating the one before it gets no slot of its own.
        if (i == 0 || drivers[i] != drivers[i - 1]) slot->setVisible(true);
    }
}

void TForm1::FormActivate() {
    ++activations_;
    // 1. Telephony line.
    Modem1.DevIdToInitialize = 0;
    Modem1.Open();
    // 2. Producer defaults.
    RealAudioControl.Set("DeInterlaceFilter", false);
    RealAudioControl.Set("EmphasizeAudio", false);
    RealAudioControl.Set("LossProtection", false);
    RealAudioControl.Set("InputCaptureAudioDriver", 0);
    // 3. Capture menu items.
    for (const char* name : {"Format1", "Display1", "Source1"}) control<QAction>(name)->setVisible(true);
    // 4. Instance number, 0 .. 99999998.
    InstanceNumber = QString::number(QRandomGenerator::global()->bounded(99999999));
    control<QLabel>("Image3")->setToolTip(InstanceNumber);
    // 5. First copy or clone.
    clones_->BecomeFirstCopyOrClone();
    // 6. MiniDisc image toggle.
    MiniDiscImageToggle = false;
    // 7. Capture drivers into the menu.
    listCaptureDrivers();
    // 8. Capture component: driver 0, closed, preview on.
    VideoCap1.DriverIndex = 0;
    VideoCap1.DriverOpen = false;
    VideoCap1.VideoPreview = true;
    // 9. Counters.
    std::fill(std::begin(DataPhoneCounters), std::end(DataPhoneCounters), 0);
    MailTransferTotal = 0;
    MailTransferCount = 0;
    std::fill(std::begin(EncodingCounters), std::end(EncodingCounters), 0);
    // 10. Object sheet names.
    ObjectSheetNames = {"Audio", "TV", "16_9", "20_9", "Phone", "Cam", "DVD1",
                        "DVD2",  "DVD3", "Radio", "LP",  "CD",    "Crypt"};
    // 11.
    PlaylistLoaded = false;
    DisplaySizeToggle = false;
    // 12-14. Empty card, messages, database.
    MsgLastName = QStringLiteral("ENTER A LASTNAME FIRST !");
    AccountName = QStringLiteral("Your Account");
    DatabaseName = QStringLiteral("Your DataBase.DAT");
    SenderAddress = QStringLiteral("vandrex_") + InstanceNumber + QStringLiteral("@") + kSenderDomain;
    cards_->OpenDatabase();
    emit Activated();
}

void TForm1::ShowCard() { modes_->ShowCard(); }

void TForm1::CloseClick() {
    if (!cards_->HasRecords()) return;
    if (control<QLineEdit>("Edit2")->text().isEmpty()) {
        ShowMessage(MsgLastName);
        return;
    }
    cards_->StoreShownCardAndSort();
    terminate();
}

void TForm1::TerminateCleanly() {
    if (terminated_) return;
    try {
        if (cards_->HasRecords() && !control<QLineEdit>("Edit2")->text().isEmpty())
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
    Modem1.Close();
    if (SMTP1.State == 4) SMTP1.Quit();
    clones_->SendResetPlayer();
    terminated_ = true;
    QCoreApplication::quit();
}

void TForm1::MenuItem1Click() {
    setEnabled(false);
    if (!phoneOptions_) phoneOptions_ = new TPhoneOptions(this);
    phoneOptions_->exec();
    setEnabled(true);  // the options window enables the main window again
    Modem1.Open();
    activationPending_ = true;
    QTimer::singleShot(0, this, &TForm1::RunPendingActivation);
}

void TForm1::RM_EditorClick() {
    if (!editor_) editor_ = new TRMeditor(this);
    editor_->exec();
    activationPending_ = true;
    QTimer::singleShot(0, this, &TForm1::RunPendingActivation);
}

void TForm1::Image2DblClick() {
    // The help page ships beside the executable (or in the source tree's
    // help folder while developing); the desktop's viewer opens it.
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {dir + "/VANDREX.HLP", dir + "/../share/vandrex/VANDREX.HLP",
                                     dir + "/help/VANDREX.HLP"}) {
        if (QFileInfo::exists(candidate)) {
            QUrl url = QUrl::fromLocalFile(QFileInfo(candidate).absoluteFilePath());
            url.setFragment(QStringLiteral("context-0"));
            if (!QDesktopServices::openUrl(url)) ShowMessage(QStringLiteral("Cannot open the help file VANDREX.HLP"));
            return;
        }
    }
    ShowMessage(QStringLiteral("Cannot find the help file VANDREX.HLP"));
}

}  // namespace vandrex
