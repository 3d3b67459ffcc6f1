#pragma once
// TGifOptimizer: the "GIF Optimizer" group and the handset display's
// commands, without widgets: the thirteen handlers, the animation state and
// "Fit 10 KB". It works on the image component's picture and the snapshot
// pipeline, and tells the window what to show through hooks (all optional).
// Every handler ends with "Snapshot.gif" written anew and its size shown.

#include <functional>
#include <optional>
#include <string>

#include "imaging/imageencore.h"
#include "imaging/snapshot.h"

namespace vandrex {

// The largest colour count from 2 to maxColors for which `picture`, reduced
// to that many colours, makes a single-image GIF of at most maxBytes in the
// given coding; nothing when 2 colours do not fit.
std::optional<int> FitColorsToBytes(const TBitmap& picture, TRGB background, bool useLzw, long long maxBytes,
                                    int maxColors);

// A "Name|*.a;*.b|Name|*.c" filter as Qt's file dialogs take it:
// "Name (*.a *.b);;Name (*.c)".
std::string PipeFilterToQt(const std::string& filter);

// Colours each frame of an animation of `frames` frames gets.
int AnimationColors(int frames);

class TGifOptimizer {
public:
    TGifOptimizer(TImageEnCore& encoder, TSnapshotPipeline& snapshot);

    // The handset display's lamp texts.
    static constexpr const char* kLzwHint = "LZW Compression / Requires Licence";
    static constexpr const char* kNonLzwHint = "Non LZW Compression / Requires no License";
    static constexpr const char* kLoadTitle = "Select Picture to Upload";
    static constexpr const char* kLoadFilter = "Graphics (bmp,jpg)|*.bmp;*.jpg|Bitmaps (*.bmp)|*.bmp|Jpeg  (*.jpg)|*.jpg";
    static constexpr const char* kFit10KbFails = "Even 2 colours do not fit in 10240 bytes";

    // --- the window's state the handlers read and write ---
    bool NecLit = false;          // NEC_Display_LED lit
    bool NecRed = false;          // its colour: red = LZW, else green
    std::string NecHint = "Non LZW Compression / Requires no License.";
    bool FitHorLit = true;        // Fit_Hor_LED
    bool FitVertLit = false;      // Fit_Vert_LED
    std::string ColorCountText = "256";  // ColorCountEdit
    std::string FramesText = "2";        // GIFrameEdit
    bool AnimationLeds[5] = {};          // LED_Animation_1..5
    int ViewWidth = 120, ViewHeight = 128;
    int Zoom = 100;  // the view's zoom percent

    // Animation state.
    int FrameCounter = 0;   // 0 while no animation is being built
    int FramesWanted = 0;   // frames wanted minus one, as the window keeps it
    int ColorsPerFrame = 0;

    // --- hooks ---
    std::function<void()> Changed;                    // repaint lamps, edits and the view
    std::function<void(const TGifSizeDisplay&)> ShowSize;
    // An open dialog: (title, filter) -> chosen path or empty.
    std::function<std::string(const std::string&, const std::string&)> ChooseFile;
    std::function<bool()> GifChecked;                 // GIFRadioButton
    std::function<void()> ShowEncoder;                // show PhoneDisplayEncoder1, hide i_mode_Logo
    std::function<void(const std::string&)> SetStatus;
    std::function<void(const std::string&)> ShowMessage;
    std::function<void()> Beep;

    // The thirteen handlers.
    void UndoSpeedButtonClick();
    void FlipHorizontalSButtonClick();
    void FlipVerticalSButtonClick();
    void RotateSButtonClick();
    void GrayScaleButtonClick();
    void NegativeSButtonClick();
    void ReduceColorSButtonClick();
    void AutoEqualizeSButtonClick();
    void FITHorizontalSButtonClick();
    void FITVerticalSButtonClick();
    void NEC_Display_LEDDblClick();
    void PhoneDisplayStatusLowDblClick();
    void InsertFrameSButtonClick();
    // "Fit 10 KB": the largest colour count up to the current one that keeps
    // "Snapshot.gif" within 10240 bytes, applied with undo; false (and a
    // message, nothing changed) when even 2 colours are too many.
    bool Fit10KbClick();

    // A time-lapse tick's GIF: dark-level boost, at most 64 colours,
    // "Snapshot.gif" written.
    void TimeLapseGif();
    // Other parts switch GIF LZW off: the lamp turns green with its hint.
    void SwitchLzwOff();
    // Ends an animation being built (another write of "Snapshot.gif").
    void EndAnimation();

private:
    void WriteGif();
    void Show();
    void ReduceIfNeeded();
    void PrepareFrame();
    void GrabAndLoad();
    void Notify();

    TImageEnCore& encoder_;
    TSnapshotPipeline& snapshot_;
    bool writingAnimation_ = false;
};

}  // namespace vandrex
