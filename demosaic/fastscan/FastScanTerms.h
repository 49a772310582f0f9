// The arithmetic pieces of the fast scan body in 16-bit lanes: the lane
// types, the full and halved gradient terms, the means that make up the
// estimates, and the two kinds of output byte. Each one matches the per-cell
// form named beside it for every sample below kFastScanSampleLimit
// (FastScanVariants.h; FastScanKernel.h gives the argument); like the rest of
// the body it has internal linkage.
#pragma once

#include <cstdint>

namespace
{

using Sample = int16_t;  // a sample, a difference or a gradient (all below 2^15)
using Sum = uint16_t;    // an estimate or a colour sum (below 2^16)

// |p - q|, the full term of the gradient rules.
inline Sample Full(Sample p, Sample q)
{
    // Written so that the compiler keeps it in 16-bit lanes: a test of the
    // sign becomes a compare and a blend, or a detour through 32 bits. GCC
    // and Clang turn the builtin into one absolute-value instruction where
    // the instruction set has one; elsewhere the larger of the two
    // differences is a subtraction more and a maximum.
    const auto d = static_cast<Sample>(p - q);
#if defined(__GNUC__)
    return static_cast<Sample>(__builtin_abs(d));
#else
    const auto e = static_cast<Sample>(q - p);
    return d > e ? d : e;
#endif
}

// |p - q| / 2 rounded down, the halved term of the gradient rules.
inline Sample Half(Sample p, Sample q)
{
    return static_cast<Sample>(Full(p, q) >> 1);
}

// (a + b) / 2, (a + b + c) / 3 and (a + b + c + d) / 4 of the estimates,
// rounded down; the sums stay below 2^16.
inline Sum Mean2(Sample a, Sample b)
{
    return static_cast<Sum>(static_cast<Sum>(a + b) >> 1);
}

inline Sum Mean3(Sample a, Sample b, Sample c)
{
    return static_cast<Sum>(static_cast<Sum>(a + b + c) / 3);
}

inline Sum Mean4(Sample a, Sample b, Sample c, Sample d)
{
    return static_cast<Sum>(static_cast<Sum>(a + b + c + d) >> 2);
}

// InterpolatedValue(sum, nativeSum, n, sample) of demosaic/Demosaic.h, the
// byte of a missing channel: ((sum - nativeSum) / n + sample) / 12, limited
// to 0 to 255; reciprocal is 1.0f / n.
// The mean difference lies within +-8191 (n estimates of 0 to 8191 each on
// either side), so e = mean + sample fits 16 bits, and for such e the
// single-precision quotient e / 12.0f truncates to the integer quotient.
inline uint32_t InterpolatedByte(Sum sum, Sum nativeSum, float reciprocal, Sample sample)
{
    const int32_t difference = static_cast<int32_t>(sum) - static_cast<int32_t>(nativeSum);
    const auto mean = static_cast<int32_t>(static_cast<float>(difference) * reciprocal);
    const auto e = static_cast<Sample>(mean + sample);
    const auto value = static_cast<Sample>(e / 12);
    return static_cast<uint32_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// NativeValue(sample) of demosaic/Demosaic.h, the byte of the cell's own
// channel: sample / 12, at most 255. The rule divides
// in single precision; for a sample below 2^24 the truncated quotient is the
// integer quotient, which the vector units compute faster.
inline uint32_t NativeByte(Sample sample)
{
    const auto value = static_cast<Sum>(static_cast<Sum>(sample) / 12);
    return static_cast<uint32_t>(value > 255 ? 255 : value);
}

// All ones where the cell j of a row takes the second of two choices, 0
// where it takes the first: the choice alternates from cell to cell, and
// secondAtEvenCells (0 or 1) gives it at the cells with even j. Taken from j
// with integer operations: a test of j's parity as a bool keeps GCC from
// vectorising the loop.
inline uint32_t AlternatingMask(int32_t j, uint32_t secondAtEvenCells)
{
    return 0u - ((static_cast<uint32_t>(j) & 1u) ^ secondAtEvenCells);
}

// ifSet where mask is all ones, ifClear where it is 0: a selection with
// AND and OR, which the vector units do without branches.
inline uint32_t Choose(uint32_t mask, uint32_t ifSet, uint32_t ifClear)
{
    return (ifClear & ~mask) | (ifSet & mask);
}

// The 32-bit pixel of three bytes: blue in byte 0, green in byte 1, red in
// byte 2 and 0 in byte 3.
inline uint32_t PixelOf(uint32_t blue, uint32_t green, uint32_t red)
{
    return blue | green << 8 | red << 16;
}

}  // namespace
