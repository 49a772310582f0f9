// diagraw: turns one X10 raw file into four BMP images for inspection.
//
//   load -> field previews (.f0.bmp, .f1.bmp) -> mosaic preview (.src.bmp)
//        -> demosaic (.bmp)
//
// Exit status: 0 when all four images were written; 1 for a missing argument,
// an input that cannot be read or memory running out while it is loaded (no
// image is written), or an image that could not be written, also for lack of
// memory (the others are still tried). Standard output holds
// the banner and, without an argument, the usage text; every failure is one
// line on standard error (programs/CommandLine.h).
#include "programs/CommandLine.h"
#include "pipeline/Pipeline.h"
#include "platform/Files.h"
#include "raw/InputFailure.h"
#include "raw/RawX10.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

namespace
{

int RunPipeline(const char* path)
{
    try
    {
        CRawX10 raw;
        const Status status = raw.Load(path);
        if (status != kStatusOk)
            return ReportFailure(kDiagrawProgram, path, DescribeInputFailure(raw, status));
        WarnAboutInput(raw, path);
        const bool written = SaveImages(raw, [](const std::string& image, Status failure) {
            if (failure == ENOMEM)
                ReportOutOfMemory(kDiagrawProgram, image);
            else
                ReportFailure(kDiagrawProgram, image, failure);
        });
        return written ? kExitSuccess : kExitFailure;
    }
    catch (const std::bad_alloc&)
    {
        return ReportOutOfMemory(kDiagrawProgram, path);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    platform::PrepareProcess();
    const char* programName = ProgramName(argc > 0 && argv[0] != nullptr ? argv[0] : kDiagrawProgram);
    const Request request = DiagrawRequestOf(argc, argv);
    if (request != Request::Run)
        return PrintRequested(kDiagrawProgram, request, BannerText() + HelpText(programName));
    // The banner is no allocation: memory that runs out from the first one on
    // fails the run with its message.
    std::fputs(BannerText(), stdout);
    if (argc < 2)
    {
        PrintText(kDiagrawProgram, UsageText(programName));
        return kExitFailure;
    }
    if (argc > 2)
        ReportIgnoredArguments(argc - 2);
    return RunPipeline(argv[1]);
}
