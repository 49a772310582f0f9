// The demosaic pass: white balance and interpolation of the composite mosaic
// into the full-colour image.
//
// The pass works on the scan window, rows and columns 8 to side - 9 of the
// mosaic. First it scales every red and blue cell of the window by a float
// gain that goes with the row pair, not the colour: 1.65 where
// floor(r / 2) is even, 1.57 where it is odd. Then it interpolates every cell
// of the window from its 5 x 5 neighbourhood: the gradient rule of the cell's
// colour fills the eight slots, the accumulation rule of its site class drops
// the steep directions and sums colour estimates along the others, and each
// missing colour becomes the cell's own sample plus the mean colour
// difference, divided by 12 in single precision.
//
// The image is the mosaic mirrored left to right, as raw/Placement.h lays it
// out (storage rows bottom-up, as in the BMP file). Pixels outside the window
// are black.
//
// Two forms compute the same bytes: InterpolateCell, which runs the pure
// per-cell rules of demosaic/Gradients.h and demosaic/ColourSums.h for one
// cell and is the reference, and the fast scan
// (demosaic/fastscan/FastScan.h), which the pass uses.
//
// The pass never changes the loaded mosaic: each worker copies the rows of
// a band, with the two the rules read on either side, into scratch of its
// own and white-balances them there.
#pragma once

#include "formats/BmpStream.h"
#include "platform/Status.h"
#include "raw/Lattice.h"
#include "raw/Samples.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CBufferKeeper;
class CFastScanScratch;
class CWorkerPool;

// Distance of the scan window from every edge of the mosaic.
constexpr int32_t kWindowMargin = 8;

// The white-balance gains of the red and blue cells, by the row pair of the
// cell: rows r with floor(r / 2) even, and odd.
inline constexpr double kGainOfEvenRowPair = 1.65;
inline constexpr double kGainOfOddRowPair = 1.57;

// The gain of row r as the white balance applies it, in single precision.
constexpr float WhiteBalanceGain(int32_t r)
{
    return static_cast<float>((r / 2) % 2 == 0 ? kGainOfEvenRowPair : kGainOfOddRowPair);
}
static_assert(WhiteBalanceGain(0) == 1.65f && WhiteBalanceGain(2) == 1.57f, "the float gains of the rule");

// White-balanced value of one red or blue sample in row r.
constexpr uint16_t WhiteBalancedSample(uint16_t sample, int32_t r)
{
    return static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(sample) * WhiteBalanceGain(r)));
}

// Scales the red and blue cells of the scan window that lie in mosaic rows
// firstRow to firstRow + rowCount - 1, in place; the window's other rows and
// everything outside it keep their samples.
void WhiteBalanceRows(uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount);

// The same for a band of those rows alone: rows holds mosaic row firstRow
// and the rowCount - 1 after it, side samples each.
void WhiteBalanceBand(uint16_t* rows, int32_t side, int32_t firstRow, int32_t rowCount);

// The same for the whole window.
void WhiteBalanceWindow(uint16_t* mosaic, int32_t side);

// Byte of the cell's own colour: its sample / 12 in single precision,
// truncated, at most 255.
constexpr uint8_t NativeValue(int32_t sample)
{
    const auto v = static_cast<int32_t>(static_cast<float>(sample) / 12.0f);
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

// Byte of a missing colour from its sum, the sum of the cell's own colour,
// the count n and the cell's sample: ((sum - nativeSum) / n + sample) / 12,
// the mean in integers truncating toward zero, the division by 12 in single
// precision, limited to 0 to 255.
constexpr uint8_t InterpolatedValue(int32_t sum, int32_t nativeSum, int32_t n, int32_t sample)
{
    const int32_t e = (sum - nativeSum) / n + sample;
    const auto value = static_cast<int32_t>(static_cast<float>(e) / 12.0f);
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Rows of a side x side mosaic, white-balanced: rows holds row firstRow and
// those after it, side samples each.
struct MosaicRows
{
    const uint16_t* rows;
    int32_t side;
    int32_t firstRow = 0;

    const uint16_t* CellAt(int32_t r, int32_t c) const { return rows + static_cast<int64_t>(r - firstRow) * side + c; }
};

// Everything the per-cell rules decided for one cell.
struct CellInterpolation
{
    SiteClass siteClass;
    int32_t sample;                        // the cell's own, white-balanced sample
    int32_t gradients[kDirectionCount];    // as the gradient rule left them
    int32_t threshold;                     // GradientThreshold of those
    int32_t thresholded[kDirectionCount];  // after ThresholdGradients: -1 for a dropped direction
    int32_t sums[3];                       // the colour sums, by CellColour: red, green, blue
    int32_t count;                         // directions used, 1 when there were none
    uint8_t pixel[4];                      // blue, green, red, 0
};

// The colour sum of a cell that estimates the given colour.
constexpr int32_t SumOfColour(const CellInterpolation& cell, CellColour colour)
{
    return cell.sums[static_cast<int>(colour)];
}

// Interpolates cell (r, c) from its white-balanced 5 x 5 neighbourhood
// around centre, rows stride samples apart: a whole mosaic or a patch of its
// own. Uses no value of any thread.
CellInterpolation InterpolateNeighbourhood(const uint16_t* centre, int64_t stride, int32_t r, int32_t c);

// The same for cell (r, c) of mosaic, which holds its rows r - 2 to r + 2;
// (r, c) lies at least two cells inside every edge.
CellInterpolation InterpolateCell(const MosaicRows& mosaic, int32_t r, int32_t c);

// Storage rows firstRow to firstRow + rowCount - 1 of the demosaiced image of
// the white-balanced mosaic, which holds the rows they show and two more on
// either side: rowCount * side * 4 bytes, every one written. The fast scan,
// in scratch (one per thread), and the per-cell rules where the fast scan
// cannot be exact. Without scratch, one is made for the call.
void RenderBalancedRows(const MosaicRows& mosaic, int32_t firstRow, int32_t rowCount, uint8_t* pixels,
                        CFastScanScratch* scratch = nullptr);

// The same rows with the per-cell rules alone: the reference.
void RenderBalancedRowsByCell(const MosaicRows& mosaic, int32_t firstRow, int32_t rowCount, uint8_t* pixels);

// Demosaics cell rows firstCellRow to lastCellRow (in the window) of a band
// of loaded mosaic rows: band holds rows top to lastCellRow + 2, top a
// multiple of 4 and at most firstCellRow - 2. Balances the band in place and
// writes the cells' pixels, and only those, into pixels, which holds storage
// rows from firstStorageRow on.
void DemosaicBand(uint16_t* band, int32_t side, int32_t top, int32_t firstCellRow, int32_t lastCellRow,
                  uint8_t* pixels, int32_t firstStorageRow, CFastScanScratch& scratch);

// What one thread needs to demosaic bands of a side x side mosaic: the
// scan's working rows and a band of balanced rows. Made on first use.
class CDemosaicScratch
{
public:
    explicit CDemosaicScratch(int32_t side);
    ~CDemosaicScratch();

    CFastScanScratch& Scan() { return *m_scan; }
    uint16_t* Band(size_t samples);  // at least that many, kept for the next band

private:
    std::unique_ptr<CFastScanScratch> m_scan;
    std::vector<uint16_t> m_band;
};

// Storage rows firstRow to firstRow + rowCount - 1 of the demosaiced image of
// a side x side mosaic as loaded (not white-balanced), which is only read.
void RenderDemosaicRows(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount, uint8_t* pixels,
                        CDemosaicScratch& scratch);

// The same storage rows, but only pixel columns firstPixel to
// firstPixel + pixelCount - 1 of them are the image's: the scan runs over
// the cells those pixels show (and at most one more), and the rest of each
// row is left black or unset. For a tile of the image; band is the caller's
// scratch for the mosaic rows, kept across calls.
void RenderDemosaicColumns(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount,
                           int32_t firstPixel, int32_t pixelCount, uint8_t* pixels, std::vector<uint16_t>& band);

// RenderDemosaicRows as a renderer for the workers of a pool of that many:
// each worker keeps scratch of its own across bands.
RowRenderer DemosaicRowRenderer(const uint16_t* mosaic, int32_t side, int32_t workers);

// The demosaiced image of samples' mosaic (built), written as the BMP file
// name on the workers of pool, with band buffers from keeper.
Status WriteDemosaicedImage(const std::string& name, const SampleView& samples, CWorkerPool& pool,
                            CBufferKeeper& keeper);
