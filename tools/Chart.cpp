// The built-in test chart, drawn in composite-mosaic coordinates.
//
// Layout. The fields cover a diamond of the mosaic, whose cells all hold a
// sample within ranges of u = r + c and v = r - c (kDiamondMinU and the
// others below). Its largest inscribed square is filled by the chart proper,
// the rest of the diamond by a gentle colour gradient. The chart square
// holds, on a neutral mid-grey ground, six bands from top to bottom: a grey
// ramp of ten steps, six saturated patches, six pastel patches, a smooth
// two-way gradient, four sharp edges (0, 90 and 45 degrees in grey, 135
// degrees between red and green) and five panels of fine lines one and two
// cells wide.
//
// A soft triangle wave down the rows (one step per row, between -64 and +64)
// is added to every colour. The demosaic steers by same-colour differences
// and finds no usable direction where every gradient around a cell is 0 or
// 1; it then repeats the cell's own sample in all three channels, so a
// perfectly flat coloured area would come out as a grey mesh. The shade gives
// every neighbourhood a gradient across the rows, and the directions along
// the rows, where colour differences are exact, become the usable ones.
//
// Every part of the chart is a convex region of one colour rule (a patch, a
// half of an edge panel, a line panel) or the ground around them, and every
// region is much larger than the neighbourhood tested for smoothness. That
// makes the smoothness test cheap: a cell is smooth when its own region is
// smooth and the four corners of the box around it lie in the same region.
#include "tools/Chart.h"

#include "demosaic/Demosaic.h"
#include "raw/Lattice.h"
#include "raw/PackedSamples.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr int32_t kFieldWidth = CRawX10::kFieldWidth;
constexpr int32_t kFieldHeight = CRawX10::kFieldHeight;
constexpr int32_t kSide = CRawX10::kMosaicSide;

// The diamond, as ranges of u = r + c and v = r - c inside which every cell
// holds a sample of one field or the other: u from field 0's first row to
// its last, v from field 1's first column to field 0's last.
constexpr int32_t UOfSample(int32_t field, int32_t y, int32_t x)
{
    return RowOfSample(field, y, x) + ColumnTermOf(kFieldWidth, y, x);
}
constexpr int32_t VOfSample(int32_t field, int32_t y, int32_t x)
{
    return RowOfSample(field, y, x) - ColumnTermOf(kFieldWidth, y, x);
}
constexpr int32_t kDiamondMinU = UOfSample(0, 0, 0);
constexpr int32_t kDiamondMaxU = UOfSample(0, kFieldHeight - 1, 0);
constexpr int32_t kDiamondMinV = VOfSample(1, 0, 0);
constexpr int32_t kDiamondMaxV = VOfSample(0, 0, kFieldWidth - 1);
static_assert(kDiamondMinU == 2946 && kDiamondMaxU == 7232 && kDiamondMinV == -2945 && kDiamondMaxV == 2940);

// Scan window of the demosaic: cells outside it are never interpolated.
constexpr int32_t kWindowFirst = kWindowMargin;
constexpr int32_t kWindowLast = kSide - 1 - kWindowMargin;

// How far a smooth cell keeps from the diamond's border and from any edge,
// line or region border of the chart. The demosaic reads a 5 x 5
// neighbourhood, so these leave a safe gap.
constexpr int32_t kBorderClearance = 6;
constexpr int32_t kEdgeClearance = 4;

// The chart square: rows and columns kChartOrigin to kChartOrigin +
// kChartSize - 1; it lies inside the diamond with room to spare.
constexpr int32_t kChartOrigin = 1500;
constexpr int32_t kChartSize = 2080;
constexpr int32_t kPanelInset = 40;  // columns of ground left and right of every band

static_assert(2 * kChartOrigin - 2 * kBorderClearance >= kDiamondMinU);
static_assert(2 * (kChartOrigin + kChartSize) + 2 * kBorderClearance <= kDiamondMaxU);
static_assert(kChartSize + 2 * kBorderClearance <= kDiamondMaxV);

// The bands of the chart square, in square-local rows; a band holds
// panelCount panels of panelWidth columns, one every panelPitch columns,
// starting at column kPanelInset.
enum class BandKind : uint8_t { GreyRamp, Saturated, Pastel, Gradient, Edges, Lines };

struct Band
{
    BandKind kind;
    int32_t top;
    int32_t height;
    int32_t panelWidth;
    int32_t panelPitch;
    int32_t panelCount;
};

constexpr Band kBands[] = {
    {BandKind::GreyRamp, 40, 200, 200, 200, 10},
    {BandKind::Saturated, 280, 200, 250, 350, 6},
    {BandKind::Pastel, 520, 200, 250, 350, 6},
    {BandKind::Gradient, 760, 400, 2000, 2000, 1},
    {BandKind::Edges, 1200, 400, 440, 520, 4},
    {BandKind::Lines, 1640, 400, 360, 410, 5},
};

constexpr ChartColour kGround = {1000, 1000, 1000};
constexpr ChartColour kDark = {400, 400, 400};
constexpr ChartColour kBright = {2400, 2400, 2400};

constexpr ChartColour kSaturated[6] = {
    {2600, 250, 200},   // red
    {300, 2400, 300},   // green
    {250, 300, 2600},   // blue
    {250, 2200, 2400},  // cyan
    {2400, 300, 2300},  // magenta
    {2600, 2500, 250},  // yellow
};

constexpr ChartColour kPastel[6] = {
    {2400, 1700, 1700},
    {1700, 2400, 1700},
    {1700, 1800, 2500},
    {1700, 2300, 2400},
    {2300, 1700, 2300},
    {2500, 2400, 1600},
};

constexpr int32_t kLinePeriod = 10;

// The region a cell belongs to, the colour the chart has there, and whether
// the region's colour varies slowly enough to count as smooth.
struct ChartCell
{
    ChartColour colour;
    int32_t region;
    bool smooth;
};

// Region numbers: the gradient outside the chart square, the ground inside
// it, then 16 numbers per panel (band * 256 + panel * 16 + part).
constexpr int32_t kOuterRegion = 0;
constexpr int32_t kGroundRegion = 1;

int32_t PanelRegion(int32_t band, int32_t panel, int32_t part)
{
    return 256 * (band + 1) + 16 * panel + part;
}

ChartCell LocateOuter(int32_t r, int32_t c)
{
    // A slow sweep over the whole mosaic: red grows to the east, blue to the
    // south, green along the diagonal; under 0.3 of a step per cell.
    const ChartColour colour = {500 + c * 1500 / kSide, 900 + (r + c) * 600 / (2 * kSide), 500 + r * 1500 / kSide};
    return {colour, kOuterRegion, true};
}

ChartCell LocatePanel(int32_t bandIndex, int32_t panel, int32_t py, int32_t px)
{
    const Band& band = kBands[bandIndex];
    switch (band.kind)
    {
    case BandKind::GreyRamp:
    {
        const int32_t grey = 150 + 300 * panel;
        return {{grey, grey, grey}, PanelRegion(bandIndex, panel, 0), true};
    }
    case BandKind::Saturated:
        return {kSaturated[panel], PanelRegion(bandIndex, panel, 0), true};
    case BandKind::Pastel:
        return {kPastel[panel], PanelRegion(bandIndex, panel, 0), true};
    case BandKind::Gradient:
    {
        // Red falls and blue rises from west to east (1.2 per cell), green
        // rises from north to south (3 per cell).
        const int32_t red = 2700 - 2400 * px / band.panelWidth;
        const int32_t blue = 300 + 2400 * px / band.panelWidth;
        const int32_t green = 800 + 1200 * py / band.height;
        return {{red, green, blue}, PanelRegion(bandIndex, 0, 0), true};
    }
    case BandKind::Edges:
    {
        const int32_t half = band.panelWidth / 2;
        bool second = false;
        switch (panel)
        {
        case 0:  // 0 degrees: dark above, bright below
            second = py >= half;
            break;
        case 1:  // 90 degrees: dark to the west, bright to the east
            second = px >= half;
            break;
        case 2:  // 45 degrees, rising to the north-east
            second = px + py >= band.panelWidth;
            break;
        default:  // 135 degrees, red against green
            second = px >= py;
            break;
        }
        ChartColour colour = second ? kBright : kDark;
        if (panel == 3)
            colour = second ? kSaturated[1] : kSaturated[0];
        return {colour, PanelRegion(bandIndex, panel, second ? 1 : 0), true};
    }
    case BandKind::Lines:
    {
        // Bright lines on dark ground: vertical one and two cells wide,
        // horizontal one and two cells wide; then dark diagonal lines on
        // bright ground, one cell wide in the upper half and two below.
        bool onLine = false;
        switch (panel)
        {
        case 0:
            onLine = px % kLinePeriod == 0;
            break;
        case 1:
            onLine = px % kLinePeriod < 2;
            break;
        case 2:
            onLine = py % kLinePeriod == 0;
            break;
        case 3:
            onLine = py % kLinePeriod < 2;
            break;
        default:
            onLine = (px + py) % kLinePeriod < (py < band.height / 2 ? 1 : 2);
            return {onLine ? kDark : kBright, PanelRegion(bandIndex, panel, 0), false};
        }
        return {onLine ? kBright : kDark, PanelRegion(bandIndex, panel, 0), false};
    }
    }
    return {kGround, kGroundRegion, true};
}

ChartCell LocateChartCell(int32_t r, int32_t c)
{
    const int32_t sr = r - kChartOrigin;
    const int32_t sc = c - kChartOrigin;
    if (sr < 0 || sr >= kChartSize || sc < 0 || sc >= kChartSize)
        return LocateOuter(r, c);
    const ChartCell ground = {kGround, kGroundRegion, true};
    const int32_t bc = sc - kPanelInset;
    if (bc < 0)
        return ground;
    for (int32_t b = 0; b < static_cast<int32_t>(std::size(kBands)); ++b)
    {
        const Band& band = kBands[b];
        if (sr < band.top)
            return ground;
        if (sr >= band.top + band.height)
            continue;
        const int32_t panel = bc / band.panelPitch;
        const int32_t px = bc % band.panelPitch;
        if (panel >= band.panelCount || px >= band.panelWidth)
            return ground;
        return LocatePanel(b, panel, sr - band.top, px);
    }
    return ground;
}

constexpr int32_t kShadePeriod = 128;

// The triangle wave added to every colour of row r (see the top of the file).
int32_t Shade(int32_t r)
{
    const int32_t phase = r % (2 * kShadePeriod);
    return (phase < kShadePeriod ? phase : 2 * kShadePeriod - phase) - kShadePeriod / 2;
}

// True when the box of half-size margin around (r, c) lies inside the part
// of the diamond where every cell holds a sample.
bool BoxInsideDiamond(int32_t r, int32_t c, int32_t margin)
{
    const int32_t u = r + c;
    const int32_t v = r - c;
    return u - 2 * margin >= kDiamondMinU && u + 2 * margin <= kDiamondMaxU && v - 2 * margin >= kDiamondMinV &&
           v + 2 * margin <= kDiamondMaxV;
}

// White-balance gain that the demosaic applies to red and blue cells of row r.
double GainOfRow(int32_t r)
{
    return (r / 2) % 2 == 0 ? kGainOfEvenRowPair : kGainOfOddRowPair;
}

uint16_t ToSample(double value)
{
    return static_cast<uint16_t>(std::clamp(std::lround(value), 0L, long{kSampleMaximum}));
}

}  // namespace

ChartColour ChartColourAt(int32_t r, int32_t c)
{
    ChartColour colour = LocateChartCell(r, c).colour;
    const int32_t shade = Shade(r);
    colour.red += shade;
    colour.green += shade;
    colour.blue += shade;
    return colour;
}

bool ChartIsSmoothAt(int32_t r, int32_t c)
{
    if (r < kWindowFirst || r > kWindowLast || c < kWindowFirst || c > kWindowLast)
        return false;
    if (!BoxInsideDiamond(r, c, kBorderClearance))
        return false;
    const ChartCell centre = LocateChartCell(r, c);
    if (!centre.smooth)
        return false;
    // Regions are convex and larger than the box, and the two grounds are
    // such regions with larger convex regions cut out: when all four
    // corners share the centre's region, so does the whole box.
    for (const int32_t dr : {-kEdgeClearance, kEdgeClearance})
        for (const int32_t dc : {-kEdgeClearance, kEdgeClearance})
            if (LocateChartCell(r + dr, c + dc).region != centre.region)
                return false;
    return true;
}

uint16_t ChartSampleOf(int32_t field, int32_t y, int32_t x)
{
    // The chart's value in the sample's own filter colour at the composite
    // cell it is laid into.
    const auto [r, c] = CellOfSample(kFieldWidth, kFieldHeight, field, y, x);
    const ChartColour colour = ChartColourAt(r, c);
    switch (ColourOfFieldSample(y, x))
    {
    case CellColour::Green:
        return ToSample(colour.green);
    case CellColour::Red:
        return ToSample(colour.red / GainOfRow(r));
    case CellColour::Blue:
        return ToSample(colour.blue / GainOfRow(r));
    }
    return 0;
}

void RenderChartFields(uint16_t* field0, uint16_t* field1)
{
    for (int32_t f = 0; f < 2; ++f)
    {
        uint16_t* field = f == 0 ? field0 : field1;
        for (int32_t y = 0; y < kFieldHeight; ++y)
            for (int32_t x = 0; x < kFieldWidth; ++x)
                field[int64_t{y} * kFieldWidth + x] = ChartSampleOf(f, y, x);
    }
}

std::vector<uint8_t> MakeChartFile()
{
    const int64_t samples = int64_t{kFieldWidth} * kFieldHeight;
    std::vector<uint16_t> field0(static_cast<size_t>(samples));
    std::vector<uint16_t> field1(static_cast<size_t>(samples));
    RenderChartFields(field0.data(), field1.data());
    std::vector<uint8_t> file(static_cast<size_t>(CRawX10::kTailBytes), 0);
    PackSamples(field0.data(), samples, file.data() + CRawX10::BlockOffsetInTail(0));
    PackSamples(field1.data(), samples, file.data() + CRawX10::BlockOffsetInTail(1));
    return file;
}
