// The window's phone group on the real line component over the network line,
// and the line steps of activation.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>

#include "app/panels/phonepanel.h"
#include "controls/ledlabel.h"
#include "telephony/phonecalltool.h"
#include "telephony/tapilineadapter.h"
#include "tests/mainwindow/window_fixture.h"

namespace vandrex::testing {
namespace {

class PhoneWindow : public WindowTest {};

TEST_F(PhoneWindow, ActivationKeepsTheChosenDeviceAndChoosesTheFirstOnlyWhenNone) {
    Create();
    doubles.line->devId = 2;  // as the options window leaves it
    Start();
    EXPECT_EQ(doubles.line->DevIdToInitialize(), 2);
    EXPECT_EQ(doubles.line->OpenCalls, 1);
    EXPECT_EQ(form->PhoneTool(), nullptr) << "no phone handlers without a real line";
}

// Runs the event loop until done() holds or ten seconds pass.
template <class F>
bool WaitFor(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class PhoneWindowOnRealLine : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Any free loopback port for this copy's own line, and no serial port.
        qputenv("VANDREX_NETWORK_LINE", "0");
        qputenv("VANDREX_MODEMS", "");
    }
    void TearDown() override {
        form.reset();
        qunsetenv("VANDREX_NETWORK_LINE");
        qunsetenv("VANDREX_MODEMS");
        WindowTest::TearDown();
    }
    void CreateOnRealLine() {
        TForm1Components c = doubles.Make();
        c.Modem1 = std::make_unique<TTAPILineAdapter>();
        doubles.line = nullptr;
        form = std::make_unique<TForm1>(std::move(c));
    }
    QString Caption() { return Button("WebPhoneButton1")->text(); }
    bool LineLamp() { return form->control<TLEDLabel>("LEDWebPhoneIPLabel1")->Lit(); }
};

TEST_F(PhoneWindowOnRealLine, PhoneButtonCallsTheCardsAddressAndThePeersHangUpEndsIt) {
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost));
    const QString number = QStringLiteral("127.0.0.1:%1").arg(peer.serverPort());
    WriteFile(DbPath(), RecordBytes({"F", "Peer", "", "", "", "", "", number.toStdString()}));
    CreateOnRealLine();
    ASSERT_NE(form->PhoneTool(), nullptr);
    Start();

    // Start-up opened the line, so the first press hangs up and the second dials.
    Click("WebPhoneButton1");
    EXPECT_EQ(Caption(), "Call");
    EXPECT_EQ(Panel0(), "Phone Disconnected");
    // The line's call states come through the event loop: read the texts
    // of the press before it runs.
    Button("WebPhoneButton1")->click();
    EXPECT_EQ(Caption(), "Hang up");
    EXPECT_EQ(Panel0(), "Dialing " + number);

    ASSERT_TRUE(WaitFor([&] { return peer.hasPendingConnections(); })) << "the peer was never dialled";
    QTcpSocket* far = peer.nextPendingConnection();
    ASSERT_TRUE(WaitFor([&] { return Panel0() == "Connected"; })) << Panel0().toStdString();
    EXPECT_EQ(Caption(), "Hang up");
    EXPECT_TRUE(LineLamp());

    far->close();
    ASSERT_TRUE(WaitFor([&] { return Panel0() == "Phone is Disconnected"; })) << Panel0().toStdString();
    EXPECT_EQ(Caption(), "Call");
    EXPECT_FALSE(LineLamp());
}

TEST_F(PhoneWindowOnRealLine, DialingWithNoLineToOpenShowsTheLinesErrorInTheErrorBox) {
    qputenv("VANDREX_NETWORK_LINE", "off");
    CreateOnRealLine();
    Start();
    Click("WebPhoneButton1");
    dialogs.clear();
    // Queued, so the press runs from the message loop as a user's would.
    QMetaObject::invokeMethod(Button("WebPhoneButton1"), "click", Qt::QueuedConnection);
    Process();
    EXPECT_EQ(dialogs.errors(), QStringList{"TAPILine: You must open line at first"});
    EXPECT_TRUE(form->isVisible()) << "the window works on after the error";
}

}  // namespace
}  // namespace vandrex::testing
