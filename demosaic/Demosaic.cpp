#include "demosaic/Demosaic.h"

#include "formats/BmpStream.h"
#include "demosaic/ColourSums.h"
#include "demosaic/fastscan/FastScan.h"
#include "demosaic/Gradients.h"
#include "platform/Workers.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

// Rows rendered and written at a time: a band of some 330 kB of pixels, made
// from some 200 kB of mosaic rows, which both stay in the second-level cache.
constexpr int32_t kDemosaicBandRows = 16;

}  // namespace

void WhiteBalanceRows(uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount)
{
    WhiteBalanceBand(mosaic + static_cast<int64_t>(firstRow) * side, side, firstRow, rowCount);
}

void WhiteBalanceBand(uint16_t* rows, int32_t side, int32_t firstRow, int32_t rowCount)
{
    const int32_t lastColumn = side - 1 - kWindowMargin;
    const int32_t beginRow = std::max(firstRow, kWindowMargin);
    const int32_t endRow = std::min(firstRow + rowCount, lastColumn + 1);
    // Each (even, odd) pair of columns is read and written whole, the odd
    // (green) sample unchanged: the loop then vectorises. The partner of the
    // last even column may lie one column outside the window, so that column
    // is scaled by itself.
    const int32_t evenColumns = lastColumn < kWindowMargin ? 0 : (lastColumn - kWindowMargin) / 2 + 1;
    const int32_t pairs = (lastColumn - kWindowMargin + 1) / 2;
    for (int32_t r = beginRow; r < endRow; ++r)
    {
        uint16_t* row = rows + static_cast<int64_t>(r - firstRow) * side + kWindowMargin;
        const float gain = WhiteBalanceGain(r);
        for (int32_t i = 0; i < pairs; ++i)
        {
            const uint16_t even = row[2 * i];
            const uint16_t odd = row[2 * i + 1];
            row[2 * i] = static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(even) * gain));
            row[2 * i + 1] = odd;
        }
        if (evenColumns > pairs)
            row[2 * pairs] = WhiteBalancedSample(row[2 * pairs], r);
    }
}

void WhiteBalanceWindow(uint16_t* mosaic, int32_t side)
{
    WhiteBalanceRows(mosaic, side, 0, side);
}

CellInterpolation InterpolateNeighbourhood(const uint16_t* centre, int64_t stride, int32_t r, int32_t c)
{
    CellInterpolation cell{};
    cell.siteClass = SiteClassOfCell(r, c);
    cell.sample = *centre;
    if (c % 2 != 0)
        GreenGradientsAround(centre, stride, r, cell.gradients);
    else
        ColourGradientsAround(centre, stride, r, cell.gradients);
    cell.threshold = GradientThreshold(cell.gradients);
    std::copy(cell.gradients, cell.gradients + kDirectionCount, cell.thresholded);
    cell.count = SumColoursAround(cell.siteClass, centre, stride, cell.thresholded, cell.sums);

    // The byte of the cell's own colour is its native value; each other byte
    // comes from the sum of its colour and the native sum, the one of the
    // cell's own colour.
    const CellColour own = ColourOfCell(r, c);
    const int32_t nativeSum = SumOfColour(cell, own);
    for (const CellColour colour : kCellColours)
        cell.pixel[PixelByteOfColour(colour)] =
            colour == own ? NativeValue(cell.sample)
                          : InterpolatedValue(SumOfColour(cell, colour), nativeSum, cell.count, cell.sample);
    return cell;
}

CellInterpolation InterpolateCell(const MosaicRows& mosaic, int32_t r, int32_t c)
{
    return InterpolateNeighbourhood(mosaic.CellAt(r, c), mosaic.side, r, c);
}

namespace
{

// The storage rows of the band that show window rows: the window's rows
// kWindowMargin to side - 1 - kWindowMargin are storage rows
// kWindowMargin + 1 to side - kWindowMargin (raw/Placement.h).
// Everything else of the band is cleared. Returns false when no row of the
// band shows the window; otherwise the first and last mosaic row shown.
bool ClearOutsideWindow(int32_t side, int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t& firstCellRow,
                        int32_t& lastCellRow)
{
    const auto rowBytes = static_cast<size_t>(side) * 4;
    const int32_t firstWindowRow = kWindowMargin + 1;
    const int32_t lastWindowRow = side - kWindowMargin;
    bool any = false;
    for (int32_t k = 0; k < rowCount; ++k)
    {
        const int32_t s = firstRow + k;
        uint8_t* row = pixels + static_cast<size_t>(k) * rowBytes;
        if (s < firstWindowRow || s > lastWindowRow || lastWindowRow < firstWindowRow)
        {
            std::memset(row, 0, rowBytes);
            continue;
        }
        std::memset(row, 0, static_cast<size_t>(firstWindowRow) * 4);
        std::memset(row + static_cast<size_t>(lastWindowRow + 1) * 4, 0,
                    static_cast<size_t>(side - 1 - lastWindowRow) * 4);
        if (!any)
            lastCellRow = CellRowOfStorageRow(side, s);
        firstCellRow = CellRowOfStorageRow(side, s);
        any = true;
    }
    return any;
}

// The pixels of cell rows firstCellRow to lastCellRow of the window, and
// only those, into pixels, which holds storage rows from firstStorageRow on:
// by the fast scan unless byCell, and by the per-cell rules where the scan
// cannot be exact. The scan sees the rows of mosaic as a mosaic of their own,
// its row 0 the first held, and writes pixels as if of that mosaic: storage
// row S there is S - firstRow here. Its rules depend on a row only through
// r % 4 (the site class and the row pair of the white balance,
// raw/Lattice.h), so a shift by a multiple of 4 gives the same pixels.
void InterpolateWindowRows(const MosaicRows& mosaic, int32_t firstCellRow, int32_t lastCellRow, uint8_t* pixels,
                           int32_t firstStorageRow, CFastScanScratch* scratch)
{
    const int32_t shift = mosaic.firstRow;
    if (scratch != nullptr && shift % 4 == 0 &&
        ScanRowsFast(mosaic.rows, mosaic.side, firstCellRow - shift, lastCellRow - shift,
                     ScanTarget{pixels, firstStorageRow + shift}, *scratch))
        return;
    const int32_t side = mosaic.side;
    for (int32_t r = firstCellRow; r <= lastCellRow; ++r)
    {
        uint8_t* row = pixels + static_cast<size_t>(StorageRowOfCellRow(side, r) - firstStorageRow) *
                                    static_cast<size_t>(side) * 4;
        for (int32_t c = kWindowMargin; c <= side - 1 - kWindowMargin; ++c)
            std::memcpy(row + static_cast<size_t>(MirroredColumn(side, c)) * 4, InterpolateCell(mosaic, r, c).pixel, 4);
    }
}

}  // namespace

void RenderBalancedRowsByCell(const MosaicRows& mosaic, int32_t firstRow, int32_t rowCount, uint8_t* pixels)
{
    int32_t firstCellRow = 0;
    int32_t lastCellRow = -1;
    if (ClearOutsideWindow(mosaic.side, firstRow, rowCount, pixels, firstCellRow, lastCellRow))
        InterpolateWindowRows(mosaic, firstCellRow, lastCellRow, pixels, firstRow, nullptr);
}

void RenderBalancedRows(const MosaicRows& mosaic, int32_t firstRow, int32_t rowCount, uint8_t* pixels,
                        CFastScanScratch* scratch)
{
    int32_t firstCellRow = 0;
    int32_t lastCellRow = -1;
    if (!ClearOutsideWindow(mosaic.side, firstRow, rowCount, pixels, firstCellRow, lastCellRow))
        return;
    std::unique_ptr<CFastScanScratch> ownScratch;
    if (scratch == nullptr)
        ownScratch = std::make_unique<CFastScanScratch>(kWindowMargin, mosaic.side - 1 - kWindowMargin);
    InterpolateWindowRows(mosaic, firstCellRow, lastCellRow, pixels, firstRow, scratch ? scratch : ownScratch.get());
}

void DemosaicBand(uint16_t* band, int32_t side, int32_t top, int32_t firstCellRow, int32_t lastCellRow,
                  uint8_t* pixels, int32_t firstStorageRow, CFastScanScratch& scratch)
{
    WhiteBalanceBand(band, side, top, lastCellRow + 3 - top);
    InterpolateWindowRows({band, side, top}, firstCellRow, lastCellRow, pixels, firstStorageRow, &scratch);
}

CDemosaicScratch::CDemosaicScratch(int32_t side)
    : m_scan(std::make_unique<CFastScanScratch>(kWindowMargin, side - 1 - kWindowMargin))
{
}

CDemosaicScratch::~CDemosaicScratch() = default;

uint16_t* CDemosaicScratch::Band(size_t samples)
{
    if (m_band.size() < samples)
        m_band.resize(samples);
    return m_band.data();
}

void RenderDemosaicRows(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount, uint8_t* pixels,
                        CDemosaicScratch& scratch)
{
    int32_t firstCellRow = 0;
    int32_t lastCellRow = -1;
    if (!ClearOutsideWindow(side, firstRow, rowCount, pixels, firstCellRow, lastCellRow))
        return;
    // The band's rows and the two the rules read on either side, from a
    // multiple of 4 (the window starts at one).
    const int32_t top = (firstCellRow - 2) / 4 * 4;
    const auto cells = static_cast<size_t>(lastCellRow + 3 - top) * static_cast<size_t>(side);
    uint16_t* band = scratch.Band(cells);
    std::memcpy(band, mosaic + static_cast<size_t>(top) * static_cast<size_t>(side), cells * sizeof(uint16_t));
    DemosaicBand(band, side, top, firstCellRow, lastCellRow, pixels, firstRow, scratch.Scan());
}

void RenderDemosaicColumns(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount,
                           int32_t firstPixel, int32_t pixelCount, uint8_t* pixels, std::vector<uint16_t>& band)
{
    int32_t firstCellRow = 0;
    int32_t lastCellRow = -1;
    if (!ClearOutsideWindow(side, firstRow, rowCount, pixels, firstCellRow, lastCellRow))
        return;
    // Pixel x shows cell column side - x: the cells of the pixels, inside
    // the window, from an even column as the scan wants it.
    const int32_t firstColumn =
        std::max(kWindowMargin, MirroredColumn(side, firstPixel + pixelCount - 1)) / 2 * 2;
    const int32_t lastColumn = std::min(side - 1 - kWindowMargin, MirroredColumn(side, firstPixel));
    if (lastColumn < firstColumn)
        return;
    CFastScanScratch scratch(firstColumn, lastColumn);
    const int32_t top = (firstCellRow - 2) / 4 * 4;
    const auto cells = static_cast<size_t>(lastCellRow + 3 - top) * static_cast<size_t>(side);
    band.resize(std::max(band.size(), cells));
    std::memcpy(band.data(), mosaic + static_cast<size_t>(top) * static_cast<size_t>(side), cells * sizeof(uint16_t));
    DemosaicBand(band.data(), side, top, firstCellRow, lastCellRow, pixels, firstRow, scratch);
}

RowRenderer DemosaicRowRenderer(const uint16_t* mosaic, int32_t side, int32_t workers)
{
    auto scratch = std::make_shared<std::vector<std::unique_ptr<CDemosaicScratch>>>(static_cast<size_t>(workers));
    return [mosaic, side, scratch](int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t worker) {
        std::unique_ptr<CDemosaicScratch>& own = (*scratch)[static_cast<size_t>(worker)];
        if (!own)
            own = std::make_unique<CDemosaicScratch>(side);
        RenderDemosaicRows(mosaic, side, firstRow, rowCount, pixels, *own);
    };
}

Status WriteDemosaicedImage(const std::string& name, const SampleView& samples, CWorkerPool& pool,
                            CBufferKeeper& keeper)
{
    const int32_t a = samples.Side();
    return StreamBmpFile(name, a, a, kDemosaicBandRows, pool, keeper,
                         DemosaicRowRenderer(samples.mosaic, a, pool.Size()));
}

Status CRawX10::Demosaic()
{
    const int32_t a = MosaicSide();
    PublishMosaicSide(a);
    const Status status = WriteDemosaicedImage(OutputNameOf(m_path, OutputImage::Demosaiced), Samples(), Workers(),
                                               Buffers());
    // The stage leaves its mosaic white-balanced, as its callers know it.
    RunOnShares(Workers(), a, [&](int32_t first, int32_t count) { WhiteBalanceRows(m_mosaic.get(), a, first, count); });
    return status;
}
