// Dispatch of the fast demosaic scan: the choice of the compiled variant, its
// scratch memory, and the fallback to the per-cell rules.
#include "demosaic/FastScan.h"

#include "demosaic/Demosaic.h"
#include "demosaic/FastScanVariants.h"
#include "demosaic/Gradients.h"
#include "raw/RawX10.h"

#include <cstring>
#include <memory>

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

void ScanWindowFast(const CRawX10& raw, uint8_t* pixels)
{
    ScanWindowWith(AvailableScanVariants().back(), raw, pixels);
}

void ScanWindowWith(ScanVariant variant, const CRawX10& raw, uint8_t* pixels)
{
    const int32_t side = g_mosaicSide;
    const int32_t first = kWindowMargin;
    const int32_t last = side - 1 - kWindowMargin;
    if (last < first)
        return;  // no window
    const uint16_t* mosaic = raw.m_mosaic.get();

    // Scratch: per row, lengths rounded up to whole cache lines.
    const int32_t splitLength = ((last - first) / 2 + 3 + 31) / 32 * 32;
    const auto length = static_cast<size_t>(splitLength);
    auto samples = std::make_unique<int16_t[]>(13 * length);
    auto quotients = std::make_unique<double[]>(3 * length);
    auto rowPixels = std::make_unique<uint32_t[]>(4 * length);

    FastScanWork work;
    work.mosaic = mosaic;
    work.side = side;
    work.firstRow = first;
    work.lastRow = last;
    work.firstColumn = first;
    work.lastColumn = last;
    work.pixels = pixels;
    work.splitLength = splitLength;
    work.split = samples.get();
    work.north = samples.get() + 10 * length;
    work.south = samples.get() + 11 * length;
    work.southOfOddRow = samples.get() + 12 * length;
    work.quotients = quotients.get();
    work.greenPixels = rowPixels.get();
    work.colourPixels = rowPixels.get() + length;
    work.mirroredPixels = rowPixels.get() + 2 * length;

    // A variant the processor lacks falls back to the baseline.
    if (!ProcessorRuns(variant))
        variant = ScanVariant::kBaseline;
    bool exact;
#if defined(DIAGRAW_FAST_SCAN_X86)
    if (variant == ScanVariant::kAvx512)
        exact = ScanWindowRowsAvx512(work);
    else if (variant == ScanVariant::kAvx2)
        exact = ScanWindowRowsAvx2(work);
    else
        exact = ScanWindowRowsBaseline(work);
#else
    exact = ScanWindowRowsBaseline(work);
#endif
    // Samples that no 12-bit input can produce: the per-cell rules redo the
    // whole window.
    if (!exact)
        ScanWindowByCell(raw, pixels);
}

void WhiteBalanceWindowInPairs(uint16_t* mosaic, int32_t side)
{
    const int32_t last = side - 1 - kWindowMargin;
    // Even columns kWindowMargin to last; the partner of the last one may lie
    // one column outside the window and is only rewritten with its own value.
    const int32_t evenColumns = last < kWindowMargin ? 0 : (last - kWindowMargin) / 2 + 1;
    const int32_t pairs = (last - kWindowMargin + 1) / 2;
    for (int32_t r = kWindowMargin; r <= last; ++r)
    {
        uint16_t* row = mosaic + static_cast<int64_t>(r) * side + kWindowMargin;
        // The gain of WhiteBalancedSample: by the row pair, as a float.
        const float gain = (r / 2) % 2 == 0 ? 1.65f : 1.57f;
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

void ZeroOutsideWindow(uint8_t* pixels, int32_t side)
{
    // Storage rows 9 to side - 8 hold the window; in each of them pixels 9 to
    // side - 8. With no window every byte is zeroed.
    const int64_t rowBytes = int64_t{side} * 4;
    const int32_t firstRow = kWindowMargin + 1;
    const int32_t lastRow = side - kWindowMargin;
    if (lastRow < firstRow)
    {
        std::memset(pixels, 0, static_cast<size_t>(rowBytes * side));
        return;
    }
    std::memset(pixels, 0, static_cast<size_t>(rowBytes * firstRow));
    for (int32_t row = firstRow; row <= lastRow; ++row)
    {
        uint8_t* line = pixels + row * rowBytes;
        std::memset(line, 0, static_cast<size_t>(firstRow) * 4);
        std::memset(line + int64_t{lastRow + 1} * 4, 0, static_cast<size_t>(side - 1 - lastRow) * 4);
    }
    std::memset(pixels + (lastRow + 1) * rowBytes, 0, static_cast<size_t>(rowBytes * (side - 1 - lastRow)));
}
