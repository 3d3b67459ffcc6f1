// The mail panel through the whole window with the real SMTP and FTP
// controls, against aiosmtpd and pyftpdlib on loopback.

#include <QAction>
#include <QCheckBox>
#include <QJsonArray>
#include <QProgressBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QToolButton>
#include <QUrl>

#include "app/mailtool.h"
#include "app/panels/mailpanel.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "controls/led.h"
#include "imaging/gifoptimizer.h"
#include "imaging/imageencore.h"
#include "mail/ftpadapter.h"
#include "mail/smtpadapter.h"
#include "platform/exceptions.h"
#include "tests/mail/mailtestsupport.h"
#include "window_fixture.h"

namespace vandrex::testing {
namespace {

using test::TFtpServer;
using test::TSmtpServer;
using test::WaitUntil;

const QString kFriend = QStringLiteral("friend@example.org");

class MailWindow : public WindowTest {
protected:
    // The window on the real controls; the other components stay recording doubles.
    void StartReal(const std::string& email = kFriend.toStdString()) {
        WriteFile(DbPath(), RecordBytes({"Ann", "Smith", "", "", "", "", "", "", "", "", email}));
        TForm1Components c = doubles.Make();
        c.SMTP1.reset(smtp = new TSmtpAdapter);
        c.FTP1.reset(ftp = new TFtpAdapter);
        form = std::make_unique<TForm1>(std::move(c));
        Start();
    }
    void HtmlMode() {
        Check("VideoPhone")->setChecked(true);
        Process();
    }
    bool WaitPanel0(const QString& text, int ms = 15000) {
        return WaitUntil([&] { return Panel0() == text; }, ms);
    }
    QString Bar(const char* name) { return form->control<TStatusBar>(name)->panelText(0); }
    TLED* FtpLamp() { return form->control<TLED>("LED_i_modeGIF"); }
    TLED* Lamp(const char* name) { return form->control<TLED>(name); }
    QPlainTextEdit* Memo(const char* name) { return form->control<QPlainTextEdit>(name); }
    void ClickRadio(const char* name) {
        form->control<QRadioButton>(name)->click();
        Process();
    }
    void FillFtp(int port) {
        Edit("RemoteHost_Edit")->setText("127.0.0.1");
        Edit("UserIDEdit")->setText("joe");
        Edit("PasswordEdit")->setText("pw");
        Edit("RemotePort_Edit")->setText(QString::number(port));
    }

    TSmtpAdapter* smtp = nullptr;
    TFtpAdapter* ftp = nullptr;
};

// A small picture written by the imaging core, as the snapshot button does.
QByteArray WriteSnapshotGif(const QString& path) {
    TImageEnCore core;
    TBitmap b(40, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) b.SetColor(x, y, {std::uint8_t(x * 6), std::uint8_t(y * 8), 90});
    core.Assign(std::move(b));
    core.IO.SaveToFileGIF(path.toStdString());
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(MailWindow, PictureUploadedAndHtmlMailPointingToItReachTheServers) {
    TSmtpServer smtpServer;
    TFtpServer ftpServer({"--user", "joe:pw"});
    ASSERT_GT(smtpServer.port(), 0);
    ASSERT_GT(ftpServer.port(), 0);
    StartReal();
    HtmlMode();
    const QString server = "127.0.0.1:" + QString::number(smtpServer.port());
    Edit("SMTPEdit")->setText(server);
    FillFtp(ftpServer.port());
    form->ShowCard();  // the web address follows the FTP settings
    EXPECT_EQ(Edit("WebSiteAddressEdit")->text(), "http://127.0.0.1/~joe/");

    ClickRadio("GIFRadioButton");
    EXPECT_EQ(Panel0(), "i-mode");
    EXPECT_EQ(form->width(), 561 - kFrameExtraWidth);

    // FTP: connect, the lamp lights, the picture goes up byte for byte.
    Click("i_modeGIFSButton");
    ASSERT_TRUE(WaitPanel0("Connected to: 127.0.0.1")) << Panel0().toStdString();
    EXPECT_TRUE(FtpLamp()->Lit());
    // Logged in and idle: the lamp is green again (a click while busy is dropped).
    ASSERT_TRUE(WaitUntil([&] { return ftp->Control()->ProtocolState() == 2 && !ftp->Control()->IsBusy(); }));
    EXPECT_EQ(FtpLamp()->Color(), lcGreen);
    const QByteArray gif = WriteSnapshotGif(dir.filePath("Snapshot.gif"));
    ASSERT_FALSE(gif.isEmpty());
    Click("FTPSButton");
    ASSERT_TRUE(WaitPanel0(kUploadDone)) << Panel0().toStdString();
    const QString remote = form->MailTool().Upload()->RemoteFileName();
    ASSERT_TRUE(remote.endsWith("_Snapshot.gif")) << remote.toStdString();
    EXPECT_EQ(ftpServer.file(remote), gif);
    EXPECT_EQ(Bar("WebPhoneStatusBar2"), QString::number(gif.size()));
    EXPECT_EQ(Bar("WebPhoneStatusBar4"), "1");

    // SMTP: Login shows the state texts and captions.
    Click("Connection");
    ASSERT_TRUE(WaitPanel0("Connected with Mailserver: " + server)) << Panel0().toStdString();
    EXPECT_EQ(Button("Connection")->text(), "Logoff");

    Edit("Onderwerp")->setText("Greetings");
    Memo("MailSheet")->setPlainText("Hello\nWorld");
    Process();
    EXPECT_EQ(Panel0(), "21 Bytes") << "12 text (CR LF) + 9 subject";
    Click("SendBtn");
    ASSERT_TRUE(WaitUntil([&] { return Panel0().startsWith("Mail send to "); })) << Panel0().toStdString();
    EXPECT_TRUE(Panel0().startsWith("Mail send to friend@example.org (")) << Panel0().toStdString();
    ASSERT_EQ(smtpServer.count(), 1);
    EXPECT_EQ(Bar("WebPhoneStatusBar4"), "2");

    const QJsonObject mail = test::ParseMail(smtpServer.raw(1));
    EXPECT_EQ(mail["content_type"].toString(), "text/html");
    EXPECT_EQ(mail["headers"].toObject()["To"].toString(), kFriend);
    EXPECT_EQ(mail["headers"].toObject()["Subject"].toString(), "Greetings");
    EXPECT_TRUE(mail["defects"].toArray().isEmpty());
    const QJsonObject headerDefects = mail["header_defects"].toObject();
    for (const QString& name : headerDefects.keys())
        if (name != "Message-Id") {
            EXPECT_TRUE(headerDefects[name].toArray().isEmpty()) << name.toStdString();
        }
    const QString body = mail["body"].toString();
    // The wire ends the last line; the page is the body otherwise unchanged.
    EXPECT_EQ(body.toStdString(), Memo("MailSheet2")->toPlainText().replace("\r\n", "\n").toStdString() + "\n");
    const QRegularExpressionMatch img =
        QRegularExpression(R"re(<IMG SRC="http://127\.0\.0\.1/~joe/([^"]+)" align="top">)re").match(body);
    ASSERT_TRUE(img.hasMatch()) << body.toStdString();
    EXPECT_EQ(ftpServer.file(QUrl::fromPercentEncoding(img.captured(1).toUtf8())), gif);
    EXPECT_TRUE(body.contains("Hello\n<BR>World")) << body.toStdString();

    // Logoff, then the FTP button disconnects: lamp out, window narrow again.
    Click("Connection");
    ASSERT_TRUE(WaitPanel0("Disconnected from Mailserver: " + server)) << Panel0().toStdString();
    EXPECT_EQ(Button("Connection")->text(), "Login");
    Click("i_modeGIFSButton");
    ASSERT_TRUE(WaitPanel0("Disconnected")) << Panel0().toStdString();
    EXPECT_FALSE(FtpLamp()->Lit());
    EXPECT_EQ(FtpLamp()->Color(), lcRed);
    EXPECT_EQ(form->width(), 400 - kFrameExtraWidth);
    EXPECT_TRUE(form->control<QRadioButton>("JPGRadioButton")->isChecked());
    EXPECT_EQ(Edit("WebSiteAddressEdit")->width(), 357) << "the JPEG layout fits the narrow window";
    EXPECT_TRUE(form->control<QWidget>("BGColorSButton")->isVisible());
    EXPECT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('|').toStdString();
}

TEST_F(MailWindow, TextMailWithoutFtpAndCloseQuitsTheOpenSession) {
    TSmtpServer smtpServer;
    StartReal();
    const QString server = "127.0.0.1:" + QString::number(smtpServer.port());
    Edit("SMTPEdit")->setText(server);
    // Send before Login does nothing.
    Click("SendBtn");
    EXPECT_EQ(smtpServer.count(), 0);
    Click("Connection");
    ASSERT_TRUE(WaitPanel0("Connected with Mailserver: " + server)) << Panel0().toStdString();
    EXPECT_EQ(doubles.line->CloseCalls, 1) << "the modem is closed while the network is used";

    Check("CheckBox2")->click();
    Process();
    EXPECT_TRUE(Edit("Key")->isVisible());
    EXPECT_EQ(Edit("Onderwerp")->width(), 166);
    Edit("Key")->setText("K");
    Edit("Onderwerp")->setText("Hi");
    Memo("MailSheet")->setPlainText("A line\n.\nlast");
    Click("SendBtn");
    ASSERT_TRUE(WaitUntil([&] { return smtpServer.count() == 1 && Panel0().startsWith("Mail send to"); }))
        << Panel0().toStdString();
    const QJsonObject mail = test::ParseMail(smtpServer.raw(1));
    EXPECT_EQ(mail["content_type"].toString(), "text/plain");
    EXPECT_EQ(mail["headers"].toObject()["Subject"].toString(), "~ Hi");
    EXPECT_TRUE(mail["headers"].toObject()["Signature"].toString().startsWith("[K] / [CRC_"));
    EXPECT_EQ(mail["body"].toString().toStdString(), "A line\n.\nlast\n");
    EXPECT_EQ(Bar("WebPhoneStatusBar2"), QString::number(QString("A line\r\n.\r\nlast").size()));

    form->CloseClick();
    EXPECT_TRUE(WaitUntil([&] { return smtp->State() == TSmtpInterface::Disconnected; }, 5000));
}

TEST_F(MailWindow, RefusedRecipientEndsInTheErrorBoxAndCountsNothing) {
    TSmtpServer smtpServer({"--refuse", "friend@example.org"});
    StartReal();
    Edit("SMTPEdit")->setText("127.0.0.1:" + QString::number(smtpServer.port()));
    Click("Connection");
    ASSERT_TRUE(WaitUntil([&] { return smtp->State() == TSmtpInterface::Connected; }));
    Memo("MailSheet")->setPlainText("x");
    Click("SendBtn");
    ASSERT_TRUE(WaitPanel0("Transmission Terminated")) << Panel0().toStdString();
    ASSERT_EQ(dialogs.errors().size(), 1);
    EXPECT_TRUE(dialogs.errors()[0].startsWith("550 - ")) << dialogs.errors()[0].toStdString();
    EXPECT_EQ(Bar("WebPhoneStatusBar4"), "0");
    EXPECT_EQ(smtpServer.count(), 0);
}

TEST_F(MailWindow, LoginRefusesJpegForImodeAndUploadNeedsAConnection) {
    StartReal("someone@docomo.ne.jp");
    HtmlMode();
    Edit("SMTPEdit")->setText("127.0.0.1:1");
    ClickRadio("JPGRadioButton");
    EXPECT_EQ(Panel0(), "Jpeg mode");
    Click("Connection");
    EXPECT_EQ(dialogs.messages(), QStringList{"Jpeg Pictures not Possible with i-mode !"});
    EXPECT_EQ(smtp->State(), TSmtpInterface::Disconnected);

    Click("FTPSButton");
    EXPECT_EQ(Panel0(), "Not Connected with FTP Server");
    form->ConnectStatus()->setPanelText(0, QString());
    form->Panels().Mail.ClickFTPSButton();  // as the time-lapse timer clicks
    EXPECT_EQ(Panel0(), "Not Connected with FTP Server");
    // Without host, user and password the FTP button does nothing.
    Click("i_modeGIFSButton");
    EXPECT_EQ(ftp->State(), 6);

    // The upload's own spelling of the refusal; GIF goes, in the mode FTP_Prefix sets.
    FillFtp(1);
    Click("i_modeGIFSButton");
    EXPECT_EQ(dialogs.messages().value(1), "Jpeg Pictures not possible with i-mode !");
    EXPECT_EQ(ftp->State(), 6);
    Check("FTP_Prefix")->setChecked(false);
    ClickRadio("GIFRadioButton");
    const int closes = doubles.line->CloseCalls;
    Click("i_modeGIFSButton");
    EXPECT_FALSE(ftp->PassiveMode());
    EXPECT_EQ(doubles.line->CloseCalls, closes + 1);
    EXPECT_TRUE(WaitUntil([&] { return ftp->State() == 6 && !dialogs.errors().isEmpty(); }));
}

TEST_F(MailWindow, FtpSettingsAndPageControlsStartAsDesigned) {
    StartReal();
    EXPECT_EQ(Edit("RemotePort_Edit")->text(), "21");
    EXPECT_EQ(Edit("RemotePort_Edit")->maxLength(), 5);
    EXPECT_EQ(Edit("PasswordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Check("FTP_Prefix")->isChecked());
    EXPECT_EQ(Check("FTP_Prefix")->toolTip(), "PASV - (Passive FTP mode)");
    EXPECT_EQ(Edit("FontSize")->text(), "12");
    EXPECT_EQ(Edit("FontColor")->text(), "000000");
    EXPECT_EQ(Edit("BackGroundColor")->text(), "FFFFFF");
    EXPECT_EQ(Button("i_modeGIFSButton")->toolTip(), "Enable FTP Connection [Green]");
    EXPECT_EQ(Button("FTPSButton")->toolTip(), "FTP Upload [Disabled]");

    // Colour buttons: a chosen colour, then a cancelled dialog keeps it.
    dialogs.colors.push_back(QColor(255, 0, 0));
    form->control<QToolButton>("BGColorSButton")->click();
    EXPECT_EQ(Edit("BackGroundColor")->text(), "FF0000");
    form->control<QToolButton>("BGColorSButton")->click();
    EXPECT_EQ(Edit("BackGroundColor")->text(), "FF0000");
    dialogs.colors.push_back(QColor(0x12, 0x34, 0x56));
    form->control<QToolButton>("TextColorSButton")->click();
    EXPECT_EQ(Edit("FontColor")->text(), "123456");

    // ObjectUpDown: down +1, up -1, never below 0.
    auto* upDown = form->control<QSpinBox>("ObjectUpDown");
    upDown->stepDown();
    EXPECT_EQ(Edit("ObjectRichEdit")->text(), "TV");
    upDown->stepUp();
    upDown->stepUp();
    EXPECT_EQ(Edit("ObjectRichEdit")->text(), "Audio");
    EXPECT_EQ(form->Panels().Mail.ObjectSheetIndex(), 0);

    // The web address may be edited only while its box is checked.
    EXPECT_TRUE(Edit("WebSiteAddressEdit")->isReadOnly());
    Check("WebSiteAddressCheckBox")->click();
    EXPECT_FALSE(Edit("WebSiteAddressEdit")->isReadOnly());
    Check("WebSiteAddressCheckBox")->click();
    EXPECT_TRUE(Edit("WebSiteAddressEdit")->isReadOnly());
}

// Where the mail controls share the client area, the ones a user needs in
// HTML mail mode are not hidden under another control.
TEST_F(MailWindow, HtmlModeControlsLieClearOfEachOther) {
    StartReal();
    HtmlMode();
    QWidget* client = form->centralWidget();
    auto rect = [&](const char* name) {
        QWidget* w = form->control<QWidget>(name);
        EXPECT_TRUE(w->isVisible()) << name;
        return QRect(w->mapTo(client, QPoint(0, 0)), w->size());
    };
    const QRect web = rect("WebSiteAddressEdit");
    for (const char* n : {"GIFRadioButton", "JPGRadioButton", "FontSize", "BackGroundColor", "i_modeGIFSButton",
                          "FTPSButton", "MailSheet"})
        EXPECT_FALSE(rect(n).intersects(web)) << n;
    EXPECT_FALSE(rect("MailSheet").intersects(rect("FTPSButton")));
    EXPECT_FALSE(rect("FTPSButton").intersects(rect("GIFRadioButton")));
    // The wide address of the GIF choice keeps its check box beside it, inside the window.
    form->control<QRadioButton>("GIFRadioButton")->click();
    Process();
    EXPECT_EQ(Edit("WebSiteAddressEdit")->width(), 518);
    EXPECT_FALSE(form->control<QWidget>("BGColorSButton")->isVisible()) << "GIF pages take no colours";
    EXPECT_FALSE(form->control<QWidget>("TextColorSButton")->isVisible());
    const QRect box = rect("WebSiteAddressCheckBox");
    EXPECT_FALSE(box.intersects(rect("WebSiteAddressEdit")));
    EXPECT_LE(box.right(), client->width());
    form->control<QRadioButton>("JPGRadioButton")->click();
    Process();
    EXPECT_TRUE(form->control<QWidget>("BGColorSButton")->isVisible());
    EXPECT_EQ(Edit("WebSiteAddressEdit")->width(), 357);
    for (const char* bar : {"WebPhoneStatusBar2", "WebPhoneStatusBar4"})
        for (const char* box : {"VideoPhone", "CheckBox1", "Close", "Zozadi"})
            EXPECT_FALSE(rect(bar).intersects(rect(box))) << bar << " " << box;
}

// The picture-format choice reaches beyond the mail group: the handset
// display, the page-size bar, the recorder menu items, the probe and the GIF
// coding.
TEST_F(MailWindow, PictureChoiceSetsTheDisplayProbeAndCoding) {
    StartReal();
    HtmlMode();
    auto* encoder = form->control<QWidget>("PhoneDisplayEncoder1");
    auto* logo = form->control<QWidget>("i_mode_Logo");
    auto* bar = form->control<QProgressBar>("GIFSizeBar");
    auto* lamp = Lamp("NEC_Display_LED");
    auto* probe = Check("Timer_ProbeBox");
    auto* compress = form->control<QAction>("Compress1");
    auto* recorder = form->control<QAction>("RecorderStatusAction");

    // A snapshot on the display, written with LZW (lamp red).
    doubles.capture->Frame = QImage(64, 48, QImage::Format_RGB888);
    doubles.capture->Frame.fill(QColor(30, 120, 200));
    ClickRadio("GIFRadioButton");
    form->control<QToolButton>("ZozadiFotoBtn1")->click();
    Process();
    ASSERT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('|').toStdString();
    ASSERT_TRUE(encoder->isVisibleTo(form.get()));
    ASSERT_GT(bar->value(), 0);
    emit lamp->OnDblClick();
    Process();
    ASSERT_TRUE(form->Panels().Optimizer.UseLZW());
    ASSERT_EQ(lamp->Color(), lcRed);

    // gif: the logo in place of the picture, the bar back to 0 with its hint.
    compress->setEnabled(true);
    recorder->setEnabled(true);
    ClickRadio("GIFRadioButton");
    EXPECT_FALSE(encoder->isVisibleTo(form.get()));
    EXPECT_TRUE(logo->isVisibleTo(form.get()));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->toolTip(), "i-mode page size [10 Kbyte = 10 Eurocent]");
    EXPECT_FALSE(compress->isEnabled());
    EXPECT_FALSE(recorder->isEnabled());
    EXPECT_TRUE(form->Panels().Optimizer.UseLZW()) << "the GIF choice keeps the coding";
    EXPECT_EQ(Panel0(), "i-mode");

    // jpg: the probe broadcast ends, LZW goes off and the lamp turns green.
    compress->setEnabled(true);
    recorder->setEnabled(true);
    probe->setChecked(true);
    const int stops = doubles.producer->StopEncodingCalls;
    ClickRadio("JPGRadioButton");
    EXPECT_EQ(doubles.producer->StopEncodingCalls, stops + 1);
    EXPECT_FALSE(probe->isChecked());
    EXPECT_FALSE(form->Panels().Optimizer.UseLZW());
    EXPECT_EQ(lamp->Color(), lcGreen);
    EXPECT_TRUE(lamp->Lit()) << "the display keeps its lamp";
    EXPECT_EQ(lamp->toolTip(), TGifOptimizer::kNonLzwHint);
    EXPECT_FALSE(compress->isEnabled());
    EXPECT_FALSE(recorder->isEnabled());
    EXPECT_EQ(Panel0(), "Jpeg mode");
    // Without a probe running the encoder is left alone.
    ClickRadio("JPGRadioButton");
    EXPECT_EQ(doubles.producer->StopEncodingCalls, stops + 1);
    EXPECT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join('|').toStdString();
}

// A time-lapse click on the upload button hands a missing file back to the
// timer; the user's own click shows it in the error box.
TEST_F(MailWindow, UploadErrorsGoToTheClicker) {
    TFtpServer ftpServer({"--user", "joe:pw"});
    StartReal();
    HtmlMode();
    Edit("SMTPEdit")->setText("127.0.0.1:1");
    FillFtp(ftpServer.port());
    ClickRadio("JPGRadioButton");
    Click("i_modeGIFSButton");
    ASSERT_TRUE(WaitUntil([&] { return ftp->Control()->ProtocolState() == 2 && !ftp->Control()->IsBusy(); }));
    EXPECT_THROW(form->Panels().Mail.ClickFTPSButton(), EInOutError);  // no Snapshot.jpg
    EXPECT_TRUE(dialogs.errors().isEmpty());
    Click("FTPSButton");
    ASSERT_EQ(dialogs.errors().size(), 1);
    EXPECT_TRUE(dialogs.errors()[0].contains("Snapshot.jpg")) << dialogs.errors()[0].toStdString();
    EXPECT_EQ(Bar("WebPhoneStatusBar4"), "0");
}

}  // namespace
}  // namespace vandrex::testing
