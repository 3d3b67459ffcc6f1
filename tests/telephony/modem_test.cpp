// vandrex-modem against independent clients (ppp's chat, a raw terminal, TCP
// peers), and the line component over two emulators with a second process.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/dialogs.h"
#include "telephony/phonecalltool.h"
#include "telephony/tapiline.h"
#include "tests/telephony/telephonytestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

// The test as a terminal program on the emulator's port.
class RawDte {
public:
    explicit RawDte(const QString& link) {
        fd = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~RawDte() { Close(); }
    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    void Write(const QByteArray& b) { ASSERT_EQ(::write(fd, b.constData(), b.size()), b.size()); }
    // Reads until text is seen or ms pass; hungUp is set when the terminal hangs up.
    QByteArray ReadUntil(const QByteArray& text, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!got.contains(text) && t.elapsed() < ms && !hungUp) Pump(20);
        const QByteArray out = got;
        if (got.contains(text)) got.remove(0, got.indexOf(text) + text.size());
        return out;
    }
    void Pump(int ms) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return;
        char buf[8192];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, int(n));
        else if (n == 0 || errno == EIO) hungUp = true;
    }
    int fd = -1;
    QByteArray got;
    bool hungUp = false;
};

// A TCP far end: accepts one connection and keeps what arrives.
class FarEnd {
public:
    FarEnd() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this] { received += socket->readAll(); });
            QObject::connect(socket, &QTcpSocket::disconnected, [this] { gone = true; });
        });
    }
    int Port() const { return server.serverPort(); }
    QTcpServer server;
    QTcpSocket* socket = nullptr;
    QByteArray received;
    bool gone = false;
};

class ModemTest : public ::testing::Test {
protected:
    TLineEnvironment env;
    ScopedRecordingDialogs dialogs;
};

}  // namespace

TEST_F(ModemTest, ChatDialsTheEmulatorAndClosingThePortHangsUp) {
    TModemEmulator modem(env.Path("modem"), 0, {"--log", env.Path("modem.log")});
    FarEnd far;
    TSpawn chat;
    const QString script = QStringLiteral("exec chat -t 5 '' AT OK ATDT127.0.0.1:%1 CONNECT '' <'%2' >'%2'")
                               .arg(far.Port())
                               .arg(modem.Link());
    chat.start("sh", {"-c", script});
    ASSERT_TRUE(chat.waitForFinished(15000));
    EXPECT_EQ(chat.exitCode(), 0);
    ASSERT_TRUE(WaitUntil([&] { return far.socket != nullptr; }, 3000));
    // chat has ended, which closed the port: DTR dropped and the call ended.
    EXPECT_TRUE(WaitUntil([&] { return far.gone; }, 3000));
    QFile log(env.Path("modem.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QStringLiteral("AT\nATDT127.0.0.1:%1\n").arg(far.Port()).toLatin1());
}

TEST_F(ModemTest, CommandsResultsEscapeAndFarEndHangUp) {
    TModemEmulator modem(env.Path("modem"), 0);
    RawDte dte(modem.Link());
    ASSERT_GE(dte.fd, 0);
    dte.Write("ATE0\r");
    EXPECT_TRUE(dte.ReadUntil("OK\r\n").endsWith("\r\nOK\r\n"));
    dte.Write("ATS12?\r");
    EXPECT_TRUE(dte.ReadUntil("OK\r\n").contains("050"));
    dte.Write("\x04 aTi\r");  // bytes before the command are not part of it
    EXPECT_TRUE(dte.ReadUntil("OK\r\n").contains("Vandrex modem emulator"));
    dte.Write("ATJ\r");
    EXPECT_TRUE(dte.ReadUntil("ERROR\r\n").contains("ERROR"));
    dte.Write("ATV0\r");
    EXPECT_EQ(dte.ReadUntil("0\r"), "0\r");
    dte.Write("ATV1 S12=10\r");  // guard time 0.2 s
    dte.ReadUntil("OK\r\n");

    // Nobody there: NO CARRIER. A far end that hangs up at once: BUSY.
    dte.Write(QStringLiteral("ATDT127.0.0.1:%1\r").arg(FreePort()).toLatin1());
    EXPECT_TRUE(dte.ReadUntil("NO CARRIER").contains("NO CARRIER"));
    QTcpServer busy;
    busy.listen(QHostAddress::LocalHost);
    QObject::connect(&busy, &QTcpServer::newConnection, [&] { delete busy.nextPendingConnection(); });
    dte.Write(QStringLiteral("ATDT127.0.0.1:%1\r").arg(busy.serverPort()).toLatin1());
    QByteArray answer;
    WaitUntil([&] { return (answer += dte.ReadUntil("BUSY", 20)).contains("BUSY"); }, 5000);
    EXPECT_TRUE(answer.contains("BUSY"));

    FarEnd far;
    dte.Write(QStringLiteral("ATD127.0.0.1:%1\r").arg(far.Port()).toLatin1());
    answer.clear();
    WaitUntil([&] { return (answer += dte.ReadUntil("CONNECT", 20)).contains("CONNECT 115200"); }, 5000);
    ASSERT_TRUE(answer.contains("CONNECT 115200"));
    ASSERT_TRUE(WaitUntil([&] { return far.socket != nullptr; }));

    // "+++" inside data is data; after a pause it escapes to command mode.
    dte.Write("a+++b");
    ASSERT_TRUE(WaitUntil([&] { return far.received == "a+++b"; }));
    Serve(300);
    dte.Write("+++");
    answer.clear();
    WaitUntil([&] { return (answer += dte.ReadUntil("OK", 20)).contains("OK"); }, 3000);
    EXPECT_TRUE(answer.contains("OK"));
    EXPECT_EQ(far.received, "a+++b");
    dte.Write("ATO\r");
    answer.clear();
    WaitUntil([&] { return (answer += dte.ReadUntil("CONNECT 115200\r\n", 20)).contains("CONNECT"); }, 3000);
    dte.got.clear();
    far.socket->write("from far");
    far.socket->flush();
    answer.clear();
    WaitUntil([&] { return (answer += dte.ReadUntil("far", 20)).contains("from far"); }, 3000);
    EXPECT_EQ(answer, "from far");

    // The far end hangs up: the terminal is hung up within a second, and the
    // link leads to a fresh one in command mode.
    QElapsedTimer t;
    t.start();
    far.socket->disconnectFromHost();
    WaitUntil([&] {
        dte.Pump(10);
        return dte.hungUp;
    }, 3000);
    EXPECT_TRUE(dte.hungUp);
    EXPECT_LT(t.elapsed(), 1000);
    RawDte again(modem.Link());
    again.Write("AT\r");
    EXPECT_TRUE(again.ReadUntil("OK").contains("OK"));
}

TEST_F(ModemTest, PacedRateIsKeptWithinTwoPercent) {
    TModemEmulator modem(env.Path("modem"), 0, {"--rate", "33600"});
    RawDte dte(modem.Link());
    FarEnd far;
    dte.Write(QStringLiteral("ATDT127.0.0.1:%1\r").arg(far.Port()).toLatin1());
    QByteArray answer;
    WaitUntil([&] { return (answer += dte.ReadUntil("\r\n", 20)).contains("CONNECT 33600"); }, 5000);
    ASSERT_TRUE(answer.contains("CONNECT 33600"));
    ASSERT_TRUE(WaitUntil([&] { return far.socket != nullptr; }));
    dte.got.clear();
    const int total = 3360 * 2;
    far.socket->write(QByteArray(total, 'r'));
    far.socket->flush();
    QElapsedTimer t;
    qint64 firstAt = -1, lastAt = 0;
    int firstChunk = 0;
    t.start();
    while (dte.got.size() < total && t.elapsed() < 10000) {
        const int before = dte.got.size();
        dte.Pump(5);
        if (dte.got.size() > before) {
            if (firstAt < 0) {
                firstAt = t.nsecsElapsed();
                firstChunk = dte.got.size();
            }
            lastAt = t.nsecsElapsed();
        }
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(dte.got.size(), total);
    const double rate = (total - firstChunk) / ((lastAt - firstAt) / 1e9);
    EXPECT_NEAR(rate, 3360.0, 3360.0 * 0.02) << rate << " bytes/s";
}

namespace {

class RecordingView : public TPhoneView {
public:
    void SetButtonCaption(const QString& c) override { caption = c; }
    void SetStatus(const QString& t) override { status = t; }
    QString PhoneNumberText() const override { return number; }
    void SetLineLamp(bool lit) override { lamp = lit; }
    void TransferLampsOff() override { ++lampsOff; }
    QString caption, status, number;
    bool lamp = false;
    int lampsOff = 0;
};

QStringList PeerEnvironment(const TLineEnvironment& env, const QString& modem) {
    return {"VANDREX_NETWORK_LINE=off", "VANDREX_MODEMS=" + modem,
            "VANDREX_LINE_SETTINGS=" + env.Path("peer.ini"), "VANDREX_LOCK_DIR=" + env.Path(""),
            "QT_QPA_PLATFORM=offscreen"};
}

}  // namespace

TEST_F(ModemTest, TwoComponentsCallEachOtherOverTwoEmulators) {
    const int port1 = FreePort(), port2 = FreePort();
    TModemEmulator mine(env.Path("modem1"), port1);
    TModemEmulator theirs(env.Path("modem2"), port2);
    env.Set("off", {mine.Link()});
    TTAPILine line;
    RecordingView view;
    TPhoneCallTool tool(line, view);
    line.WaitForCall = false;
    QByteArray received;
    line.OnNewData = [&](TTAPILine* l) {
        char buf[4096];
        long n;
        while ((n = l->ReadBuffer(buf, 0, sizeof buf)) > 0) received.append(buf, int(n));
    };
    line.SetDevIdToInitialize(0);
    ASSERT_EQ(line.DevIdToInitialize(), 0);
    line.Open();
    tool.WebPhoneButton1Click();  // the first press after start-up hangs up
    TProcess peer(PeerProgram(), {}, PeerEnvironment(env, theirs.Link()));
    ASSERT_FALSE(peer.WaitFor("ready").isEmpty());
    peer.Send("dev 0");
    ASSERT_FALSE(peer.WaitFor("opened").isEmpty());

    // First call: rings there, announced, not answered; the caller gives up.
    const QString number = QStringLiteral("127.0.0.1:%1").arg(port2);
    line.SetPhoneNumber(number);
    view.number = number;
    tool.WebPhoneButton1Click();
    EXPECT_EQ(view.status, "Dialing " + number);
    EXPECT_EQ(peer.WaitFor("status "), "status Answering Incoming Call") << peer.Lines().join("|").toStdString();
    tool.WebPhoneButton1Click();
    EXPECT_EQ(view.status, "Phone Disconnected");
    EXPECT_EQ(peer.WaitFor("status ", 5000), "status Phone is Disconnected");

    // Second call: answered (ATA) and connected on both sides.
    Serve(400);  // the port's DTR drop
    tool.WebPhoneButton1Click();
    EXPECT_EQ(peer.WaitFor("status ", 10000), "status Answering Incoming Call");
    EXPECT_EQ(peer.WaitFor("status ", 10000), "status Connected");
    ASSERT_TRUE(WaitUntil([&] { return view.status == "Connected"; }));
    EXPECT_TRUE(view.lamp);

    QByteArray all;
    for (int i = 0; i < 512; ++i) all.append(char(i & 0xFF));
    ASSERT_TRUE(line.WriteBuffer(all.constData(), all.size()));
    QByteArray theirsGot;
    QElapsedTimer t;
    t.start();
    while (theirsGot.size() < all.size() && t.elapsed() < 10000) {
        const QString l = peer.WaitFor("data ", 200);
        if (!l.isEmpty()) theirsGot += QByteArray::fromHex(l.mid(5).toLatin1());
    }
    EXPECT_EQ(theirsGot, all);
    peer.Send("send " + QString::fromLatin1(all.toHex()));
    ASSERT_TRUE(WaitUntil([&] { return received.size() >= all.size(); }));
    EXPECT_EQ(received, all);

    // They hang up (DTR drop there, terminal hang-up here).
    peer.Send("button");
    ASSERT_TRUE(WaitUntil([&] { return view.status == "Phone is Disconnected"; }, 5000));
    EXPECT_FALSE(view.lamp);
    EXPECT_EQ(view.caption, "Call");
    EXPECT_FALSE(line.Connected);

    // Hanging up closed their line; they open it again. We call and hang up.
    peer.Send("dev 0");
    ASSERT_FALSE(peer.WaitFor("opened").isEmpty());
    line.Open();
    Serve(400);
    tool.WebPhoneButton1Click();  // "Phone Disconnected" branch after Open cleared Dropped
    tool.WebPhoneButton1Click();
    ASSERT_TRUE(WaitUntil([&] { return view.status == "Connected"; }, 10000));
    EXPECT_EQ(peer.WaitFor("status Connected", 10000), "status Connected");
    tool.WebPhoneButton1Click();
    EXPECT_EQ(peer.WaitFor("status ", 5000), "status Phone is Disconnected");
}

TEST_F(ModemTest, APortThatVanishesClosesTheLine) {
    auto modem = std::make_unique<TModemEmulator>(env.Path("modem"), 0);
    env.Set("off", {modem->Link()});
    TTAPILine line;
    int unexpected = 0;
    line.OnUnexpectedClose = [&](TTAPILine*) { ++unexpected; };
    line.SetDevIdToInitialize(0);
    line.Open();
    ASSERT_EQ(line.OpenDevice(), 0);
    modem.reset();  // the emulator ends: its terminal and link are gone
    ASSERT_TRUE(WaitUntil([&] { return unexpected == 1; }, 6000));
    EXPECT_EQ(line.OpenDevice(), -1);
    // Opening again fails quietly; a later emulator on the same link is used.
    line.Open();
    EXPECT_EQ(line.OpenDevice(), -1);
    TModemEmulator again(env.Path("modem"), 0);
    line.Open();
    EXPECT_EQ(line.OpenDevice(), 0);
    TSpawn probe;
    probe.start("flock", {"-n", QFileInfo(again.Link()).canonicalFilePath(), "true"});
    probe.waitForFinished();
    EXPECT_NE(probe.exitCode(), 0);  // the port is really held again
}

// A modem set to ignore DTR (&D0) stays on line when the port is closed for
// the hang-up; the line notices that it gets no answer to AT and escapes to
// command mode and sends ATH, so the far end sees the call end.
TEST_F(ModemTest, AModemIgnoringDtrIsHungUpWithTheEscapeAndATH) {
    QTcpServer far;
    ASSERT_TRUE(far.listen(QHostAddress::LocalHost));
    TModemEmulator modem(env.Path("modem"), 0, {"--ignore-dtr"});
    env.Set("off", {modem.Link()});
    TTAPILine line;
    RecordingView view;
    TPhoneCallTool tool(line, view);
    line.SetDevIdToInitialize(0);
    line.Open();
    tool.WebPhoneButton1Click();  // the first press after opening hangs up
    const QString number = QStringLiteral("127.0.0.1:%1").arg(far.serverPort());
    line.SetPhoneNumber(number);
    view.number = number;
    tool.WebPhoneButton1Click();
    ASSERT_TRUE(WaitUntil([&] { return far.hasPendingConnections(); }));
    QTcpSocket* peer = far.nextPendingConnection();
    ASSERT_TRUE(WaitUntil([&] { return view.status == "Connected"; }));

    QElapsedTimer t;
    t.start();
    tool.WebPhoneButton1Click();
    EXPECT_EQ(view.status, "Phone Disconnected");
    ASSERT_TRUE(WaitUntil([&] { return peer->state() != QAbstractSocket::ConnectedState; }, 10000))
        << "the modem is still on line";
    EXPECT_GT(t.elapsed(), 1000) << "the port's closing alone ended the call";
}

// A modem played by the test on a pseudo-terminal: every command line is
// answered OK, a dial with CONNECT and, in the same write, the far end's
// first bytes, as a modem does when the far end speaks at once.
class ScriptedModem {
public:
    explicit ScriptedModem(const QString& link) : link_(link) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::grantpt(master_);
        ::unlockpt(master_);
        [[maybe_unused]] int rc = ::symlink(::ptsname(master_), link.toLocal8Bit().constData());
        // Served on its own thread, so it also answers while the line closes.
        server_ = std::thread([this] {
            while (!stop_) {
                Serve();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~ScriptedModem() {
        stop_ = true;
        server_.join();
        ::unlink(link_.toLocal8Bit().constData());
        ::close(master_);
    }

private:
    void Serve() {
        char buf[256];
        ssize_t n;
        while ((n = ::read(master_, buf, sizeof buf)) > 0) pending_.append(buf, int(n));
        int end;
        while ((end = pending_.indexOf('\r')) >= 0) {
            const QByteArray command = pending_.left(end).trimmed();
            pending_.remove(0, end + 1);
            if (command.isEmpty()) continue;
            const QByteArray reply = command.startsWith("ATD") ? "\r\nCONNECT 115200\r\nHELLO\r\n" : "\r\nOK\r\n";
            [[maybe_unused]] ssize_t w = ::write(master_, reply.constData(), size_t(reply.size()));
        }
    }

    QString link_;
    int master_ = -1;
    QByteArray pending_;
    std::atomic<bool> stop_{false};
    std::thread server_;
};

TEST_F(ModemTest, TheFarEndsFirstBytesReadWithTheConnectLineAreKept) {
    ScriptedModem modem(env.Path("scripted"));
    env.Set("off", {env.Path("scripted")});
    TTAPILine line;
    RecordingView view;
    TPhoneCallTool tool(line, view);
    QByteArray received;
    line.OnNewData = [&](TTAPILine* l) {
        char buf[256];
        long n;
        while ((n = l->ReadBuffer(buf, 0, sizeof buf)) > 0) received.append(buf, int(n));
    };
    line.SetDevIdToInitialize(0);
    ASSERT_EQ(line.DevIdToInitialize(), 0);
    line.Open();
    tool.WebPhoneButton1Click();  // the first press after opening hangs up
    line.SetPhoneNumber("5550100");
    view.number = "5550100";
    tool.WebPhoneButton1Click();
    ASSERT_TRUE(WaitUntil([&] { return view.status == "Connected"; })) << view.status.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return received.size() >= 7; }, 3000)) << received.toStdString();
    EXPECT_EQ(received, "HELLO\r\n");
}
