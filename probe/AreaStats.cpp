#include "probe/AreaStats.h"

#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "raw/Lattice.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <algorithm>

Status CheckArea(const ImageArea& area, int32_t side)
{
    if (area.width <= 0 || area.height <= 0)
        return kStatusAreaEmpty;
    if (area.x < 0 || area.y < 0 || area.width > side - area.x || area.height > side - area.y)
        return kStatusAreaOutsideImage;
    return kStatusOk;
}

std::string DescribeAreaProblem(Status status, const ImageArea& area, int32_t side)
{
    const std::string size = "the area " + std::to_string(area.width) + " x " + std::to_string(area.height);
    if (status == kStatusAreaEmpty)
        return size + " is empty";
    return size + " at (" + std::to_string(area.x) + ", " + std::to_string(area.y) + ") reaches outside the " +
           std::to_string(side) + " x " + std::to_string(side) + " image";
}

AreaStats ComputeAreaStats(const CRawX10& raw, const ImageArea& area)
{
    const int32_t side = raw.MosaicSide();
    const int32_t w = raw.m_width;
    const int32_t h = raw.m_height;
    // The area's pixels that show a cell: from column 1 and down to the row
    // above the bottom one (raw/Placement.h).
    const auto left = static_cast<int32_t>(std::max<int64_t>(area.x, 1));
    const auto right = static_cast<int32_t>(area.x + area.width - 1);
    const auto top = static_cast<int32_t>(area.y);
    const auto bottom = static_cast<int32_t>(std::min<int64_t>(area.y + area.height - 1, side - 2));
    const MosaicCell northEast = CellOfPixel(side, left, top);
    const MosaicCell southWest = CellOfPixel(side, right, bottom);
    const CellBox cells = {northEast.r, southWest.r, southWest.c, northEast.c};
    AreaStats stats;
    stats.area = area;
    stats.cells = std::max<int64_t>(0, cells.lastRow - cells.firstRow + 1) *
                  std::max<int64_t>(0, cells.lastColumn - cells.firstColumn + 1);
    const uint16_t* const fields[2] = {raw.m_field0.get(), raw.m_field1.get()};
    ColourValueCounts counts[2] = {EmptyColourValueCounts(), EmptyColourValueCounts()};
    const auto count = [&](int32_t field, int32_t y, int32_t x) {
        const auto colour = static_cast<size_t>(ColourOfFieldSample(y, x));
        ++counts[field][colour][fields[field][int64_t{y} * w + x]];
    };
    // In field row y the regular cells of the range are one run of x, read
    // in order; the few wrapped ones are looked up one by one.
    for (int32_t f = 0; f < 2; ++f)
        for (int32_t y = 0; y < h; ++y)
        {
            const FieldRun run = RunOfFieldRow(w, h, f, y, cells);
            for (int32_t x = run.first; x <= run.last; ++x)
                count(f, y, x);
        }
    for (int32_t f = 0; f < 2; ++f)
        for (int32_t y = FirstWrappingRow(h); y < h; ++y)
            for (int32_t x = 0; x <= WrappedRunOf(w, h, y).last; ++x)
            {
                const MosaicCell cell = CellOfSample(w, h, f, y, x);
                if (cell.r >= cells.firstRow && cell.r <= cells.lastRow && cell.c >= cells.firstColumn &&
                    cell.c <= cells.lastColumn)
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
