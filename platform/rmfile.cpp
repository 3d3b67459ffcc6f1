#include "platform/rmfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace vandrex::av {

namespace {

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}
std::uint16_t Be16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t((b[at] << 8) | b[at + 1]);
}
void PutBe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = std::uint8_t(v >> 24); b[at + 1] = std::uint8_t(v >> 16); b[at + 2] = std::uint8_t(v >> 8); b[at + 3] = std::uint8_t(v);
}
void PutBe16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v >> 8); b[at + 1] = std::uint8_t(v);
}
void AppendBe32(std::vector<std::uint8_t>& b, std::uint32_t v) { b.resize(b.size() + 4); PutBe32(b, b.size() - 4, v); }
void AppendBe16(std::vector<std::uint8_t>& b, std::uint16_t v) { b.resize(b.size() + 2); PutBe16(b, b.size() - 2, v); }
void AppendText(std::vector<std::uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
bool TagIs(const std::vector<std::uint8_t>& b, std::size_t at, const char* tag) {
    return at + 4 <= b.size() && std::memcmp(&b[at], tag, 4) == 0;
}

// The logical-fileinfo MDPR chunk: no physical streams, no rules, string
// properties (type 2).
std::vector<std::uint8_t> LogicalFileInfoChunk(const FileInfoList& properties, std::uint16_t streamNumber) {
    std::vector<std::uint8_t> data;
    AppendBe32(data, 0);  // object size, patched below
    AppendBe16(data, 0);  // object version
    AppendBe16(data, 0);  // physical streams
    AppendBe16(data, 0);  // rules
    AppendBe16(data, std::uint16_t(std::min<std::size_t>(properties.size(), 65535)));
    std::size_t n = 0;
    for (const auto& [rawName, rawValue] : properties) {
        if (n++ == 65535) break;
        std::string name = CutUtf8(rawName, 255);
        std::string value = CutUtf8(rawValue, kMaxRmTextBytes);
        AppendBe32(data, std::uint32_t(4 + 2 + 1 + name.size() + 4 + 2 + value.size()));
        AppendBe16(data, 0);
        data.push_back(std::uint8_t(name.size()));
        AppendText(data, name);
        AppendBe32(data, 2);
        AppendBe16(data, std::uint16_t(value.size()));
        AppendText(data, value);
    }
    PutBe32(data, 0, std::uint32_t(data.size()));

    static const std::string mime = "logical-fileinfo";
    std::vector<std::uint8_t> chunk;
    AppendText(chunk, "MDPR");
    AppendBe32(chunk, 0);  // size, patched below
    AppendBe16(chunk, 0);  // version
    AppendBe16(chunk, streamNumber);
    for (int i = 0; i < 7; ++i) AppendBe32(chunk, 0);  // rates, packet sizes, start, preroll, duration
    chunk.push_back(0);                                 // no stream name
    chunk.push_back(std::uint8_t(mime.size()));
    AppendText(chunk, mime);
    AppendBe32(chunk, std::uint32_t(data.size()));
    chunk.insert(chunk.end(), data.begin(), data.end());
    PutBe32(chunk, 4, std::uint32_t(chunk.size()));
    return chunk;
}

}  // namespace

std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes so no sequence is split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::vector<std::uint8_t> InsertLogicalFileInfo(const std::vector<std::uint8_t>& header,
                                                const FileInfoList& properties, std::uint32_t minDurationMs) {
    if (!TagIs(header, 0, ".RMF") || header.size() < 18) throw EMediaError("Not a RealMedia header");
    std::size_t at = 0, prop = 0, data = 0;
    std::vector<std::size_t> mdprs;
    while (at + 10 <= header.size()) {
        std::uint32_t size = Be32(header, at + 4);
        if (TagIs(header, at, "PROP")) prop = at;
        if (TagIs(header, at, "MDPR") && at + 40 <= header.size()) mdprs.push_back(at);
        if (TagIs(header, at, "DATA")) { data = at; break; }
        if (size < 8 || at + size > header.size()) throw EMediaError("Malformed RealMedia header");
        at += size;
    }
    if (!prop || !data || prop + 50 > header.size()) throw EMediaError("RealMedia header without PROP or DATA");
    std::uint16_t streams = Be16(header, prop + 46);
    std::vector<std::uint8_t> chunk = LogicalFileInfoChunk(properties, streams);
    std::vector<std::uint8_t> out(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(data));
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), header.begin() + static_cast<std::ptrdiff_t>(data), header.end());
    const std::uint32_t delta = static_cast<std::uint32_t>(chunk.size());
    PutBe32(out, 14, Be32(out, 14) + 1);  // number of headers
    if (std::uint32_t index = Be32(out, prop + 38)) PutBe32(out, prop + 38, index + delta);
    PutBe32(out, prop + 42, Be32(out, prop + 42) + delta);
    PutBe16(out, prop + 46, std::uint16_t(streams + 1));
    if (minDurationMs > Be32(out, prop + 30)) {
        PutBe32(out, prop + 30, minDurationMs);
        for (std::size_t m : mdprs)
            if (Be32(out, m + 36) == 0) PutBe32(out, m + 36, minDurationMs);
    }
    return out;
}

RmClipInfo ReadRmClipInfo(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EMediaError("Cannot open " + path);
    // Headers come first; 1 MB is far more than four 64 KB texts need.
    std::vector<std::uint8_t> b(1 << 20);
    in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
    b.resize(static_cast<std::size_t>(in.gcount()));
    if (!TagIs(b, 0, ".RMF")) throw EMediaError("Not a RealMedia file: " + path);
    return ParseRmClipInfo(b);
}

RmClipInfo ParseRmClipInfo(const std::vector<std::uint8_t>& b) {
    if (!TagIs(b, 0, ".RMF")) throw EMediaError("Not a RealMedia header");
    RmClipInfo info;
    std::size_t at = 0;
    while (at + 10 <= b.size()) {
        const std::uint32_t size = Be32(b, at + 4);
        if (size < 10 || at + size > b.size() || TagIs(b, at, "DATA")) break;
        const std::size_t end = at + size;
        if (TagIs(b, at, "CONT")) {
            std::size_t p = at + 10;
            std::string* fields[] = {&info.Title, &info.Author, &info.Copyright, &info.Description};
            for (std::string* f : fields) {
                if (p + 2 > end) break;
                std::size_t len = Be16(b, p);
                p += 2;
                if (p + len > end) break;
                f->assign(reinterpret_cast<const char*>(&b[p]), len);
                p += len;
            }
        } else if (TagIs(b, at, "MDPR")) {
            std::size_t p = at + 10 + 2 + 28;
            if (p + 1 > end) { at = end; continue; }
            p += 1 + b[p];  // stream name
            if (p + 1 > end) { at = end; continue; }
            std::size_t mimeLen = b[p];
            std::string mime = p + 1 + mimeLen <= end ? std::string(reinterpret_cast<const char*>(&b[p + 1]), mimeLen) : "";
            p += 1 + mimeLen;
            if (mime == "logical-fileinfo" && p + 4 + 4 + 2 + 2 <= end) {
                p += 4 + 4 + 2;  // type-specific length, object size, version
                std::size_t streams = Be16(b, p);
                p += 2 + 6 * streams;
                if (p + 2 > end) { at = end; continue; }
                std::size_t rules = Be16(b, p);
                p += 2 + 2 * rules;
                if (p + 2 > end) { at = end; continue; }
                std::size_t count = Be16(b, p);
                p += 2;
                for (std::size_t i = 0; i < count && p + 4 <= end; ++i) {
                    const std::size_t propSize = Be32(b, p);
                    const std::size_t propEnd = p + propSize;
                    if (propSize < 13 || propEnd > end) break;
                    std::size_t q = p + 4 + 2;
                    std::size_t nameLen = b[q++];
                    if (q + nameLen + 6 > propEnd) break;
                    std::string name(reinterpret_cast<const char*>(&b[q]), nameLen);
                    q += nameLen;
                    std::uint32_t type = Be32(b, q);
                    std::size_t valueLen = Be16(b, q + 4);
                    q += 6;
                    if (type == 2 && q + valueLen <= propEnd)
                        info.FileInfo.emplace_back(name, std::string(reinterpret_cast<const char*>(&b[q]), valueLen));
                    p = propEnd;
                }
            }
        }
        at = end;
    }
    return info;
}

// The interposed output: the muxer's logical byte stream goes to the real
// output moved on by the inserted chunk; header bytes are kept and patched.
struct RmWriter::Sink {
    AVIOContext* down = nullptr;
    AVIOContext* up = nullptr;
    FileInfoList properties;
    std::vector<std::uint8_t> header;
    bool sealed = false;
    bool dirty = false;
    std::int64_t pos = 0;
    std::int64_t end = 0;
    std::int64_t delta = 0;
    std::int64_t written = 0;
    int error = 0;
    // Packet parser over the data section, for the streams to restamp.
    std::vector<int> restampMs;             // per stream: ms per packet, 0 = keep
    std::vector<std::int64_t> restampCount;
    std::vector<std::uint8_t> pending;      // an incomplete packet header
    std::int64_t pendingAt = 0;             // its logical position
    std::int64_t bodyLeft = 0;
    bool dataEnded = false;

    std::uint32_t RestampedDurationMs() const {
        std::int64_t ms = 0;
        for (std::size_t i = 0; i < restampMs.size(); ++i) ms = std::max(ms, restampCount[i] * restampMs[i]);
        return static_cast<std::uint32_t>(ms);
    }

    int Put(std::int64_t at, const std::uint8_t* data, int size) {
        const std::int64_t target = at + delta;
        if (avio_tell(down) != target && avio_seek(down, target, SEEK_SET) < 0) return error = AVERROR(EIO);
        avio_write(down, data, size);
        if (down->error) return error = down->error;
        written += size;
        return 0;
    }

    // Data bytes at logical position at: packet headers of restamped streams
    // get a timestamp from their packet count.
    int Data(std::int64_t at, const std::uint8_t* data, int size) {
        if (dataEnded || restampMs.empty()) return Put(at, data, size);
        int i = 0;
        while (i < size) {
            if (bodyLeft > 0) {
                const int n = static_cast<int>(std::min<std::int64_t>(bodyLeft, size - i));
                if (int rc = Put(at + i, data + i, n)) return rc;
                bodyLeft -= n;
                i += n;
                continue;
            }
            if (pending.empty()) pendingAt = at + i;
            const int n = std::min<int>(12 - static_cast<int>(pending.size()), size - i);
            pending.insert(pending.end(), data + i, data + i + n);
            i += n;
            if (pending.size() < 12) break;
            const std::uint32_t len = (pending[2] << 8) | pending[3];
            const std::uint32_t stream = (pending[4] << 8) | pending[5];
            if (pending[0] != 0 || pending[1] != 0 || len < 12) {
                dataEnded = true;  // the closing record, or packets we do not know
            } else {
                if (stream < restampMs.size() && restampMs[stream] > 0) {
                    const auto ts = static_cast<std::uint32_t>(restampCount[stream]++ * restampMs[stream]);
                    pending[6] = std::uint8_t(ts >> 24); pending[7] = std::uint8_t(ts >> 16);
                    pending[8] = std::uint8_t(ts >> 8); pending[9] = std::uint8_t(ts);
                    pending[11] |= 2;  // every such packet starts a frame
                }
                bodyLeft = len - 12;
            }
            if (int rc = Put(pendingAt, pending.data(), static_cast<int>(pending.size()))) return rc;
            pending.clear();
            if (dataEnded && i < size) return Put(at + i, data + i, size - i);
        }
        return 0;
    }

    int FlushPending() {
        if (pending.empty()) return 0;
        int rc = Put(pendingAt, pending.data(), static_cast<int>(pending.size()));
        pending.clear();
        return rc;
    }

    static int Write(void* opaque, std::uint8_t* buf, int size) {
        auto* s = static_cast<Sink*>(opaque);
        if (!s->sealed) {
            if (static_cast<std::size_t>(s->pos) + size > s->header.size()) s->header.resize(s->pos + size);
            std::memcpy(&s->header[s->pos], buf, size);
        } else {
            int i = 0;
            const auto h = static_cast<std::int64_t>(s->header.size());
            if (s->pos < h) {
                int n = static_cast<int>(std::min<std::int64_t>(h - s->pos, size));
                std::memcpy(&s->header[s->pos], buf, n);
                s->dirty = true;
                i = n;
            }
            if (i < size && s->Data(s->pos + i, buf + i, size - i) < 0) return s->error;
        }
        s->pos += size;
        s->end = std::max(s->end, s->pos);
        return size;
    }

    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
        auto* s = static_cast<Sink*>(opaque);
        if (whence & AVSEEK_SIZE) return s->end;
        whence &= ~AVSEEK_FORCE;
        if (whence == SEEK_CUR) offset += s->pos;
        else if (whence == SEEK_END) offset += s->end;
        else if (whence != SEEK_SET) return AVERROR(EINVAL);
        if (offset < 0) return AVERROR(EINVAL);
        s->pos = offset;
        return offset;
    }

    void EmitHeader() {
        std::vector<std::uint8_t> patched = InsertLogicalFileInfo(header, properties, RestampedDurationMs());
        delta = static_cast<std::int64_t>(patched.size()) - static_cast<std::int64_t>(header.size());
        if (avio_tell(down) != 0) Check(static_cast<int>(avio_seek(down, 0, SEEK_SET)), "Seek in output");
        avio_write(down, patched.data(), static_cast<int>(patched.size()));
        Check(down->error, "Write to output");
        if (!sealed) written += static_cast<std::int64_t>(patched.size());
        dirty = false;
    }
};

RmWriter::RmWriter(const std::string& target, bool isUrl, RmClipInfo clip, const FileInfoList& urlOptions)
    : sink_(new Sink) {
    QuietLibraryLog();
    AVFormatContext* raw = nullptr;
    Check(avformat_alloc_output_context2(&raw, nullptr, "rm", nullptr), "RealMedia muxer");
    ctx_.reset(raw);
    ctx_->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The muxer writes each text behind a 16-bit length; a longer one would
    // corrupt the header, so it is cut here.
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &clip.Title}, {"author", &clip.Author}, {"copyright", &clip.Copyright}, {"comment", &clip.Description}};
    for (auto [key, value] : texts)
        if (!value->empty()) av_dict_set(&ctx_->metadata, key, CutUtf8(*value, kMaxRmTextBytes).c_str(), 0);
    sink_->properties = clip.FileInfo;

    AVDictionary* options = nullptr;
    for (const auto& [k, v] : urlOptions) av_dict_set(&options, k.c_str(), v.c_str(), 0);
    const std::string url = isUrl ? target : "file:" + target;
    int rc = avio_open2(&sink_->down, url.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        delete sink_;
        sink_ = nullptr;
        throw EMediaError("Cannot write " + target + ": " + ErrorText(rc));
    }
    const int bufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    sink_->up = avio_alloc_context(buffer, bufferSize, 1, sink_, nullptr, &Sink::Write,
                                   (sink_->down->seekable & AVIO_SEEKABLE_NORMAL) ? &Sink::Seek : nullptr);
    sink_->up->seekable = sink_->down->seekable & AVIO_SEEKABLE_NORMAL;
    ctx_->pb = sink_->up;
}

RmWriter::~RmWriter() {
    if (sink_) {
        if (sink_->up) {
            av_freep(&sink_->up->buffer);
            avio_context_free(&sink_->up);
        }
        if (sink_->down) avio_closep(&sink_->down);
        delete sink_;
    }
    if (ctx_) ctx_->pb = nullptr;
}

int RmWriter::AddStream(const AVCodecContext* encoder) {
    AVStream* st = avformat_new_stream(ctx_.get(), nullptr);
    if (!st) throw EMediaError("Out of memory");
    Check(avcodec_parameters_from_context(st->codecpar, encoder), "Stream parameters");
    st->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) st->avg_frame_rate = encoder->framerate;
    return st->index;
}

int RmWriter::AddStream(const AVCodecParameters* params, AVRational timeBase) {
    AVStream* st = avformat_new_stream(ctx_.get(), nullptr);
    if (!st) throw EMediaError("Out of memory");
    Check(avcodec_parameters_copy(st->codecpar, params), "Stream parameters");
    st->codecpar->codec_tag = 0;
    st->time_base = timeBase;
    return st->index;
}

AVStream* RmWriter::Stream(int index) const { return ctx_->streams[index]; }

void RmWriter::Begin() {
    Check(avformat_write_header(ctx_.get(), nullptr), "RealMedia header");
    avio_flush(ctx_->pb);
    // The muxer stamps sound packets by a frame length it takes from the
    // codec; for real_144 it finds none and stamps every packet 0. Each of
    // our real_144 packets is one 20 ms frame.
    sink_->restampMs.assign(ctx_->nb_streams, 0);
    sink_->restampCount.assign(ctx_->nb_streams, 0);
    bool any = false;
    for (unsigned i = 0; i < ctx_->nb_streams; ++i)
        if (ctx_->streams[i]->codecpar->codec_id == AV_CODEC_ID_RA_144) sink_->restampMs[i] = 20, any = true;
    if (!any) sink_->restampMs.clear();
    sink_->EmitHeader();
    sink_->sealed = true;
    begun_ = true;
}

void RmWriter::Write(AVPacket* pkt, int stream, AVRational srcTimeBase) {
    pkt->stream_index = stream;
    av_packet_rescale_ts(pkt, srcTimeBase, ctx_->streams[stream]->time_base);
    int rc = av_interleaved_write_frame(ctx_.get(), pkt);
    if (sink_->error) rc = sink_->error;
    Check(rc, "Write RealMedia packet");
}

void RmWriter::Finish() {
    if (!begun_ || finished_) return;
    finished_ = true;
    Check(av_write_trailer(ctx_.get()), "RealMedia trailer");
    avio_flush(ctx_->pb);
    Check(sink_->FlushPending(), "Write to output");
    if (!sink_->restampMs.empty()) sink_->dirty = true;
    if (sink_->dirty && (sink_->down->seekable & AVIO_SEEKABLE_NORMAL)) sink_->EmitHeader();
    avio_flush(sink_->down);
    Check(sink_->down->error, "Write to output");
}

std::int64_t RmWriter::BytesWritten() const { return sink_ ? sink_->written : 0; }

}  // namespace vandrex::av
