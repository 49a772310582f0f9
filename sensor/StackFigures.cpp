#include "sensor/StackFigures.h"

#include "platform/Workers.h"

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

// Per colour of a field: the exact sums over its cells of S (the sum of a
// cell's values), S^2, and L * Q - S^2 (Q the sum of its squares), which
// is L (L - 1) times the cell's temporal variance.
struct ColourSums
{
    int64_t n = 0;
    WideSum s = 0;
    WideSum s2 = 0;
    WideSum temporal = 0;
};

// Adds run r of stack to sums (by colour) and its sums S to values (by
// colour): counted, as counts by value, else as the values. Partial holds a
// run's sums: 64 bits do for a stack short enough to be counted, where
// 2944 (4095 * 256)^2 stays far below 2^64; else 128. Each cell's S^2 and
// L Q stay below 2^63 for every L up to kMaxStackFrames.
template <typename Partial>
void SumRun(const FrameStack& stack, int32_t r, ColourSums (&sums)[3], std::vector<uint32_t> (&values)[3],
            bool counted)
{
    const SampleRun& run = stack.selection.runs[static_cast<size_t>(r)];
    const uint32_t* __restrict sumsOfRun = stack.sums.data() + stack.runStarts[static_cast<size_t>(r)];
    const uint64_t* __restrict squaresOfRun = stack.squares.data() + stack.runStarts[static_cast<size_t>(r)];
    const auto L = static_cast<uint64_t>(stack.frames);
    const size_t colours[2] = {static_cast<size_t>(ColourOfFieldSample(run.y, run.first)),
                               static_cast<size_t>(ColourOfFieldSample(run.y, run.first + 1))};
    Partial s[2] = {};
    Partial s2[2] = {};
    Partial temporal[2] = {};
    const int64_t samples = run.Count();
    for (int64_t i = 0; i < samples; ++i)
    {
        const auto parity = static_cast<size_t>(i & 1);
        const uint64_t sum = sumsOfRun[i];
        const uint64_t square = sum * sum;
        s[parity] += sum;
        s2[parity] += square;
        temporal[parity] += L * squaresOfRun[i] - square;
        std::vector<uint32_t>& of = values[colours[parity]];
        if (counted)
            ++of[sum];
        else
            of.push_back(static_cast<uint32_t>(sum));
    }
    for (size_t parity = 0; parity < 2; ++parity)
    {
        ColourSums& c = sums[colours[parity]];
        c.n += (samples + 1 - static_cast<int64_t>(parity)) / 2;
        c.s += s[parity];
        c.s2 += s2[parity];
        c.temporal += temporal[parity];
    }
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

StackFigures ComputeStackFigures(const FrameStack& stack, StackKind kind, const DefectThresholds& thresholds,
                                 CWorkerPool* pool)
{
    StackFigures figures;
    figures.kind = kind;
    figures.frames = stack.frames;
    const int64_t L = stack.frames;
    const auto frames = static_cast<double>(L);
    const SampleSelection& selection = stack.selection;
    const int32_t width = selection.width;
    const int32_t height = selection.height;
    const int32_t side = width + height;
    // The sums of each channel are counted by value where they take few
    // values (a short stack), else copied to be sorted.
    const bool counted = uint64_t{4095} * static_cast<uint64_t>(L) <= kLargestCountedSum;
    const auto firstRunOfField1 = static_cast<int32_t>(
        std::find_if(selection.runs.begin(), selection.runs.end(), [](const SampleRun& run) { return run.field == 1; }) -
        selection.runs.begin());
    std::vector<Defect> defectsOfField[2];
    int64_t defectCountOfField[2] = {};

    // A field's channels are its own: each field is one task, on a worker
    // of its own where there are two.
    const auto figureField = [&](int32_t field) {
        const int32_t firstRun = field == 0 ? 0 : firstRunOfField1;
        const int32_t runCount =
            field == 0 ? firstRunOfField1 : static_cast<int32_t>(selection.runs.size()) - firstRunOfField1;
        const int64_t firstIndex = runCount > 0 ? stack.runStarts[static_cast<size_t>(firstRun)] : 0;

        ColourSums sums[3];
        std::vector<uint32_t> sumsOfColour[3];
        for (std::vector<uint32_t>& values : sumsOfColour)
            if (counted)
                values.assign(static_cast<size_t>(4095 * L + 1), 0);
            else
                values.reserve(static_cast<size_t>(selection.samples[field] / 2 + 2));
        for (int32_t r = firstRun; r < firstRun + runCount; ++r)
            if (counted)
                SumRun<uint64_t>(stack, r, sums, sumsOfColour, true);
            else
                SumRun<WideSum>(stack, r, sums, sumsOfColour, false);

        // The level and the spread, as doubled sums: 2 S_median, and the
        // median of |2 S - 2 S_median| doubled again; each over L gives m's.
        bool stuckByNoise[3] = {};
        bool stuckAtEnds[3] = {};
        for (size_t colour = 0; colour < 3; ++colour)
        {
            const ColourSums& c = sums[colour];
            StackChannelFigures& f = figures.channels[static_cast<size_t>(3 * field) + colour];
            f.count = c.n;
            if (c.n == 0)
                continue;
            std::vector<uint32_t>& values = sumsOfColour[colour];
            const RobustSums robust = counted ? RobustSumsOfCounts(values) : RobustSumsOfValues(values);
            std::vector<uint32_t>().swap(values);
            // From here on in doubles.
            f.level = static_cast<double>(robust.twiceLevel) / (2.0 * frames);
            f.spread = kMadToSigma * static_cast<double>(robust.fourTimesDeviation) / (4.0 * frames);
            f.mean = static_cast<double>(c.s) / (static_cast<double>(c.n) * frames);
            f.temporalVariance =
                L > 1 ? static_cast<double>(c.temporal) / (static_cast<double>(c.n) * frames * (frames - 1.0)) : 0.0;
            f.spatialVariance = VarianceOfSums(c.n, c.s, c.s2, 1) / (frames * frames) - f.temporalVariance / frames;
            stuckByNoise[colour] = std::sqrt(f.temporalVariance) >= kStuckNoiseDn;
            stuckAtEnds[colour] = f.level >= kStuckLevelLow && f.level <= kStuckLevelHigh;
        }

        // The defects, cell by cell, judged on the sums: a cell is hot when
        // S > L (level + sigma spread), dead when S < L (1 - deadBelow) level
        // (compared in doubles, as the means would be), and stuck only
        // where its channel lets a constant cell be one.
        double hotAbove[3];
        double deadBelow[3];
        for (size_t colour = 0; colour < 3; ++colour)
        {
            const StackChannelFigures& f = figures.channels[static_cast<size_t>(3 * field) + colour];
            hotAbove[colour] = kind == StackKind::Darks ? f.level + thresholds.sigma * f.spread
                                                        : std::numeric_limits<double>::infinity();
            deadBelow[colour] = kind == StackKind::Flats ? (1.0 - thresholds.deadBelow) * f.level : -1.0;
        }
        const uint64_t fullScale = uint64_t{4095} * static_cast<uint64_t>(L);
        std::vector<Defect>& defects = defectsOfField[field];
        ForEachSelectedRun(selection, firstRun, runCount, [&](int channel, int64_t visited, const SampleRun& run,
                                                              int32_t x) {
            const auto i = static_cast<size_t>(firstIndex + visited);
            const auto colour = static_cast<size_t>(ColourOfChannel(channel));
            const uint64_t s = stack.sums[i];
            const double mean = static_cast<double>(s) / frames;
            DefectKind found = DefectKind::Hot;
            if ((stuckByNoise[colour] || (stuckAtEnds[colour] && (s == 0 || s == fullScale))) && L > 1 &&
                static_cast<uint64_t>(L) * stack.squares[i] == s * s)
                found = DefectKind::Stuck;
            else if (mean > hotAbove[colour])
                found = DefectKind::Hot;
            else if (mean < deadBelow[colour])
                found = DefectKind::Dead;
            else
                return;
            ++defectCountOfField[field];
            if (static_cast<int64_t>(defects.size()) >= kMaxListedDefects)
                return;
            const StackChannelFigures& f = figures.channels[static_cast<size_t>(channel)];
            Defect defect;
            defect.kind = found;
            defect.field = run.field;
            defect.y = run.y;
            defect.x = x;
            defect.cell = CellOfSample(width, height, run.field, run.y, x);
            defect.shown = CellShowsInImage(side, defect.cell);
            if (defect.shown)
                defect.pixel = PixelOfCell(side, defect.cell);
            defect.mean = mean;
            defect.excess = f.spread > 0 ? (mean - f.level) / f.spread : kUndefined;
            defects.push_back(defect);
        });
    };
    if (pool != nullptr && pool->Size() > 1)
        pool->Run([&](int32_t worker) {
            for (int32_t field = worker; field < 2; field += pool->Size())
                figureField(field);
        });
    else
        for (int32_t field = 0; field < 2; ++field)
            figureField(field);

    figures.defects = std::move(defectsOfField[0]);
    figures.defects.insert(figures.defects.end(), defectsOfField[1].begin(), defectsOfField[1].end());
    if (static_cast<int64_t>(figures.defects.size()) > kMaxListedDefects)
        figures.defects.resize(static_cast<size_t>(kMaxListedDefects));
    figures.defectCount = defectCountOfField[0] + defectCountOfField[1];
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
