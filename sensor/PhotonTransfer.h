// The photon transfer curve of one channel and what it gives, after EMVA
// 1288 (Release 4.0, linear sensors): from a dark pair and flat pairs at
// several exposures (sensor/FramePair.h), each flat pair a point
//
//   x = mu - mu_dark,  y = sigma^2 - sigma^2_dark,
//
// the signal and its temporal variance. Shot noise makes y = K x for a
// linear sensor, K the system gain in DN per electron; it is the slope of a
// least-squares line through the points whose x lies from 0 to 70 % of the
// saturation's (the point of largest variance: past it the clipping eats
// the noise). From K:
//
//   dark noise      sigma_d = sqrt(sigma^2_dark - 1/12) / K electrons (the
//                   1/12 DN^2 is the quantisation's);
//   saturation      mu_e.sat = (mu_sat - mu_dark) / K electrons;
//   SNR_max         sqrt(mu_e.sat);
//   dynamic range   mu_e.sat / sigma_d, also as 20 log10 of it (dB) and
//                   log2 of it (stops).
//
// All of it in doubles, from the pair figures.
#pragma once

#include "sensor/FramePair.h"

#include <cstdint>
#include <vector>

inline constexpr double kFitRangeOfSaturation = 0.7;

struct PtcPoint
{
    double exposure = 0.0;  // seconds, NaN when unknown
    double mean = 0.0;      // x
    double variance = 0.0;  // y
    bool fitted = false;    // inside the range of the fit
};

struct PtcFigures
{
    std::vector<PtcPoint> points;  // in the order of the flat pairs
    double saturationDn = 0.0;     // mu_sat - mu_dark
    bool fitted = false;           // at least two points of different x in range
    // With fitted; every one NaN where its formula has no value (a gain of
    // 0 or below, a dark variance below 1/12, a dark noise of 0).
    double gain = 0.0;
    double intercept = 0.0;
    double r2 = 0.0;
    double darkNoiseE = 0.0;
    double saturationE = 0.0;
    double snrMax = 0.0;
    double dynamicRange = 0.0;

    double DynamicRangeDb() const;
    double DynamicRangeStops() const;
};

// flats[i] at exposures[i] (NaN for unknown); at least one flat.
PtcFigures FitPhotonTransfer(const PairFigures& dark, const std::vector<PairFigures>& flats,
                             const std::vector<double>& exposures);
