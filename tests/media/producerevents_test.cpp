// The producer's events: order, thread, period, nesting, stop and restart.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "media/producercontrol.h"
#include "mediatestsupport.h"

namespace vandrex {
namespace {

// Records every event as a letter: S started, P progress, E error, X stopped.
struct TLog {
    std::string letters;
    std::vector<int> durations;
    bool offThread = false;
    bool encodingInProgress = true;
    bool encodingAtStop = true;
    explicit TLog(TProducerControl& c) {
        QThread* ui = QThread::currentThread();
        auto check = [this, ui] {
            if (QThread::currentThread() != ui) offThread = true;
        };
        QObject::connect(&c, &TProducerControl::OnEncodingStarted, [this, check] { check(); letters += 'S'; });
        QObject::connect(&c, &TProducerControl::OnEncodingProgressChanged, [this, check, &c](int d, int, int, int) {
            check();
            letters += 'P';
            durations.push_back(d);
            encodingInProgress = encodingInProgress && c.IsEncoding();
        });
        QObject::connect(&c, &TProducerControl::OnErrorOccurred, [this, check](int, const QString&) { check(); letters += 'E'; });
        QObject::connect(&c, &TProducerControl::OnEncodingStopped, [this, check, &c] {
            check();
            letters += 'X';
            encodingAtStop = c.IsEncoding();
        });
    }
};

class ProducerEvents : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApp(); }
    QString Path(const char* name) { return dir_.filePath(name); }
    void Capture(TProducerControl& c, const QString& out) {
        c.SetInputType(1);
        c.SetOutputFilename(out);
        c.SetTarget56KModem(kWordTrue);
    }
    QTemporaryDir dir_;
};

TEST_F(ProducerEvents, FileEncodingReportsInOrderOnTheUserInterfaceThread) {
    const std::string wav = Path("in.wav").toStdString();
    test::MakeWav(wav, 3.0);
    TProducerControl c;
    TLog log(c);
    c.SetInputFilename(Path("in.wav"));
    c.SetOutputFilename(Path("out.rm"));
    c.StartEncoding();
    EXPECT_TRUE(c.IsEncoding());
    ASSERT_TRUE(c.WaitUntilIdle(30000));
    ASSERT_GE(log.letters.size(), 3u);
    EXPECT_EQ(log.letters.front(), 'S');
    EXPECT_EQ(log.letters.back(), 'X');
    EXPECT_EQ(log.letters.find_first_not_of("P", 1), log.letters.size() - 1) << log.letters;
    EXPECT_FALSE(log.offThread);
    EXPECT_TRUE(log.encodingInProgress);
    EXPECT_FALSE(log.encodingAtStop) << "IsEncoding must be false when the stop event arrives";
}

TEST_F(ProducerEvents, ProgressComesAtLeastEveryHalfSecond) {
    TProducerControl c;
    TLog log(c);
    Capture(c, Path("cap.rm"));
    c.StartEncoding();
    QTimer::singleShot(1600, &c, [&] { c.StopEncoding(); });
    ASSERT_TRUE(c.WaitUntilIdle(10000));
    ASSERT_GE(log.durations.size(), 4u);
    for (size_t i = 1; i < log.durations.size(); ++i) EXPECT_LE(log.durations[i] - log.durations[i - 1], 500) << i;
    EXPECT_GE(log.durations.back(), 1400);
}

TEST_F(ProducerEvents, EventsAreNeverNestedInAHandlerThatProcessesMessages) {
    TProducerControl c;
    int depth = 0, deepest = 0, handled = 0;
    QObject::connect(&c, &TProducerControl::OnEncodingProgressChanged, [&](int, int, int, int) {
        deepest = std::max(deepest, ++depth);
        ++handled;
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        --depth;
    });
    Capture(c, Path("nest.rm"));
    c.StartEncoding();
    QTimer::singleShot(1200, &c, [&] { c.StopEncoding(); });
    ASSERT_TRUE(c.WaitUntilIdle(15000));
    EXPECT_GE(handled, 2);
    EXPECT_EQ(deepest, 1);
}

TEST_F(ProducerEvents, StopDuringTheFirstPassWritesNothing) {
    const std::string avi = Path("in.avi").toStdString();
    test::MakeAvi(avi, 320, 240, 25, 3.0);
    TProducerControl c;
    TLog log(c);
    c.SetInputFilename(Path("in.avi"));
    c.SetOutputFilename(Path("out.rm"));
    c.SetTwoPassEncoding(kWordTrue);
    c.SetTempDirectory(Path("tmp"));
    c.StartEncoding();
    c.StopEncoding();
    ASSERT_TRUE(c.WaitUntilIdle(30000));
    EXPECT_EQ(log.letters.front(), 'S');
    EXPECT_EQ(log.letters.back(), 'X');
    EXPECT_EQ(log.letters.find('E'), std::string::npos);
    EXPECT_FALSE(QFile::exists(Path("out.rm")));
}

TEST_F(ProducerEvents, ErrorComesBeforeTheStop) {
    TProducerControl c;
    TLog log(c);
    c.SetInputFilename(Path("missing.wav"));
    c.SetOutputFilename(Path("out.rm"));
    c.StartEncoding();
    ASSERT_TRUE(c.WaitUntilIdle(10000));
    EXPECT_EQ(log.letters, "SEX");
}

TEST_F(ProducerEvents, StartRightAfterStopWorksAndTheOldStopComesFirst) {
    TProducerControl c;
    TLog log(c);
    Capture(c, Path("first.rm"));
    c.StartEncoding();
    QTimer::singleShot(700, &c, [&] {
        c.StopEncoding();
        c.SetOutputFilename(Path("second.rm"));
        c.StartEncoding();
        QTimer::singleShot(700, &c, [&] { c.StopEncoding(); });
    });
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(c.WaitUntilIdle(10000));
    const auto firstStop = log.letters.find('X');
    const auto secondStart = log.letters.find('S', 1);
    ASSERT_NE(firstStop, std::string::npos);
    ASSERT_NE(secondStart, std::string::npos);
    EXPECT_LT(firstStop, secondStart) << log.letters;
    EXPECT_EQ(std::count(log.letters.begin(), log.letters.end(), 'X'), 2);
    EXPECT_FALSE(c.IsEncoding());
    EXPECT_EQ(test::DecodeErrors(Path("first.rm").toStdString()), "");
    EXPECT_EQ(test::DecodeErrors(Path("second.rm").toStdString()), "");
}

TEST_F(ProducerEvents, ASecondStartWhileEncodingIsIgnored) {
    TProducerControl c;
    TLog log(c);
    Capture(c, Path("one.rm"));
    c.StartEncoding();
    c.StartEncoding();
    QTimer::singleShot(500, &c, [&] { c.StopEncoding(); });
    ASSERT_TRUE(c.WaitUntilIdle(10000));
    EXPECT_EQ(std::count(log.letters.begin(), log.letters.end(), 'S'), 1);
    EXPECT_EQ(std::count(log.letters.begin(), log.letters.end(), 'X'), 1);
}

}  // namespace
}  // namespace vandrex
