// Small composite mosaics for the tests of the demosaic's per-cell rules.
//
// Every rule reads the 5 x 5 neighbourhood P(dy, dx) of one cell (r, c) of a
// mosaic of side g_mosaicSide. CSmallMosaic owns a CRawX10 whose mosaic is
// only kSide x kSide samples (and publishes that side), so that a
// neighbourhood can be laid around a cell of any site class.
#pragma once

#include "demosaic/Demosaic.h"
#include "demosaic/Gradients.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <array>
#include <memory>
#include <ostream>
#include <random>
#include <string>

// The samples P(dy, dx), dy and dx from -2 to 2.
struct Neighbourhood
{
    std::array<std::array<int32_t, 5>, 5> samples{};

    int32_t& operator()(int dy, int dx) { return samples[dy + 2][dx + 2]; }
    int32_t operator()(int dy, int dx) const { return samples[dy + 2][dx + 2]; }
};

inline Neighbourhood FlatNeighbourhood(int32_t value)
{
    Neighbourhood n;
    for (auto& row : n.samples)
        row.fill(value);
    return n;
}

// The neighbourhood of (r, c) in which every cell holds the value of its own
// colour: each colour plane is flat, so every same-colour difference is 0 and
// every colour estimate is exact.
inline Neighbourhood ColourPlanes(int32_t r, int32_t c, int32_t red, int32_t green, int32_t blue)
{
    Neighbourhood n;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
        {
            const CellColour colour = ColourOfCell(r + dy, c + dx);
            n(dy, dx) = colour == CellColour::Red ? red : colour == CellColour::Green ? green : blue;
        }
    return n;
}

// Samples drawn uniformly from 0 to maximum.
inline Neighbourhood RandomNeighbourhood(std::mt19937& random, int32_t maximum)
{
    std::uniform_int_distribution<int32_t> sample(0, maximum);
    Neighbourhood n;
    for (auto& row : n.samples)
        for (auto& value : row)
            value = sample(random);
    return n;
}

// P'(dy, dx) = P(-dy, dx) and P'(dy, dx) = P(dy, -dx).
inline Neighbourhood MirroredTopToBottom(const Neighbourhood& n)
{
    Neighbourhood m;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            m(dy, dx) = n(-dy, dx);
    return m;
}

inline Neighbourhood MirroredLeftToRight(const Neighbourhood& n)
{
    Neighbourhood m;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            m(dy, dx) = n(dy, -dx);
    return m;
}

// The neighbourhood that the worked examples of the gradient, colour-sum and
// pass rules share; rows dy = -2 to 2 from the top.
inline Neighbourhood WorkedExampleNeighbourhood()
{
    return Neighbourhood{{{{120, 37, 118, 52, 125},
                           {117, 35, 121, 44, 119},
                           {124, 39, 120, 43, 116},
                           {115, 33, 123, 47, 122},
                           {121, 26, 117, 40, 126}}}};
}

// Gives raw a zeroed mosaic of side x side samples, with field dimensions
// that add up to that side, as CRawX10::MosaicSide expects.
inline void GiveSquareMosaic(CRawX10& raw, int32_t side)
{
    raw.m_width = side - side / 2;
    raw.m_height = side / 2;
    raw.m_mosaic = std::make_unique<uint16_t[]>(static_cast<size_t>(side) * static_cast<size_t>(side));
}

// The mosaic of raw, as the per-cell rules and the scan read it (already
// white-balanced, or made to stand for a balanced one).
inline MosaicRows RowsOf(const CRawX10& raw)
{
    return {raw.m_mosaic.get(), raw.MosaicSide()};
}

struct Cell
{
    int32_t r;
    int32_t c;
};

class CSmallMosaic
{
public:
    static constexpr int32_t kSide = 12;

    CSmallMosaic()
    {
        GiveSquareMosaic(m_raw, kSide);
        PublishMosaicSide(kSide);
    }

    // Writes the neighbourhood around (r, c); every other cell keeps its value.
    void Place(const Neighbourhood& n, Cell cell)
    {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                m_raw.m_mosaic[(cell.r + dy) * kSide + cell.c + dx] = static_cast<uint16_t>(n(dy, dx));
    }

    // The first cell of the site class whose neighbourhood fits the mosaic.
    static Cell FirstCellOf(SiteClass siteClass)
    {
        for (int32_t r = 2; r < kSide - 2; ++r)
            for (int32_t c = 2; c < kSide - 2; ++c)
                if (SiteClassOfCell(r, c) == siteClass)
                    return {r, c};
        return {-1, -1};
    }

    // The eight gradient slots of (r, c), filled by the rule of its colour.
    std::array<int32_t, 8> GradientsAt(Cell cell) const
    {
        if (cell.c % 2 != 0)
            ComputeGreenGradients(m_raw.m_mosaic.get(), kSide, cell.r, cell.c);
        else
            ComputeColorGradients(m_raw.m_mosaic.get(), kSide, cell.r, cell.c);
        std::array<int32_t, 8> slots;
        std::copy(g_gradients, g_gradients + 8, slots.begin());
        return slots;
    }

    // One worker: the rules of one cell need no thread, and the tests make
    // many thousands of these objects.
    CRawX10 m_raw{1};
};

inline constexpr SiteClass kAllSiteClasses[] = {SiteClass::G00, SiteClass::G01, SiteClass::G10, SiteClass::G11,
                                                SiteClass::R0,  SiteClass::R1,  SiteClass::B0,  SiteClass::B1};

inline const char* SiteClassName(SiteClass siteClass)
{
    static const char* const names[] = {"G00", "G01", "G10", "G11", "R0", "R1", "B0", "B1"};
    return names[static_cast<int>(siteClass)];
}

// Names the instances of a test parameterised by site class.
struct SiteClassParamName
{
    template <typename ParamInfo>
    std::string operator()(const ParamInfo& info) const
    {
        return SiteClassName(info.param);
    }
};

// Lets GoogleTest print a site class by its name.
inline void PrintTo(SiteClass siteClass, std::ostream* out)
{
    *out << SiteClassName(siteClass);
}

// Neighbourhood of a cell of the given class laid into a fresh small mosaic:
// the slots of that cell.
inline std::array<int32_t, 8> GradientsOf(const Neighbourhood& n, SiteClass siteClass)
{
    CSmallMosaic mosaic;
    const Cell cell = CSmallMosaic::FirstCellOf(siteClass);
    mosaic.Place(n, cell);
    return mosaic.GradientsAt(cell);
}
