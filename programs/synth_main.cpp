// diagraw-synth [--raf] OUT: writes the built-in test chart as an X10 raw
// file of 18,937,856 bytes, the input of the demo, the tests and the
// benchmarks; with --raf, inside a RAF-like header (tools/RafContainer.h).
// diagraw-synth --sensor [model options] OUT: one frame of the simulated
// sensor (tools/SensorModel.h) in the same container, its exposure and ISO
// in the Exif block.
//
// The file is written like diagraw's images: into a temporary beside OUT,
// renamed over OUT once whole (platform/Files.h), so that a failure leaves
// an older OUT as it was. Exit status 0 when the file was written or the
// help or the version printed; 1 when it could not be written, with one line
// "diagraw-synth: <name>: <reason>" on standard error; 2 for a wrong command
// line, with one such line.
#include "platform/Files.h"
#include "platform/Workers.h"
#include "programs/FrontEnd.h"
#include "programs/SynthArguments.h"
#include "tools/Chart.h"
#include "tools/RafContainer.h"
#include "tools/SensorModel.h"

#include <new>
#include <string>
#include <vector>

namespace
{

constexpr const char* kProgram = "diagraw-synth";

constexpr const char* kHelp =
    "Usage: diagraw-synth [--raf] OUT\n"
    "       diagraw-synth --sensor [model options] OUT\n"
    "\n"
    "Writes the built-in test chart as an X10 raw file named OUT (18,937,856\n"
    "bytes): the input of diagraw's demo, tests and benchmarks. With --sensor,\n"
    "one frame of a simulated sensor with known truth instead, as a RAF file\n"
    "whose Exif holds its exposure and ISO. OUT is written whole or not at all.\n"
    "\n"
    "  --raf       put the chart inside a RAF-like header (camera model X10,\n"
    "              a small JPEG preview, a raw block holding the chart)\n"
    "  --sensor    a frame of the simulated sensor; its model options\n"
    "              (defaults in brackets):\n"
    "    --light flat|chart      uniform light, or the chart's [flat]\n"
    "    --electrons N           mean photo-electrons at full light [1000]\n"
    "    --prnu P                photo response non-uniformity, per cent [0]\n"
    "    --field-ratio R         field 1 gets R times the light of field 0 [1]\n"
    "    --dead F,Y,X            a cell that gets no light (repeatable)\n"
    "    --hot F,Y,X[,E]         a cell with E dark electrons [500] (repeatable)\n"
    "    --dsnu E                dark signal non-uniformity, electrons [0]\n"
    "    --read-noise E          read noise, electrons [3]\n"
    "    --gain K                DN per electron [0.5]\n"
    "    --offset DN             black level [64]\n"
    "    --seed S                the temporal noise [1]\n"
    "    --pattern-seed S        the fixed pattern (PRNU, DSNU) [1]\n"
    "    --exposure SECONDS      the Exif exposure time [0.01]\n"
    "    --iso N                 the Exif ISO speed [200]\n"
    "  -h, --help  this text\n"
    "  --version   the version\n"
    "\n"
    "Exit status: 0 success, 1 OUT could not be written, 2 wrong usage.\n";

// The file of arguments: the chart, bare or (raf) behind a RAF-like
// header, or a frame of the sensor.
std::vector<uint8_t> FileOf(const SynthArguments& arguments)
{
    if (arguments.sensor)
        return MakeSensorRafFile(arguments.model, WorkerCount());
    std::vector<uint8_t> chart = MakeChartFile();
    if (arguments.raf)
    {
        const std::vector<uint8_t> prefix = RafPrefixFor(static_cast<int64_t>(chart.size()));
        chart.insert(chart.begin(), prefix.begin(), prefix.end());
    }
    return chart;
}

// bytes as the file name, written whole or not at all.
Status WriteWhole(const std::string& name, const std::vector<uint8_t>& bytes)
{
    platform::COutputFile file;
    Status status = file.Create(name);
    if (status == kStatusOk)
        status = file.Write(bytes.data(), bytes.size());
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
        const Status status = WriteWhole(arguments.out, FileOf(arguments));
        return status == kStatusOk ? kExitSuccess : ReportFailure(kProgram, arguments.out, status);
    }
    catch (const std::bad_alloc&)
    {
        return ReportOutOfMemory(kProgram, arguments.out);
    }
}
