// The loaded samples of one file, as the renderers read them: both fields
// and, once built, the composite mosaic (raw/Placement.h lays it out).
//
// A view: it owns nothing and changes nothing. CRawX10::Samples() gives the
// view of a run's buffers; the Python module keeps the buffers of a loaded
// file and hands the same view to the same renderers, so neither needs to
// build a run around samples it already has.
#pragma once

#include <cstdint>

struct SampleView
{
    int32_t width = 0;                       // samples in a field row
    int32_t height = 0;                      // rows in a field
    const uint16_t* fields[2] = {};          // height rows of width samples each
    const uint16_t* mosaic = nullptr;        // Side() rows of Side() samples; null until built

    int32_t Side() const { return width + height; }
};
