// diagraw-synth [--raf] OUT: writes the built-in test chart as an X10 raw
// file of 18,937,856 bytes, the input of the demo, the tests and the
// benchmarks; with --raf, inside a RAF-like header (tools/RafContainer.h).
//
// The file is written like diagraw's images: into a temporary beside OUT,
// renamed over OUT once whole (platform/Files.h), so that a failure leaves
// an older OUT as it was. Exit status 0 when the file was written or the
// help printed; 1 when it could not be written, with one line
// "diagraw-synth: <name>: <reason>" on standard error; 2 for a wrong command
// line, with one such line.
#include "platform/Files.h"
#include "platform/TerminalText.h"
#include "tools/Chart.h"
#include "tools/RafContainer.h"
#include "programs/SynthArguments.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace
{

constexpr const char* kHelp =
    "Usage: diagraw-synth [--raf] OUT\n"
    "\n"
    "Writes the built-in test chart as an X10 raw file named OUT (18,937,856\n"
    "bytes): the input of diagraw's demo, tests and benchmarks. OUT is written\n"
    "whole or not at all.\n"
    "\n"
    "  --raf       put the chart inside a RAF-like header (camera model X10,\n"
    "              a small JPEG preview, a raw block holding the chart)\n"
    "  -h, --help  this text\n"
    "\n"
    "Exit status: 0 success, 1 OUT could not be written, 2 wrong usage.\n";

int Fail(int status, const std::string& name, const std::string& reason)
{
    std::fprintf(stderr, "diagraw-synth: %s: %s\n", EscapedForTerminal(name).c_str(),
                 EscapedForTerminal(reason).c_str());
    return status;
}

// The chart, bare or (raf) behind a RAF-like header, written whole or not
// at all.
Status WriteChart(const std::string& name, bool raf)
{
    std::vector<uint8_t> chart = MakeChartFile();
    if (raf)
    {
        const std::vector<uint8_t> prefix = RafPrefixFor(static_cast<int64_t>(chart.size()));
        chart.insert(chart.begin(), prefix.begin(), prefix.end());
    }
    platform::COutputFile file;
    Status status = file.Create(name);
    if (status == kStatusOk)
        status = file.Write(chart.data(), chart.size());
    if (status == kStatusOk)
        status = file.Commit();
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::PrepareProcess();
    const SynthArguments arguments = ParseSynthArguments(argc, argv);
    if (arguments.help)
    {
        std::fputs(kHelp, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!arguments.problem.empty())
        return Fail(2, arguments.problemName, arguments.problem + " (see diagraw-synth --help)");
    const char* const out = arguments.out;
    const bool raf = arguments.raf;
    try
    {
        const Status status = WriteChart(out, raf);
        return status == kStatusOk ? 0 : Fail(1, out, DescribeStatus(status));
    }
    catch (const std::bad_alloc&)
    {
        return Fail(1, out, "out of memory");
    }
}
