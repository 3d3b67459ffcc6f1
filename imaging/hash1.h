#pragma once
// THash1: a set of integers hashed by their low bits into 2^b buckets. A
// bucket holds one value in place or a chain searched from the head and
// extended at the tail. Used to count the distinct colours of a picture.

#include <cstdint>
#include <vector>

namespace vandrex {

class TBitmap;
struct TRect;

class THash1 {
public:
    // bits: 1..24; the bucket of a value is its low `bits` bits.
    explicit THash1(int bits);

    // Adds value; returns false when it was already present.
    bool Insert(std::uint32_t value);
    // Number of successful inserts.
    std::int64_t Count() const { return count_; }

private:
    enum : std::uint8_t { kEmpty = 0, kInPlace = 1, kChain = 2 };
    std::uint32_t mask_;
    std::vector<std::uint8_t> state_;
    std::vector<std::uint32_t> value_;
    // Chains are kept as contiguous arrays, head first: the same order as a
    // linked chain, without an allocation per value.
    std::vector<std::vector<std::uint32_t>> chain_;
    std::int64_t count_ = 0;
};

// Number of distinct colours in `region` of the picture (clipped to it), each
// pixel taken as blue + green * 256 + red * 65536, counted with 8192 buckets.
std::int64_t CountColors(const TBitmap& picture, const TRect& region);
std::int64_t CountColors(const TBitmap& picture);

}  // namespace vandrex
