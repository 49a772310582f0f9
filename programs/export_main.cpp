// diagraw-export: writes one kind of image of an X10 raw file as a TIFF, or
// copies its embedded JPEG (export/Export.h); one output file, whole or not
// at all.
//
//   diagraw-export [--compress] FILE KIND OUT
//
// Exit status: 0 when OUT was written; 1 when the input cannot be read, has
// no preview, memory runs out or OUT cannot be written, with one line
// "diagraw-export: <name>: <reason>" on standard error; 2 for a wrong
// command line, also with one line.
#include "export/Export.h"
#include "platform/Files.h"
#include "programs/ExportArguments.h"
#include "programs/FrontEnd.h"
#include "raw/InputFailure.h"

#include <new>
#include <string>

namespace
{

constexpr const char* kProgram = "diagraw-export";

std::string Help()
{
    return "Usage:\n"
           "  diagraw-export [--compress] FILE.raf KIND OUT\n"
           "  diagraw-export --help | --version\n"
           "\n"
           "Writes one file, OUT, from FILE.raf:\n" +
           ExportKindUsage() +
           "--compress        deflate the TIFF (lossless)\n"
           "\n"
           "OUT appears whole or not at all. Exit status: 0 success, 1 unreadable\n"
           "input, no preview or OUT not written, 2 wrong usage.\n";
}

int Run(const ExportArguments& arguments)
{
    ExportFailure failure;
    const Status status = ExportFile(arguments.input, arguments.kind, arguments.output, arguments.deflate,
                                     std::string(kProgram) + " " + DIAGRAW_VERSION, failure);
    if (status == kStatusOk)
        return kExitSuccess;
    if (failure.atOutput)
        return ReportFailure(kProgram, arguments.output, status);
    if (status == kStatusNoEmbeddedPreview)
        return ReportFailure(kProgram, arguments.input,
                             std::string(DescribeStatus(status)) + ": " + DescribeMissingPreview(failure.header));
    return ReportFailure(kProgram, arguments.input, DescribeInputFailure(status, failure.inputSize));
}

}  // namespace

int main(int argc, char** argv)
{
    platform::PrepareProcess();
    const Request request = RequestOf(argc, argv);
    if (request != Request::Run)
        return PrintRequested(kProgram, request, Help());
    const ExportArguments arguments = ParseExportArguments(argc, argv);
    if (arguments.problem.Found())
        return ReportUsageProblem(kProgram, arguments.problem);
    try
    {
        return Run(arguments);
    }
    catch (const std::bad_alloc&)
    {
        return ReportOutOfMemory(kProgram, arguments.input);
    }
}
