#include "probe/AreaStats.h"

#include "platform/TerminalText.h"
#include "probe/AreaSamples.h"
#include "probe/JsonWriter.h"
#include "raw/Lattice.h"
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
    const SampleSelection selection = SamplesOfArea(raw.m_width, raw.m_height, &area);
    AreaStats stats;
    stats.area = area;
    stats.cells = selection.cells;
    const uint16_t* const fields[2] = {raw.m_field0.get(), raw.m_field1.get()};
    ColourValueCounts counts[2] = {EmptyColourValueCounts(), EmptyColourValueCounts()};
    for (const SampleRun& run : selection.runs)
    {
        const uint16_t* row = fields[run.field] + int64_t{run.y} * raw.m_width;
        for (int32_t x = run.first; x <= run.last; ++x)
            ++counts[run.field][static_cast<size_t>(ColourOfFieldSample(run.y, x))][row[x]];
    }
    for (int f = 0; f < 2; ++f)
    {
        stats.fields[f] = StatsOfColourValueCounts(counts[f]);
        stats.samples[f] = selection.samples[f];
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
