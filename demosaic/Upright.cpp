#include "demosaic/Upright.h"

#include "demosaic/fastscan/FastScan.h"
#include "platform/Workers.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <vector>

namespace
{

// Mosaic rows demosaiced at a time by one worker.
constexpr int32_t kBandRows = 32;
// Rows kept above and below a band: the two the rules read, rounded up so
// that the band's first row lands on a multiple of 4 (see below).
constexpr int32_t kRowsAbove = 4;
constexpr int32_t kRowsBelow = 2;

// Demosaics mosaic rows firstRow to firstRow + rowCount - 1 (window rows,
// firstRow a multiple of 4) and stores the pixels of their field cells. The
// band's rows, from firstRow - 4 on, are built from the fields into rows;
// pixels receives their storage rows, the last one first.
void DemosaicFieldBand(const SampleView& samples, int32_t firstRow, int32_t rowCount, uint16_t* rows,
                       uint8_t* pixels, CFastScanScratch& scratch, UprightCells& cells)
{
    const int32_t side = samples.Side();
    const int32_t w = samples.width;
    const int32_t h = samples.height;
    const int32_t top = firstRow - kRowsAbove;
    const int32_t lastRow = firstRow + rowCount - 1;
    FillMosaicRows(samples, top, rowCount + kRowsAbove + kRowsBelow, rows);
    DemosaicBand(rows, side, top, firstRow, lastRow, pixels, StorageRowOfCellRow(side, lastRow), scratch);
    // Taken by field row y, the band's rows give a run of consecutive x of
    // the window's cells (raw/Placement.h), written one after the other.
    const int32_t lastColumn = side - 1 - kWindowMargin;
    const CellBox bandCells = {firstRow, firstRow + rowCount - 1, kWindowMargin, lastColumn};
    for (int32_t f = 0; f < 2; ++f)
        for (int32_t y = std::max(0, firstRow - f - w + 1); y <= std::min(h - 1, bandCells.lastRow - f); ++y)
        {
            const FieldRun run = RunOfFieldRow(w, h, f, y, bandCells);
            uint8_t* rgb = cells.pixels[f].get() + (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(std::max(run.first, 0))) * 3;
            for (int32_t x = run.first; x <= run.last; ++x, rgb += 3)
            {
                const int32_t i = RowOfSample(f, y, x) - firstRow;
                const int32_t column = MirroredColumn(side, ColumnTermOf(w, y, x));
                const uint8_t* bgr = pixels + (static_cast<size_t>(rowCount - 1 - i) * static_cast<size_t>(side) + static_cast<size_t>(column)) * 4;
                rgb[0] = bgr[2];
                rgb[1] = bgr[1];
                rgb[2] = bgr[0];
            }
        }
}

}  // namespace

UprightCells DemosaicFieldCells(const SampleView& samples, CWorkerPool& pool)
{
    const int32_t side = samples.Side();
    UprightCells cells;
    cells.width = samples.width;
    cells.height = samples.height;
    const size_t bytes = static_cast<size_t>(samples.width) * static_cast<size_t>(samples.height) * 3;
    // Not cleared: the places of cells without a demosaiced pixel are never
    // read, and the workers map the pages in as they fill them.
    for (std::unique_ptr<uint8_t[]>& field : cells.pixels)
        field.reset(new uint8_t[bytes]);
    // Bands from the window's first row, a multiple of 4, in steps of
    // kBandRows, also a multiple of 4.
    static_assert(kWindowMargin % 4 == 0 && kBandRows % 4 == 0, "bands start on a multiple of 4");
    const int32_t windowRows = side - 2 * kWindowMargin;
    const int32_t bands = (windowRows + kBandRows - 1) / kBandRows;
    const int32_t workers = pool.Size();
    pool.Run([&](int32_t worker) {
        std::vector<uint16_t> rows(static_cast<size_t>(kBandRows + kRowsAbove + kRowsBelow) * static_cast<size_t>(side));
        std::vector<uint8_t> pixels(static_cast<size_t>(kBandRows) * static_cast<size_t>(side) * 4);
        CFastScanScratch scratch(kWindowMargin, side - 1 - kWindowMargin);
        for (int32_t band = worker; band < bands; band += workers)
        {
            const int32_t firstRow = kWindowMargin + band * kBandRows;
            DemosaicFieldBand(samples, firstRow, std::min(kBandRows, windowRows - band * kBandRows), rows.data(),
                         pixels.data(), scratch, cells);
        }
    });
    return cells;
}

void RenderUprightRows(const UprightCells& cells, int32_t firstRow, int32_t rowCount, uint8_t* rgb)
{
    const int32_t w = cells.width;
    const int32_t h = cells.height;
    const int32_t last = w + h - 1 - kWindowMargin;
    // In field row y of field f, the positions that hold a demosaiced pixel
    // are one run of x, those whose cells lie in the window (raw/Placement.h).
    // Nothing else of the cells is read.
    const CellBox window = {kWindowMargin, last, kWindowMargin, last};
    struct Run
    {
        const uint8_t* pixels = nullptr;  // the field row's first pixel
        FieldRun x;
        const uint8_t* At(int32_t at) const { return at >= x.first && at <= x.last ? pixels + 3 * static_cast<size_t>(at) : nullptr; }
    };
    const auto runOf = [&](int32_t f, int32_t y) {
        Run run;
        if (y < 0 || y >= h)
            return run;
        run.pixels = cells.pixels[f].get() + static_cast<size_t>(y) * static_cast<size_t>(w) * 3;
        run.x = RunOfFieldRow(w, h, f, y, window);
        return run;
    };
    for (int32_t row = firstRow; row < firstRow + rowCount; ++row)
    {
        const int32_t y = row / 2;
        const bool fieldZeroRow = row % 2 == 0;
        uint8_t* out = rgb + static_cast<size_t>(row - firstRow) * static_cast<size_t>(2 * w) * 3;
        // Row 2y: field 0's cell at 2x, then at 2x + 1 the mean of the field 0
        // cells west (x) and east (x + 1) and the field 1 cells north (row
        // y - 1) and south (row y). Row 2y + 1: at 2x the mean of the field 0
        // cells north (y) and south (y + 1) and the field 1 cells west
        // (x - 1) and east (x), then field 1's cell at 2x + 1.
        const Run own = runOf(fieldZeroRow ? 0 : 1, y);
        const Run other[2] = {runOf(fieldZeroRow ? 1 : 0, fieldZeroRow ? y - 1 : y),
                              runOf(fieldZeroRow ? 1 : 0, fieldZeroRow ? y : y + 1)};
        for (int32_t x = 0; x < w; ++x, out += 6)
        {
            const uint8_t* cell = own.At(x);
            const uint8_t* around[4] = {fieldZeroRow ? cell : own.At(x - 1), fieldZeroRow ? own.At(x + 1) : cell,
                                        other[0].At(x), other[1].At(x)};
            uint8_t* ownOut = fieldZeroRow ? out : out + 3;
            uint8_t* meanOut = fieldZeroRow ? out + 3 : out;
            int32_t sums[3] = {0, 0, 0};
            int32_t count = 0;
            for (const uint8_t* neighbour : around)
                if (neighbour != nullptr)
                {
                    for (int k = 0; k < 3; ++k)
                        sums[k] += neighbour[k];
                    ++count;
                }
            // sum / count rounded down, as (sum * 65536 / count) >> 16: exact
            // for sums up to 4 * 255 (for 3 the error stays below 1/100).
            static constexpr uint32_t kReciprocals[] = {0, 65536, 32768, 21846, 16384};
            const uint32_t reciprocal = kReciprocals[count];
            for (int k = 0; k < 3; ++k)
            {
                ownOut[k] = cell != nullptr ? cell[k] : 0;
                meanOut[k] = static_cast<uint8_t>(static_cast<uint32_t>(sums[k]) * reciprocal >> 16);
            }
        }
    }
}
