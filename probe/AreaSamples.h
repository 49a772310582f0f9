// Which field samples an area of the image shows, as runs of field rows:
// the one list that `stats --area` and the sensor figures both read.
//
// An area's pixels show the cells raw/Placement.h gives them (column 0 and
// the bottom row show none); of those cells, the ones that hold a sample
// name the samples taken. Without an area every sample of both fields is
// taken.
#pragma once

#include "probe/AreaStats.h"

#include <cstdint>
#include <vector>

// Samples first to last (inclusive) of row y of one field.
struct SampleRun
{
    int32_t field = 0;
    int32_t y = 0;
    int32_t first = 0;
    int32_t last = 0;

    int64_t Count() const { return int64_t{last} - first + 1; }
    bool operator==(const SampleRun&) const = default;
};

struct SampleSelection
{
    int32_t width = 0;   // of the fields the runs lie in
    int32_t height = 0;
    int64_t cells = 0;   // pixels of the area that show a cell (all cells without an area)
    std::vector<SampleRun> runs;  // field 0's first, each field's rows in order; no run is empty
    int64_t samples[2] = {};      // how many samples of field 0, of field 1 the runs hold
};

// The samples of fields of width x height that area (one CheckArea accepts
// for their mosaic) shows; every sample when area is null.
SampleSelection SamplesOfArea(int32_t width, int32_t height, const ImageArea* area);
