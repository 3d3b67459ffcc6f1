#include "media/mediafileeditor.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "media/encodeplan.h"
#include "media/encoderstage.h"
#include "media/inputstage.h"
#include "platform/fileattributes.h"
#include "platform/rmfile.h"

namespace vandrex {

namespace {

const std::vector<std::string> kRmOnly = {"rm"};

std::string Utf8(const QString& s) { return s.toStdString(); }

struct TStreamPair {
    int video = -1;
    int audio = -1;
};

TStreamPair FindStreams(AVFormatContext* in) {
    TStreamPair p;
    p.video = av::BestStream(in, AVMEDIA_TYPE_VIDEO);
    p.audio = av::BestStream(in, AVMEDIA_TYPE_AUDIO);
    return p;
}

bool SameLayout(AVFormatContext* a, TStreamPair sa, AVFormatContext* b, TStreamPair sb) {
    if ((sa.video < 0) != (sb.video < 0) || (sa.audio < 0) != (sb.audio < 0)) return false;
    if (sa.video >= 0) {
        const AVCodecParameters* x = a->streams[sa.video]->codecpar;
        const AVCodecParameters* y = b->streams[sb.video]->codecpar;
        if (x->codec_id != y->codec_id || x->width != y->width || x->height != y->height) return false;
        if (av_cmp_q(a->streams[sa.video]->r_frame_rate, b->streams[sb.video]->r_frame_rate) != 0) return false;
    }
    if (sa.audio >= 0) {
        const AVCodecParameters* x = a->streams[sa.audio]->codecpar;
        const AVCodecParameters* y = b->streams[sb.audio]->codecpar;
        if (x->codec_id != y->codec_id || x->sample_rate != y->sample_rate ||
            x->ch_layout.nb_channels != y->ch_layout.nb_channels || x->bit_rate != y->bit_rate)
            return false;
    }
    return true;
}

long long PacketMs(const AVPacket* p, AVRational tb) {
    long long t = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
    return t == AV_NOPTS_VALUE ? -1 : av_rescale_q(t, tb, {1, 1000});
}

// The demuxer hands RealVideo pictures with a slice table in front; the
// muxer wants the bare picture.
bool StripSliceTable(AVPacket* p) {
    if (p->size < 9) return false;
    const int slices = p->data[0] + 1;
    if (slices != 1) return false;
    p->data += 9;
    p->size -= 9;
    return true;
}

class TWriterState {
public:
    TWriterState(av::RmWriter& w, int vOut, int aOut, AVRational videoRate)
        : writer_(w), vOut_(vOut), aOut_(aOut), frameTb_(av_inv_q(videoRate)) {}
    // Writes a packet stamped at ms on the output's millisecond clock.
    void Put(AVPacket* p, bool video, long long ms) {
        long long& last = video ? lastVideo_ : lastAudio_;
        if (ms <= last) ms = last + 1;
        last = ms;
        p->pts = p->dts = ms;
        p->duration = 0;
        p->pos = -1;
        if (video) {
            // The muxer stamps pictures by their count at the stream's rate.
            p->pts = p->dts = frames_++;
            writer_.Write(p, vOut_, frameTb_);
            return;
        }
        writer_.Write(p, aOut_, {1, 1000});
    }
    long long End() const { return std::max(lastVideo_, lastAudio_); }
    long long& VideoEnd() { return videoEnd_; }
    long long& AudioEnd() { return audioEnd_; }

private:
    av::RmWriter& writer_;
    int vOut_, aOut_;
    AVRational frameTb_;
    long long frames_ = 0;
    long long lastVideo_ = -1, lastAudio_ = -1;
    long long videoEnd_ = 0, audioEnd_ = 0;
};

// Copies packets of [fromMs, toMs) of a file to the output, shifted so fromMs
// lands at offsetMs. Returns the end time written (ms, output clock).
long long CopyRange(AVFormatContext* in, TStreamPair s, long long fromMs, long long toMs, long long offsetMs,
                    TWriterState& out) {
    av::PacketPtr pkt = av::NewPacket();
    long long end = offsetMs;
    for (;;) {
        int rc = av_read_frame(in, pkt.get());
        if (rc == AVERROR_EOF || (rc < 0 && avio_feof(in->pb))) break;
        av::Check(rc, "Read RealMedia packet");
        const bool video = pkt->stream_index == s.video;
        const bool audio = pkt->stream_index == s.audio;
        if (!video && !audio) { av_packet_unref(pkt.get()); continue; }
        const AVRational tb = in->streams[pkt->stream_index]->time_base;
        const long long ms = PacketMs(pkt.get(), tb);
        if (ms < fromMs || (toMs >= 0 && ms >= toMs)) { av_packet_unref(pkt.get()); continue; }
        if (video && in->streams[s.video]->codecpar->codec_id != AV_CODEC_ID_RV40 &&
            in->streams[s.video]->codecpar->codec_id != AV_CODEC_ID_RV30 && !StripSliceTable(pkt.get())) {
            av_packet_unref(pkt.get());
            throw EMediaFileError("Pictures in several slices cannot be copied");
        }
        const long long at = ms - fromMs + offsetMs;
        long long dur = video ? av_rescale_q(1, av_inv_q(in->streams[s.video]->r_frame_rate), {1, 1000})
                              : (pkt->duration > 0 ? av_rescale_q(pkt->duration, tb, {1, 1000}) : 0);
        out.Put(pkt.get(), video, at);
        end = std::max(end, at + std::max(dur, 1LL));
        av_packet_unref(pkt.get());
    }
    return end;
}

// The key-frame time at or before ms of the video stream (ms itself for
// sound-only files), and the picture rate found on the way.
struct TVideoScan {
    long long key = 0;
    AVRational rate{25, 1};
};

TVideoScan ScanVideo(AVFormatContext* in, TStreamPair s, long long ms) {
    TVideoScan scan;
    if (s.video < 0) {
        scan.key = ms;
        return scan;
    }
    const AVStream* st = in->streams[s.video];
    const double header = av_q2d(st->r_frame_rate);
    const bool headerRate = header > 0 && header <= 120;
    if (headerRate) scan.rate = st->r_frame_rate;
    av::PacketPtr pkt = av::NewPacket();
    long long previous = -1, step = 0;
    while (av_read_frame(in, pkt.get()) >= 0) {
        if (pkt->stream_index == s.video) {
            const long long t = PacketMs(pkt.get(), st->time_base);
            if (previous >= 0 && t > previous && (step == 0 || t - previous < step)) step = t - previous;
            previous = t;
            if ((pkt->flags & AV_PKT_FLAG_KEY) && t >= 0 && t <= ms) scan.key = std::max(scan.key, t);
            if (t > ms && (headerRate || step > 0)) { av_packet_unref(pkt.get()); break; }
        }
        av_packet_unref(pkt.get());
    }
    if (!headerRate && step > 0) scan.rate = av_d2q(1000.0 / double(step), 1000);
    return scan;
}

// Re-encodes a whole file to the output's stream formats, from offsetMs.
long long ReencodeInto(const std::string& path, AVFormatContext* model, TStreamPair ms, AVRational rate,
                       long long offsetMs, TWriterState& out) {
    TFileInput input(path, ms.video >= 0);
    const TInputFormat& f = input.Format();
    std::unique_ptr<TVideoEncoderStage> video;
    std::unique_ptr<TAudioEncoderStage> audio;
    if (ms.video >= 0 && f.HasVideo) {
        const AVStream* st = model->streams[ms.video];
        TVideoPlan v;
        v.Enabled = true;
        v.Width = st->codecpar->width;
        v.Height = st->codecpar->height;
        // Fit inside the picture and pad the rest: no distortion.
        const double scale = std::min(double(v.Width) / f.Width, double(v.Height) / f.Height);
        v.ScaleWidth = std::max(2, int(f.Width * scale) & ~1);
        v.ScaleHeight = std::max(2, int(f.Height * scale) & ~1);
        v.FrameRate = rate;
        v.BitRate = st->codecpar->bit_rate > 0 ? int(st->codecpar->bit_rate) : 200000;
        v.KeyFrameInterval = std::max(1, int(15 * av_q2d(v.FrameRate)));
        video = std::make_unique<TVideoEncoderStage>(f, v, 0, std::string());
    }
    if (ms.audio >= 0 && f.HasAudio) {
        const AVCodecParameters* p = model->streams[ms.audio]->codecpar;
        TAudioPlan a;
        a.Enabled = true;
        a.Codec = p->codec_id;
        a.SampleRate = p->sample_rate;
        a.Channels = p->ch_layout.nb_channels;
        a.BitRate = p->codec_id == AV_CODEC_ID_AC3 ? std::max(32000, Ac3RateAtMost(p->bit_rate / 1000.0)) : 8000;
        audio = std::make_unique<TAudioEncoderStage>(f, a);
    }
    long long end = offsetMs;
    auto vSink = [&](AVPacket* p) {
        const long long at = offsetMs + av_rescale_q(p->pts, video->Encoder()->time_base, {1, 1000});
        out.Put(p, true, at);
        end = std::max(end, at + 1);
    };
    auto aSink = [&](AVPacket* p) {
        const long long at = offsetMs + av_rescale_q(p->pts, audio->Encoder()->time_base, {1, 1000});
        out.Put(p, false, at);
        end = std::max(end, at + 1);
    };
    TInputFrame fr;
    while (input.Next(fr)) {
        if (fr.Kind == AVMEDIA_TYPE_VIDEO && video) video->Push(fr.Frame.get(), vSink);
        else if (fr.Kind == AVMEDIA_TYPE_AUDIO && audio) audio->Push(fr.Frame.get(), aSink);
    }
    if (video) video->Flush(vSink);
    if (audio) audio->Flush(aSink);
    return end;
}

}  // namespace

TMediaFileEditor::TMediaFileEditor(const QString& fullName) : path_(fullName) {
    try {
        av::InputPtr in = av::OpenLocalInput(Utf8(fullName), kRmOnly);
        duration_ = static_cast<int>(av::DurationMs(in.get()));
        av::RmClipInfo info = av::ReadRmClipInfo(Utf8(fullName));
        title_ = QString::fromStdString(info.Title);
        author_ = QString::fromStdString(info.Author);
        copyright_ = QString::fromStdString(info.Copyright);
        description_ = QString::fromStdString(info.Description);
        for (const auto& [name, value] : info.FileInfo) {
            const QString v = QString::fromStdString(value);
            if (name == "Keywords") keywords_ = v;
            else if (name == "Rating") rating_ = v.toInt();
            else if (name == "Indexable") indexable_ = ToWordBool(v.toInt() != 0);
            else if (name == "SelectiveRecord") selectiveRecord_ = ToWordBool(v.toInt() != 0);
            else if (name == "MobilePlay") mobilePlay_ = ToWordBool(v.toInt() != 0);
        }
    } catch (const Exception& e) {
        throw EMediaFileError(e.message());
    }
    end_ = duration_;
}

void TMediaFileEditor::AppendMediaFile(const QString& fullName) {
    try {
        av::OpenLocalInput(Utf8(fullName), FileInputDemuxers());
    } catch (const Exception& e) {
        throw EMediaFileError(e.message());
    }
    appended_.push_back(fullName);
}

void TMediaFileEditor::SaveMediaFile(const QString& fullName) {
    const std::string target = Utf8(fullName);
    if (target.empty()) throw EMediaFileError("No file name");
    const std::uint32_t attrs = GetFileAttributes(target);
    if (attrs != kFileAttributeInvalid && (attrs & kFileAttributeReadOnly))
        throw EMediaFileError("File is write protected: " + target);

    long long from = std::min(start_, end_ < 0 ? duration_ : end_);
    long long to = std::max(start_, end_ < 0 ? duration_ : end_);
    from = std::clamp<long long>(from, 0, duration_);
    to = std::clamp<long long>(to, 0, duration_);
    if (to <= from) throw EMediaFileError("The range to keep is empty");

    const QFileInfo targetInfo(fullName);
    std::string pattern = QDir(targetInfo.absolutePath()).filePath("." + targetInfo.fileName() + ".XXXXXX").toStdString();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) throw EMediaFileError("Cannot write beside " + target + ": " + std::strerror(errno));
    close(fd);
    const std::string temp(name.data());
    try {
        av::RmClipInfo clip;
        clip.Title = Utf8(title_);
        clip.Author = Utf8(author_);
        clip.Copyright = Utf8(copyright_);
        clip.Description = Utf8(description_);
        clip.FileInfo = {{"Keywords", Utf8(keywords_)},
                         {"Rating", std::to_string(rating_)},
                         {"Indexable", indexable_ ? "1" : "0"},
                         {"SelectiveRecord", selectiveRecord_ ? "1" : "0"},
                         {"MobilePlay", mobilePlay_ ? "1" : "0"}};
        {
            av::InputPtr in = av::OpenLocalInput(Utf8(path_), kRmOnly);
            TStreamPair s = FindStreams(in.get());
            if (s.video < 0 && s.audio < 0) throw EMediaFileError("No streams in " + Utf8(path_));
            const TVideoScan scan = ScanVideo(in.get(), s, from);
            av::RmWriter writer(temp, false, clip);
            int vOut = -1, aOut = -1;
            if (s.video >= 0) vOut = writer.AddStream(in->streams[s.video]->codecpar, av_inv_q(scan.rate));
            if (s.audio >= 0) aOut = writer.AddStream(in->streams[s.audio]->codecpar, {1, 1000});
            writer.Begin();
            TWriterState out(writer, vOut, aOut, scan.rate);

            const long long key = scan.key;
            av::InputPtr again = av::OpenLocalInput(Utf8(path_), kRmOnly);
            long long end = CopyRange(again.get(), s, key, to, 0, out);
            for (const QString& extra : appended_) {
                av::InputPtr next = av::OpenLocalInput(Utf8(extra), FileInputDemuxers());
                TStreamPair ns = FindStreams(next.get());
                if (std::string(next->iformat->name) == "rm" && SameLayout(in.get(), s, next.get(), ns)) {
                    end = CopyRange(next.get(), ns, 0, -1, end, out);
                } else {
                    next.reset();
                    end = ReencodeInto(Utf8(extra), in.get(), s, scan.rate, end, out);
                }
            }
            writer.Finish();
        }
        if (std::rename(temp.c_str(), target.c_str()) != 0)
            throw EMediaFileError("Cannot write " + target + ": " + std::strerror(errno));
    } catch (const EMediaFileError&) {
        std::remove(temp.c_str());
        throw;
    } catch (const std::exception& e) {
        std::remove(temp.c_str());
        throw EMediaFileError(e.what());
    }
}

}  // namespace vandrex
