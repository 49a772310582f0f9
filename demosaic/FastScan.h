// The demosaic scan computed many cells at once.
//
// ScanWindowFast writes, byte for byte, the pixels that ScanWindowByCell
// writes for the same white-balanced mosaic (raw.m_mosaic of side
// g_mosaicSide), and like it only the pixels of the scan window. The scan body
// is built for more than one instruction set and the widest one that the
// processor runs is used; ScanWindowWith runs a chosen one, so that tests and
// benchmarks can check and time each. The body works in 16-bit lanes, exact
// while every sample is below 8192 (white-balanced 12-bit samples reach
// 6756); on a mosaic with a larger sample the scan falls back to the per-cell
// rules. Scratch memory of a few hundred kilobytes is allocated per call
// (std::bad_alloc on failure); nothing is returned.
#pragma once

#include <cstdint>
#include <vector>

class CRawX10;

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

// Scans the window with the widest available variant.
void ScanWindowFast(const CRawX10& raw, uint8_t* pixels);

// Scans the window with the given variant, which must be available.
void ScanWindowWith(ScanVariant variant, const CRawX10& raw, uint8_t* pixels);

// Scales the red and blue cells of the scan window in place, exactly as
// WhiteBalanceWindow does, many cells at a time: each (even, odd) pair of
// columns is read and written whole, the odd (green) sample unchanged.
void WhiteBalanceWindowInPairs(uint16_t* mosaic, int32_t side);

// Sets every byte of the side x side pixel buffer outside the window's pixels
// (storage rows and pixels 9 to side - 8) to 0.
void ZeroOutsideWindow(uint8_t* pixels, int32_t side);
