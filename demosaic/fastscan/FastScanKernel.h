// The body of the fast demosaic scan, compiled once per instruction set.
//
// Each of demosaic/fastscan/FastScanBaseline.cpp, FastScanAvx2.cpp and
// FastScanAvx512.cpp includes this file once and wraps ScanRows in a
// function of its own name; the three are built with different compiler
// flags. Everything here and in the parts it includes therefore has internal
// linkage and calls no inline function of another header: the linker could
// otherwise keep the AVX2 copy of such a function for all of them. (Plain
// enumerators and constants, such as the directions of raw/Lattice.h, are
// safe: no code is generated for them.)
//
// The parts it includes, one header each:
//   FastScanTerms.h          16-bit lanes, gradient terms, means, bytes
//   FastScanNeighbourhood.h  split rows and the 5 x 5 samples of a cell
//   FastScanDoubleTerms.h    the gradient terms computed in double, by row
//   FastScanThreshold.h      ThresholdGradients and the sums it gates
//   FastScanGreenCells.h     the loop over a row's green cells
//   FastScanColourCells.h    the loop over a row's red and blue cells
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
// Exactness. All integer steps fit in 16 bits when every sample is below
// kFastScanSampleLimit, 8192 (the white balance of 12-bit samples reaches
// 6756): a gradient is at most
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

#include "demosaic/fastscan/FastScanColourCells.h"
#include "demosaic/fastscan/FastScanDoubleTerms.h"
#include "demosaic/fastscan/FastScanGreenCells.h"
#include "demosaic/fastscan/FastScanNeighbourhood.h"
#include "demosaic/fastscan/FastScanTerms.h"
#include "demosaic/fastscan/FastScanVariants.h"
#include "raw/Placement.h"

#include <cstdint>
#include <cstring>

namespace
{

// Scans the window of work into work.pixels (see FastScanWork). Returns
// false when a sample read was kFastScanSampleLimit or more: the pixels are
// then not exact.
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
        // P(-2, 0) to P(2, 0) of the green cells, and the quotients of the
        // even columns from the one west of the first green cell.
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
            // P(1, 0) and P(2, 0) of the red and blue cells.
            ComputeSouthTermsOfOddRow(rows.even[3] + 1, rows.even[4] + 1, colourCount, buffers.southOfOddRow);
            InterpolateColourCells<false>(rows, buffers.southOfOddRow, colourCount, blueAtEvenColourCells,
                                          buffers.colourPixels);
            InterpolateGreenCells<false>(rows, buffers.north, buffers.south, greenCount, redIsThirdAtEvenGreenCells,
                                         buffers.greenPixels);
        }

        // Mirrored placement (raw/Placement.h): the row runs backwards
        // through the pixels. The cells
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
        std::memcpy(pixels + (static_cast<int64_t>(StorageRowOfCellRow(side, r) - work.firstStorageRow) * side +
                              MirroredColumn(side, lastColumn)) * 4,
                    buffers.mirroredPixels,
                    static_cast<size_t>(colourCount + greenCount) * 4);
    }
    return all < kFastScanSampleLimit;
}

}  // namespace
