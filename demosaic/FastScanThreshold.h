// The fast scan's form of the threshold and of the sums over the usable
// directions: ThresholdGradients and the loop of the accumulation rules
// (demosaic/ColourSums.cpp) in 16-bit lanes, for one cell of a vector loop.
// Part of the scan body: internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/FastScanTerms.h"

#include <cstdint>

namespace
{

inline Sample Smaller(Sample a, Sample b)
{
    return a < b ? a : b;
}

inline Sample Larger(Sample a, Sample b)
{
    return a > b ? a : b;
}

// Estimates of the eight directions, first, second and third sum.
struct Estimates
{
    Sum first[8];
    Sum second[8];
    Sum third[8];
};

// ThresholdGradients followed by the sums over the usable directions, in
// 16-bit lanes; reciprocal is 1.0f / n, with n of 0 counted as 1.
inline void SumUsableDirections(const Sample g[8], const Estimates& e, Sum& first, Sum& second, Sum& third,
                                float& reciprocal)
{
    // Written out direction by direction (no loops), so that the loop over
    // the cells around it is a single block that vectorises.
    const Sample minimum = Smaller(Smaller(Smaller(g[0], g[1]), Smaller(g[2], g[3])),
                                   Smaller(Smaller(g[4], g[5]), Smaller(g[6], g[7])));
    const Sample maximum = Larger(Larger(Larger(g[0], g[1]), Larger(g[2], g[3])),
                                  Larger(Larger(g[4], g[5]), Larger(g[6], g[7])));
    // g < min + floor(max / 2), written so that nothing leaves 16 bits.
    const auto halfMaximum = static_cast<Sample>(maximum >> 1);
    Sum sum1 = 0;
    Sum sum2 = 0;
    Sum sum3 = 0;
    int32_t n = 0;
    auto addIfUsable = [&](int k) {
        // All ones for a usable direction: the estimates are masked with an
        // AND, which the compiler keeps as one instruction per vector.
        const auto usable = static_cast<Sum>(static_cast<Sample>(g[k] - minimum) < halfMaximum ? 0xFFFF : 0);
        sum1 = static_cast<Sum>(sum1 + (e.first[k] & usable));
        sum2 = static_cast<Sum>(sum2 + (e.second[k] & usable));
        sum3 = static_cast<Sum>(sum3 + (e.third[k] & usable));
        n += usable & 1;
    };
    addIfUsable(0);
    addIfUsable(1);
    addIfUsable(2);
    addIfUsable(3);
    addIfUsable(4);
    addIfUsable(5);
    addIfUsable(6);
    addIfUsable(7);
    // n of 0 counts as 1 (the sums are 0 then). Written as an addition: as a
    // selection GCC moves the conversion to float into a branch, which keeps
    // the loop from being vectorised.
    reciprocal = 1.0f / static_cast<float>(n + (n == 0 ? 1 : 0));
    first = sum1;
    second = sum2;
    third = sum3;
}

}  // namespace
