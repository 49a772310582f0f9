#include "probe/AreaStats.h"

#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"

#include <algorithm>

namespace
{

// Cells [firstRow, lastRow] x [firstColumn, lastColumn] of the mosaic.
struct CellRange
{
    int64_t firstRow;
    int64_t lastRow;
    int64_t firstColumn;
    int64_t lastColumn;

    bool Holds(int64_t r, int64_t c) const { return r >= firstRow && r <= lastRow && c >= firstColumn && c <= lastColumn; }
};

}  // namespace

std::string AreaProblem(const ImageArea& area, int32_t side)
{
    if (area.width <= 0 || area.height <= 0)
        return "the area " + std::to_string(area.width) + " x " + std::to_string(area.height) + " is empty";
    if (area.x < 0 || area.y < 0 || area.width > side - area.x || area.height > side - area.y)
        return "the area " + std::to_string(area.width) + " x " + std::to_string(area.height) + " at (" +
               std::to_string(area.x) + ", " + std::to_string(area.y) + ") reaches outside the " +
               std::to_string(side) + " x " + std::to_string(side) + " image";
    return std::string();
}

AreaStats ComputeAreaStats(const CRawX10& raw, const ImageArea& area)
{
    const int64_t side = raw.MosaicSide();
    const int64_t w = raw.m_width;
    const int64_t h = raw.m_height;
    // Pixel (x, y) shows cell (y + 1, side - x) for x >= 1 and y <= side - 2.
    const CellRange cells = {area.y + 1, std::min(area.y + area.height, side - 1),
                             side - (area.x + area.width - 1), side - std::max<int64_t>(area.x, 1)};
    AreaStats stats;
    stats.area = area;
    stats.cells = std::max<int64_t>(0, cells.lastRow - cells.firstRow + 1) *
                  std::max<int64_t>(0, cells.lastColumn - cells.firstColumn + 1);
    const uint16_t* const fields[2] = {raw.m_field0.get(), raw.m_field1.get()};
    ColourValueCounts counts[2] = {EmptyColourValueCounts(), EmptyColourValueCounts()};
    const auto count = [&](int64_t field, int64_t y, int64_t x) {
        const auto colour = static_cast<size_t>(ColourOfFieldSample(static_cast<int32_t>(y), static_cast<int32_t>(x)));
        ++counts[field][colour][fields[field][y * w + x]];
    };
    // The sample of field f at (y, x) lies in row x + y + f, column
    // t = w + 2 - x + y while t < side (raw/RawX10.cpp, BuildMosaic). So in
    // field row y the cells of the range are those of one run of x, read in
    // order: rows give firstRow - y - f <= x <= lastRow - y - f, columns
    // w + 2 + y - lastColumn <= x <= w + 2 + y - firstColumn.
    const int64_t lastColumn = std::min(cells.lastColumn, side - 1);
    for (int64_t f = 0; f < 2; ++f)
        for (int64_t y = 0; y < h; ++y)
        {
            const int64_t firstX = std::max({int64_t{0}, cells.firstRow - y - f, w + 2 + y - lastColumn});
            const int64_t lastX = std::min({w - 1, cells.lastRow - y - f, w + 2 + y - cells.firstColumn});
            for (int64_t x = firstX; x <= lastX; ++x)
                count(f, y, x);
        }
    // The few whose column term reaches side run on into the next row.
    for (int64_t f = 0; f < 2; ++f)
        for (int64_t y = std::max<int64_t>(0, h - 2); y < h; ++y)
            for (int64_t x = 0; x < w && x <= y + 2 - h; ++x)
            {
                const int64_t element = (x + y + f) * side + (w + 2 - x + y);
                if (cells.Holds(element / side, element % side))
                    count(f, y, x);
            }
    for (int f = 0; f < 2; ++f)
    {
        stats.fields[f] = StatsOfColourValueCounts(counts[f]);
        for (const ColourStats& colour : stats.fields[f])
            stats.samples[f] += colour.count;
    }
    return stats;
}

std::vector<std::vector<std::string>> AreaRows(const CRawX10& raw, const AreaStats& stats)
{
    const ImageArea& a = stats.area;
    return {{"area", std::to_string(a.width) + " x " + std::to_string(a.height) + " pixels at (" +
                         std::to_string(a.x) + ", " + std::to_string(a.y) + ") of " +
                         EscapedForTerminal(OutputNameOf(raw.m_path, OutputImage::Demosaiced))},
            {"cells", std::to_string(stats.cells) + " shown, " + std::to_string(stats.samples[0]) +
                          " with a field 0 sample, " + std::to_string(stats.samples[1]) + " with a field 1 sample"}};
}

void AreaKeys(CJsonWriter& json, const AreaStats& stats)
{
    json.Key("area");
    json.BeginObject();
    json.Field("x", stats.area.x);
    json.Field("y", stats.area.y);
    json.Field("width", stats.area.width);
    json.Field("height", stats.area.height);
    json.Field("cells", stats.cells);
    json.Key("samples");
    json.BeginArray();
    json.Integer(stats.samples[0]);
    json.Integer(stats.samples[1]);
    json.EndArray();
    json.EndObject();
}
