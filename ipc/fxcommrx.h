#pragma once
// The instance-message receiver: hooks the application window and hands
// every WM_COPYDATA text to OnCommReceived.

#include <QString>
#include <functional>
#include <optional>

#include "ipc/messagetransport.h"

namespace vandrex {

class TfxCommRX;

using TCommReceivedEvent = std::function<void(TfxCommRX* sender, const QString& sMessage)>;

class TfxCommRX {
public:
    // Hooks the transport's application window for the receiver's lifetime.
    explicit TfxCommRX(TMessageTransport& transport = LocalSocketTransport());
    ~TfxCommRX();
    TfxCommRX(const TfxCommRX&) = delete;
    TfxCommRX& operator=(const TfxCommRX&) = delete;

    // Assigned when non-empty. Called with the text up to its terminating
    // zero; a block without a zero within its cbData bytes is not a text and
    // is passed on unhandled.
    TCommReceivedEvent OnCommReceived;

    QString Version() const { return QStringLiteral("Beta 0.11"); }
    void SetVersion(const QString&) {}  // read-only
    QString Copyright() const { return QStringLiteral("Copyright (c) the Vandrex developers"); }
    void SetCopyright(const QString&) {}  // read-only

    // The text of a block, or nothing when it holds none.
    static std::optional<QString> ReadText(const TCopyDataStruct& data);

private:
    bool WindowHook(TMessage& message);
    TMessageTransport& transport_;
    int hookId_ = 0;
};

}  // namespace vandrex
