// Temporal noise from two frames of one scene at one exposure, per channel
// (sensor/SensorChannels.h), after EMVA 1288 (Release 4.0, linear sensors):
// what the two frames share is the scene and its fixed pattern, so the
// difference of the two, each taken from its own mean, is noise alone, and
// its squares summed over the channel's n samples and divided by 2n give
// the temporal variance of one frame.
#pragma once

#include "probe/AreaSamples.h"
#include "raw/Samples.h"
#include "sensor/SensorChannels.h"

#include <array>
#include <cstdint>

struct PairFigures
{
    int64_t count = 0;              // samples of the channel in each frame
    double mean = 0.0;              // (mu_A + mu_B) / 2
    double temporalVariance = 0.0;  // sum((y_A - mu_A) - (y_B - mu_B))^2 / 2n

    double TemporalNoise() const;
};

using ChannelPairFigures = std::array<PairFigures, kChannels>;

class CWorkerPool;

// The figures of the samples of selection in frames a and b, whose fields
// have the selection's shape, on the workers of pool (null: on the calling
// thread; the integer sums come out the same). The sums are exact: sum of d = y_A - y_B and
// of d^2 in 64 bits, and the variance is (n * sum d^2 - (sum d)^2) / 2n^2,
// its numerator in 128 bits and the quotient a double.
ChannelPairFigures ComputePairFigures(const SampleView& a, const SampleView& b, const SampleSelection& selection,
                                      CWorkerPool* pool = nullptr);
