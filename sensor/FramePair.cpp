#include "sensor/FramePair.h"

#include "platform/Workers.h"

#include <cmath>
#include <mutex>

double PairFigures::TemporalNoise() const
{
    return std::sqrt(temporalVariance);
}

ChannelPairFigures ComputePairFigures(const SampleView& a, const SampleView& b, const SampleSelection& selection,
                                      CWorkerPool* pool)
{
    struct Sums
    {
        int64_t n = 0;
        int64_t a = 0;
        int64_t b = 0;
        int64_t difference = 0;
        int64_t squares = 0;  // of the differences: at most 4095^2 for each of some 10^7 samples
    };
    // Each share of the runs sums on its own; integer sums add up the same
    // in any order.
    std::array<Sums, kChannels> sums{};
    std::mutex adding;
    const int64_t width = selection.width;
    const auto sumRuns = [&](int32_t first, int32_t count) {
        std::array<Sums, kChannels> share{};
        ForEachSelectedRun(selection, first, count, [&](int channel, int64_t, const SampleRun& run, int32_t x) {
            const int64_t at = run.y * width + x;
            const int32_t ya = a.fields[run.field][at];
            const int32_t yb = b.fields[run.field][at];
            Sums& s = share[static_cast<size_t>(channel)];
            ++s.n;
            s.a += ya;
            s.b += yb;
            s.difference += ya - yb;
            s.squares += int64_t{ya - yb} * (ya - yb);
        });
        const std::lock_guard<std::mutex> lock(adding);
        for (size_t c = 0; c < sums.size(); ++c)
        {
            sums[c].n += share[c].n;
            sums[c].a += share[c].a;
            sums[c].b += share[c].b;
            sums[c].difference += share[c].difference;
            sums[c].squares += share[c].squares;
        }
    };
    const auto runs = static_cast<int32_t>(selection.runs.size());
    if (pool != nullptr)
        RunOnShares(*pool, runs, sumRuns);
    else
        sumRuns(0, runs);
    ChannelPairFigures figures;
    for (size_t channel = 0; channel < sums.size(); ++channel)
    {
        const Sums& s = sums[channel];
        PairFigures& f = figures[channel];
        f.count = s.n;
        if (s.n == 0)
            continue;
        f.mean = static_cast<double>(s.a + s.b) / (2.0 * static_cast<double>(s.n));
        // sum((d - mean d)^2) = sum d^2 - (sum d)^2 / n, so the variance over
        // 2n is VarianceOfSums(n, ...) * n / 2n: half of it.
        f.temporalVariance = VarianceOfSums(s.n, s.difference, s.squares, 0) / 2.0;
    }
    return figures;
}
