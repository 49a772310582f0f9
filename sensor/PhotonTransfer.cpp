#include "sensor/PhotonTransfer.h"

#include <cmath>
#include <limits>

namespace
{

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
constexpr double kQuantisationVariance = 1.0 / 12.0;  // of rounding to whole DN

}  // namespace

double PtcFigures::DynamicRangeDb() const
{
    return 20.0 * std::log10(dynamicRange);
}

double PtcFigures::DynamicRangeStops() const
{
    return std::log2(dynamicRange);
}

PtcFigures FitPhotonTransfer(const PairFigures& dark, const std::vector<PairFigures>& flats,
                             const std::vector<double>& exposures)
{
    PtcFigures figures;
    size_t saturation = 0;
    for (size_t i = 0; i < flats.size(); ++i)
    {
        figures.points.push_back({exposures[i], flats[i].mean - dark.mean,
                                  flats[i].temporalVariance - dark.temporalVariance, false});
        if (flats[i].temporalVariance > flats[saturation].temporalVariance)
            saturation = i;
    }
    figures.saturationDn = figures.points[saturation].mean;
    const double limit = kFitRangeOfSaturation * figures.saturationDn;

    // Least squares through the points in range, from their centred sums.
    double n = 0;
    double sx = 0;
    double sy = 0;
    for (PtcPoint& p : figures.points)
    {
        p.fitted = p.mean >= 0 && p.mean <= limit;
        if (!p.fitted)
            continue;
        ++n;
        sx += p.mean;
        sy += p.variance;
    }
    double sxx = 0;
    double sxy = 0;
    double syy = 0;
    for (const PtcPoint& p : figures.points)
        if (p.fitted)
        {
            const double dx = p.mean - sx / n;
            const double dy = p.variance - sy / n;
            sxx += dx * dx;
            sxy += dx * dy;
            syy += dy * dy;
        }
    figures.fitted = n >= 2 && sxx > 0;
    if (!figures.fitted)
        return figures;
    const double gain = sxy / sxx;
    figures.gain = gain;
    figures.intercept = sy / n - gain * sx / n;
    figures.r2 = syy > 0 ? sxy * sxy / (sxx * syy) : 1.0;
    if (!(gain > 0))
    {
        figures.darkNoiseE = figures.saturationE = figures.snrMax = figures.dynamicRange = kUndefined;
        return figures;
    }
    const double darkVariance = dark.temporalVariance - kQuantisationVariance;
    figures.darkNoiseE = darkVariance >= 0 ? std::sqrt(darkVariance) / gain : kUndefined;
    figures.saturationE = figures.saturationDn / gain;
    figures.snrMax = figures.saturationE >= 0 ? std::sqrt(figures.saturationE) : kUndefined;
    figures.dynamicRange = figures.darkNoiseE > 0 ? figures.saturationE / figures.darkNoiseE : kUndefined;
    return figures;
}
