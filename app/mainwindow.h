#pragma once
// TForm1, the main window. It assembles the panels (app/panels/, one per
// group of controls, each owning its widgets), the outside components it is
// given (app/components.h) and the tools that carry the behaviour:
//   TCardFileTool  (app/cardfiletool.h)  card commands and the database
//   TWindowModes   (app/windowmodes.h)   ShowCard and the mode switches
//   TCloneMode     (app/clonemode.h)     instance messages and clone mode
// and wires them together. It keeps no state of the tools.

#include <QMainWindow>
#include <memory>
#include <vector>

#include "app/components.h"
#include "platform/exceptions.h"

namespace vandrex {

class TCardFileTool;
class TWindowModes;
class TCloneMode;
class TCameraTool;
class TDataPhoneTool;
class TMailTool;
class TStatusBar;
class TPhoneOptions;
class TPhoneOptionsLine;
class TPhoneOptionsCapture;
class TRMeditor;
class TPhoneCallTool;
class TFileSource;
class THelpWindow;
struct TPanels;

// Application titles: the address of a running copy.
inline const QString kFirstCopyTitle = QStringLiteral("Vandrex v4.4a");
inline const QString kCloneTitle = QStringLiteral("Vandrex v4.4b");
inline const QString kForm1Caption = QStringLiteral(
    " Vandrex v4.4a Beta  i-mode Mail / Data Phone             MD/DVDvideo   [Realtime Encoder]");

// Design-time client size of the main window.
constexpr int kForm1ClientWidth = 392;
constexpr int kForm1ClientHeight = 609;
// Outer (frame) size minus client size, used where the window's size is set
// as the outer size of the original form (655 high = 609 client).
constexpr int kFrameExtraWidth = 8;
constexpr int kFrameExtraHeight = 46;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Every component must be given.
    explicit TForm1(TForm1Components components, QWidget* parent = nullptr);
    ~TForm1() override;

    // A control by its component name, for tests and scripts; the window's
    // own code holds its widgets as typed members of the panels.
    template <class W>
    W* control(const char* name) const {
        W* w = findChild<W*>(QString::fromLatin1(name));
        if (!w) throw Exception(std::string("missing control ") + name);
        return w;
    }
    TStatusBar* ConnectStatus() const { return status_; }

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
    // Creates the options window over Modem1 and VideoCap1 (at start-up; its
    // creation lists the lines and drivers and disconnects the camera).
    TPhoneOptions* CreateOptionsWindow();
    TPhoneOptions* OptionsWindow() const { return phoneOptions_; }
    void SetEditorWindow(TRMeditor* w) { editor_ = w; }
    // The help window, once Image2 has been double-clicked.
    THelpWindow* HelpWindow() const { return help_; }
    // The help page to show; by default the one shipped with the program.
    void SetHelpFile(const QString& file) { helpFile_ = file; }
    // Runs FormActivate when it is due (first activation, after a modal window).
    void RunPendingActivation();
    // Ends the program after the shutdown steps (SIGTERM, session end): stores
    // the shown card when it has a last name, sorts and closes the file.
    void TerminateCleanly();

    TCardFileTool& Cards() { return *cards_; }
    TWindowModes& Modes() { return *modes_; }
    TCloneMode& Clones() { return *clones_; }
    TCameraTool& Camera() { return *camera_; }
    // The data phone's handlers, on Modem1.
    TDataPhoneTool& DataPhone() { return *dataPhone_; }
    // The mail and upload handlers (sessions only for the real controls).
    TMailTool& MailTool() { return *mail_; }
    // The phone handlers; nullptr unless Modem1 is a real line component.
    TPhoneCallTool* PhoneTool() { return phone_.get(); }
    const TPanels& Panels() const { return *panels_; }
    // FileSource1..3: the carried files, extracted to temporary files for the
    // life of the window.
    const std::vector<std::unique_ptr<TFileSource>>& FileSources() const { return fileSources_; }

    int ActivationCount() const { return activations_; }
    bool Terminated() const { return terminated_; }

signals:
    void Activated();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildPanels();
    void wire();
    void terminate();

    TForm1Components c_;
    TStatusBar* status_ = nullptr;
    std::unique_ptr<TPanels> panels_;
    std::unique_ptr<TCardFileTool> cards_;
    std::unique_ptr<TWindowModes> modes_;
    std::unique_ptr<TCloneMode> clones_;
    std::unique_ptr<TMailTool> mail_;
    // Declared after c_: takes its handlers off the line before the line goes.
    std::unique_ptr<TPhoneCallTool> phone_;
    // After phone_ and c_: it takes its notice handler off the line first.
    std::unique_ptr<TDataPhoneTool> dataPhone_;
    std::vector<std::unique_ptr<TFileSource>> fileSources_;
    TCameraTool* camera_ = nullptr;  // a child of the window
    TPhoneOptions* phoneOptions_ = nullptr;
    // What the options window sees of Modem1 (none without the real line
    // component) and of VideoCap1.
    std::unique_ptr<TPhoneOptionsLine> optionsLine_;
    std::unique_ptr<TPhoneOptionsCapture> optionsCapture_;
    TRMeditor* editor_ = nullptr;
    THelpWindow* help_ = nullptr;
    QString helpFile_;
    bool activationPending_ = true;
    bool terminated_ = false;
    int activations_ = 0;
};

}  // namespace vandrex
