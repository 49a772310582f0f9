// How the fast scan reads the 5 x 5 neighbourhood of a cell: the five mosaic
// rows around the scanned row, split into their even and odd columns, and
// the 25 samples P(dy, dx) of the j-th cell of one kind taken from them.
// Part of the scan body: internal linkage only (see FastScanKernel.h).
//
// Names. A sample P(dy, dx) is called P_<dy>_<dx>, each offset written as 0
// or as m (minus) or p (plus) and its size: P_m1_p2 is P(-1, 2), P_0_0 the
// cell itself, P_p2_m1 is P(2, -1).
#pragma once

#include "demosaic/fastscan/FastScanTerms.h"

#include <cstdint>

namespace
{

// Mosaic rows r - 2 .. r + 2 split into even and odd columns: even[k][i] is
// the sample of column firstColumn - 2 + 2i of row r - 2 + k, odd[k][i] that
// of column firstColumn - 1 + 2i.
struct SplitRows
{
    const Sample* even[5];
    const Sample* odd[5];
};

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

// The split rows as the cells of one kind see them, row dy = k - 2 of the
// neighbourhood in element k: P(dy, dx) of cell j is own[k][j + 1 + dx / 2]
// for dx = -2, 0, 2 (the columns of the cell's own parity) and
// other[k][j + (dx + 1) / 2] for dx = -1, 1.
struct CellColumns
{
    const Sample* own[5];
    const Sample* other[5];
};

// The columns of the green cells of a row: cell j is column firstColumn + 1 + 2j.
inline CellColumns GreenCellColumns(const SplitRows& rows)
{
    return {{rows.odd[0], rows.odd[1], rows.odd[2], rows.odd[3], rows.odd[4]},
            {rows.even[0] + 1, rows.even[1] + 1, rows.even[2] + 1, rows.even[3] + 1, rows.even[4] + 1}};
}

// The columns of the red and blue cells of a row: cell j is column firstColumn + 2j.
inline CellColumns ColourCellColumns(const SplitRows& rows)
{
    return {{rows.even[0], rows.even[1], rows.even[2], rows.even[3], rows.even[4]},
            {rows.odd[0], rows.odd[1], rows.odd[2], rows.odd[3], rows.odd[4]}};
}

// The 25 samples around one cell, row by row from north to south and within
// a row from west to east. The cell loops unpack it into locals of the same
// names with a structured binding, which relies on this order.
struct CellSamples
{
    Sample P_m2_m2, P_m2_m1, P_m2_0, P_m2_p1, P_m2_p2;
    Sample P_m1_m2, P_m1_m1, P_m1_0, P_m1_p1, P_m1_p2;
    Sample P_0_m2, P_0_m1, P_0_0, P_0_p1, P_0_p2;
    Sample P_p1_m2, P_p1_m1, P_p1_0, P_p1_p1, P_p1_p2;
    Sample P_p2_m2, P_p2_m1, P_p2_0, P_p2_p1, P_p2_p2;
};

// The neighbourhood of cell j: every read has unit stride in j, so that the
// loops over j read memory in whole vectors.
inline CellSamples SamplesAroundCell(const CellColumns& columns, int32_t j)
{
    const Sample* const* own = columns.own;
    const Sample* const* other = columns.other;
    return {own[0][j], other[0][j], own[0][j + 1], other[0][j + 1], own[0][j + 2],
            own[1][j], other[1][j], own[1][j + 1], other[1][j + 1], own[1][j + 2],
            own[2][j], other[2][j], own[2][j + 1], other[2][j + 1], own[2][j + 2],
            own[3][j], other[3][j], own[3][j + 1], other[3][j + 1], own[3][j + 2],
            own[4][j], other[4][j], own[4][j + 1], other[4][j + 1], own[4][j + 2]};
}

}  // namespace
