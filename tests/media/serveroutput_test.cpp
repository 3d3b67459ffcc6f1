// Live output to a server: the ffmpeg command line listening on loopback
// receives the stream and decodes it.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "media/playlistplayer.h"
#include "media/producercontrol.h"
#include "mediatestsupport.h"

namespace vandrex {
namespace {

int FreePort(int type) {
    int s = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

// True once something listens on the TCP port (read from /proc, so the
// check does not use up the listener's one connection).
bool Listening(int port) {
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    char hex[8];
    std::snprintf(hex, sizeof hex, ":%04X", port);
    while (std::getline(tcp, line))
        if (line.find(hex) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
    return false;
}

class ServerOutput : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        test::MakeAvi(dir_.filePath("in.avi").toStdString(), 176, 144, 10, 2.0);
    }
    void Configure(TProducerControl& c, int port, int transport) {
        c.SetInputFilename(dir_.filePath("in.avi"));
        c.SetDoOutputFile(kWordFalse);
        c.SetDoOutputServer(kWordTrue);
        c.SetServerName("127.0.0.1");
        c.SetServerPort(port);
        c.SetServerFilename("live.rm");
        c.SetServerUsername("user");
        c.SetServerPassword("secret");
        c.SetServerTransport(transport);
        c.SetTargetLAN(kWordTrue);
        c.SetTitle("Live");
    }
    // Runs the receiver to its end; returns what it printed.
    std::string Receive(QProcess& receiver) {
        EXPECT_TRUE(receiver.waitForFinished(30000));
        return receiver.readAllStandardError().toStdString();
    }
    QTemporaryDir dir_;
};

TEST_F(ServerOutput, HttpPostReachesAListeningServer) {
    const int port = FreePort(SOCK_STREAM);
    const QString received = dir_.filePath("received.nut");
    QProcess receiver;
    receiver.start("ffmpeg", {"-nostdin", "-v", "error", "-listen", "1", "-i", QString("http://127.0.0.1:%1/live.rm").arg(port),
                              "-c:v", "rawvideo", "-c:a", "pcm_s16le", "-y", received});
    ASSERT_TRUE(receiver.waitForStarted(5000));
    for (int i = 0; i < 500 && !Listening(port); ++i) QThread::msleep(10);
    ASSERT_TRUE(Listening(port));
    TProducerControl c;
    Configure(c, port, 1);
    std::vector<QString> errors;
    QObject::connect(&c, &TProducerControl::OnErrorOccurred, [&](int, const QString& t) { errors.push_back(t); });
    c.StartEncoding();
    ASSERT_TRUE(c.WaitUntilIdle(30000));
    EXPECT_TRUE(errors.empty()) << errors[0].toStdString();
    EXPECT_EQ(Receive(receiver), "");
    EXPECT_NEAR(test::CountFrames(received.toStdString()), 20, 1);
    EXPECT_EQ(test::Probe(received.toStdString(), "format_tags")["format.TAG:title"], "Live");
}

TEST_F(ServerOutput, UdpDatagramsReachAListeningReceiver) {
    const int port = FreePort(SOCK_DGRAM);
    const QString received = dir_.filePath("received.nut");
    QProcess receiver;
    receiver.start("ffmpeg", {"-nostdin", "-v", "error", "-probesize", "32768", "-analyzeduration", "500000", "-f", "rm", "-i",
                              QString("udp://127.0.0.1:%1?timeout=300000&fifo_size=1000000").arg(port), "-c:v", "rawvideo",
                              "-c:a", "pcm_s16le", "-y", received});
    ASSERT_TRUE(receiver.waitForStarted(5000));
    QThread::msleep(700);
    TProducerControl c;
    Configure(c, port, 0);
    // Datagrams are paced like a live source, so none is lost on loopback.
    c.SetInputType(1);
    c.StartEncoding();
    QThread::msleep(10);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    c.StopEncoding();
    ASSERT_TRUE(c.WaitUntilIdle(10000));
    // A datagram stream has no end; the receiver stops when datagrams have
    // stopped coming for a moment.
    ASSERT_TRUE(receiver.waitForFinished(30000));
    EXPECT_EQ(test::DecodeErrors(received.toStdString()), "");
    EXPECT_NEAR(test::CountFrames(received.toStdString()), 37, 7);
}

TEST_F(ServerOutput, ALostServerEndsTheRecordingButTheFileIsKept) {
    const int port = FreePort(SOCK_STREAM);
    QProcess receiver;
    receiver.start("ffmpeg", {"-nostdin", "-v", "quiet", "-listen", "1", "-i", QString("http://127.0.0.1:%1/live.rm").arg(port),
                              "-f", "null", "-"});
    ASSERT_TRUE(receiver.waitForStarted(5000));
    for (int i = 0; i < 500 && !Listening(port); ++i) QThread::msleep(10);
    ASSERT_TRUE(Listening(port));
    TProducerControl c;
    Configure(c, port, 1);
    c.SetInputType(1);
    c.SetDoOutputFile(kWordTrue);
    c.SetOutputFilename(dir_.filePath("kept.rm"));
    std::string letters;
    std::vector<int> codes;
    QObject::connect(&c, &TProducerControl::OnErrorOccurred, [&](int code, const QString&) {
        codes.push_back(code);
        letters += 'E';
    });
    QObject::connect(&c, &TProducerControl::OnEncodingStopped, [&] { letters += 'X'; });
    c.StartEncoding();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    receiver.kill();
    receiver.waitForFinished(5000);
    ASSERT_TRUE(c.WaitUntilIdle(15000)) << "the recording did not notice the lost server";
    EXPECT_EQ(codes, std::vector<int>{5});
    EXPECT_EQ(letters, "EX");
    const std::string kept = dir_.filePath("kept.rm").toStdString();
    EXPECT_EQ(test::DecodeErrors(kept), "");
    EXPECT_GT(std::stod(test::Probe(kept, "format=duration")["format.duration"]), 0.7);
}

// The player takes an http URL as a source, alone or in a playlist.
TEST_F(ServerOutput, PlayerPlaysAClipFromAnHttpServer) {
    const std::string clip = dir_.filePath("web.rm").toStdString();
    ASSERT_EQ(test::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i 'sine=r=44100:d=0.4' -c:a ac3 -b:a 64k " + test::Quote(clip)),
              0);
    const int port = FreePort(SOCK_STREAM);
    QProcess server;
    server.start("python3", {"-m", "http.server", QString::number(port), "--bind", "127.0.0.1", "--directory", dir_.path()});
    ASSERT_TRUE(server.waitForStarted(5000));
    for (int i = 0; i < 500 && !Listening(port); ++i) QThread::msleep(10);
    ASSERT_TRUE(Listening(port));
    const QString url = QString("http://127.0.0.1:%1/web.rm").arg(port);
    std::ofstream(dir_.filePath("web.ram").toStdString()) << url.toStdString() << "\n";
    TPlaylistPlayer player;
    player.SetSilent(true);
    std::vector<QString> opened;
    bool finished = false;
    QObject::connect(&player, &TPlaylistPlayer::OnClipOpened, [&](const QString& name, const QString& u) {
        opened.push_back(name + " " + u);
    });
    QObject::connect(&player, &TPlaylistPlayer::PlaybackFinished, [&] { finished = true; });
    player.PlayerSetSource(dir_.filePath("web.ram"));
    player.PlayerPlay();
    QElapsedTimer t;
    t.start();
    while (!finished && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    server.terminate();
    server.waitForFinished(5000);
    ASSERT_TRUE(finished);
    EXPECT_EQ(opened, std::vector<QString>{"web.rm " + url});
}

TEST_F(ServerOutput, NoServerIsAnOutputError) {
    TProducerControl c;
    Configure(c, FreePort(SOCK_STREAM), 1);
    std::vector<int> codes;
    QObject::connect(&c, &TProducerControl::OnErrorOccurred, [&](int code, const QString&) { codes.push_back(code); });
    c.StartEncoding();
    ASSERT_TRUE(c.WaitUntilIdle(30000));
    EXPECT_EQ(codes, std::vector<int>{5});
}

}  // namespace
}  // namespace vandrex
