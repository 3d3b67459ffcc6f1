#pragma once
// The instance-message sender: finds another running copy's application
// window by class name and title and sends it a text as WM_COPYDATA,
// waiting until that copy has handled it.
//
// The window found is kept and reused for every later send until a name is
// changed; it is not looked up again, so a send to a copy that has ended
// fails silently. With no window found nothing is sent and nothing reported;
// callers that need to know read Active.

#include <QString>
#include <array>

#include "ipc/messagetransport.h"

namespace vandrex {

// The copy-data record as it travels: the text in the code page, cut to 255
// bytes and zero-terminated in a 256-byte buffer; cbData = min(length + 1, 256).
struct TCommBlock {
    std::array<char, 256> buffer{};
    quint32 cbData = 0;
};

class TfxCommTX {
public:
    // Sends through the given transport (the local sockets by default).
    explicit TfxCommTX(TMessageTransport& transport = LocalSocketTransport()) : transport_(transport) {}
    TfxCommTX(const TfxCommTX&) = delete;
    TfxCommTX& operator=(const TfxCommTX&) = delete;

    // Names are kept to their first 255 characters. Setting either drops the
    // window found so far.
    QString RxClassName() const { return rxClassName_; }
    void SetRxClassName(const QString& name);
    QString RxWindowName() const { return rxWindowName_; }
    void SetRxWindowName(const QString& name);

    // True only while a target window is held. Setting true looks the window
    // up (no window when either name is empty); setting false drops it.
    bool Active() const { return !target_.IsNull(); }
    // The window found; null while not active.
    const TWindowHandle& Target() const { return target_; }
    void SetActive(bool active);

    QString Version() const { return QStringLiteral("Beta 0.10"); }
    void SetVersion(const QString&) {}  // read-only
    QString Copyright() const { return QStringLiteral("Copyright (c) the Vandrex developers"); }
    void SetCopyright(const QString&) {}  // read-only

    // Activates first when not active; sends when active, else does nothing.
    void Send(const QString& text);

    static TCommBlock MakeBlock(const QString& text);

private:
    TMessageTransport& transport_;
    QString rxClassName_ = QStringLiteral("TApplication");
    QString rxWindowName_;
    TWindowHandle target_;
};

}  // namespace vandrex
