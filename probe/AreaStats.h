// Statistics of the cells that a rectangle of pixels of FILE.bmp shows: the
// samples those cells hold, by field and colour (probe/FieldStats.h), and how
// many cells the rectangle covers.
//
// Pixels are counted as `cell` counts them (probe/CellReport.h), and show the
// cells raw/Placement.h gives them; column 0 and the bottom row show none. A
// cell holds at most one sample, of one field; the cells outside the diamond
// the fields cover hold none.
#pragma once

#include "platform/Status.h"
#include "probe/FieldStats.h"

#include <cstdint>
#include <string>
#include <vector>

class CJsonWriter;
class CRawX10;

// A rectangle of pixels: left, top, width, height.
struct ImageArea
{
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
};

struct AreaStats
{
    ImageArea area;
    int64_t cells = 0;         // pixels of the area that show a cell
    int64_t samples[2] = {};   // of those cells, the ones that hold a sample of field 0, of field 1
    FieldStats fields[2];      // the statistics of those samples
};

// Whether area can be measured in a side x side image: kStatusOk, or
// kStatusAreaEmpty or kStatusAreaOutsideImage.
Status CheckArea(const ImageArea& area, int32_t side);

// The message for an area that CheckArea refused with status, with the
// area's numbers: "the area 0 x 5 is empty", "the area 9 x 9 at (5000, -1)
// reaches outside the 5088 x 5088 image".
std::string DescribeAreaProblem(Status status, const ImageArea& area, int32_t side);

// The statistics of area, which CheckArea accepts, of raw's fields (loaded
// with LoadFields or Load); reads the fields only.
AreaStats ComputeAreaStats(const CRawX10& raw, const ImageArea& area);

// What `stats --area` adds to the file table, and to the JSON object.
std::vector<std::vector<std::string>> AreaRows(const CRawX10& raw, const AreaStats& stats);
void AreaKeys(CJsonWriter& json, const AreaStats& stats);
