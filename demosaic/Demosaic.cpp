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

CellInterpolation InterpolateCell(const CRawX10& raw, int32_t r, int32_t c)
{
    return InterpolateCellInRows(raw.m_mosaic.get(), raw.MosaicSide(), 0, r, c);
}

CellInterpolation InterpolateCellInRows(const uint16_t* rows, int32_t side, int32_t firstRow, int32_t r, int32_t c)
{
    PublishMosaicSide(side);
    const uint16_t* centre = rows + static_cast<int64_t>(r - firstRow) * side + c;
    CellInterpolation cell{};
    cell.siteClass = SiteClassOfCell(r, c);
    cell.sample = *centre;
    if (c % 2 != 0)
        ComputeGreenGradients(rows, side, r, c, firstRow);
    else
        ComputeColorGradients(rows, side, r, c, firstRow);
    std::copy(g_gradients, g_gradients + kDirectionCount, cell.gradients);
    cell.threshold = GradientThreshold(g_gradients);

    int32_t (*accumulate)(const uint16_t*, int32_t*, int32_t&, int32_t&, int32_t&);
    switch (cell.siteClass)
    {
    case SiteClass::G00:
    case SiteClass::G01:
        accumulate = AccumulateGreenB;
        break;
    case SiteClass::G10:
    case SiteClass::G11:
        accumulate = AccumulateGreenA;
        break;
    case SiteClass::R0:
    case SiteClass::B0:
        accumulate = AccumulateColor0;
        break;
    default:  // R1, B1
        accumulate = AccumulateColor1;
        break;
    }
    // The rule's second sum is always green; whether red is its first or its
    // third follows the site class (the table in demosaic/ColourSums.h):
    // first at G01, G10, R0 and R1.
    int32_t first = 0;
    int32_t second = 0;
    int32_t third = 0;
    cell.count = accumulate(centre, g_gradients, first, second, third);
    const SiteClass k = cell.siteClass;
    const bool redFirst = k == SiteClass::G01 || k == SiteClass::G10 || k == SiteClass::R0 || k == SiteClass::R1;
    cell.sums[static_cast<int>(CellColour::Red)] = redFirst ? first : third;
    cell.sums[static_cast<int>(CellColour::Green)] = second;
    cell.sums[static_cast<int>(CellColour::Blue)] = redFirst ? third : first;
    std::copy(g_gradients, g_gradients + kDirectionCount, cell.thresholded);

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

}  // namespace

void RenderDemosaicRowsByCell(const CRawX10& raw, int32_t firstRow, int32_t rowCount, uint8_t* pixels)
{
    const int32_t side = raw.MosaicSide();
    int32_t firstCellRow = 0;
    int32_t lastCellRow = -1;
    if (!ClearOutsideWindow(side, firstRow, rowCount, pixels, firstCellRow, lastCellRow))
        return;
    const int32_t lastColumn = side - 1 - kWindowMargin;
    for (int32_t r = firstCellRow; r <= lastCellRow; ++r)
    {
        uint8_t* row = pixels + static_cast<size_t>(StorageRowOfCellRow(side, r) - firstRow) * static_cast<size_t>(side) * 4;
        for (int32_t c = kWindowMargin; c <= lastColumn; ++c)
            std::memcpy(row + static_cast<size_t>(MirroredColumn(side, c)) * 4, InterpolateCell(raw, r, c).pixel, 4);
    }
}

void RenderDemosaicRows(const CRawX10& raw, int32_t firstRow, int32_t rowCount, uint8_t* pixels,
                        CFastScanScratch* scratch)
{
    const int32_t side = raw.MosaicSide();
    int32_t firstCellRow = 0;
    int32_t lastCellRow = -1;
    if (!ClearOutsideWindow(side, firstRow, rowCount, pixels, firstCellRow, lastCellRow))
        return;
    std::unique_ptr<CFastScanScratch> ownScratch;
    if (scratch == nullptr)
    {
        ownScratch = std::make_unique<CFastScanScratch>(kWindowMargin, side - 1 - kWindowMargin);
        scratch = ownScratch.get();
    }
    if (!ScanRowsFast(raw.m_mosaic.get(), side, firstCellRow, lastCellRow, ScanTarget{pixels, firstRow}, *scratch))
        RenderDemosaicRowsByCell(raw, firstRow, rowCount, pixels);
}

Status CRawX10::Demosaic()
{
    const int32_t a = MosaicSide();
    PublishMosaicSide(a);
    // The white balance first, every worker a share of the rows: the scan of
    // a band reads two rows beyond it on either side.
    const int32_t workers = Workers().Size();
    Workers().Run([&](int32_t worker) {
        const int32_t first = static_cast<int32_t>(int64_t{a} * worker / workers);
        const int32_t end = static_cast<int32_t>(int64_t{a} * (worker + 1) / workers);
        WhiteBalanceRows(m_mosaic.get(), a, first, end - first);
    });
    // Then the image, band by band; every worker keeps its own scan scratch.
    std::vector<std::unique_ptr<CFastScanScratch>> scratch(static_cast<size_t>(workers));
    return StreamBmpFile(OutputNameOf(m_path, OutputImage::Demosaiced), a, a, kDemosaicBandRows, Workers(), Buffers(),
                         [&](int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t worker) {
                             std::unique_ptr<CFastScanScratch>& own = scratch[static_cast<size_t>(worker)];
                             if (!own)
                                 own = std::make_unique<CFastScanScratch>(kWindowMargin, a - 1 - kWindowMargin);
                             RenderDemosaicRows(*this, firstRow, rowCount, pixels, own.get());
                         });
}
