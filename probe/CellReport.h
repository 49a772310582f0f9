// Why one pixel of the demosaiced image has its colour: the mosaic cell it
// shows, where that cell's sample came from, and what the demosaic's per-cell
// rules (InterpolateCell, demosaic/Demosaic.h) made of it; printed as an
// aligned table or as one JSON object.
//
// A pixel (x, y) is counted as an image viewer shows the image: from the top
// left, x to the right, y down; raw/Placement.h says which cell it shows
// (none for column 0 and the bottom row) and which sample that cell holds.
#pragma once

#include "demosaic/Demosaic.h"
#include "raw/Placement.h"

#include <cstdint>
#include <string>

class CRawX10;

struct PixelExplanation
{
    int32_t x = 0;  // the pixel, as a viewer counts it
    int32_t y = 0;
    bool showsCell = false;
    int32_t r = 0;  // the cell it shows, when it shows one
    int32_t c = 0;
    FieldSource source;
    int32_t rawSample = 0;        // the cell's value as loaded
    int32_t balancedSample = 0;   // the same after the white balance of the pass
    bool demosaiced = false;      // the cell lies in the scan window
    std::string reason;           // why the pixel is black, when it is not demosaiced
    int32_t neighbourhood[5][5]{};  // rows r - 2 to r + 2, columns c - 2 to c + 2, white-balanced
    CellInterpolation rules{};    // what the per-cell rules decided, when demosaiced
    uint8_t pixel[3]{};           // blue, green, red, as the .bmp holds them
};

// Explains pixel (x, y), which lies inside the side x side image, from the
// fields of samples alone (the mosaic is not needed): the 25 cells the rules
// read are taken from the fields and white-balanced as the pass would.
PixelExplanation ExplainPixel(const SampleView& samples, int32_t x, int32_t y);

// Why pixel (x, y), named as the caller was given it, is not explained:
// "pixel (X, Y) lies outside the SIDE x SIDE image".
std::string PixelOutsideImage(const std::string& x, const std::string& y, int32_t side);

std::string PixelTable(const CRawX10& raw, const PixelExplanation& explanation);
std::string PixelJson(const PixelExplanation& explanation);
