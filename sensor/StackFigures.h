// What a stack of darks or flats says about the sensor, per channel: its
// level and robust spread, the temporal and the spatial variance of the
// mean frame, DSNU or PRNU, and the defective cells. The definitions follow
// EMVA 1288 (Release 4.0, linear sensors), section on spatial
// non-uniformity:
//
//   m(cell)   the mean frame, sum / L over the L frames;
//   sigma^2   the temporal variance: each cell's variance over its frames,
//             with L - 1 in the denominator, averaged over the channel;
//   s^2       the variance of m over the channel (n - 1 in the
//             denominator), less sigma^2 / L, the part of the temporal
//             noise that a mean of L frames still holds;
//   DSNU      s_dark / K electrons, or s_dark in DN without a gain K;
//   PRNU      sqrt(s^2_flat - s^2_dark) / (mu_flat - mu_dark), in per cent.
//
// Defects are judged against each channel's median of m (the level) and
// 1.4826 times the median absolute deviation from it (the spread, which
// equals the standard deviation for normal noise, and is not pulled by the
// defects themselves):
//
//   hot    (darks) m > level + sigma * spread
//   dead   (flats) m < (1 - deadBelow) * level
//   stuck  (both)  the same value in every frame, where chance cannot
//                  explain it: the channel's temporal noise is 3 DN or
//                  more, or the value is 0 or 4095 while the level lies
//                  between 10 % and 90 % of the range. (A short stack of
//                  quiet cells agrees by chance in many cells.)
//
// A stuck cell is listed as stuck alone. The medians work on the integer
// sums (median of sums = L * median of means), so they are exact; the
// comparisons with the thresholds are in doubles.
#pragma once

#include "raw/Placement.h"
#include "sensor/FrameStack.h"
#include "sensor/SensorChannels.h"

#include <array>
#include <cstdint>
#include <vector>

class CWorkerPool;

enum class StackKind : uint8_t { Darks, Flats };
enum class DefectKind : uint8_t { Hot, Dead, Stuck };
inline constexpr int kDefectKindCount = 3;

const char* NameOfDefectKind(DefectKind kind);

struct DefectThresholds
{
    double sigma = 8.0;      // hot: spreads above the level
    double deadBelow = 0.5;  // dead: below (1 - deadBelow) of the level
};

// Stuck cells need a channel this noisy, or a level this far inside the range.
inline constexpr double kStuckNoiseDn = 3.0;
inline constexpr double kStuckLevelLow = 0.1 * 4095;
inline constexpr double kStuckLevelHigh = 0.9 * 4095;

struct StackChannelFigures
{
    int64_t count = 0;
    double mean = 0.0;              // of m over the channel
    double level = 0.0;             // median of m
    double spread = 0.0;            // 1.4826 * median |m - level|
    double temporalVariance = 0.0;  // sigma^2, 0 for a stack of one frame
    double spatialVariance = 0.0;   // s^2 less sigma^2 / L; may come out below 0
};

struct Defect
{
    DefectKind kind = DefectKind::Hot;
    int32_t field = 0;
    int32_t y = 0;  // field row and column
    int32_t x = 0;
    MosaicCell cell;
    bool shown = false;  // whether a pixel of the image shows the cell
    ImagePixel pixel;    // with shown
    double mean = 0.0;   // m of the cell
    double excess = 0.0; // (m - level) / spread; NaN when the spread is 0
};

// Most defects listed; defectCount counts them all.
inline constexpr int64_t kMaxListedDefects = 100000;

struct StackFigures
{
    StackKind kind = StackKind::Darks;
    int64_t frames = 0;
    std::array<StackChannelFigures, kChannels> channels{};
    std::vector<Defect> defects;  // in field, row, column order
    int64_t defectCount = 0;
};

// The figures of stack (of at least one frame). Memory: the counts of each
// channel's sums by value (of 256 frames or fewer: 4095 L + 1 each), or a
// copy of the sums (some 50 MB for both whole fields).
// Each field is one task, on the workers of pool where given (else on the
// calling thread); the figures are the same either way.
StackFigures ComputeStackFigures(const FrameStack& stack, StackKind kind, const DefectThresholds& thresholds,
                                 CWorkerPool* pool = nullptr);

// The robust level of a channel in sums of L frames: twice the median of
// the sums (v[(n - 1) / 2] + v[n / 2] of the n sums in order, an integer
// for either parity), and twice the median of |2 S - twiceLevel| over the
// sums S, which is 4 L times the median absolute deviation of the means.
struct RobustSums
{
    uint64_t twiceLevel = 0;
    uint64_t fourTimesDeviation = 0;
};

// From counts[S], how many sums of each value (a stack of few frames, whose
// sums take few values); or from the sums themselves, which it reorders.
// Both give the same for the same sums.
RobustSums RobustSumsOfCounts(const std::vector<uint32_t>& counts);
RobustSums RobustSumsOfValues(std::vector<uint32_t>& values);

// The largest sum for which the figures count values rather than sort them:
// that of 256 frames.
inline constexpr uint64_t kLargestCountedSum = uint64_t{4095} * 256;

// DSNU of the darks, in electrons for a gain in DN per electron, in DN for
// a gain of 0; PRNU in per cent of flats over darks (dark figures of 0 when
// no darks were taken). NaN where the figures allow none.
double DsnuOf(const StackChannelFigures& darks, double gain);
double PrnuPercentOf(const StackChannelFigures& flats, const StackChannelFigures& darks);
