// The built-in test chart: a synthetic X10 raw file whose content is known.
//
// The chart is drawn in composite-mosaic coordinates (row r, column c of the
// 5088 x 5088 mosaic, see raw/Lattice.h) and rendered onto the two raw
// fields through the field colour rule and the placement of the loader, so
// that it looks right once the fields are laid into the mosaic. It holds a
// neutral grey ramp, saturated and pastel colour patches, sharp edges at 0,
// 45 and 90 degrees, fine lines one and two cells wide and a smooth gradient.
//
// Every colour carries a soft shade that rises and falls by one step per row,
// so that no neighbourhood is perfectly flat for the demosaic's direction
// choice.
//
// Colours are given on the white-balanced 12-bit scale: a demosaiced channel
// byte is value / 12. Red and blue samples are divided by the white-balance
// gain of their row (1.65 or 1.57), so that greys come out grey.
#pragma once

#include <cstdint>
#include <vector>

struct ChartColour
{
    int32_t red;
    int32_t green;
    int32_t blue;
};

// Colour of the chart at composite cell (r, c), white-balanced 12-bit scale.
ChartColour ChartColourAt(int32_t r, int32_t c);

// True when the chart is smooth around (r, c): the cell lies inside the area
// covered by the fields and no edge, line or patch border lies within a few
// cells of it. Reconstruction is measured over these cells.
bool ChartIsSmoothAt(int32_t r, int32_t c);

// The chart's sample at row y, column x of field f: its value in the
// sample's filter colour at the cell the sample is laid into.
uint16_t ChartSampleOf(int32_t field, int32_t y, int32_t x);

// Renders the chart into two fields of 2144 rows x 2944 samples, each
// sample ChartSampleOf its position.
void RenderChartFields(uint16_t* field0, uint16_t* field1);

// The whole chart file: field 0 block, 2,048 zero bytes, field 1 block;
// 18,937,856 bytes.
std::vector<uint8_t> MakeChartFile();
