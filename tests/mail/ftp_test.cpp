// TFTP against pyftpdlib on loopback: states, login, passive and active
// uploads arriving byte-identical, refusals with the server's reply.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "mail/ftp.h"
#include "tests/mail/mailtestsupport.h"

using namespace vandrex;
using namespace vandrex::test;

namespace {

struct FtpRecorder {
    explicit FtpRecorder(TFTP& ftp) {
        QObject::connect(&ftp, &TFTP::StateChanged, [this](int s) { states.push_back(s); });
        QObject::connect(&ftp, &TFTP::ProtocolStateChanged, [this](int s) { protocol.push_back(s); });
        QObject::connect(&ftp, &TFTP::Busy, [this](bool b) { busy.push_back(b); });
        QObject::connect(&ftp, &TFTP::Error, [this](int n, const QString& d) {
            errors.push_back(n);
            texts << d;
        });
        QObject::connect(&ftp, &TFTP::PutDone, [this](bool ok) { done.push_back(ok); });
    }
    std::vector<int> states, protocol, errors;
    std::vector<bool> busy, done;
    QStringList texts;
};

// Connects and logs in as the user; true when logged in.
bool Login(TFTP& ftp, FtpRecorder& rec, int port, const QString& user, const QString& password) {
    QObject::connect(&ftp, &TFTP::ProtocolStateChanged, &ftp, [&ftp, user, password](int s) {
        if (s == 1) ftp.Authenticate(user, password);
    });
    ftp.Connect("127.0.0.1", port);
    return WaitUntil([&] { return ftp.ProtocolState() == 2 || !rec.errors.empty() || ftp.State() == 6; }) &&
           ftp.ProtocolState() == 2;
}

bool Upload(TFTP& ftp, FtpRecorder& rec, const QString& local, const QString& remote) {
    const size_t before = rec.done.size();
    if (!ftp.Put(local, remote)) return false;
    return WaitUntil([&] { return rec.done.size() > before; }, 60000) && rec.done.back();
}

}  // namespace

class FtpUpload : public ::testing::TestWithParam<bool> {};

TEST_P(FtpUpload, FourFilesArriveByteIdentical) {
    const bool passive = GetParam();
    TFtpServer server({"--user", "joe:pw"});
    QTemporaryDir local;
    TFTP ftp;
    ftp.PassiveMode = passive;
    FtpRecorder rec(ftp);
    ASSERT_TRUE(Login(ftp, rec, server.port(), "joe", "pw")) << rec.texts.join("; ").toStdString();
    EXPECT_EQ(rec.states, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(rec.protocol, (std::vector<int>{1, 2}));
    EXPECT_EQ(rec.busy, (std::vector<bool>{true, false}));

    // The large one outruns the socket buffers: the file is read ahead in
    // pieces while the socket drains.
    const struct { const char* name; qint64 size; } files[] = {
        {"Snapshot.gif", 5000}, {"Snapshot.jpg", 0}, {"Audio.rm", 24 * 1024 * 1024 + 17}, {"Video.rm", 70001}};
    quint32 seed = passive ? 1 : 100;
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const QByteArray bytes = WriteRandomFile(local.filePath(f.name), f.size, ++seed);
        const QString remote = QString("12-8-26_13:05:09_") + f.name;
        ASSERT_TRUE(Upload(ftp, rec, local.filePath(f.name), remote)) << rec.texts.join("; ").toStdString();
        EXPECT_EQ(server.file(remote), bytes);
        EXPECT_EQ(ftp.DocInput.BytesTransferred, f.size);
        EXPECT_EQ(ftp.RemoteFile, remote);
    }
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(rec.busy.size(), 2u + 2u * 4u);
    ftp.Quit();
    ASSERT_TRUE(WaitUntil([&] { return ftp.State() == 6; }));
    EXPECT_EQ(rec.states.back(), 6);
    EXPECT_EQ(rec.states[rec.states.size() - 2], 5);
}

INSTANTIATE_TEST_SUITE_P(PassiveAndActive, FtpUpload, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST(FtpSession, MasqueradedPasvAddressIsIgnored) {
    TFtpServer server({"--user", "joe:pw", "--no-epsv", "--masquerade", "10.255.255.1"});
    QTemporaryDir local;
    TFTP ftp;
    FtpRecorder rec(ftp);
    ftp.Timeout = 5000;
    ASSERT_TRUE(Login(ftp, rec, server.port(), "joe", "pw"));
    const QByteArray bytes = WriteRandomFile(local.filePath("Snapshot.gif"), 20000, 9);
    ASSERT_TRUE(Upload(ftp, rec, local.filePath("Snapshot.gif"), "masq.gif")) << rec.texts.join("; ").toStdString();
    EXPECT_EQ(server.file("masq.gif"), bytes);
}

TEST(FtpSession, ActiveModeDropsAConnectionFromAThirdHost) {
    TFtpServer server({"--user", "joe:pw", "--foreign-first"});
    QTemporaryDir local;
    TFTP ftp;
    ftp.PassiveMode = false;
    FtpRecorder rec(ftp);
    ASSERT_TRUE(Login(ftp, rec, server.port(), "joe", "pw"));
    const QByteArray bytes = WriteRandomFile(local.filePath("Snapshot.jpg"), 300000, 21);
    ASSERT_TRUE(Upload(ftp, rec, local.filePath("Snapshot.jpg"), "active.jpg")) << rec.texts.join("; ").toStdString();
    EXPECT_EQ(server.file("active.jpg"), bytes);
    QFile report(server.folder() + "/foreign.txt");
    ASSERT_TRUE(WaitUntil([&] { return report.exists(); }));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_EQ(report.readAll(), QByteArray("rejected"));
}

TEST(FtpSession, ServerDroppingAnIdleSessionIsOneError) {
    TFtpServer server({"--user", "joe:pw", "--idle", "0.5"});
    TFTP ftp;
    FtpRecorder rec(ftp);
    ASSERT_TRUE(Login(ftp, rec, server.port(), "joe", "pw"));
    ASSERT_TRUE(WaitUntil([&] { return ftp.State() == 6; }));
    EXPECT_EQ(rec.errors, std::vector<int>{421});
    EXPECT_EQ(rec.states.back(), 6);
    EXPECT_EQ(ftp.ProtocolState(), 0);
}

TEST(FtpSession, WrongPasswordShowsTheReplyAndNeverThePassword) {
    TFtpServer server({"--user", "joe:pw"});
    TFTP ftp;
    FtpRecorder rec(ftp);
    EXPECT_FALSE(Login(ftp, rec, server.port(), "joe", "Wr0ngSecret"));
    ASSERT_EQ(rec.errors, std::vector<int>{530});
    EXPECT_TRUE(rec.texts[0].contains("Authentication failed")) << rec.texts[0].toStdString();
    EXPECT_FALSE(rec.texts.join(" ").contains("Wr0ngSecret"));
    EXPECT_EQ(ftp.ProtocolState(), 1);
    EXPECT_FALSE(ftp.IsBusy());
}

TEST(FtpSession, ReadOnlyUserMissingFileAndSecondPutAreRefused) {
    TFtpServer server({"--readonly", "guest:pw"});
    QTemporaryDir local;
    TFTP ftp;
    FtpRecorder rec(ftp);
    ASSERT_TRUE(Login(ftp, rec, server.port(), "guest", "pw"));
    WriteRandomFile(local.filePath("Snapshot.gif"), 4000, 3);
    EXPECT_FALSE(Upload(ftp, rec, local.filePath("Snapshot.gif"), "ro.gif"));
    ASSERT_EQ(rec.errors, std::vector<int>{550});
    EXPECT_EQ(rec.done, std::vector<bool>{false});
    EXPECT_TRUE(server.file("ro.gif").isEmpty());
    EXPECT_EQ(ftp.ProtocolState(), 2);

    rec.errors.clear();
    EXPECT_FALSE(ftp.Put(local.filePath("missing.gif"), "x.gif"));
    EXPECT_EQ(rec.errors, std::vector<int>{TFTP::kErrorLocalFile});

    rec.errors.clear();
    ASSERT_TRUE(ftp.Put(local.filePath("Snapshot.gif"), "a.gif"));
    EXPECT_FALSE(ftp.Put(local.filePath("Snapshot.gif"), "b.gif"));
    EXPECT_EQ(rec.errors.front(), TFTP::kErrorBusy);
    ASSERT_TRUE(WaitUntil([&] { return rec.done.size() == 2; }));

    TFTP idle;
    FtpRecorder idleRec(idle);
    EXPECT_FALSE(idle.Put(local.filePath("Snapshot.gif"), "c.gif"));
    EXPECT_EQ(idleRec.errors, std::vector<int>{TFTP::kErrorNotConnected});
}
