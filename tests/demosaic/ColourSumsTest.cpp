// The threshold rule and the four accumulation rules.
#include "SmallMosaic.h"
#include "demosaic/ColourSums.h"

#include <gtest/gtest.h>

namespace
{

using Slots = std::array<int32_t, 8>;
using AccumulationRule = int32_t (*)(const uint16_t*, int32_t*, int32_t&, int32_t&, int32_t&);

constexpr int32_t kLargestSample = 6756;

struct Sums
{
    int32_t first;
    int32_t second;
    int32_t third;
    int32_t n;

    bool operator==(const Sums&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sums& s)
{
    return out << "(" << s.first << ", " << s.second << ", " << s.third << "; n " << s.n << ")";
}

AccumulationRule RuleOf(SiteClass siteClass)
{
    switch (siteClass)
    {
    case SiteClass::G00:
    case SiteClass::G01:
        return AccumulateGreenB;
    case SiteClass::G10:
    case SiteClass::G11:
        return AccumulateGreenA;
    case SiteClass::R0:
    case SiteClass::B0:
        return AccumulateColor0;
    default:
        return AccumulateColor1;
    }
}

// Runs the rule at a cell of a small mosaic holding n; the slots are
// thresholded in place. The sums start as garbage: the rule must clear them.
Sums Accumulate(AccumulationRule rule, const Neighbourhood& n, Slots& slots, Cell cell = {5, 5})
{
    CSmallMosaic mosaic;
    mosaic.Place(n, cell);
    Sums s{-7, -7, -7, 0};
    const uint16_t* centre = mosaic.m_raw.m_mosaic.get() + cell.r * CSmallMosaic::kSide + cell.c;
    s.n = rule(centre, slots.data(), s.first, s.second, s.third);
    return s;
}

// The three estimates along direction k alone: slot k is 0 and the others 10,
// so the threshold 5 leaves only k usable.
Sums EstimatesAlong(AccumulationRule rule, const Neighbourhood& n, int k, Cell cell = {5, 5})
{
    Slots slots;
    slots.fill(10);
    slots[k] = 0;
    return Accumulate(rule, n, slots, cell);
}

Slots Thresholded(Slots slots)
{
    ThresholdGradients(slots.data());
    return slots;
}

TEST(ThresholdGradients, Cases)
{
    const std::pair<Slots, Slots> cases[] = {
        // min 10, max 80: threshold 50
        {{10, 20, 30, 40, 50, 60, 70, 80}, {10, 20, 30, 40, -1, -1, -1, -1}},
        // a slot equal to the threshold trunc(1 + 3) = 4 is disabled
        {{2, 4, 4, 4, 4, 4, 4, 4}, {2, -1, -1, -1, -1, -1, -1, -1}},
        // the largest slot comes first and must still count as the maximum
        {{80, 10, 40, 40, 40, 40, 40, 40}, {-1, 10, 40, 40, 40, 40, 40, 40}},
        // min 0, max 1: threshold 0, nothing usable
        {{0, 1, 1, 0, 1, 0, 1, 1}, {-1, -1, -1, -1, -1, -1, -1, -1}},
        // min 0, max 2: threshold 1, only the zeros usable
        {{0, 2, 1, 0, 2, 2, 1, 0}, {0, -1, -1, 0, -1, -1, -1, 0}},
    };
    for (const auto& [slots, expected] : cases)
        EXPECT_EQ(Thresholded(slots), expected);
}

TEST(ThresholdGradients, EqualSlotsAreAllUsableFromTwoOn)
{
    for (int32_t g = 0; g <= 5000; ++g)
    {
        Slots slots;
        slots.fill(g);
        Slots expected;
        expected.fill(g >= 2 ? g : -1);
        ASSERT_EQ(Thresholded(slots), expected) << "g " << g;
    }
}

// A direction is usable exactly when its gradient lies below min + floor(max / 2).
TEST(ThresholdGradients, UsableBelowMinimumPlusHalfTheMaximum)
{
    std::mt19937 random(5);
    for (const int32_t largest : {3, 40, 200000})
    {
        std::uniform_int_distribution<int32_t> gradient(0, largest);
        for (int trial = 0; trial < 5000; ++trial)
        {
            Slots slots;
            for (auto& slot : slots)
                slot = gradient(random);
            const int32_t minimum = *std::min_element(slots.begin(), slots.end());
            const int32_t maximum = *std::max_element(slots.begin(), slots.end());
            Slots expected = slots;
            for (auto& slot : expected)
                slot = slot < minimum + maximum / 2 ? slot : -1;
            ASSERT_EQ(Thresholded(slots), expected);
        }
    }
}

TEST(ColourSums, WorkedExample)
{
    const Neighbourhood n = WorkedExampleNeighbourhood();
    Slots slots = {8, 5, 17, 10, 24, 18, 23, 18};
    EXPECT_EQ(Accumulate(AccumulateGreenB, n, slots), (Sums{127, 358, 116, 3}));
    EXPECT_EQ(slots, (Slots{8, 5, -1, 10, -1, -1, -1, -1}));
    slots = {13, 5, 14, 10, 24, 18, 23, 18};
    EXPECT_EQ(Accumulate(AccumulateGreenA, n, slots), (Sums{164, 478, 152, 4}));
}

TEST(ColourSums, EstimatesRoundDown)
{
    Neighbourhood n = FlatNeighbourhood(0);
    n(0, 0) = 1;
    n(1, 0) = 2;  // S: first (1 + 2) / 2
    EXPECT_EQ(EstimatesAlong(AccumulateColor0, n, kSouth).first, 1);
    n(-2, 2) = 1;
    n(-1, 2) = 2;  // NE: first (1 + 2 + 1) / 3
    EXPECT_EQ(EstimatesAlong(AccumulateColor0, n, kNorthEast).first, 1);
    n(-2, -1) = 1;
    n(-2, 1) = 2;
    n(-1, -1) = 2;
    n(-1, 1) = 2;  // N: second (1 + 2 + 2 + 2) / 4
    EXPECT_EQ(EstimatesAlong(AccumulateColor0, n, kNorth).second, 1);
}

class ColourSumsByClass : public testing::TestWithParam<SiteClass>
{
};

TEST_P(ColourSumsByClass, NoUsableDirectionCountsOneWithZeroSums)
{
    std::mt19937 random(6);
    Slots slots = {1, 0, 1, 1, 0, 1, 1, 0};
    EXPECT_EQ(Accumulate(RuleOf(GetParam()), RandomNeighbourhood(random, kLargestSample), slots), (Sums{0, 0, 0, 1}));
}

TEST_P(ColourSumsByClass, FlatFieldWithEveryDirectionUsable)
{
    for (const int32_t x : {0, 1, 7, 1200, kLargestSample})
    {
        Slots slots;
        slots.fill(5);
        EXPECT_EQ(Accumulate(RuleOf(GetParam()), FlatNeighbourhood(x), slots), (Sums{8 * x, 8 * x, 8 * x, 8}));
        EXPECT_EQ(slots, (Slots{5, 5, 5, 5, 5, 5, 5, 5}));
    }
}

// Every estimate of a sum is taken from cells of the colour that the sum
// stands for at this class: on flat colour planes each estimate is exactly
// the plane of its colour, direction by direction.
TEST_P(ColourSumsByClass, EveryEstimateHasTheColourOfItsSum)
{
    const SiteClass siteClass = GetParam();
    const bool firstIsRed = siteClass == SiteClass::G01 || siteClass == SiteClass::G10 ||
                            siteClass == SiteClass::R0 || siteClass == SiteClass::R1;
    const Cell cell = CSmallMosaic::FirstCellOf(siteClass);
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> value(0, kLargestSample);
    for (int trial = 0; trial < 50; ++trial)
    {
        const int32_t red = value(random);
        const int32_t green = value(random);
        const int32_t blue = value(random);
        const Neighbourhood n = ColourPlanes(cell.r, cell.c, red, green, blue);
        const Sums expected = firstIsRed ? Sums{red, green, blue, 1} : Sums{blue, green, red, 1};
        for (int k = 0; k < 8; ++k)
            ASSERT_EQ(EstimatesAlong(RuleOf(siteClass), n, k, cell), expected) << "direction " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(AllSiteClasses, ColourSumsByClass, testing::ValuesIn(kAllSiteClasses),
                         SiteClassParamName());

// The relations between the four tables, direction by direction over random
// neighbourhoods: a mistyped coordinate in one table breaks one of them.
TEST(ColourSums, TablesAreRelated)
{
    // N and S, NE and SE, NW and SW change places in a top-to-bottom mirror.
    constexpr int kMirrored[8] = {kSouth, kEast, kNorth, kWest, kSouthEast, kNorthEast, kNorthWest, kSouthWest};
    std::mt19937 random(8);
    for (int trial = 0; trial < 2000; ++trial)
    {
        const Neighbourhood n = RandomNeighbourhood(random, kLargestSample);
        const Neighbourhood topBottom = MirroredTopToBottom(n);
        Neighbourhood brighter = n;
        brighter(0, 0) += 12;
        for (int k = 0; k < 8; ++k)
        {
            const Sums color0 = EstimatesAlong(AccumulateColor0, n, k);
            const Sums color1 = EstimatesAlong(AccumulateColor1, n, k);
            const Sums greenA = EstimatesAlong(AccumulateGreenA, n, k);
            const Sums greenB = EstimatesAlong(AccumulateGreenB, n, k);
            ASSERT_EQ(EstimatesAlong(AccumulateColor1, topBottom, kMirrored[k]), color0) << trial << " dir " << k;
            ASSERT_EQ(EstimatesAlong(AccumulateGreenA, topBottom, kMirrored[k]), greenB) << trial << " dir " << k;
            ASSERT_EQ(color0.second, color1.second) << trial << " dir " << k;
            ASSERT_EQ(greenA.second, greenB.second) << trial << " dir " << k;
            // The cell's own sample enters the own-colour estimate of every
            // direction: the first sum at red and blue cells, the second at green.
            ASSERT_GT(EstimatesAlong(AccumulateColor0, brighter, k).first, color0.first) << trial << " dir " << k;
            ASSERT_GT(EstimatesAlong(AccumulateColor1, brighter, k).first, color1.first) << trial << " dir " << k;
            ASSERT_GT(EstimatesAlong(AccumulateGreenA, brighter, k).second, greenA.second) << trial << " dir " << k;
            ASSERT_GT(EstimatesAlong(AccumulateGreenB, brighter, k).second, greenB.second) << trial << " dir " << k;
        }
        // Two diagonals share one opposite-colour estimate.
        ASSERT_EQ(EstimatesAlong(AccumulateColor0, n, kNorthEast).third, n(-1, 0));
        ASSERT_EQ(EstimatesAlong(AccumulateColor0, n, kNorthWest).third, n(-1, 0));
        ASSERT_EQ(EstimatesAlong(AccumulateColor1, n, kSouthEast).third, n(1, 0));
        ASSERT_EQ(EstimatesAlong(AccumulateColor1, n, kSouthWest).third, n(1, 0));
    }
}

}  // namespace
