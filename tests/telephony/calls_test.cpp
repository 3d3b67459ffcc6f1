// Calls between this process's line component and a second process running
// its own (tests/telephony/linepeer.cpp), over the network line and over two
// modem emulators: the panel texts, the caption and the lamps, every byte
// value both ways, hang-ups from either side, the stream's time-outs and the
// receive thread's notices.
#include <QElapsedTimer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "telephony/phonecalltool.h"
#include "telephony/tapiline.h"
#include "tests/telephony/telephonytestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

class RecordingView : public TPhoneView {
public:
    void SetButtonCaption(const QString& c) override { caption = c; }
    void SetStatus(const QString& t) override {
        status = t;
        statuses << t;
    }
    QString PhoneNumberText() const override { return number; }
    void SetLineLamp(bool lit) override { lamp = lit; }
    void TransferLampsOff() override { ++transferLampsOff; }
    QString caption = "Phone", status, number;
    QStringList statuses;
    bool lamp = false;
    int transferLampsOff = 0;
};

QByteArray AllBytes() {
    QByteArray b;
    for (int i = 0; i < 256; ++i) b.append(char(i));
    return b + b;
}

// This process's side: the component as the main window holds it.
class Side {
public:
    Side() : tool(line, view) {
        line.WaitForCall = false;  // as the main window's Modem1
        line.Timeout = 60;
        line.OnNewData = [this](TTAPILine* l) {
            ++notices;
            if (!readOnNotice) return;
            char buf[4096];
            long n;
            while ((n = l->ReadBuffer(buf, 0, sizeof buf)) > 0) received.append(buf, int(n));
        };
    }
    // Start-up: device chosen and opened; the first press only hangs up.
    void StartUp(int device) {
        line.SetDevIdToInitialize(device);
        line.Open();
        tool.WebPhoneButton1Click();
        ASSERT_EQ(view.status, "Phone Disconnected");
        ASSERT_TRUE(line.Dropped);
    }
    TTAPILine line;
    RecordingView view;
    TPhoneCallTool tool;
    QByteArray received;
    int notices = 0;
    bool readOnNotice = true;
};

QString HexOf(const QByteArray& b) { return QString::fromLatin1(b.toHex()); }

// Collects the hex data lines the peer prints until size bytes have come.
QByteArray PeerData(TProcess& peer, int size, int ms = 10000) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < size && t.elapsed() < ms) {
        const QString line = peer.WaitFor("data ", 200);
        if (!line.isEmpty()) got += QByteArray::fromHex(line.mid(5).toLatin1());
    }
    return got;
}

class CallTest : public ::testing::Test {
protected:
    TLineEnvironment env;
    ScopedRecordingDialogs dialogs;
    QStringList PeerEnvironment(const QString& network, const QStringList& modems) {
        return {"VANDREX_NETWORK_LINE=" + network, "VANDREX_MODEMS=" + modems.join(':'),
                "VANDREX_LINE_SETTINGS=" + env.Path("peer.ini"), "VANDREX_LOCK_DIR=" + env.Path(""),
                "QT_QPA_PLATFORM=offscreen"};
    }
};

}  // namespace

TEST_F(CallTest, NetworkLineFirstCallAnnouncedThenAnsweredBytesBothWaysAndHangUps) {
    const int myPort = FreePort(), peerPort = FreePort();
    env.Set(QString::number(myPort), {});
    Side me;
    me.StartUp(0);
    TProcess peer(PeerProgram(), {}, PeerEnvironment(QString::number(peerPort), {}));
    ASSERT_FALSE(peer.WaitFor("ready").isEmpty());
    peer.Send("dev 0");
    ASSERT_FALSE(peer.WaitFor("opened").isEmpty());

    // First call: announced on the peer, not answered (its WaitForCall is false).
    const QString address = QStringLiteral("127.0.0.1:%1").arg(peerPort);
    me.line.SetPhoneNumber(address);
    me.view.number = address;
    me.tool.WebPhoneButton1Click();
    EXPECT_EQ(me.view.caption, "Hang up");
    EXPECT_EQ(me.view.status, "Dialing " + address);
    EXPECT_EQ(peer.WaitFor("caption "), "caption Hang up");
    EXPECT_EQ(peer.WaitFor("status "), "status Answering Incoming Call");
    // With no answer signal the caller is connected when TCP connects.
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Connected"; }));
    EXPECT_TRUE(me.view.lamp);
    EXPECT_TRUE(me.line.Connected);
    // While the call is up the address cannot place another one.
    EXPECT_EQ(me.line.VerifyUsableLine(0), 6);
    me.view.lamp = false;
    EXPECT_EQ(me.line.VerifyUsableLine(0), 6);

    // This side hangs up: the peer sees the disconnect with its texts.
    me.tool.WebPhoneButton1Click();
    EXPECT_EQ(me.view.statuses.mid(me.view.statuses.size() - 2),
              (QStringList{"Phone Line is Dropped", "Phone Disconnected"}));
    EXPECT_EQ(me.view.caption, "Call");
    EXPECT_FALSE(me.view.lamp);
    EXPECT_EQ(peer.WaitFor("status "), "status Phone is Disconnected");
    EXPECT_FALSE(peer.Lines().contains("status Connected"));

    // Second call: answered at once now.
    me.tool.WebPhoneButton1Click();
    EXPECT_EQ(peer.WaitFor("status ", 10000), "status Answering Incoming Call");
    EXPECT_EQ(peer.WaitFor("status ", 10000), "status Connected");
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Connected"; }));

    // Every byte value, both ways.
    const QByteArray all = AllBytes();
    ASSERT_TRUE(me.line.WriteBuffer(all.constData(), all.size()));
    EXPECT_EQ(PeerData(peer, all.size()), all);
    peer.Send("send " + HexOf(all));
    ASSERT_TRUE(WaitUntil([&] { return me.received.size() >= all.size(); }));
    EXPECT_EQ(me.received, all);

    // The peer hangs up: this side's panel, caption and lamps follow.
    peer.Send("button");
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Phone is Disconnected"; }, 3000));
    EXPECT_EQ(me.view.caption, "Call");
    EXPECT_FALSE(me.view.lamp);
    EXPECT_EQ(me.view.transferLampsOff, 1);
    EXPECT_FALSE(me.line.Connected);
    EXPECT_EQ(me.line.CommHandle(), nullptr);
    EXPECT_FALSE(me.line.ReceiverRunning());

    // A later call from the peer is offered and answered here.
    peer.Send("number 127.0.0.1:" + QString::number(myPort));
    peer.Send("button");
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Connected"; }));
    EXPECT_TRUE(me.tool.AnsweringIncoming);
    EXPECT_EQ(peer.WaitFor("status Connected"), "status Connected");
    peer.Send("send 414243");
    ASSERT_TRUE(WaitUntil([&] { return me.received.endsWith("ABC"); }));
}

TEST_F(CallTest, StreamTimeOutsHangUpMidReadAndEdgeTriggeredNotices) {
    const int myPort = FreePort(), peerPort = FreePort();
    env.Set(QString::number(myPort), {});
    Side me;
    me.readOnNotice = false;
    me.StartUp(0);
    TProcess peer(PeerProgram(), {}, PeerEnvironment(QString::number(peerPort), {}));
    ASSERT_FALSE(peer.WaitFor("ready").isEmpty());
    peer.Send("wait 1");
    peer.Send("dev 0");
    ASSERT_FALSE(peer.WaitFor("opened").isEmpty());
    me.line.SetPhoneNumber(QStringLiteral("127.0.0.1:%1").arg(peerPort));
    me.tool.WebPhoneButton1Click();
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Connected"; }));
    ASSERT_EQ(peer.WaitFor("status Connected"), "status Connected");
    ASSERT_TRUE(me.line.ReceiverRunning());

    // One notice per arrival, none while the bytes just wait.
    peer.Send("send 30313233343536373839");
    ASSERT_TRUE(WaitUntil([&] { return me.notices >= 1; }));
    Serve(400);
    EXPECT_EQ(me.notices, 1);
    EXPECT_EQ(me.line.BytesInQueue(), 10);

    // ReadBuffer with count 0 reads no more than the buffer holds.
    char small[4];
    EXPECT_EQ(me.line.ReadBuffer(small, 0, sizeof small), 4);
    EXPECT_EQ(QByteArray(small, 4), "0123");
    EXPECT_EQ(me.line.BytesInQueue(), 6);

    // 23 asked, 6 waiting and nothing more coming: the read times out.
    me.line.Timeout = 1;
    QElapsedTimer timer;
    timer.start();
    QByteArray text;
    try {
        me.line.ReadString(23, text);
        FAIL() << "no time-out";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Timeout during read operation.");
    }
    EXPECT_GE(timer.elapsed(), 900);
    EXPECT_EQ(me.line.BytesInQueue(), 0);  // purged

    peer.Send("send 41");
    ASSERT_TRUE(WaitUntil([&] { return me.notices >= 2; }));
    Serve(200);
    EXPECT_EQ(me.notices, 2);

    // A suspended line delivers nothing; resuming reports what waits.
    me.line.Suspended = true;
    peer.Send("send 42");
    Serve(400);
    EXPECT_EQ(me.notices, 2);
    me.line.StartReceive();
    ASSERT_TRUE(WaitUntil([&] { return me.notices >= 3; }));

    // The far end hangs up during a long read: it ends within a second.
    me.line.Timeout = 30;
    peer.Send("button");
    timer.restart();
    try {
        me.line.ReadString(23, text);
        FAIL() << "the read survived the hang-up";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Connection has been broken during read.");
    }
    EXPECT_LT(timer.elapsed(), 2000);
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Phone is Disconnected"; }, 3000));
    EXPECT_FALSE(me.line.ReceiverRunning());
    EXPECT_FALSE(me.line.WriteString(QByteArray("late")));
}

TEST_F(CallTest, NetworkLineRefusalsAndBusy) {
    const int myPort = FreePort(), deadPort = FreePort();
    env.Set(QString::number(myPort), {});
    Side me;
    me.StartUp(0);
    // Nobody listens: the call ends as disconnected.
    me.line.SetPhoneNumber(QStringLiteral("127.0.0.1:%1").arg(deadPort));
    me.tool.WebPhoneButton1Click();
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Phone is Disconnected"; }));
    // A phone number is never dialled as an address.
    me.tool.WebPhoneButton1Click();  // hang up
    me.line.SetPhoneNumber("555 1234");
    me.tool.WebPhoneButton1Click();
    me.view.status.clear();
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Phone is Disconnected"; }));

    // One call per line: a second caller is turned away.
    me.tool.WebPhoneButton1Click();  // hang up, which closes the line
    me.line.Open();
    me.line.WaitForCall = true;
    QTcpSocket first, second;
    first.connectToHost("127.0.0.1", myPort);
    ASSERT_TRUE(first.waitForConnected(3000));
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Connected"; }));
    second.connectToHost("127.0.0.1", myPort);
    ASSERT_TRUE(second.waitForConnected(3000));
    EXPECT_TRUE(WaitUntil([&] {
        second.waitForReadyRead(10);
        return second.state() == QAbstractSocket::UnconnectedState;
    }, 3000));
    first.write("plain tcp");
    first.flush();
    ASSERT_TRUE(WaitUntil([&] { return me.received == "plain tcp"; }));
}

TEST_F(CallTest, DecliningAnOfferedCallHangsUpTheCaller) {
    const int myPort = FreePort(), peerPort = FreePort();
    env.Set(QString::number(myPort), {});
    Side me;
    me.StartUp(0);
    TProcess peer(PeerProgram(), {}, PeerEnvironment(QString::number(peerPort), {}));
    ASSERT_FALSE(peer.WaitFor("ready").isEmpty());
    peer.Send("dev 0");
    ASSERT_FALSE(peer.WaitFor("opened").isEmpty());
    me.line.SetPhoneNumber(QStringLiteral("127.0.0.1:%1").arg(peerPort));
    me.tool.WebPhoneButton1Click();
    ASSERT_EQ(peer.WaitFor("status "), "status Answering Incoming Call");
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Connected"; }));
    // What the caller sends before an answer waits; declining drops it.
    ASSERT_TRUE(me.line.WriteString(QByteArray("early")));
    peer.Send("button");
    EXPECT_EQ(peer.WaitFor("status "), "status Phone Line is Dropped");
    EXPECT_EQ(peer.WaitFor("status "), "status Phone Disconnected");
    ASSERT_TRUE(WaitUntil([&] { return me.view.status == "Phone is Disconnected"; }, 3000));
    EXPECT_FALSE(peer.Lines().join('\n').contains("data "));
}
