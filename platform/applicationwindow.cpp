#include "platform/applicationwindow.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

#include "platform/windowmessages.h"

namespace vandrex {

QString TApplicationWindow::Title() const {
    if (titleSet_) return title_;
    if (QCoreApplication::instance()) {
        const QString path = QCoreApplication::applicationFilePath();
        if (!path.isEmpty()) return QFileInfo(path).completeBaseName();
    }
    return QString();
}

void TApplicationWindow::SetTitle(const QString& title) {
    const bool changed = !titleSet_ || title != title_;
    title_ = title;
    titleSet_ = true;
    if (changed) AnnounceApplicationWindow();
}

int TApplicationWindow::HookMainWindow(TWindowHook hook) {
    const int id = nextHookId_++;
    hooks_.push_back({id, std::move(hook)});
    AnnounceApplicationWindow();
    return id;
}

void TApplicationWindow::UnhookMainWindow(int id) {
    std::erase_if(hooks_, [id](const Hook& h) { return h.id == id; });
}

bool TApplicationWindow::Dispatch(TMessage& message) {
    message.Result = 0;
    // Walk by id so that hooks added or removed by a hook cannot upset the walk.
    std::vector<int> ids;
    for (const Hook& h : hooks_) ids.push_back(h.id);
    for (int id : ids) {
        auto it = std::find_if(hooks_.begin(), hooks_.end(), [id](const Hook& h) { return h.id == id; });
        if (it == hooks_.end()) continue;
        TWindowHook function = it->function;  // the hook may unhook itself
        if (function(message)) return true;
    }
    return false;
}

TApplicationWindow& ApplicationWindow() {
    static TApplicationWindow window;
    return window;
}

}  // namespace vandrex
