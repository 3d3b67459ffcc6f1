// The mail as built before it reaches the SMTP control: headers, the i-mode
// rules, the two page builders, the names of an upload and the wire bytes.

#include <gtest/gtest.h>

#include <QTimeZone>

#include "mail/ftpnames.h"
#include "mail/mailmessage.h"
#include "platform/exceptions.h"

using namespace vandrex;

namespace {

TMailFields Fields() {
    TMailFields f;
    f.recipient = "joe@example.org";
    f.sender = "vandrex_42@vandrex.invalid";
    f.subject = "Hi";
    f.text = MemoText({"Hello", "World"});
    return f;
}

QString HeaderOf(const THeaderList& h, const QString& name) {
    for (const THeader& x : h)
        if (x.name == name)
            return x.value;
    return "<missing>";
}

}  // namespace

TEST(MailHeaders, PlainMailHeadersInOrderWithFixedValues) {
    const THeaderList h = BuildHeaders(Fields());
    QStringList names;
    for (const THeader& x : h) names << x.name;
    EXPECT_EQ(names, (QStringList{"To", "From", "Subject", "Message-Id", "Content-Type"}));
    EXPECT_EQ(HeaderOf(h, "To"), "joe@example.org");
    EXPECT_EQ(HeaderOf(h, "Subject"), "Hi");
    EXPECT_EQ(HeaderOf(h, "Content-Type"), "text/plain; charset=\"iso-8859-1\"");
    // "Hello\r\nWorld" is 12 characters.
    EXPECT_TRUE(HeaderOf(h, "Message-Id").startsWith("[i-mode_12_Bytes]_ ["));
}

TEST(MailHeaders, SignedMailHasTildeSubjectAndChecksumSignature) {
    TMailFields f = Fields();
    f.sign = true;
    f.key = "K";
    f.html = true;
    const THeaderList h = BuildHeaders(f);
    EXPECT_EQ(h.last().name, "Signature");
    EXPECT_EQ(HeaderOf(h, "Subject"), "~ Hi");
    EXPECT_EQ(HeaderOf(h, "Content-Type"), "text/html; charset=iso-8859-1");
    int sum = 0;
    for (char c : QByteArray("Hello\r\nWorld")) sum += c;
    EXPECT_EQ(HeaderOf(h, "Signature"), QString("[K] / [CRC_%1]").arg(sum));
    f.text.clear();
    EXPECT_EQ(HeaderOf(BuildHeaders(f), "Signature"), "[K] / [CRC_0]");
}

TEST(MailHeaders, ChecksumSumsWindows1252Bytes) {
    // The euro sign is byte 0x80, e-acute 0xE9 in the code page.
    EXPECT_EQ(SignatureChecksum(QString::fromUtf8("\u20ac\u00e9")), 0x80u + 0xE9u);
    EXPECT_EQ(SignatureChecksum("A"), 65u);
}

TEST(MailHeaders, UnsafeFieldsAreRefused) {
    TMailFields f = Fields();
    EXPECT_TRUE(CheckHeaderFields(f).isEmpty());
    for (const QString& bad : {QString("Hi\r\nBcc: x@y.z"), QString("a\nb"), QString("tab\there"), QString("\x7f")}) {
        f = Fields();
        f.subject = bad;
        EXPECT_EQ(CheckHeaderFields(f), kUnsafeHeaderMessage) << bad.toStdString();
        f = Fields();
        f.key = bad;
        EXPECT_EQ(CheckHeaderFields(f), kUnsafeHeaderMessage);
    }
    for (const QString& bad : {QString("joe@example.org\r\nRCPT TO:<x@y.z>"), QString("Joe <joe@x.org>"),
                               QString("joe@x.org, b@y.org"), QString("noat"), QString("a@b@c"),
                               QString("joe @x.org"), QString(".joe@x.org")}) {
        f = Fields();
        f.recipient = bad;
        EXPECT_EQ(CheckHeaderFields(f), kUnsafeHeaderMessage) << bad.toStdString();
    }
    EXPECT_TRUE(IsPlainAddrSpec("first.last+tag@sub.example-host.org"));
}

TEST(ImodeRules, RefusalsByChoiceAndWording) {
    const QString imode = "ken@" + kImodeMailDomain;
    EXPECT_EQ(ImodeRefusal(TMailChoice::Jpg, imode, TRefusalWording::Login), "Jpeg Pictures not Possible with i-mode !");
    EXPECT_EQ(ImodeRefusal(TMailChoice::Jpg, imode, TRefusalWording::Upload), "Jpeg Pictures not possible with i-mode !");
    EXPECT_EQ(ImodeRefusal(TMailChoice::Audio, imode, TRefusalWording::Login), "RealAudio not Possible with i-mode !");
    EXPECT_EQ(ImodeRefusal(TMailChoice::Video, imode, TRefusalWording::Upload), "RealVideo not Possible with i-mode !");
    EXPECT_TRUE(ImodeRefusal(TMailChoice::Gif, imode, TRefusalWording::Login).isEmpty());
    EXPECT_TRUE(ImodeRefusal(TMailChoice::Jpg, "ken@example.org", TRefusalWording::Login).isEmpty());
    // Case-sensitive substring of "@" + domain.
    EXPECT_TRUE(ImodeRefusal(TMailChoice::Jpg, "ken@" + kImodeMailDomain.toUpper(), TRefusalWording::Login).isEmpty());
    EXPECT_TRUE(ImodeRefusal(TMailChoice::Jpg, "ken" + kImodeMailDomain, TRefusalWording::Login).isEmpty());
}

TEST(SimplePage, GifPageLines) {
    TPageInput in;
    in.choice = TMailChoice::Gif;
    in.lines = {"A", "B"};
    in.fileUrl = "http://h/~joe/x.gif";
    EXPECT_EQ(SimplePage(in), (QStringList{"<HTML>", "<HEAD>", "<TITLE>IMG</TITLE>", "</HEAD><BODY>",
                                           "<IMG SRC=\"http://h/~joe/x.gif\" align=\"top\">", "<BR clear=\"all\">",
                                           "A", "<BR>B", "</BODY></HTML>"}));
}

TEST(SimplePage, JpgAudioVideoLinesAndNoFontNormalising) {
    TPageInput in;
    in.lines = {"A", "B"};
    in.fileUrl = "U";
    in.fontSize = "13";
    in.fontColor = "112233";
    in.backgroundColor = "ABCDEF";
    in.choice = TMailChoice::Jpg;
    QStringList p = SimplePage(in);
    ASSERT_EQ(p.size(), 19);
    EXPECT_EQ(p[5], "font-size: 13pt;");
    EXPECT_EQ(p[6], "color: 112233;");
    EXPECT_EQ(p[13], "</HEAD><BODY BGCOLOR=#ABCDEF>");
    EXPECT_EQ(p[14], "<IMG SRC=\"U\" Height=240 Width=320><BR>");
    EXPECT_EQ(p[15], "<BR>");
    EXPECT_EQ(p[16], "<BR>A");
    EXPECT_EQ(p[17], "<BR>B");
    EXPECT_EQ(p[18], "</BODY></HTML>");
    in.choice = TMailChoice::Audio;
    EXPECT_EQ(SimplePage(in)[14], "<A HREF= \"U\">RealAudio Message</A><BR>");
    in.choice = TMailChoice::Video;
    EXPECT_EQ(SimplePage(in)[14], "<A HREF= \"U\">RealVideo Message</A><BR>");
}

TEST(ObjectPage, AudioSheetUnsizedEmbedAndTextAtLine25) {
    TPageInput in;
    in.lines = {"one", "two", "three"};
    in.fileUrl = "F";
    const QStringList p = ObjectPage(in, "Audio");
    ASSERT_EQ(p.size(), 31);
    EXPECT_EQ(p[13], "</HEAD>");
    EXPECT_EQ(p[14], "<BODY BGCOLOR=#FFFFFF background= \"" + kObjectPictureBase + "Audio.gif\">");
    EXPECT_EQ(p[15], "<SPAN STYLE=\"POSITION: absolute; LEFT: 31px; TOP: 28px\"><P>");
    EXPECT_EQ(p[16], "<OBJECT ID=video1 CLASSID=\"clsid:CFCDAA03-8BE4-11cf-B84B-0020AFBBCCFA\" HEIGHT=24 WIDTH=262>");
    EXPECT_EQ(p[17], "<PARAM NAME=\"CONTROLS\" VALUE=\"ControlPanel\">");
    EXPECT_EQ(p[20], "<PARAM NAME=\"SRC\" VALUE=\"F\">");
    EXPECT_EQ(p[21], "<EMBED SRC=\"F\" type=3D\"audio/x-pn-realaudio-plugin\" CONSOLE=3D\"Clip1\" "
                     "CONTROLS=3D\"ControlPanel\" AUTOSTART=true>");
    EXPECT_EQ(p[24], "<SPAN STYLE=\"POSITION: absolute; LEFT: 24px; TOP: 80px\"><P>");
    EXPECT_EQ(p.mid(25, 3), (QStringList{"<BR>one", "<BR>two", "<BR>three"}));
    EXPECT_EQ(p.mid(28), (QStringList{"</P></SPAN>", "</BODY>", "</HTML>"}));
}

TEST(ObjectPage, PanelSheetsPutTextAtLine32WithPanelBox) {
    TPageInput in;
    in.lines = {"x"};
    in.fileUrl = "F";
    struct Want { const char* sheet; const char* picture; const char* embedSize; const char* panelSpan; const char* panelSize; };
    const Want wants[] = {
        {"TV", "TV.gif", "HEIGHT=148 WIDTH=200", "LEFT: 62px; TOP: 205px", "HEIGHT=20 WIDTH=200"},
        {"16_9", "16_9.gif", "HEIGHT=148 WIDTH=265", "LEFT: 62px; TOP: 205px", "HEIGHT=20 WIDTH=265"},
        {"20_9", "20_9.gif", "HEIGHT=148 WIDTH=333", "LEFT: 62px; TOP: 205px", "HEIGHT=20 WIDTH=333"},
        {"DVD1", "DVD_4_3.gif", "HEIGHT=288 WIDTH=384", "LEFT: 129px; TOP: 368px", "HEIGHT=23 WIDTH=258"},
        {"DVD2", "DVD_16_9.gif", "HEIGHT=288 WIDTH=512", "LEFT: 191px; TOP: 368px", "HEIGHT=23 WIDTH=258"},
        {"DVD3", "DVD_20_9.gif", "HEIGHT=288 WIDTH=640", "LEFT: 255px; TOP: 368px", "HEIGHT=23 WIDTH=258"},
        {"Cam", "Cam.gif", "HEIGHT=148 WIDTH=200", "LEFT: 62px; TOP: 205px", "HEIGHT=20 WIDTH=200"},
    };
    for (const Want& w : wants) {
        SCOPED_TRACE(w.sheet);
        const QStringList p = ObjectPage(in, w.sheet);
        ASSERT_EQ(p.size(), 36);
        EXPECT_TRUE(p[14].endsWith(QString(w.picture) + "\">"));
        EXPECT_EQ(p[21], QString("<EMBED SRC=\"F\" type=3D\"audio/x-pn-realaudio-plugin\" CONSOLE=3D\"Clip1\" "
                                 "CONTROLS=3D\"ImageWindow\" %1 AUTOSTART=true>").arg(w.embedSize));
        EXPECT_EQ(p[24], QString("<SPAN STYLE= \"POSITION: absolute; %1\"><P>").arg(w.panelSpan));
        EXPECT_EQ(p[28], QString("<EMBED type=\"audio/x-pn-realaudio-plugin\" CONSOLE=\"Clip1\" "
                                 "CONTROLS=\"ControlPanel\" %1 AUTOSTART=true>").arg(w.panelSize));
        EXPECT_TRUE(p[31].startsWith("<SPAN STYLE=\"POSITION"));
        EXPECT_EQ(p[32], "<BR>x");
    }
    const QStringList radio = ObjectPage(in, "Radio");
    EXPECT_EQ(radio[17], "<PARAM NAME=\"CONTROLS\" VALUE=\"StatusBar\">");
    EXPECT_EQ(radio[25], "<BR>x");
}

TEST(ObjectPage, SheetsWithoutClipGetTheirOwnPage) {
    TPageInput in;
    in.lines = {"x"};
    for (const char* s : {"Phone", "LP", "CD", "Crypt"}) {
        const QStringList p = ObjectPage(in, s);
        EXPECT_TRUE(p[14].startsWith("<BODY BGCOLOR=#FFFFFF background= ")) << s;
        EXPECT_TRUE(p.contains("<BR>x")) << s;
        EXPECT_EQ(p.last(), "</HTML>");
    }
    EXPECT_TRUE(ObjectPage(in, "LP")[14].contains("LP_Record.gif"));
}

TEST(ObjectPage, FontSizeNormalisedOnlyThere) {
    for (auto [in, out] : std::initializer_list<std::pair<const char*, const char*>>{
             {"3", "8"}, {"8", "8"}, {"9", "8"}, {"10", "10"}, {"13", "12"}, {"23", "22"}, {"24", "24"}, {"30", "24"}})
        EXPECT_EQ(NormaliseFontSize(in), out) << in;
    TPageInput page;
    page.fontSize = "13";
    EXPECT_EQ(ObjectPage(page, "TV")[5], "font-size: 12pt;");
    page.fontSize = "big";
    EXPECT_THROW(ObjectPage(page, "TV"), EConvertError);
}

TEST(HtmlBox, ColourDialogValueReorderedAndSheetStepping) {
    // Pure red is 0x0000FF as a Windows colour value.
    EXPECT_EQ(HtmlColorFromWindows(0x0000FF), "FF0000");
    EXPECT_EQ(HtmlColorFromWindows(0x123456), "563412");
    EXPECT_EQ(HtmlColorFromWindows(0xFFFFFF), "FFFFFF");
    EXPECT_EQ(StepObjectSheet(0, false), 0);
    EXPECT_EQ(StepObjectSheet(0, true), 1);
    EXPECT_EQ(StepObjectSheet(12, true), 12);
    EXPECT_EQ(StepObjectSheet(5, false), 4);
}

TEST(UploadNames, StampedSeriesUrlAndWebAddress) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime t(QDate(2026, 12, 8), QTime(13, 5, 9), QTimeZone::utc());
    const QString name = StampedRemoteName(t, "Snapshot.gif", us);
    EXPECT_FALSE(name.contains('/'));
    EXPECT_FALSE(name.contains("UTC"));
    EXPECT_TRUE(name.startsWith("12-8-26_")) << name.toStdString();
    EXPECT_TRUE(name.endsWith("_Snapshot.gif"));
    EXPECT_TRUE(name.contains("1:05:09")) << name.toStdString();

    TSeriesName series;
    const QString first = series.Next(true, t, "Snapshot.gif", us);
    EXPECT_EQ(series.Next(true, t.addSecs(60), "Snapshot.gif", us), first);
    EXPECT_NE(series.Next(false, t.addSecs(60), "Snapshot.gif", us), first);
    series.Reset();
    EXPECT_NE(series.Next(true, t.addSecs(120), "Snapshot.gif", us), first);

    EXPECT_EQ(UploadUrl("u", "p", "h", "21", "n"), "ftp://u:p@h:21/n;type= I");
    EXPECT_EQ(WebSiteAddress("h", "joe"), "http://h/~joe/");
    EXPECT_EQ(WebSiteAddress("", "joe"), kNoWebAddress);
    EXPECT_EQ(WebSiteAddress("h", ""), kNoWebAddress);
    EXPECT_EQ(FileUrl("http://h/~joe/", "12-8-26_1:05:09 PM_a.gif"), "http://h/~joe/12-8-26_1%3A05%3A09%20PM_a.gif");
    EXPECT_EQ(FileUrl("http://h/~joe/", ""), "http://h/~joe/");
}

TEST(WireMessage, HeadersThenMimeFieldsThenCrLfBody) {
    const QDateTime t(QDate(2026, 12, 8), QTime(13, 5, 9), QTimeZone::utc());
    const QByteArray m = RenderMessage(BuildHeaders(Fields()), "Hello\nWorld", t);
    EXPECT_EQ(m, QByteArray("To: joe@example.org\r\nFrom: vandrex_42@vandrex.invalid\r\nSubject: Hi\r\n"
                            "Message-Id: [i-mode_12_Bytes]_ [") + kContactMailAddress.toLatin1() +
                     "]\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                     "Date: Tue, 08 Dec 2026 13:05:09 +0000\r\nMIME-Version: 1.0\r\n"
                     "Content-Transfer-Encoding: 7bit\r\n\r\nHello\r\nWorld\r\n");
}

TEST(WireMessage, NonAsciiSubjectAndBodyAreEncoded) {
    TMailFields f = Fields();
    f.subject = QString::fromUtf8("Caf\u00e9");
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QByteArray m = RenderMessage(BuildHeaders(f), QString::fromUtf8("caf\u00e9 = ok"), t);
    EXPECT_TRUE(m.contains("Subject: =?iso-8859-1?B?" + QByteArray("Caf\xe9").toBase64() + "?=\r\n"));
    EXPECT_TRUE(m.contains("Content-Transfer-Encoding: quoted-printable\r\n"));
    EXPECT_TRUE(m.endsWith("\r\n\r\ncaf=E9 =3D ok\r\n"));
    EXPECT_TRUE(m.contains("charset=\"iso-8859-1\""));
    // Text outside Latin-1 is declared utf-8.
    m = RenderMessage(BuildHeaders(f), QString::fromUtf8("\u20ac"), t);
    EXPECT_TRUE(m.contains("Content-Type: text/plain; charset=\"utf-8\"\r\n"));
    EXPECT_TRUE(m.endsWith("\r\n\r\n=E2=82=AC\r\n"));
}

TEST(WireMessage, LongLinesQuotedPrintableAndDotStuffing) {
    const QByteArray line(2000, 'a');
    const QByteArray qp = EncodeQuotedPrintable(line + "\r\nend ");
    for (const QByteArray& l : qp.split('\n'))
        EXPECT_LE(l.size(), 77);  // 76 + CR
    EXPECT_TRUE(qp.endsWith("\r\nend=20"));
    QByteArray joined = qp;
    joined.replace("=\r\n", "");
    EXPECT_TRUE(joined.startsWith(line + "\r\n"));
    EXPECT_EQ(DotStuff(".\r\nx\r\n..y\r\n.a.b"), "..\r\nx\r\n...y\r\n..a.b");
    EXPECT_EQ(DotStuff("a.\r\n"), "a.\r\n");
}

TEST(ComposeMail, HtmlBodyIsThePageAndPlainBodyTheText) {
    TSendInput in;
    in.fields = Fields();
    in.page.choice = TMailChoice::Gif;
    TComposedMail m = ComposeMail(in);
    EXPECT_EQ(m.body, "Hello\r\nWorld");
    in.fields.html = true;
    m = ComposeMail(in);
    EXPECT_TRUE(m.body.startsWith("<HTML>\r\n<HEAD>\r\n<TITLE>IMG</TITLE>"));
    EXPECT_TRUE(m.body.endsWith("Hello\r\n<BR>World\r\n</BODY></HTML>"));
    in.objectPage = true;
    in.sheet = "Radio";
    m = ComposeMail(in);
    EXPECT_TRUE(m.body.contains("\r\n<BR>Hello\r\n<BR>World\r\n</P></SPAN>"));
}

TEST(WireMessage, SmtpDataIsTheDotStuffedMessage) {
    const QDateTime t = QDateTime::currentDateTimeUtc();
    const THeaderList h = BuildHeaders(Fields());
    for (const QString& body : {QString(".\r\n..a\nb\r.c"), QString("x"), QString(), QString(".lead\r\n"),
                                QString::fromUtf8("caf\u00e9\n.\n") + QString(1200, QChar('q')), QString("end.\r\n.")}) {
        SCOPED_TRACE(body.left(20).toStdString());
        const QByteArray plain = RenderMessage(h, body, t);
        EXPECT_EQ(RenderSmtpData(h, body, t), DotStuff(plain));
        EXPECT_TRUE(plain.endsWith("\r\n"));
        EXPECT_FALSE(plain.contains("\r\r")) << plain.toStdString();
    }
    EXPECT_TRUE(RenderMessage(h, "a\nb", t).endsWith("\r\n\r\na\r\nb\r\n"));
}
