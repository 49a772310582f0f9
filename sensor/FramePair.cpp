#include "sensor/FramePair.h"

#include <cmath>

double PairFigures::TemporalNoise() const
{
    return std::sqrt(temporalVariance);
}

ChannelPairFigures ComputePairFigures(const SampleView& a, const SampleView& b, const SampleSelection& selection)
{
    struct Sums
    {
        int64_t n = 0;
        int64_t a = 0;
        int64_t b = 0;
        int64_t difference = 0;
        int64_t squares = 0;  // of the differences: at most 4095^2 for each of some 10^7 samples
    };
    std::array<Sums, kChannels> sums{};
    const int64_t width = selection.width;
    ForEachSelectedSample(selection, [&](int channel, int64_t, const SampleRun& run, int32_t x) {
        const int64_t at = run.y * width + x;
        const int32_t ya = a.fields[run.field][at];
        const int32_t yb = b.fields[run.field][at];
        Sums& s = sums[static_cast<size_t>(channel)];
        ++s.n;
        s.a += ya;
        s.b += yb;
        s.difference += ya - yb;
        s.squares += int64_t{ya - yb} * (ya - yb);
    });
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
