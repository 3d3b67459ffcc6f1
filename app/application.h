#pragma once
// The application object: runs the message loop and shows any exception that
// escapes an event handler (timers and queued events included) in the
// default error box, so the window stays usable.

#include <QApplication>

namespace vandrex {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // Runs f and reports an exception as notify does; for code run outside
    // an event (start-up).
    template <class F>
    static void Guard(F&& f) {
        try {
            f();
        } catch (...) {
            HandleException();
        }
    }
    // Shows the active exception in the error box.
    static void HandleException();
};

}  // namespace vandrex
