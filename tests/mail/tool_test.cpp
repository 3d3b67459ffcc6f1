// vandrex-mail as a user runs it: compose prints what Send hands over, send
// delivers it to a loopback server.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QProcess>

#include "tests/mail/mailtestsupport.h"

using namespace vandrex::test;

namespace {

struct ToolRun {
    int status;
    QByteArray out, err;
};

ToolRun Tool(const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.start(qEnvironmentVariable("VANDREX_BUILD_DIR") + "/tools/vandrex-mail/vandrex-mail", args);
    if (!p.waitForStarted(10000)) return {-1, {}, {}};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

}  // namespace

TEST(MailTool, ComposePrintsHeadersAndPageWithCrLf) {
    const ToolRun r = Tool({"compose", "--to", "joe@example.org", "--subject", "Hi", "--sign", "--key", "K", "--html",
                        "--choice", "gif", "--web-address", "http://h/~joe/", "--remote-file", "a b.gif"},
                       "A\nB\n");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("To: joe@example.org\r\nFrom: vandrex_0@vandrex.invalid\r\nSubject: ~ Hi\r\n"
                                 "Message-Id: [i-mode_4_Bytes]_ ["));
    EXPECT_TRUE(r.out.contains("\r\nContent-Type: text/html; charset=iso-8859-1\r\nSignature: [K] / [CRC_"));
    EXPECT_TRUE(r.out.contains("\r\n\r\n<HTML>\r\n<HEAD>\r\n"));
    EXPECT_TRUE(r.out.contains("<IMG SRC=\"http://h/~joe/a%20b.gif\" align=\"top\">\r\n<BR clear=\"all\">\r\nA\r\n<BR>B\r\n"));
    EXPECT_TRUE(r.out.endsWith("</BODY></HTML>\r\n"));
}

TEST(MailTool, RefusesUnsafeSubjectAndMissingAddress) {
    ToolRun r = Tool({"compose", "--to", "joe@example.org", "--subject", "Hi\r\nBcc: x@example.org"}, "x");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("INVALID CHARACTERS"));
    r = Tool({"compose"}, "x");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("NO E-MAIL ADDRESS !"));
    r = Tool({"send", "--to", "joe@example.org"}, "x");
    EXPECT_EQ(r.status, 2);
}

TEST(MailTool, SendDeliversCountMailsOverOneSession) {
    WriteNetrc(QString());
    TSmtpServer server;
    const ToolRun r = Tool({"send", "--server", QString("127.0.0.1:%1").arg(server.port()), "--to", "joe@example.org",
                        "--subject", "Tool", "--count", "3"},
                       "line one\n.\nline three\n");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 3; }));
    const QJsonObject mail = ParseMail(server.raw(3));
    EXPECT_EQ(mail["headers"].toObject()["Subject"].toString(), "Tool");
    EXPECT_EQ(mail["body"].toString(), "line one\n.\nline three\n");
}
