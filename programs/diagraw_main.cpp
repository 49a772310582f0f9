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
#include "raw/RawX10.h"

#include <cerrno>
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
        {
            ReportInputFailure(raw, path, status);
            return 1;
        }
        WarnAboutInput(raw, path);
        const bool written = SaveImages(raw, [](const std::string& image, Status failure) {
            if (failure == ENOMEM)
                ReportOutOfMemory(image.c_str());
            else
                ReportFailure(image.c_str(), failure);
        });
        return written ? 0 : 1;
    }
    catch (const std::bad_alloc&)
    {
        ReportOutOfMemory(path);
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    platform::PrepareProcess();
    const char* programName = ProgramName(argc > 0 && argv[0] != nullptr ? argv[0] : "diagraw");
    if (argc == 2)
    {
        const Request request = RequestOf(argv[1]);
        if (request == Request::Version)
        {
            PrintVersion();
            return 0;
        }
        if (request == Request::Help)
        {
            PrintBanner();
            PrintHelp(programName);
            return 0;
        }
    }
    PrintBanner();
    if (argc < 2)
    {
        PrintUsage(programName);
        return 1;
    }
    if (argc > 2)
        ReportIgnoredArguments(argc - 2);
    return RunPipeline(argv[1]);
}
