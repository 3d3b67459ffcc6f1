#pragma once
// How the instance-message sender and receiver reach other running copies:
// finding a copy's application window by class and title, delivering one
// WM_COPYDATA block to it synchronously, hooking this copy's own application
// window, and this copy's title (its address). The product transport is
// local sockets between processes (platform/windowmessages.h); tests use an
// in-process loopback so clone mode runs without child processes.

#include <QString>
#include <memory>

#include "platform/applicationwindow.h"
#include "platform/windowmessages.h"

namespace vandrex {

class TMessageTransport {
public:
    virtual ~TMessageTransport() = default;

    // A live copy whose application window has exactly this class and title
    // (this copy included), or a null handle. Either text empty: null.
    virtual TWindowHandle FindWindow(const QString& className, const QString& windowName) = 0;
    // Delivers the block and waits until the receiver's hooks have run.
    // Returns true when the receiver answered; false for a null or stale
    // handle, a block over kMaxCopyDataBytes, or no answer. data.lpData
    // must point at data.cbData readable bytes; the receiver gets its own
    // copy of them.
    virtual bool SendCopyData(const TWindowHandle& target, const TCopyDataStruct& data) = 0;
    // Hooks this copy's application window; returns the hook's id.
    virtual int HookMainWindow(TWindowHook hook) = 0;
    virtual void UnhookMainWindow(int id) = 0;
    // This copy's title; setting it re-announces the copy under the new one at once.
    virtual QString Title() const = 0;
    virtual void SetTitle(const QString& title) = 0;
    // Makes the first-copy-or-clone decision atomic between starting copies:
    // the decision is taken while the returned token lives (null: nothing to
    // lock, as for copies inside one process).
    virtual std::shared_ptr<void> LockCopyDecision() { return nullptr; }
};

// The product transport: this process's application window on local
// sockets. Its title is also the application name the desktop shows.
TMessageTransport& LocalSocketTransport();

}  // namespace vandrex
