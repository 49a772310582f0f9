// The gradient terms that the per-cell rules compute in double precision,
// done a whole row at a time before the cell loops read them: the N and S
// slots of the green cells, and the south vertical term of the red and blue
// cells of odd rows (demosaic/Gradients.cpp). Names of samples as in
// FastScanNeighbourhood.h; an array named P_m2_0 holds P(-2, 0) of every cell
// of the row. Part of the scan body: internal linkage only (see
// FastScanKernel.h).
#pragma once

#include "demosaic/fastscan/FastScanTerms.h"

#include <cstdint>

namespace
{

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
        // static_cast<double>(Full(...)) / 1.1: the west or east term of
        // VerticalGreenGradient, Full being symmetric in its arguments
        q[i] = static_cast<double>(Full(upper[i], lower[i])) / 1.1;
    return q;
}

// VerticalGreenGradient of ComputeGreenGradients with the two quotients
// already taken: the integer part first, then the west term, then the east
// term, added in double and truncated.
inline Sample VerticalGreenGradient(Sample integerPart, double westQuotient, double eastQuotient)
{
    double x = static_cast<double>(integerPart);
    x = x + westQuotient;
    x = x + eastQuotient;
    return static_cast<Sample>(static_cast<int32_t>(x));
}

// The N and S slots of a row's green cells, as ComputeGreenGradients makes
// them with VerticalGreenGradient. The quotients of the even column west of
// cell j are qNorth[j] and qSouth[j], those east of it qNorth[j + 1] and
// qSouth[j + 1]: each is shared by the two green cells beside that column.
//   r odd:  N west Full(P(0, -1), P(-1, -1)), east Full(P(0, 1), P(-1, 1));
//           S west Full(P(1, -1), P(2, -1)),  east Full(P(1, 1), P(2, 1)).
//   r even: N west Full(P(-1, -1), P(-2, -1)), east Full(P(-1, 1), P(-2, 1));
//           S west Full(P(0, -1), P(1, -1)),   east Full(P(0, 1), P(1, 1)).
inline void ComputeGreenNorthSouth(const Sample* __restrict P_m2_0, const Sample* __restrict P_m1_0,
                                   const Sample* __restrict P_0_0, const Sample* __restrict P_p1_0,
                                   const Sample* __restrict P_p2_0, const double* __restrict qNorth,
                                   const double* __restrict qSouth, int32_t count, Sample* __restrict north,
                                   Sample* __restrict south)
{
    for (int32_t j = 0; j < count; ++j)
    {
        // vertical = Full(P(1, 0), P(-1, 0))
        const Sample vertical = Full(P_p1_0[j], P_m1_0[j]);
        // north = Full(P(0, 0), P(-2, 0)) + vertical
        const auto integerNorth = static_cast<Sample>(Full(P_0_0[j], P_m2_0[j]) + vertical);
        // south = Full(P(0, 0), P(2, 0)) + vertical
        const auto integerSouth = static_cast<Sample>(Full(P_0_0[j], P_p2_0[j]) + vertical);
        // VerticalGreenGradient(north, west, east)
        north[j] = VerticalGreenGradient(integerNorth, qNorth[j], qNorth[j + 1]);
        // VerticalGreenGradient(south, west, east)
        south[j] = VerticalGreenGradient(integerSouth, qSouth[j], qSouth[j + 1]);
    }
}

// The south vertical term of the red and blue cells of an odd row, for every
// cell of the row: P(2, 0) alone is divided by 1.1, in double, and the
// difference is truncated before its absolute value is taken.
inline void ComputeSouthTermsOfOddRow(const Sample* P_p1_0, const Sample* P_p2_0, int32_t count, Sample* south)
{
    for (int32_t j = 0; j < count; ++j)
    {
        // static_cast<int32_t>(static_cast<double>(P(1, 0)) - static_cast<double>(P(2, 0)) / 1.1)
        const auto t = static_cast<int32_t>(static_cast<double>(P_p1_0[j]) - static_cast<double>(P_p2_0[j]) / 1.1);
        // std::abs(t)
        south[j] = static_cast<Sample>(t < 0 ? -t : t);
    }
}

}  // namespace
