// The fast scan's loop over the red and blue cells of one row: the gradient
// slots of ComputeColorGradients (demosaic/Gradients.cpp), the estimates of
// AccumulateColor0 and AccumulateColor1 (demosaic/ColourSums.cpp) and the
// bytes of InterpolateCell (demosaic/Demosaic.cpp), for many cells at once.
// Part of the scan body: internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/FastScanNeighbourhood.h"
#include "demosaic/FastScanTerms.h"
#include "demosaic/FastScanThreshold.h"

#include <cstdint>

namespace
{

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

}  // namespace
