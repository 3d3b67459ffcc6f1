// The direct-access script over the emulator: a pass-through call put
// through by AT commands, the modem's bad answers, the user's hang-up while
// the script waits, and the log it writes.
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "telephony/phonecalltool.h"
#include "telephony/tapiline.h"
#include "tests/telephony/telephonytestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

class View : public TPhoneView {
public:
    void SetButtonCaption(const QString&) override {}
    void SetStatus(const QString& t) override { status = t; }
    QString PhoneNumberText() const override { return QString(); }
    void SetLineLamp(bool) override {}
    void TransferLampsOff() override {}
    QString status;
};

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        modem = std::make_unique<TModemEmulator>(env.Path("modem"), 0);
        env.Set("off", {modem->Link()});
        line = std::make_unique<TTAPILine>();
        tool = std::make_unique<TPhoneCallTool>(*line, view);
        line->DeviceDirectAccess = true;
        line->DirectAccessLogFile = env.Path("script.log");
        line->SetDevIdToInitialize(0);
        line->Open();
        tool->WebPhoneButton1Click();  // start-up's first press
    }
    void Run(const QStringList& script) {
        line->SetDirectAccessScript(&script);
        tool->WebPhoneButton1Click();  // dials: a pass-through call, then the script
    }
    QStringList LogEntries() {
        QFile f(env.Path("script.log"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList entries;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (l.contains(" - ")) entries << QString::fromLatin1(l.mid(l.indexOf(" - ") + 3)).trimmed();
        return entries;
    }
    TLineEnvironment env;
    ScopedRecordingDialogs dialogs;
    std::unique_ptr<TModemEmulator> modem;
    View view;
    std::unique_ptr<TTAPILine> line;
    std::unique_ptr<TPhoneCallTool> tool;
};

}  // namespace

TEST_F(ScriptTest, OkThenConnectPutsTheCallThroughAndLogsIt) {
    QTcpServer far;
    far.listen(QHostAddress::LocalHost);
    Run({"ATZ", QStringLiteral("ATDT127.0.0.1:%1").arg(far.serverPort())});
    ASSERT_TRUE(WaitUntil([&] { return view.status == "Connected"; }, 10000));
    EXPECT_TRUE(dialogs.messages().isEmpty());
    const QStringList log = LogEntries();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().startsWith("TAPILine logfile: : "));
    EXPECT_TRUE(log.contains("Write (send command to modem): ATZ"));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const QString& e) {
        return e.startsWith("Command complete (OK received)");
    }));
    EXPECT_TRUE(log.last().startsWith("Connected! (conection esteblished)")) << log.last().toStdString();
    // The call is up: bytes reach the far end.
    ASSERT_TRUE(far.hasPendingConnections() || far.waitForNewConnection(3000));
    QTcpSocket* socket = far.nextPendingConnection();
    ASSERT_TRUE(line->WriteString(QByteArray("through")));
    QByteArray got;
    WaitUntil([&] {
        socket->waitForReadyRead(10);
        got += socket->readAll();
        return got == "through";
    });
    EXPECT_EQ(got, "through");
}

TEST_F(ScriptTest, ABadAnswerFailsWithTheCommandAndTheAnswer) {
    Run({"ATJ"});
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.messages().isEmpty(); }, 10000));
    EXPECT_EQ(dialogs.messages().first(),
              "TAPILine: Device direct access script error: \"ATJ\".\r\n\r\nERROR\r\n");
    EXPECT_NE(view.status, "Connected");
    EXPECT_TRUE(LogEntries().last().startsWith("Error (modem return bad response)"));
}

TEST_F(ScriptTest, NoCarrierIsABadAnswer) {
    const QString dial = QStringLiteral("ATDT127.0.0.1:%1").arg(FreePort());
    Run({dial});
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.messages().isEmpty(); }, 10000));
    EXPECT_EQ(dialogs.messages().first(),
              "TAPILine: Device direct access script error: \"" + dial + "\".\r\n\r\nNO CARRIER\r\n");
    EXPECT_EQ(line->ScriptErrorText, dialogs.messages().first());
}

TEST_F(ScriptTest, HangingUpWhileTheScriptWaitsEndsItWithinASecond) {
    QElapsedTimer pressed;
    QTimer::singleShot(1500, [&] {
        pressed.start();
        tool->WebPhoneButton1Click();  // "Hang up"
    });
    Run({"ATS0=0"});  // answered OK, then waits for a CONNECT that never comes
    qint64 ended = -1;
    ASSERT_TRUE(WaitUntil([&] {
        if (LogEntries().isEmpty()) return false;
        ended = pressed.elapsed();
        return true;
    }, 10000));
    ASSERT_TRUE(pressed.isValid());
    EXPECT_LT(ended, 1000);
    EXPECT_EQ(view.status, "Phone Disconnected");
    EXPECT_TRUE(dialogs.messages().isEmpty());
    const QStringList log = LogEntries();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.last(), "Dropped (user hangup)");
}
