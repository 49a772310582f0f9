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

// A whole number in decimal, with an optional minus sign; values beyond
// what int32_t holds saturate (they lie outside every image anyway).
bool ParseCoordinate(const char* text, int32_t& value)
{
    const bool negative = *text == '-';
    const char* digits = negative ? text + 1 : text;
    if (*digits == '\0')
        return false;
    int64_t magnitude = 0;
    for (const char* p = digits; *p != '\0'; ++p)
    {
        if (*p < '0' || *p > '9')
            return false;
        magnitude = std::min<int64_t>(magnitude * 10 + (*p - '0'), INT32_MAX);
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
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
        return Fail(1, path, DescribeLoadFailure(raw, status));
    if (area != nullptr)
    {
        const std::string problem = AreaProblem(*area, raw.MosaicSide());
        if (!problem.empty())
            return Fail(1, path, problem);
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
        return Fail(1, path, DescribeLoadFailure(raw, status));
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
    if (argc < 2)
        return UsageError("command", "missing");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h")
        return PrintOrFail(kHelp);
    if (command == "--version")
        return PrintOrFail(std::string(kProgram) + " " + DIAGRAW_PROBE_VERSION + "\n");
    if (command != "info" && command != "stats" && command != "cell")
        return UsageError(command, "unknown command");

    // --json may stand anywhere after the command, and --area with its four
    // numbers after stats; a minus sign alone does not make an option, so
    // that a negative coordinate is an operand.
    bool json = false;
    bool hasArea = false;
    ImageArea area;
    std::vector<const char*> operands;
    for (int i = 2; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (std::strcmp(argv[i], "--area") == 0 && command == "stats")
        {
            if (i + 4 >= argc)
                return UsageError(argv[i], "expects X Y W H");
            int64_t* const values[] = {&area.x, &area.y, &area.width, &area.height};
            for (int64_t* value : values)
            {
                int32_t parsed = 0;
                if (!ParseCoordinate(argv[++i], parsed))
                    return UsageError(argv[i], "not a whole number");
                *value = parsed;
            }
            hasArea = true;
        }
        else if (std::strncmp(argv[i], "--", 2) == 0)
            return UsageError(argv[i], "unknown option");
        else
            operands.push_back(argv[i]);
    }
    if (command == "info")
    {
        if (operands.size() != 1)
            return UsageError(command, "expects FILE");
        return RunInfo(operands[0], json);
    }
    if (command == "stats")
    {
        if (operands.size() != 1)
            return UsageError(command, "expects FILE.raf");
        return RunOn(operands[0], [&] { return RunStats(operands[0], json, hasArea ? &area : nullptr); });
    }
    if (operands.size() != 3)
        return UsageError(command, "expects FILE.raf X Y");
    int32_t x = 0;
    int32_t y = 0;
    if (!ParseCoordinate(operands[1], x))
        return UsageError(operands[1], "X is not a whole number");
    if (!ParseCoordinate(operands[2], y))
        return UsageError(operands[2], "Y is not a whole number");
    return RunOn(operands[0], [&] { return RunCell(operands[0], operands[1], operands[2], x, y, json); });
}

}  // namespace

int main(int argc, char** argv)
{
    return Run(argc, argv);
}
