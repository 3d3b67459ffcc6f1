#pragma once
// TformDialing: the line component's hidden companion window. It is never
// shown; it receives the component's private notices (StartReceiver,
// NewDataNotice) through the user-interface thread's event loop.
//
// Notices from the receive thread travel through an event counter the event
// loop watches, so no object made on one thread is read on the other.

#include <QWidget>
#include <atomic>

class QSocketNotifier;

namespace vandrex {

class TTAPILine;

class TformDialing : public QWidget {
    Q_OBJECT
public:
    explicit TformDialing(TTAPILine* line);
    ~TformDialing() override;
    // Posts a notice (StartReceiver or NewDataNotice) to this window; safe
    // from any thread.
    void Post(int message);
    // Notices posted and not yet handled.
    int Pending() const { return pending_.load(); }

protected:
    bool event(QEvent* event) override;

private:
    void NewDataArrived();
    TTAPILine* line_;
    int noticeFd_ = -1;  // eventfd counting NewDataNotice posts
    QSocketNotifier* notifier_ = nullptr;
    std::atomic<int> pending_{0};
};

}  // namespace vandrex
