#pragma once
// TForm1, the main window. It owns every component of the program and the
// tool classes that carry the behaviour of each group of controls:
//   TCardFileTool  (app/cardfiletool.h)  card commands and the database
//   TWindowModes   (app/windowmodes.h)   the layouts ShowCard puts up
//   TCloneMode     (app/clonemode.h)     instance messages and clone mode
// A tool gets the window in its constructor, finds its controls by name
// (Control<W>(window, "Edit1")) and connects its handlers there.

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/findcontrol.h"
#include "app/standins.h"

namespace vandrex {

class TCardFileTool;
class TWindowModes;
class TCloneMode;
class TStatusBar;
class TPhoneOptions;
class TRMeditor;
class TFileSource;

// Application titles: the address of a running copy.
inline const QString kFirstCopyTitle = QStringLiteral("Vandrex v4.4a");
inline const QString kCloneTitle = QStringLiteral("Vandrex v4.4b");
inline const QString kForm1Caption = QStringLiteral(
    " Vandrex v4.4a Beta  i-mode Mail / Data Phone             MD/DVDvideo   [Realtime Encoder]");

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    template <class W>
    W* control(const char* name) const { return Control<W>(this, name); }
    TStatusBar* ConnectStatus() const;

    // The one refresh and layout routine.
    void ShowCard();
    // Activation handler; runs at first activation and after a modal window closed.
    void FormActivate();
    // Shutdown through the Close button.
    void CloseClick();
    void MenuItem1Click();
    void RM_EditorClick();
    void Image2DblClick();

    // Sets the window size as the outer size of the original form.
    void SetFormSize(int outerWidth, int outerHeight);
    void SetFormHeight(int outerHeight);
    // The application title (address of this copy).
    QString Title() const;
    void SetTitle(const QString& title);

    void SetOptionsWindow(TPhoneOptions* w) { phoneOptions_ = w; }
    void SetEditorWindow(TRMeditor* w) { editor_ = w; }
    // Runs FormActivate when it is due (first activation, after a modal window).
    void RunPendingActivation();
    // Ends the program after the shutdown steps (SIGTERM, session end): stores
    // the shown card when it has a last name, sorts and closes the file.
    void TerminateCleanly();

    TCardFileTool& Cards() { return *cards_; }
    TWindowModes& Modes() { return *modes_; }
    TCloneMode& Clones() { return *clones_; }

    // Components still standing in for their subsystems (app/standins.h).
    TLineStandIn Modem1;
    TProducerStandIn RealAudioControl;
    TCaptureStandIn VideoCap1;
    TSmtpStandIn SMTP1;
    TPlayerStandIn Real_Player_1;
    // FileSource1..3: the carried files, extracted to temporary files for the
    // life of the window.
    std::vector<std::unique_ptr<TFileSource>> FileSources;

    // State set at activation.
    QString InstanceNumber;
    QString SenderAddress;
    QStringList ObjectSheetNames;
    QString AccountName = QStringLiteral("Your Account");
    QString MsgLastName = QStringLiteral("ENTER A LASTNAME FIRST !");
    QString DatabaseName = QStringLiteral("Your DataBase.DAT");
    QString RecipientAddress;
    bool PlaylistLoaded = false;
    bool MiniDiscImageToggle = false;
    bool DisplaySizeToggle = false;
    bool UseLZW = true;  // GIF coding of the snapshots
    int DataPhoneCounters[8] = {};
    long long MailTransferTotal = 0;
    int MailTransferCount = 0;
    long long EncodingCounters[4] = {};
    // The sender mail domain of SenderAddress.
    static inline const QString kSenderDomain = QStringLiteral("vandrex.invalid");

    int ActivationCount() const { return activations_; }
    bool Terminated() const { return terminated_; }

signals:
    void Activated();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void listCaptureDrivers();
    void terminate();

    std::unique_ptr<TCardFileTool> cards_;
    std::unique_ptr<TWindowModes> modes_;
    std::unique_ptr<TCloneMode> clones_;
    TPhoneOptions* phoneOptions_ = nullptr;
    TRMeditor* editor_ = nullptr;
    bool activationPending_ = true;
    bool terminated_ = false;
    int activations_ = 0;
};

}  // namespace vandrex
