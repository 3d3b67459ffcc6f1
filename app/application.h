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

// A handler for connect() that shows its own exceptions: one must never
// unwind through Qt's click and mouse-event code, which is not written for
// it (its local guards would be left behind).
template <class F>
auto Guarded(F f) {
    return [f = std::move(f)](auto&&... args) { TApplication::Guard([&] { f(args...); }); };
}

template <class T, class R, class... A>
auto Guarded(T* object, R (T::*handler)(A...)) {
    return [object, handler](A... args) { TApplication::Guard([&] { (object->*handler)(args...); }); };
}

}  // namespace vandrex
