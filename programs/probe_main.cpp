// diagraw-probe: the numbers behind diagraw's images, printed; no file is
// written.
//
//   info FILE [--json]      what the file is: size, signature, RAF header
//   stats FILE [--area X Y W H] [--json]
//                           the samples of each field and filter colour, of
//                           all the file or of the cells an area shows
//   cell FILE X Y [--json]  why pixel (X, Y) of FILE.bmp has its colour
//
// FILE is read as diagraw reads it; info reads its header instead. Exit
// status: 0 on success (whatever info finds the file to be); 1 when the file
// cannot be read, X or Y or the area lies outside the image, memory runs out
// or the output cannot be written, with one line on standard error; 2 for a
// wrong command line, also with one line.
#include "probe/AreaStats.h"
#include "probe/CellReport.h"
#include "probe/FieldStats.h"
#include "probe/FileInfo.h"
#include "probe/Messages.h"
#include "raw/InputFailure.h"
#include "programs/ProbeArguments.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace
{

constexpr const char* kProgram = "diagraw-probe";

constexpr const char* kHelp =
    "Usage:\n"
    "  diagraw-probe info FILE [--json]\n"
    "  diagraw-probe stats FILE.raf [--area X Y W H] [--json]\n"
    "  diagraw-probe cell FILE.raf X Y [--json]\n"
    "  diagraw-probe --help | --version\n"
    "\n"
    "info   the size, the bytes before the tail, the signature and, for a RAF,\n"
    "       the header's fields, each offset and length checked\n"
    "stats  count, min, max, mean, stddev, zeros, clipped (4095), p1, p50, p99\n"
    "       and a histogram of 64 bins, for each field and filter colour\n"
    "--area only the cells that the W x H pixels from (X, Y) of FILE.raf.bmp show\n"
    "cell   the mosaic cell that pixel (X, Y) of FILE.raf.bmp shows (X right,\n"
    "       Y down from the top left corner) and how the demosaic coloured it\n"
    "--json print one JSON object instead of a table\n"
    "\n"
    "FILE.raf is read as diagraw reads it; nothing is written. Exit status:\n"
    "0 success, 1 unreadable input, pixel or area outside the image, 2 wrong usage.\n";

// Prints "diagraw-probe: name: reason", both escaped for the terminal, and
// returns the exit status.
int Fail(int status, const std::string& name, const std::string& reason)
{
    return ReportFailure(kProgram, status, name, reason);
}

int UsageError(const std::string& name, const std::string& reason)
{
    return Fail(2, name, reason + " (see diagraw-probe --help)");
}

// Writes the whole report; false when standard output refused it.
bool Print(const std::string& text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written;
}

int PrintOrFail(const std::string& text)
{
    if (Print(text))
        return 0;
    return Fail(1, "standard output", errno != 0 ? DescribeStatus(errno) : "write failed");
}

int RunInfo(const char* path, bool json)
{
    FileHeader header;
    const Status status = ReadFileHeader(path, header);
    if (status != kStatusOk)
        return Fail(1, path, DescribeStatus(status));
    return PrintOrFail(json ? InfoJson(header) : InfoTable(path, header));
}

int RunStats(const char* path, bool json, const ImageArea* area)
{
    CRawX10 raw;
    const Status status = raw.LoadFields(path);
    if (status != kStatusOk)
        return Fail(1, path, DescribeInputFailure(raw, status));
    if (area != nullptr)
    {
        const Status inside = CheckArea(*area, raw.MosaicSide());
        if (inside != kStatusOk)
            return Fail(1, path, DescribeAreaProblem(inside, *area, raw.MosaicSide()));
        const AreaStats stats = ComputeAreaStats(raw, *area);
        return PrintOrFail(json ? StatsJson(raw, stats.fields, [&](CJsonWriter& out) { AreaKeys(out, stats); })
                                : StatsTable(raw, stats.fields, AreaRows(raw, stats)));
    }
    const FieldStats stats[2] = {ComputeFieldStats(raw.m_field0.get(), raw.m_width, raw.m_height),
                                 ComputeFieldStats(raw.m_field1.get(), raw.m_width, raw.m_height)};
    return PrintOrFail(json ? StatsJson(raw, stats) : StatsTable(raw, stats));
}

// (x, y) is the pixel given as xText, yText.
int RunCell(const char* path, const char* xText, const char* yText, int32_t x, int32_t y, bool json)
{
    CRawX10 raw;
    const Status status = raw.Load(path);
    if (status != kStatusOk)
        return Fail(1, path, DescribeInputFailure(raw, status));
    const int32_t side = raw.MosaicSide();
    if (x < 0 || x >= side || y < 0 || y >= side)
        return Fail(1, path, std::string("pixel (") + xText + ", " + yText + ") lies outside the " +
                                 std::to_string(side) + " x " + std::to_string(side) + " image");
    const PixelExplanation explanation = ExplainPixel(raw, x, y);
    return PrintOrFail(json ? PixelJson(explanation) : PixelTable(raw, explanation));
}

// Runs one command on the file at path; running out of memory is one more
// way for it to fail.
template <typename Command>
int RunOn(const char* path, Command command)
{
    try
    {
        return command();
    }
    catch (const std::bad_alloc&)
    {
        return Fail(1, path, "out of memory");
    }
}

int Run(int argc, char** argv)
{
    const ProbeArguments arguments = ParseProbeArguments(argc, argv);
    if (!arguments.problem.empty())
        return UsageError(arguments.problemName, arguments.problem);
    const bool json = arguments.json;
    const char* const path = arguments.file;
    switch (arguments.command)
    {
    case ProbeCommand::Help:
        return PrintOrFail(kHelp);
    case ProbeCommand::Version:
        return PrintOrFail(std::string(kProgram) + " " + DIAGRAW_VERSION + "\n");
    case ProbeCommand::Info:
        return RunInfo(path, json);
    case ProbeCommand::Stats:
        return RunOn(path, [&] { return RunStats(path, json, arguments.hasArea ? &arguments.area : nullptr); });
    case ProbeCommand::Cell:
        break;
    }
    return RunOn(path, [&] { return RunCell(path, arguments.xText, arguments.yText, arguments.x, arguments.y, json); });
}

}  // namespace

int main(int argc, char** argv)
{
    return Run(argc, argv);
}
