#pragma once
// Finding another running copy's application window by class and title and
// sending it WM_COPYDATA synchronously, between processes of one user.
//
// How copies find each other: every copy whose application window has a
// title or a hook listens on a local (AF_UNIX) socket in a per-user folder
// (MessageFolder). The socket's file name is a hash of the window's class and
// current title followed by the copy's own id (process id and a random
// token); a title change renames the file at once. FindWindow lists the files
// with the hash of the wanted class and title, newest announcement first,
// asks each live copy whether its class and title really are the wanted ones
// and returns the first that says yes. Files left behind by copies that died
// (nobody listening) are removed on the way.
//
// The handle names the copy, not the title: it stays valid across title
// changes and goes stale when that copy ends, like a window handle.
//
// Wire format of one request (one connection per request, little endian):
//   "VXWM", kind u32 (1 query, 2 message), a u32, b u32, c u64, d u64, payload
//   query:   a = class bytes, b = title bytes (UTF-8, each at most 1024),
//            payload = class then title
//   message: a = message number (only WM_COPYDATA), b = cbData (at most 256),
//            c = wParam, d = dwData, payload = the cbData bytes
// and its answer: "VXWR", result i64 (query: 1 = it is me; message: the
// receiving window's Result). A receiver drops any request that is not
// exactly one such frame, arrives from another user (SO_PEERCRED) or does not
// arrive whole within a few seconds, without answering.
//
// Waiting for an answer never enters the Qt event loop: the sender polls its
// answer and its own message socket only, so messages sent to it meanwhile
// (also from the copy it waits on) are handled inside the wait, while user
// input, timers and other events wait until the send returns.

#include <QString>
#include <vector>

#include "platform/applicationwindow.h"

namespace vandrex {

// The most cbData a message may carry.
inline constexpr quint32 kMaxCopyDataBytes = 256;

// One running copy's application window; null when none.
class TWindowHandle {
public:
    TWindowHandle() = default;
    explicit TWindowHandle(QString id) : id_(std::move(id)) {}
    bool IsNull() const { return id_.isEmpty(); }
    const QString& Id() const { return id_; }
    friend bool operator==(const TWindowHandle&, const TWindowHandle&) = default;

private:
    QString id_;
};

// A live copy whose application window has exactly this class and title
// (this copy included), or a null handle. Either text empty: null. A copy
// busy in a handler is waited for; one stopped for MessageTimeout() counts as
// found (it cannot confirm, but its socket's name matches).
TWindowHandle FindWindow(const QString& className, const QString& windowName);

// Every live copy with exactly this class and title (this copy included),
// newest first. A copy that is busy is waited for; one that stays stopped for
// MessageTimeout() counts as found.
std::vector<TWindowHandle> FindWindows(const QString& className, const QString& windowName);

// Whether the copy still runs and serves its socket (busy or stopped alike);
// false once its process has ended or its socket is gone. Never waits for the
// copy to answer.
bool IsWindow(const TWindowHandle& window);

// Sends WM_COPYDATA to the window and waits until its hooks have run, however
// long they take while the receiving process runs. Returns true when the
// receiver answered (result, if given, gets its Result); false when the
// handle is null or stale, the block is larger than kMaxCopyDataBytes, the
// receiver ended or dropped the request, or it stayed stopped for
// MessageTimeout(). A message to this copy's own window is dispatched
// directly.
bool SendCopyData(const TWindowHandle& target, const TCopyDataStruct& data,
                  qintptr* result = nullptr);

// This copy's own handle; null until its window has been announced.
TWindowHandle OwnWindowHandle();

// Makes this copy reachable under its application window's current class
// and title, moving it from the name it had. TApplicationWindow calls it.
void AnnounceApplicationWindow();

// The per-user folder of the message sockets, created when missing:
// $XDG_RUNTIME_DIR/vandrex when XDG_RUNTIME_DIR is an absolute folder owned by
// this user, else vandrex-<uid> in $TMPDIR or /tmp. The folder must be a real
// folder (not a link) owned by this user; its mode is made 0700. Returns an
// empty text (and the reason in *error) when no safe folder can be had.
QString MessageFolder(QString* error = nullptr);

// Makes the first-copy-or-clone decision atomic between the copies of this
// user: taken before searching for a first copy, held until this copy's title
// says what it became. Construction waits while another copy holds it,
// serving this copy's own socket meanwhile (so the holder's search is
// answered); a holder that ends releases it at once, one stopped for
// MessageTimeout() is given up on (Held() false). Backed by flock on
// "decision.lock" in the message folder.
class TCopyDecisionLock {
public:
    TCopyDecisionLock();
    ~TCopyDecisionLock();
    TCopyDecisionLock(const TCopyDecisionLock&) = delete;
    TCopyDecisionLock& operator=(const TCopyDecisionLock&) = delete;
    bool Held() const { return held_; }
    // Releases early (after the title is set).
    void release();

private:
    int fd_ = -1;
    bool held_ = false;
};

// How long a send or a search waits for a receiver that is stopped (SIGSTOP)
// before giving up on it, in milliseconds (default 5000). A receiver that
// ends is noticed at once; a running one is waited for as long as it takes.
int MessageTimeout();
void SetMessageTimeout(int milliseconds);

}  // namespace vandrex
