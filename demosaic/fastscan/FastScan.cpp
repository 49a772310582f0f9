// Dispatch of the fast demosaic scan: which compiled variant runs, and the
// scratch memory it works in.
#include "demosaic/fastscan/FastScan.h"

#include "demosaic/fastscan/FastScanVariants.h"

namespace
{

// Whether the processor (and the operating system, which must save the wider
// registers) supports a variant; the compiler's check covers both.
bool ProcessorRuns(ScanVariant variant)
{
#if defined(DIAGRAW_FAST_SCAN_X86)
    switch (variant)
    {
    case ScanVariant::kBaseline:
        return true;
    case ScanVariant::kAvx2:
        return __builtin_cpu_supports("avx2") != 0;
    case ScanVariant::kAvx512:
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
               __builtin_cpu_supports("avx512vl") != 0 && __builtin_cpu_supports("avx512dq") != 0;
    }
    return false;
#else
    return variant == ScanVariant::kBaseline;
#endif
}

ScanVariant WidestVariant()
{
    static const ScanVariant s_widest = AvailableScanVariants().back();
    return s_widest;
}

}  // namespace

std::vector<ScanVariant> AvailableScanVariants()
{
    std::vector<ScanVariant> variants;
    for (const ScanVariant variant : {ScanVariant::kBaseline, ScanVariant::kAvx2, ScanVariant::kAvx512})
        if (ProcessorRuns(variant))
            variants.push_back(variant);
    return variants;
}

const char* NameOfScanVariant(ScanVariant variant)
{
    switch (variant)
    {
    case ScanVariant::kAvx2:
        return "avx2";
    case ScanVariant::kAvx512:
        return "avx512";
    case ScanVariant::kBaseline:
        break;
    }
    return "baseline";
}

CFastScanScratch::CFastScanScratch(int32_t firstColumn, int32_t lastColumn)
    : m_firstColumn(firstColumn),
      m_lastColumn(lastColumn),
      // Per row: the even or odd columns of the span and two more on each
      // side, rounded up to whole cache lines.
      m_splitLength(((lastColumn - firstColumn) / 2 + 3 + 31) / 32 * 32)
{
    const auto length = static_cast<size_t>(m_splitLength);
    m_samples = std::make_unique<int16_t[]>(kSampleScratchRows * length);
    m_quotients = std::make_unique<double[]>(kQuotientScratchRows * length);
    m_rowPixels = std::make_unique<uint32_t[]>(kPixelScratchRows * length);
}

bool ScanRowsFast(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t lastRow, ScanTarget target,
                  CFastScanScratch& scratch)
{
    return ScanRowsWith(WidestVariant(), mosaic, side, firstRow, lastRow, target, scratch);
}

bool ScanRowsWith(ScanVariant variant, const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t lastRow,
                  ScanTarget target, CFastScanScratch& scratch)
{
    if (lastRow < firstRow || scratch.LastColumn() < scratch.FirstColumn())
        return true;
    const auto length = static_cast<size_t>(scratch.SplitLength());
    FastScanWork work;
    work.mosaic = mosaic;
    work.side = side;
    work.firstRow = firstRow;
    work.lastRow = lastRow;
    work.firstColumn = scratch.FirstColumn();
    work.lastColumn = scratch.LastColumn();
    work.pixels = target.pixels;
    work.firstStorageRow = target.firstStorageRow;
    work.splitLength = scratch.SplitLength();
    work.split = scratch.Samples();
    work.north = scratch.Samples() + kNorthSlotRow * length;
    work.south = scratch.Samples() + kSouthSlotRow * length;
    work.southOfOddRow = scratch.Samples() + kSouthOfOddRowRow * length;
    work.quotients = scratch.Quotients();
    work.greenPixels = scratch.RowPixels();
    work.colourPixels = scratch.RowPixels() + length;
    work.mirroredPixels = scratch.RowPixels() + 2 * length;

    if (!ProcessorRuns(variant))
        variant = ScanVariant::kBaseline;
#if defined(DIAGRAW_FAST_SCAN_X86)
    if (variant == ScanVariant::kAvx512)
        return ScanWindowRowsAvx512(work);
    if (variant == ScanVariant::kAvx2)
        return ScanWindowRowsAvx2(work);
#endif
    return ScanWindowRowsBaseline(work);
}
