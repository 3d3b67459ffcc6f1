// vandrex-rm on the command line.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

#include "mediatestsupport.h"

namespace vandrex {
namespace {

#ifdef VANDREX_RM_TOOL
std::string Tool(const std::string& args, int* rc) {
    std::string out;
    *rc = test::RunCommand(std::string(VANDREX_RM_TOOL) + " " + args, &out);
    return out;
}

TEST(VandrexRmTool, EncodeInfoCutJoinTag) {
    QTemporaryDir dir;
    auto p = [&](const char* n) { return test::Quote(dir.filePath(n).toStdString()); };
    test::MakeWav(dir.filePath("in.wav").toStdString(), 3.0);
    int rc = 0;
    Tool("encode " + p("in.wav") + " " + p("a.rm") + " TargetDualISDN=-1 Audience.3.Bitrate=96 Title=T1 Rating=1", &rc);
    ASSERT_EQ(rc, 0);
    auto probe = test::Probe(dir.filePath("a.rm").toStdString(), "stream=bit_rate");
    EXPECT_EQ(probe["stream0.bit_rate"], "96000");

    std::string info = Tool("info " + p("a.rm"), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_NE(info.find("Title=T1\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Rating=1\n"), std::string::npos);
    EXPECT_NE(info.find("Duration=3"), std::string::npos);

    Tool("cut " + p("a.rm") + " " + p("c.rm") + " 2000 1000", &rc);
    ASSERT_EQ(rc, 0);
    Tool("join " + p("a.rm") + " " + p("c.rm") + " " + p("j.rm"), &rc);
    ASSERT_EQ(rc, 0);
    const double joined = std::stod(test::Probe(dir.filePath("j.rm").toStdString(), "format=duration")["format.duration"]);
    EXPECT_NEAR(joined, 4.0, 0.15);
    Tool("tag " + p("j.rm") + " Keywords=k Author=Me", &rc);
    ASSERT_EQ(rc, 0);
    info = Tool("info " + p("j.rm"), &rc);
    EXPECT_NE(info.find("Keywords=k\n"), std::string::npos);
    EXPECT_NE(info.find("Author=Me\n"), std::string::npos);
    EXPECT_NE(info.find("Title=T1\n"), std::string::npos);
    EXPECT_EQ(test::DecodeErrors(dir.filePath("j.rm").toStdString()), "");
}

TEST(VandrexRmTool, BadInputGivesAClearErrorAndNonZeroExit) {
    QTemporaryDir dir;
    auto p = [&](const char* n) { return test::Quote(dir.filePath(n).toStdString()); };
    int rc = 0;
    std::string out = Tool("info " + p("missing.rm"), &rc);
    EXPECT_NE(rc, 0);
    EXPECT_NE(out.find("vandrex-rm:"), std::string::npos);
    out = Tool("encode " + p("missing.wav") + " " + p("x.rm"), &rc);
    EXPECT_NE(rc, 0);
    EXPECT_NE(out.find("error 1"), std::string::npos) << out;
    test::MakeWav(dir.filePath("in.wav").toStdString(), 0.3);
    out = Tool("encode " + p("in.wav") + " " + p("x.rm") + " NoSuch=1", &rc);
    EXPECT_NE(rc, 0);
    out = Tool("encode " + p("in.wav") + " " + p("x.rm") + " Audience.9.Bitrate=5", &rc);
    EXPECT_NE(rc, 0);
    out = Tool("cut " + p("in.wav") + " " + p("x.rm") + " a b", &rc);
    EXPECT_NE(rc, 0);
    out = Tool("tag " + p("in.wav") + " Rating=7", &rc);
    EXPECT_NE(rc, 0);
    out = Tool("play " + p("missing.ram") + " --silent", &rc);
    EXPECT_NE(rc, 0);
    EXPECT_NE(out.find("missing.ram"), std::string::npos) << out;
    Tool("", &rc);
    EXPECT_EQ(rc, 2);
}
#endif

}  // namespace
}  // namespace vandrex
