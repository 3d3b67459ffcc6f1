// The line component on its own: construction, the device list and the
// usability check, properties, the messages no device produces, the stream
// operations while no call is up, the log file and the line dialogs.
#include <QDate>
#include <QFile>
#include <QLocale>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "platform/telephony/hayesmodem.h"
#include "platform/telephony/linesettings.h"
#include "telephony/logfile.h"
#include "telephony/tapiline.h"
#include "tests/telephony/telephonytestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

const QString kInUse = QStringLiteral(
    "VerifyUsableLine: \r\nLine is already in use by a non-Vandrex app or\r\nanother Service Provider.");

class LineTest : public ::testing::Test {
protected:
    TLineEnvironment env;
    ScopedRecordingDialogs dialogs;
};

}  // namespace

TEST_F(LineTest, ASecondComponentIsRefusedAndTheFirstKeepsWorking) {
    env.Set(QString::number(FreePort()), {});
    TTAPILine first;
    try {
        TTAPILine second;
        FAIL() << "a second component was created";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "TAPI component already exists in this process.");
    }
    EXPECT_EQ(TTAPILine::Instance(), &first);
    QStringList names;
    first.GetLineNames(names);
    EXPECT_EQ(names, QStringList{"Vandrex network line"});
}

TEST_F(LineTest, WithNoDeviceTheMessageIsShownOnceAndTheListIsEmpty) {
    env.Set("off", {});
    TTAPILine line;
    EXPECT_EQ(line.NumDevs(), 0u);
    EXPECT_EQ(dialogs.messages(),
              QStringList{"There is no modem installed in your PC.\r\n"
                          "You should install it via Control panel | Modems | Add."});
    QStringList names{"stale"};
    line.GetLineNames(names);
    EXPECT_TRUE(names.isEmpty());
    line.Open();  // fails quietly
    line.Close();
    EXPECT_EQ(dialogs.messages().size(), 1);
}

TEST_F(LineTest, DevicesAreListedByIdWithUnavailablePortsInTheirPlace) {
    TModemEmulator modem(env.Path("modem"), 0);
    env.Set(QString::number(FreePort()), {env.Path("missing"), modem.Link()});
    TTAPILine line;
    ASSERT_EQ(line.NumDevs(), 3u);
    QStringList names;
    line.GetLineNames(names);
    EXPECT_EQ(names, (QStringList{"Vandrex network line", "Line Unavailable",
                                  "Hayes modem on " + modem.Link()}));
    EXPECT_TRUE(dialogs.messages().isEmpty());
}

TEST_F(LineTest, UsabilityCodesAndTheChosenDeviceStaysWhenTheNewOneIsUnusable) {
    TModemEmulator modem(env.Path("modem"), 0);
    env.Set(QString::number(FreePort()), {env.Path("missing"), modem.Link()});
    TTAPILine line;
    EXPECT_EQ(line.VerifyUsableLine(0), 0);
    EXPECT_EQ(line.VerifyUsableLine(1), 1);
    EXPECT_EQ(line.VerifyUsableLine(7), 1);
    EXPECT_EQ(line.VerifyUsableLine(2), 0);
    EXPECT_TRUE(dialogs.messages().isEmpty());

    line.SetDevIdToInitialize(2);
    EXPECT_EQ(line.DevIdToInitialize(), 2);
    // Another program holds the port.
    THeldLock holder;
    ASSERT_TRUE(holder.Start(QFileInfo(modem.Link()).canonicalFilePath()));
    EXPECT_EQ(line.VerifyUsableLine(2), 5);
    EXPECT_EQ(dialogs.messages(), QStringList{kInUse});
    line.SetDevIdToInitialize(0);
    EXPECT_EQ(line.DevIdToInitialize(), 0);
    dialogs.clear();
    line.SetDevIdToInitialize(2);
    EXPECT_EQ(line.DevIdToInitialize(), 0);  // unusable: the previous choice stays
    EXPECT_EQ(dialogs.messages(), QStringList{kInUse});
    holder.Stop();
    // Choosing the device already chosen runs no check at all.
    dialogs.clear();
    line.SetDevIdToInitialize(0);
    EXPECT_TRUE(dialogs.messages().isEmpty());
}

TEST_F(LineTest, APortLockedByAnotherProgramsLockFileIsInUse) {
    TModemEmulator modem(env.Path("modem"), 0);
    env.Set("off", {modem.Link()});
    TSpawn sleeper;
    sleeper.start("sleep", {"30"});
    ASSERT_TRUE(sleeper.waitForStarted());
    QFile lock(TPortLock::LockFileFor(modem.Link()));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(sleeper.processId()).rightJustified(10, ' ') + "\n");
    lock.close();
    TTAPILine line;
    EXPECT_EQ(line.VerifyUsableLine(0), 5);
    sleeper.kill();
    sleeper.waitForFinished();
    // The lock of a process that has ended is stale and removed.
    EXPECT_EQ(line.VerifyUsableLine(0), 0);
}

TEST_F(LineTest, APortATerminalProgramHasOpenIsInUse) {
    TModemEmulator modem(env.Path("modem"), 0);
    env.Set("off", {modem.Link()});
    TTAPILine line;
    EXPECT_EQ(line.VerifyUsableLine(0), 0);
    // Like a terminal program: the port open, no lock of any kind.
    TSpawn holder;
    holder.start("sh", {"-c", "exec sleep 30 <'" + QFileInfo(modem.Link()).canonicalFilePath() + "'"});
    ASSERT_TRUE(holder.waitForStarted());
    Serve(300);
    EXPECT_EQ(line.VerifyUsableLine(0), 5);
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(line.VerifyUsableLine(0), 0);
}

TEST_F(LineTest, DefaultsAndPropertySetters) {
    env.Set(QString::number(FreePort()), {});
    TTAPILine line;
    EXPECT_TRUE(line.WaitForCall);
    EXPECT_FALSE(line.DeviceDirectAccess);
    EXPECT_EQ(line.Timeout, 120);
    EXPECT_EQ(line.DevIdToInitialize(), -1);
    EXPECT_EQ(line.ApiVersion(), 0u);
    EXPECT_EQ(line.LineHandle(), 0u);
    EXPECT_EQ(line.CommHandle(), nullptr);
    EXPECT_FALSE(line.Suspended);
    const QStringList script{"ATZ", "ATDT1"};
    line.SetDirectAccessScript(&script);
    line.SetDirectAccessScript(nullptr);
    EXPECT_EQ(line.DirectAccessScript(), script);
    line.SetPhoneNumber("127.0.0.1:1");
    EXPECT_EQ(line.PhoneNumber(), "127.0.0.1:1");
    EXPECT_TRUE(line.LineIcon(-1).isNull());  // nothing chosen
    EXPECT_FALSE(line.LineIcon(0).isNull());
}

TEST_F(LineTest, MakeCallBeforeAnyOpenRaises) {
    env.Set(QString::number(FreePort()), {});
    TTAPILine line;
    try {
        line.MakeCall();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "TAPILine: You must open line at first");
    }
}

TEST_F(LineTest, ASecondMakeCallBeforeTheReplyPlacesNothing) {
    env.Set(QString::number(FreePort()), {});
    TTAPILine line;
    line.SetDevIdToInitialize(0);
    line.Open();
    line.SetPhoneNumber(QStringLiteral("127.0.0.1:%1").arg(FreePort()));
    EXPECT_TRUE(line.MakeCall());
    EXPECT_GT(line.PendingMakeCall, 0);
    const HCALL first = line.CallHandle();
    EXPECT_FALSE(line.MakeCall());
    EXPECT_EQ(line.CallHandle(), first);
    ASSERT_TRUE(WaitUntil([&] { return line.PendingMakeCall == 0; }));
    // A pass-through call has no address; the network line has no such
    // bearer, and the refusal blocks nothing.
    line.DeviceDirectAccess = true;
    line.PendingMakeCall = 0;
    EXPECT_TRUE(line.MakeCall());
    EXPECT_EQ(line.PendingMakeCall, LINEERR_BEARERMODEUNAVAIL);
    EXPECT_TRUE(line.MakeCall());
}

TEST_F(LineTest, OpeningTheOpenDeviceKeepsItsLineAndAnotherDeviceReplacesIt) {
    TModemEmulator modem(env.Path("modem"), 0);
    env.Set(QString::number(FreePort()), {modem.Link()});
    TTAPILine line;
    int opens = 0, closes = 0;
    line.OnOpen = [&](TTAPILine*) { ++opens; };
    line.OnClose = [&](TTAPILine*) { ++closes; };
    line.SetDevIdToInitialize(0);
    line.Open();
    const HLINE first = line.LineHandle();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(line.ApiVersion(), TAPI_VERSION_2_0);
    line.Dropped = true;
    line.Open();
    EXPECT_EQ(line.LineHandle(), first);
    EXPECT_FALSE(line.Dropped);
    EXPECT_EQ(opens, 2);
    line.SetDevIdToInitialize(1);
    line.Open();
    EXPECT_NE(line.LineHandle(), first);
    EXPECT_EQ(line.OpenDevice(), 1);
    // The modem port is ours now: another program sees it in use.
    TSpawn probe;
    probe.start("flock", {"-n", QFileInfo(modem.Link()).canonicalFilePath(), "true"});
    probe.waitForFinished();
    EXPECT_NE(probe.exitCode(), 0);
    line.Close();
    EXPECT_EQ(closes, 1);
    probe.start("flock", {"-n", QFileInfo(modem.Link()).canonicalFilePath(), "true"});
    probe.waitForFinished();
    EXPECT_EQ(probe.exitCode(), 0);
}

TEST_F(LineTest, MessagesNoDeviceProduces) {
    env.Set(QString::number(FreePort()), {});
    TTAPILine line;
    int offered = 0, connected = 0, busy = 0, unexpected = 0, disconnected = 0;
    line.OnCallOffering = [&](TTAPILine*) { ++offered; };
    line.OnConnection = [&](TTAPILine*) { ++connected; };
    line.OnBusy = [&](TTAPILine*) { ++busy; };
    line.OnUnexpectedClose = [&](TTAPILine*) { ++unexpected; };
    line.OnDisconnect = [&](TTAPILine*) { ++disconnected; };
    line.WaitForCall = false;

    // An offered call while connected is ignored.
    line.Connected = true;
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_OFFERING, 0, 0);
    EXPECT_EQ(line.CallHandle(), 0u);
    EXPECT_EQ(offered, 0);
    line.Connected = false;
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_OFFERING, 0, 0);
    EXPECT_EQ(line.CallHandle(), 77u);
    EXPECT_EQ(offered, 1);

    // CONNECTED after a hang-up, or with no device chosen, is not reported.
    line.Dropped = true;
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_CONNECTED, 0, 0);
    line.Dropped = false;
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_CONNECTED, 0, 0);
    EXPECT_EQ(connected, 0);

    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_BUSY, 0, 0);
    EXPECT_EQ(busy, 1);
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_PROCEEDING, 0, 0);
    line.LineCallback(0, 99, 0, 0, 0, 0);
    line.LineCallback(1, LINE_CLOSE, 0, 0, 0, 0);
    EXPECT_EQ(unexpected, 1);

    // A far-end hang-up clears Connected, so later calls are offered again.
    line.Connected = true;
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_DISCONNECTED, 0, 0);
    EXPECT_EQ(disconnected, 1);
    EXPECT_FALSE(line.Connected);
    // IDLE of another call leaves the current one alone.
    line.LineCallback(55, LINE_CALLSTATE, 0, LINECALLSTATE_IDLE, 0, 0);
    EXPECT_EQ(line.CallHandle(), 77u);
    line.LineCallback(77, LINE_CALLSTATE, 0, LINECALLSTATE_IDLE, 0, 0);
    EXPECT_EQ(line.CallHandle(), 0u);

    // The reply to a drop also releases an outstanding make-call.
    line.PendingMakeCall = 5;
    line.PendingDrop = 9;
    line.LineCallback(0, LINE_REPLY, 0, 4, 0, 0);
    EXPECT_EQ(line.PendingMakeCall, 5);
    line.LineCallback(0, LINE_REPLY, 0, 9, 0, 0);
    EXPECT_EQ(line.PendingMakeCall, 0);
    EXPECT_EQ(line.PendingDrop, 0);
    line.PendingMakeCall = 6;
    line.LineCallback(0, LINE_REPLY, 0, 6, 0, 0);
    EXPECT_EQ(line.PendingMakeCall, 0);
}

TEST_F(LineTest, StreamOperationsWithoutACallDoNothing) {
    env.Set(QString::number(FreePort()), {});
    TTAPILine line;
    line.Connected = true;  // set by the owner, yet no stream exists
    EXPECT_FALSE(line.WriteString(QByteArray("x")));
    EXPECT_FALSE(line.WriteString(QByteArray()));
    char buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(line.ReadBuffer(buf, 4, 4), 0);
    EXPECT_EQ(line.BytesInQueue(), 0);
    QByteArray text = "old";
    line.ReadString(0, text);
    EXPECT_TRUE(text.isEmpty());
    line.StartReceive();
    Serve(50);
    EXPECT_FALSE(line.ReceiverRunning());
}

TEST(CommErrorTexts, OneKnownBitGivesItsTextAndSeveralGiveNone) {
    EXPECT_EQ(TTAPILine::CommErrorText(CE_FRAME), "The hardware detected a framing error.");
    EXPECT_EQ(TTAPILine::CommErrorText(CE_OVERRUN),
              "A character-buffer overrun has occurred. The next character is lost.");
    EXPECT_EQ(TTAPILine::CommErrorText(CE_OOP),
              "Windows 95 only: A parallel device signaled that it is out of paper.");
    EXPECT_TRUE(TTAPILine::CommErrorText(CE_FRAME | CE_BREAK).isEmpty());
    EXPECT_TRUE(TTAPILine::CommErrorText(0).isEmpty());
    int known = 0;
    for (std::uint32_t bit = 1; bit <= 0x8000; bit <<= 1) known += !TTAPILine::CommErrorText(bit).isEmpty();
    EXPECT_EQ(known, 11);
}

TEST(LogFile, LinesCarryTheStampAndAreSavedWithCrLf) {
    QTemporaryDir dir;
    TLogFile log;
    log.AddLine("Write (send command to modem)", "ATZ\r\n");
    log.AddLine("Dropped (user hangup)", "");
    ASSERT_EQ(log.Lines().size(), 2);
    // The locale's short date, then the time with seconds.
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    const QRegularExpression stamped("^" + QRegularExpression::escape(date) +
                                     " \\d{1,2}[:.]\\d{2}[:.]\\d{2}\\S* - ");
    EXPECT_TRUE(stamped.match(log.Lines()[0]).hasMatch()) << log.Lines()[0].toStdString();
    EXPECT_TRUE(log.Lines()[0].endsWith(" - Write (send command to modem): ATZ\r\n"));
    EXPECT_TRUE(log.Lines()[1].endsWith(" - Dropped (user hangup)"));
    const QString file = dir.filePath("line.log");
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    log.SaveLog(file);
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray saved = in.readAll();
    EXPECT_EQ(saved, (log.Lines()[0] + "\r\n" + log.Lines()[1] + "\r\n").toLocal8Bit());
    EXPECT_THROW(log.SaveLog(dir.filePath("no/such/folder/x.log")), EInOutError);
}

TEST_F(LineTest, TheLineDialogsKeepTheirSettingsPerUser) {
    const int port = FreePort();
    env.Set(QString::number(FreePort()), {});
    TTAPILine line;
    qunsetenv("VANDREX_NETWORK_LINE");
    line.SetPhoneNumber("5551234");
    line.TranslateDialog();  // before any open: version 1.4 is used
    TTranslateDialog translate("5551234");
    translate.PrefixEdit()->setText("9,");
    translate.PulseButton()->setChecked(true);
    EXPECT_EQ(translate.DialledText(), "P9,5551234");
    translate.Store();
    EXPECT_EQ(lineTranslateAddress(1, "5551234"), "P9,5551234");

    TNetworkLineDialog net;
    net.PortEdit()->setValue(port);
    net.AddressEdit()->setText("127.0.0.1");
    net.Store();
    EXPECT_EQ(NetworkLineSettings().port, port);
    qputenv("VANDREX_NETWORK_LINE", "off");
    EXPECT_FALSE(NetworkLineSettings().enabled);
    qputenv("VANDREX_NETWORK_LINE", "0.0.0.0:7");
    EXPECT_EQ(NetworkLineSettings().address, "0.0.0.0");
    EXPECT_EQ(NetworkLineSettings().port, 7);
}

TEST(NetworkAddresses, PhoneNumbersAreNeverDialledAsAddresses) {
    QString host;
    int port = 0;
    EXPECT_FALSE(ParseNetworkAddress("+31 (20) 555-1234", 7441, &host, &port));
    EXPECT_FALSE(ParseNetworkAddress("5551234", 7441, &host, &port));
    EXPECT_FALSE(ParseNetworkAddress("", 7441, &host, &port));
    EXPECT_FALSE(ParseNetworkAddress("host:99999", 7441, &host, &port));
    ASSERT_TRUE(ParseNetworkAddress("peer.example", 7441, &host, &port));
    EXPECT_EQ(host, "peer.example");
    EXPECT_EQ(port, 7441);
    ASSERT_TRUE(ParseNetworkAddress(" 127.0.0.1:8000 ", 7441, &host, &port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 8000);
    ASSERT_TRUE(ParseNetworkAddress("[::1]:9", 7441, &host, &port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 9);
}
