#include "media/encodeplan.h"

#include <algorithm>
#include <cmath>

namespace vandrex {

int Ac3RateAtMost(double kbits) {
    static const int rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
    int best = 0;
    for (int r : rates)
        if (r <= kbits + 1e-6) best = r;
    return best * 1000;
}

namespace {

int RoundUp4(int v) { return (v + 3) / 4 * 4; }

}  // namespace

TEncodePlan MakeEncodePlan(const TProducerSettings& s, const TAudienceSettings& audience, const TInputFormat& in) {
    TEncodePlan plan;
    const double total = audience.TargetBitrate > 0 ? audience.TargetBitrate : 34.0;
    const bool video = in.HasVideo && s.InputDoVideo != 0 && s.DoAudioOnlyMultimedia == 0;
    plan.Video.Enabled = video;
    plan.Audio.Enabled = in.HasAudio;

    if (plan.Audio.Enabled) {
        double budget = total;
        double cap = 640;
        if (video) {
            budget = total * (s.EmphasizeAudio ? 0.5 : 0.25);
            cap = s.EmphasizeAudio ? 448 : 192;
        }
        const int ac3 = Ac3RateAtMost(std::min(budget, cap));
        if (ac3 == 0) {
            plan.Audio.Codec = AV_CODEC_ID_RA_144;
            plan.Audio.BitRate = 8000;
            plan.Audio.SampleRate = 8000;
            plan.Audio.Channels = 1;
        } else {
            plan.Audio.Codec = AV_CODEC_ID_AC3;
            plan.Audio.BitRate = ac3;
            const bool stereoContent = s.AudioContent == 1 || s.AudioContent == 3;
            plan.Audio.Channels = stereoContent && in.Layout.nb_channels >= 2 ? 2 : 1;
            if (s.AudioContent == 0) plan.Audio.SampleRate = 32000;
            else plan.Audio.SampleRate = in.SampleRate == 48000 ? 48000 : in.SampleRate == 32000 ? 32000 : 44100;
        }
    }

    if (video) {
        TVideoPlan& v = plan.Video;
        double kbits = total - (plan.Audio.Enabled ? plan.Audio.BitRate / 1000.0 : 0);
        if (s.LossProtection) kbits *= 0.9;
        v.BitRate = static_cast<int>(std::max(8.0, kbits) * 1000);

        // A constant rate: the muxer stamps pictures by their count.
        double inFps = in.FrameRate.den ? av_q2d(in.FrameRate) : 25.0;
        if (!(inFps > 0) || inFps > 120) inFps = 25.0;
        double fps = inFps;
        if (audience.MaxFrameRate > 0 && audience.MaxFrameRate < fps) fps = audience.MaxFrameRate;
        v.FrameRate = fps == inFps && in.FrameRate.den ? in.FrameRate : av_d2q(fps, 1000);
        if (v.FrameRate.num <= 0) v.FrameRate = {25, 1};

        int w = in.Width, h = in.Height;
        if (s.VideoCroppingEnabled) {
            int left = std::clamp(s.VideoCropLeft, 0, in.Width - 2);
            int top = std::clamp(s.VideoCropTop, 0, in.Height - 2);
            int cw = s.VideoCropWidth > 0 ? std::min(s.VideoCropWidth, in.Width - left) : in.Width - left;
            int ch = s.VideoCropHeight > 0 ? std::min(s.VideoCropHeight, in.Height - top) : in.Height - top;
            cw &= ~1;
            ch &= ~1;
            if (cw >= 2 && ch >= 2 && (cw != in.Width || ch != in.Height)) {
                v.Crop = true;
                v.CropLeft = left;
                v.CropTop = top;
                v.CropWidth = cw;
                v.CropHeight = ch;
                w = cw;
                h = ch;
            }
        }
        int ow = s.VideoOutputWidth, oh = s.VideoOutputHeight;
        if (ow > 0 && oh <= 0) oh = static_cast<int>(std::lround(double(ow) * h / w));
        if (oh > 0 && ow <= 0) ow = static_cast<int>(std::lround(double(oh) * w / h));
        if (ow <= 0 || oh <= 0) { ow = w; oh = h; }
        // Odd sizes are kept and padded like any other.
        ow = std::clamp(ow, 16, 4096);
        oh = std::clamp(oh, 16, 4096);
        v.ScaleWidth = ow;
        v.ScaleHeight = oh;
        v.Width = RoundUp4(ow);
        v.Height = RoundUp4(oh);
        v.DeInterlace = s.DeInterlaceFilter != 0;
        v.NoiseFilter = std::clamp(s.VideoNoiseFiltering, 0, 2);
        v.Quality = std::clamp(s.VideoQuality, 0, 2);
        double keyMs = s.MaxTimeBetweenKeyframes > 0 ? s.MaxTimeBetweenKeyframes : 15000;
        if (s.LossProtection) keyMs = std::min(keyMs, 2000.0);
        v.KeyFrameInterval = std::clamp(static_cast<int>(std::lround(keyMs / 1000.0 * av_q2d(v.FrameRate))), 1, 600);
        v.Vbr = s.VbrEncoding != 0;
        v.TwoPass = s.TwoPassEncoding != 0 && !in.Live;
    }
    return plan;
}

}  // namespace vandrex
