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
#include "platform/Files.h"
#include "export/Export.h"
#include "programs/ExportArguments.h"
#include "probe/Messages.h"
#include "raw/InputFailure.h"

#include <cstdio>
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

int Fail(int status, const std::string& name, const std::string& reason)
{
    return ReportFailure(kProgram, status, name, reason);
}

int UsageError(const std::string& name, const std::string& reason)
{
    return Fail(2, name, reason + " (see diagraw-export --help)");
}

int Print(const std::string& text)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return 0;
    return Fail(1, "standard output", "write failed");
}

int Run(int argc, char** argv)
{
    const ExportArguments arguments = ParseExportArguments(argc, argv);
    if (arguments.help)
        return Print(Help());
    if (arguments.version)
        return Print(std::string(kProgram) + " " + DIAGRAW_VERSION + "\n");
    if (!arguments.problem.empty())
        return UsageError(arguments.problemName, arguments.problem);
    const bool deflate = arguments.deflate;
    const ExportKind kind = arguments.kind;
    const char* input = arguments.input;
    const std::string output = arguments.output;
    try
    {
        ExportFailure failure;
        const Status status = ExportFile(input, kind, output, deflate, std::string(kProgram) + " " + DIAGRAW_VERSION, failure);
        if (status == kStatusOk)
            return 0;
        if (failure.atOutput)
            return Fail(1, output, DescribeStatus(status));
        if (status == kStatusNoEmbeddedPreview)
            return Fail(1, input, std::string(DescribeStatus(status)) + ": " + DescribeMissingPreview(failure.header));
        return Fail(1, input, DescribeInputFailure(status, failure.inputSize));
    }
    catch (const std::bad_alloc&)
    {
        return Fail(1, input, "out of memory");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    platform::PrepareProcess();
    return Run(argc, argv);
}
