// The two fields of one frame side by side, per colour: whether they were
// read out alike. Field 1's sample at field position (y, x) lies one cell
// south of field 0's at the same position (raw/Placement.h), so the two see
// nearly the same light, and their means, the ratio of those in EV and the
// correlation of such co-sited pairs show an offset or a gain between them
// at once.
#pragma once

#include "probe/AreaSamples.h"
#include "raw/Samples.h"

#include <array>
#include <cstdint>

struct FieldPairFigures
{
    int64_t count = 0;     // co-sited pairs
    double mean0 = 0.0;
    double mean1 = 0.0;
    double ev = 0.0;            // log2(mean1 / mean0); NaN when a mean is 0
    double correlation = 0.0;   // Pearson's; NaN when either field is constant
};

// Indexed by CellColour.
using ColourFieldPairFigures = std::array<FieldPairFigures, 3>;

// The figures of the pairs whose field 0 sample selection holds (with an
// area, its field 1 partner may lie just outside it). The sums are exact
// integers; the means, the ratio and the correlation are formed in doubles.
ColourFieldPairFigures CompareFields(const SampleView& frame, const SampleSelection& selection);
