// The X10 sensor lattice: cell colours and site classes of the composite mosaic.
//
// The camera's photosites sit on a lattice turned by 45 degrees and are read
// out as two interleaved fields of 2944 x 2144 samples. The loader lays both
// fields into one square composite mosaic of side 5088 (see CRawX10), where
// rows r grow towards the south and columns c towards the east, both from 0.
//
// Colour of a composite cell:
//   c odd                          green
//   c even, floor((r + c) / 2) even  red
//   c even, floor((r + c) / 2) odd   blue
// Along a row the odd columns are green and the even ones alternate red and
// blue; down an even column the colours come in pairs (red, red, blue, blue).
//
// Site class: the colour together with the field parity f = (r + c) mod 2 and
// the half-sum parity h = floor((r + c) / 2) mod 2. Green cells are G<f><h>,
// red and blue cells R<f> and B<f> (for them h is fixed by the colour).
// For a green cell f = 0 exactly when r is odd; for a red or blue cell f = 0
// exactly when r is even. Regular cells with f = 0 hold field-0 samples, those
// with f = 1 field-1 samples.
//
// Directions around a cell are numbered N, E, S, W, NE, SE, SW, NW (0 to 7);
// north is towards smaller r, east towards larger c.
//
// Colours in a 32-bit pixel are the bytes blue (0), green (1) and red (2).
#pragma once

#include <cstdint>

enum class CellColour : uint8_t { Red, Green, Blue };

enum class SiteClass : uint8_t { G00, G01, G10, G11, R0, R1, B0, B1 };

inline constexpr int kSiteClassCount = 8;

// Byte of a 32-bit BGR0 pixel that holds the given colour.
constexpr int PixelByteOfColour(CellColour colour)
{
    return colour == CellColour::Blue ? 0 : colour == CellColour::Green ? 1 : 2;
}

// Colour of the composite cell (r, c); r and c are never negative.
constexpr CellColour ColourOfCell(int32_t r, int32_t c)
{
    if (c % 2 != 0)
        return CellColour::Green;
    return ((r + c) / 2) % 2 == 0 ? CellColour::Red : CellColour::Blue;
}

// Site class of the composite cell (r, c).
constexpr SiteClass SiteClassOfCell(int32_t r, int32_t c)
{
    const int f = (r + c) % 2;
    const int h = ((r + c) / 2) % 2;
    if (c % 2 != 0)
        return f == 0 ? (h == 0 ? SiteClass::G00 : SiteClass::G01)
                      : (h == 0 ? SiteClass::G10 : SiteClass::G11);
    if (h == 0)
        return f == 0 ? SiteClass::R0 : SiteClass::R1;
    return f == 0 ? SiteClass::B0 : SiteClass::B1;
}

// Colour of the sample at field row y, column x; the same rule holds for both
// fields, and it agrees with ColourOfCell for the cell the sample lands in.
constexpr CellColour ColourOfFieldSample(int32_t y, int32_t x)
{
    if ((x + y) % 2 != 0)
        return CellColour::Green;
    return x % 2 != 0 ? CellColour::Red : CellColour::Blue;
}
