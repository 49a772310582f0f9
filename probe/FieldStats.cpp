#include "probe/FieldStats.h"

#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "probe/TextTable.h"
#include "raw/RawX10.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{

constexpr int32_t kBinValues = kSampleValues / kHistogramBins;

// How many samples of each value: counts[v].
using ValueCounts = std::vector<uint32_t>;

// The smallest value v with at least ceil(percent * count / 100) samples at
// or below it.
int32_t Percentile(const ValueCounts& counts, int64_t count, int64_t percent)
{
    const int64_t needed = (percent * count + 99) / 100;
    int64_t below = 0;
    for (int32_t v = 0; v < kSampleValues; ++v)
    {
        below += counts[static_cast<size_t>(v)];
        if (below >= needed)
            return v;
    }
    return kSampleValues - 1;
}

ColourStats StatsOfCounts(const ValueCounts& counts)
{
    ColourStats stats;
    int64_t sum = 0;
    bool any = false;
    for (int32_t v = 0; v < kSampleValues; ++v)
    {
        const int64_t n = counts[static_cast<size_t>(v)];
        if (n == 0)
            continue;
        if (!any)
            stats.min = v;
        any = true;
        stats.max = v;
        stats.count += n;
        sum += n * v;
        stats.histogram[static_cast<size_t>(v / kBinValues)] += n;
    }
    if (!any)
        return stats;
    stats.zeros = counts[0];
    stats.clipped = counts[kSampleValues - 1];
    stats.mean = static_cast<double>(sum) / static_cast<double>(stats.count);
    // The squared distances from the mean, value by value: no sum of squares
    // that could lose the small variance of a large mean.
    double squares = 0.0;
    for (int32_t v = stats.min; v <= stats.max; ++v)
    {
        const double d = v - stats.mean;
        squares += static_cast<double>(counts[static_cast<size_t>(v)]) * d * d;
    }
    stats.stddev = std::sqrt(squares / static_cast<double>(stats.count));
    stats.p1 = Percentile(counts, stats.count, 1);
    stats.p50 = Percentile(counts, stats.count, 50);
    stats.p99 = Percentile(counts, stats.count, 99);
    return stats;
}

std::string FormatFixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

ColourValueCounts EmptyColourValueCounts()
{
    return ColourValueCounts(3, ValueCounts(kSampleValues, 0));
}

FieldStats StatsOfColourValueCounts(const ColourValueCounts& counts)
{
    FieldStats stats;
    for (const CellColour colour : kCellColours)
        stats[static_cast<size_t>(colour)] = StatsOfCounts(counts[static_cast<size_t>(colour)]);
    return stats;
}

FieldStats ComputeFieldStats(const uint16_t* field, int32_t width, int32_t height)
{
    // A field row holds two colours that take turns, one at the even
    // samples and one at the odd ones; each is counted into its own table,
    // so that the two counts of a step do not wait for each other.
    ColourValueCounts counts = EmptyColourValueCounts();
    for (int32_t y = 0; y < height; ++y)
    {
        const uint16_t* row = field + static_cast<int64_t>(y) * width;
        uint32_t* even = counts[static_cast<size_t>(ColourOfFieldSample(y, 0))].data();
        uint32_t* odd = counts[static_cast<size_t>(ColourOfFieldSample(y, 1))].data();
        int32_t x = 0;
        for (; x + 1 < width; x += 2)
        {
            ++even[row[x]];
            ++odd[row[x + 1]];
        }
        if (x < width)
            ++even[row[x]];
    }
    return StatsOfColourValueCounts(counts);
}

std::string StatsTable(const CRawX10& raw, const FieldStats stats[2],
                       const std::vector<std::vector<std::string>>& moreRows)
{
    CTextTable file(2);
    file.AddRow({"file", EscapedForTerminal(raw.m_path)});
    file.AddRow({"size", std::to_string(raw.m_fileSize) + " bytes"});
    file.AddRow({"header bytes", std::to_string(raw.m_fileSize - CRawX10::kTailBytes)});
    for (const std::vector<std::string>& row : moreRows)
        file.AddRow(row);

    CTextTable figures(2);
    figures.AddRow({"field", "colour", "count", "min", "max", "mean", "stddev", "zeros", "clipped", "p1", "p50", "p99"});
    CTextTable histogram;
    std::vector<std::string> heading = {"values"};
    for (int f = 0; f < 2; ++f)
        for (const CellColour colour : kCellColours)
        {
            const ColourStats& s = stats[f][static_cast<size_t>(colour)];
            figures.AddRow({std::to_string(f), NameOfColour(colour), std::to_string(s.count), std::to_string(s.min),
                            std::to_string(s.max), FormatFixed(s.mean, 3), FormatFixed(s.stddev, 3),
                            std::to_string(s.zeros), std::to_string(s.clipped), std::to_string(s.p1),
                            std::to_string(s.p50), std::to_string(s.p99)});
            heading.push_back(std::string("f").append(std::to_string(f)).append(" ").append(NameOfColour(colour)));
        }
    histogram.AddRow(heading);
    for (int32_t bin = 0; bin < kHistogramBins; ++bin)
    {
        std::vector<std::string> row = {std::to_string(bin * kBinValues) + "-" +
                                        std::to_string(bin * kBinValues + kBinValues - 1)};
        for (int f = 0; f < 2; ++f)
            for (const CellColour colour : kCellColours)
                row.push_back(std::to_string(stats[f][static_cast<size_t>(colour)].histogram[static_cast<size_t>(bin)]));
        histogram.AddRow(row);
    }
    std::string text = file.Render();
    text += "\n";
    text += figures.Render();
    text += "\nsamples by value range\n";
    text += histogram.Render();
    return text;
}

std::string StatsJson(const CRawX10& raw, const FieldStats stats[2],
                      const std::function<void(CJsonWriter& json)>& moreKeys)
{
    CJsonWriter json;
    json.BeginObject();
    json.Field("size", raw.m_fileSize);
    json.Field("header_bytes", raw.m_fileSize - CRawX10::kTailBytes);
    if (moreKeys)
        moreKeys(json);
    json.Key("fields");
    json.BeginArray();
    for (int f = 0; f < 2; ++f)
    {
        json.BeginObject();
        json.Field("field", f);
        json.Key("colours");
        json.BeginObject();
        for (const CellColour colour : kCellColours)
        {
            const ColourStats& s = stats[f][static_cast<size_t>(colour)];
            json.Key(NameOfColour(colour));
            json.BeginObject();
            json.Field("count", s.count);
            json.Field("min", s.min);
            json.Field("max", s.max);
            json.Key("mean");
            json.Fixed(s.mean, 6);
            json.Key("stddev");
            json.Fixed(s.stddev, 6);
            json.Field("zeros", s.zeros);
            json.Field("clipped", s.clipped);
            json.Field("p1", s.p1);
            json.Field("p50", s.p50);
            json.Field("p99", s.p99);
            json.Key("histogram");
            json.BeginArray();
            for (const int64_t n : s.histogram)
                json.Integer(n);
            json.EndArray();
            json.EndObject();
        }
        json.EndObject();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text() + "\n";
}
