#include "imaging/imageencore.h"

#include <algorithm>

namespace vandrex {

TImageEnCore::TImageEnCore() : Proc(*this), IO(*this) {}

void TImageEnCore::Assign(TBitmap picture) {
    bitmap_ = std::move(picture);
    Update();
}

TRect TImageEnCore::Region() const {
    const TRect all = bitmap_.Bounds();
    if (!Selection) return all;
    TRect r{std::clamp(Selection->Left, 0, all.Right), std::clamp(Selection->Top, 0, all.Bottom),
            std::clamp(Selection->Right, 0, all.Right), std::clamp(Selection->Bottom, 0, all.Bottom)};
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
}

}  // namespace vandrex
