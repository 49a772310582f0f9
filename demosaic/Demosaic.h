// The demosaic pass: white balance and interpolation of the composite mosaic.
//
// The pass works on the scan window, rows and columns 8 to side - 9 of the
// mosaic. It first scales every even-column (red or blue) cell of the window
// in place by a single-precision gain chosen by the row pair: 1.65 when
// floor(r / 2) is even and 1.57 when it is odd. It then interpolates every
// cell of the window from its 5 x 5 neighbourhood: the gradient rule of the
// cell's colour fills the eight slots, the accumulation rule of its class
// thresholds them and sums colour estimates along the usable directions, and
// the two missing colours become the cell's own sample plus the mean colour
// difference along those directions, divided by 12 in single precision.
//
// Output: pixel a - c of storage row a - r of an a x a BGR0 pixel buffer
// (bottom-up BMP order), so the image is the composite mirrored left to
// right. Only the window's pixels are written; the caller zeroes the rest.
#pragma once

#include <cstdint>

class CRawX10;

// First and last row (and column) of the scan window for a mosaic side.
constexpr int32_t kWindowMargin = 8;

// Scales the red and blue cells of the scan window in place.
void WhiteBalanceWindow(uint16_t* mosaic, int32_t side);

// White-balanced value of one red or blue sample in row r.
constexpr uint16_t WhiteBalancedSample(uint16_t sample, int32_t r)
{
    const float gain = (r / 2) % 2 == 0 ? 1.65f : 1.57f;
    return static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(sample) * gain));
}

// Native channel value of a cell: its own sample / 12 in single precision,
// truncated and limited to 255.
constexpr uint8_t NativeValue(int32_t sample)
{
    const auto v = static_cast<int32_t>(static_cast<float>(sample) / 12.0f);
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

// Value of a missing channel from its colour sum, the native sum, the count n
// and the cell's own sample: ((sum - nativeSum) / n + sample) / 12, limited to
// 0 to 255.
constexpr uint8_t InterpolatedValue(int32_t sum, int32_t nativeSum, int32_t n, int32_t sample)
{
    const int32_t e = (sum - nativeSum) / n + sample;
    const auto value = static_cast<int32_t>(static_cast<float>(e) / 12.0f);
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Interpolates the one cell (r, c) of the white-balanced mosaic of raw with
// the per-cell rules and writes its blue, green and red bytes to pixel.
// g_mosaicSide must hold the mosaic's side.
void InterpolateCell(const CRawX10& raw, int32_t r, int32_t c, uint8_t* pixel);

// Interpolates the whole scan window cell by cell into pixels (a x a x 4
// bytes). This is the plain form of the scan.
void ScanWindowByCell(const CRawX10& raw, uint8_t* pixels);
