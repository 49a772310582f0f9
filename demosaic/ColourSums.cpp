#include "demosaic/ColourSums.h"

#include "demosaic/Gradients.h"

#include <climits>

int32_t GradientThreshold(const int32_t gradients[kDirectionCount])
{
    // Each slot is tested against both the minimum and the maximum: with an
    // "else" between the two tests a largest slot 0 would be missed.
    int32_t minimum = INT32_MAX;
    int32_t maximum = 0;
    for (int k = 0; k < kDirectionCount; ++k)
    {
        if (gradients[k] < minimum)
            minimum = gradients[k];
        if (gradients[k] > maximum)
            maximum = gradients[k];
    }
    // Half the spread plus one and a half times the minimum, in double: with
    // no slot below 0 that equals min + floor(max / 2) to the integer.
    return static_cast<int32_t>(static_cast<double>(maximum - minimum) * 0.5 + static_cast<double>(minimum) * 1.5);
}

void ThresholdGradients(int32_t gradients[kDirectionCount])
{
    const int32_t threshold = GradientThreshold(gradients);
    for (int k = 0; k < kDirectionCount; ++k)
        if (gradients[k] >= threshold)
            gradients[k] = -1;
}

namespace
{

// One row of an accumulation table: the estimates of one direction for the
// first, the second and the third sum.
struct Estimates
{
    int32_t ofSum[3];
};

// Runs the threshold and adds up the estimates of the usable directions.
// estimatesOf(k) gives the estimates of direction k around the cell.
template <typename EstimatesOf>
int32_t Accumulate(int32_t gradients[kDirectionCount], int32_t& first, int32_t& second, int32_t& third,
                   EstimatesOf estimatesOf)
{
    third = 0;
    second = 0;
    first = 0;
    ThresholdGradients(gradients);
    int32_t n = 0;
    for (int k = 0; k < kDirectionCount; ++k)
    {
        if (gradients[k] < 0)
            continue;
        const Estimates e = estimatesOf(k);
        first += e.ofSum[0];
        second += e.ofSum[1];
        third += e.ofSum[2];
        ++n;
    }
    return n == 0 ? 1 : n;
}

// Reader of the neighbourhood of (r, c): P(dy, dx).
struct Neighbourhood
{
    const uint16_t* centre;
    int64_t side;
    int32_t operator()(int dy, int dx) const { return centre[dy * side + dx]; }
};

// The four rules over a neighbourhood; the named rules below read it with
// the side of g_mosaicSide, SumColoursAround with the stride it is given.

int32_t RuleColor0(const Neighbourhood& P, int32_t gradients[kDirectionCount], int32_t& first, int32_t& second,
                  int32_t& third)
{
    return Accumulate(gradients, first, second, third, [&](int k) -> Estimates {
        switch (k)
        {
        case kNorth:
            return {{P(0, 0), (P(-2, -1) + P(-2, 1) + P(-1, -1) + P(-1, 1)) / 4, (P(-2, 0) + P(-1, 0)) / 2}};
        case kEast:
            return {{(P(-1, 2) + P(0, 0)) / 2, (P(-1, 1) + P(0, 1) + P(1, 1)) / 3, (P(0, 2) + P(1, 2)) / 2}};
        case kSouth:
            return {{(P(0, 0) + P(1, 0)) / 2, (P(1, -1) + P(1, 1) + P(2, -1) + P(2, 1)) / 4, P(2, 0)}};
        case kWest:
            return {{(P(-1, -2) + P(0, 0)) / 2, (P(-1, -1) + P(0, -1) + P(1, -1)) / 3, (P(0, -2) + P(1, -2)) / 2}};
        case kNorthEast:
            return {{(P(-2, 2) + P(-1, 2) + P(0, 0)) / 3, (P(-2, 1) + P(-1, 1) + P(0, 1)) / 3, P(-1, 0)}};
        case kSouthEast:
            return {{(P(0, 0) + P(1, 0) + P(2, 2)) / 3, (P(0, 1) + P(1, 1) + P(2, 1)) / 3, P(1, 2)}};
        case kSouthWest:
            return {{(P(0, 0) + P(1, 0) + P(2, -2)) / 3, (P(0, -1) + P(1, -1) + P(2, -1)) / 3, P(1, -2)}};
        default:  // kNorthWest
            return {{(P(-2, -2) + P(-1, -2) + P(0, 0)) / 3, (P(-2, -1) + P(-1, -1) + P(0, -1)) / 3, P(-1, 0)}};
        }
    });
}

int32_t RuleColor1(const Neighbourhood& P, int32_t gradients[kDirectionCount], int32_t& first, int32_t& second,
                  int32_t& third)
{
    return Accumulate(gradients, first, second, third, [&](int k) -> Estimates {
        switch (k)
        {
        case kNorth:
            return {{(P(-1, 0) + P(0, 0)) / 2, (P(-2, -1) + P(-2, 1) + P(-1, -1) + P(-1, 1)) / 4, P(-2, 0)}};
        case kEast:
            return {{(P(0, 0) + P(1, 2)) / 2, (P(-1, 1) + P(0, 1) + P(1, 1)) / 3, (P(-1, 2) + P(0, 2)) / 2}};
        case kSouth:
            return {{P(0, 0), (P(1, -1) + P(1, 1) + P(2, -1) + P(2, 1)) / 4, (P(1, 0) + P(2, 0)) / 2}};
        case kWest:
            return {{(P(0, 0) + P(1, -2)) / 2, (P(-1, -1) + P(0, -1) + P(1, -1)) / 3, (P(-1, -2) + P(0, -2)) / 2}};
        case kNorthEast:
            return {{(P(-2, 2) + P(-1, 0) + P(0, 0)) / 3, (P(-2, 1) + P(-1, 1) + P(0, 1)) / 3, P(-1, 2)}};
        case kSouthEast:
            return {{(P(0, 0) + P(1, 2) + P(2, 2)) / 3, (P(0, 1) + P(1, 1) + P(2, 1)) / 3, P(1, 0)}};
        case kSouthWest:
            return {{(P(0, 0) + P(1, -2) + P(2, -2)) / 3, (P(0, -1) + P(1, -1) + P(2, -1)) / 3, P(1, 0)}};
        default:  // kNorthWest
            return {{(P(-2, -2) + P(-1, 0) + P(0, 0)) / 3, (P(-2, -1) + P(-1, -1) + P(0, -1)) / 3, P(-1, -2)}};
        }
    });
}

int32_t RuleGreenA(const Neighbourhood& P, int32_t gradients[kDirectionCount], int32_t& first, int32_t& second,
                  int32_t& third)
{
    return Accumulate(gradients, first, second, third, [&](int k) -> Estimates {
        switch (k)
        {
        case kNorth:
            return {{(P(-2, 1) + P(-1, 1)) / 2, (P(-2, 0) + P(-1, 0) + P(0, 0) + P(1, 0)) / 4, (P(-2, -1) + P(-1, -1)) / 2}};
        case kEast:
            return {{P(-1, 1), (P(-1, 2) + P(0, 0) + P(0, 2) + P(1, 2)) / 4, (P(0, 1) + P(1, 1)) / 2}};
        case kSouth:
            return {{(P(1, -1) + P(2, 1)) / 2, (P(-1, 0) + P(0, 0) + P(1, 0) + P(2, 0)) / 4, (P(1, 1) + P(2, -1)) / 2}};
        case kWest:
            return {{(P(0, -1) + P(1, -1)) / 2, (P(-1, -2) + P(0, -2) + P(0, 0) + P(1, -2)) / 4, P(-1, -1)}};
        case kNorthEast:
            return {{(P(-2, 1) + P(-1, 1)) / 2, (P(-2, 2) + P(-1, 0) + P(-1, 2) + P(0, 0)) / 4, P(0, 1)}};
        case kSouthEast:
            return {{P(2, 1), (P(0, 0) + P(1, 0) + P(1, 2) + P(2, 2)) / 4, (P(0, 1) + P(1, 1)) / 2}};
        case kSouthWest:
            return {{(P(0, -1) + P(1, -1)) / 2, (P(0, 0) + P(1, -2) + P(1, 0) + P(2, -2)) / 4, P(2, -1)}};
        default:  // kNorthWest
            return {{P(0, -1), (P(-2, -2) + P(-1, -2) + P(-1, 0) + P(0, 0)) / 4, (P(-2, -1) + P(-1, -1)) / 2}};
        }
    });
}

int32_t RuleGreenB(const Neighbourhood& P, int32_t gradients[kDirectionCount], int32_t& first, int32_t& second,
                  int32_t& third)
{
    return Accumulate(gradients, first, second, third, [&](int k) -> Estimates {
        switch (k)
        {
        case kNorth:
            return {{(P(-2, 1) + P(-1, -1)) / 2, (P(-2, 0) + P(-1, 0) + P(0, 0) + P(1, 0)) / 4, (P(-2, -1) + P(-1, 1)) / 2}};
        case kEast:
            return {{P(1, 1), (P(-1, 2) + P(0, 0) + P(0, 2) + P(1, 2)) / 4, (P(-1, 1) + P(0, 1)) / 2}};
        case kSouth:
            return {{(P(1, 1) + P(2, 1)) / 2, (P(-1, 0) + P(0, 0) + P(1, 0) + P(2, 0)) / 4, (P(1, -1) + P(2, -1)) / 2}};
        case kWest:
            return {{(P(-1, -1) + P(0, -1)) / 2, (P(-1, -2) + P(0, -2) + P(0, 0) + P(1, -2)) / 4, P(1, -1)}};
        case kNorthEast:
            return {{P(-2, 1), (P(-2, 2) + P(-1, 0) + P(-1, 2) + P(0, 0)) / 4, (P(-1, 1) + P(0, 1)) / 2}};
        case kSouthEast:
            return {{(P(1, 1) + P(2, 1)) / 2, (P(0, 0) + P(1, 0) + P(1, 2) + P(2, 2)) / 4, P(0, 1)}};
        case kSouthWest:
            return {{P(0, -1), (P(0, 0) + P(1, -2) + P(1, 0) + P(2, -2)) / 4, (P(1, -1) + P(2, -1)) / 2}};
        default:  // kNorthWest
            return {{(P(-1, -1) + P(0, -1)) / 2, (P(-2, -2) + P(-1, -2) + P(-1, 0) + P(0, 0)) / 4, P(-2, -1)}};
        }
    });
}

}  // namespace

int32_t AccumulateColor0(const uint16_t* centre, int32_t gradients[kDirectionCount], int32_t& first,
                         int32_t& second, int32_t& third)
{
    return RuleColor0({centre, g_mosaicSide}, gradients, first, second, third);
}

int32_t AccumulateColor1(const uint16_t* centre, int32_t gradients[kDirectionCount], int32_t& first,
                         int32_t& second, int32_t& third)
{
    return RuleColor1({centre, g_mosaicSide}, gradients, first, second, third);
}

int32_t AccumulateGreenA(const uint16_t* centre, int32_t gradients[kDirectionCount], int32_t& first,
                         int32_t& second, int32_t& third)
{
    return RuleGreenA({centre, g_mosaicSide}, gradients, first, second, third);
}

int32_t AccumulateGreenB(const uint16_t* centre, int32_t gradients[kDirectionCount], int32_t& first,
                         int32_t& second, int32_t& third)
{
    return RuleGreenB({centre, g_mosaicSide}, gradients, first, second, third);
}

int32_t SumColoursAround(SiteClass siteClass, const uint16_t* centre, int64_t stride,
                         int32_t gradients[kDirectionCount], int32_t sums[3])
{
    const Neighbourhood P{centre, stride};
    int32_t first = 0;
    int32_t green = 0;
    int32_t third = 0;
    int32_t count = 0;
    switch (siteClass)
    {
    case SiteClass::G00:
    case SiteClass::G01:
        count = RuleGreenB(P, gradients, first, green, third);
        break;
    case SiteClass::G10:
    case SiteClass::G11:
        count = RuleGreenA(P, gradients, first, green, third);
        break;
    case SiteClass::R0:
    case SiteClass::B0:
        count = RuleColor0(P, gradients, first, green, third);
        break;
    default:  // R1, B1
        count = RuleColor1(P, gradients, first, green, third);
        break;
    }
    // Red is the first sum at G01, G10, R0 and R1 and the third elsewhere
    // (the table above).
    const bool redFirst = siteClass == SiteClass::G01 || siteClass == SiteClass::G10 || siteClass == SiteClass::R0 ||
                          siteClass == SiteClass::R1;
    sums[static_cast<int>(CellColour::Red)] = redFirst ? first : third;
    sums[static_cast<int>(CellColour::Green)] = green;
    sums[static_cast<int>(CellColour::Blue)] = redFirst ? third : first;
    return count;
}
