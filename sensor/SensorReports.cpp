#include "sensor/SensorReports.h"

#include "probe/JsonWriter.h"
#include "probe/TextTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <tuple>

namespace
{

// A figure in JSON: the shortest decimal that reads back as it, null when
// it has no value.
void Figure(CJsonWriter& json, const char* key, double value)
{
    json.Key(key);
    if (std::isfinite(value))
        json.Decimal(value);
    else
        json.Null();
}

// A figure in a table (%.6g, "-" when it has no value) or in CSV (as in
// JSON, empty when it has no value).
std::string Text(double value, ReportForm form)
{
    if (!std::isfinite(value))
        return form == ReportForm::Csv ? "" : "-";
    if (form == ReportForm::Csv)
        return ShortestDecimal(value);
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string CsvLine(const std::vector<std::string>& cells)
{
    std::string line;
    for (const std::string& cell : cells)
        line += (line.empty() ? "" : ",") + cell;
    return line + "\n";
}

// The JSON object of every report: the area, then extra top-level keys,
// then "fields" with each channel's object, then what follows it.
std::string JsonReport(const AnalysedSamples& samples, const std::function<void(CJsonWriter&)>& before,
                       const std::function<void(CJsonWriter&, int channel)>& channel,
                       const std::function<void(CJsonWriter&)>& after, int fields = 2)
{
    CJsonWriter json;
    json.BeginObject();
    if (samples.area != nullptr)
    {
        AreaStats area;
        area.area = *samples.area;
        area.cells = samples.selection->cells;
        area.samples[0] = samples.selection->samples[0];
        area.samples[1] = samples.selection->samples[1];
        AreaKeys(json, area);
    }
    if (before)
        before(json);
    json.Key("fields");
    json.BeginArray();
    for (int f = 0; f < fields; ++f)
    {
        json.BeginObject();
        json.Field("field", f);
        json.Key("colours");
        json.BeginObject();
        for (const CellColour colour : kCellColours)
        {
            json.Key(NameOfColour(colour));
            json.BeginObject();
            channel(json, ChannelOf(f, colour));
            json.EndObject();
        }
        json.EndObject();
        json.EndObject();
    }
    json.EndArray();
    if (after)
        after(json);
    json.EndObject();
    return json.Text() + "\n";
}

// The table of every report: a title line, the area's line, then the rows.
std::string TableReport(const char* title, const AnalysedSamples& samples, CTextTable& table)
{
    std::string text = std::string(title) + "\n";
    if (samples.area != nullptr)
    {
        const ImageArea& a = *samples.area;
        text += "area: " + std::to_string(a.width) + " x " + std::to_string(a.height) + " pixels at (" +
                std::to_string(a.x) + ", " + std::to_string(a.y) + "), " + std::to_string(samples.selection->cells) +
                " cells\n";
    }
    return text + "\n" + table.Render();
}

// "(a, b)", built by appending (GCC 12 warns falsely of overlapping copies
// in a literal + string chain).
std::string Bracketed(const std::string& a, const std::string& b)
{
    std::string text = "(";
    text.append(a).append(", ").append(b).append(")");
    return text;
}

std::vector<std::string> ChannelCells(int channel)
{
    return {std::to_string(FieldOfChannel(channel)), NameOfColour(ColourOfChannel(channel))};
}

}  // namespace

void DefectKeys(CJsonWriter& json, const Defect& d)
{
    json.Field("kind", std::string(NameOfDefectKind(d.kind)));
    json.Field("field", d.field);
    json.Field("row", d.y);
    json.Field("column", d.x);
    json.Field("cell_row", d.cell.r);
    json.Field("cell_column", d.cell.c);
    json.Key("x");
    d.shown ? json.Integer(d.pixel.x) : json.Null();
    json.Key("y");
    d.shown ? json.Integer(d.pixel.y) : json.Null();
    Figure(json, "mean", d.mean);
    Figure(json, "excess", d.excess);
}

std::string PairReport(const ChannelPairFigures& figures, const AnalysedSamples& samples, ReportForm form)
{
    if (form == ReportForm::Json)
        return JsonReport(
            samples, {},
            [&](CJsonWriter& json, int channel) {
                const PairFigures& f = figures[static_cast<size_t>(channel)];
                json.Field("count", f.count);
                Figure(json, "mean", f.mean);
                Figure(json, "temporal_variance", f.temporalVariance);
                Figure(json, "temporal_noise", f.TemporalNoise());
            },
            {});
    CTextTable table(2);
    const std::vector<std::string> heading = {"field", "colour", "count", "mean", "temporal_variance", "temporal_noise"};
    std::string csv = CsvLine(heading);
    table.AddRow(heading);
    for (int channel = 0; channel < kChannels; ++channel)
    {
        const PairFigures& f = figures[static_cast<size_t>(channel)];
        std::vector<std::string> row = ChannelCells(channel);
        row.insert(row.end(), {std::to_string(f.count), Text(f.mean, form), Text(f.temporalVariance, form),
                               Text(f.TemporalNoise(), form)});
        csv += CsvLine(row);
        table.AddRow(row);
    }
    return form == ReportForm::Csv ? csv : TableReport("temporal noise of the pair, DN", samples, table);
}

std::string FieldsReport(const ColourFieldPairFigures& figures, const AnalysedSamples& samples, ReportForm form)
{
    if (form == ReportForm::Json)
    {
        // One object per colour, under field 0, whose samples the pairs start from.
        return JsonReport(
            samples, {},
            [&](CJsonWriter& json, int channel) {
                const FieldPairFigures& f = figures[static_cast<size_t>(channel)];
                json.Field("count", f.count);
                Figure(json, "mean0", f.mean0);
                Figure(json, "mean1", f.mean1);
                Figure(json, "ev", f.ev);
                Figure(json, "correlation", f.correlation);
            },
            {}, 1);
    }
    CTextTable table(1);
    const std::vector<std::string> heading = {"colour", "pairs", "mean0", "mean1", "ev", "correlation"};
    std::string csv = CsvLine(heading);
    table.AddRow(heading);
    for (const CellColour colour : kCellColours)
    {
        const FieldPairFigures& f = figures[static_cast<size_t>(colour)];
        const std::vector<std::string> row = {NameOfColour(colour), std::to_string(f.count), Text(f.mean0, form),
                                              Text(f.mean1, form),  Text(f.ev, form),        Text(f.correlation, form)};
        csv += CsvLine(row);
        table.AddRow(row);
    }
    return form == ReportForm::Csv
               ? csv
               : TableReport("the two fields, co-sited samples (field 1 one cell south of field 0)", samples, table);
}

std::string PtcReport(const std::array<PtcFigures, kChannels>& figures, const AnalysedSamples& samples,
                      ReportForm form)
{
    if (form == ReportForm::Json)
        return JsonReport(
            samples, {},
            [&](CJsonWriter& json, int channel) {
                const PtcFigures& f = figures[static_cast<size_t>(channel)];
                json.Key("points");
                json.BeginArray();
                for (const PtcPoint& p : f.points)
                {
                    json.BeginObject();
                    Figure(json, "exposure", p.exposure);
                    Figure(json, "mean", p.mean);
                    Figure(json, "variance", p.variance);
                    json.Key("fitted");
                    json.Boolean(p.fitted);
                    json.EndObject();
                }
                json.EndArray();
                const bool fitted = f.fitted;
                const double none = std::nan("");
                Figure(json, "gain", fitted ? f.gain : none);
                Figure(json, "intercept", fitted ? f.intercept : none);
                Figure(json, "r2", fitted ? f.r2 : none);
                Figure(json, "saturation_dn", f.saturationDn);
                Figure(json, "dark_noise_e", fitted ? f.darkNoiseE : none);
                Figure(json, "saturation_e", fitted ? f.saturationE : none);
                Figure(json, "snr_max", fitted ? f.snrMax : none);
                json.Key("dynamic_range");
                json.BeginObject();
                Figure(json, "ratio", fitted ? f.dynamicRange : none);
                Figure(json, "db", fitted ? f.DynamicRangeDb() : none);
                Figure(json, "stops", fitted ? f.DynamicRangeStops() : none);
                json.EndObject();
            },
            {});
    if (form == ReportForm::Csv)
    {
        std::string csv = CsvLine({"field", "colour", "exposure", "mean", "variance", "fitted"});
        for (int channel = 0; channel < kChannels; ++channel)
            for (const PtcPoint& p : figures[static_cast<size_t>(channel)].points)
            {
                std::vector<std::string> row = ChannelCells(channel);
                row.insert(row.end(), {Text(p.exposure, form), Text(p.mean, form), Text(p.variance, form),
                                       p.fitted ? "1" : "0"});
                csv += CsvLine(row);
            }
        return csv;
    }
    CTextTable points(2);
    std::vector<std::string> heading = {"field", "colour"};
    for (const PtcPoint& p : figures[0].points)
        heading.push_back(std::isfinite(p.exposure) ? Text(p.exposure, form) + " s" : "?");
    points.AddRow(heading);
    CTextTable fit(2);
    fit.AddRow({"field", "colour", "gain DN/e", "intercept", "r2", "sat DN", "dark noise e", "sat e", "SNR max",
                "DR dB", "DR stops"});
    for (int channel = 0; channel < kChannels; ++channel)
    {
        const PtcFigures& f = figures[static_cast<size_t>(channel)];
        std::vector<std::string> row = ChannelCells(channel);
        for (const PtcPoint& p : f.points)
            row.push_back(Text(p.mean, form) + " / " + Text(p.variance, form) + (p.fitted ? "" : " *"));
        points.AddRow(row);
        std::vector<std::string> figureRow = ChannelCells(channel);
        const auto shown = [&](double value) { return Text(f.fitted ? value : std::nan(""), form); };
        figureRow.insert(figureRow.end(),
                         {shown(f.gain), shown(f.intercept), shown(f.r2), Text(f.saturationDn, form),
                          shown(f.darkNoiseE), shown(f.saturationE), shown(f.snrMax), shown(f.DynamicRangeDb()),
                          shown(f.DynamicRangeStops())});
        fit.AddRow(figureRow);
    }
    return TableReport("photon transfer: mean / variance above the dark pair, DN and DN^2, by exposure "
                       "(* outside the fit)",
                       samples, points) +
           "\n" + fit.Render();
}

std::string DefectsReport(const DefectsInput& input, const AnalysedSamples& samples, ReportForm form)
{
    const StackFigures& main = input.flats != nullptr ? *input.flats : *input.darks;
    const bool flats = input.flats != nullptr;
    // The defects of both stacks, in field, row, column order.
    std::vector<Defect> defects = main.defects;
    int64_t count = main.defectCount;
    if (flats && input.darks != nullptr)
    {
        defects.insert(defects.end(), input.darks->defects.begin(), input.darks->defects.end());
        count += input.darks->defectCount;
        std::stable_sort(defects.begin(), defects.end(), [](const Defect& a, const Defect& b) {
            return std::tie(a.field, a.y, a.x) < std::tie(b.field, b.y, b.x);
        });
        if (static_cast<int64_t>(defects.size()) > kMaxListedDefects)
            defects.resize(static_cast<size_t>(kMaxListedDefects));
    }
    const StackChannelFigures none;
    const auto darkOf = [&](int channel) -> const StackChannelFigures& {
        return input.darks != nullptr ? input.darks->channels[static_cast<size_t>(channel)] : none;
    };
    const auto unevenness = [&](int channel) {
        const StackChannelFigures& f = main.channels[static_cast<size_t>(channel)];
        return flats ? PrnuPercentOf(f, darkOf(channel)) : DsnuOf(f, input.gain);
    };
    const char* unevennessKey = flats ? "prnu_percent" : "dsnu";
    const auto pixelCell = [](const Defect& d, bool y) -> std::string {
        return d.shown ? std::to_string(y ? d.pixel.y : d.pixel.x) : "";
    };
    if (form == ReportForm::Json)
        return JsonReport(
            samples,
            [&](CJsonWriter& json) {
                json.Field("kind", std::string(flats ? "flats" : "darks"));
                json.Field("frames", main.frames);
                if (flats)
                    json.Field("dark_frames", input.darks != nullptr ? input.darks->frames : 0);
                Figure(json, "gain", input.gain > 0 ? input.gain : std::nan(""));
            },
            [&](CJsonWriter& json, int channel) {
                const StackChannelFigures& f = main.channels[static_cast<size_t>(channel)];
                json.Field("count", f.count);
                Figure(json, "mean", f.mean);
                Figure(json, "level", f.level);
                Figure(json, "spread", f.spread);
                Figure(json, unevennessKey, unevenness(channel));
                Figure(json, "temporal_variance", f.temporalVariance);
                Figure(json, "spatial_variance", f.spatialVariance);
            },
            [&](CJsonWriter& json) {
                json.Field("defect_count", count);
                json.Key("defects");
                json.BeginArray();
                for (const Defect& d : defects)
                {
                    json.BeginObject();
                    DefectKeys(json, d);
                    json.EndObject();
                }
                json.EndArray();
            });
    const std::vector<std::string> heading = {"kind", "field", "row", "column", "cell_row",
                                              "cell_column", "x", "y", "mean", "excess"};
    if (form == ReportForm::Csv)
    {
        std::string csv = CsvLine(heading);
        for (const Defect& d : defects)
            csv += CsvLine({NameOfDefectKind(d.kind), std::to_string(d.field), std::to_string(d.y),
                            std::to_string(d.x), std::to_string(d.cell.r), std::to_string(d.cell.c),
                            pixelCell(d, false), pixelCell(d, true), Text(d.mean, form), Text(d.excess, form)});
        return csv;
    }
    CTextTable channels(2);
    channels.AddRow({"field", "colour", "count", "mean", "level", "spread",
                     flats ? "PRNU %" : (input.gain > 0 ? "DSNU e" : "DSNU DN"), "temporal var", "spatial var"});
    for (int channel = 0; channel < kChannels; ++channel)
    {
        const StackChannelFigures& f = main.channels[static_cast<size_t>(channel)];
        std::vector<std::string> row = ChannelCells(channel);
        row.insert(row.end(), {std::to_string(f.count), Text(f.mean, form), Text(f.level, form), Text(f.spread, form),
                               Text(unevenness(channel), form), Text(f.temporalVariance, form),
                               Text(f.spatialVariance, form)});
        channels.AddRow(row);
    }
    CTextTable list(1);
    list.AddRow({"kind", "field", "row", "column", "cell", "pixel", "mean", "excess"});
    for (const Defect& d : defects)
        list.AddRow({NameOfDefectKind(d.kind), std::to_string(d.field), std::to_string(d.y), std::to_string(d.x),
                     Bracketed(std::to_string(d.cell.r), std::to_string(d.cell.c)),
                     d.shown ? Bracketed(pixelCell(d, false), pixelCell(d, true)) : "-", Text(d.mean, form),
                     Text(d.excess, form)});
    std::string title = flats ? "flats: " : "darks: ";
    title.append(std::to_string(main.frames)).append(" frames");
    if (flats && input.darks != nullptr)
        title.append(", darks: ").append(std::to_string(input.darks->frames)).append(" frames");
    std::string text = TableReport(title.c_str(), samples, channels);
    text.append("\n").append(std::to_string(count)).append(" defects");
    if (count > static_cast<int64_t>(defects.size()))
        text.append(", the first ").append(std::to_string(defects.size())).append(" listed");
    text.append("\n");
    if (!defects.empty())
        text += list.Render();
    return text;
}
