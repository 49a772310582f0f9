// The body of the fast demosaic scan, compiled once per instruction set.
//
// Each of demosaic/FastScanBaseline.cpp and demosaic/FastScanAvx2.cpp
// includes this file once and wraps ScanRows in a function of its own name;
// the two are built with different compiler flags. Everything here therefore
// has internal linkage and calls no inline function of another header: the
// linker could otherwise keep the AVX2 copy of such a function for both.
//
// How the scan is laid out. In a row r of the composite mosaic every odd
// column is green and every even column red or blue, so along a row two
// kinds of cells alternate, and within one kind only the site-class parity h
// changes from cell to cell:
//   - green cells: gradient rule by the parity of r (N and S differ), then
//     AccumulateGreenB (r odd) or AccumulateGreenA (r even);
//   - red and blue cells: gradient rule by the parity of r (N and S
//     vertical terms), then AccumulateColor0 (r even) or AccumulateColor1
//     (r odd).
// The five rows r - 2 to r + 2 are split into their even and odd columns as
// 16-bit arrays, so that every neighbour P(dy, dx) of the j-th cell of one
// kind is element j + k of one array: the loops over j read memory with unit
// stride and the compiler turns them into vector code.
//
// Exactness. All integer steps fit in 16 bits when every sample is below 8192
// (the white balance of 12-bit samples reaches 6756): a gradient is at most
// three full differences, 3 * 8191, plus a fourth halved one; an estimate sums
// at most four samples; a colour sum at most eight estimates, 65,528, held
// unsigned. The threshold min + floor(max / 2) is compared as
// g - min < floor(max / 2), which stays in range. The double-precision slots
// (the green N and S, the R1/B1 south term) are computed in double exactly as
// the per-cell rules do: each quotient w / 1.1 is the same correctly rounded
// double whether computed for one cell or shared by the two green cells on
// either side of the column, and the additions keep their order. The mean
// difference (S_X - S_nat) / n is taken as float(S_X - S_nat) * (1.0f / n)
// truncated: for |S_X - S_nat| < 2^17 and n from 1 to 8 this is the integer
// quotient (the reciprocals of 3, 5, 6 and 7 round up in single precision, so
// an exact multiple never falls below its quotient, and any other numerator
// lies at least 1/8 from an integer while the rounding error stays below
// 1/100). The division by 12 is the single-precision division of the rule.
#pragma once

#include "demosaic/FastScanVariants.h"

#include <cstdint>
#include <cstring>

namespace
{

using Sample = int16_t;  // a sample, a difference or a gradient (all below 2^15)
using Sum = uint16_t;    // an estimate or a colour sum (below 2^16)

// Mosaic rows r - 2 .. r + 2 split into even and odd columns: even[k][i] is
// the sample of column firstColumn - 2 + 2i of row r - 2 + k, odd[k][i] that
// of column firstColumn - 1 + 2i.
struct SplitRows
{
    const Sample* even[5];
    const Sample* odd[5];
};

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

inline Sample Half(Sample p, Sample q)
{
    return static_cast<Sample>(Full(p, q) >> 1);
}

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

inline Sample Smaller(Sample a, Sample b)
{
    return a < b ? a : b;
}

inline Sample Larger(Sample a, Sample b)
{
    return a > b ? a : b;
}

// Byte of a missing channel: ((sum - nativeSum) / n + sample) / 12 as the
// per-cell rule computes it, limited to 0 to 255; reciprocal is 1.0f / n.
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

// Byte of the cell's own channel: sample / 12, at most 255. The rule divides
// in single precision; for a sample below 2^24 the truncated quotient is the
// integer quotient, which the vector units compute faster.
inline uint32_t NativeByte(Sample sample)
{
    const auto value = static_cast<Sum>(static_cast<Sum>(sample) / 12);
    return static_cast<uint32_t>(value > 255 ? 255 : value);
}

// |trunc(p - q / 1.1)| in double precision: the south vertical term of the
// red and blue cells of odd rows.
inline Sample SouthTermOfOddRow(Sample p, Sample q)
{
    const auto t = static_cast<int32_t>(static_cast<double>(p) - static_cast<double>(q) / 1.1);
    return static_cast<Sample>(t < 0 ? -t : t);
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

// The row pairs (rows 2m and 2m + 1) whose even-column differences, divided
// by 1.1 in double, enter the N and S slots of the green cells. Each pair
// serves four rows, so the last three are kept.
struct PairQuotients
{
    int32_t pairRow[3] = {-1, -1, -1};
    double* quotients[3] = {};
    int32_t next = 0;
};

// Returns |even(row) - even(row + 1)| / 1.1 for every even-column position,
// computing it only when the pair is not kept.
inline const double* QuotientsOfPair(PairQuotients& cache, int32_t row, const Sample* upper, const Sample* lower,
                                     int32_t count)
{
    for (int s = 0; s < 3; ++s)
        if (cache.pairRow[s] == row)
            return cache.quotients[s];
    double* q = cache.quotients[cache.next];
    cache.pairRow[cache.next] = row;
    cache.next = (cache.next + 1) % 3;
    for (int32_t i = 0; i < count; ++i)
        q[i] = static_cast<double>(Full(upper[i], lower[i])) / 1.1;
    return q;
}

// The N and S slots of a row's green cells: I + w / 1.1 + e / 1.1 in double,
// the integer part first and the west term before the east term, truncated.
// The samples P(-2, 0) to P(2, 0) of cell j are above2[j] to below2[j]; its
// west and east quotients are qNorth[j] and qNorth[j + 1] (qSouth for S).
inline void ComputeGreenNorthSouth(const Sample* __restrict above2, const Sample* __restrict above1,
                                   const Sample* __restrict centre, const Sample* __restrict below1,
                                   const Sample* __restrict below2, const double* __restrict qNorth,
                                   const double* __restrict qSouth, int32_t count, Sample* __restrict north,
                                   Sample* __restrict south)
{
    for (int32_t j = 0; j < count; ++j)
    {
        const Sample vertical = Full(below1[j], above1[j]);
        const auto integerNorth = static_cast<Sample>(Full(centre[j], above2[j]) + vertical);
        const auto integerSouth = static_cast<Sample>(Full(centre[j], below2[j]) + vertical);
        double x = static_cast<double>(integerNorth);
        x = x + qNorth[j];
        x = x + qNorth[j + 1];
        north[j] = static_cast<Sample>(static_cast<int32_t>(x));
        double y = static_cast<double>(integerSouth);
        y = y + qSouth[j];
        y = y + qSouth[j + 1];
        south[j] = static_cast<Sample>(static_cast<int32_t>(y));
    }
}

// Green cells of row r: cell j is column firstColumn + 1 + 2j. P(dy, 0) and
// P(dy, +-2) come from the odd arrays, P(dy, +-1) from the even ones. north
// and south hold the N and S slots, computed in double beforehand.
// redIsThirdAtEvenCells is 1 when the red byte of the cells with even j comes
// from the third sum (f = h there) and 0 when from the first; with h it
// alternates from cell to cell.
template <bool kEvenRow>
void InterpolateGreenCells(const SplitRows& rows, const Sample* north, const Sample* south, int32_t count,
                           uint32_t redIsThirdAtEvenCells, uint32_t* pixels)
{
    const Sample* const o0 = rows.odd[0];
    const Sample* const o1 = rows.odd[1];
    const Sample* const o2 = rows.odd[2];
    const Sample* const o3 = rows.odd[3];
    const Sample* const o4 = rows.odd[4];
    const Sample* const e0 = rows.even[0] + 1;
    const Sample* const e1 = rows.even[1] + 1;
    const Sample* const e2 = rows.even[2] + 1;
    const Sample* const e3 = rows.even[3] + 1;
    const Sample* const e4 = rows.even[4] + 1;
    for (int32_t j = 0; j < count; ++j)
    {
        // P(dy, dx) of green cell j: odd arrays at j + 1 + dx / 2, even arrays
        // at j + (dx + 1) / 2 after the offset of one above.
        const Sample mm2 = o0[j], m02 = o0[j + 1], pm2 = o0[j + 2];  // row -2: dx -2, 0, +2
        const Sample mm1 = o1[j], m01 = o1[j + 1], pm1 = o1[j + 2];  // row -1
        const Sample mm0 = o2[j], c00 = o2[j + 1], pm0 = o2[j + 2];  // row 0
        const Sample mp1 = o3[j], m11 = o3[j + 1], pp1 = o3[j + 2];  // row +1
        const Sample mp2 = o4[j], m22 = o4[j + 1], pp2 = o4[j + 2];  // row +2
        const Sample wm2 = e0[j], em2 = e0[j + 1];  // row -2: dx -1, +1
        const Sample wm1 = e1[j], em1 = e1[j + 1];  // row -1
        const Sample w00 = e2[j], e00 = e2[j + 1];  // row 0
        const Sample wp1 = e3[j], ep1 = e3[j + 1];  // row +1
        const Sample wp2 = e4[j], ep2 = e4[j + 1];  // row +2

        Sample g[8];
        g[0] = north[j];
        g[2] = south[j];
        g[1] = static_cast<Sample>(Full(c00, pm0) + Half(m01, pm1) + Half(m11, pp1));
        g[3] = static_cast<Sample>(Full(c00, mm0) + Half(m01, mm1) + Half(m11, mp1));
        g[4] = static_cast<Sample>(Full(c00, pm2) + Full(wp1, em1) + Half(w00, em2) + Half(m11, pm1));
        g[5] = static_cast<Sample>(Full(c00, pp2) + Full(wm1, ep1) + Half(w00, ep2) + Half(m01, pp1));
        g[6] = static_cast<Sample>(Full(c00, mp2) + Full(em1, wp1) + Half(e00, wp2) + Half(m01, mp1));
        g[7] = static_cast<Sample>(Full(c00, mm2) + Full(ep1, wm1) + Half(e00, wm2) + Half(m11, mm1));

        // The estimates of AccumulateGreenB (r odd) and AccumulateGreenA
        // (r even), slot by slot.
        Estimates est;
        // The green estimates of the two rules are equal direction by direction.
        est.second[0] = Mean4(m02, m01, c00, m11);
        est.second[1] = Mean4(pm1, c00, pm0, pp1);
        est.second[2] = Mean4(m01, c00, m11, m22);
        est.second[3] = Mean4(mm1, mm0, c00, mp1);
        est.second[4] = Mean4(pm2, m01, pm1, c00);
        est.second[5] = Mean4(c00, m11, pp1, pp2);
        est.second[6] = Mean4(c00, mp1, m11, mp2);
        est.second[7] = Mean4(mm2, mm1, m01, c00);
        if constexpr (!kEvenRow)
        {
            est.first[0] = Mean2(em2, wm1);
            est.third[0] = Mean2(wm2, em1);
            est.first[1] = static_cast<Sum>(ep1);
            est.third[1] = Mean2(em1, e00);
            est.first[2] = Mean2(ep1, ep2);
            est.third[2] = Mean2(wp1, wp2);
            est.first[3] = Mean2(wm1, w00);
            est.third[3] = static_cast<Sum>(wp1);
            est.first[4] = static_cast<Sum>(em2);
            est.third[4] = Mean2(em1, e00);
            est.first[5] = Mean2(ep1, ep2);
            est.third[5] = static_cast<Sum>(e00);
            est.first[6] = static_cast<Sum>(w00);
            est.third[6] = Mean2(wp1, wp2);
            est.first[7] = Mean2(wm1, w00);
            est.third[7] = static_cast<Sum>(wm2);
        }
        else
        {
            est.first[0] = Mean2(em2, em1);
            est.third[0] = Mean2(wm2, wm1);
            est.first[1] = static_cast<Sum>(em1);
            est.third[1] = Mean2(e00, ep1);
            est.first[2] = Mean2(wp1, ep2);
            est.third[2] = Mean2(ep1, wp2);
            est.first[3] = Mean2(w00, wp1);
            est.third[3] = static_cast<Sum>(wm1);
            est.first[4] = Mean2(em2, em1);
            est.third[4] = static_cast<Sum>(e00);
            est.first[5] = static_cast<Sum>(ep2);
            est.third[5] = Mean2(e00, ep1);
            est.first[6] = Mean2(w00, wp1);
            est.third[6] = static_cast<Sum>(wp2);
            est.first[7] = static_cast<Sum>(w00);
            est.third[7] = Mean2(wm2, wm1);
        }
        Sum first;
        Sum second;
        Sum third;
        float reciprocal;
        SumUsableDirections(g, est, first, second, third, reciprocal);

        // Green byte from the sample; red and blue from the first and third
        // sums, in the order given by f and h.
        const uint32_t green = NativeByte(c00);
        const uint32_t fromFirst = InterpolatedByte(first, second, reciprocal, c00);
        const uint32_t fromThird = InterpolatedByte(third, second, reciprocal, c00);
        // All ones where red comes from the third sum. Taken from j with
        // integer operations: a test of j's parity as a bool keeps GCC from
        // vectorising the loop.
        const uint32_t redIsThird = 0u - ((static_cast<uint32_t>(j) & 1u) ^ redIsThirdAtEvenCells);
        const uint32_t red = (fromFirst & ~redIsThird) | (fromThird & redIsThird);
        const uint32_t blue = (fromThird & ~redIsThird) | (fromFirst & redIsThird);
        pixels[j] = blue | green << 8 | red << 16;
    }
}

// Red and blue cells of row r: cell j is column firstColumn + 2j. P(dy, 0)
// and P(dy, +-2) come from the even arrays, P(dy, +-1) from the odd ones.
// southOfOddRow holds the south vertical terms when r is odd.
// blueAtEvenCells is 1 when the cells with even j are blue (h = 1).
template <bool kEvenRow>
void InterpolateColourCells(const SplitRows& rows, const Sample* southOfOddRow, int32_t count,
                            uint32_t blueAtEvenCells, uint32_t* pixels)
{
    const Sample* const e0 = rows.even[0];
    const Sample* const e1 = rows.even[1];
    const Sample* const e2 = rows.even[2];
    const Sample* const e3 = rows.even[3];
    const Sample* const e4 = rows.even[4];
    const Sample* const o0 = rows.odd[0];
    const Sample* const o1 = rows.odd[1];
    const Sample* const o2 = rows.odd[2];
    const Sample* const o3 = rows.odd[3];
    const Sample* const o4 = rows.odd[4];
    for (int32_t j = 0; j < count; ++j)
    {
        const Sample mm2 = e0[j], m02 = e0[j + 1], pm2 = e0[j + 2];  // row -2: dx -2, 0, +2
        const Sample mm1 = e1[j], m01 = e1[j + 1], pm1 = e1[j + 2];  // row -1
        const Sample mm0 = e2[j], c00 = e2[j + 1], pm0 = e2[j + 2];  // row 0
        const Sample mp1 = e3[j], m11 = e3[j + 1], pp1 = e3[j + 2];  // row +1
        const Sample mp2 = e4[j], m22 = e4[j + 1], pp2 = e4[j + 2];  // row +2
        const Sample wm2 = o0[j], em2 = o0[j + 1];  // row -2: dx -1, +1
        const Sample wm1 = o1[j], em1 = o1[j + 1];  // row -1
        const Sample w00 = o2[j], e00 = o2[j + 1];  // row 0
        const Sample wp1 = o3[j], ep1 = o3[j + 1];  // row +1
        const Sample wp2 = o4[j], ep2 = o4[j + 1];  // row +2
        (void)mm0;
        (void)pm0;

        const auto shared = static_cast<Sample>(Half(wm1, wp1) + Half(em1, ep1));
        Sample northVertical;
        Sample southVertical;
        if constexpr (kEvenRow)
        {
            northVertical = Full(m02, m01);
            southVertical = Full(c00, m11);
            (void)southOfOddRow;
        }
        else
        {
            northVertical = Full(c00, m01);
            southVertical = southOfOddRow[j];
        }
        Sample g[8];
        g[0] = static_cast<Sample>(Half(wm2, w00) + Half(em2, e00) + shared + northVertical);
        g[2] = static_cast<Sample>(Half(e00, ep2) + Half(w00, wp2) + shared + southVertical);
        g[1] = static_cast<Sample>(Half(wp1, ep1) + Half(wm1, em1) + Full(w00, e00));
        g[3] = g[1];
        g[4] = static_cast<Sample>(Half(em2, w00) + Half(pm1, m11) + Full(em1, wp1) + Full(pm2, c00));
        g[5] = static_cast<Sample>(Half(ep2, w00) + Half(pp1, m01) + Full(ep1, wm1) + Full(pp2, c00));
        g[6] = static_cast<Sample>(Half(wp2, e00) + Half(mp1, m01) + Full(wp1, em1) + Full(mp2, c00));
        g[7] = static_cast<Sample>(Half(wm2, e00) + Half(mm1, m11) + Full(wm1, ep1) + Full(mm2, c00));

        // The estimates of AccumulateColor0 (r even) and AccumulateColor1
        // (r odd), slot by slot.
        Estimates est;
        // The green estimates of the two rules are equal direction by direction.
        est.second[0] = Mean4(wm2, em2, wm1, em1);
        est.second[1] = Mean3(em1, e00, ep1);
        est.second[2] = Mean4(wp1, ep1, wp2, ep2);
        est.second[3] = Mean3(wm1, w00, wp1);
        est.second[4] = Mean3(em2, em1, e00);
        est.second[5] = Mean3(e00, ep1, ep2);
        est.second[6] = Mean3(w00, wp1, wp2);
        est.second[7] = Mean3(wm2, wm1, w00);
        if constexpr (kEvenRow)
        {
            est.first[0] = static_cast<Sum>(c00);
            est.third[0] = Mean2(m02, m01);
            est.first[1] = Mean2(pm1, c00);
            est.third[1] = Mean2(pm0, pp1);
            est.first[2] = Mean2(c00, m11);
            est.third[2] = static_cast<Sum>(m22);
            est.first[3] = Mean2(mm1, c00);
            est.third[3] = Mean2(mm0, mp1);
            est.first[4] = Mean3(pm2, pm1, c00);
            est.third[4] = static_cast<Sum>(m01);
            est.first[5] = Mean3(c00, m11, pp2);
            est.third[5] = static_cast<Sum>(pp1);
            est.first[6] = Mean3(c00, m11, mp2);
            est.third[6] = static_cast<Sum>(mp1);
            est.first[7] = Mean3(mm2, mm1, c00);
            est.third[7] = static_cast<Sum>(m01);
        }
        else
        {
            est.first[0] = Mean2(m01, c00);
            est.third[0] = static_cast<Sum>(m02);
            est.first[1] = Mean2(c00, pp1);
            est.third[1] = Mean2(pm1, pm0);
            est.first[2] = static_cast<Sum>(c00);
            est.third[2] = Mean2(m11, m22);
            est.first[3] = Mean2(c00, mp1);
            est.third[3] = Mean2(mm1, mm0);
            est.first[4] = Mean3(pm2, m01, c00);
            est.third[4] = static_cast<Sum>(pm1);
            est.first[5] = Mean3(c00, pp1, pp2);
            est.third[5] = static_cast<Sum>(m11);
            est.first[6] = Mean3(c00, mp1, mp2);
            est.third[6] = static_cast<Sum>(m11);
            est.first[7] = Mean3(mm2, m01, c00);
            est.third[7] = static_cast<Sum>(mm1);
        }
        Sum first;
        Sum second;
        Sum third;
        float reciprocal;
        SumUsableDirections(g, est, first, second, third, reciprocal);

        // Own colour from the sample, green from the second sum, the opposite
        // colour from the third; red and blue cells alternate along the row.
        const uint32_t own = NativeByte(c00);
        const uint32_t green = InterpolatedByte(second, first, reciprocal, c00);
        const uint32_t opposite = InterpolatedByte(third, first, reciprocal, c00);
        // All ones at blue cells (see InterpolateGreenCells for the form).
        const uint32_t blue = 0u - ((static_cast<uint32_t>(j) & 1u) ^ blueAtEvenCells);
        const uint32_t blueByte = (opposite & ~blue) | (own & blue);
        const uint32_t redByte = (own & ~blue) | (opposite & blue);
        pixels[j] = blueByte | green << 8 | redByte << 16;
    }
}

// Splits mosaic row `row` into its even columns firstColumn - 2 + 2i and odd
// columns firstColumn - 1 + 2i. Returns the OR of all samples taken.
inline uint16_t SplitRow(const uint16_t* row, int32_t firstColumn, int32_t evenCount, int32_t oddCount, Sample* even,
                         Sample* odd)
{
    const uint16_t* evenSamples = row + firstColumn - 2;
    const uint16_t* oddSamples = row + firstColumn - 1;
    uint16_t all = 0;
    for (int32_t i = 0; i < evenCount; ++i)
    {
        all = static_cast<uint16_t>(all | evenSamples[2 * i]);
        even[i] = static_cast<Sample>(evenSamples[2 * i]);
    }
    for (int32_t i = 0; i < oddCount; ++i)
    {
        all = static_cast<uint16_t>(all | oddSamples[2 * i]);
        odd[i] = static_cast<Sample>(oddSamples[2 * i]);
    }
    return all;
}

// Scans the window of work into work.pixels (see FastScanWork). Returns
// false when a sample read was 8192 or more: the pixels are then not exact.
inline bool ScanRows(const FastScanWork& work)
{
    const uint16_t* const mosaic = work.mosaic;
    const int32_t side = work.side;
    const int32_t firstRow = work.firstRow;
    const int32_t lastRow = work.lastRow;
    const int32_t firstColumn = work.firstColumn;
    const int32_t lastColumn = work.lastColumn;
    uint8_t* const pixels = work.pixels;
    const FastScanWork& buffers = work;
    const int32_t colourCount = (lastColumn - firstColumn) / 2 + 1;
    const int32_t greenCount = (lastColumn - firstColumn + 1) / 2;
    const int32_t evenCount = colourCount + 2;  // columns firstColumn - 2 .. lastColumn + 2 (or + 1)
    const int32_t oddCount = greenCount + 2;
    const int32_t length = buffers.splitLength;
    auto evenOf = [&](int32_t row) { return buffers.split + static_cast<int64_t>(row % 5) * 2 * length; };
    auto oddOf = [&](int32_t row) { return evenOf(row) + length; };
    auto rowOf = [&](int32_t row) { return mosaic + static_cast<int64_t>(row) * side; };

    uint16_t all = 0;
    for (int32_t row = firstRow - 2; row < firstRow + 2; ++row)
        all = static_cast<uint16_t>(all | SplitRow(rowOf(row), firstColumn, evenCount, oddCount, evenOf(row), oddOf(row)));

    PairQuotients pairs;
    for (int s = 0; s < 3; ++s)
        pairs.quotients[s] = buffers.quotients + static_cast<int64_t>(s) * length;

    for (int32_t r = firstRow; r <= lastRow; ++r)
    {
        all = static_cast<uint16_t>(all | SplitRow(rowOf(r + 2), firstColumn, evenCount, oddCount, evenOf(r + 2), oddOf(r + 2)));
        SplitRows rows;
        for (int k = 0; k < 5; ++k)
        {
            rows.even[k] = evenOf(r - 2 + k);
            rows.odd[k] = oddOf(r - 2 + k);
        }
        const bool evenRow = r % 2 == 0;

        // Green N and S slots: I + w / 1.1 + e / 1.1 in double, the integer
        // part first and the west term before the east term. The pairs of N
        // start at row r - 1 (r odd) or r - 2 (r even), those of S at r + 1
        // or r, always an even row.
        const int32_t northPair = evenRow ? r - 2 : r - 1;
        const int32_t southPair = northPair + 2;
        const int k0 = northPair - (r - 2);
        const double* qNorth =
            QuotientsOfPair(pairs, northPair, rows.even[k0], rows.even[k0 + 1], evenCount);
        const double* qSouth =
            QuotientsOfPair(pairs, southPair, rows.even[k0 + 2], rows.even[k0 + 3], evenCount);
        ComputeGreenNorthSouth(rows.odd[0] + 1, rows.odd[1] + 1, rows.odd[2] + 1, rows.odd[3] + 1, rows.odd[4] + 1,
                               qNorth + 1, qSouth + 1, greenCount, buffers.north, buffers.south);

        // Site-class parity h of the first cell of each kind; it alternates
        // along the row. Red and blue: red where h = 0. Green: red comes from
        // the first sum where f differs from h, f = 1 exactly when r is even.
        const bool hOfFirstColour = ((r + firstColumn) / 2) % 2 != 0;
        const bool hOfFirstGreen = ((r + firstColumn + 1) / 2) % 2 != 0;
        const uint32_t blueAtEvenColourCells = hOfFirstColour ? 1 : 0;
        const uint32_t redIsThirdAtEvenGreenCells = evenRow == hOfFirstGreen ? 1 : 0;

        if (evenRow)
        {
            InterpolateColourCells<true>(rows, nullptr, colourCount, blueAtEvenColourCells, buffers.colourPixels);
            InterpolateGreenCells<true>(rows, buffers.north, buffers.south, greenCount, redIsThirdAtEvenGreenCells,
                                        buffers.greenPixels);
        }
        else
        {
            const Sample* below1 = rows.even[3] + 1;
            const Sample* below2 = rows.even[4] + 1;
            for (int32_t j = 0; j < colourCount; ++j)
                buffers.southOfOddRow[j] = SouthTermOfOddRow(below1[j], below2[j]);
            InterpolateColourCells<false>(rows, buffers.southOfOddRow, colourCount, blueAtEvenColourCells,
                                          buffers.colourPixels);
            InterpolateGreenCells<false>(rows, buffers.north, buffers.south, greenCount, redIsThirdAtEvenGreenCells,
                                         buffers.greenPixels);
        }

        // Mirrored placement: cell (r, c) is pixel side - c of storage row
        // side - r, so the row runs backwards through the pixels. The cells
        // are laid out in that order first (from the last column: a lone red
        // or blue cell when the width is odd, then green and red/blue pairs),
        // and the row is copied in one piece.
        uint32_t* mirrored = buffers.mirroredPixels;
        if (colourCount > greenCount)
            *mirrored++ = buffers.colourPixels[greenCount];
        const uint32_t* lastGreen = buffers.greenPixels + greenCount - 1;
        const uint32_t* lastColour = buffers.colourPixels + greenCount - 1;
        for (int32_t k = 0; k < greenCount; ++k)
        {
            mirrored[2 * k] = lastGreen[-k];
            mirrored[2 * k + 1] = lastColour[-k];
        }
        std::memcpy(pixels + (static_cast<int64_t>(side - r - work.firstStorageRow) * side + (side - lastColumn)) * 4,
                    buffers.mirroredPixels,
                    static_cast<size_t>(colourCount + greenCount) * 4);
    }
    return all < 8192;
}

}  // namespace
