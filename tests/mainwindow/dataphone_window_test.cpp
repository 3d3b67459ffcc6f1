// The window's data phone on the real line component over the network line:
// a second process (vandrex-phone) on the other end for chats, pictures and
// files both ways, and a hostile peer in this process for wrong
// acknowledgements, names and hang-ups. The display size and the stop and
// resume lamps on the recording doubles.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>
#include <random>

#include "app/cameratool.h"
#include "app/dataphonetool.h"
#include "telephony/dataphonedriver.h"
#include "controls/led.h"
#include "imaging/bitmap.h"
#include "imaging/jpegfile.h"
#include "telephony/tapilineadapter.h"
#include "tests/mainwindow/window_fixture.h"

namespace vandrex::testing {
namespace {

template <class F>
bool WaitFor(F done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    // NULs and line ends included: block data is raw.
    for (char& c : s) c = static_cast<char>(gen() & 0xff);
    return s;
}

std::string TestJpeg(int width, int height) {
    TBitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.SetColor(x, y, {std::uint8_t(x * 4), std::uint8_t(y * 4), 90});
    const auto bytes = EncodeJpeg(picture);
    return std::string(bytes.begin(), bytes.end());
}

// A block header: the prefix and the length, padded with blanks to 20, CR LF.
QByteArray Header(const char* prefix, int length) {
    return (QByteArray(prefix) + QByteArray::number(length)).leftJustified(20, ' ') + "\r\n";
}

// A loopback port nobody listens on just now.
quint16 FreePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

// Whether a socket listens on the loopback port (the peer is ready to answer).
bool Listening(quint16 port) {
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray needle = QStringLiteral(":%1 ").arg(port, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() > 3 && (cols[1] + ' ').endsWith(needle) && cols[3] == "0A") return true;
    }
    return false;
}

const std::vector<std::size_t> kFileSizes = {0, 1, 2048, 2049, 5000};

class DataPhoneWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        qputenv("VANDREX_NETWORK_LINE", "0");
        qputenv("VANDREX_MODEMS", "");
        ASSERT_TRUE(peerDir.isValid());
    }
    void TearDown() override {
        if (peer.state() != QProcess::NotRunning) {
            peer.kill();
            peer.waitForFinished(3000);
        }
        form.reset();
        qunsetenv("VANDREX_NETWORK_LINE");
        qunsetenv("VANDREX_MODEMS");
        WindowTest::TearDown();
    }

    // The window on the real line, showing a card whose number is the peer's
    // address, in phone chat mode.
    void StartDialling(quint16 port) {
        const std::string number = "127.0.0.1:" + std::to_string(port);
        WriteFile(DbPath(), RecordBytes({"F", "Peer", "", "", "", "", "", number}));
        TForm1Components c = doubles.Make();
        c.Modem1 = std::make_unique<TTAPILineAdapter>();
        doubles.line = nullptr;
        form = std::make_unique<TForm1>(std::move(c));
        Start();
        Check("MailChatBox")->setChecked(true);
        Process();
    }
    // Start-up opened the line: the first press hangs up, the second dials.
    void Dial() {
        Click("WebPhoneButton1");
        Click("WebPhoneButton1");
        ASSERT_TRUE(WaitFor([&] { return Phone().Connected(); })) << Panel0().toStdString();
    }
    void StartPeer(quint16 port, const QStringList& items, const QString& idle = QStringLiteral("2.5")) {
        QStringList args{"--answer", "--line", QStringLiteral("127.0.0.1:%1").arg(port), "--dir", peerDir.path(),
                         "--idle", idle};
        peer.start(QStringLiteral(VANDREX_PHONE_TOOL), args + items);
        ASSERT_TRUE(peer.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([&] { return Listening(port); })) << "the peer never listened";
    }
    // The peer's report once it has hung up.
    QStringList PeerLines() {
        EXPECT_TRUE(WaitFor([&] { return peer.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(peer.exitCode(), 0) << peer.readAllStandardError().toStdString();
        return QString::fromUtf8(peer.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    TDataPhone& Phone() { return form->DataPhone().Phone(); }
    QToolButton* Speed(const char* name) { return form->control<QToolButton>(name); }
    TLED* Led(const char* name) { return form->control<TLED>(name); }
    QString Bar(int n) {
        return form->control<TStatusBar>(QStringLiteral("WebPhoneStatusBar%1").arg(n).toLatin1().constData())->panelText(0);
    }
    void Chat(const QString& text) {
        Edit("MailEntryChatEdit")->setText(text);
        Click("MailEntryEditButton");
    }
    void SendFile(const QString& path) {
        dialogs.files.push_back(path);
        Speed("SpeedButtonSend")->click();
        ASSERT_TRUE(WaitFor([&] { return !Phone().Busy(); })) << Panel0().toStdString();
    }

    QTemporaryDir peerDir;
    QProcess peer;
};

TEST_F(DataPhoneWindow, ChatsPicturesAndFilesGoToTheOtherProgramIntact) {
    const quint16 port = FreePort();
    StartPeer(port, {}, QStringLiteral("4"));
    StartDialling(port);
    doubles.capture->Frame = QImage(64, 48, QImage::Format_RGB888);
    doubles.capture->Frame.fill(QColor(20, 140, 220));
    Dial();

    const QString chat = QStringLiteral("  two  blanks inside and around  ");
    Chat(chat);
    EXPECT_TRUE(Edit("MailEntryChatEdit")->text().isEmpty());
    std::int64_t fileBytes = 0;
    for (std::size_t size : kFileSizes) {
        const QString path = dir.filePath(QStringLiteral("out%1.bin").arg(size));
        WriteFile(path.toStdString(), RandomBytes(size, unsigned(size)));
        SendFile(path);
        EXPECT_EQ(Panel0(), QStringLiteral("%1 Bytes Send Succesfully").arg(size));
        EXPECT_FALSE(Led("LED_Receive")->Lit());
        EXPECT_TRUE(Led("LED_Send")->Lit());
        fileBytes += std::int64_t(size);
    }
    EXPECT_EQ(dialogs.textsOf("open"), QStringList(5, QStringLiteral("Select File to Send")));
    // The snapshot button sends the picture it has just made.
    Speed("ZozadiFotoBtn1")->click();
    ASSERT_TRUE(WaitFor([&] { return Bar(8) == "1"; })) << Panel0().toStdString();
    const std::string sentPicture = ReadFile(dir.filePath("Snapshot.jpg").toStdString());
    EXPECT_FALSE(form->control<QLabel>("BitmapDisplay")->pixmap().isNull()) << "the snapshot is shown";

    const QStringList lines = PeerLines();
    EXPECT_TRUE(lines.contains("received chat   two  blanks inside and around  ")) << lines.join('\n').toStdString();
    for (std::size_t size : kFileSizes) {
        const QString name = QStringLiteral("out%1.bin").arg(size);
        EXPECT_TRUE(lines.contains(QStringLiteral("received file %1 %2").arg(name).arg(size)));
        EXPECT_EQ(ReadFile(peerDir.filePath(name).toStdString()), RandomBytes(size, unsigned(size))) << size;
    }
    EXPECT_EQ(ReadFile(peerDir.filePath("Snapshot.jpg").toStdString()), sentPicture);

    const std::int64_t chatBytes = 5 + chat.size();
    EXPECT_EQ(Bar(2), QString::number(chatBytes + fileBytes + std::int64_t(sentPicture.size())));
    EXPECT_EQ(Bar(4), "5");
    EXPECT_EQ(Bar(8), "1");
    EXPECT_EQ(Bar(1), "0");
    // The peer hung up: the file lamp goes out with the call.
    ASSERT_TRUE(WaitFor([&] { return !Phone().Connected(); }));
    EXPECT_FALSE(Led("LED_Send")->Lit());
    EXPECT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('\n').toStdString();

    // Activation sets the eight counters to zero.
    form->FormActivate();
    Process();
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(Bar(n), "0") << n;
}

TEST_F(DataPhoneWindow, ChatsPicturesAndFilesFromTheOtherProgramArriveIntact) {
    QStringList items{"--chat", "  hello  from  afar "};
    for (std::size_t size : kFileSizes) {
        const QString path = peerDir.filePath(QStringLiteral("in%1.dat").arg(size));
        WriteFile(path.toStdString(), RandomBytes(size, unsigned(size) + 7));
        items << "--file" << path;
    }
    const std::string picture = TestJpeg(40, 30);
    WriteFile(peerDir.filePath("pic.jpg").toStdString(), picture);
    items << "--picture" << peerDir.filePath("pic.jpg");
    const quint16 port = FreePort();
    StartPeer(port, items);
    StartDialling(port);
    Dial();

    // "Receive" with nothing announced does nothing.
    const QString panelBefore = Panel0();
    Speed("SpeedButtonReceive")->click();
    Process();
    EXPECT_FALSE(Phone().Busy());
    EXPECT_EQ(Panel0(), panelBefore);

    // Each announced file waits for "Receive", with LED_Receive lit red.
    int received = 0;
    QString afterLastFile;
    while (received < int(kFileSizes.size())) {
        ASSERT_TRUE(WaitFor([&] { return Phone().FileAnnounced(); })) << "file " << received;
        EXPECT_TRUE(Led("LED_Receive")->Lit());
        EXPECT_EQ(Led("LED_Receive")->Color(), lcRed);
        EXPECT_EQ(Panel0(), "New Datafile is Coming in [Receive ?]");
        Speed("SpeedButtonReceive")->click();
        ++received;
        ASSERT_TRUE(WaitFor([&] { return Bar(3) == QString::number(received); })) << Panel0().toStdString();
        afterLastFile = Panel0();
        EXPECT_FALSE(Led("LED_Receive")->Lit());
        EXPECT_TRUE(Speed("ZozadiFotoBtn1")->isEnabled());
    }
    ASSERT_TRUE(WaitFor([&] { return Bar(7) == "1"; }));
    const QStringList lines = PeerLines();
    EXPECT_EQ(lines.size(), 7) << lines.join('\n').toStdString();

    EXPECT_EQ(form->control<QPlainTextEdit>("MailEntryChatMemo")->toPlainText(), "  hello  from  afar ");
    for (std::size_t size : kFileSizes)
        EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("in%1.dat").arg(size)).toStdString()),
                  RandomBytes(size, unsigned(size) + 7))
            << size;
    EXPECT_EQ(afterLastFile.left(41), "5000 Bytes Received Succesfully  - Time e") << afterLastFile.toStdString();
    EXPECT_TRUE(afterLastFile.endsWith(" ml.sec."));
    EXPECT_EQ(ReadFile(dir.filePath("Snapshot.jpg").toStdString()), picture);
    const QPixmap shown = form->control<QLabel>("BitmapDisplay")->pixmap();
    EXPECT_EQ(shown.size(), QSize(40, 30));
    EXPECT_GT(Bar(1).toLongLong(), 0);
    EXPECT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('\n').toStdString();
}

// A peer written by hand: it answers the window's call and says whatever the
// test makes it say.
class HostilePeer : public DataPhoneWindow {
protected:
    void Connect() {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        StartDialling(server.serverPort());
        Click("WebPhoneButton1");
        Click("WebPhoneButton1");
        ASSERT_TRUE(WaitFor([&] { return server.hasPendingConnections(); }));
        far = server.nextPendingConnection();
        ASSERT_TRUE(WaitFor([&] { return Phone().Connected(); }));
    }
    QByteArray ReadExactly(int n) {
        QByteArray got;
        WaitFor([&] {
            got += far->read(n - got.size());
            return got.size() >= n;
        });
        return got;
    }
    void Say(const QByteArray& bytes) {
        far->write(bytes);
        far->flush();
    }
    QTcpServer server;
    QTcpSocket* far = nullptr;
};

TEST_F(HostilePeer, WrongAcknowledgementsAreShownAndTheFileStillGoes) {
    Connect();
    // Panel 0 as the window writes it; a file's next block overwrites a
    // wrong acknowledgement's text at once.
    QStringList panels;
    QObject::connect(&form->DataPhone().Driver(), &TDataPhoneDriver::Events, form.get(), [&](const std::vector<TDataPhoneEvent>& events) {
        for (const auto& e : events)
            if (e.Kind == TDataPhoneEvent::TKind::Panel0Changed) panels << QString::fromStdString(e.Text);
    });
    const QString path = dir.filePath("three.bin");
    WriteFile(path.toStdString(), RandomBytes(3000, 3));
    dialogs.files.push_back(path);
    Speed("SpeedButtonSend")->click();
    EXPECT_EQ(ReadExactly(9 + 9 + 4 + 4), "sendFILE:three.bin[3000]\r\n");
    EXPECT_TRUE(Led("LED_Send")->Lit());
    EXPECT_FALSE(Speed("ZozadiFotoBtn1")->isEnabled());
    Say("sendFILE:NO         \r\n");
    EXPECT_EQ(ReadExactly(22), Header("FILELeng:", 2048));
    EXPECT_EQ(ReadExactly(2048), QByteArray::fromStdString(RandomBytes(3000, 3).substr(0, 2048)));
    auto* bar = form->control<QProgressBar>("FileTransferProgressBar");
    ASSERT_TRUE(WaitFor([&] { return bar->value() == 2048; }));
    EXPECT_EQ(bar->maximum(), 3000);
    EXPECT_EQ(form->control<TStatusBar>("FileTransferStatusBar")->panelText(0), "2048");
    Say("FILELeng:BAD        \r\n");
    EXPECT_EQ(ReadExactly(22 + 952).left(22), Header("FILELeng:", 952));
    Say("FILELeng:OK         \r\n");
    ASSERT_TRUE(WaitFor([&] { return !Phone().Busy(); }));
    EXPECT_EQ(Panel0(), "3000 Bytes Send Succesfully");
    EXPECT_EQ(panels, (QStringList{"sendFILE:NO         \r\n Bad SendFile Response.", "2048 Bytes Send",
                                   "FILELeng:BAD        \r\n Bad File Length Response.", "3000 Bytes Send",
                                   "3000 Bytes Send Succesfully"}));
    EXPECT_EQ(Bar(4), "1");
    EXPECT_TRUE(Speed("ZozadiFotoBtn1")->isEnabled());
    EXPECT_EQ(bar->value(), 0);
    EXPECT_GT(bar->maximum(), bar->minimum()) << "an idle bar is no busy indicator";
    EXPECT_TRUE(Led("LED_Send")->Lit()) << "the send lamp stays lit until the call ends";

    // A picture answered wrongly: the reply and its suffix in panel 0.
    WriteFile(dir.filePath("Snapshot.jpg").toStdString(), TestJpeg(8, 8));
    form->DataPhone().SendSnapshot("Snapshot.jpg");
    EXPECT_EQ(ReadExactly(23), "sendJPEG:Snapshot.jpg\r\n");
    EXPECT_FALSE(Speed("SpeedButtonSend")->isEnabled());
    Say("sendJPEG:??         \r\n");
    EXPECT_EQ(ReadExactly(22).left(9), "JPEGLeng:");
    // Picture blocks write no panel text: the wrong reply stays in view.
    ASSERT_TRUE(WaitFor([&] { return Panel0() == "sendJPEG:??         \r\n - Bad JPEGFile Response."; }))
        << Panel0().toStdString();
}

TEST_F(HostilePeer, AHostileNameStaysInTheFolderAndAHangUpMidBlockLeavesNothing) {
    Connect();
    // An old file of the name survives a failed transfer.
    WriteFile(dir.filePath("evil.txt").toStdString(), "old");
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    Say("sendFILE:../../evil.txt[5000]\r\n");
    ASSERT_TRUE(WaitFor([&] { return Phone().FileAnnounced(); }));
    Speed("SpeedButtonReceive")->click();
    EXPECT_EQ(ReadExactly(22), "sendFILE:OK         \r\n");
    Say(Header("FILELeng:", 2048) + QByteArray(2048, 'x'));
    ASSERT_TRUE(WaitFor([&] { return Led("LED_Receive")->Lit() && Led("LED_Receive")->Color() == lcYellow; }));
    EXPECT_EQ(ReadExactly(22), "FILELeng:OK         \r\n");
    // Half the next block, then the line goes dead.
    Say(Header("FILELeng:", 2048) + QByteArray(100, 'y'));
    EXPECT_TRUE(Phone().Busy());
    EXPECT_FALSE(Speed("ZozadiFotoBtn1")->isEnabled());
    EXPECT_TRUE(form->Camera().TransferBusy()) << "a time-lapse tick waits";
    // Send is refused while the transfer owns the line: a beep, no dialog.
    Speed("SpeedButtonSend")->click();
    Process();
    EXPECT_TRUE(dialogs.textsOf("open").isEmpty());
    EXPECT_EQ(dialogs.textsOf("beep").size(), 1);
    far->close();

    ASSERT_TRUE(WaitFor([&] { return !Phone().Connected() && !Phone().Busy(); }));
    ASSERT_TRUE(WaitFor([&] { return !dialogs.errors().isEmpty(); }));
    EXPECT_EQ(ReadFile(dir.filePath("evil.txt").toStdString()), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before) << "no partial file";
    QDir up(dir.path());
    up.cdUp();
    EXPECT_FALSE(QFile::exists(up.filePath("evil.txt")));
    EXPECT_EQ(Bar(3), "0") << "a failed file is not counted";
    EXPECT_EQ(Bar(1), "2048") << "only the full block that arrived";
    EXPECT_TRUE(Speed("ZozadiFotoBtn1")->isEnabled());
    EXPECT_FALSE(Led("LED_Receive")->Lit());
    // The window works on.
    Speed("BigDisplaySpeedButton")->click();
    EXPECT_EQ(form->control<QGroupBox>("WebPhoneDisplay")->width(), 305);
}

TEST_F(HostilePeer, APictureThatDoesNotDecodeLeavesTheShownOneAndItsFile) {
    Connect();
    const std::string good = TestJpeg(8, 6);
    Say("sendJPEG:Snapshot.jpg\r\n");
    EXPECT_EQ(ReadExactly(22), "sendJPEG:OK         \r\n");
    EXPECT_TRUE(Led("LED_SendJPEG")->Lit());
    EXPECT_EQ(Led("LED_SendJPEG")->Color(), lcYellow);
    Say(Header("JPEGLeng:", int(good.size())) + QByteArray::fromStdString(good));
    EXPECT_EQ(ReadExactly(22), "JPEGLeng:OK         \r\n");
    ASSERT_TRUE(WaitFor([&] { return Bar(7) == "1"; }));
    auto* display = form->control<QLabel>("BitmapDisplay");
    EXPECT_EQ(display->pixmap().size(), QSize(8, 6));
    EXPECT_FALSE(Led("LED_SendJPEG")->Lit());
    EXPECT_TRUE(Speed("SpeedButtonSend")->isEnabled());

    // JPEG's markers, then nonsense.
    Say("sendJPEG:Snapshot.jpg\r\n");
    EXPECT_EQ(ReadExactly(22), "sendJPEG:OK         \r\n");
    Say(Header("JPEGLeng:", 12) + QByteArray("\xff\xd8\xff\xe0garbage!", 12));
    ASSERT_TRUE(WaitFor([&] { return !dialogs.errors().isEmpty(); }));
    EXPECT_EQ(display->pixmap().size(), QSize(8, 6));
    EXPECT_EQ(ReadFile(dir.filePath("Snapshot.jpg").toStdString()), good);
    EXPECT_EQ(Bar(7), "1");
    EXPECT_FALSE(Led("LED_SendJPEG")->Lit());
    EXPECT_TRUE(Speed("SpeedButtonSend")->isEnabled());
}

TEST_F(HostilePeer, AFileArrivesWithItsNameCutAndAChatTypedMeanwhileWaits) {
    Connect();
    Say("sendFILE:Report.html[3]\r\n");
    ASSERT_TRUE(WaitFor([&] { return Phone().FileAnnounced(); }));
    Speed("SpeedButtonReceive")->click();
    EXPECT_EQ(ReadExactly(22), "sendFILE:OK         \r\n");
    Chat(QStringLiteral("later"));
    Say(Header("FILELeng:", 3) + "abc");
    // The block is acknowledged, and only then the chat goes out.
    EXPECT_EQ(ReadExactly(22 + 10), "FILELeng:OK         \r\nChat:later");
    ASSERT_TRUE(WaitFor([&] { return Bar(3) == "1"; }));
    EXPECT_EQ(ReadFile(dir.filePath("Report.htm").toStdString()), "abc");
    EXPECT_EQ(Panel0().left(34), "3 Bytes Received Succesfully  - Ti");
}

class DataPhoneControls : public WindowTest {
protected:
    QRect Geometry(const char* name) { return form->control<QWidget>(name)->geometry(); }
    TLED* Led(const char* name) { return form->control<TLED>(name); }
    void Press(const char* name) {
        form->control<QToolButton>(name)->click();
        Process();
    }
    bool WaitForLamp(const char* name, bool lit) {
        return WaitFor([&] { return Led(name)->Lit() == lit; }, 3000);
    }
};

TEST_F(DataPhoneControls, DisplaySizeSwitchesBetweenTheTwoLayouts) {
    Start();
    Check("VideoPhone")->click();
    Check("MailChatBox")->setChecked(true);
    Process();
    // Phone chat mode shows the picture display above the camera's place.
    auto* display = form->control<QLabel>("BitmapDisplay");
    ASSERT_TRUE(display->isVisible());
    QWidget* client = form->centralWidget();
    EXPECT_EQ(client->childAt(client->mapFromGlobal(display->mapToGlobal(display->rect().center()))), display);
    auto* sluiten = new QGroupBox(form->centralWidget());
    sluiten->setObjectName(QStringLiteral("Sluiten"));
    EXPECT_EQ(form->control<QToolButton>("BigDisplaySpeedButton")->toolTip(), "Change Display Size");

    Press("BigDisplaySpeedButton");
    EXPECT_EQ(sluiten->title(), " Cam ");
    EXPECT_EQ(Geometry("VideoCap1").topLeft(), QPoint(313, 308));
    EXPECT_EQ(Geometry("WebPhoneDisplay"), QRect(80, 8, 305, 241));
    EXPECT_EQ(Geometry("BitmapDisplay"), QRect(7, 16, 289, 215));
    EXPECT_TRUE(form->control<QLabel>("BitmapDisplay")->hasScaledContents());
    EXPECT_EQ(Geometry("WebPhoneDialer").width(), 291);
    EXPECT_FALSE(form->control<QWidget>("HTMLBox")->isVisibleTo(form.get()));
    const QRect player = Geometry("Real_Player_1");
    EXPECT_NE(player, QRect(87, 23, 290, 217)) << "the player stays unless Probe is ticked";

    Check("Timer_ProbeBox")->setChecked(true);
    Check("MailChatBox")->setChecked(false);
    Process();
    Press("BigDisplaySpeedButton");
    EXPECT_EQ(sluiten->title(), "");
    EXPECT_EQ(Geometry("VideoCap1").topLeft(), QPoint(200, 190));
    EXPECT_EQ(Geometry("WebPhoneDisplay"), QRect(192, 8, 193, 161));
    EXPECT_EQ(Geometry("BitmapDisplay"), QRect(7, 16, 178, 135));
    EXPECT_EQ(Geometry("Real_Player_1"), QRect(199, 23, 178, 136));
    EXPECT_EQ(Geometry("WebPhoneDialer").width(), 98);
    EXPECT_TRUE(form->control<QWidget>("HTMLBox")->isVisibleTo(form.get()));

    Press("BigDisplaySpeedButton");
    EXPECT_EQ(Geometry("Real_Player_1"), QRect(87, 23, 290, 217));
    // Activation sets the flag back: the next click makes the display large again.
    form->FormActivate();
    Process();
    Press("BigDisplaySpeedButton");
    EXPECT_EQ(Geometry("WebPhoneDisplay"), QRect(80, 8, 305, 241));
}

TEST_F(DataPhoneControls, StopAndResumeToggleTheLineAndLightTheirLampsForAMoment) {
    Start();
    Press("SpeedButtonStop");
    EXPECT_TRUE(Led("LED_Stop")->Lit());
    EXPECT_EQ(Led("LED_Stop")->Color(), lcRed);
    EXPECT_FALSE(Led("LED_Resume")->Lit());
    EXPECT_FALSE(Led("LED_Receive")->Lit());
    EXPECT_TRUE(doubles.line->Suspended());
    ASSERT_TRUE(WaitForLamp("LED_Stop", false));

    Press("SpeedButtonResume");
    EXPECT_TRUE(Led("LED_Resume")->Lit());
    EXPECT_EQ(Led("LED_Resume")->Color(), lcYellow);
    EXPECT_FALSE(Led("LED_Stop")->Lit());
    EXPECT_FALSE(doubles.line->Suspended());
    ASSERT_TRUE(WaitForLamp("LED_Resume", false));

    // Stop turns the flag over each time.
    Press("SpeedButtonStop");
    Press("SpeedButtonStop");
    EXPECT_FALSE(doubles.line->Suspended());
}

TEST_F(DataPhoneControls, ControlsCarryTheirCaptionsAndHintsAndNothingGoesWithoutACall) {
    Start();
    auto* edit = Edit("MailEntryChatEdit");
    EXPECT_EQ(edit->maxLength(), 50);
    EXPECT_EQ(edit->toolTip(), "Chat Line [Phone mode]");
    EXPECT_EQ(form->control<QToolButton>("ZozadiFotoBtn1")->toolTip(), "Take Snapshot [Send]");
    const struct {
        const char* name;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {"SpeedButtonSend", "Send", "Send File if Connected [Select with DialogBox]"},
        {"SpeedButtonReceive", "Receive", "Receive File if Connected [Led Signal if new file is Incoming]"},
        {"SpeedButtonStop", "Stop", "Stop Dataflow / Speak"},
        {"SpeedButtonResume", "Resume", "Resume Dataflow / Don't Speak"},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(form->control<QToolButton>(b.name)->text(), b.caption);
        EXPECT_EQ(form->control<QToolButton>(b.name)->toolTip(), b.hint);
    }
    const struct {
        const char* name;
        const char* hint;
    } lamps[] = {{"LED_Send", "File Transfer Led"}, {"LED_Receive", "File Receive led"}, {"LED_Stop", "Data flow Led"},
                 {"LED_Resume", "Resume Data flow Led"}, {"LED_SendJPEG", "Picture [Phone] Transfer Led"}};
    for (const auto& l : lamps) EXPECT_EQ(form->control<TLED>(l.name)->toolTip(), l.hint);
    EXPECT_EQ(Button("MailEntryEditButton")->text(), "+");
    EXPECT_EQ(Check("MailChatBox")->text(), "Chat");
    EXPECT_EQ(Check("MailChatBox")->toolTip(), "Chat [Phone] mode");
    EXPECT_TRUE(form->control<QPlainTextEdit>("MailEntryChatMemo")->isReadOnly());
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(form->control<TStatusBar>(QStringLiteral("WebPhoneStatusBar%1").arg(n).toLatin1().constData())
                      ->panelText(0),
                  "0");
    // Without a call: the chat stays in its edit, Send opens no dialog.
    edit->setText(QStringLiteral("unsent"));
    Click("MailEntryEditButton");
    EXPECT_EQ(edit->text(), "unsent");
    Press("SpeedButtonSend");
    EXPECT_TRUE(dialogs.textsOf("open").isEmpty());
}

}  // namespace
}  // namespace vandrex::testing
