#pragma once
// The program's hidden application window: the address under which other
// running copies find this copy (its class name and title) and the window
// their messages are delivered to. Components hook its message handling the
// way a desktop application hooks its main window: every hook sees each
// message in turn until one reports it handled.
//
// Only WM_COPYDATA reaches the window from outside; see windowmessages.h for
// how copies find each other and deliver it.

#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

namespace vandrex {

inline constexpr quint32 WM_COPYDATA = 74;

// The copy-data record that travels with WM_COPYDATA. lpData points at
// cbData bytes that stay valid only while the message is being handled.
struct TCopyDataStruct {
    quintptr dwData = 0;
    quint32 cbData = 0;
    const void* lpData = nullptr;
};

struct TMessage {
    quint32 Msg = 0;
    quintptr WParam = 0;
    const TCopyDataStruct* CopyData = nullptr;  // the lParam of WM_COPYDATA
    qintptr Result = 0;                         // what the sender gets back
};

// Returns true when it handled the message; later hooks are then skipped.
using TWindowHook = std::function<bool(TMessage& message)>;

class TApplicationWindow {
public:
    TApplicationWindow(const TApplicationWindow&) = delete;
    TApplicationWindow& operator=(const TApplicationWindow&) = delete;

    // The application title; until set, the executable's name.
    QString Title() const;
    // Sets the title and re-announces this copy under it at once, so a
    // search for the old title no longer finds this copy and a search for
    // the new one does.
    void SetTitle(const QString& title);
    QString ClassName() const { return QStringLiteral("TApplication"); }

    // Adds a hook (called after the hooks added before it) and returns its
    // id. The first hook also makes the window reachable by other copies.
    int HookMainWindow(TWindowHook hook);
    void UnhookMainWindow(int id);

    // Delivers a message to the hooks in order. Returns true when one handled
    // it; an unhandled message leaves Result 0. Hooks may be added or removed
    // from inside a hook.
    bool Dispatch(TMessage& message);

private:
    friend TApplicationWindow& ApplicationWindow();
    TApplicationWindow() = default;

    struct Hook {
        int id;
        TWindowHook function;
    };
    QString title_;
    bool titleSet_ = false;
    int nextHookId_ = 1;
    std::vector<Hook> hooks_;
};

// The one application window of the process.
TApplicationWindow& ApplicationWindow();

}  // namespace vandrex
