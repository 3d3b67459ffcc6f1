#include "ipc/messagetransport.h"

#include <QCoreApplication>

namespace vandrex {

namespace {

class TLocalSocketTransport final : public TMessageTransport {
public:
    TWindowHandle FindWindow(const QString& className, const QString& windowName) override {
        return vandrex::FindWindow(className, windowName);
    }
    bool SendCopyData(const TWindowHandle& target, const TCopyDataStruct& data) override {
        return vandrex::SendCopyData(target, data);
    }
    int HookMainWindow(TWindowHook hook) override { return ApplicationWindow().HookMainWindow(std::move(hook)); }
    void UnhookMainWindow(int id) override { ApplicationWindow().UnhookMainWindow(id); }
    // Program entry names the application; the window carries that name
    // until clone mode changes it.
    QString Title() const override { return QCoreApplication::applicationName(); }
    void SetTitle(const QString& title) override {
        QCoreApplication::setApplicationName(title);
        ApplicationWindow().SetTitle(title);
    }
    std::shared_ptr<void> LockCopyDecision() override { return std::make_shared<TCopyDecisionLock>(); }
};

}  // namespace

TMessageTransport& LocalSocketTransport() {
    static TLocalSocketTransport transport;
    return transport;
}

}  // namespace vandrex
