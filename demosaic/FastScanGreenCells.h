// The fast scan's loop over the green cells of one row: the gradient slots of
// ComputeGreenGradients (demosaic/Gradients.cpp), the estimates of
// AccumulateGreenA and AccumulateGreenB (demosaic/ColourSums.cpp) and the
// bytes of InterpolateCell (demosaic/Demosaic.cpp), for many cells at once.
// Part of the scan body: internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/FastScanNeighbourhood.h"
#include "demosaic/FastScanTerms.h"
#include "demosaic/FastScanThreshold.h"

#include <cstdint>

namespace
{

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

}  // namespace
