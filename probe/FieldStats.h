// Statistics of the raw samples of both fields, by field and filter colour,
// and their two printed forms: an aligned table and one JSON object.
//
// The colour of a sample is the field colour rule of raw/Lattice.h
// (ColourOfFieldSample). Every figure is computed from one count of each
// 12-bit value, so the percentiles are exact.
#pragma once

#include "raw/Lattice.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CJsonWriter;
class CRawX10;

inline constexpr int32_t kSampleValues = 4096;  // 12-bit samples: 0 to 4095
inline constexpr int32_t kHistogramBins = 64;   // of 64 values each

// The samples of one colour in one field. With count 0 every figure is 0.
struct ColourStats
{
    int64_t count = 0;
    int32_t min = 0;
    int32_t max = 0;
    double mean = 0.0;
    double stddev = 0.0;  // population: the root of the mean squared distance from the mean
    int64_t zeros = 0;    // samples of 0
    int64_t clipped = 0;  // samples of 4095
    int32_t p1 = 0;       // pP: the smallest v with at least ceil(P * count / 100) samples <= v
    int32_t p50 = 0;
    int32_t p99 = 0;
    std::array<int64_t, kHistogramBins> histogram{};  // bin i: values 64i to 64i + 63
};

// Indexed by CellColour: red, green, blue.
using FieldStats = std::array<ColourStats, 3>;

// How many samples of each value, for each colour: counts[colour][value],
// indexed by CellColour and by the value (kSampleValues of them).
using ColourValueCounts = std::vector<std::vector<uint32_t>>;
ColourValueCounts EmptyColourValueCounts();

// The statistics of the samples so counted.
FieldStats StatsOfColourValueCounts(const ColourValueCounts& counts);

// The statistics of one field of height rows by width samples; every sample
// is below kSampleValues.
FieldStats ComputeFieldStats(const uint16_t* field, int32_t width, int32_t height);

// What `stats` prints for raw, whose fields are loaded: the file's size, the
// bytes before the tail and both fields' statistics. moreRows and moreKeys
// add what follows the bytes before the tail (the area of `stats --area`).
std::string StatsTable(const CRawX10& raw, const FieldStats stats[2],
                       const std::vector<std::vector<std::string>>& moreRows = {});
std::string StatsJson(const CRawX10& raw, const FieldStats stats[2],
                      const std::function<void(CJsonWriter& json)>& moreKeys = {});
