// The eight directional gradients of green cells and of red and blue cells.
#include "SmallMosaic.h"

#include <gtest/gtest.h>

#include <numeric>

namespace
{

using Slots = std::array<int32_t, 8>;

constexpr int32_t kLargestSample = 6756;  // 4095 after the gain 1.65

bool IsFieldParityZero(SiteClass siteClass)
{
    return siteClass == SiteClass::G00 || siteClass == SiteClass::G01 || siteClass == SiteClass::R0 ||
           siteClass == SiteClass::B0;
}

class GreenGradients : public testing::TestWithParam<SiteClass>
{
};

TEST_P(GreenGradients, WorkedExample)
{
    const Slots expected = IsFieldParityZero(GetParam()) ? Slots{8, 5, 17, 10, 24, 18, 23, 18}
                                                         : Slots{13, 5, 14, 10, 24, 18, 23, 18};
    EXPECT_EQ(GradientsOf(WorkedExampleNeighbourhood(), GetParam()), expected);
}

// Every term compares two cells of one colour, so flat colour planes give 0.
TEST_P(GreenGradients, FlatColourPlanesGiveZero)
{
    std::mt19937 random(1);
    std::uniform_int_distribution<int32_t> value(0, kLargestSample);
    const Cell cell = CSmallMosaic::FirstCellOf(GetParam());
    for (int trial = 0; trial < 200; ++trial)
    {
        const Neighbourhood n = ColourPlanes(cell.r, cell.c, value(random), value(random), value(random));
        ASSERT_EQ(GradientsOf(n, GetParam()), Slots{}) << "trial " << trial;
    }
}

INSTANTIATE_TEST_SUITE_P(AllGreenClasses, GreenGradients,
                         testing::Values(SiteClass::G00, SiteClass::G01, SiteClass::G10, SiteClass::G11),
                         SiteClassParamName());

// N and S at green cells: I + w / 1.1 + e / 1.1 in double, each term divided
// on its own, the west term added before the east one. Each layout makes I, w
// and e by raising one sample of a zero neighbourhood: P(iRow, 0) by I,
// P(wRow, -1) by w and P(eRow, 1) by e.
struct VerticalLayout
{
    SiteClass siteClass;
    int slot;
    int iRow;
    int wRow;
    int eRow;
};

struct VerticalCase
{
    int32_t integerPart;
    int32_t west;
    int32_t east;
    int32_t slot;
};

TEST(GreenGradients, VerticalTermsAreDividedOneByOneWestFirst)
{
    const VerticalLayout layouts[] = {{SiteClass::G00, kNorth, -2, -1, -1},
                                      {SiteClass::G00, kSouth, 2, 2, 2},
                                      {SiteClass::G10, kNorth, -2, -2, -2},
                                      {SiteClass::G10, kSouth, 2, 1, 1}};
    const VerticalCase cases[] = {
        {0, 0, 33, 29},  // 33 / 1.1 lies just below 30
        {0, 33, 0, 29},
        {0, 1, 10, 9},   // (1 + 10) / 1.1 would give 10
        {1, 1, 10, 11},  // the order of the two terms matters
        {1, 10, 1, 10},
        {0, 11, 0, 10},  // 11 / 1.1 rounds to exactly 10
        {3, 1, 1, 4},
    };
    for (const VerticalLayout& layout : layouts)
        for (const VerticalCase& v : cases)
        {
            Neighbourhood n = FlatNeighbourhood(0);
            n(layout.iRow, 0) += v.integerPart;
            n(layout.wRow, -1) += v.west;
            n(layout.eRow, 1) += v.east;
            EXPECT_EQ(GradientsOf(n, layout.siteClass)[layout.slot], v.slot)
                << SiteClassName(layout.siteClass) << " slot " << layout.slot << ": I " << v.integerPart << ", w "
                << v.west << ", e " << v.east;
        }
}

// NW is NE mirrored left to right, SE is NE mirrored top to bottom and SW is
// NE mirrored both ways, at green, red and blue cells alike.
testing::AssertionResult DiagonalsMirrorNorthEast(const Neighbourhood& n, SiteClass siteClass)
{
    const Slots s = GradientsOf(n, siteClass);
    const Neighbourhood topBottom = MirroredTopToBottom(n);
    if (s[kNorthWest] != GradientsOf(MirroredLeftToRight(n), siteClass)[kNorthEast] ||
        s[kSouthEast] != GradientsOf(topBottom, siteClass)[kNorthEast] ||
        s[kSouthWest] != GradientsOf(MirroredLeftToRight(topBottom), siteClass)[kNorthEast])
        return testing::AssertionFailure() << "diagonals of " << SiteClassName(siteClass);
    return testing::AssertionSuccess();
}

// The relations between the rules, over random neighbourhoods: a mistyped
// coordinate in any one rule breaks one of them.
TEST(GreenGradients, MirrorRelationsHold)
{
    std::mt19937 random(2);
    for (int trial = 0; trial < 3000; ++trial)
    {
        const Neighbourhood n = RandomNeighbourhood(random, kLargestSample);
        const Neighbourhood topBottom = MirroredTopToBottom(n);
        for (const SiteClass siteClass : {SiteClass::G00, SiteClass::G10})
        {
            ASSERT_EQ(GradientsOf(n, siteClass)[kWest], GradientsOf(MirroredLeftToRight(n), siteClass)[kEast]) << trial;
            ASSERT_TRUE(DiagonalsMirrorNorthEast(n, siteClass)) << trial;
        }
        // N of one field parity is S of the other, mirrored top to bottom.
        ASSERT_EQ(GradientsOf(n, SiteClass::G00)[kNorth], GradientsOf(topBottom, SiteClass::G10)[kSouth]) << trial;
        ASSERT_EQ(GradientsOf(n, SiteClass::G00)[kSouth], GradientsOf(topBottom, SiteClass::G10)[kNorth]) << trial;
        // The half-sum parity does not enter the gradients.
        ASSERT_EQ(GradientsOf(n, SiteClass::G00), GradientsOf(n, SiteClass::G01)) << trial;
        ASSERT_EQ(GradientsOf(n, SiteClass::G10), GradientsOf(n, SiteClass::G11)) << trial;
    }
}

class ColourGradients : public testing::TestWithParam<SiteClass>
{
};

// The south term of R1 and B1, |trunc(P(1,0) - P(2,0) / 1.1)|, is x / 11 on a
// flat field; everything else is 0.
TEST_P(ColourGradients, FlatFieldGivesZeroButTheDividedSouthTerm)
{
    const bool divides = !IsFieldParityZero(GetParam());
    for (int32_t x = 0; x <= kLargestSample; ++x)
    {
        const Slots expected = {0, 0, divides ? x / 11 : 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(GradientsOf(FlatNeighbourhood(x), GetParam()), expected) << "x " << x;
    }
}

TEST_P(ColourGradients, FlatColourPlanesGiveZeroButTheDividedSouthTerm)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int32_t> value(0, kLargestSample);
    const Cell cell = CSmallMosaic::FirstCellOf(GetParam());
    const bool red = GetParam() == SiteClass::R0 || GetParam() == SiteClass::R1;
    for (int trial = 0; trial < 200; ++trial)
    {
        const int32_t redPlane = value(random);
        const int32_t bluePlane = value(random);
        const Neighbourhood n = ColourPlanes(cell.r, cell.c, redPlane, value(random), bluePlane);
        // P(1, 0) and P(2, 0) of R1 and B1 hold the opposite colour.
        const int32_t opposite = red ? bluePlane : redPlane;
        const Slots expected = {0, 0, IsFieldParityZero(GetParam()) ? 0 : opposite / 11, 0, 0, 0, 0, 0};
        ASSERT_EQ(GradientsOf(n, GetParam()), expected) << "trial " << trial;
    }
}

// A bright sample of height d just north of the cell over a flat field
// reaches slot N in full and SE and SW halved; just south of it, S in full
// and NE and NW halved.
TEST_P(ColourGradients, BrightSampleNextToTheCell)
{
    for (const int dy : {-1, 1})
        for (const int32_t d : {1, 2, 7, 100, 2001})
        {
            Neighbourhood n = FlatNeighbourhood(600);
            const Slots flat = GradientsOf(n, GetParam());
            n(dy, 0) += d;
            Slots expected = flat;
            expected[dy < 0 ? kNorth : kSouth] += d;
            expected[dy < 0 ? kSouthEast : kNorthEast] += d / 2;
            expected[dy < 0 ? kSouthWest : kNorthWest] += d / 2;
            EXPECT_EQ(GradientsOf(n, GetParam()), expected) << "dy " << dy << ", d " << d;
        }
}

INSTANTIATE_TEST_SUITE_P(AllColourClasses, ColourGradients,
                         testing::Values(SiteClass::R0, SiteClass::R1, SiteClass::B0, SiteClass::B1),
                         SiteClassParamName());

TEST(ColourGradients, DividedSouthTermTruncatesBeforeTheAbsoluteValue)
{
    for (const SiteClass siteClass : {SiteClass::R1, SiteClass::B1})
    {
        Neighbourhood n = FlatNeighbourhood(0);
        n(2, 0) = 1;  // 0 - 1 / 1.1 = -0.909... truncates to 0
        EXPECT_EQ(GradientsOf(n, siteClass)[kSouth], 0);
        n(1, 0) = 1000;
        n(2, 0) = 1100;  // not |1000 - 1100| = 100, nor 100 / 1.1
        EXPECT_EQ(GradientsOf(n, siteClass)[kSouth], 0);
    }
}

TEST(Gradients, HalvedTermsAreHalvedOneByOne)
{
    // Green E: the full difference is 0, both halved differences are 1.
    Neighbourhood green = FlatNeighbourhood(0);
    green(-1, 0) = 1;
    green(1, 0) = 1;
    EXPECT_EQ(GradientsOf(green, SiteClass::G00)[kEast], 0);
    EXPECT_EQ(GradientsOf(green, SiteClass::G10)[kEast], 0);
    // Red and blue E and W: the same across the rows above and below.
    Neighbourhood colour = FlatNeighbourhood(0);
    colour(1, -1) = 1;
    colour(-1, -1) = 1;
    for (const SiteClass siteClass : {SiteClass::R0, SiteClass::R1, SiteClass::B0, SiteClass::B1})
    {
        EXPECT_EQ(GradientsOf(colour, siteClass)[kEast], 0) << SiteClassName(siteClass);
        EXPECT_EQ(GradientsOf(colour, siteClass)[kWest], 0) << SiteClassName(siteClass);
    }
}

// At red and blue cells E and W are one measure; N, S, E and W do not change
// when the neighbourhood is mirrored left to right, and the diagonals are
// mirrors of NE. Red and blue cells of one row parity share all rules, and
// the rules never read P(0, -2), P(0, 2) and the far vertical neighbour on the
// side of the cell's own colour. Every other sample is read: raising it far
// above the rest raises the sum of the slots.
TEST(ColourGradients, RelationsAndReadSamples)
{
    constexpr int32_t kRaise = 30000;
    std::mt19937 random(4);
    for (int trial = 0; trial < 2000; ++trial)
    {
        const Neighbourhood n = RandomNeighbourhood(random, kLargestSample);
        for (const auto& [own, other] :
             {std::pair{SiteClass::R0, SiteClass::B0}, std::pair{SiteClass::R1, SiteClass::B1}})
        {
            const Slots s = GradientsOf(n, own);
            ASSERT_EQ(s, GradientsOf(n, other)) << trial;
            ASSERT_EQ(s[kEast], s[kWest]) << trial;
            const Slots mirrored = GradientsOf(MirroredLeftToRight(n), own);
            for (const int k : {kNorth, kEast, kSouth, kWest})
                ASSERT_EQ(s[k], mirrored[k]) << trial << " slot " << k;
            ASSERT_TRUE(DiagonalsMirrorNorthEast(n, own)) << trial;

            const int unreadRow = own == SiteClass::R0 ? 2 : -2;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                {
                    Neighbourhood raised = n;
                    raised(dy, dx) += kRaise;
                    const Slots t = GradientsOf(raised, own);
                    const bool unread = (dy == 0 && (dx == -2 || dx == 2)) || (dy == unreadRow && dx == 0);
                    if (unread)
                        ASSERT_EQ(t, s) << SiteClassName(own) << " reads P(" << dy << "," << dx << ")";
                    else
                        ASSERT_GT(std::accumulate(t.begin(), t.end(), 0), std::accumulate(s.begin(), s.end(), 0))
                            << SiteClassName(own) << " ignores P(" << dy << "," << dx << ")";
                }
        }
    }
}

}  // namespace
