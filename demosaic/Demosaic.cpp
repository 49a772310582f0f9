#include "demosaic/Demosaic.h"

#include "bmp/BmpWriter.h"
#include "demosaic/ColourSums.h"
#include "demosaic/FastScan.h"
#include "demosaic/Gradients.h"
#include "raw/LargeBuffers.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"

#include <memory>
#include <string>

void WhiteBalanceWindow(uint16_t* mosaic, int32_t side)
{
    // The gain follows the row pair, not the colour: in one row every even
    // column of the window, red and blue alike, gets the same gain.
    const int32_t last = side - 1 - kWindowMargin;
    for (int32_t r = kWindowMargin; r <= last; ++r)
    {
        uint16_t* row = mosaic + static_cast<int64_t>(r) * side;
        for (int32_t c = kWindowMargin; c <= last; c += 2)
            row[c] = WhiteBalancedSample(row[c], r);
    }
}

void InterpolateCell(const CRawX10& raw, int32_t r, int32_t c, uint8_t* pixel)
{
    const int32_t side = g_mosaicSide;
    const uint16_t* mosaic = raw.m_mosaic.get();
    const int32_t sample = mosaic[static_cast<int64_t>(r) * side + c];
    const SiteClass siteClass = SiteClassOfCell(r, c);
    int32_t first = 0;
    int32_t second = 0;
    int32_t third = 0;
    int32_t n;
    if (c % 2 != 0)
    {
        ComputeGreenGradients(mosaic, side, r, c);
        if (siteClass == SiteClass::G10 || siteClass == SiteClass::G11)
            n = AccumulateGreenA(raw, g_gradients, r, c, first, second, third);
        else
            n = AccumulateGreenB(raw, g_gradients, r, c, first, second, third);
    }
    else
    {
        ComputeColorGradients(mosaic, r, c);
        if (siteClass == SiteClass::R0 || siteClass == SiteClass::B0)
            n = AccumulateColor0(raw, g_gradients, r, c, first, second, third);
        else
            n = AccumulateColor1(raw, g_gradients, r, c, first, second, third);
    }

    // Which sum feeds which byte (blue 0, green 1, red 2).
    uint8_t& blue = pixel[0];
    uint8_t& green = pixel[1];
    uint8_t& red = pixel[2];
    switch (siteClass)
    {
    case SiteClass::G00:
    case SiteClass::G11:
        green = NativeValue(sample);
        red = InterpolatedValue(third, second, n, sample);
        blue = InterpolatedValue(first, second, n, sample);
        break;
    case SiteClass::G01:
    case SiteClass::G10:
        green = NativeValue(sample);
        red = InterpolatedValue(first, second, n, sample);
        blue = InterpolatedValue(third, second, n, sample);
        break;
    case SiteClass::R0:
    case SiteClass::R1:
        red = NativeValue(sample);
        green = InterpolatedValue(second, first, n, sample);
        blue = InterpolatedValue(third, first, n, sample);
        break;
    case SiteClass::B0:
    case SiteClass::B1:
        blue = NativeValue(sample);
        green = InterpolatedValue(second, first, n, sample);
        red = InterpolatedValue(third, first, n, sample);
        break;
    }
}

void ScanWindowByCell(const CRawX10& raw, uint8_t* pixels)
{
    const int64_t a = g_mosaicSide;
    const auto last = static_cast<int32_t>(a - 1 - kWindowMargin);
    for (int32_t r = kWindowMargin; r <= last; ++r)
    {
        uint8_t* out = pixels + (a - r) * a * 4;
        for (int32_t c = kWindowMargin; c <= last; ++c)
            InterpolateCell(raw, r, c, out + (a - c) * 4);
    }
}

int32_t CRawX10::Demosaic()
{
    const int32_t a = MosaicSide();
    g_mosaicSide = a;
    const int64_t pixelBytes = int64_t{a} * a * 4;
    // Every byte is written once: the window by the scan, the rest here.
    const ScratchBuffer pixels = AcquireScratchBuffer(static_cast<size_t>(pixelBytes));
    ZeroOutsideWindow(pixels.get(), a);
    WhiteBalanceWindowInPairs(m_mosaic.get(), a);
    ScanWindowFast(*this, pixels.get());
    const std::string name = m_path + ".bmp";
    return SaveBmp32(name.c_str(), a, a, pixels.get()) != 0 ? 0 : 1;
}
