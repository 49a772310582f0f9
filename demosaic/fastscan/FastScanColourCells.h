// The fast scan's loop over the red and blue cells of one row: the gradient
// slots of ComputeColorGradients (demosaic/Gradients.cpp), the estimates of
// AccumulateColor0 and AccumulateColor1 (demosaic/ColourSums.cpp) and the
// bytes of InterpolateCell (demosaic/Demosaic.cpp), for many cells at once.
// Each statement carries, in a comment, the per-cell expression it computes.
// Names of samples as in FastScanNeighbourhood.h. Part of the scan body:
// internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/fastscan/FastScanNeighbourhood.h"
#include "demosaic/fastscan/FastScanTerms.h"
#include "demosaic/fastscan/FastScanThreshold.h"
#include "raw/Lattice.h"

#include <cstdint>

namespace
{

// Red and blue cells of row r: cell j is column firstColumn + 2j.
// southOfOddRow holds the south vertical terms when r is odd, computed in
// double beforehand (ComputeSouthTermsOfOddRow). blueAtEvenCells is 1 when
// the cells with even j are blue (h = 1).
template <bool kEvenRow>
void InterpolateColourCells(const SplitRows& rows, const Sample* southOfOddRow, int32_t count,
                            uint32_t blueAtEvenCells, uint32_t* pixels)
{
    const CellColumns columns = ColourCellColumns(rows);
    for (int32_t j = 0; j < count; ++j)
    {
        const auto [P_m2_m2, P_m2_m1, P_m2_0, P_m2_p1, P_m2_p2,
                    P_m1_m2, P_m1_m1, P_m1_0, P_m1_p1, P_m1_p2,
                    P_0_m2, P_0_m1, P_0_0, P_0_p1, P_0_p2,
                    P_p1_m2, P_p1_m1, P_p1_0, P_p1_p1, P_p1_p2,
                    P_p2_m2, P_p2_m1, P_p2_0, P_p2_p1, P_p2_p2] = SamplesAroundCell(columns, j);

        // The gradient slots of ComputeColorGradients.
        // sharedVertical = Half(P(-1, -1), P(1, -1)) + Half(P(-1, 1), P(1, 1))
        const auto shared = static_cast<Sample>(Half(P_m1_m1, P_p1_m1) + Half(P_m1_p1, P_p1_p1));
        Sample northVertical;
        Sample southVertical;
        if constexpr (kEvenRow)
        {
            // R0, B0: Full(P(-2, 0), P(-1, 0))
            northVertical = Full(P_m2_0, P_m1_0);
            // R0, B0: Full(P(0, 0), P(1, 0))
            southVertical = Full(P_0_0, P_p1_0);
            (void)southOfOddRow;
        }
        else
        {
            // R1, B1: Full(P(0, 0), P(-1, 0))
            northVertical = Full(P_0_0, P_m1_0);
            // R1, B1: the term in double, see ComputeSouthTermsOfOddRow
            southVertical = southOfOddRow[j];
        }
        Sample g[kDirectionCount];
        // Half(P(-2, -1), P(0, -1)) + Half(P(-2, 1), P(0, 1)) + sharedVertical + northVertical
        g[kNorth] = static_cast<Sample>(Half(P_m2_m1, P_0_m1) + Half(P_m2_p1, P_0_p1) + shared + northVertical);
        // Half(P(0, 1), P(2, 1)) + Half(P(0, -1), P(2, -1)) + sharedVertical + southVertical
        g[kSouth] = static_cast<Sample>(Half(P_0_p1, P_p2_p1) + Half(P_0_m1, P_p2_m1) + shared + southVertical);
        // across = Half(P(1, -1), P(1, 1)) + Half(P(-1, -1), P(-1, 1)) + Full(P(0, -1), P(0, 1))
        g[kEast] = static_cast<Sample>(Half(P_p1_m1, P_p1_p1) + Half(P_m1_m1, P_m1_p1) + Full(P_0_m1, P_0_p1));
        // across
        g[kWest] = g[kEast];
        // Half(P(-2, 1), P(0, -1)) + Half(P(-1, 2), P(1, 0)) + Full(P(-1, 1), P(1, -1)) + Full(P(-2, 2), P(0, 0))
        g[kNorthEast] = static_cast<Sample>(Half(P_m2_p1, P_0_m1) + Half(P_m1_p2, P_p1_0) +
                                            Full(P_m1_p1, P_p1_m1) + Full(P_m2_p2, P_0_0));
        // Half(P(2, 1), P(0, -1)) + Half(P(1, 2), P(-1, 0)) + Full(P(1, 1), P(-1, -1)) + Full(P(2, 2), P(0, 0))
        g[kSouthEast] = static_cast<Sample>(Half(P_p2_p1, P_0_m1) + Half(P_p1_p2, P_m1_0) +
                                            Full(P_p1_p1, P_m1_m1) + Full(P_p2_p2, P_0_0));
        // Half(P(2, -1), P(0, 1)) + Half(P(1, -2), P(-1, 0)) + Full(P(1, -1), P(-1, 1)) + Full(P(2, -2), P(0, 0))
        g[kSouthWest] = static_cast<Sample>(Half(P_p2_m1, P_0_p1) + Half(P_p1_m2, P_m1_0) +
                                            Full(P_p1_m1, P_m1_p1) + Full(P_p2_m2, P_0_0));
        // Half(P(-2, -1), P(0, 1)) + Half(P(-1, -2), P(1, 0)) + Full(P(-1, -1), P(1, 1)) + Full(P(-2, -2), P(0, 0))
        g[kNorthWest] = static_cast<Sample>(Half(P_m2_m1, P_0_p1) + Half(P_m1_m2, P_p1_0) +
                                            Full(P_m1_m1, P_p1_p1) + Full(P_m2_m2, P_0_0));

        // The estimates of AccumulateColor0 (r even) and AccumulateColor1
        // (r odd), direction by direction.
        Estimates est;
        // The second (green) estimates of the two rules are the same.
        // (P(-2, -1) + P(-2, 1) + P(-1, -1) + P(-1, 1)) / 4
        est.second[kNorth] = Mean4(P_m2_m1, P_m2_p1, P_m1_m1, P_m1_p1);
        // (P(-1, 1) + P(0, 1) + P(1, 1)) / 3
        est.second[kEast] = Mean3(P_m1_p1, P_0_p1, P_p1_p1);
        // (P(1, -1) + P(1, 1) + P(2, -1) + P(2, 1)) / 4
        est.second[kSouth] = Mean4(P_p1_m1, P_p1_p1, P_p2_m1, P_p2_p1);
        // (P(-1, -1) + P(0, -1) + P(1, -1)) / 3
        est.second[kWest] = Mean3(P_m1_m1, P_0_m1, P_p1_m1);
        // (P(-2, 1) + P(-1, 1) + P(0, 1)) / 3
        est.second[kNorthEast] = Mean3(P_m2_p1, P_m1_p1, P_0_p1);
        // (P(0, 1) + P(1, 1) + P(2, 1)) / 3
        est.second[kSouthEast] = Mean3(P_0_p1, P_p1_p1, P_p2_p1);
        // (P(0, -1) + P(1, -1) + P(2, -1)) / 3
        est.second[kSouthWest] = Mean3(P_0_m1, P_p1_m1, P_p2_m1);
        // (P(-2, -1) + P(-1, -1) + P(0, -1)) / 3
        est.second[kNorthWest] = Mean3(P_m2_m1, P_m1_m1, P_0_m1);
        if constexpr (kEvenRow)
        {
            // AccumulateColor0
            // P(0, 0)
            est.first[kNorth] = static_cast<Sum>(P_0_0);
            // (P(-2, 0) + P(-1, 0)) / 2
            est.third[kNorth] = Mean2(P_m2_0, P_m1_0);
            // (P(-1, 2) + P(0, 0)) / 2
            est.first[kEast] = Mean2(P_m1_p2, P_0_0);
            // (P(0, 2) + P(1, 2)) / 2
            est.third[kEast] = Mean2(P_0_p2, P_p1_p2);
            // (P(0, 0) + P(1, 0)) / 2
            est.first[kSouth] = Mean2(P_0_0, P_p1_0);
            // P(2, 0)
            est.third[kSouth] = static_cast<Sum>(P_p2_0);
            // (P(-1, -2) + P(0, 0)) / 2
            est.first[kWest] = Mean2(P_m1_m2, P_0_0);
            // (P(0, -2) + P(1, -2)) / 2
            est.third[kWest] = Mean2(P_0_m2, P_p1_m2);
            // (P(-2, 2) + P(-1, 2) + P(0, 0)) / 3
            est.first[kNorthEast] = Mean3(P_m2_p2, P_m1_p2, P_0_0);
            // P(-1, 0)
            est.third[kNorthEast] = static_cast<Sum>(P_m1_0);
            // (P(0, 0) + P(1, 0) + P(2, 2)) / 3
            est.first[kSouthEast] = Mean3(P_0_0, P_p1_0, P_p2_p2);
            // P(1, 2)
            est.third[kSouthEast] = static_cast<Sum>(P_p1_p2);
            // (P(0, 0) + P(1, 0) + P(2, -2)) / 3
            est.first[kSouthWest] = Mean3(P_0_0, P_p1_0, P_p2_m2);
            // P(1, -2)
            est.third[kSouthWest] = static_cast<Sum>(P_p1_m2);
            // (P(-2, -2) + P(-1, -2) + P(0, 0)) / 3
            est.first[kNorthWest] = Mean3(P_m2_m2, P_m1_m2, P_0_0);
            // P(-1, 0)
            est.third[kNorthWest] = static_cast<Sum>(P_m1_0);
        }
        else
        {
            // AccumulateColor1
            // (P(-1, 0) + P(0, 0)) / 2
            est.first[kNorth] = Mean2(P_m1_0, P_0_0);
            // P(-2, 0)
            est.third[kNorth] = static_cast<Sum>(P_m2_0);
            // (P(0, 0) + P(1, 2)) / 2
            est.first[kEast] = Mean2(P_0_0, P_p1_p2);
            // (P(-1, 2) + P(0, 2)) / 2
            est.third[kEast] = Mean2(P_m1_p2, P_0_p2);
            // P(0, 0)
            est.first[kSouth] = static_cast<Sum>(P_0_0);
            // (P(1, 0) + P(2, 0)) / 2
            est.third[kSouth] = Mean2(P_p1_0, P_p2_0);
            // (P(0, 0) + P(1, -2)) / 2
            est.first[kWest] = Mean2(P_0_0, P_p1_m2);
            // (P(-1, -2) + P(0, -2)) / 2
            est.third[kWest] = Mean2(P_m1_m2, P_0_m2);
            // (P(-2, 2) + P(-1, 0) + P(0, 0)) / 3
            est.first[kNorthEast] = Mean3(P_m2_p2, P_m1_0, P_0_0);
            // P(-1, 2)
            est.third[kNorthEast] = static_cast<Sum>(P_m1_p2);
            // (P(0, 0) + P(1, 2) + P(2, 2)) / 3
            est.first[kSouthEast] = Mean3(P_0_0, P_p1_p2, P_p2_p2);
            // P(1, 0)
            est.third[kSouthEast] = static_cast<Sum>(P_p1_0);
            // (P(0, 0) + P(1, -2) + P(2, -2)) / 3
            est.first[kSouthWest] = Mean3(P_0_0, P_p1_m2, P_p2_m2);
            // P(1, 0)
            est.third[kSouthWest] = static_cast<Sum>(P_p1_0);
            // (P(-2, -2) + P(-1, 0) + P(0, 0)) / 3
            est.first[kNorthWest] = Mean3(P_m2_m2, P_m1_0, P_0_0);
            // P(-1, -2)
            est.third[kNorthWest] = static_cast<Sum>(P_m1_m2);
        }
        Sum first;
        Sum second;
        Sum third;
        float reciprocal;
        SumUsableDirections(g, est, first, second, third, reciprocal);

        // The bytes: the cell's own colour from its sample, green from the
        // second sum and the opposite colour from the third, both against the
        // first; red and blue cells alternate along the row.
        // NativeValue(sample)
        const uint32_t own = NativeByte(P_0_0);
        // InterpolatedValue(second, first, n, sample)
        const uint32_t green = InterpolatedByte(second, first, reciprocal, P_0_0);
        // InterpolatedValue(third, first, n, sample)
        const uint32_t opposite = InterpolatedByte(third, first, reciprocal, P_0_0);
        // All ones at blue cells (B0, B1).
        const uint32_t blue = AlternatingMask(j, blueAtEvenCells);
        const uint32_t blueByte = Choose(blue, own, opposite);
        const uint32_t redByte = Choose(blue, opposite, own);
        pixels[j] = PixelOf(blueByte, green, redByte);
    }
}

}  // namespace
