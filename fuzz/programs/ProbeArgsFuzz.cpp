// diagraw-probe's command line, any arguments: what it accepts means what
// it says (the numbers as written, --json where given), and an area it
// accepts lies inside the image, with as many cells and samples as a count
// pixel by pixel finds.
#include "FuzzSupport.h"

#include "programs/ProbeArguments.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{

// -?[0-9]+ with value as its number, or 2^31 - 1 with its sign when it is
// that far or farther.
bool Written(const std::string& text, int32_t value)
{
    const size_t sign = text.rfind('-', 0) == 0 ? 1 : 0;
    if (text.size() == sign || text.find_first_not_of("0123456789", sign) != std::string::npos)
        return false;
    const std::string magnitude = text.substr(std::min(text.find_first_not_of('0', sign), text.size() - 1));
    if (magnitude.size() > 10 || (magnitude.size() == 10 && magnitude >= "2147483647"))
        return value == (sign == 1 ? -INT32_MAX : INT32_MAX);
    return std::to_string(std::abs(int64_t{value})) == magnitude && (value < 0) == (sign == 1 && magnitude != "0");
}

// Fields of the full size whose samples say which field they come from.
const CRawX10& MarkedFields()
{
    static const auto raw = [] {
        auto made = std::make_unique<CRawX10>(1);
        const auto samples = static_cast<size_t>(made->m_width) * static_cast<size_t>(made->m_height);
        made->m_field0 = std::make_unique<uint16_t[]>(samples);
        made->m_field1 = std::make_unique<uint16_t[]>(samples);
        std::fill_n(made->m_field0.get(), samples, uint16_t{1});
        std::fill_n(made->m_field1.get(), samples, uint16_t{2});
        return made;
    }();
    return *raw;
}

void CheckArea(const ImageArea& area)
{
    const CRawX10& raw = MarkedFields();
    const int64_t side = raw.MosaicSide();
    const bool inside = area.width > 0 && area.height > 0 && area.x >= 0 && area.y >= 0 &&
                        area.x + area.width <= side && area.y + area.height <= side;
    Require((CheckArea(area, static_cast<int32_t>(side)) == kStatusOk) == inside, "accepted exactly when inside");
    if (!inside)
        return;
    const AreaStats stats = ComputeAreaStats(raw, area);
    // Pixel (x, y) shows cell (y + 1, side - x), for x >= 1 and y + 1 < side.
    const int64_t columns = area.x + area.width - std::max<int64_t>(area.x, 1);
    const int64_t rows = std::min(area.y + area.height, side - 1) - area.y;
    Require(stats.cells == std::max<int64_t>(rows, 0) * columns, "the cells counted by hand");
    Require(stats.samples[0] + stats.samples[1] <= stats.cells, "at most one sample a cell");
    if (area.height > 16)
        return;
    int64_t samples[3] = {};
    std::vector<uint16_t> row(static_cast<size_t>(side));
    for (int64_t y = area.y; y < area.y + rows; ++y)
    {
        FillMosaicRows(raw.Samples(), static_cast<int32_t>(y + 1), 1, row.data());
        for (int64_t x = std::max<int64_t>(area.x, 1); x < area.x + area.width; ++x)
            ++samples[row[static_cast<size_t>(side - x)]];
    }
    Require(stats.samples[0] == samples[1] && stats.samples[1] == samples[2], "the samples counted by hand");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Arguments in = ArgumentsOf(data, size, "diagraw-probe");
    const std::vector<std::string>& args = in.arguments;
    if (RequestOf(in.Count(), in.argv.data()) != Request::Run)
    {
        Require(args.size() == 2 && (args[1] == "--help" || args[1] == "-h" || args[1] == "--version"), "asked for");
        return 0;
    }
    const ProbeArguments parsed = ParseProbeArguments(in.Count(), in.argv.data());
    if (parsed.problem.Found())
        return 0;
    const auto given = [&](const char* argument) {
        return std::find(args.begin() + 2, args.end(), argument) != args.end();
    };
    const bool frames = parsed.command == ProbeCommand::Pair || parsed.command == ProbeCommand::Ptc;
    if (frames)
        Require(parsed.frames.size() == 2 || (parsed.command == ProbeCommand::Ptc && parsed.frames.size() % 2 == 0),
                "frames in pairs");
    else if (parsed.command == ProbeCommand::Defects)
        Require(!parsed.darks.empty() || !parsed.flats.empty(), "a stack");
    else
        Require(parsed.file != nullptr && given(parsed.file), "the file one of the arguments");
    for (const std::vector<const char*>* list : {&parsed.frames, &parsed.darks, &parsed.flats})
        for (const char* frame : *list)
            Require(given(frame), "every frame one of the arguments");
    // --dark takes its two names whatever they look like, "--json" too.
    Require(!parsed.json || given("--json"), "--json as given");
    Require(!(parsed.json && parsed.csv), "one form");
    Require(parsed.sigma > 0 && parsed.deadBelow > 0 && parsed.deadBelow < 1 && parsed.gain >= 0, "thresholds in range");
    Require(!parsed.hasArea || (parsed.command != ProbeCommand::Info && parsed.command != ProbeCommand::Cell),
            "an area for the commands that take one");
    if (parsed.hasArea)
        CheckArea(parsed.area);
    if (parsed.command == ProbeCommand::Cell)
    {
        Require(Written(parsed.xText, parsed.x) && Written(parsed.yText, parsed.y), "the pixel as written");
    }
    return 0;
}
