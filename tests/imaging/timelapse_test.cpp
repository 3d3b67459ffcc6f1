// The timer group's rules: Set, the speed button, ticks and the end of a
// timed recording.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capturetest_support.h"
#include "imaging/timelapse.h"
#include "imaging/timelapsetimers.h"
#include "platform/exceptions.h"

namespace vandrex {
namespace {

TEST(TimeLapseTest, SetKeepsIntervalAndDurationInRange) {
    struct TCase {
        const char *interval, *duration, *wantInterval, *wantDuration;
    };
    const TCase cases[] = {
        {"1", "40", "3", "40"}, {"3", "95", "3", "90"}, {"3", "5", "3", "15"},
        {"10", "300", "10", "300"}, {"10", "301", "10", "300"}, {"0", "0", "3", "15"},
    };
    for (const auto& k : cases) {
        const auto v = TTimeLapse::SetValues({k.interval, k.duration});
        EXPECT_EQ(v.Interval, k.wantInterval) << k.interval << "/" << k.duration;
        EXPECT_EQ(v.Duration, k.wantDuration) << k.interval << "/" << k.duration;
    }
    try {
        TTimeLapse::SetValues({"3x", "15"});
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'3x' is not a valid integer value");
    }
    EXPECT_THROW(TTimeLapse::SetValues({"3", ""}), EConvertError);
    EXPECT_THROW(TTimeLapse::SetValues({" 3", "20"}), EConvertError);
}

class TimeLapseTicks : public ::testing::Test {
protected:
    void SetUp() override {
        t.SetTimerLamps = [this](bool lit) { log.push_back(lit ? "lamps on" : "lamps off"); };
        t.SetTickLamp = [this](TTickLamp c) { log.push_back(c == TTickLamp::Yellow ? "yellow" : "red"); };
        t.SetTimer = [this](bool on, int ms) { log.push_back((on ? "timer " : "timer off ") + std::to_string(ms)); };
        t.ShowCamera = [this](bool v) { log.push_back(v ? "camera shown" : "camera hidden"); };
        t.ClearUploadName = [this] { log.push_back("upload name cleared"); };
        t.Busy = [this] { return busy; };
        t.Snapshot = [this] { log.push_back("snapshot"); };
        t.BoostReduceAndWriteGif = [this] { log.push_back("gif 64"); };
        t.ClickFtp = [this] { log.push_back("ftp"); };
        t.ClickRecorder = [this] { log.push_back("recorder"); };
        t.SetRealMediaTimer = [this](bool on, int ms) {
            log.push_back(on ? "media timer " + std::to_string(ms) : "media timer off");
        };
    }
    TTimeLapse t;
    std::vector<std::string> log;
    bool busy = false;
};

TEST_F(TimeLapseTicks, SpeedButtonSwitchesTheTimer) {
    EXPECT_TRUE(t.SpeedButtonClick("3"));
    EXPECT_TRUE(t.On());
    EXPECT_EQ(log, (std::vector<std::string>{"lamps on", "camera hidden", "timer 180000", "upload name cleared"}));
    log.clear();
    EXPECT_TRUE(t.SpeedButtonClick("3"));
    EXPECT_FALSE(t.On());
    EXPECT_EQ(log, (std::vector<std::string>{"lamps off", "timer off 180000", "camera shown"}));
    log.clear();
    EXPECT_FALSE(t.SpeedButtonClick("0")) << "a zero interval would tick without pause";
    EXPECT_FALSE(t.On());
    EXPECT_TRUE(log.empty());
    EXPECT_THROW(t.SpeedButtonClick("x"), EConvertError);
}

TEST_F(TimeLapseTicks, TicksProduceByFormat) {
    EXPECT_TRUE(t.Tick(TCaptureFormat::Gif, "15"));
    EXPECT_EQ(log, (std::vector<std::string>{"yellow", "snapshot", "gif 64", "ftp", "red"}));
    log.clear();
    EXPECT_TRUE(t.Tick(TCaptureFormat::Jpg, "15"));
    EXPECT_EQ(log, (std::vector<std::string>{"yellow", "snapshot", "ftp", "red"}));
    log.clear();
    EXPECT_TRUE(t.Tick(TCaptureFormat::Video, "20"));
    EXPECT_EQ(log, (std::vector<std::string>{"yellow", "media timer off", "recorder", "media timer 20000", "red"}));
    log.clear();
    t.RealMediaTimerTimer();
    EXPECT_EQ(log, (std::vector<std::string>{"media timer off", "recorder"}));
    log.clear();
    EXPECT_TRUE(t.Tick(TCaptureFormat::Audio, "15"));
    EXPECT_EQ(log[2], "recorder");
    EXPECT_EQ(log[3], "media timer 15000");
}

TEST_F(TimeLapseTicks, TickDuringAnUploadIsSkipped) {
    busy = true;
    EXPECT_FALSE(t.Tick(TCaptureFormat::Gif, "15"));
    EXPECT_TRUE(log.empty());
    busy = false;
    t.Snapshot = [this] {
        log.push_back("snapshot");
        throw Exception("No picture from the capture driver");
    };
    EXPECT_THROW(t.Tick(TCaptureFormat::Jpg, "15"), Exception);
    EXPECT_EQ(log, (std::vector<std::string>{"yellow", "snapshot", "red"})) << "the lamp ends red even on failure";
}

TEST_F(TimeLapseTicks, TimersRunTheTicksAndEndTheRecording) {
    test::App();
    TTimeLapseTimers timers(t);
    EXPECT_FALSE(timers.Timer.isActive());
    EXPECT_EQ(timers.Timer.interval(), 60000);
    EXPECT_EQ(timers.RealMediaTimer.interval(), 15000);
    TTimeLapseTimers wired(t);  // takes the timer hooks over
    wired.Format = [] { return TCaptureFormat::Video; };
    wired.DurationText = [] { return std::string("1"); };
    ASSERT_TRUE(t.SpeedButtonClick("3"));
    EXPECT_TRUE(wired.Timer.isActive());
    EXPECT_EQ(wired.Timer.interval(), 180000);
    log.clear();
    emit wired.Timer.timeout({});  // one tick, as the interval ends
    EXPECT_TRUE(wired.RealMediaTimer.isActive());
    EXPECT_EQ(wired.RealMediaTimer.interval(), 1000);
    EXPECT_TRUE(test::WaitFor([&] { return !wired.RealMediaTimer.isActive(); }, 5000));
    EXPECT_EQ(std::count(log.begin(), log.end(), "recorder"), 2) << "started by the tick, stopped a second later";
    t.SpeedButtonClick("3");
    EXPECT_FALSE(wired.Timer.isActive());

    std::string error;
    wired.OnError = [&](const std::string& e) { error = e; };
    wired.DurationText = [] { return std::string("x"); };
    emit wired.Timer.timeout({});
    EXPECT_EQ(error, "'x' is not a valid integer value");
}

}  // namespace
}  // namespace vandrex
