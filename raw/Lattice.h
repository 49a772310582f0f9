// The X10 sensor lattice as the composite mosaic lays it out: the colour and
// the site class of every cell, and the names of the eight directions.
//
// The X10's photosites sit on a grid turned by 45 degrees, and the camera
// reads them out as two fields of 2944 x 2144 samples that interleave. The
// loader (raw/RawX10.h) sets every sample of both fields at its place on that
// diagonal grid, in a square mosaic of side 5088: row r counts down (south)
// and column c counts right (east), both from 0. Half the cells of the square
// hold a sample; the rest, outside the diamond the fields cover, stay 0.
//
// Colours. Every odd column is green. The even columns carry red and blue,
// and which of the two depends on the half-sum floor((r + c) / 2): red when
// it is even, blue when it is odd. So a row reads green between red and blue
// cells that take turns, and an even column reads its colours two by two:
// red, red, blue, blue, ...
//
// Site classes. Two bits place a cell in its 4 x 4 repeat besides its
// colour: the field bit f = (r + c) % 2, which for a regular cell says which
// field its sample came from, and the half-sum bit h = floor((r + c) / 2) % 2.
// Green cells come in four classes G<f><h>: G00, G01, G10, G11. For red and
// blue h is already the colour (red 0, blue 1), which leaves R0, R1, B0 and
// B1, the digit being f. A green cell has f = 0 in odd rows; a red or blue
// cell has f = 0 in even rows. The demosaic picks its rules by these classes.
//
// Directions around a cell, in the order of the gradient slots: N, E, S, W,
// NE, SE, SW, NW; north is towards smaller r and east towards larger c.
//
// Colours in a 32-bit pixel: blue in byte 0, green in byte 1, red in byte 2.
#pragma once

#include <cstdint>

enum class CellColour : uint8_t { Red, Green, Blue };

// The three colours in the order reports list them.
inline constexpr CellColour kCellColours[] = {CellColour::Red, CellColour::Green, CellColour::Blue};

enum class SiteClass : uint8_t { G00, G01, G10, G11, R0, R1, B0, B1 };

inline constexpr int kSiteClassCount = 8;

enum Direction : int { kNorth, kEast, kSouth, kWest, kNorthEast, kSouthEast, kSouthWest, kNorthWest };

inline constexpr int kDirectionCount = 8;

// "G00" ... "B1" and "N" ... "NW", for reports.
constexpr const char* NameOfSiteClass(SiteClass siteClass)
{
    constexpr const char* kNames[] = {"G00", "G01", "G10", "G11", "R0", "R1", "B0", "B1"};
    return kNames[static_cast<int>(siteClass)];
}

constexpr const char* NameOfDirection(int direction)
{
    constexpr const char* kNames[] = {"N", "E", "S", "W", "NE", "SE", "SW", "NW"};
    return kNames[direction];
}

constexpr const char* NameOfColour(CellColour colour)
{
    return colour == CellColour::Red ? "red" : colour == CellColour::Green ? "green" : "blue";
}

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

// Colour of the sample at field row y, column x, the same in both fields:
// green where x + y is odd, otherwise red for odd x and blue for even x. It
// is the colour of the cell the sample lands in.
constexpr CellColour ColourOfFieldSample(int32_t y, int32_t x)
{
    if ((x + y) % 2 != 0)
        return CellColour::Green;
    return x % 2 != 0 ? CellColour::Red : CellColour::Blue;
}
