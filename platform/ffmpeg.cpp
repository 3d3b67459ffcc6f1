#include "platform/ffmpeg.h"

#include <cstdlib>

extern "C" {
#include <libavutil/error.h>
}

namespace vandrex::av {

void QuietLibraryLog() {
    // Encoder notices ("clipping dct coefficients", "rc buffer underflow")
    // are not failures; real failures reach the caller as error codes.
    static const bool once = [] {
        // VANDREX_AV_LOG=<level> (FFmpeg's numbers, 32 = info) shows them.
        const char* level = std::getenv("VANDREX_AV_LOG");
        av_log_set_level(level ? std::atoi(level) : AV_LOG_FATAL);
        return true;
    }();
    (void)once;
}

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int Check(int code, const std::string& what) {
    if (code < 0) throw EMediaError(what + ": " + ErrorText(code));
    return code;
}

void FormatInputDeleter::operator()(AVFormatContext* c) const { avformat_close_input(&c); }
void FormatOutputDeleter::operator()(AVFormatContext* c) const {
    if (c && c->pb && !(c->oformat->flags & AVFMT_NOFILE) && !(c->flags & AVFMT_FLAG_CUSTOM_IO)) avio_closep(&c->pb);
    avformat_free_context(c);
}
void CodecContextDeleter::operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
void FrameDeleter::operator()(AVFrame* f) const { av_frame_free(&f); }
void PacketDeleter::operator()(AVPacket* p) const { av_packet_free(&p); }
void FilterGraphDeleter::operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
void SwrDeleter::operator()(SwrContext* s) const { swr_free(&s); }
void AudioFifoDeleter::operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }

FramePtr NewFrame() {
    FramePtr f(av_frame_alloc());
    if (!f) throw EMediaError("Out of memory");
    return f;
}

PacketPtr NewPacket() {
    PacketPtr p(av_packet_alloc());
    if (!p) throw EMediaError("Out of memory");
    return p;
}

namespace {

InputPtr OpenWith(const std::string& url, AVDictionary** options, const std::string& shownName) {
    QuietLibraryLog();
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, url.c_str(), nullptr, options);
    av_dict_free(options);
    if (rc < 0) throw EMediaError("Cannot open " + shownName + ": " + ErrorText(rc));
    InputPtr input(raw);
    Check(avformat_find_stream_info(input.get(), nullptr), "Cannot read " + shownName);
    return input;
}

}  // namespace

InputPtr OpenLocalInput(const std::string& path, const std::vector<std::string>& demuxers) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    if (!demuxers.empty()) {
        std::string list;
        for (const auto& d : demuxers) list += (list.empty() ? "" : ",") + d;
        av_dict_set(&options, "format_whitelist", list.c_str(), 0);
    }
    // The "file:" prefix keeps a name with a colon from being read as a protocol.
    return OpenWith("file:" + path, &options, path);
}

InputPtr OpenNetworkInput(const std::string& url) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "http,https,tcp,tls,rtsp,rtp,udp", 0);
    av_dict_set(&options, "rw_timeout", "10000000", 0);
    return OpenWith(url, &options, url);
}

CodecPtr OpenDecoder(const AVStream* stream, int threads) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) throw EMediaError(std::string("No decoder for ") + avcodec_get_name(stream->codecpar->codec_id));
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) throw EMediaError("Out of memory");
    Check(avcodec_parameters_to_context(ctx.get(), stream->codecpar), "Decoder parameters");
    ctx->pkt_timebase = stream->time_base;
    ctx->thread_count = threads;
    Check(avcodec_open2(ctx.get(), codec, nullptr), std::string("Cannot open decoder ") + codec->name);
    return ctx;
}

int BestStream(AVFormatContext* input, AVMediaType kind) {
    int i = av_find_best_stream(input, kind, -1, -1, nullptr, 0);
    return i < 0 ? -1 : i;
}

long long DurationMs(const AVFormatContext* input) {
    if (input->duration == AV_NOPTS_VALUE || input->duration <= 0) return 0;
    return input->duration / 1000;
}

std::string MetadataValue(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
    return e ? std::string(e->value) : std::string();
}

}  // namespace vandrex::av
