#pragma once
// The FFmpeg layer: owning handles for the library's objects, error texts,
// and opening inputs safely. Everything media/ does with FFmpeg goes through
// these types, so no caller frees a context by hand.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"

namespace vandrex::av {

// Any failure of the media layer; the message names what failed and FFmpeg's
// own reason.
class EMediaError : public Exception {
public:
    explicit EMediaError(const std::string& message) : Exception(message) {}
};

// Keeps FFmpeg's own log to errors; called by every entry point here.
void QuietLibraryLog();

// FFmpeg's text for an error code ("Invalid data found when processing input").
std::string ErrorText(int code);
// Throws EMediaError(what + ": " + ErrorText(code)) when code < 0; returns code.
int Check(int code, const std::string& what);

struct FormatInputDeleter { void operator()(AVFormatContext* c) const; };
struct FormatOutputDeleter { void operator()(AVFormatContext* c) const; };
struct CodecContextDeleter { void operator()(AVCodecContext* c) const; };
struct FrameDeleter { void operator()(AVFrame* f) const; };
struct PacketDeleter { void operator()(AVPacket* p) const; };
struct FilterGraphDeleter { void operator()(AVFilterGraph* g) const; };
struct SwrDeleter { void operator()(SwrContext* s) const; };
struct AudioFifoDeleter { void operator()(AVAudioFifo* f) const; };

using InputPtr = std::unique_ptr<AVFormatContext, FormatInputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, FormatOutputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

FramePtr NewFrame();
PacketPtr NewPacket();

// Opens a local file for reading. Only the "file" protocol is allowed, for the
// file itself and for anything the demuxer would open on its behalf (playlists,
// references), and only the named demuxers (FFmpeg short names) may read it,
// so a crafted file cannot pull other files or network data in. An empty
// demuxer list allows every demuxer but keeps the protocol restriction.
// Throws EMediaError when the file cannot be opened or probed.
InputPtr OpenLocalInput(const std::string& path, const std::vector<std::string>& demuxers);

// Opens a network input (http, rtsp) for playback.
InputPtr OpenNetworkInput(const std::string& url);

// A decoder for one stream of an open input; threads 0 = as many as suit
// the machine.
CodecPtr OpenDecoder(const AVStream* stream, int threads = 1);

// Index of the best stream of a kind, or -1.
int BestStream(AVFormatContext* input, AVMediaType kind);

// Duration of an open input in milliseconds, 0 when unknown.
long long DurationMs(const AVFormatContext* input);

// Value of a metadata entry, empty when absent.
std::string MetadataValue(const AVDictionary* dict, const char* key);

}  // namespace vandrex::av
