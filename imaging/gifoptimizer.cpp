#include "imaging/gifoptimizer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/bmpfile.h"
#include "imaging/filebytes.h"
#include "imaging/fixednames.h"
#include "imaging/gifwriter.h"
#include "imaging/jpegfile.h"
#include "imaging/timelapse.h"
#include "platform/exceptions.h"

namespace vandrex {

namespace {

long long GifBytes(const TBitmap& picture, TRGB background, bool useLzw, int colors) {
    TImageEnCore trial;
    trial.Proc.AutoUndo = false;
    trial.Assign(picture);
    trial.Proc.ReduceColors(colors);
    return static_cast<long long>(EncodeGif(trial.Bitmap(), background, useLzw, {}).size());
}

}  // namespace

std::optional<int> FitColorsToBytes(const TBitmap& picture, TRGB background, bool useLzw, long long maxBytes,
                                    int maxColors) {
    maxColors = std::clamp(maxColors, 2, 256);
    auto fits = [&](int n) { return GifBytes(picture, background, useLzw, n) <= maxBytes; };
    if (!fits(2)) return std::nullopt;
    if (fits(maxColors)) return maxColors;
    // The size grows with the colour count nearly everywhere: search for the
    // edge, then step past any bump so that one colour more never fits.
    int low = 2, high = maxColors;  // low fits, high does not
    while (high - low > 1) {
        const int mid = (low + high) / 2;
        (fits(mid) ? low : high) = mid;
    }
    while (low + 1 < maxColors && fits(low + 1)) ++low;
    return low;
}

std::string PipeFilterToQt(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::string qt;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns = parts[i + 1];
        std::replace(patterns.begin(), patterns.end(), ';', ' ');
        if (!qt.empty()) qt += ";;";
        qt += parts[i] + " (" + patterns + ")";
    }
    return qt;
}

int AnimationColors(int frames) {
    switch (frames) {
    case 2: return 14;
    case 3: return 7;
    case 4: return 5;
    default: return 4;
    }
}

TGifOptimizer::TGifOptimizer(TImageEnCore& encoder, TSnapshotPipeline& snapshot)
    : encoder_(encoder), snapshot_(snapshot) {
    // A snapshot's new "Snapshot.gif" ends any animation being built.
    snapshot_.GifRewritten = [this] {
        if (!writingAnimation_) EndAnimation();
    };
}

void TGifOptimizer::Notify() {
    if (Changed) Changed();
}

void TGifOptimizer::WriteGif() {
    if (!encoder_.HasPicture()) return;
    SaveSnapshotGif(encoder_);
    if (!writingAnimation_) EndAnimation();
}

void TGifOptimizer::Show() {
    const TGifSizeDisplay d = GifSizeDisplay(encoder_.Proc.CalcImageNumColors());
    ColorCountText = d.ColorCount;
    if (ShowSize) ShowSize(d);
    Notify();
}

void TGifOptimizer::ReduceIfNeeded() {
    if (encoder_.HasPicture() && encoder_.Proc.CalcImageNumColors() > 256) encoder_.Proc.ReduceColors(256);
}

void TGifOptimizer::EndAnimation() {
    if (FrameCounter == 0) return;
    FrameCounter = 0;
    std::fill(std::begin(AnimationLeds), std::end(AnimationLeds), false);
    RemoveFixedFile(kNextshotGif);
    Notify();
}

void TGifOptimizer::UndoSpeedButtonClick() {
    encoder_.Proc.Undo();
    WriteGif();
    ReduceIfNeeded();
    Show();
}

void TGifOptimizer::FlipHorizontalSButtonClick() {
    encoder_.Proc.Flip(TFlipDirection::Horizontal);
    WriteGif();
    Show();
}

void TGifOptimizer::FlipVerticalSButtonClick() {
    encoder_.Proc.Flip(TFlipDirection::Vertical);
    WriteGif();
    Show();
}

void TGifOptimizer::RotateSButtonClick() {
    encoder_.Proc.Resample(ViewWidth, -1, 1);
    if (encoder_.HasPicture()) {
        const TBitmap& p = encoder_.Bitmap();
        const double byWidth = std::trunc(ViewWidth / (p.Width() / 100.0));
        const double byHeight = std::trunc(ViewHeight / (p.Height() / 100.0));
        Zoom = int(std::min(byWidth, byHeight));
    }
    encoder_.Proc.Rotate(90);
    WriteGif();
    Show();
}

void TGifOptimizer::GrayScaleButtonClick() {
    encoder_.Proc.ConvertToGray();
    WriteGif();
    Show();
}

void TGifOptimizer::NegativeSButtonClick() {
    encoder_.Proc.Negative();
    ReduceIfNeeded();
    WriteGif();
    Show();
}

void TGifOptimizer::ReduceColorSButtonClick() {
    encoder_.Proc.ReduceColors(StrToInt(ColorCountText));
    WriteGif();
    Show();
}

void TGifOptimizer::AutoEqualizeSButtonClick() {
    encoder_.Proc.AutoEqualize();
    ReduceIfNeeded();
    WriteGif();
    Show();
}

void TGifOptimizer::FITHorizontalSButtonClick() {
    FitVertLit = false;
    FitHorLit = true;
    Notify();
    if (!NecLit) return;
    encoder_.Proc.Resample(128, -1, 3);
    ReduceIfNeeded();
    WriteGif();
    Show();
}

void TGifOptimizer::FITVerticalSButtonClick() {
    FitHorLit = false;
    FitVertLit = true;
    Notify();
    if (!NecLit) return;
    encoder_.Proc.Resample(-1, 128, 3);
    ReduceIfNeeded();
    WriteGif();
    Show();
}

void TGifOptimizer::NEC_Display_LEDDblClick() {
    if (!NecLit) return;
    if (!NecRed) {
        NecRed = true;
        NecHint = kLzwHint;
        encoder_.IO.UseLZW = true;
    } else {
        NecRed = false;
        NecHint = kNonLzwHint;
        encoder_.IO.UseLZW = false;
    }
    WriteGif();
    Show();
}

void TGifOptimizer::TimeLapseGif() {
    encoder_.Proc.AutoEqualize();
    encoder_.Proc.ReduceColors(64);
    WriteGif();
}

void TGifOptimizer::SwitchLzwOff() {
    encoder_.IO.UseLZW = false;
    NecRed = false;
    NecHint = kNonLzwHint;
    Notify();
}

void TGifOptimizer::PhoneDisplayStatusLowDblClick() {
    if (!ChooseFile) return;
    const std::string path = ChooseFile(kLoadTitle, kLoadFilter);
    if (path.size() < 3) return;
    const std::string ext = path.substr(path.size() - 3);
    if (ext != "bmp" && ext != "jpg") return;  // exact, lower case
    // The chosen path itself is opened; the working folder stays where it is.
    if (ext == "bmp") {
        const TBitmap picture = LoadBmpFile(path);
        WriteFixedFile(kSnapshotBmp, [&](const std::string& aside) { SaveBmpFile(aside, picture); });
    } else {
        encoder_.IO.LoadFromFileJpeg(path);
        WriteFixedFile(kSnapshotBmp, [&](const std::string& aside) { encoder_.IO.SaveToFileBMP(aside); });
    }
    struct TClearFlag {
        TSnapshotPipeline& s;
        ~TClearFlag() { s.PictureLoaded = false; }
    } clear{snapshot_};
    snapshot_.PictureLoaded = true;
    snapshot_.Snapshot();
}

void TGifOptimizer::GrabAndLoad() {
    RemoveFixedFile(kSnapshotBmp);
    if (!snapshot_.GrabToBitmap || !snapshot_.GrabToBitmap() || !FixedFileExists(kSnapshotBmp))
        throw Exception(TSnapshotPipeline::kGrabFailedText);
    encoder_.IO.LoadFromFileBMP(ResolveFixedName(kSnapshotBmp));
}

void TGifOptimizer::PrepareFrame() {
    encoder_.Proc.Resample(128, -1, 3);
    encoder_.Proc.AutoEqualize();
    encoder_.Proc.ConvertToGray();
    encoder_.Proc.ReduceColors(ColorsPerFrame);
}

void TGifOptimizer::InsertFrameSButtonClick() {
    struct TFlag {
        bool& f;
        explicit TFlag(bool& flag) : f(flag) { f = true; }
        ~TFlag() { f = false; }
    } writing{writingAnimation_};
    if (FrameCounter == 0) {
        int frames = StrToInt(FramesText);
        if (frames > 5) {
            frames = 5;
            FramesText = "5";
        }
        // An animation has at least two frames; 0 or 1 would never end.
        if (frames < 2) frames = 2;
        FramesWanted = frames - 1;
        ColorsPerFrame = AnimationColors(frames);
        GrabAndLoad();
        if (GifChecked && GifChecked() && ShowEncoder) ShowEncoder();
        PrepareFrame();
        SaveSnapshotGif(encoder_);
        AnimationLeds[0] = true;
        FrameCounter = 1;
        Show();
    } else {
        GrabAndLoad();
        PrepareFrame();
        WriteFixedFile(kNextshotGif, [&](const std::string& aside) { encoder_.IO.SaveToFileGIF(aside); });
        const auto file = ReadFileBytes(ResolveFixedName(kSnapshotGif));
        if (!file) throw EInvalidGraphic("unrecognized GIF");
        TGifInsertOptions options;
        options.Interlaced = encoder_.IO.UseLZW;
        options.Transparent = true;
        options.Position = FrameCounter;
        const auto rebuilt = InsertGifFrame(*file, encoder_.Bitmap(), encoder_.Background, encoder_.IO.UseLZW, options);
        WriteFixedFile(kSnapshotGif, [&](const std::string& aside) { WriteFileBytes(aside, rebuilt); });
        Show();
        AnimationLeds[std::min(FrameCounter, 4)] = true;
        ++FrameCounter;
    }
    if (FrameCounter >= FramesWanted + 1) {
        RemoveFixedFile(kNextshotGif);
        if (SetStatus) SetStatus("GIF Animation with " + std::to_string(FrameCounter) + " Frames Ready");
        if (Beep) Beep();
        FrameCounter = 0;
        FramesText = "2";
        std::fill(std::begin(AnimationLeds), std::end(AnimationLeds), false);
        RemoveFixedFile(kSnapshotBmp);
    }
    Notify();
}

bool TGifOptimizer::Fit10KbClick() {
    if (!encoder_.HasPicture()) return false;
    const int current = int(std::min<std::int64_t>(encoder_.Proc.CalcImageNumColors(), 256));
    const auto n = FitColorsToBytes(encoder_.Bitmap(), encoder_.Background, encoder_.IO.UseLZW, kGifPageLimit,
                                    std::max(current, 2));
    if (!n) {
        if (ShowMessage) ShowMessage(kFit10KbFails);
        return false;
    }
    encoder_.Proc.ReduceColors(*n);
    WriteGif();
    Show();
    return true;
}

}  // namespace vandrex
