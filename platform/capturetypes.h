#pragma once
// Records the capture layer exchanges with its users: the status and
// capabilities records, the streaming parameters, the wave format, and the
// frame and wave buffers handed to stream callbacks. Pixels are always 24-bit
// blue, green, red, rows top to bottom without padding.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vandrex {

// Status of a connected capture window.
struct TCapStatus {
    int ImageWidth = 0;
    int ImageHeight = 0;
    bool LiveWindow = false;     // preview on
    bool OverlayWindow = false;  // never on: no driver here has overlay
    bool Scale = false;          // preview stretched to the window
    bool CapturingNow = false;
    bool AudioHardware = false;  // a sound source exists for streaming
    std::uint32_t CurrentVideoFrame = 0;
    std::uint32_t CurrentVideoFramesDropped = 0;
    std::uint32_t CurrentWaveSamples = 0;
    std::uint32_t CurrentTimeElapsedMS = 0;
};

// What a driver can do.
struct TCapDriverCaps {
    int DeviceIndex = -1;
    bool HasOverlay = false;
    bool HasDlgVideoSource = true;
    bool HasDlgVideoFormat = true;
    bool HasDlgVideoDisplay = true;
    bool CaptureInitialized = false;
};

// Streaming capture settings.
struct TCaptureParms {
    std::uint32_t RequestMicroSecPerFrame = 66667;
    bool Yield = false;
    std::uint32_t IndexSize = 34952;
    bool CaptureAudio = false;
    int KeyAbort = 0x1B;  // virtual key; 0 = none
    bool AbortLeftMouse = true;
    bool AbortRightMouse = true;
    bool LimitEnabled = false;
    std::uint32_t TimeLimit = 0;  // seconds
    bool MCIControl = false;
};

// PCM wave format; FormatTag 1 is PCM, the only one accepted.
struct TWaveFormat {
    std::uint16_t FormatTag = 1;
    std::uint16_t Channels = 1;
    std::uint32_t SamplesPerSec = 11025;
    std::uint32_t AvgBytesPerSec = 11025;
    std::uint16_t BlockAlign = 1;
    std::uint16_t BitsPerSample = 8;
    std::uint16_t ExtraSize = 0;
};

// One whole video frame.
struct TVideoFrame {
    int Width = 0;
    int Height = 0;
    std::int64_t Number = 0;       // frames read from the source since it opened
    std::uint32_t TimeCapturedMS = 0;  // since streaming started (0 outside streaming)
    std::vector<std::uint8_t> Pixels;  // Width * Height * 3, blue-green-red
    void Resize(int width, int height) {
        Width = width;
        Height = height;
        Pixels.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    }
};
using TFramePtr = std::shared_ptr<const TVideoFrame>;

// The buffer a video callback receives; valid during the call only.
struct TVideoHdr {
    const std::uint8_t* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesUsed = 0;
    std::uint32_t dwTimeCaptured = 0;
    int Width = 0;
    int Height = 0;
};
using PVIDEOHDR = const TVideoHdr*;

// The buffer an audio callback receives; valid during the call only.
struct TWaveHdr {
    const std::uint8_t* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
};
using PWaveHdr = const TWaveHdr*;

// A frame size a driver offers.
struct TFrameSize {
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TFrameSize&, const TFrameSize&) = default;
};

// An adjustable picture setting of a driver (brightness, contrast ...).
struct TCaptureControl {
    std::uint32_t Id = 0;
    std::string Name;
    int Minimum = 0;
    int Maximum = 0;
    int Step = 1;
    int Default = 0;
    int Value = 0;
};

}  // namespace vandrex
