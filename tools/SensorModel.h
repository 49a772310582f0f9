// A simulated X10 sensor whose truth is known: one frame of the two fields
// drawn from a model of the light, a fixed pattern, defective cells and
// noise, so that an analysis of such frames (gain, read noise, dark signal
// and photo response non-uniformity, hot and dead cells) can be checked
// against what the model put in. docs/diagraw-synth.md writes the model out.
//
// Per sample of field f at field row y, column x, whose filter colour is
// ColourOfFieldSample(y, x):
//
//   light  = 1 (SensorLight::Flat), or ChartSampleOf(f, y, x) / 4095 (Chart)
//   mean   = N * light * (1 + p) * (f == 1 ? R : 1), 0 where that is below 0
//            and in a dead cell
//   photo  ~ Poisson(mean)
//   hot    ~ Poisson(E) in a hot cell, else 0
//   value  = floor(offset + K * (photo + hot + d + read) + 1/2), clipped to 0..4095
//
// with N electrons, R fieldRatio, K gain; the fixed pattern p ~ Normal(0,
// prnuPercent / 100) and d ~ Normal(0, dsnuElectrons), the same in every
// frame of one patternSeed; and read ~ Normal(0, readNoiseElectrons), photo
// and hot drawn anew for every seed.
//
// Random numbers. Every sample has its own streams, one for the pattern
// (from patternSeed) and one each for the shot noise and the hot electrons
// (from seed): splitmix64 started at a hash of the seed, the stream and the
// sample's index i = (f * 2144 + y) * 2944 + x. The read noise (from seed)
// has one stream for each pair of samples 2j, 2j + 1, neighbours in a row.
// So a frame is the same bytes whatever the number of workers that render
// it, and a row the same whether rendered alone or in a whole frame. Normal
// values come in independent pairs from the polar form of Box-Muller (p and
// d of a sample are one pair, the read noise of samples 2j and 2j + 1
// another); a Poisson count comes by inversion for means below 10 and by
// Hoermann's transformed rejection (PTRS) from 10 on, both exact up to the
// rounding of doubles.
#pragma once

#include <cstdint>
#include <vector>

enum class SensorLight : uint8_t { Flat, Chart };

// A sample of the fields: field 0 or 1, row y (0 to 2143), column x (0 to 2943).
struct SensorCell
{
    int32_t field = 0;
    int32_t y = 0;
    int32_t x = 0;
};

inline constexpr double kDefaultHotElectrons = 500;

// A hot cell: electrons extra dark electrons, with Poisson noise, in every
// frame. A cell named twice gets the sum.
struct HotCell
{
    SensorCell cell;
    double electrons = kDefaultHotElectrons;
};

struct SensorModel
{
    SensorLight light = SensorLight::Flat;
    double electrons = 1000;            // N, mean photo-electrons at light 1
    double prnuPercent = 0;             // standard deviation of p, in per cent
    double fieldRatio = 1;              // R: field 1 receives R times the light of field 0
    double dsnuElectrons = 0;           // standard deviation of d
    double readNoiseElectrons = 3;      // standard deviation of read
    double gain = 0.5;                  // K, DN per electron
    double offset = 64;                 // DN
    uint64_t seed = 1;                  // the temporal noise: shot, hot, read
    uint64_t patternSeed = 1;           // the fixed pattern: p and d
    std::vector<SensorCell> dead = {};  // no light at all
    std::vector<HotCell> hot = {};
    // What the file's Exif says of the frame (tools/RafContainer.h).
    double exposureSeconds = 0.01;
    uint16_t iso = 200;
};

// The ranges the command line lets in (programs/SynthArguments.cpp): N, E,
// the DSNU and the read noise 0 to kMostElectrons; the PRNU 0 to
// kMostPrnuPercent; R above 0, at most kMostFieldRatio; K above 0, at most
// kMostGain; the offset 0 to 4095; cells inside the fields. The renderer
// takes any model without failing: a cell outside the fields is left out,
// a mean that is no number is 0.
inline constexpr double kMostElectrons = 1e9;
inline constexpr double kMostPrnuPercent = 100;
inline constexpr double kMostFieldRatio = 1000;
inline constexpr double kMostGain = 1e6;

bool SensorCellInside(const SensorCell& cell);

// What the model put into one sample: all that decides its value's
// distribution. The expected value before rounding and clipping is
// offset + K * (meanElectrons + hotElectrons + dsnuElectrons).
struct SensorTruth
{
    double light = 0;
    double prnu = 0;               // p, a fraction (0.01 is 1 %)
    double dsnuElectrons = 0;      // d
    double meanElectrons = 0;      // the mean of photo: 0 in a dead cell
    double hotElectrons = 0;       // E of a hot cell, else 0
    bool dead = false;
};

SensorTruth SensorTruthOf(const SensorModel& model, int32_t field, int32_t y, int32_t x);

// Renders rows firstRow to firstRow + rowCount - 1 of one field into rows,
// rowCount * 2944 samples, on the calling thread; rows outside the field
// are left as they are.
void RenderSensorRows(const SensorModel& model, int32_t field, int32_t firstRow, int32_t rowCount, uint16_t* rows);

// Renders both fields, 2144 x 2944 samples each, on workers threads
// (platform/Workers.h; 1 renders on the calling thread).
void RenderSensorFields(const SensorModel& model, uint16_t* field0, uint16_t* field1, int32_t workers);

// The whole RAF file of one frame: RafPrefixFor with the model's exposure
// and ISO (ExifShotFor), then the tail of the two packed fields.
std::vector<uint8_t> MakeSensorRafFile(const SensorModel& model, int32_t workers);
