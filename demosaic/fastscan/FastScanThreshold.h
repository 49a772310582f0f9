// The fast scan's form of the threshold and of the sums over the usable
// directions: ThresholdGradients and the loop of the accumulation rules
// (demosaic/ColourSums.cpp) in 16-bit lanes, for one cell of a vector loop.
// Part of the scan body: internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/fastscan/FastScanTerms.h"
#include "raw/Lattice.h"

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

// The three estimates of every direction around one cell, indexed by
// Direction: the rows of an accumulation rule's table.
struct Estimates
{
    Sum first[kDirectionCount];
    Sum second[kDirectionCount];
    Sum third[kDirectionCount];
};

// ThresholdGradients on the slots g, then the sums over the usable directions
// as Accumulate adds them; reciprocal is 1.0f / n, with n of 0 counted as 1.
// The results stay four separate references: gathered in a struct, GCC 12
// no longer inlines this function into the cell loops, and without it
// inlined they are not vectorised.
inline void SumUsableDirections(const Sample g[kDirectionCount], const Estimates& e, Sum& first, Sum& second,
                                Sum& third, float& reciprocal)
{
    // Written out direction by direction (no loops), so that the loop over
    // the cells around it is a single block that vectorises.

    // minimum, maximum: the smallest and largest of the eight slots, as
    // GradientThreshold finds them.
    const Sample minimum = Smaller(Smaller(Smaller(g[kNorth], g[kEast]), Smaller(g[kSouth], g[kWest])),
                                   Smaller(Smaller(g[kNorthEast], g[kSouthEast]),
                                           Smaller(g[kSouthWest], g[kNorthWest])));
    const Sample maximum = Larger(Larger(Larger(g[kNorth], g[kEast]), Larger(g[kSouth], g[kWest])),
                                  Larger(Larger(g[kNorthEast], g[kSouthEast]),
                                         Larger(g[kSouthWest], g[kNorthWest])));
    // The rule's threshold trunc((max - min) * 0.5 + min * 1.5) is
    // min + floor(max / 2) for slots of 0 or more; a slot is kept when
    // g[k] < threshold, tested as g[k] - min < floor(max / 2) so that nothing
    // leaves 16 bits.
    const auto halfMaximum = static_cast<Sample>(maximum >> 1);
    Sum sum1 = 0;
    Sum sum2 = 0;
    Sum sum3 = 0;
    int32_t n = 0;
    auto addIfUsable = [&](Direction k) {
        // usable: g[k] < threshold, all ones then and 0 otherwise. The
        // estimates are masked with an AND, which the compiler keeps as one
        // instruction per vector.
        const auto usable = static_cast<Sum>(static_cast<Sample>(g[k] - minimum) < halfMaximum ? 0xFFFF : 0);
        // first += e.first
        sum1 = static_cast<Sum>(sum1 + (e.first[k] & usable));
        // second += e.second
        sum2 = static_cast<Sum>(sum2 + (e.second[k] & usable));
        // third += e.third
        sum3 = static_cast<Sum>(sum3 + (e.third[k] & usable));
        // ++n
        n += usable & 1;
    };
    addIfUsable(kNorth);
    addIfUsable(kEast);
    addIfUsable(kSouth);
    addIfUsable(kWest);
    addIfUsable(kNorthEast);
    addIfUsable(kSouthEast);
    addIfUsable(kSouthWest);
    addIfUsable(kNorthWest);
    // n == 0 ? 1 : n (the sums are 0 then). Written as an addition: as a
    // selection GCC moves the conversion to float into a branch, which keeps
    // the loop from being vectorised.
    reciprocal = 1.0f / static_cast<float>(n + (n == 0 ? 1 : 0));
    first = sum1;
    second = sum2;
    third = sum3;
}

}  // namespace
