#pragma once
// Writes a streaming capture to an AVI file with libavformat: Motion JPEG
// video at a fixed frame period and, when asked, PCM sound.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/capturetypes.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace vandrex {

struct TAviSettings {
    int Width = 0;
    int Height = 0;
    std::uint32_t MicroSecPerFrame = 40000;
    int Quality = 80;  // 1..100, 100 best
    bool Audio = false;
    TWaveFormat Wave;  // PCM, 8 or 16 bits
};

class TAviRecorder {
public:
    TAviRecorder();
    ~TAviRecorder();
    TAviRecorder(const TAviRecorder&) = delete;
    TAviRecorder& operator=(const TAviRecorder&) = delete;

    // Creates (truncating) the file and writes the header; error says why not.
    bool Open(const std::string& path, const TAviSettings& settings, std::string& error);
    // Frame `index` (its slot in the frame period, so gaps are dropped
    // frames); frames of another size are scaled.
    bool WriteVideo(const TVideoFrame& frame, std::int64_t index);
    // Interleaved PCM samples in the settings' wave format.
    bool WriteAudio(const std::uint8_t* data, std::size_t bytes);
    // Flushes and writes the index; false when any write failed.
    bool Close();
    bool IsOpen() const { return output_ != nullptr; }

private:
    bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame);
    void Free();

    TAviSettings settings_;
    AVFormatContext* output_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int scalerWidth_ = 0, scalerHeight_ = 0;
    std::int64_t samplesWritten_ = 0;
    std::vector<std::uint8_t> pendingAudio_;
    bool failed_ = false;
};

}  // namespace vandrex
