// The fast scan's loop over the green cells of one row: the gradient slots of
// ComputeGreenGradients (demosaic/Gradients.cpp), the estimates of
// AccumulateGreenA and AccumulateGreenB (demosaic/ColourSums.cpp) and the
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

// Green cells of row r: cell j is column firstColumn + 1 + 2j. north and
// south hold the N and S slots, computed in double beforehand
// (ComputeGreenNorthSouth). redIsThirdAtEvenCells is 1 when the red byte of
// the cells with even j comes from the third sum (f = h there) and 0 when
// from the first; with h it alternates from cell to cell.
template <bool kEvenRow>
void InterpolateGreenCells(const SplitRows& rows, const Sample* north, const Sample* south, int32_t count,
                           uint32_t redIsThirdAtEvenCells, uint32_t* pixels)
{
    const CellColumns columns = GreenCellColumns(rows);
    for (int32_t j = 0; j < count; ++j)
    {
        const auto [P_m2_m2, P_m2_m1, P_m2_0, P_m2_p1, P_m2_p2,
                    P_m1_m2, P_m1_m1, P_m1_0, P_m1_p1, P_m1_p2,
                    P_0_m2, P_0_m1, P_0_0, P_0_p1, P_0_p2,
                    P_p1_m2, P_p1_m1, P_p1_0, P_p1_p1, P_p1_p2,
                    P_p2_m2, P_p2_m1, P_p2_0, P_p2_p1, P_p2_p2] = SamplesAroundCell(columns, j);

        // The gradient slots of ComputeGreenGradients.
        Sample g[kDirectionCount];
        // VerticalGreenGradient(north, west, east), see ComputeGreenNorthSouth
        g[kNorth] = north[j];
        // VerticalGreenGradient(south, west, east), see ComputeGreenNorthSouth
        g[kSouth] = south[j];
        // Full(P(0, 0), P(0, 2)) + Half(P(-1, 0), P(-1, 2)) + Half(P(1, 0), P(1, 2))
        g[kEast] = static_cast<Sample>(Full(P_0_0, P_0_p2) + Half(P_m1_0, P_m1_p2) + Half(P_p1_0, P_p1_p2));
        // Full(P(0, 0), P(0, -2)) + Half(P(-1, 0), P(-1, -2)) + Half(P(1, 0), P(1, -2))
        g[kWest] = static_cast<Sample>(Full(P_0_0, P_0_m2) + Half(P_m1_0, P_m1_m2) + Half(P_p1_0, P_p1_m2));
        // Full(P(0, 0), P(-2, 2)) + Full(P(1, -1), P(-1, 1)) + Half(P(0, -1), P(-2, 1)) + Half(P(1, 0), P(-1, 2))
        g[kNorthEast] = static_cast<Sample>(Full(P_0_0, P_m2_p2) + Full(P_p1_m1, P_m1_p1) +
                                            Half(P_0_m1, P_m2_p1) + Half(P_p1_0, P_m1_p2));
        // Full(P(0, 0), P(2, 2)) + Full(P(-1, -1), P(1, 1)) + Half(P(0, -1), P(2, 1)) + Half(P(-1, 0), P(1, 2))
        g[kSouthEast] = static_cast<Sample>(Full(P_0_0, P_p2_p2) + Full(P_m1_m1, P_p1_p1) +
                                            Half(P_0_m1, P_p2_p1) + Half(P_m1_0, P_p1_p2));
        // Full(P(0, 0), P(2, -2)) + Full(P(-1, 1), P(1, -1)) + Half(P(0, 1), P(2, -1)) + Half(P(-1, 0), P(1, -2))
        g[kSouthWest] = static_cast<Sample>(Full(P_0_0, P_p2_m2) + Full(P_m1_p1, P_p1_m1) +
                                            Half(P_0_p1, P_p2_m1) + Half(P_m1_0, P_p1_m2));
        // Full(P(0, 0), P(-2, -2)) + Full(P(1, 1), P(-1, -1)) + Half(P(0, 1), P(-2, -1)) + Half(P(1, 0), P(-1, -2))
        g[kNorthWest] = static_cast<Sample>(Full(P_0_0, P_m2_m2) + Full(P_p1_p1, P_m1_m1) +
                                            Half(P_0_p1, P_m2_m1) + Half(P_p1_0, P_m1_m2));

        // The estimates of AccumulateGreenB (r odd) and AccumulateGreenA
        // (r even), direction by direction.
        Estimates est;
        // The second (green) estimates of the two rules are the same.
        // (P(-2, 0) + P(-1, 0) + P(0, 0) + P(1, 0)) / 4
        est.second[kNorth] = Mean4(P_m2_0, P_m1_0, P_0_0, P_p1_0);
        // (P(-1, 2) + P(0, 0) + P(0, 2) + P(1, 2)) / 4
        est.second[kEast] = Mean4(P_m1_p2, P_0_0, P_0_p2, P_p1_p2);
        // (P(-1, 0) + P(0, 0) + P(1, 0) + P(2, 0)) / 4
        est.second[kSouth] = Mean4(P_m1_0, P_0_0, P_p1_0, P_p2_0);
        // (P(-1, -2) + P(0, -2) + P(0, 0) + P(1, -2)) / 4
        est.second[kWest] = Mean4(P_m1_m2, P_0_m2, P_0_0, P_p1_m2);
        // (P(-2, 2) + P(-1, 0) + P(-1, 2) + P(0, 0)) / 4
        est.second[kNorthEast] = Mean4(P_m2_p2, P_m1_0, P_m1_p2, P_0_0);
        // (P(0, 0) + P(1, 0) + P(1, 2) + P(2, 2)) / 4
        est.second[kSouthEast] = Mean4(P_0_0, P_p1_0, P_p1_p2, P_p2_p2);
        // (P(0, 0) + P(1, -2) + P(1, 0) + P(2, -2)) / 4
        est.second[kSouthWest] = Mean4(P_0_0, P_p1_m2, P_p1_0, P_p2_m2);
        // (P(-2, -2) + P(-1, -2) + P(-1, 0) + P(0, 0)) / 4
        est.second[kNorthWest] = Mean4(P_m2_m2, P_m1_m2, P_m1_0, P_0_0);
        if constexpr (!kEvenRow)
        {
            // AccumulateGreenB
            // (P(-2, 1) + P(-1, -1)) / 2
            est.first[kNorth] = Mean2(P_m2_p1, P_m1_m1);
            // (P(-2, -1) + P(-1, 1)) / 2
            est.third[kNorth] = Mean2(P_m2_m1, P_m1_p1);
            // P(1, 1)
            est.first[kEast] = static_cast<Sum>(P_p1_p1);
            // (P(-1, 1) + P(0, 1)) / 2
            est.third[kEast] = Mean2(P_m1_p1, P_0_p1);
            // (P(1, 1) + P(2, 1)) / 2
            est.first[kSouth] = Mean2(P_p1_p1, P_p2_p1);
            // (P(1, -1) + P(2, -1)) / 2
            est.third[kSouth] = Mean2(P_p1_m1, P_p2_m1);
            // (P(-1, -1) + P(0, -1)) / 2
            est.first[kWest] = Mean2(P_m1_m1, P_0_m1);
            // P(1, -1)
            est.third[kWest] = static_cast<Sum>(P_p1_m1);
            // P(-2, 1)
            est.first[kNorthEast] = static_cast<Sum>(P_m2_p1);
            // (P(-1, 1) + P(0, 1)) / 2
            est.third[kNorthEast] = Mean2(P_m1_p1, P_0_p1);
            // (P(1, 1) + P(2, 1)) / 2
            est.first[kSouthEast] = Mean2(P_p1_p1, P_p2_p1);
            // P(0, 1)
            est.third[kSouthEast] = static_cast<Sum>(P_0_p1);
            // P(0, -1)
            est.first[kSouthWest] = static_cast<Sum>(P_0_m1);
            // (P(1, -1) + P(2, -1)) / 2
            est.third[kSouthWest] = Mean2(P_p1_m1, P_p2_m1);
            // (P(-1, -1) + P(0, -1)) / 2
            est.first[kNorthWest] = Mean2(P_m1_m1, P_0_m1);
            // P(-2, -1)
            est.third[kNorthWest] = static_cast<Sum>(P_m2_m1);
        }
        else
        {
            // AccumulateGreenA
            // (P(-2, 1) + P(-1, 1)) / 2
            est.first[kNorth] = Mean2(P_m2_p1, P_m1_p1);
            // (P(-2, -1) + P(-1, -1)) / 2
            est.third[kNorth] = Mean2(P_m2_m1, P_m1_m1);
            // P(-1, 1)
            est.first[kEast] = static_cast<Sum>(P_m1_p1);
            // (P(0, 1) + P(1, 1)) / 2
            est.third[kEast] = Mean2(P_0_p1, P_p1_p1);
            // (P(1, -1) + P(2, 1)) / 2
            est.first[kSouth] = Mean2(P_p1_m1, P_p2_p1);
            // (P(1, 1) + P(2, -1)) / 2
            est.third[kSouth] = Mean2(P_p1_p1, P_p2_m1);
            // (P(0, -1) + P(1, -1)) / 2
            est.first[kWest] = Mean2(P_0_m1, P_p1_m1);
            // P(-1, -1)
            est.third[kWest] = static_cast<Sum>(P_m1_m1);
            // (P(-2, 1) + P(-1, 1)) / 2
            est.first[kNorthEast] = Mean2(P_m2_p1, P_m1_p1);
            // P(0, 1)
            est.third[kNorthEast] = static_cast<Sum>(P_0_p1);
            // P(2, 1)
            est.first[kSouthEast] = static_cast<Sum>(P_p2_p1);
            // (P(0, 1) + P(1, 1)) / 2
            est.third[kSouthEast] = Mean2(P_0_p1, P_p1_p1);
            // (P(0, -1) + P(1, -1)) / 2
            est.first[kSouthWest] = Mean2(P_0_m1, P_p1_m1);
            // P(2, -1)
            est.third[kSouthWest] = static_cast<Sum>(P_p2_m1);
            // P(0, -1)
            est.first[kNorthWest] = static_cast<Sum>(P_0_m1);
            // (P(-2, -1) + P(-1, -1)) / 2
            est.third[kNorthWest] = Mean2(P_m2_m1, P_m1_m1);
        }
        Sum first;
        Sum second;
        Sum third;
        float reciprocal;
        SumUsableDirections(g, est, first, second, third, reciprocal);

        // The bytes. At G01 and G10 red comes from the first sum and blue
        // from the third; at G00 and G11 the other way round.
        // NativeValue(sample)
        const uint32_t green = NativeByte(P_0_0);
        // InterpolatedValue(first, second, n, sample)
        const uint32_t fromFirst = InterpolatedByte(first, second, reciprocal, P_0_0);
        // InterpolatedValue(third, second, n, sample)
        const uint32_t fromThird = InterpolatedByte(third, second, reciprocal, P_0_0);
        // All ones where red comes from the third sum (G00, G11).
        const uint32_t redIsThird = AlternatingMask(j, redIsThirdAtEvenCells);
        const uint32_t red = Choose(redIsThird, fromThird, fromFirst);
        const uint32_t blue = Choose(redIsThird, fromFirst, fromThird);
        pixels[j] = PixelOf(blue, green, red);
    }
}

}  // namespace
