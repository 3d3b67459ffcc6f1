#pragma once
// RealMedia files on top of FFmpeg's rm muxer: the clip texts, the
// "logical-fileinfo" header that carries the further clip fields as string
// properties, and a writer that puts both into a file or a live stream.
//
// FFmpeg's muxer writes the title, author, copyright and comment itself, each
// with a 16-bit length, and no logical-fileinfo header. RmWriter lets the
// muxer write into an interposed I/O context, catches the header when the
// muxer writes it (and again when it rewrites it at the end of a file), and
// hands it on with the logical-fileinfo header inserted before the data.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/ffmpeg.h"

namespace vandrex::av {

using FileInfoList = std::vector<std::pair<std::string, std::string>>;

// The clip fields a file carries.
struct RmClipInfo {
    std::string Title, Author, Copyright, Description;  // CONT header
    FileInfoList FileInfo;                              // logical-fileinfo properties
};

// The longest text a 16-bit length field holds.
constexpr std::size_t kMaxRmTextBytes = 65535;

// The text cut to at most maxBytes bytes, never inside a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t maxBytes);

// The header the muxer wrote (".RMF" up to and including the DATA chunk
// header) with a logical-fileinfo MDPR inserted before DATA, the file
// header's header count, PROP's stream count and data offset (and index
// offset when set) moved on. Names over 255 bytes and values over 65535
// bytes are cut. A file duration below minDurationMs (and a stream duration
// of 0) is raised to it. Throws EMediaError when the header is not one it
// knows.
std::vector<std::uint8_t> InsertLogicalFileInfo(const std::vector<std::uint8_t>& header,
                                                const FileInfoList& properties, std::uint32_t minDurationMs = 0);

// Reads the clip fields from a file's headers, at full length (FFmpeg's own
// reader cuts texts). Bounds-checked: a malformed header yields what was
// read before the fault. Throws EMediaError when the file is not RealMedia.
RmClipInfo ReadRmClipInfo(const std::string& path);
// The same on the first bytes of a file (safe on any input).
RmClipInfo ParseRmClipInfo(const std::vector<std::uint8_t>& bytes);

// An rm muxer writing to a local file or to an URL (http POST, udp).
class RmWriter {
public:
    // target: a local file name, or an URL when isUrl. urlOptions are passed
    // to avio_open2 (method, headers ...).
    RmWriter(const std::string& target, bool isUrl, RmClipInfo clip, const FileInfoList& urlOptions = {});
    ~RmWriter();
    RmWriter(const RmWriter&) = delete;
    RmWriter& operator=(const RmWriter&) = delete;

    // Adds a stream with an encoder's parameters (before Begin).
    int AddStream(const AVCodecContext* encoder);
    // Adds a stream copying another file's stream parameters (before Begin).
    int AddStream(const AVCodecParameters* params, AVRational timeBase);
    AVStream* Stream(int index) const;

    void Begin();
    // Writes one packet of a stream; pkt's times are in srcTimeBase. The
    // packet is consumed.
    void Write(AVPacket* pkt, int stream, AVRational srcTimeBase);
    // Writes the trailer and the final header; the file then plays.
    void Finish();
    bool Finished() const { return finished_; }
    std::int64_t BytesWritten() const;

private:
    struct Sink;
    OutputPtr ctx_;
    Sink* sink_ = nullptr;
    bool begun_ = false;
    bool finished_ = false;
};

}  // namespace vandrex::av
