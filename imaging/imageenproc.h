#pragma once
// TImageEnProc: the image processor of the image component. Every processing
// operation does nothing without a picture, first copies the picture into the
// undo buffer while AutoUndo is on, and refreshes the view afterwards.
// Negative, grayscale, the dark-level boost and the colour count work on the
// component's region (its selection, else the whole picture).

#include <cstdint>

#include "imaging/bitmap.h"

namespace vandrex {

class TImageEnCore;

enum class TFlipDirection { Horizontal = 0, Vertical = 1 };

class TImageEnProc {
public:
    explicit TImageEnProc(TImageEnCore& owner) : owner_(owner) {}

    bool AutoUndo = true;

    // The undo buffer counts as empty while it is smaller than 2 x 2.
    bool UndoEmpty() const { return undo_.Width() < 2 || undo_.Height() < 2; }
    const TBitmap& UndoBuffer() const { return undo_; }
    void SaveUndo();
    // Restores the buffer's picture; the buffer stays as it is, so a second
    // Undo restores the same picture again.
    void Undo();

    void Flip(TFlipDirection direction);
    void Negative();
    // Gray level (red * 30 + green * 59 + blue * 11) / 100, halves to even.
    void ConvertToGray();
    // Dark-level boost: a histogram equalization that also looks at each
    // pixel's 3 x 3 neighbourhood. Pictures under 256 pixels stay unchanged.
    void AutoEqualize();
    // Turns by quarter turns: above 45 degrees counter-clockwise, below -45
    // clockwise; a remainder within +-45 degrees is not applied.
    void Rotate(double angle, bool antialias = false);
    // A negative width or height keeps the proportions; both negative do
    // nothing. Filters: see resample.h.
    void Resample(int width, int height, int filter);
    // Reduces to at most limit colours with the octree quantizer.
    void ReduceColors(int limit);
    // Distinct colours in the region.
    std::int64_t CalcImageNumColors() const;

private:
    bool Begin();
    TImageEnCore& owner_;
    TBitmap undo_;
};

// The picture operations themselves, on a bitmap.
void FlipBitmap(TBitmap& picture, TFlipDirection direction);
void NegativeRegion(TBitmap& picture, const TRect& region);
void GrayRegion(TBitmap& picture, const TRect& region);
void EqualizeRegion(TBitmap& picture, const TRect& region);
void RotateBitmap(TBitmap& picture, double angle);

}  // namespace vandrex
