// The six channels of the sensor figures: each field's red, green and blue
// samples, counted apart, since each field (and each colour of it) is read
// out and amplified on its own. Channel 3 * field + colour.
//
// Sums are kept in integers wherever the samples allow, so that the
// figures do not depend on the order of the additions; the products of two
// such sums (n * sum of squares, of the order of 10^21) need 128 bits.
// Doubles enter only where a figure is formed from its sums, and each such
// place says so.
#pragma once

#include "probe/AreaSamples.h"
#include "raw/Lattice.h"

#include <cstdint>

inline constexpr int kChannels = 6;

using WideSum = __int128;  // GCC and Clang, on every 64-bit target we build

constexpr int ChannelOf(int32_t field, CellColour colour)
{
    return 3 * field + static_cast<int>(colour);
}

constexpr int32_t FieldOfChannel(int channel)
{
    return channel / 3;
}

constexpr CellColour ColourOfChannel(int channel)
{
    return kCellColours[channel % 3];
}

// Calls visit(channel, index, run, x) for every sample of runs first to
// first + count - 1 of selection, in order; index counts the samples
// visited from 0 (so for all the runs it is the sample's place in the
// selection). Along a field row the colours alternate, so the channel is
// worked out once per run and parity.
template <typename Visit>
void ForEachSelectedRun(const SampleSelection& selection, int32_t first, int32_t count, Visit&& visit)
{
    int64_t index = 0;
    for (int32_t r = first; r < first + count; ++r)
    {
        const SampleRun& run = selection.runs[static_cast<size_t>(r)];
        const int channels[2] = {ChannelOf(run.field, ColourOfFieldSample(run.y, run.first)),
                                 ChannelOf(run.field, ColourOfFieldSample(run.y, run.first + 1))};
        for (int32_t x = run.first; x <= run.last; ++x, ++index)
            visit(channels[(x - run.first) & 1], index, run, x);
    }
}

// The same for every sample of selection, index counted from 0.
template <typename Visit>
void ForEachSelectedSample(const SampleSelection& selection, Visit&& visit)
{
    ForEachSelectedRun(selection, 0, static_cast<int32_t>(selection.runs.size()), visit);
}

// The variance of n values from their sum and the sum of their squares,
// divided by n - ddof: (n * squares - sum^2) / (n * (n - ddof)). The
// numerator is exact; the quotient is a double. 0 when n <= ddof.
double VarianceOfSums(int64_t n, WideSum sum, WideSum squares, int64_t ddof);
