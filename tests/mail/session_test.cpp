// The mail panel's handlers (TMailSession, TUploadSession) against real
// loopback servers, with the exact texts, captions, lamps and counters the
// window shows.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include "mail/mailsession.h"
#include "mail/uploadsession.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"
#include "tests/mail/mailtestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

struct MailView : TMailView {
    TMailPanelFields fields;
    QStringList status, captions, counters, log;
    QString mailSheet2;
    std::pair<bool, int> key{false, 0};
    TMailPanelFields Fields() const override { return fields; }
    void SetStatusText(const QString& t) override { status << t; }
    void SetConnectionCaption(const QString& t) override { captions << t; }
    void ShowCounters(const QString& total, const QString& count) override { counters << total + "/" + count; }
    void SetMailSheet2(const QString& t) override { mailSheet2 = t; }
    void ShowKey(bool visible, int width) override { key = {visible, width}; }
    void LineOpen() override { log << "Open"; }
    void LineClose() override { log << "Close"; }
};

struct MailFixture {
    TSMTP smtp;
    MailView view;
    TTransferCounters counters;
    TMailSession session{smtp, view, counters};
    ScopedRecordingDialogs dialogs;

    explicit MailFixture(int port) {
        view.fields.smtpServer = QString("127.0.0.1:%1").arg(port);
        view.fields.recipient = "joe@example.org";
        view.fields.sender = "vandrex_4711@vandrex.invalid";
        view.fields.subject = "Hi";
        view.fields.text = "Hello\r\nWorld";
    }
    bool Login() {
        session.ConnectionClick();
        return WaitUntil([&] { return smtp.State() == 4 || smtp.State() == 6; }) && smtp.State() == 4;
    }
    bool SendAndWait(int expectedEnds) {
        session.SendBtnClick();
        return WaitUntil([&] { return ends() >= expectedEnds; });
    }
    int ends() const {
        return int(std::count_if(view.status.begin(), view.status.end(), [](const QString& s) {
            return s.startsWith("Mail send to ") || s == "Transmission Terminated";
        }));
    }
};

int Checksum(const QString& text) {
    int sum = 0;
    for (char c : text.toLatin1()) sum += static_cast<unsigned char>(c);
    return sum;
}

}  // namespace

TEST(MailSession, LoginSendPlainAndHtmlThenLogoffWithExactTexts) {
    WriteNetrc(QString());
    TSmtpServer server;
    MailFixture m(server.port());
    const QString host = m.view.fields.smtpServer;
    ASSERT_TRUE(m.Login());
    EXPECT_EQ(m.view.status, (QStringList{"Connecting to Mailserver: " + host + "...", "Checking Account: Your Account",
                                          "Your Account: OK", "Connected with Mailserver: " + host}));
    EXPECT_EQ(m.view.captions, (QStringList{"Login", "Logoff"}));
    EXPECT_EQ(m.view.log, QStringList{"Close"});

    // Signed plain mail.
    m.view.status.clear();
    m.view.fields.sign = true;
    m.view.fields.key = "K";
    ASSERT_TRUE(m.SendAndWait(1));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));
    const QJsonObject plain = ParseMail(server.raw(1));
    const QJsonObject h = plain["headers"].toObject();
    EXPECT_EQ(h["To"].toString(), "joe@example.org");
    EXPECT_EQ(h["From"].toString(), "vandrex_4711@vandrex.invalid");
    EXPECT_EQ(h["Subject"].toString(), "~ Hi");
    EXPECT_EQ(h["Message-Id"].toString(), "[i-mode_12_Bytes]_ [" + kContactMailAddress + "]");
    EXPECT_EQ(h["Content-Type"].toString(), "text/plain; charset=\"iso-8859-1\"");
    EXPECT_EQ(h["Signature"].toString(), QString("[K] / [CRC_%1]").arg(Checksum("Hello\r\nWorld")));
    EXPECT_EQ(plain["body"].toString(), "Hello\nWorld\n");
    QStringList names;
    for (const QJsonValue& v : plain["raw_headers"].toArray()) names << v.toArray()[0].toString();
    EXPECT_EQ(names.mid(0, 6), (QStringList{"To", "From", "Subject", "Message-Id", "Content-Type", "Signature"}));
    const int mailBytes = m.smtp.DocInput.BytesTotal;
    ASSERT_GE(m.view.status.size(), 4);
    EXPECT_EQ(m.view.status[0], "Initiating Transmission");
    EXPECT_EQ(m.view.status[1], "Sending Addressinformation");
    EXPECT_EQ(m.view.status[2].left(10), "Data send:");
    EXPECT_EQ(m.view.status.last(), QString("Mail send to joe@example.org (%1 bytes data)").arg(mailBytes));
    EXPECT_EQ(m.view.counters, QStringList{"12/1"});

    // HTML mail: the gif page.
    m.view.fields.sign = false;
    m.view.fields.html = true;
    m.view.fields.choice = TMailChoice::Gif;
    m.view.fields.fileUrl = "http://h/~joe/a.gif";
    ASSERT_TRUE(m.SendAndWait(2));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 2; }));
    const QJsonObject html = ParseMail(server.raw(2));
    EXPECT_EQ(html["content_type"].toString(), "text/html");
    EXPECT_EQ(html["charset"].toString(), "iso-8859-1");
    EXPECT_EQ(html["body"].toString(), QString(m.view.mailSheet2).replace("\r\n", "\n") + "\n");
    EXPECT_TRUE(m.view.mailSheet2.contains("<IMG SRC=\"http://h/~joe/a.gif\" align=\"top\">\r\n<BR clear=\"all\">\r\nHello\r\n<BR>World"));
    EXPECT_EQ(m.view.counters.last(), QString("%1/2").arg(12 + m.view.mailSheet2.size()));

    // Every object sheet arrives with the user's lines in place.
    m.view.fields.objectPage = true;
    const QStringList sheets{"Audio", "TV", "16_9", "20_9", "Phone", "Cam", "DVD1", "DVD2", "DVD3", "Radio", "LP", "CD", "Crypt"};
    int n = 2;
    for (const QString& sheet : sheets) {
        SCOPED_TRACE(sheet.toStdString());
        m.view.fields.sheet = sheet;
        ASSERT_TRUE(m.SendAndWait(++n));
        ASSERT_TRUE(WaitUntil([&] { return server.count() == n; }));
        const QString body = ParseMail(server.raw(n))["body"].toString();
        EXPECT_TRUE(body.contains("\n<BR>Hello\n<BR>World\n</P></SPAN>\n</BODY>\n</HTML>")) << body.toStdString();
        EXPECT_TRUE(body.contains(sheet == "LP" ? "LP_Record.gif" : sheet == "CD" ? "CD_Player.gif" : "background= "));
    }
    EXPECT_TRUE(m.dialogs.shown.empty());

    // Logging off works on a card without an address too (and needs no
    // i-mode test): the session is never kept open against the user's click.
    m.view.status.clear();
    m.view.captions.clear();
    m.view.fields.recipient.clear();
    m.session.ConnectionClick();
    ASSERT_TRUE(WaitUntil([&] { return m.smtp.State() == 6; }));
    EXPECT_TRUE(m.dialogs.shown.empty());
    EXPECT_EQ(m.view.captions, (QStringList{"Logout", "Login"}));
    EXPECT_EQ(m.view.status, (QStringList{"Disconnecting Mailserver: " + host + "...", "Disconnected from Mailserver: " + host}));
    EXPECT_EQ(m.view.log, (QStringList{"Close", "Open"}));
}

TEST(MailSession, RefusedRecipientShowsErrorBoxAndCountsNothing) {
    WriteNetrc(QString());
    TSmtpServer server({"--refuse", "bad@example.org"});
    MailFixture m(server.port());
    m.view.fields.recipient = "bad@example.org";
    ASSERT_TRUE(m.Login());
    ASSERT_TRUE(m.SendAndWait(1));
    EXPECT_EQ(m.view.status.last(), "Transmission Terminated");
    EXPECT_EQ(m.dialogs.errors(), QStringList{"550 - 5.1.1 <bad@example.org>: Recipient address rejected"
                                              "(5.1.1 <bad@example.org>: Recipient address rejected)"});
    EXPECT_TRUE(m.view.counters.isEmpty());
    EXPECT_EQ(m.counters.count, 0);
    EXPECT_TRUE(m.session.TransmissionFailed());
    // The session goes on: the next mail to a good address counts.
    m.view.fields.recipient = "good@example.org";
    ASSERT_TRUE(m.SendAndWait(2));
    EXPECT_TRUE(m.view.status.last().startsWith("Mail send to good@example.org ("));
    EXPECT_EQ(m.counters.count, 1);
}

TEST(MailSession, SilentServerTimesOutWithErrorBox) {
    TSmtpServer silent({"--silent"});
    MailFixture m(silent.port());
    m.smtp.Timeout = 400;
    EXPECT_FALSE(m.Login());
    EXPECT_EQ(m.dialogs.errors(),
              QStringList{"10003 - Timeout waiting for the mail server(Timeout waiting for the mail server)"});
    EXPECT_EQ(m.view.status.last(), "Disconnected from Mailserver: " + m.view.fields.smtpServer);
    EXPECT_EQ(m.view.captions.last(), "Login");
}

TEST(MailSession, RefusalsBeforeAnythingGoesOut) {
    WriteNetrc(QString());
    TSmtpServer server;
    MailFixture m(server.port());
    // i-mode: JPEG and clips refused at Login, GIF connects.
    m.view.fields.recipient = "ken@" + kImodeMailDomain;
    const std::pair<TMailChoice, QString> refused[] = {
        {TMailChoice::Jpg, "Jpeg Pictures not Possible with i-mode !"},
        {TMailChoice::Audio, "RealAudio not Possible with i-mode !"},
        {TMailChoice::Video, "RealVideo not Possible with i-mode !"}};
    for (const auto& [choice, text] : refused) {
        m.view.fields.choice = choice;
        m.session.ConnectionClick();
        EXPECT_EQ(m.dialogs.messages().last(), text);
    }
    EXPECT_EQ(m.smtp.State(), 6);
    EXPECT_TRUE(m.view.status.isEmpty());
    m.view.fields.recipient.clear();
    m.session.ConnectionClick();
    EXPECT_EQ(m.dialogs.messages().last(), "NO E-MAIL ADDRESS !");
    EXPECT_EQ(m.smtp.State(), 6);

    m.view.fields.recipient = "ken@" + kImodeMailDomain;
    m.view.fields.choice = TMailChoice::Gif;
    ASSERT_TRUE(m.Login());
    m.dialogs.clear();
    m.view.status.clear();

    m.view.fields.recipient.clear();
    m.session.SendBtnClick();
    EXPECT_EQ(m.dialogs.messages(), QStringList{"NO E-MAIL ADDRESS !"});
    for (const QString& subject : {QString("Hi\r\nBcc: evil@example.org"), QString("x\ny")}) {
        m.view.fields.recipient = "joe@example.org";
        m.view.fields.subject = subject;
        m.session.SendBtnClick();
        EXPECT_EQ(m.dialogs.messages().last(), kUnsafeHeaderMessage);
    }
    m.view.fields.subject = "Hi";
    m.view.fields.recipient = "joe@example.org>\r\nRCPT TO:<evil@example.org";
    m.session.SendBtnClick();
    EXPECT_EQ(m.dialogs.messages().last(), kUnsafeHeaderMessage);
    Pump(200);
    EXPECT_TRUE(m.view.status.isEmpty());
    EXPECT_EQ(server.count(), 0);

    // A second Send while a mail is on the way is refused.
    m.view.fields.recipient = "joe@example.org";
    m.view.fields.text = QString(400000, QChar('z'));
    m.session.SendBtnClick();
    m.session.SendBtnClick();
    EXPECT_EQ(m.dialogs.messages().last(), kMailBusyMessage);
    ASSERT_TRUE(WaitUntil([&] { return m.ends() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));
    Pump(200);
    EXPECT_EQ(server.count(), 1);
    EXPECT_EQ(m.counters.count, 1);
}

TEST(MailSession, ByteCounterSignLayoutAndColourDialog) {
    TSMTP smtp;
    MailView view;
    TTransferCounters counters;
    TMailSession session(smtp, view, counters);
    session.MailSheetChange(120);
    session.OnderwerpChange(10);
    session.KeyChange(5);
    EXPECT_EQ(view.status.last(), "135 Bytes");
    session.CheckBox2Click(true);
    EXPECT_EQ(view.key, std::make_pair(true, 166));
    session.CheckBox2Click(false);
    EXPECT_EQ(view.key, std::make_pair(false, 218));
    // Send outside a session does nothing at all.
    ScopedRecordingDialogs dialogs;
    view.fields.recipient = "joe@example.org";
    session.SendBtnClick();
    EXPECT_TRUE(dialogs.shown.empty());

    TDocInput doc;
    doc.State = TDocInput::StateSending;
    doc.BytesTransferred = 2048;
    doc.BytesTotal = 4096;
    session.SMTP1DocInput(&doc);
    EXPECT_EQ(view.status.last(), "Data send: 2048 of 4096 bytes(50%)");
    doc.BytesTransferred = 30000000;  // x 100 needs more than 32 bits
    doc.BytesTotal = 40000000;
    session.SMTP1DocInput(&doc);
    EXPECT_EQ(view.status.last(), "Data send: 30000000 of 40000000 bytes(75%)");
    doc.BytesTotal = 0;
    session.SMTP1DocInput(&doc);
    EXPECT_EQ(view.status.last(), "Sending ...");

    // Two entries in the error collection: only the last one stands.
    smtp.Errors = QStringList{"first entry", "second entry"};
    bool cancel = false;
    session.SMTP1Error(552, "Too big", &cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(dialogs.errors(), QStringList{"552 - Too big(second entry)"});
    view.fields.recipient.clear();
    session.SMTP1Error(552, "Too big", &cancel);
    EXPECT_EQ(dialogs.errors().size(), 1);
    EXPECT_TRUE(session.TransmissionFailed());

    THtmlColorDialog colour;
    EXPECT_EQ(colour.Run(), "FFFFFF");  // cancelled, never chosen: white
    dialogs.colors.push_back(QColor(255, 0, 0));
    EXPECT_EQ(colour.Run(), "FF0000");
    dialogs.colors.push_back(QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(colour.Run(), "123456");
    EXPECT_EQ(colour.Run(), "123456");  // cancelled: the current colour
}

// ---- uploads ---------------------------------------------------------------

namespace {

struct UploadView : TUploadView {
    TUploadFields fields;
    QStringList status, log;
    std::vector<TLampColor> colors;
    std::vector<bool> lit, cursor;
    QStringList counters;
    QByteArray displayPicture = "GIF89a-display-picture";
    TUploadFields Fields() const override { return fields; }
    void SetStatusText(const QString& t) override { status << t; }
    void SetLampLit(bool on) override { lit.push_back(on); }
    void SetLampColor(TLampColor c) override { colors.push_back(c); }
    void SetBusyCursor(bool b) override { cursor.push_back(b); }
    void ShowCounters(const QString& total, const QString& count) override { counters << total + "/" + count; }
    void SetWindowWidth(int w, int border) override { log << QString("width %1 %2").arg(w).arg(border); }
    void SelectJpg() override { log << "jpg"; fields.choice = TMailChoice::Jpg; }
    void SaveDisplayPicture(const QString& path) override {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(displayPicture);
        log << "save " + QFileInfo(path).fileName();
    }
    void ApplyPictureLayout(const TPictureLayout& l) override {
        log << QString("layout %1 %2 %3 %4").arg(l.windowWidth).arg(l.webAddressWidth).arg(l.menuBorder).arg(l.mediaButtonsFlat);
        status << l.statusText;
    }
    void LineClose() override { log << "Close"; }
    void DisableRecorderItems() override { log << "recorder items off"; }
    void ShowImodeLogo() override { log << "logo"; }
    void ResetPageSizeBar() override { log << "size bar 0"; }
    void StopProbe() override { log << "probe off"; }
    void SwitchLzwOff() override { log << "lzw off"; }
};

struct UploadFixture {
    QTemporaryDir folder;
    TFTP ftp;
    UploadView view;
    TTransferCounters counters;
    TUploadSession session{ftp, view, counters};
    ScopedRecordingDialogs dialogs;

    UploadFixture(int port, const QString& user, const QString& password) {
        view.fields.host = "127.0.0.1";
        view.fields.user = user;
        view.fields.password = password;
        view.fields.port = QString::number(port);
        view.fields.smtpServer = "mail.example.org";
        view.fields.recipient = "joe@example.org";
        view.fields.folder = folder.path();
        view.fields.choice = TMailChoice::Gif;
    }
    bool Connect() {
        session.i_modeGIFSButtonClick();
        return WaitUntil([&] { return ftp.ProtocolState() == 2 || ftp.State() == 6 || !dialogs.shown.empty(); }) &&
               ftp.ProtocolState() == 2;
    }
    bool Upload() {
        const qsizetype before = view.status.size();
        session.FTPSButtonClick();
        return WaitUntil([&] {
            const QStringList after = view.status.mid(before);
            return after.contains(kUploadDone) || after.contains(kUploadFailed);
        });
    }
};

}  // namespace

TEST(UploadSession, ConnectUploadFourFilesAndDisconnectWithExactTexts) {
    TFtpServer server({"--user", "joe:pw"});
    UploadFixture u(server.port(), "joe", "pw");
    ASSERT_TRUE(u.Connect()) << u.dialogs.errors().join("; ").toStdString();
    EXPECT_EQ(u.view.status, (QStringList{"Connecting", "Resolving Host", "Host Resolved", "Connected to: 127.0.0.1"}));
    EXPECT_EQ(u.view.log, (QStringList{"width 563 552", "Close"}));
    EXPECT_EQ(u.view.lit, std::vector<bool>{true});
    // Busy with the login, green once asked to log in, green when done.
    EXPECT_EQ(u.view.colors, (std::vector<TLampColor>{TLampColor::Yellow, TLampColor::Green, TLampColor::Green}));
    EXPECT_TRUE(u.session.LampLit());

    // gif: the display encoder's picture is saved, then uploaded.
    u.view.status.clear();
    ASSERT_TRUE(u.Upload());
    EXPECT_EQ(u.view.status, (QStringList{"FTP UpLoad in Progress", kUploadDone}));
    EXPECT_TRUE(u.view.log.contains("save Snapshot.gif"));
    EXPECT_TRUE(u.session.RemoteFileName().endsWith("_Snapshot.gif"));
    EXPECT_FALSE(u.session.RemoteFileName().contains('/'));
    EXPECT_EQ(server.file(u.session.RemoteFileName()), u.view.displayPicture);
    EXPECT_EQ(u.ftp.URL, UploadUrl("joe", "pw", "127.0.0.1", u.view.fields.port, u.session.RemoteFileName()));
    EXPECT_EQ(u.ftp.DocInput.Headers, (THeaderList{{"content-type", "image/gif"},
                                                   {"content-length", QString::number(u.view.displayPicture.size())}}));
    EXPECT_EQ(u.view.counters, QStringList{QString("%1/1").arg(u.view.displayPicture.size())});
    EXPECT_EQ(u.view.cursor.back(), false);

    qint64 total = u.view.displayPicture.size();
    int count = 1;
    const std::pair<TMailChoice, const char*> others[] = {
        {TMailChoice::Jpg, "Snapshot.jpg"}, {TMailChoice::Audio, "Audio.rm"}, {TMailChoice::Video, "Video.rm"}};
    quint32 seed = 11;
    for (const auto& [choice, name] : others) {
        SCOPED_TRACE(name);
        u.view.fields.choice = choice;
        const QByteArray bytes = WriteRandomFile(u.folder.filePath(name), 100000 + seed, seed);
        ++seed;
        ASSERT_TRUE(u.Upload());
        EXPECT_EQ(u.view.status.last(), kUploadDone);
        EXPECT_TRUE(u.session.RemoteFileName().endsWith(QString("_") + name));
        EXPECT_EQ(server.file(u.session.RemoteFileName()), bytes);
        total += bytes.size();
        EXPECT_EQ(u.view.counters.last(), QString("%1/%2").arg(total).arg(++count));
    }
    EXPECT_TRUE(u.dialogs.shown.empty());

    u.view.status.clear();
    u.view.log.clear();
    u.view.colors.clear();
    u.session.i_modeGIFSButtonClick();
    ASSERT_TRUE(WaitUntil([&] { return u.ftp.State() == 6; }));
    // The JPEG choice's handler runs with the selection, before the session goes down.
    EXPECT_EQ(u.view.log, (QStringList{"width 400 383", "jpg", "recorder items off", "probe off", "lzw off",
                                       "layout 400 357 386 0"}));
    EXPECT_EQ(u.view.status, (QStringList{"Jpeg mode", "Disconnecting", "Disconnected"}));
    EXPECT_EQ(u.view.colors.back(), TLampColor::Red);
    EXPECT_EQ(u.view.lit.back(), false);
    EXPECT_FALSE(u.session.LampLit());
    u.view.status.clear();
    u.session.FTPSButtonClick();
    EXPECT_EQ(u.view.status, QStringList{"Not Connected with FTP Server"});
}

TEST(UploadSession, TimeLapseSeriesKeepsOneNamePerRun) {
    TFtpServer server({"--user", "joe:pw"});
    UploadFixture u(server.port(), "joe", "pw");
    ASSERT_TRUE(u.Connect());
    u.view.fields.timerLit = true;
    ASSERT_TRUE(u.Upload());
    const QString first = u.session.RemoteFileName();
    u.view.displayPicture = "second frame";
    Pump(1100);  // the clock moves on
    ASSERT_TRUE(u.Upload());
    EXPECT_EQ(u.session.RemoteFileName(), first);
    EXPECT_EQ(server.file(first), QByteArray("second frame"));
    u.session.TimerStarted();
    ASSERT_TRUE(u.Upload());
    EXPECT_NE(u.session.RemoteFileName(), first);
}

TEST(UploadSession, RefusedLoginAndReadOnlyUploadShowTheReply) {
    TFtpServer server({"--user", "joe:pw", "--readonly", "guest:pw"});
    {
        UploadFixture u(server.port(), "joe", "TopSecret9");
        EXPECT_FALSE(u.Connect());
        ASSERT_TRUE(WaitUntil([&] { return u.ftp.State() == 6; }));
        EXPECT_EQ(u.dialogs.errors(), QStringList{"530 - Authentication failed."});
        EXPECT_EQ(u.view.status.last(), "Disconnected");
        EXPECT_EQ(u.view.colors.back(), TLampColor::Red);
        EXPECT_FALSE(u.view.status.join(" ").contains("TopSecret9"));
        EXPECT_FALSE(u.dialogs.errors().join(" ").contains("TopSecret9"));
    }
    {
        UploadFixture u(server.port(), "guest", "pw");
        ASSERT_TRUE(u.Connect());
        u.view.status.clear();
        ASSERT_TRUE(u.Upload());
        EXPECT_EQ(u.view.status, (QStringList{"FTP UpLoad in Progress", kUploadFailed}));
        EXPECT_EQ(u.dialogs.errors(), QStringList{"550 - Not enough privileges."});
        EXPECT_TRUE(u.view.counters.isEmpty());
        EXPECT_EQ(u.counters.count, 0);
    }
}

TEST(UploadSession, MissingSettingsPortTextImodeAndMissingFile) {
    TFtpServer server({"--user", "joe:pw"});
    UploadFixture u(server.port(), "joe", "pw");
    u.view.fields.smtpServer.clear();
    u.session.i_modeGIFSButtonClick();
    EXPECT_EQ(u.ftp.State(), 6);
    EXPECT_TRUE(u.view.log.isEmpty());
    u.view.fields.smtpServer = "mail.example.org";

    u.view.fields.port = "2x1";
    EXPECT_THROW(u.session.i_modeGIFSButtonClick(), EConvertError);
    EXPECT_EQ(u.ftp.State(), 6);
    u.view.fields.port = QString::number(server.port());

    u.view.fields.recipient = "ken@" + kImodeMailDomain;
    u.view.fields.choice = TMailChoice::Jpg;
    u.session.i_modeGIFSButtonClick();
    EXPECT_EQ(u.dialogs.messages(), QStringList{"Jpeg Pictures not possible with i-mode !"});
    EXPECT_EQ(u.ftp.State(), 6);

    u.view.fields.recipient = "joe@example.org";
    u.dialogs.clear();
    ASSERT_TRUE(u.Connect());
    EXPECT_THROW(u.session.FTPSButtonClick(), EInOutError);  // no Snapshot.jpg
    Pump(100);
    EXPECT_TRUE(u.view.counters.isEmpty());
}

TEST(UploadSession, LayoutsOfThePictureChoice) {
    TFTP ftp;
    UploadView view;
    TTransferCounters counters;
    TUploadSession session(ftp, view, counters);
    session.GIFRadioButtonClick();
    EXPECT_EQ(view.log, (QStringList{"recorder items off", "logo", "size bar 0", "layout 561 518 550 1"}));
    EXPECT_EQ(view.status.last(), "i-mode");
    EXPECT_EQ(session.LocalFileName(), "Snapshot.gif");
    view.log.clear();
    session.JPGRadioButtonClick();
    EXPECT_EQ(view.log, (QStringList{"recorder items off", "probe off", "lzw off", "layout 400 357 386 0"}));
    EXPECT_EQ(view.status.last(), "Jpeg mode");
    EXPECT_EQ(session.LocalFileName(), "Snapshot.jpg");
}

// The whole path: a picture uploaded, then an HTML mail pointing to it.
TEST(MailAndUpload, HtmlMailPointsToTheUploadedPicture) {
    WriteNetrc(QString());
    TFtpServer ftpServer({"--user", "joe:pw"});
    TSmtpServer smtpServer;
    UploadFixture u(ftpServer.port(), "joe", "pw");
    ASSERT_TRUE(u.Connect());
    ASSERT_TRUE(u.Upload());
    ASSERT_EQ(u.view.status.last(), kUploadDone);

    MailFixture m(smtpServer.port());
    ASSERT_TRUE(m.Login());
    m.view.fields.html = u.session.LampLit();
    m.view.fields.choice = TMailChoice::Gif;
    const QString web = WebSiteAddress(u.view.fields.host, u.view.fields.user);
    m.view.fields.fileUrl = FileUrl(web, u.session.RemoteFileName());
    ASSERT_TRUE(m.SendAndWait(1));
    ASSERT_TRUE(WaitUntil([&] { return smtpServer.count() == 1; }));
    const QJsonObject mail = ParseMail(smtpServer.raw(1));
    QJsonObject defects = mail["header_defects"].toObject();
    defects.remove("Message-Id");
    for (const QString& k : defects.keys()) EXPECT_TRUE(defects[k].toArray().isEmpty()) << k.toStdString();
    EXPECT_TRUE(mail["defects"].toArray().isEmpty());
    const QRegularExpressionMatch src =
        QRegularExpression("<IMG SRC=\"([^\"]+)\" align=\"top\">").match(mail["body"].toString());
    ASSERT_TRUE(src.hasMatch());
    const QUrl url(src.captured(1));
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.host(), "127.0.0.1");
    const QString name = url.path(QUrl::FullyDecoded).section('/', 2);
    EXPECT_EQ(ftpServer.file(name), u.view.displayPicture);
}
