#include "imaging/hash1.h"

#include <algorithm>
#include <stdexcept>

#include "imaging/bitmap.h"

namespace vandrex {

THash1::THash1(int bits) {
    if (bits < 1 || bits > 24) throw std::invalid_argument("THash1: bits out of range");
    const std::uint32_t buckets = 2u << (bits - 1);
    mask_ = buckets - 1;
    state_.assign(buckets, kEmpty);
    value_.assign(buckets, 0);
    chain_.resize(buckets);
}

bool THash1::Insert(std::uint32_t value) {
    const std::uint32_t b = value & mask_;
    switch (state_[b]) {
        case kEmpty:
            state_[b] = kInPlace;
            value_[b] = value;
            ++count_;
            return true;
        case kInPlace:
            if (value_[b] == value) return false;
            chain_[b].push_back(value_[b]);
            chain_[b].push_back(value);
            state_[b] = kChain;
            ++count_;
            return true;
        default: {
            std::vector<std::uint32_t>& chain = chain_[b];
            // Searched from the head in groups of eight: a branch-free test
            // per group that the compiler turns into vector compares.
            const std::uint32_t* v = chain.data();
            const std::size_t n = chain.size();
            std::size_t i = 0;
            for (; i + 8 <= n; i += 8) {
                bool hit = false;
                for (std::size_t k = 0; k < 8; ++k) hit |= v[i + k] == value;
                if (hit) return false;
            }
            for (; i < n; ++i)
                if (v[i] == value) return false;
            chain.push_back(value);
            ++count_;
            return true;
        }
    }
}

std::int64_t CountColors(const TBitmap& picture, const TRect& region) {
    const int left = std::max(region.Left, 0);
    const int top = std::max(region.Top, 0);
    const int right = std::min(region.Right, picture.Width());
    const int bottom = std::min(region.Bottom, picture.Height());
    THash1 hash(13);
    for (int y = top; y < bottom; ++y) {
        const std::uint8_t* p = picture.Row(y) + std::size_t(left) * 3;
        for (int x = left; x < right; ++x, p += 3)
            hash.Insert(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16);
    }
    return hash.Count();
}

std::int64_t CountColors(const TBitmap& picture) { return CountColors(picture, picture.Bounds()); }

}  // namespace vandrex
