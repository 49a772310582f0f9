#include "sensor/StackFigures.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
constexpr double kMadToSigma = 1.4826;  // 1 / Phi^-1(3/4): the MAD of normal noise is 0.6745 sigma

// v[(n - 1) / 2] + v[n / 2] of values in order; reorders them.
uint64_t TwiceMedian(std::vector<uint32_t>& values)
{
    const size_t n = values.size();
    const auto upper = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(values.begin(), upper, values.end());
    if (n % 2 == 1)
        return 2 * uint64_t{*upper};
    return uint64_t{*upper} + *std::max_element(values.begin(), upper);
}

// The same of the values that counts counts.
uint64_t TwiceMedianOfCounts(const std::vector<uint32_t>& counts, uint64_t n)
{
    const uint64_t ranks[2] = {(n - 1) / 2, n / 2};
    uint64_t twice = 0;
    uint64_t below = 0;  // values before value
    int rank = 0;
    for (size_t value = 0; value < counts.size() && rank < 2; ++value)
    {
        below += counts[value];
        while (rank < 2 && ranks[rank] < below)
        {
            twice += value;
            ++rank;
        }
    }
    return twice;
}

}  // namespace

RobustSums RobustSumsOfCounts(const std::vector<uint32_t>& counts)
{
    uint64_t n = 0;
    for (const uint32_t count : counts)
        n += count;
    RobustSums robust;
    if (n == 0)
        return robust;
    robust.twiceLevel = TwiceMedianOfCounts(counts, n);
    std::vector<uint32_t> deviations(2 * counts.size(), 0);
    for (size_t value = 0; value < counts.size(); ++value)
    {
        const uint64_t twice = 2 * uint64_t{value};
        deviations[twice > robust.twiceLevel ? twice - robust.twiceLevel : robust.twiceLevel - twice] += counts[value];
    }
    robust.fourTimesDeviation = TwiceMedianOfCounts(deviations, n);
    return robust;
}

RobustSums RobustSumsOfValues(std::vector<uint32_t>& values)
{
    RobustSums robust;
    if (values.empty())
        return robust;
    robust.twiceLevel = TwiceMedian(values);
    for (uint32_t& value : values)
    {
        const uint64_t twice = 2 * uint64_t{value};
        value = static_cast<uint32_t>(twice > robust.twiceLevel ? twice - robust.twiceLevel : robust.twiceLevel - twice);
    }
    robust.fourTimesDeviation = TwiceMedian(values);
    return robust;
}

const char* NameOfDefectKind(DefectKind kind)
{
    return kind == DefectKind::Hot ? "hot" : kind == DefectKind::Dead ? "dead" : "stuck";
}

StackFigures ComputeStackFigures(const FrameStack& stack, StackKind kind, const DefectThresholds& thresholds)
{
    StackFigures figures;
    figures.kind = kind;
    figures.frames = stack.frames;
    const int64_t L = stack.frames;
    const auto frames = static_cast<double>(L);

    // Per channel: the exact sums over its cells of S (the sum of a cell's
    // values), S^2, and L * Q - S^2 (Q the sum of its squares), which is
    // L (L - 1) times the cell's temporal variance.
    struct Sums
    {
        int64_t n = 0;
        WideSum s = 0;
        WideSum s2 = 0;
        WideSum temporal = 0;
    };
    std::array<Sums, kChannels> sums{};
    // The sums of each channel, counted by value where they take few values
    // (a short stack), else copied to be sorted.
    const bool counted = uint64_t{4095} * static_cast<uint64_t>(L) <= kLargestCountedSum;
    std::array<std::vector<uint32_t>, kChannels> sumsOfChannel;
    for (int channel = 0; channel < kChannels; ++channel)
    {
        const auto samples = static_cast<size_t>(stack.selection.samples[FieldOfChannel(channel)] / 2 + 2);
        if (counted)
            sumsOfChannel[static_cast<size_t>(channel)].assign(static_cast<size_t>(4095 * L + 1), 0);
        else
            sumsOfChannel[static_cast<size_t>(channel)].reserve(samples);
    }
    ForEachSelectedSample(stack.selection, [&](int channel, int64_t i, const SampleRun&, int32_t) {
        const uint64_t s = stack.sums[static_cast<size_t>(i)];
        Sums& c = sums[static_cast<size_t>(channel)];
        ++c.n;
        c.s += s;
        c.s2 += WideSum{s} * s;
        c.temporal += WideSum{L} * stack.squares[static_cast<size_t>(i)] - WideSum{s} * s;
        std::vector<uint32_t>& values = sumsOfChannel[static_cast<size_t>(channel)];
        if (counted)
            ++values[s];
        else
            values.push_back(static_cast<uint32_t>(s));
    });

    // The level and the spread, as doubled sums: 2 S_median, and the median
    // of |2 S - 2 S_median| doubled again; each over L gives m's.
    for (size_t channel = 0; channel < sums.size(); ++channel)
    {
        const Sums& c = sums[channel];
        StackChannelFigures& f = figures.channels[channel];
        f.count = c.n;
        if (c.n == 0)
            continue;
        std::vector<uint32_t>& values = sumsOfChannel[channel];
        const RobustSums robust = counted ? RobustSumsOfCounts(values) : RobustSumsOfValues(values);
        std::vector<uint32_t>().swap(values);
        // From here on in doubles.
        f.level = static_cast<double>(robust.twiceLevel) / (2.0 * frames);
        f.spread = kMadToSigma * static_cast<double>(robust.fourTimesDeviation) / (4.0 * frames);
        f.mean = static_cast<double>(c.s) / (static_cast<double>(c.n) * frames);
        f.temporalVariance =
            L > 1 ? static_cast<double>(c.temporal) / (static_cast<double>(c.n) * frames * (frames - 1.0)) : 0.0;
        f.spatialVariance = VarianceOfSums(c.n, c.s, c.s2, 1) / (frames * frames) - f.temporalVariance / frames;
    }

    // The defects, cell by cell.
    const int32_t width = stack.selection.width;
    const int32_t height = stack.selection.height;
    const int32_t side = width + height;
    std::array<bool, kChannels> stuckByNoise{};
    std::array<bool, kChannels> stuckAtEnds{};
    for (size_t channel = 0; channel < sums.size(); ++channel)
    {
        const StackChannelFigures& f = figures.channels[channel];
        stuckByNoise[channel] = std::sqrt(f.temporalVariance) >= kStuckNoiseDn;
        stuckAtEnds[channel] = f.level >= kStuckLevelLow && f.level <= kStuckLevelHigh;
    }
    ForEachSelectedSample(stack.selection, [&](int channel, int64_t i, const SampleRun& run, int32_t x) {
        const auto c = static_cast<size_t>(channel);
        const StackChannelFigures& f = figures.channels[c];
        const uint64_t s = stack.sums[static_cast<size_t>(i)];
        const double mean = static_cast<double>(s) / frames;
        bool found = false;
        Defect defect;
        const bool constant = L > 1 && WideSum{L} * stack.squares[static_cast<size_t>(i)] == WideSum{s} * s;
        if (constant && (stuckByNoise[c] || (stuckAtEnds[c] && (s == 0 || s == uint64_t{4095} * uint64_t(L)))))
        {
            defect.kind = DefectKind::Stuck;
            found = true;
        }
        else if (kind == StackKind::Darks && mean > f.level + thresholds.sigma * f.spread)
        {
            defect.kind = DefectKind::Hot;
            found = true;
        }
        else if (kind == StackKind::Flats && mean < (1.0 - thresholds.deadBelow) * f.level)
        {
            defect.kind = DefectKind::Dead;
            found = true;
        }
        if (!found)
            return;
        ++figures.defectCount;
        if (static_cast<int64_t>(figures.defects.size()) >= kMaxListedDefects)
            return;
        defect.field = run.field;
        defect.y = run.y;
        defect.x = x;
        defect.cell = CellOfSample(width, height, run.field, run.y, x);
        defect.shown = CellShowsInImage(side, defect.cell);
        if (defect.shown)
            defect.pixel = PixelOfCell(side, defect.cell);
        defect.mean = mean;
        defect.excess = f.spread > 0 ? (mean - f.level) / f.spread : kUndefined;
        figures.defects.push_back(defect);
    });
    return figures;
}

double DsnuOf(const StackChannelFigures& darks, double gain)
{
    const double s = std::sqrt(std::max(0.0, darks.spatialVariance));
    return gain > 0 ? s / gain : s;
}

double PrnuPercentOf(const StackChannelFigures& flats, const StackChannelFigures& darks)
{
    const double signal = flats.mean - darks.mean;
    const double variance = flats.spatialVariance - darks.spatialVariance;
    if (!(signal > 0) || variance < 0)
        return kUndefined;
    return 100.0 * std::sqrt(variance) / signal;
}
