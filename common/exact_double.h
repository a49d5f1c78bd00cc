// Double-precision products and quotients worked out in integers, rounded
// to 53 bits (nearest, ties to even) as an IEEE machine rounds them. Where
// a result is truncated to whole pixels, one rounding more or less moves it
// by one: x87 code (the 32-bit build) keeps intermediates in 80 bits and
// rounds twice when it stores them, so the few such results are computed
// here instead, the same on every machine.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vc {

struct ExactDouble {
    uint64_t mantissa = 0;  // below 2^53 once rounded
    int exponent = 0;       // the value is mantissa * 2^exponent
};

// hi:lo * 2^exponent (plus something below its last bit when sticky),
// rounded to 53 bits.
inline ExactDouble exactRounded(uint64_t hi, uint64_t lo, int exponent, bool sticky) {
    bool round = false;
    while (hi != 0 || (lo >> 53) != 0) {
        sticky = sticky || round;
        round = (lo & 1) != 0;
        lo = (lo >> 1) | (hi << 63);
        hi >>= 1;
        ++exponent;
    }
    if (round && (sticky || (lo & 1) != 0) && (++lo >> 53) != 0) {
        lo >>= 1;
        ++exponent;
    }
    return {lo, exponent};
}

inline ExactDouble exactProduct(ExactDouble a, ExactDouble b) {
    constexpr uint64_t kLow = 0xFFFFFFFFu;
    const uint64_t a0 = a.mantissa & kLow, a1 = a.mantissa >> 32, b0 = b.mantissa & kLow, b1 = b.mantissa >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0;
    const uint64_t mid = (p00 >> 32) + (p01 & kLow) + (p10 & kLow);
    return exactRounded(a1 * b1 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (p00 & kLow) | (mid << 32),
                        a.exponent + b.exponent, false);
}

// numerator / denominator; 0 when either is 0.
inline ExactDouble exactRatio(uint32_t numerator, uint32_t denominator) {
    if (numerator == 0 || denominator == 0) return {};
    uint64_t q = numerator / denominator, r = numerator % denominator;
    int exponent = 0;
    while (q < (uint64_t(1) << 54)) {  // two bits past the 53 kept
        r <<= 1;
        q <<= 1;
        if (r >= denominator) r -= denominator, q |= 1;
        --exponent;
    }
    return exactRounded(0, q, exponent, r != 0);
}

// The value truncated toward zero, at most ceiling.
inline uint64_t exactTruncated(ExactDouble v, uint64_t ceiling) {
    if (v.mantissa == 0 || v.exponent <= -64) return 0;
    if (v.exponent < 0) return std::min(v.mantissa >> -v.exponent, ceiling);
    return v.exponent >= 64 || v.mantissa > (ceiling >> v.exponent) ? ceiling : v.mantissa << v.exponent;
}

}  // namespace vc
