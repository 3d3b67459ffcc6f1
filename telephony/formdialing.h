#pragma once
// TformDialing: the line component's hidden companion window. It is never
// shown; it receives the component's private notices (StartReceiver,
// NewDataNotice) through the user-interface thread's event loop.

#include <QWidget>

namespace vandrex {

class TTAPILine;

class TformDialing : public QWidget {
    Q_OBJECT
public:
    explicit TformDialing(TTAPILine* line);
    // Posts a notice (StartReceiver or NewDataNotice) to this window; safe
    // from any thread.
    void Post(int message);
    // Notices posted and not yet handled.
    int Pending() const;

protected:
    bool event(QEvent* event) override;

private:
    TTAPILine* line_;
};

}  // namespace vandrex
