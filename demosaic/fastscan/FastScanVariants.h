// Inside the fast demosaic scan: the job that its dispatcher (FastScan.cpp)
// hands to one compiled variant of the scan body (FastScanKernel.h).
//
// The dispatcher owns every buffer; a variant only reads the mosaic and
// writes the pixels of the window and its scratch rows. The struct holds
// plain pointers and numbers and no code, so that nothing in it is compiled
// with a wider instruction set than the processor may have.
#pragma once

#include <cstdint>

// The scan is exact while every sample it reads is below this (the argument
// is in FastScanKernel.h); the white balance of 12-bit samples reaches 6756.
inline constexpr int32_t kFastScanSampleLimit = 8192;

// The scratch rows of one scan, each splitLength elements long: in 16-bit
// samples the even and odd columns of five mosaic rows, then the green N and
// S slots and the south terms of the red and blue cells; in doubles the pair
// differences of three rows divided by 1.1; in pixels one row's green and
// colour pixels and its mirrored pixels (two rows).
inline constexpr int32_t kSplitSampleRows = 10;
inline constexpr int32_t kNorthSlotRow = kSplitSampleRows;
inline constexpr int32_t kSouthSlotRow = kSplitSampleRows + 1;
inline constexpr int32_t kSouthOfOddRowRow = kSplitSampleRows + 2;
inline constexpr int32_t kSampleScratchRows = kSplitSampleRows + 3;  // 13
inline constexpr int32_t kQuotientScratchRows = 3;
inline constexpr int32_t kPixelScratchRows = 4;

struct FastScanWork
{
    const uint16_t* mosaic;  // side x side samples, white-balanced
    int32_t side;
    int32_t firstRow;        // window rows and columns, inclusive, at least two
    int32_t lastRow;         // cells inside every edge; firstColumn even
    int32_t firstColumn;
    int32_t lastColumn;
    uint8_t* pixels;         // BGR0 pixels, side to a row, from storage row firstStorageRow
    int32_t firstStorageRow; // mirrored as raw/Placement.h lays the image out

    // Scratch memory, splitLength elements per row unless said otherwise.
    int32_t splitLength;     // at least (lastColumn - firstColumn) / 2 + 3
    int16_t* split;          // 10 rows: the even and odd columns of 5 mosaic rows
    int16_t* north;          // green N slots of one row
    int16_t* south;          // green S slots of one row
    int16_t* southOfOddRow;  // south vertical terms of the red and blue cells
    double* quotients;       // 3 rows of pair differences divided by 1.1
    uint32_t* greenPixels;   // the pixels of one row's green cells
    uint32_t* colourPixels;  // the pixels of one row's red and blue cells
    uint32_t* mirroredPixels;  // one row's pixels in output order, 2 x splitLength
};

// The scan body built for the baseline of the target (any x86-64, or the
// default of another architecture). Returns false when the mosaic held a
// sample of kFastScanSampleLimit or more, for which the pixels written are
// not exact.
bool ScanWindowRowsBaseline(const FastScanWork& work);

#if defined(DIAGRAW_FAST_SCAN_X86)
// The same body built for processors with AVX2, and with AVX-512 (F, BW, VL
// and DQ, 512-bit vectors).
bool ScanWindowRowsAvx2(const FastScanWork& work);
bool ScanWindowRowsAvx512(const FastScanWork& work);
#endif
