#include "demosaic/Gradients.h"

#include <cstdlib>

thread_local int32_t g_mosaicSide = 0;
thread_local int32_t g_gradients[kDirectionCount] = {};

void PublishMosaicSide(int32_t side)
{
    g_mosaicSide = side;
}

namespace
{

// Full term |p - q| and halved term floor(|p - q| / 2), in 32-bit integers.
inline int32_t Full(int32_t p, int32_t q)
{
    return std::abs(p - q);
}

inline int32_t Half(int32_t p, int32_t q)
{
    return std::abs(p - q) / 2;
}

// I + w / 1.1 + e / 1.1 in double precision: each term divided before it is
// added, the integer part first and the west term before the east term, then
// truncated toward zero.
inline int32_t VerticalGreenGradient(int32_t integerPart, int32_t west, int32_t east)
{
    double x = static_cast<double>(integerPart);
    x = x + static_cast<double>(west) / 1.1;
    x = x + static_cast<double>(east) / 1.1;
    return static_cast<int32_t>(x);
}

}  // namespace

void GreenGradientsAround(const uint16_t* centre, int64_t stride, int32_t r, int32_t gradients[kDirectionCount])
{
    // Around a green cell, columns c and c +- 2 are green in every row, and
    // columns c +- 1 hold red and blue in pairs stacked two rows high (rows r'
    // and r' + 1 with r' + c odd), so vertical differences in those columns
    // are taken within one pair.
    auto P = [centre, stride](int dy, int dx) -> int32_t { return centre[dy * stride + dx]; };

    const int32_t vertical = Full(P(1, 0), P(-1, 0));
    const int32_t north = Full(P(0, 0), P(-2, 0)) + vertical;
    const int32_t south = Full(P(0, 0), P(2, 0)) + vertical;
    if (r % 2 != 0)
    {
        // f = 0 (G00, G01): the pairs of N are rows r - 1 and r, those of S
        // rows r + 1 and r + 2.
        gradients[kNorth] = VerticalGreenGradient(north, Full(P(0, -1), P(-1, -1)), Full(P(0, 1), P(-1, 1)));
        gradients[kSouth] = VerticalGreenGradient(south, Full(P(1, -1), P(2, -1)), Full(P(1, 1), P(2, 1)));
    }
    else
    {
        // f = 1 (G10, G11): the pairs of N are rows r - 2 and r - 1, those of S
        // rows r and r + 1.
        gradients[kNorth] = VerticalGreenGradient(north, Full(P(-1, -1), P(-2, -1)), Full(P(-1, 1), P(-2, 1)));
        gradients[kSouth] = VerticalGreenGradient(south, Full(P(0, -1), P(1, -1)), Full(P(0, 1), P(1, 1)));
    }
    gradients[kEast] = Full(P(0, 0), P(0, 2)) + Half(P(-1, 0), P(-1, 2)) + Half(P(1, 0), P(1, 2));
    gradients[kWest] = Full(P(0, 0), P(0, -2)) + Half(P(-1, 0), P(-1, -2)) + Half(P(1, 0), P(1, -2));
    gradients[kNorthEast] = Full(P(0, 0), P(-2, 2)) + Full(P(1, -1), P(-1, 1)) +
                              Half(P(0, -1), P(-2, 1)) + Half(P(1, 0), P(-1, 2));
    gradients[kSouthEast] = Full(P(0, 0), P(2, 2)) + Full(P(-1, -1), P(1, 1)) +
                              Half(P(0, -1), P(2, 1)) + Half(P(-1, 0), P(1, 2));
    gradients[kSouthWest] = Full(P(0, 0), P(2, -2)) + Full(P(-1, 1), P(1, -1)) +
                              Half(P(0, 1), P(2, -1)) + Half(P(-1, 0), P(1, -2));
    gradients[kNorthWest] = Full(P(0, 0), P(-2, -2)) + Full(P(1, 1), P(-1, -1)) +
                              Half(P(0, 1), P(-2, -1)) + Half(P(1, 0), P(-1, -2));
}

void ColourGradientsAround(const uint16_t* centre, int64_t stride, int32_t r, int32_t gradients[kDirectionCount])
{
    // Around a red or blue cell, columns c +- 1 are green; P(+-2, 0) and
    // P(0, +-2) carry the other of red and blue, P(+-2, +-2) the cell's own
    // colour. The cell's partner in its vertical pair is P(1, 0) in even rows
    // and P(-1, 0) in odd rows. P(0, -2) and P(0, 2) are never read.
    auto P = [centre, stride](int dy, int dx) -> int32_t { return centre[dy * stride + dx]; };

    const int32_t sharedVertical = Half(P(-1, -1), P(1, -1)) + Half(P(-1, 1), P(1, 1));
    int32_t northVertical;
    int32_t southVertical;
    if (r % 2 == 0)
    {
        // R0, B0
        northVertical = Full(P(-2, 0), P(-1, 0));
        southVertical = Full(P(0, 0), P(1, 0));
    }
    else
    {
        // R1, B1: the south term divides only P(2, 0) by 1.1, in double, and
        // truncates before it takes the absolute value.
        northVertical = Full(P(0, 0), P(-1, 0));
        southVertical = std::abs(static_cast<int32_t>(static_cast<double>(P(1, 0)) - static_cast<double>(P(2, 0)) / 1.1));
    }
    gradients[kNorth] = Half(P(-2, -1), P(0, -1)) + Half(P(-2, 1), P(0, 1)) + sharedVertical + northVertical;
    gradients[kSouth] = Half(P(0, 1), P(2, 1)) + Half(P(0, -1), P(2, -1)) + sharedVertical + southVertical;
    // E and W are the same sum: the green on the cell's left against the
    // green on its right, in its own row and (halved) in the rows beside it.
    const int32_t across = Half(P(1, -1), P(1, 1)) + Half(P(-1, -1), P(-1, 1)) + Full(P(0, -1), P(0, 1));
    gradients[kEast] = across;
    gradients[kWest] = across;
    gradients[kNorthEast] = Half(P(-2, 1), P(0, -1)) + Half(P(-1, 2), P(1, 0)) +
                              Full(P(-1, 1), P(1, -1)) + Full(P(-2, 2), P(0, 0));
    gradients[kSouthEast] = Half(P(2, 1), P(0, -1)) + Half(P(1, 2), P(-1, 0)) +
                              Full(P(1, 1), P(-1, -1)) + Full(P(2, 2), P(0, 0));
    gradients[kSouthWest] = Half(P(2, -1), P(0, 1)) + Half(P(1, -2), P(-1, 0)) +
                              Full(P(1, -1), P(-1, 1)) + Full(P(2, -2), P(0, 0));
    gradients[kNorthWest] = Half(P(-2, -1), P(0, 1)) + Half(P(-1, -2), P(1, 0)) +
                              Full(P(-1, -1), P(1, 1)) + Full(P(-2, -2), P(0, 0));
}

void ComputeGreenGradients(const uint16_t* rows, int32_t side, int32_t r, int32_t c, int32_t firstRow)
{
    GreenGradientsAround(rows + static_cast<int64_t>(r - firstRow) * side + c, side, r, g_gradients);
}

void ComputeColorGradients(const uint16_t* rows, int32_t side, int32_t r, int32_t c, int32_t firstRow)
{
    ColourGradientsAround(rows + static_cast<int64_t>(r - firstRow) * side + c, side, r, g_gradients);
}
