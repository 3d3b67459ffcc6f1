#pragma once
// The one door through which the program talks to the user in boxes:
// message boxes, the error box, file and colour dialogs and the beep.
// Tests install a TRecordingDialogs and read back the exact texts shown.

#include <QColor>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

namespace vandrex {

struct FileDialogRequest {
    QString title;
    QString filter;        // Qt filter text, e.g. "Playlists (*.ram)"
    QString initialName;   // proposed file name or folder
};

// Buttons of a question box; the answer is the button pressed.
enum class Answer { Ok, Cancel, Yes, No };

class TUserDialogs {
public:
    virtual ~TUserDialogs() = default;
    // A plain box with an OK button (the runtime's ShowMessage).
    virtual void ShowMessage(const QString& text) = 0;
    // The application's default error box for an exception that ended a handler.
    virtual void ShowError(const QString& text) = 0;
    // A box with a caption and a choice of buttons (MessageBox of the desktop).
    virtual Answer Ask(const QString& text, const QString& caption, bool yesNo) = 0;
    // The chosen path, or an empty text when the user cancels.
    virtual QString OpenFile(const FileDialogRequest& request) = 0;
    virtual QString SaveFile(const FileDialogRequest& request) = 0;
    // The chosen colour, or nothing when cancelled.
    virtual std::optional<QColor> ChooseColor(const QColor& initial) = 0;
    virtual void Beep() = 0;
};

// The service in use; the desktop implementation unless one was installed.
TUserDialogs& Dialogs();
// Installs a service (not owned); nullptr restores the desktop implementation.
void SetDialogs(TUserDialogs* dialogs);
// The installed service, or nullptr while the desktop implementation is used.
TUserDialogs* InstalledDialogs();

// Shorthands for the two boxes every handler uses.
inline void ShowMessage(const QString& text) { Dialogs().ShowMessage(text); }
inline void ShowError(const QString& text) { Dialogs().ShowError(text); }

// Records everything shown and answers from queues (empty queue: Cancel / no
// file / no colour). Used by tests and by the headless script mode.
class TRecordingDialogs : public TUserDialogs {
public:
    struct Shown {
        QString kind;  // "message", "error", "ask", "open", "save", "color", "beep"
        QString text;
    };

    void ShowMessage(const QString& text) override { shown.push_back({"message", text}); }
    void ShowError(const QString& text) override { shown.push_back({"error", text}); }
    Answer Ask(const QString& text, const QString& caption, bool yesNo) override;
    QString OpenFile(const FileDialogRequest& request) override;
    QString SaveFile(const FileDialogRequest& request) override;
    std::optional<QColor> ChooseColor(const QColor& initial) override;
    void Beep() override { shown.push_back({"beep", QString()}); }

    // Texts of the plain messages, in order.
    QStringList messages() const { return textsOf("message"); }
    QStringList errors() const { return textsOf("error"); }
    QStringList textsOf(const QString& kind) const;
    void clear() { shown.clear(); }

    std::vector<Shown> shown;
    std::deque<Answer> answers;
    std::deque<QString> files;
    std::deque<QColor> colors;
};

// Installs a recording service for the lifetime of a scope.
class ScopedRecordingDialogs : public TRecordingDialogs {
public:
    ScopedRecordingDialogs() : previous_(InstalledDialogs()) { SetDialogs(this); }
    ~ScopedRecordingDialogs() override { SetDialogs(previous_); }
private:
    TUserDialogs* previous_;
};

}  // namespace vandrex
