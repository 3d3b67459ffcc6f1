#pragma once
// TImageEnCore: the non-visual part of the image component. It holds the
// working picture (always 24-bit), the optional selection, the background
// colour and the colour-depth setting, and owns the image processor (Proc)
// and the image file component (IO), both working on its picture. A view
// shows Bitmap() and is told through OnChange when the picture changed.

#include <functional>
#include <optional>

#include "imaging/bitmap.h"
#include "imaging/imageenio.h"
#include "imaging/imageenproc.h"

namespace vandrex {

enum class TNColors { nc8bit, nc24bit };

class TImageEnCore {
public:
    TImageEnCore();
    TImageEnCore(const TImageEnCore&) = delete;
    TImageEnCore& operator=(const TImageEnCore&) = delete;

    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }
    bool HasPicture() const { return !bitmap_.Empty(); }
    // Replaces the working picture and refreshes the view.
    void Assign(TBitmap picture);

    // The region that region operations work on: the selection clipped to
    // the picture when there is one, else the whole picture.
    TRect Region() const;
    std::optional<TRect> Selection;

    // Written as GIF palette entry 0.
    TRGB Background{255, 255, 255};

    // Pictures are always 24-bit: any value stores nc24bit.
    TNColors NColors() const { return nColors_; }
    void SetNColors(TNColors) { nColors_ = TNColors::nc24bit; }

    // Called after every change of the picture.
    std::function<void()> OnChange;
    void Update() {
        if (OnChange) OnChange();
    }

    TImageEnProc Proc;
    TImageEnIO IO;

private:
    TBitmap bitmap_;
    TNColors nColors_ = TNColors::nc24bit;
};

}  // namespace vandrex
