// Producer settings and what an encoding makes of them.

#include <gtest/gtest.h>

#include "media/encodeplan.h"
#include "media/producercontrol.h"
#include "mediatestsupport.h"

namespace vandrex {
namespace {

TEST(ProducerSettings, WritesAreSignalledInOrderWithTheirIds) {
    test::EnsureApp();
    TProducerControl c;
    std::vector<std::pair<QString, int>> writes;
    QObject::connect(&c, &TProducerControl::PropertyWritten,
                     [&](const QString& n, int id, const QVariant&) { writes.emplace_back(n, id); });
    c.SetVideoCropTop(45);
    c.SetVideoCroppingEnabled(kWordTrue);
    c.SetOutputFilename("Video.rm");
    EXPECT_TRUE(c.SetProperty("MaxTimeBetweenKeyframes", "15000"));
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0], std::make_pair(QString("VideoCropTop"), 3354));
    EXPECT_EQ(writes[1], std::make_pair(QString("VideoCroppingEnabled"), 3351));
    EXPECT_EQ(writes[2], std::make_pair(QString("OutputFilename"), 3203));
    EXPECT_EQ(writes[3], std::make_pair(QString("MaxTimeBetweenKeyframes"), 3804));
    EXPECT_EQ(c.GetMaxTimeBetweenKeyframes(), 15000);
    EXPECT_EQ(dispid::kTarget384KDSLCableModem, 3414);
    EXPECT_EQ(dispid::kEndTime, 4411);
}

TEST(ProducerSettings, ValuesOfTheWrongKindAreRefused) {
    test::EnsureApp();
    TProducerControl c;
    EXPECT_FALSE(c.SetProperty("VideoCropTop", "many"));
    EXPECT_FALSE(c.SetProperty("NoSuchSetting", "1"));
    EXPECT_FALSE(c.SetProperty("TwoPassEncoding", "perhaps"));
    EXPECT_EQ(c.GetVideoCropTop(), 0);
    EXPECT_TRUE(c.SetProperty("TwoPassEncoding", "true"));
    EXPECT_EQ(c.GetTwoPassEncoding(), kWordTrue);
    EXPECT_TRUE(c.SetProperty("TwoPassEncoding", "1"));
    EXPECT_EQ(c.GetTwoPassEncoding(), -1);
    EXPECT_TRUE(c.SetProperty("Title", "Any text"));
    EXPECT_EQ(c.GetTitle(), "Any text");
}

TEST(ProducerSettings, AudiencesDefaultToTheirLinesAndTheLastTargetSetTrueWins) {
    test::EnsureApp();
    TProducerControl c;
    EXPECT_NEAR(c.GetAudienceSettings(1).GetTargetBitrate(), 34.0f, 2.0f);
    for (int n = 0; n < kAudienceCount; ++n) EXPECT_GT(c.GetAudienceSettings(n).GetTargetBitrate(), 0);
    EXPECT_LT(c.GetAudienceSettings(0).GetTargetBitrate(), 28.8f);
    EXPECT_LT(c.GetAudienceSettings(6).GetTargetBitrate(), 256.0f);
    EXPECT_LT(c.GetAudienceSettings(7).GetTargetBitrate(), 384.0f);
    EXPECT_THROW(c.GetAudienceSettings(8), Exception);
    EXPECT_THROW(c.GetAudienceSettings(-1), Exception);

    c.SetTarget28KModem(kWordTrue);
    c.SetTarget256KDSLCableModem(kWordTrue);
    EXPECT_EQ(c.ActiveAudience(), kAudience256KDSL);
    // The window clears the middle targets but never 28K or the DSL ones.
    c.SetTarget56KModem(kWordFalse);
    c.SetTargetLAN(kWordFalse);
    c.SetTargetDualISDN(kWordTrue);
    EXPECT_EQ(c.ActiveAudience(), kAudienceDualISDN);
    c.SetTargetDualISDN(kWordFalse);
    EXPECT_EQ(c.ActiveAudience(), kAudience256KDSL);
    c.GetAudienceSettings(2).SetTargetBitrate(41.0f);
    EXPECT_EQ(c.GetAudienceSettings(2).GetTargetBitrate(), 41.0f);
}

TInputFormat VideoInput(int w, int h, int fps) {
    TInputFormat f;
    f.HasVideo = true;
    f.Width = w;
    f.Height = h;
    f.FrameRate = {fps, 1};
    f.HasAudio = true;
    f.SampleRate = 44100;
    av_channel_layout_default(&f.Layout, 2);
    return f;
}

TEST(EncodePlan, SmallAudiencesGetRealAudio144AndLargerOnesAc3) {
    TProducerSettings s;
    TInputFormat sound = VideoInput(0, 0, 25);
    sound.HasVideo = false;
    auto plan = MakeEncodePlan(s, {20.0f, 0}, sound);
    EXPECT_EQ(plan.Audio.Codec, AV_CODEC_ID_RA_144);
    EXPECT_FALSE(plan.Video.Enabled);
    plan = MakeEncodePlan(s, {64.0f, 0}, sound);
    EXPECT_EQ(plan.Audio.Codec, AV_CODEC_ID_AC3);
    EXPECT_EQ(plan.Audio.BitRate, 64000);
    plan = MakeEncodePlan(s, {150.0f, 0}, sound);
    EXPECT_EQ(plan.Audio.BitRate, 128000);

    plan = MakeEncodePlan(s, {34.0f, 10.0f}, VideoInput(320, 240, 25));
    EXPECT_EQ(plan.Audio.Codec, AV_CODEC_ID_RA_144);
    EXPECT_EQ(plan.Video.BitRate, 26000);
    EXPECT_EQ(av_q2d(plan.Video.FrameRate), 10.0);
    plan = MakeEncodePlan(s, {250.0f, 25.0f}, VideoInput(320, 240, 25));
    EXPECT_EQ(plan.Audio.Codec, AV_CODEC_ID_AC3);
    EXPECT_EQ(plan.Audio.BitRate + plan.Video.BitRate, 250000);
}

TEST(EncodePlan, AudioContentChoosesChannelsAndRate) {
    TProducerSettings s;
    TInputFormat in = VideoInput(0, 0, 25);
    in.HasVideo = false;
    const int channels[] = {1, 2, 1, 2};
    for (int content = 0; content < 4; ++content) {
        s.AudioContent = content;
        auto plan = MakeEncodePlan(s, {64.0f, 0}, in);
        EXPECT_EQ(plan.Audio.Channels, channels[content]) << content;
        EXPECT_EQ(plan.Audio.SampleRate, content == 0 ? 32000 : 44100) << content;
    }
}

TEST(EncodePlan, ProfileSizesArePaddedToMultiplesOfFourNotStretched) {
    TProducerSettings s;
    const int heights[] = {198, 170, 106, 426};
    for (int h : heights) {
        s.VideoOutputWidth = 352;
        s.VideoOutputHeight = h;
        auto plan = MakeEncodePlan(s, {250.0f, 25.0f}, VideoInput(768, 576, 25));
        EXPECT_EQ(plan.Video.ScaleHeight, h);
        EXPECT_EQ(plan.Video.Height % 4, 0);
        EXPECT_LT(plan.Video.Height - h, 4);
        EXPECT_EQ(plan.Video.Width, 352);
    }
    // Cropping beyond the picture is clamped to it.
    s.VideoOutputWidth = s.VideoOutputHeight = 0;
    s.VideoCroppingEnabled = kWordTrue;
    s.VideoCropTop = 75;
    s.VideoCropWidth = 768;
    s.VideoCropHeight = 426;
    auto plan = MakeEncodePlan(s, {350.0f, 25.0f}, VideoInput(320, 240, 25));
    EXPECT_TRUE(plan.Video.Crop);
    EXPECT_EQ(plan.Video.CropWidth, 320);
    EXPECT_EQ(plan.Video.CropHeight, 164);
    EXPECT_EQ(plan.Video.Height, 164);
}

TEST(EncodePlan, KeyFrameIntervalAndLossProtection) {
    TProducerSettings s;
    s.MaxTimeBetweenKeyframes = 5000;
    auto plan = MakeEncodePlan(s, {250.0f, 25.0f}, VideoInput(320, 240, 25));
    EXPECT_EQ(plan.Video.KeyFrameInterval, 125);
    s.LossProtection = kWordTrue;
    auto protectedPlan = MakeEncodePlan(s, {250.0f, 25.0f}, VideoInput(320, 240, 25));
    EXPECT_EQ(protectedPlan.Video.KeyFrameInterval, 50);
    EXPECT_LT(protectedPlan.Video.BitRate, plan.Video.BitRate);
}

}  // namespace
}  // namespace vandrex
