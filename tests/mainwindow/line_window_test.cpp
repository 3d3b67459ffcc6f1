// Calls between the window and a second process with its own line
// component, over the network line and over two modem emulators: what the
// phone group shows, and the line's events as the window's Modem1 raises them.

#include <QElapsedTimer>
#include <QTest>

#include "controls/ledlabel.h"
#include "telephony/tapiline.h"
#include "telephony/tapilineadapter.h"
#include "tests/mainwindow/window_fixture.h"
#include "tests/telephony/telephonytestsupport.h"

namespace vandrex::testing {
namespace {

using test::FreePort;
using test::PeerProgram;
using test::Serve;
using test::TLineEnvironment;
using test::TModemEmulator;
using test::TProcess;
using test::WaitUntil;

// How the two sides reach each other.
struct Wiring {
    QString windowLine, peerLine;        // VANDREX_NETWORK_LINE of each side
    QStringList windowModems, peerModems;
    QString windowAddress, peerAddress;  // what the other side dials
    int hangUpPause = 0;                 // ms a port needs after a hang-up (DTR drop)
};

class LineWindow : public WindowTest {
protected:
    void TearDown() override {
        form.reset();
        peer.reset();
        emulators.clear();
        WindowTest::TearDown();
    }

    Wiring NetworkWiring() {
        const int mine = FreePort(), theirs = FreePort();
        return {QString::number(mine), QString::number(theirs), {}, {},
                QStringLiteral("127.0.0.1:%1").arg(mine), QStringLiteral("127.0.0.1:%1").arg(theirs), 0};
    }
    Wiring ModemWiring() {
        const int mine = FreePort(), theirs = FreePort();
        emulators.push_back(std::make_unique<TModemEmulator>(env.Path("modem1"), mine));
        emulators.push_back(std::make_unique<TModemEmulator>(env.Path("modem2"), theirs));
        return {"off", "off", {emulators[0]->Link()}, {emulators[1]->Link()},
                QStringLiteral("127.0.0.1:%1").arg(mine), QStringLiteral("127.0.0.1:%1").arg(theirs), 400};
    }

    // The window on the program's Modem1, its card holding the peer's
    // address; the peer process with its line open.
    void StartBoth(const Wiring& w) {
        wiring = w;
        env.Set(w.windowLine, w.windowModems);
        WriteFile(DbPath(), RecordBytes({"F", "Peer", "", "", "", "", "", w.peerAddress.toStdString()}));
        TForm1Components c = doubles.Make();
        auto line = std::make_unique<TTAPILineAdapter>();
        modem = line.get();
        c.Modem1 = std::move(line);
        doubles.line = nullptr;
        form = std::make_unique<TForm1>(std::move(c));
        modem->OnCallOffering = [this](TLineInterface* s) { Event("offering", s); };
        modem->OnConnection = [this](TLineInterface* s) { Event("connection", s); };
        modem->OnDisconnect = [this](TLineInterface* s) { Event("disconnect", s); };
        modem->OnDropCall = [this](TLineInterface* s) { Event("dropcall", s); };
        modem->OnNewData = [this](TLineInterface* s) {
            char buf[4096];
            long n;
            while ((n = s->Control()->ReadBuffer(buf, 0, sizeof buf)) > 0) received.append(buf, int(n));
        };
        Start();

        peer = std::make_unique<TProcess>(
            PeerProgram(), QStringList{},
            QStringList{"VANDREX_NETWORK_LINE=" + w.peerLine, "VANDREX_MODEMS=" + w.peerModems.join(':'),
                        "VANDREX_LINE_SETTINGS=" + env.Path("peer.ini"), "QT_QPA_PLATFORM=offscreen"});
        ASSERT_FALSE(peer->WaitFor("ready").isEmpty());
        peer->Send("dev 0");
        ASSERT_FALSE(peer->WaitFor("opened").isEmpty());
        peer->Send("number " + w.windowAddress);
        peer->Send("button");  // the first press after opening hangs up
        ASSERT_EQ(peer->WaitFor("status Phone Disconnected"), "status Phone Disconnected");
    }
    void Event(const char* name, TLineInterface* sender) {
        events << QString::fromLatin1(name);
        EXPECT_EQ(sender, modem);
    }

    QString Caption() { return Button("WebPhoneButton1")->text(); }
    bool LineLamp() { return form->control<TLEDLabel>("LEDWebPhoneIPLabel1")->Lit(); }
    bool PanelSays(const QString& text, int ms = 10000) {
        return WaitUntil([&] { return Panel0() == text; }, ms);
    }
    void PressPhone() { QTest::mouseClick(Button("WebPhoneButton1"), Qt::LeftButton); }
    // Hex data lines from the peer until size bytes have come.
    QByteArray PeerData(int size) {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < size && t.elapsed() < 10000) {
            const QString line = peer->WaitFor("data ", 200);
            if (!line.isEmpty()) got += QByteArray::fromHex(line.mid(5).toLatin1());
        }
        return got;
    }

    // The whole exchange with the window as the one called, then calling.
    void CallsBothWays() {
        // First call: announced, not answered; the caller gives up.
        peer->Send("button");
        ASSERT_TRUE(PanelSays("Answering Incoming Call")) << Panel0().toStdString();
        EXPECT_EQ(Caption(), "Hang up");
        Serve(500);
        EXPECT_EQ(Panel0(), "Answering Incoming Call") << "the first call was answered";
        EXPECT_FALSE(LineLamp());
        peer->Send("button");
        ASSERT_EQ(peer->WaitFor("status Phone Disconnected"), "status Phone Disconnected");
        ASSERT_TRUE(PanelSays("Phone is Disconnected")) << Panel0().toStdString();
        EXPECT_EQ(Caption(), "Call");
        EXPECT_FALSE(LineLamp());
        EXPECT_EQ(events, (QStringList{"offering", "disconnect"}));

        // Second call: answered at once.
        Serve(wiring.hangUpPause);
        events.clear();
        peer->Send("button");
        ASSERT_TRUE(PanelSays("Connected")) << Panel0().toStdString();
        EXPECT_EQ(Caption(), "Hang up");
        EXPECT_TRUE(LineLamp());
        EXPECT_EQ(events, (QStringList{"offering", "connection"}));

        // Every byte value both ways, the window's sent the moment it
        // answered; the window hears the peer's through Modem1.
        QByteArray all;
        for (int i = 0; i < 256; ++i) all.append(char(i));
        ASSERT_TRUE(modem->Control()->WriteBuffer(all.constData(), all.size()));
        EXPECT_EQ(peer->WaitFor("status Connected"), "status Connected");
        EXPECT_EQ(PeerData(all.size()), all);
        peer->Send("send " + QString::fromLatin1(all.toHex()));
        ASSERT_TRUE(WaitUntil([&] { return received.size() >= all.size(); }));
        EXPECT_EQ(received, all);

        // The window hangs up.
        events.clear();
        PressPhone();
        EXPECT_EQ(Panel0(), "Phone Disconnected");
        EXPECT_EQ(Caption(), "Call");
        EXPECT_FALSE(LineLamp());
        EXPECT_EQ(events, QStringList{"dropcall"});
        EXPECT_EQ(peer->WaitFor("status Phone is Disconnected"), "status Phone is Disconnected");

        // The window calls; the peer, hung up on, now answers; then it hangs up.
        Serve(wiring.hangUpPause);
        events.clear();
        PressPhone();
        EXPECT_EQ(Panel0(), "Dialing " + wiring.peerAddress);
        EXPECT_EQ(Caption(), "Hang up");
        ASSERT_TRUE(PanelSays("Connected")) << Panel0().toStdString();
        EXPECT_TRUE(LineLamp());
        EXPECT_EQ(peer->WaitFor("status Connected"), "status Connected");
        peer->Send("button");
        ASSERT_TRUE(PanelSays("Phone is Disconnected")) << Panel0().toStdString();
        EXPECT_EQ(Caption(), "Call");
        EXPECT_FALSE(LineLamp());
        EXPECT_EQ(events, (QStringList{"connection", "disconnect"}));
    }

    TLineEnvironment env;
    std::vector<std::unique_ptr<TModemEmulator>> emulators;
    std::unique_ptr<TProcess> peer;
    Wiring wiring;
    TTAPILineAdapter* modem = nullptr;
    QStringList events;
    QByteArray received;
};

TEST_F(LineWindow, CallsWithAnotherProgramOverTheNetworkLine) {
    StartBoth(NetworkWiring());
    if (HasFatalFailure()) return;
    CallsBothWays();
}

TEST_F(LineWindow, CallsWithAnotherProgramOverTwoModemEmulators) {
    StartBoth(ModemWiring());
    if (HasFatalFailure()) return;
    CallsBothWays();
}

}  // namespace
}  // namespace vandrex::testing
