#include "sensor/FieldComparison.h"

#include "sensor/SensorChannels.h"

#include <cmath>
#include <limits>

ColourFieldPairFigures CompareFields(const SampleView& frame, const SampleSelection& selection)
{
    struct Sums
    {
        int64_t n = 0;
        int64_t s0 = 0;
        int64_t s1 = 0;
        int64_t s00 = 0;  // 4095^2 for each of some 10^7 pairs fits in 64 bits
        int64_t s11 = 0;
        int64_t s01 = 0;
    };
    std::array<Sums, 3> sums{};
    const int64_t width = selection.width;
    ForEachSelectedSample(selection, [&](int channel, int64_t, const SampleRun& run, int32_t x) {
        if (run.field != 0)
            return;
        const int64_t at = run.y * width + x;
        const int64_t y0 = frame.fields[0][at];
        const int64_t y1 = frame.fields[1][at];
        Sums& s = sums[static_cast<size_t>(channel)];
        ++s.n;
        s.s0 += y0;
        s.s1 += y1;
        s.s00 += y0 * y0;
        s.s11 += y1 * y1;
        s.s01 += y0 * y1;
    });
    constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
    ColourFieldPairFigures figures;
    for (size_t colour = 0; colour < 3; ++colour)
    {
        const Sums& s = sums[colour];
        FieldPairFigures& f = figures[colour];
        f.count = s.n;
        if (s.n == 0)
        {
            f.ev = f.correlation = kUndefined;
            continue;
        }
        const auto n = static_cast<double>(s.n);
        f.mean0 = static_cast<double>(s.s0) / n;
        f.mean1 = static_cast<double>(s.s1) / n;
        f.ev = s.s0 > 0 && s.s1 > 0 ? std::log2(static_cast<double>(s.s1) / static_cast<double>(s.s0)) : kUndefined;
        // n^2 times the covariance and the two variances, exact.
        const WideSum covariance = WideSum{s.n} * s.s01 - WideSum{s.s0} * s.s1;
        const WideSum variance0 = WideSum{s.n} * s.s00 - WideSum{s.s0} * s.s0;
        const WideSum variance1 = WideSum{s.n} * s.s11 - WideSum{s.s1} * s.s1;
        f.correlation = variance0 > 0 && variance1 > 0
                            ? static_cast<double>(covariance) /
                                  std::sqrt(static_cast<double>(variance0) * static_cast<double>(variance1))
                            : kUndefined;
    }
    return figures;
}
