// The file-editing object: cuts, joins, clip fields, and failures that leave
// nothing behind.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "media/producercontrol.h"
#include "mediatestsupport.h"

namespace vandrex {
namespace {

class MediaFileEditor : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApp(); }
    QString Path(const QString& name) { return dir_.filePath(name); }
    // An rm file of the given length with pictures every second as key frames.
    QString MakeRm(const QString& name, double seconds, int width, const char* target, bool video = true) {
        const QString src = Path(name + ".avi");
        test::MakeAvi(src.toStdString(), width, width * 3 / 4, 10, seconds);
        TProducerControl c;
        c.SetInputFilename(src);
        c.SetOutputFilename(Path(name));
        c.SetInputDoVideo(ToWordBool(video));
        c.SetMaxTimeBetweenKeyframes(1000);
        c.SetProperty(target, -1);
        c.SetTitle("Original");
        c.StartEncoding();
        EXPECT_TRUE(c.WaitUntilIdle(60000));
        return Path(name);
    }
    static double Seconds(const QString& f) {
        return std::stod(test::Probe(f.toStdString(), "format=duration")["format.duration"]);
    }
    QStringList Files() { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }
    QTemporaryDir dir_;
};

TEST_F(MediaFileEditor, CutKeepsTheRangeFromTheKeyFrameAtOrBeforeItsStart) {
    const QString src = MakeRm("src.rm", 4.0, 160, "TargetLAN");
    auto f = TMediaFileEditor(src);
    EXPECT_NEAR(f.Duration(), 4000, 150);
    f.SetStartTime(1500);
    f.SetEndTime(3000);
    f.SaveMediaFile(Path("cut.rm"));
    EXPECT_EQ(test::DecodeErrors(Path("cut.rm").toStdString()), "");
    // Key frames every second: the cut starts at 1.0 s.
    EXPECT_NEAR(Seconds(Path("cut.rm")), 2.0, 0.15);
    EXPECT_NEAR(test::CountFrames(Path("cut.rm").toStdString()), 20, 1);
    EXPECT_EQ(TMediaFileEditor(Path("cut.rm")).Title(), "Original");
}

TEST_F(MediaFileEditor, ReversedAndOverlongRangesAreHandled) {
    const QString src = MakeRm("src.rm", 3.0, 160, "TargetLAN");
    TMediaFileEditor forward(src);
    forward.SetStartTime(1000);
    forward.SetEndTime(2000);
    forward.SaveMediaFile(Path("forward.rm"));
    TMediaFileEditor reversed(src);
    reversed.SetStartTime(2000);
    reversed.SetEndTime(1000);
    reversed.SaveMediaFile(Path("reversed.rm"));
    EXPECT_NEAR(Seconds(Path("reversed.rm")), Seconds(Path("forward.rm")), 0.01);
    TMediaFileEditor overlong(src);
    overlong.SetStartTime(0);
    overlong.SetEndTime(3600000);
    overlong.SaveMediaFile(Path("all.rm"));
    EXPECT_NEAR(Seconds(Path("all.rm")), Seconds(src), 0.15);
    EXPECT_EQ(test::DecodeErrors(Path("all.rm").toStdString()), "");
    EXPECT_EQ(test::DecodeErrors(Path("reversed.rm").toStdString()), "");
}

TEST_F(MediaFileEditor, JoinOfEqualEncodingsCopiesAndOfDifferentOnesReencodes) {
    const QString a = MakeRm("a.rm", 2.0, 160, "TargetLAN");
    const QString b = MakeRm("b.rm", 1.0, 160, "TargetLAN");
    const QString other = MakeRm("other.rm", 1.0, 240, "TargetDualISDN");
    TMediaFileEditor same(a);
    same.AppendMediaFile(b);
    same.SaveMediaFile(Path("ab.rm"));
    EXPECT_NEAR(Seconds(Path("ab.rm")), 3.0, 0.2);
    EXPECT_NEAR(test::CountFrames(Path("ab.rm").toStdString()), 30, 1);
    EXPECT_EQ(test::DecodeErrors(Path("ab.rm").toStdString()), "");

    TMediaFileEditor mixed(a);
    mixed.AppendMediaFile(other);
    mixed.SaveMediaFile(Path("mixed.rm"));
    EXPECT_NEAR(Seconds(Path("mixed.rm")), 3.0, 0.25);
    EXPECT_EQ(test::DecodeErrors(Path("mixed.rm").toStdString()), "");
    auto p = test::Probe(Path("mixed.rm").toStdString(), "stream=width,height");
    EXPECT_EQ(p["stream0.width"], "160");
    EXPECT_EQ(p["stream0.height"], "120");
}

TEST_F(MediaFileEditor, ClipFieldsRoundTrip) {
    const QString src = MakeRm("src.rm", 1.0, 160, "TargetLAN", false);
    TMediaFileEditor f(src);
    f.SetTitle("Title \xC3\xA9");
    f.SetAuthor("Author");
    f.SetCopyright("Copyright");
    f.SetDescription("Line 1\nLine 2");
    f.SetKeywords("one two");
    f.SetRating(3);
    f.SetIndexable(kWordFalse);
    f.SetSelectiveRecord(kWordFalse);
    f.SetMobilePlay(kWordTrue);
    f.SaveMediaFile(Path("tagged.rm"));
    TMediaFileEditor back(Path("tagged.rm"));
    EXPECT_EQ(back.Title(), QString("Title \xC3\xA9"));
    EXPECT_EQ(back.Author(), "Author");
    EXPECT_EQ(back.Copyright(), "Copyright");
    EXPECT_EQ(back.Description(), "Line 1\nLine 2");
    EXPECT_EQ(back.Keywords(), "one two");
    EXPECT_EQ(back.Rating(), 3);
    EXPECT_EQ(back.Indexable(), kWordFalse);
    EXPECT_EQ(back.SelectiveRecord(), kWordFalse);
    EXPECT_EQ(back.MobilePlay(), kWordTrue);
    auto p = test::Probe(Path("tagged.rm").toStdString(), "format_tags");
    EXPECT_EQ(p["format.TAG:Rating"], "3");
    EXPECT_EQ(p["format.TAG:comment"].substr(0, 6), "Line 1");
    // Saving over the opened file itself goes through a file beside it.
    TMediaFileEditor self(Path("tagged.rm"));
    self.SetTitle("Again");
    self.SaveMediaFile(Path("tagged.rm"));
    EXPECT_EQ(TMediaFileEditor(Path("tagged.rm")).Title(), "Again");
    EXPECT_EQ(test::DecodeErrors(Path("tagged.rm").toStdString()), "");
}

TEST_F(MediaFileEditor, FailuresRaiseAndLeaveNoFile) {
    EXPECT_THROW(TMediaFileEditor(Path("missing.rm")), EMediaFileError);
    std::ofstream(Path("text.rm").toStdString()) << "hello";
    EXPECT_THROW(TMediaFileEditor(Path("text.rm")), EMediaFileError);

    const QString src = MakeRm("src.rm", 1.0, 160, "TargetLAN", false);
    const QStringList before = Files();
    TMediaFileEditor f(src);
    EXPECT_THROW(f.AppendMediaFile(Path("missing.rm")), EMediaFileError);
    EXPECT_THROW(f.SaveMediaFile(Path("no/such/folder/out.rm")), EMediaFileError);
    f.SetStartTime(500);
    f.SetEndTime(500);
    EXPECT_THROW(f.SaveMediaFile(Path("empty.rm")), EMediaFileError);
    EXPECT_EQ(Files(), before);
}

TEST_F(MediaFileEditor, ReadOnlyTargetIsRefusedEvenForRoot) {
    const QString src = MakeRm("src.rm", 1.0, 160, "TargetLAN", false);
    const std::string target = Path("ro.rm").toStdString();
    std::ofstream(target) << "protected";
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    TMediaFileEditor f(src);
    EXPECT_THROW(f.SaveMediaFile(Path("ro.rm")), EMediaFileError);
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "protected");
}

}  // namespace
}  // namespace vandrex
