// RealMedia headers: the logical-fileinfo chunk, text limits, the interposed
// writer. Checked against FFmpeg's own reader.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

#include "mediatestsupport.h"
#include "platform/rmfile.h"

namespace vandrex {
namespace {

using av::FileInfoList;
using av::RmClipInfo;

// Writes a short real_144 sound file through RmWriter.
void WriteSoundFile(const std::string& path, const RmClipInfo& clip) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_RA_144);
    av::CodecPtr enc(avcodec_alloc_context3(codec));
    enc->sample_rate = 8000;
    av_channel_layout_default(&enc->ch_layout, 1);
    enc->sample_fmt = AV_SAMPLE_FMT_S16;
    enc->time_base = {1, 8000};
    enc->bit_rate = 8000;
    ASSERT_GE(avcodec_open2(enc.get(), codec, nullptr), 0);
    av::RmWriter writer(path, false, clip);
    int s = writer.AddStream(enc.get());
    writer.Begin();
    av::PacketPtr pkt = av::NewPacket();
    for (int i = 0; i <= 50; ++i) {
        av::FramePtr f;
        if (i < 50) {
            f = av::NewFrame();
            f->format = AV_SAMPLE_FMT_S16;
            f->sample_rate = 8000;
            av_channel_layout_default(&f->ch_layout, 1);
            f->nb_samples = enc->frame_size;
            ASSERT_GE(av_frame_get_buffer(f.get(), 0), 0);
            for (int k = 0; k < f->nb_samples; ++k) reinterpret_cast<int16_t*>(f->data[0])[k] = int16_t((k * 97) % 2000);
            f->pts = i * enc->frame_size;
        }
        ASSERT_GE(avcodec_send_frame(enc.get(), f.get()), 0);
        while (avcodec_receive_packet(enc.get(), pkt.get()) >= 0) writer.Write(pkt.get(), s, enc->time_base);
    }
    writer.Finish();
}

TEST(RmFile, ClipFieldsReachFfprobeAndOurReader) {
    QTemporaryDir dir;
    const std::string f = dir.filePath("clip.rm").toStdString();
    RmClipInfo clip{"The title", "An author", "(c) 2026", "Line one", {{"Keywords", "alpha beta"}, {"Rating", "2"}, {"MobilePlay", "1"}}};
    WriteSoundFile(f, clip);
    EXPECT_EQ(test::DecodeErrors(f), "");
    auto p = test::Probe(f, "format_tags:stream=codec_name");
    EXPECT_EQ(p["stream0.codec_name"], "ra_144");
    EXPECT_EQ(p["format.TAG:title"], "The title");
    EXPECT_EQ(p["format.TAG:author"], "An author");
    EXPECT_EQ(p["format.TAG:copyright"], "(c) 2026");
    EXPECT_EQ(p["format.TAG:comment"], "Line one");
    EXPECT_EQ(p["format.TAG:Keywords"], "alpha beta");
    EXPECT_EQ(p["format.TAG:Rating"], "2");
    EXPECT_EQ(p["format.TAG:MobilePlay"], "1");

    RmClipInfo back = av::ReadRmClipInfo(f);
    EXPECT_EQ(back.Title, clip.Title);
    EXPECT_EQ(back.Description, clip.Description);
    EXPECT_EQ(back.FileInfo, clip.FileInfo);
}

TEST(RmFile, TextsTooLongForTheirLengthFieldAreCutNotCorrupted) {
    QTemporaryDir dir;
    const std::string f = dir.filePath("long.rm").toStdString();
    // Two-byte characters so the cut must respect sequence boundaries.
    std::string title;
    for (int i = 0; i < 40000; ++i) title += "\xC3\xA9";
    std::string keywords(70000, 'k');
    WriteSoundFile(f, {title, "a", "", "", {{"Keywords", keywords}}});
    EXPECT_EQ(test::DecodeErrors(f), "");
    RmClipInfo back = av::ReadRmClipInfo(f);
    EXPECT_EQ(back.Title.size(), 65534u);
    EXPECT_EQ(back.Title, title.substr(0, 65534));
    EXPECT_EQ(back.Author, "a");
    ASSERT_EQ(back.FileInfo.size(), 1u);
    EXPECT_EQ(back.FileInfo[0].second, std::string(65535, 'k'));
}

TEST(RmFile, CutUtf8KeepsWholeSequences) {
    EXPECT_EQ(av::CutUtf8("abc", 5), "abc");
    EXPECT_EQ(av::CutUtf8("ab\xE2\x82\xAC", 4), "ab");
    EXPECT_EQ(av::CutUtf8("ab\xE2\x82\xAC", 5), "ab\xE2\x82\xAC");
}

TEST(RmFile, MalformedHeadersAreRefused) {
    EXPECT_THROW(av::InsertLogicalFileInfo({'x', 'y'}, {}), av::EMediaError);
    std::vector<std::uint8_t> h = {'.', 'R', 'M', 'F', 0, 0, 0, 18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2,
                                   'P', 'R', 'O', 'P', 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_THROW(av::InsertLogicalFileInfo(h, {}), av::EMediaError);

    QTemporaryDir dir;
    const std::string f = dir.filePath("bad.rm").toStdString();
    std::ofstream(f) << "not a media file";
    EXPECT_THROW(av::ReadRmClipInfo(f), av::EMediaError);
}

TEST(RmFile, LocalInputsRefuseOtherProtocolsAndDemuxers) {
    QTemporaryDir dir;
    // A playlist that points at another file must not be followed.
    const std::string secret = dir.filePath("secret.wav").toStdString();
    test::MakeWav(secret, 0.2);
    const std::string list = dir.filePath("list.m3u8").toStdString();
    std::ofstream(list) << "#EXTM3U\n#EXTINF:1,\n" << secret << "\n";
    EXPECT_THROW(av::OpenLocalInput(list, {"wav"}), av::EMediaError);
    const std::string concat = dir.filePath("c.txt").toStdString();
    std::ofstream(concat) << "ffconcat version 1.0\nfile 'http://127.0.0.1:9/x.wav'\n";
    EXPECT_THROW(av::OpenLocalInput(concat, {"wav", "avi"}), av::EMediaError);
    EXPECT_NO_THROW(av::OpenLocalInput(secret, {"wav"}));
}

}  // namespace
}  // namespace vandrex
