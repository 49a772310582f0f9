// How the fast scan reads the 5 x 5 neighbourhood of a cell: the five mosaic
// rows around the scanned row, split into their even and odd columns.
// Part of the scan body: internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/FastScanTerms.h"

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

}  // namespace
