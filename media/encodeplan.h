#pragma once
// What an encoding makes of the settings: codecs, rates, sizes and filters.
// A plain function of the settings, the audience and the input, so the
// choices can be checked without encoding.
//
// Audio: sound alone may use the whole target; beside pictures a quarter of
// it (half with EmphasizeAudio), at most 192 Kbit/s (448 with
// EmphasizeAudio). AC-3 at the largest standard rate within that share, or
// real_144 (8 kHz mono, 8 Kbit/s) when the share is under AC-3's least rate
// of 32 Kbit/s. AudioContent: 0 voice (mono, 32 kHz), 1 voice
// and music (stereo), 2 music (mono), 3 stereo music (stereo); stereo only
// when the input has two channels.
// LossProtection: a key frame at least every 2 s and the picture rate 10 %
// below the budget, so a damaged stream recovers quickly.

#include <string>

#include "media/inputstage.h"
#include "media/producersettings.h"

namespace vandrex {

struct TAudioPlan {
    bool Enabled = false;
    AVCodecID Codec = AV_CODEC_ID_NONE;  // AV_CODEC_ID_AC3 or AV_CODEC_ID_RA_144
    int BitRate = 0;                     // bit/s
    int SampleRate = 0;
    int Channels = 0;
};

struct TVideoPlan {
    bool Enabled = false;
    int BitRate = 0;  // bit/s
    AVRational FrameRate{25, 1};
    bool Crop = false;
    int CropLeft = 0, CropTop = 0, CropWidth = 0, CropHeight = 0;  // clamped to the input
    int ScaleWidth = 0, ScaleHeight = 0;  // the picture size asked for
    int Width = 0, Height = 0;            // the coded size: padded to multiples of 4
    bool DeInterlace = false;
    int NoiseFilter = 0;  // 0 off, 1 low, 2 high
    int Quality = 0;      // 0 normal, 1 smooth, 2 sharp
    int KeyFrameInterval = 0;  // frames
    bool Vbr = false;
    bool TwoPass = false;
};

struct TEncodePlan {
    TAudioPlan Audio;
    TVideoPlan Video;
};

// Largest AC-3 rate (bit/s) not above kbits, or 0 when none fits.
int Ac3RateAtMost(double kbits);

TEncodePlan MakeEncodePlan(const TProducerSettings& settings, const TAudienceSettings& audience,
                           const TInputFormat& input);

}  // namespace vandrex
