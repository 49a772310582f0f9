// The gradient terms that the per-cell rules compute in double precision,
// done a whole row at a time before the cell loops read them: the N and S
// slots of the green cells, and the south vertical term of the red and blue
// cells of odd rows (demosaic/Gradients.cpp). Part of the scan body:
// internal linkage only (see FastScanKernel.h).
#pragma once

#include "demosaic/FastScanTerms.h"

#include <cstdint>

namespace
{

// |trunc(p - q / 1.1)| in double precision: the south vertical term of the
// red and blue cells of odd rows.
inline Sample SouthTermOfOddRow(Sample p, Sample q)
{
    const auto t = static_cast<int32_t>(static_cast<double>(p) - static_cast<double>(q) / 1.1);
    return static_cast<Sample>(t < 0 ? -t : t);
}

// The row pairs (rows 2m and 2m + 1) whose even-column differences, divided
// by 1.1 in double, enter the N and S slots of the green cells. Each pair
// serves four rows, so the last three are kept.
struct PairQuotients
{
    int32_t pairRow[3] = {-1, -1, -1};
    double* quotients[3] = {};
    int32_t next = 0;
};

// Returns |even(row) - even(row + 1)| / 1.1 for every even-column position,
// computing it only when the pair is not kept.
inline const double* QuotientsOfPair(PairQuotients& cache, int32_t row, const Sample* upper, const Sample* lower,
                                     int32_t count)
{
    for (int s = 0; s < 3; ++s)
        if (cache.pairRow[s] == row)
            return cache.quotients[s];
    double* q = cache.quotients[cache.next];
    cache.pairRow[cache.next] = row;
    cache.next = (cache.next + 1) % 3;
    for (int32_t i = 0; i < count; ++i)
        q[i] = static_cast<double>(Full(upper[i], lower[i])) / 1.1;
    return q;
}

// The N and S slots of a row's green cells: I + w / 1.1 + e / 1.1 in double,
// the integer part first and the west term before the east term, truncated.
// The samples P(-2, 0) to P(2, 0) of cell j are above2[j] to below2[j]; its
// west and east quotients are qNorth[j] and qNorth[j + 1] (qSouth for S).
inline void ComputeGreenNorthSouth(const Sample* __restrict above2, const Sample* __restrict above1,
                                   const Sample* __restrict centre, const Sample* __restrict below1,
                                   const Sample* __restrict below2, const double* __restrict qNorth,
                                   const double* __restrict qSouth, int32_t count, Sample* __restrict north,
                                   Sample* __restrict south)
{
    for (int32_t j = 0; j < count; ++j)
    {
        const Sample vertical = Full(below1[j], above1[j]);
        const auto integerNorth = static_cast<Sample>(Full(centre[j], above2[j]) + vertical);
        const auto integerSouth = static_cast<Sample>(Full(centre[j], below2[j]) + vertical);
        double x = static_cast<double>(integerNorth);
        x = x + qNorth[j];
        x = x + qNorth[j + 1];
        north[j] = static_cast<Sample>(static_cast<int32_t>(x));
        double y = static_cast<double>(integerSouth);
        y = y + qSouth[j];
        y = y + qSouth[j + 1];
        south[j] = static_cast<Sample>(static_cast<int32_t>(y));
    }
}

}  // namespace
