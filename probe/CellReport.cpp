#include "probe/CellReport.h"

#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "probe/TextTable.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <vector>

namespace
{

bool InWindow(int32_t side, int32_t r, int32_t c)
{
    const int32_t last = side - 1 - kWindowMargin;
    return r >= kWindowMargin && r <= last && c >= kWindowMargin && c <= last;
}

// The pass scales the even columns of its window and nothing else.
bool PassScales(int32_t side, int32_t r, int32_t c)
{
    return InWindow(side, r, c) && c % 2 == 0;
}

std::string CellName(int32_t r, int32_t c)
{
    return "cell (" + std::to_string(r) + ", " + std::to_string(c) + ")";
}

}  // namespace

PixelExplanation ExplainPixel(const SampleView& samples, int32_t x, int32_t y)
{
    const int32_t side = samples.Side();
    PixelExplanation e;
    e.x = x;
    e.y = y;
    e.showsCell = PixelShowsCell(side, x, y);
    if (!e.showsCell)
    {
        e.reason = x == 0 ? "column 0 of the image shows no cell" : "the bottom row of the image shows no cell";
        return e;
    }
    const MosaicCell cell = CellOfPixel(side, x, y);
    e.r = cell.r;
    e.c = cell.c;
    // Every cell is read from the field sample it holds (0 when it holds
    // none), as the loader lays the mosaic out.
    const auto sampleOf = [&](int32_t r, int32_t c) -> uint16_t {
        const FieldSource source = FieldSourceOfCell(samples.width, samples.height, r, c);
        return source.holdsSample
                   ? samples.fields[source.field][static_cast<int64_t>(source.y) * samples.width + source.x]
                   : uint16_t{0};
    };
    e.source = FieldSourceOfCell(samples.width, samples.height, e.r, e.c);
    e.rawSample = sampleOf(e.r, e.c);
    e.balancedSample = PassScales(side, e.r, e.c) ? WhiteBalancedSample(static_cast<uint16_t>(e.rawSample), e.r)
                                                   : e.rawSample;
    e.demosaiced = InWindow(side, e.r, e.c);
    if (!e.demosaiced)
    {
        e.reason = CellName(e.r, e.c) + " lies outside the demosaiced window, rows and columns " +
                   std::to_string(kWindowMargin) + " to " + std::to_string(side - 1 - kWindowMargin);
        return e;
    }
    // The rules of one cell read its 5 x 5 neighbourhood alone, white-balanced
    // as the pass balances it.
    uint16_t patch[5][5];
    for (int32_t dy = -2; dy <= 2; ++dy)
        for (int32_t dx = -2; dx <= 2; ++dx)
        {
            const int32_t r = e.r + dy;
            const int32_t c = e.c + dx;
            uint16_t sample = sampleOf(r, c);
            if (PassScales(side, r, c))
                sample = WhiteBalancedSample(sample, r);
            patch[dy + 2][dx + 2] = sample;
            e.neighbourhood[dy + 2][dx + 2] = sample;
        }
    e.rules = InterpolateNeighbourhood(&patch[2][2], 5, e.r, e.c);
    for (int i = 0; i < 3; ++i)
        e.pixel[i] = e.rules.pixel[i];
    return e;
}

std::string PixelOutsideImage(const std::string& x, const std::string& y, int32_t side)
{
    return "pixel (" + x + ", " + y + ") lies outside the " + std::to_string(side) + " x " + std::to_string(side) +
           " image";
}

std::string PixelTable(const CRawX10& raw, const PixelExplanation& e)
{
    const std::string image = EscapedForTerminal(OutputNameOf(raw.m_path, OutputImage::Demosaiced));
    CTextTable head(2);
    head.AddRow({"pixel", std::string("(") + std::to_string(e.x) + ", " + std::to_string(e.y) + ") of " + image});
    if (e.showsCell)
    {
        head.AddRow({"cell", "row " + std::to_string(e.r) + ", column " + std::to_string(e.c)});
        head.AddRow({"site class", NameOfSiteClass(SiteClassOfCell(e.r, e.c))});
        head.AddRow({"colour", NameOfColour(ColourOfCell(e.r, e.c))});
        head.AddRow({"sample", e.source.holdsSample ? "field " + std::to_string(e.source.field) + ", row " +
                                                          std::to_string(e.source.y) + ", column " +
                                                          std::to_string(e.source.x)
                                                    : std::string("none: no field sample lands in this cell")});
        head.AddRow({"raw", std::to_string(e.rawSample)});
        head.AddRow({"white-balanced", std::to_string(e.balancedSample)});
    }
    const std::string pixel = "blue " + std::to_string(e.pixel[0]) + ", green " + std::to_string(e.pixel[1]) +
                              ", red " + std::to_string(e.pixel[2]);
    if (!e.demosaiced)
    {
        head.AddRow({"demosaiced", "no: " + e.reason});
        head.AddRow({"pixel", pixel});
        return head.Render();
    }

    CTextTable neighbourhood;
    std::vector<std::string> columns = {"row \\ column"};
    for (int32_t dx = -2; dx <= 2; ++dx)
        columns.push_back(std::to_string(e.c + dx));
    neighbourhood.AddRow(columns);
    for (int32_t dy = -2; dy <= 2; ++dy)
    {
        std::vector<std::string> row = {std::to_string(e.r + dy)};
        for (int32_t dx = -2; dx <= 2; ++dx)
            row.push_back(std::to_string(e.neighbourhood[dy + 2][dx + 2]));
        neighbourhood.AddRow(row);
    }

    const CellInterpolation& rules = e.rules;
    CTextTable directions;
    std::vector<std::string> names = {"direction"};
    std::vector<std::string> gradients = {"gradient"};
    std::vector<std::string> usable = {"usable"};
    for (int k = 0; k < kDirectionCount; ++k)
    {
        names.push_back(NameOfDirection(k));
        gradients.push_back(std::to_string(rules.gradients[k]));
        usable.push_back(rules.thresholded[k] >= 0 ? "yes" : "no");
    }
    directions.AddRow(names);
    directions.AddRow(gradients);
    directions.AddRow(usable);

    CTextTable estimates;
    std::vector<std::string> colours = {"colour"};
    std::vector<std::string> values = {"estimate"};
    for (const CellColour colour : kCellColours)
    {
        colours.push_back(NameOfColour(colour));
        values.push_back(std::to_string(SumOfColour(rules, colour)));
    }
    estimates.AddRow(colours);
    estimates.AddRow(values);

    CTextTable tail(2);
    tail.AddRow({"threshold", std::to_string(rules.threshold) + ", a direction is usable below it"});
    tail.AddRow({"count", std::to_string(rules.count)});
    tail.AddRow({"pixel", pixel});

    std::string text = head.Render();
    text += "\nneighbourhood after white balance (north up; the image shows it mirrored)\n";
    text += neighbourhood.Render();
    text += "\n";
    text += directions.Render();
    text += "\nsums over the usable directions\n";
    text += estimates.Render();
    text += "\n";
    text += tail.Render();
    return text;
}

std::string PixelJson(const PixelExplanation& e)
{
    CJsonWriter json;
    json.BeginObject();
    json.Field("x", e.x);
    json.Field("y", e.y);
    if (e.showsCell)
    {
        json.Field("row", e.r);
        json.Field("column", e.c);
        json.Field("site_class", NameOfSiteClass(SiteClassOfCell(e.r, e.c)));
        json.Field("colour", NameOfColour(ColourOfCell(e.r, e.c)));
        const char* const sourceKeys[] = {"field", "field_row", "field_column"};
        const int32_t sourceValues[] = {e.source.field, e.source.y, e.source.x};
        for (int i = 0; i < 3; ++i)
        {
            json.Key(sourceKeys[i]);
            if (e.source.holdsSample)
                json.Integer(sourceValues[i]);
            else
                json.Null();
        }
        json.Field("raw", e.rawSample);
        json.Field("white_balanced", e.balancedSample);
    }
    json.Key("demosaiced");
    json.Boolean(e.demosaiced);
    if (!e.demosaiced)
        json.Field("reason", e.reason);
    else
    {
        const CellInterpolation& rules = e.rules;
        json.Key("neighbourhood");
        json.BeginArray();
        for (const auto& row : e.neighbourhood)
        {
            json.BeginArray();
            for (const int32_t sample : row)
                json.Integer(sample);
            json.EndArray();
        }
        json.EndArray();
        json.Key("gradients");
        json.BeginObject();
        for (int k = 0; k < kDirectionCount; ++k)
            json.Field(NameOfDirection(k), rules.gradients[k]);
        json.EndObject();
        json.Field("threshold", rules.threshold);
        json.Key("usable");
        json.BeginArray();
        for (int k = 0; k < kDirectionCount; ++k)
            if (rules.thresholded[k] >= 0)
                json.String(NameOfDirection(k));
        json.EndArray();
        json.Key("estimates");
        json.BeginObject();
        for (const CellColour colour : kCellColours)
            json.Field(NameOfColour(colour), SumOfColour(rules, colour));
        json.EndObject();
        json.Field("count", rules.count);
    }
    json.Key("pixel");
    json.BeginObject();
    json.Field("blue", e.pixel[0]);
    json.Field("green", e.pixel[1]);
    json.Field("red", e.pixel[2]);
    json.EndObject();
    json.EndObject();
    return json.Text() + "\n";
}
