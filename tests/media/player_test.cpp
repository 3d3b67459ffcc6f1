// The player: playlists, order, shuffle, loop, hold, real time and volume,
// on the silent output; the widget's properties and picture.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>

#include "media/captureinput.h"
#include "media/playlistplayer.h"
#include "media/ramplaylist.h"
#include "media/realaudio.h"
#include "platform/exceptions.h"
#include "mediatestsupport.h"

namespace vandrex {
namespace {

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

template <typename Pred>
bool PumpUntil(Pred done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

class Player : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApp(); }
    // A sound clip of the given length; the tone's amplitude is 0.5.
    QString Clip(const QString& name, double seconds) {
        const QString path = dir_.filePath(name);
        const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=44100:d=" +
                                std::to_string(seconds) + "' -ac 2 -c:a ac3 -b:a 96k -metadata title=" +
                                test::Quote(name.toStdString()) + " " + test::Quote(path.toStdString());
        EXPECT_EQ(test::RunCommand(cmd), 0);
        return path;
    }
    QString List(const QStringList& names) {
        const QString path = dir_.filePath("list.ram");
        std::ofstream out(path.toStdString());
        for (const QString& n : names) out << "File:///" << n.toStdString() << "\r\n";
        return path;
    }
    // Plays to the end; returns the entries opened in order.
    std::vector<int> PlayAll(TPlaylistPlayer& p, int timeoutMs, int maxClips = 100) {
        std::vector<int> opened;
        bool finished = false;
        auto a = QObject::connect(&p, &TPlaylistPlayer::OnClipOpened, [&](const QString&, const QString&) {
            opened.push_back(p.PlayerGetCurrentEntry());
            if (int(opened.size()) >= maxClips) p.PlayerStop();
        });
        auto b = QObject::connect(&p, &TPlaylistPlayer::PlaybackFinished, [&] { finished = true; });
        p.PlayerPlay();
        PumpUntil([&] { return finished || int(opened.size()) >= maxClips; }, timeoutMs);
        QObject::disconnect(a);
        QObject::disconnect(b);
        return opened;
    }
    QTemporaryDir dir_;
};

TEST(RamPlaylist, EntryKinds) {
    const QStringList e = ParseRamPlaylist(
        "File:///Track_1.rm\r\n\r\n# a remark\r\nplain.rm\nhttp://host/x.rm\n  rtsp://host/y.rm  \nFile:////abs/z.rm\nsub\\w.rm\n",
        "/music/list");
    EXPECT_EQ(e, (QStringList{"/music/list/Track_1.rm", "/music/list/plain.rm", "http://host/x.rm", "rtsp://host/y.rm",
                              "/abs/z.rm", "/music/list/sub/w.rm"}));
    EXPECT_THROW(ReadRamPlaylist("/no/such/list.ram"), EInOutError);
}

TEST_F(Player, PlaysEntriesInOrderThenFinishes) {
    for (const char* n : {"a.rm", "b.rm", "c.rm"}) Clip(n, 0.3);
    TPlaylistPlayer p;
    p.SetSilent(true);
    std::vector<QString> names;
    QObject::connect(&p, &TPlaylistPlayer::OnClipOpened, [&](const QString& s, const QString& url) {
        names.push_back(s);
        EXPECT_TRUE(url.endsWith(s));
    });
    p.PlayerSetSource(List({"a.rm", "b.rm", "c.rm"}));
    EXPECT_EQ(p.PlayerGetNumEntries(), 3);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(PlayAll(p, 10000), (std::vector<int>{0, 1, 2}));
    // Real time: three 0.3 s clips take about 0.9 s.
    EXPECT_GE(t.elapsed(), 800);
    EXPECT_EQ(names, (std::vector<QString>{"a.rm", "b.rm", "c.rm"}));
    EXPECT_EQ(p.State(), TPlaylistPlayer::TState::Stopped);
}

TEST_F(Player, ShufflePlaysAPermutation) {
    QStringList names;
    for (int i = 0; i < 6; ++i) names << QString("s%1.rm").arg(i);
    for (const QString& n : names) Clip(n, 0.15);
    bool sawOtherOrder = false;
    for (int round = 0; round < 4 && !sawOtherOrder; ++round) {
        TPlaylistPlayer p;
        p.SetSilent(true);
        p.PlayerSetSource(List(names));
        p.PlayerSetShuffle(true);
        std::vector<int> opened = PlayAll(p, 10000);
        ASSERT_EQ(opened.size(), 6u);
        EXPECT_EQ(std::set<int>(opened.begin(), opened.end()).size(), 6u);
        sawOtherOrder = opened != std::vector<int>{0, 1, 2, 3, 4, 5};
    }
    EXPECT_TRUE(sawOtherOrder);
}

TEST_F(Player, LoopStartsFromTheTopAgain) {
    Clip("a.rm", 0.2);
    Clip("b.rm", 0.2);
    TPlaylistPlayer p;
    p.SetSilent(true);
    p.PlayerSetSource(List({"a.rm", "b.rm"}));
    p.PlayerSetLoop(true);
    EXPECT_EQ(PlayAll(p, 10000, 5), (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST_F(Player, HoldStopsAtTheClipsEndWithTheNextCued) {
    Clip("a.rm", 0.3);
    Clip("b.rm", 0.3);
    TPlaylistPlayer p;
    p.SetSilent(true);
    p.PlayerSetSource(List({"a.rm", "b.rm"}));
    std::vector<int> opened;
    QObject::connect(&p, &TPlaylistPlayer::OnClipOpened, [&](const QString&, const QString&) {
        opened.push_back(p.PlayerGetCurrentEntry());
    });
    p.PlayerSetHold(true);
    p.PlayerPlay();
    ASSERT_TRUE(PumpUntil([&] { return p.State() == TPlaylistPlayer::TState::Paused; }, 5000));
    Pump(500);
    EXPECT_EQ(opened, std::vector<int>{0});
    EXPECT_EQ(p.PlayerGetCurrentEntry(), 1);
    p.PlayerSetHold(false);
    ASSERT_TRUE(PumpUntil([&] { return opened.size() == 2; }, 5000));
    EXPECT_EQ(opened, (std::vector<int>{0, 1}));
}

TEST_F(Player, PositionGrowsInRealTimeAndPauseHoldsIt) {
    Clip("long.rm", 3.0);
    TPlaylistPlayer p;
    p.SetSilent(true);
    p.PlayerSetSource(Clip("long.rm", 3.0));
    p.PlayerPlay();
    Pump(1000);
    const int at = p.PlayerGetPosition();
    EXPECT_NEAR(at, 1000, 250);
    EXPECT_NEAR(p.PlayerGetLength(), 3000, 100);
    p.PlayerPlayPause();
    Pump(100);
    const int paused = p.PlayerGetPosition();
    Pump(500);
    EXPECT_NEAR(p.PlayerGetPosition(), paused, 30);
    p.PlayerPlayPause();
    Pump(500);
    EXPECT_NEAR(p.PlayerGetPosition(), paused + 500, 200);
    p.PlayerStop();
    EXPECT_EQ(p.PlayerGetPosition(), 0);
}

TEST_F(Player, VolumeIsClampedAndScalesTheSamples) {
    TPlaylistPlayer p;
    p.SetSilent(true);
    std::atomic<int> peak{0};
    p.SampleTap = [&](const std::int16_t* s, int frames, int channels) {
        int m = 0;
        for (int i = 0; i < frames * channels; ++i) m = std::max(m, std::abs(int(s[i])));
        peak = std::max(peak.load(), m);
    };
    std::vector<int> changes;
    QObject::connect(&p, &TPlaylistPlayer::OnVolumeChange, [&](int v) { changes.push_back(v); });
    const QString clip = Clip("tone.rm", 0.5);
    auto measure = [&](int volume) {
        p.PlayerSetVolume(volume);
        p.PlayerSetSource(clip);
        peak = 0;
        PlayAll(p, 5000);
        return peak.load();
    };
    const int full = measure(100);
    const int half = measure(50);
    const int none = measure(0);
    EXPECT_GT(full, 8000);
    EXPECT_NEAR(double(half) / full, 0.5, 0.03);
    EXPECT_EQ(none, 0);
    p.PlayerSetVolume(150);
    EXPECT_EQ(p.PlayerGetVolume(), 100);
    p.PlayerSetVolume(-5);
    EXPECT_EQ(p.PlayerGetVolume(), 0);
    EXPECT_EQ(changes, (std::vector<int>{50, 0, 100, 0}));
}

TEST_F(Player, AMissingEntryIsReportedAndSkipped) {
    Clip("a.rm", 0.2);
    TPlaylistPlayer p;
    p.SetSilent(true);
    p.PlayerSetSource(List({"missing.rm", "a.rm"}));
    std::vector<QString> failed;
    QObject::connect(&p, &TPlaylistPlayer::ClipFailed, [&](const QString& url, const QString&) { failed.push_back(url); });
    EXPECT_EQ(PlayAll(p, 5000), std::vector<int>{1});
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_TRUE(failed[0].endsWith("missing.rm"));
}

TEST_F(Player, WidgetShowsThePictureAndTheStatusStrip) {
    const std::string avi = dir_.filePath("v.avi").toStdString();
    test::MakeAvi(avi, 160, 120, 10, 1.0);
    TRealAudio player;
    player.Engine().SetSilent(true);
    player.resize(178, 136);
    EXPECT_TRUE(player.setProperty("AutoStart", true));
    EXPECT_TRUE(player.setProperty("Source", QString::fromStdString(avi)));
    ASSERT_TRUE(PumpUntil([&] { return !player.Picture().isNull(); }, 5000));
    EXPECT_EQ(player.Picture().size(), QSize(160, 120));
    EXPECT_TRUE(player.setProperty("Controls", QString("Statusbar")));
    EXPECT_TRUE(player.StatusText().startsWith("Playing 00:00:0")) << player.StatusText().toStdString();
    EXPECT_TRUE(player.StatusText().contains("/ 00:00:01"));
    player.PlayerStop();
    EXPECT_TRUE(player.StatusText().startsWith("Stopped"));
}

#ifdef VANDREX_RM_TOOL
TEST_F(Player, CommandLinePlaysAListSilently) {
    Clip("a.rm", 0.2);
    Clip("b.rm", 0.2);
    std::string out;
    const int rc = test::RunCommand(std::string(VANDREX_RM_TOOL) + " play " + test::Quote(List({"a.rm", "b.rm"}).toStdString()) +
                                        " --silent",
                                    &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "0\ta.rm\n1\tb.rm\n");
}

// A private PulseAudio server with a null sink, on its own socket.
struct TPrivatePulse {
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess server;
    std::string prefix;  // "PULSE_SERVER=... " for commands
    bool Start() {
        const QString socket = runtime.filePath("native");
        env.insert("HOME", runtime.path());
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("PULSE_SERVER", "unix:" + socket);
        server.setProcessEnvironment(env);
        server.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                    "-L", "module-null-sink sink_name=vandrex_null",
                                    "-L", "module-native-protocol-unix socket=" + socket + " auth-anonymous=1"});
        if (!server.waitForStarted(5000)) return false;
        prefix = "PULSE_SERVER=" + test::Quote(("unix:" + socket).toStdString()) + " ";
        return PumpUntil([&] { return test::RunCommand(prefix + "pactl list short sinks 2>/dev/null | grep -q vandrex_null") == 0; },
                         10000);
    }
    ~TPrivatePulse() {
        server.terminate();
        server.waitForFinished(5000);
    }
};

bool HavePulse() { return test::RunCommand("command -v pulseaudio && command -v parec && command -v pactl") == 0; }

// The sound reaches PulseAudio: the null sink's monitor is recorded with parec
// while the command line plays.
TEST_F(Player, SoundReachesAPrivateServersNullSink) {
    if (!HavePulse()) GTEST_SKIP() << "no PulseAudio here";
    const QString clip = Clip("tone.rm", 1.0);
    TPrivatePulse pulse;
    ASSERT_TRUE(pulse.Start());
    QProcess recorder;
    recorder.setProcessEnvironment(pulse.env);
    recorder.setStandardOutputFile(pulse.runtime.filePath("heard.raw"));
    recorder.start("parec", {"-d", "vandrex_null.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=2"});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    Pump(300);
    std::string out;
    EXPECT_EQ(test::RunCommand(pulse.prefix + VANDREX_RM_TOOL + " play " + test::Quote(clip.toStdString()), &out), 0) << out;
    Pump(300);
    recorder.terminate();
    recorder.waitForFinished(5000);

    QFile heard(pulse.runtime.filePath("heard.raw"));
    ASSERT_TRUE(heard.open(QIODevice::ReadOnly));
    const QByteArray raw = heard.readAll();
    const auto* s = reinterpret_cast<const std::int16_t*>(raw.constData());
    const qsizetype n = raw.size() / 2;
    int peak = 0;
    qsizetype loud = 0;
    for (qsizetype i = 0; i < n; ++i) {
        peak = std::max(peak, std::abs(int(s[i])));
        if (std::abs(int(s[i])) > 2000) ++loud;
    }
    EXPECT_GT(peak, 8000);
    // About one second of tone on two channels (most samples of a sine are
    // loud); a loaded machine may drop a little.
    EXPECT_GT(double(loud) / (44100 * 2), 0.5);
    EXPECT_LT(double(loud) / (44100 * 2), 1.2);
}

// A recording from capture devices takes its sound from the default
// PulseAudio input when a server runs (here the null sink's monitor).
TEST_F(Player, CaptureRecordsFromTheDefaultPulseAudioInput) {
    if (!HavePulse()) GTEST_SKIP() << "no PulseAudio here";
    TPrivatePulse pulse;
    ASSERT_TRUE(pulse.Start());
    ASSERT_EQ(test::RunCommand(pulse.prefix + "pactl set-default-source vandrex_null.monitor"), 0);
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", pulse.env.value("PULSE_SERVER").toUtf8());
    std::string source;
    {
        TCaptureInput capture(false, 0, 0);
        source = capture.SoundSource();
        TInputFrame f;
        ASSERT_TRUE(capture.Next(f));
        EXPECT_EQ(f.Kind, AVMEDIA_TYPE_AUDIO);
    }
    if (saved.isNull()) qunsetenv("PULSE_SERVER");
    else qputenv("PULSE_SERVER", saved);
    EXPECT_EQ(source, "pulse");
}
#endif

}  // namespace
}  // namespace vandrex
