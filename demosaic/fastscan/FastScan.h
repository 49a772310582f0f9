// The demosaic scan, many cells at a time.
//
// ScanRowsFast writes, byte for byte, the pixels that the per-cell rules
// (InterpolateCell, demosaic/Demosaic.h) give for the same white-balanced
// mosaic. It works in 16-bit lanes, which is exact while every sample is
// below kFastScanSampleLimit (FastScanVariants.h; white balance takes 12-bit
// samples to 6756 at most); on a mosaic with a larger sample it says so, and
// the caller falls back to the per-cell rules. The scan body is compiled for more than one instruction
// set; the widest the processor runs is used unless a variant is named.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

enum class ScanVariant : uint8_t
{
    kBaseline,  // the target's baseline (SSE2 on x86-64)
    kAvx2,      // x86-64 with AVX2
    kAvx512,    // x86-64 with AVX-512 F, BW, VL and DQ
};

// The variants this processor can run, the baseline first and the widest last.
std::vector<ScanVariant> AvailableScanVariants();

// A short name for reports: "baseline", "avx2" or "avx512".
const char* NameOfScanVariant(ScanVariant variant);

// Working rows of the scan, for cells in columns firstColumn to lastColumn:
// a few hundred kilobytes, allocated once (std::bad_alloc) and reused for
// every band; one per thread that scans.
class CFastScanScratch
{
public:
    CFastScanScratch(int32_t firstColumn, int32_t lastColumn);

    int32_t FirstColumn() const { return m_firstColumn; }
    int32_t LastColumn() const { return m_lastColumn; }
    int32_t SplitLength() const { return m_splitLength; }
    int16_t* Samples() const { return m_samples.get(); }
    double* Quotients() const { return m_quotients.get(); }
    uint32_t* RowPixels() const { return m_rowPixels.get(); }

private:
    int32_t m_firstColumn;
    int32_t m_lastColumn;
    int32_t m_splitLength;
    std::unique_ptr<int16_t[]> m_samples;
    std::unique_ptr<double[]> m_quotients;
    std::unique_ptr<uint32_t[]> m_rowPixels;
};

// Where the cells of a scan go: each cell of a side x side mosaic is the
// mirrored pixel of raw/Placement.h, and pixels holds the storage rows from
// firstStorageRow on (4 bytes a pixel, side pixels a row).
struct ScanTarget
{
    uint8_t* pixels;
    int32_t firstStorageRow;
};

// Interpolates the cells of rows firstRow to lastRow, in the scratch's
// columns, of the white-balanced side x side mosaic, and writes their pixels
// (and only those). Every cell must lie at least two cells inside every
// edge, and firstColumn must be even. Returns false when a sample it read was
// kFastScanSampleLimit or more: the pixels written are then not exact.
bool ScanRowsFast(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t lastRow, ScanTarget target,
                  CFastScanScratch& scratch);

// The same with a chosen variant; one the processor lacks runs as the baseline.
bool ScanRowsWith(ScanVariant variant, const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t lastRow,
                  ScanTarget target, CFastScanScratch& scratch);
