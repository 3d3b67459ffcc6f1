// TDataPhoneDriver: two phones on the user-interface thread's event loop,
// joined by in-memory lines, with real time for quiet and deadlines.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>

#include "telephony/dataphonedriver.h"
#include "tests/telephony/dataphone_support.h"

using namespace vandrex;
using namespace vandrex::testing;
using TKind = TDataPhoneEvent::TKind;

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "dataphonedriver_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One end of a call: what the other end wrote waits here until the posted
// notice reads it, as the line's receive thread posts its notices.
struct TEnd {
    TMemorySink sink;
    TDataPhone phone{sink, SteadyMs};
    std::string waiting;
    std::unique_ptr<TDataPhoneDriver> driver;
    std::vector<TDataPhoneEvent> events;
    bool lineUp = true;
};

struct TCall {
    TEnd a, b;
    TCall() {
        App();
        Join(a, b);
        Join(b, a);
        a.phone.SetConnected(true);
        b.phone.SetConnected(true);
    }
    static void Join(TEnd& self, TEnd& other) {
        self.driver = std::make_unique<TDataPhoneDriver>(
            self.phone, [&self] { return std::exchange(self.waiting, {}); },
            [&self, &other](std::string_view bytes) {
                if (!self.lineUp) return false;
                other.waiting.append(bytes);
                QTimer::singleShot(0, other.driver.get(), [&other] { other.driver->NewData(); });
                return true;
            });
        QObject::connect(self.driver.get(), &TDataPhoneDriver::Events,
                         [&self](const std::vector<TDataPhoneEvent>& e) {
                             self.events.insert(self.events.end(), e.begin(), e.end());
                         });
    }
    // Runs the event loop until the condition holds or the time is up.
    template <class F>
    bool RunUntil(F done, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return done();
    }
};

}  // namespace

TEST(DataPhoneDriver, ChatLineEndsByItsQuietTimeWithoutFurtherNotices) {
    TCall call;
    call.a.phone.SendChat("over the loop");
    call.a.driver->Flush();
    ASSERT_TRUE(call.RunUntil([&] { return !Texts(call.b.events, TKind::ChatReceived).empty(); }));
    EXPECT_EQ(Texts(call.b.events, TKind::ChatReceived), std::vector<std::string>{"over the loop"});
}

TEST(DataPhoneDriver, FileGoesThroughAndAnsweringInsideTheEventHandlerWorks) {
    TCall call;
    // The receiving window accepts from inside its event handler.
    QObject::connect(call.b.driver.get(), &TDataPhoneDriver::Events, [&](const std::vector<TDataPhoneEvent>& e) {
        for (const auto& ev : e)
            if (ev.Kind == TKind::FileAnnounced) {
                call.b.phone.AcceptFile();
                call.b.driver->Flush();
            }
    });
    std::string data = Pattern(10000);
    ASSERT_TRUE(call.a.phone.SendFile("f.bin", 10000, Source(data)));
    call.a.driver->Flush();
    ASSERT_TRUE(call.RunUntil([&] { return call.b.sink.commits == 1 && !call.a.phone.Busy(); }));
    EXPECT_EQ(call.b.sink.stored["f.bin"], data);
    EXPECT_EQ(call.a.phone.View().Counters.FilesOutCount, 1);
}

TEST(DataPhoneDriver, AHandlerThatThrowsDoesNotStopLaterSteps) {
    TCall call;
    bool thrown = false;
    QObject::connect(call.a.driver.get(), &TDataPhoneDriver::Events, [&](const std::vector<TDataPhoneEvent>&) {
        if (!std::exchange(thrown, true)) throw std::runtime_error("handler failed");
    });
    call.a.phone.SendChat("first");
    EXPECT_THROW(call.a.driver->Flush(), std::runtime_error);
    call.a.phone.SendChat("second");
    call.a.driver->Flush();
    ASSERT_TRUE(call.RunUntil([&] { return Texts(call.b.events, TKind::ChatReceived).size() == 2; }));
    EXPECT_EQ(Texts(call.b.events, TKind::ChatReceived), (std::vector<std::string>{"first", "second"}));
}

TEST(DataPhoneDriver, FailedWriteEndsTheCallAndTheTransfer) {
    TCall call;
    call.a.lineUp = false;
    ASSERT_TRUE(call.a.phone.SendPicture(Source("jpeg")));
    call.a.driver->Flush();
    EXPECT_FALSE(call.a.phone.Connected());
    EXPECT_FALSE(call.a.phone.Busy());
    EXPECT_EQ(Count(call.a.events, TKind::TransferFailed), 1);
}
