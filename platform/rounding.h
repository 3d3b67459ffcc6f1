#pragma once
// Round: nearest integer, halves to the even neighbour (banker's rounding).

#include <cmath>
#include <cstdint>

namespace vandrex {

inline std::int64_t Round(double value) {
    return static_cast<std::int64_t>(std::nearbyint(value));  // default FE_TONEAREST
}

}  // namespace vandrex
