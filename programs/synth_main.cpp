// diagraw-synth [--raf] OUT: writes the built-in test chart as an X10 raw
// file of 18,937,856 bytes, the input of the demo, the tests and the
// benchmarks; with --raf, inside a RAF-like header (tools/RafContainer.h).
//
// The file is written like diagraw's images: into a temporary beside OUT,
// renamed over OUT once whole (platform/Files.h), so that a failure leaves
// an older OUT as it was. Exit status 0 when the file was written or the
// help or the version printed; 1 when it could not be written, with one line
// "diagraw-synth: <name>: <reason>" on standard error; 2 for a wrong command
// line, with one such line.
#include "platform/Files.h"
#include "programs/FrontEnd.h"
#include "programs/SynthArguments.h"
#include "tools/Chart.h"
#include "tools/RafContainer.h"

#include <new>
#include <string>
#include <vector>

namespace
{

constexpr const char* kProgram = "diagraw-synth";

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
    "  --version   the version\n"
    "\n"
    "Exit status: 0 success, 1 OUT could not be written, 2 wrong usage.\n";

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
    const Request request = RequestOf(argc, argv);
    if (request != Request::Run)
        return PrintRequested(kProgram, request, kHelp);
    const SynthArguments arguments = ParseSynthArguments(argc, argv);
    if (arguments.problem.Found())
        return ReportUsageProblem(kProgram, arguments.problem);
    try
    {
        const Status status = WriteChart(arguments.out, arguments.raf);
        return status == kStatusOk ? kExitSuccess : ReportFailure(kProgram, arguments.out, status);
    }
    catch (const std::bad_alloc&)
    {
        return ReportOutOfMemory(kProgram, arguments.out);
    }
}
