// TSMTP against aiosmtpd on loopback: the session states, the document
// states, what arrives, refusals, silent servers, STARTTLS and AUTH.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTcpServer>

#include "mail/mailmessage.h"
#include "mail/netrc.h"
#include "mail/replyreader.h"
#include "mail/smtp.h"
#include "tests/mail/mailtestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

struct Recorder {
    explicit Recorder(TSMTP& smtp) {
        QObject::connect(&smtp, &TSMTP::StateChanged, [this](int s) { states.push_back(s); });
        QObject::connect(&smtp, &TSMTP::DocInputChanged, [this](TDocInput* d) {
            if (docStates.empty() || docStates.back() != d->State) docStates.push_back(d->State);
            if (d->State == TDocInput::StateSending) lastProgress = {d->BytesTransferred, d->BytesTotal};
            if (d->State == TDocInput::StateEnd) ++ends;
        });
        QObject::connect(&smtp, &TSMTP::Error, [this, &smtp](int n, const QString& d, bool*) {
            errors.push_back(n);
            descriptions.push_back(d);
            entries = smtp.Errors;
        });
    }
    std::vector<int> states, docStates, errors;
    QStringList descriptions, entries;
    std::pair<qint64, qint64> lastProgress{-1, -1};
    int ends = 0;
};

THeaderList Headers(const QString& to, const QString& subject = "Hi") {
    TMailFields f;
    f.recipient = to;
    f.sender = "vandrex_7@vandrex.invalid";
    f.subject = subject;
    f.text = "x";
    return BuildHeaders(f);
}

void ConnectTo(TSMTP& smtp, const QString& host) {
    smtp.RemoteHost = host;
    smtp.Connect();
    ASSERT_TRUE(WaitUntil([&] { return smtp.State() == 4 || smtp.State() == 6; }, 20000));
}

}  // namespace

TEST(SmtpSession, StatesMailAndQuitWithBodyArrivingIntact) {
    WriteNetrc(QString());
    TSmtpServer server;
    TSMTP smtp;
    Recorder rec(smtp);
    ASSERT_EQ(smtp.State(), 6);
    ConnectTo(smtp, QString("127.0.0.1:%1").arg(server.port()));
    ASSERT_EQ(smtp.State(), 4);
    EXPECT_EQ(rec.states, (std::vector<int>{1, 2, 3, 4}));

    const QString longLine(2500, QChar('w'));
    const QString body = MemoText({"first", ".", "..two", longLine, QString::fromUtf8("caf\u00e9"), "last"});
    // A long subject outside Latin-1: several RFC 2047 words on folded lines.
    const QString subject = QString::fromUtf8("\u20ac uro caf\u00e9 ").repeated(4);
    ASSERT_TRUE(smtp.SendDoc(Headers("joe@example.org", subject), body));
    ASSERT_TRUE(WaitUntil([&] { return rec.ends == 1; }));
    EXPECT_EQ(rec.docStates, (std::vector<int>{1, 2, 3, 5}));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(smtp.DocInput.BytesTransferred, smtp.DocInput.BytesTotal);
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));

    const QJsonObject env = server.envelope(1);
    EXPECT_EQ(env["mail_from"].toString(), "vandrex_7@vandrex.invalid");
    EXPECT_EQ(env["rcpt_tos"].toArray().at(0).toString(), "joe@example.org");
    const QJsonObject mail = ParseMail(server.raw(1));
    EXPECT_EQ(mail["body"].toString().replace("\r\n", "\n"), QString(body).replace("\r\n", "\n") + "\n");
    EXPECT_EQ(mail["cte"].toString(), "quoted-printable");
    EXPECT_EQ(mail["headers"].toObject()["Subject"].toString(), subject);
    EXPECT_EQ(mail["charset"].toString(), "iso-8859-1");
    EXPECT_TRUE(mail["defects"].toArray().isEmpty());
    const QJsonObject headerDefects = mail["header_defects"].toObject();
    for (const QString& name : headerDefects.keys())
        if (name != "Message-Id") {
            EXPECT_TRUE(headerDefects[name].toArray().isEmpty()) << name.toStdString();
        }
    for (const QByteArray& line : server.raw(1).split('\n'))
        EXPECT_LE(line.size(), 999);

    smtp.Quit();
    ASSERT_TRUE(WaitUntil([&] { return smtp.State() == 6; }));
    EXPECT_EQ(rec.states, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(SmtpSession, RefusedRecipientReportsReplyResetsAndSessionGoesOn) {
    WriteNetrc(QString());
    TSmtpServer server({"--refuse", "bad@example.org"});
    TSMTP smtp;
    Recorder rec(smtp);
    ConnectTo(smtp, QString("127.0.0.1:%1").arg(server.port()));
    ASSERT_EQ(smtp.State(), 4);
    ASSERT_TRUE(smtp.SendDoc(Headers("bad@example.org"), "text"));
    ASSERT_TRUE(WaitUntil([&] { return rec.ends == 1; }));
    ASSERT_EQ(rec.errors, std::vector<int>{550});
    EXPECT_TRUE(rec.entries.join(" ").contains("Recipient address rejected"));
    EXPECT_EQ(rec.docStates, (std::vector<int>{1, 2, 5}));
    EXPECT_EQ(smtp.State(), 4);
    // The transaction was reset: the next mail goes through on the same session.
    ASSERT_TRUE(smtp.SendDoc(Headers("good@example.org"), "text"));
    ASSERT_TRUE(WaitUntil([&] { return rec.ends == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));
    EXPECT_EQ(server.envelope(1)["rcpt_tos"].toArray().at(0).toString(), "good@example.org");
    EXPECT_EQ(rec.errors.size(), 1u);
}

TEST(SmtpSession, SilentServerTimesOutAndQuitNeverHangs) {
    TSmtpServer silent({"--silent"});
    TSMTP smtp;
    smtp.Timeout = 400;
    Recorder rec(smtp);
    ConnectTo(smtp, QString("127.0.0.1:%1").arg(silent.port()));
    EXPECT_EQ(smtp.State(), 6);
    EXPECT_EQ(rec.errors, std::vector<int>{TSMTP::kErrorTimeout});
    EXPECT_EQ(rec.states.back(), 6);

    // Quit while waiting for the greeting closes at once.
    rec.states.clear();
    smtp.Timeout = 30000;
    smtp.Connect();
    Pump(100);
    smtp.Quit();
    EXPECT_EQ(smtp.State(), 6);
    EXPECT_EQ(rec.states.back(), 6);
}

TEST(SmtpSession, QuitIsBoundedAndADroppedSessionIsReported) {
    WriteNetrc(QString());
    {
        TSmtpServer mute({"--mute-quit"});
        TSMTP smtp;
        smtp.QuitTimeout = 300;
        Recorder rec(smtp);
        ConnectTo(smtp, QString("127.0.0.1:%1").arg(mute.port()));
        ASSERT_EQ(smtp.State(), 4);
        smtp.Quit();
        EXPECT_EQ(smtp.State(), 5);
        EXPECT_TRUE(WaitUntil([&] { return smtp.State() == 6; }, 5000));
        EXPECT_TRUE(rec.errors.empty());
    }
    {
        TSmtpServer idle({"--idle", "0.3"});
        TSMTP smtp;
        Recorder rec(smtp);
        ConnectTo(smtp, QString("127.0.0.1:%1").arg(idle.port()));
        ASSERT_EQ(smtp.State(), 4);
        ASSERT_TRUE(WaitUntil([&] { return smtp.State() == 6; }));
        ASSERT_EQ(rec.errors.size(), 1u);
        EXPECT_TRUE(rec.errors[0] == 421 || rec.errors[0] == TSMTP::kErrorClosed) << rec.errors[0];
        EXPECT_EQ(rec.states.back(), 6);
    }
}

TEST(SmtpSession, QuitDuringAMailReportsItAsFailed) {
    WriteNetrc(QString());
    TSmtpServer server;
    TSMTP smtp;
    Recorder rec(smtp);
    ConnectTo(smtp, QString("127.0.0.1:%1").arg(server.port()));
    ASSERT_EQ(smtp.State(), 4);
    QObject::connect(&smtp, &TSMTP::DocInputChanged, &smtp, [&](TDocInput* d) {
        if (d->State == TDocInput::StateSending) smtp.Quit();
    });
    ASSERT_TRUE(smtp.SendDoc(Headers("joe@example.org"), QString(3000000, QChar('q'))));
    ASSERT_TRUE(WaitUntil([&] { return smtp.State() == 6; }));
    EXPECT_EQ(rec.errors, std::vector<int>{TSMTP::kErrorClosed});
    EXPECT_EQ(rec.ends, 1);
    EXPECT_EQ(rec.docStates.back(), TDocInput::StateEnd);
    Pump(300);
    EXPECT_EQ(server.count(), 0);
}

TEST(SmtpSession, RefusedConnectionAndUnknownHost) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int closedPort = probe.serverPort();
    probe.close();
    TSMTP smtp;
    Recorder rec(smtp);
    ConnectTo(smtp, QString("127.0.0.1:%1").arg(closedPort));
    EXPECT_EQ(smtp.State(), 6);
    EXPECT_EQ(rec.errors, std::vector<int>{TSMTP::kErrorConnect});
    rec.errors.clear();
    // A machine without a resolver may only time out.
    smtp.Timeout = 8000;
    ConnectTo(smtp, "no-such-host.invalid");
    EXPECT_EQ(smtp.State(), 6);
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_TRUE(rec.errors[0] == TSMTP::kErrorHostNotFound || rec.errors[0] == TSMTP::kErrorTimeout);
}

TEST(SmtpSession, SecondSendAndUnsafeDocumentsAreRefusedWithoutTouchingTheWire) {
    WriteNetrc(QString());
    TSmtpServer server;
    TSMTP smtp;
    Recorder rec(smtp);
    EXPECT_FALSE(smtp.SendDoc(Headers("joe@example.org"), "x"));
    EXPECT_EQ(rec.errors, std::vector<int>{TSMTP::kErrorNotConnected});
    ConnectTo(smtp, QString("127.0.0.1:%1").arg(server.port()));
    rec.errors.clear();

    EXPECT_FALSE(smtp.SendDoc(Headers("joe@example.org\r\nRCPT TO:<evil@example.org>"), "x"));
    EXPECT_FALSE(smtp.SendDoc(Headers("joe@example.org", "Hi\r\nBcc: evil@example.org"), "x"));
    EXPECT_FALSE(smtp.SendDoc({}, "x"));
    EXPECT_EQ(rec.errors, (std::vector<int>(3, TSMTP::kErrorBadDocument)));
    EXPECT_TRUE(rec.docStates.empty());
    rec.errors.clear();

    const QString big(300000, QChar('a'));
    ASSERT_TRUE(smtp.SendDoc(Headers("one@example.org"), big));
    EXPECT_FALSE(smtp.SendDoc(Headers("two@example.org"), "second"));
    EXPECT_EQ(rec.errors, std::vector<int>{TSMTP::kErrorBusy});
    ASSERT_TRUE(WaitUntil([&] { return rec.ends == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));
    EXPECT_EQ(server.envelope(1)["rcpt_tos"].toArray().size(), 1);
    EXPECT_EQ(ParseMail(server.raw(1))["body"].toString().replace("\n", "").size(), big.size());
    EXPECT_GT(rec.lastProgress.second, 300000);
    EXPECT_EQ(server.count(), 1);
}

TEST(SmtpTls, StartTlsAndAuthWithTheTestAuthority) {
    WriteNetrc("machine localhost login mailer password s3cret\n");
    TSmtpServer server({"--tls", MailTestDir() + "/tls", "--auth", "mailer:s3cret"});
    TSMTP smtp;
    Recorder rec(smtp);
    ConnectTo(smtp, QString("localhost:%1").arg(server.port()));
    ASSERT_EQ(smtp.State(), 4) << rec.descriptions.join("; ").toStdString();
    EXPECT_TRUE(smtp.Encrypted());
    EXPECT_TRUE(smtp.Authenticated());
    ASSERT_TRUE(smtp.SendDoc(Headers("joe@example.org"), "secret text"));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));
    EXPECT_TRUE(server.envelope(1)["tls"].toBool());
    smtp.Quit();
    ASSERT_TRUE(WaitUntil([&] { return smtp.State() == 6; }));
}

TEST(SmtpTls, ImplicitTlsFromTheFirstByte) {
    WriteNetrc("machine localhost login mailer password s3cret\n");
    TSmtpServer server({"--implicit-tls", MailTestDir() + "/tls", "--auth", "mailer:s3cret"});
    TSMTP smtp;
    smtp.ImplicitTlsPort = server.port();
    Recorder rec(smtp);
    ConnectTo(smtp, QString("localhost:%1").arg(server.port()));
    ASSERT_EQ(smtp.State(), 4) << rec.descriptions.join("; ").toStdString();
    EXPECT_TRUE(smtp.Encrypted());
    EXPECT_TRUE(smtp.Authenticated());
    ASSERT_TRUE(smtp.SendDoc(Headers("joe@example.org"), "over TLS"));
    ASSERT_TRUE(WaitUntil([&] { return server.count() == 1; }));
    EXPECT_TRUE(server.envelope(1)["tls"].toBool());
}

TEST(SmtpTls, UnknownAuthorityAndWrongPasswordEndTheSession) {
    TSmtpServer server({"--tls", MailTestDir() + "/tls", "--auth", "mailer:s3cret"});
    {
        TSMTP smtp;
        smtp.CaCertificates.clear();
        Recorder rec(smtp);
        ConnectTo(smtp, QString("localhost:%1").arg(server.port()));
        EXPECT_EQ(smtp.State(), 6);
        EXPECT_EQ(rec.errors, std::vector<int>{TSMTP::kErrorTls});
    }
    {
        WriteNetrc("machine localhost login mailer password wrong\n");
        TSMTP smtp;
        Recorder rec(smtp);
        ConnectTo(smtp, QString("localhost:%1").arg(server.port()));
        ASSERT_TRUE(WaitUntil([&] { return smtp.State() == 6; }));
        ASSERT_EQ(rec.errors.size(), 1u);
        EXPECT_EQ(rec.errors[0], 535);
        EXPECT_FALSE(rec.entries.join(" ").contains("wrong"));
        EXPECT_EQ(std::count(rec.states.begin(), rec.states.end(), 4), 0);
    }
    EXPECT_EQ(server.count(), 0);
}

TEST(ServerReplies, MultiLineRepliesAndHostileInput) {
    TReplyReader r;
    r.Feed("250-mail.example greets you\r\n250-8BITMIME\r\n250 STARTTLS\r\n220 ");
    auto reply = r.Next();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, 250);
    EXPECT_EQ(reply->lines, (QStringList{"mail.example greets you", "8BITMIME", "STARTTLS"}));
    EXPECT_FALSE(r.Next());
    r.Feed("ready\r\n");
    EXPECT_EQ(r.Next()->text(), "ready");
    // FTP style: inner lines without a code.
    r.Feed("230-Welcome\r\n  inner line\r\n230 Done\r\n");
    EXPECT_EQ(r.Next()->lines.size(), 3);
    r.Feed("garbage\r\n");
    EXPECT_FALSE(r.Next());
    EXPECT_TRUE(r.Malformed());
    TReplyReader big;
    big.Feed(QByteArray(TReplyReader::kMaxLine + 10, 'x'));
    EXPECT_FALSE(big.Next());
    EXPECT_TRUE(big.Malformed());
}

TEST(ServerReplies, NetrcEntriesByHostThenDefault) {
    const QString text = "machine a.example login la password pa\n"
                         "default login dl password dp\n"
                         "machine b.example login lb account x password pb\n";
    EXPECT_EQ(ParseNetrc(text, "b.example")->password, "pb");
    EXPECT_EQ(ParseNetrc(text, "A.EXAMPLE")->login, "la");
    EXPECT_EQ(ParseNetrc(text, "c.example")->login, "dl");
    EXPECT_FALSE(ParseNetrc("machine a login x password y", "b"));
}
