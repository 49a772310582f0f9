// diagraw: turns one X10 raw file into four BMP images for inspection.
//
//   load -> field previews (.f0.bmp, .f1.bmp) -> mosaic preview (.src.bmp)
//        -> demosaic (.bmp)
//
// Exit status: 0 when all four images were written; 1 for a missing argument,
// an input that cannot be read, running out of memory, or an image that
// could not be written (the others are still written). Standard output holds
// the banner and, without an argument, the usage text; every failure is one
// line on standard error (app/CommandLine.h).
#include "app/CommandLine.h"
#include "platform/Files.h"
#include "raw/RawX10.h"

#include <new>
#include <string>

namespace
{

// The stages after the loader, in the order they must run: the mosaic
// preview has to come before the demosaic, which white-balances the mosaic
// in place.
struct Stage
{
    OutputImage image;
    Status (*run)(CRawX10& raw);
};

constexpr Stage kStages[] = {
    {OutputImage::Field0Preview, [](CRawX10& raw) { return raw.SaveFieldPreview(raw.m_field0.get()); }},
    {OutputImage::Field1Preview, [](CRawX10& raw) { return raw.SaveFieldPreview(raw.m_field1.get()); }},
    {OutputImage::MosaicPreview, [](CRawX10& raw) { return raw.SaveMosaicPreview(); }},
    {OutputImage::Demosaiced, [](CRawX10& raw) { return raw.Demosaic(); }},
};

int RunPipeline(const char* path)
{
    CRawX10 raw;
    std::string concerned = path;  // the file named if memory runs out
    try
    {
        const Status status = raw.Load(path);
        if (status != kStatusOk)
        {
            ReportInputFailure(raw, path, status);
            return 1;
        }
        WarnAboutInput(raw, path);
        // Every stage runs, even when an earlier image could not be written.
        bool failed = false;
        for (const Stage& stage : kStages)
        {
            concerned = OutputNameOf(path, stage.image);
            const Status written = stage.run(raw);
            if (written != kStatusOk)
                ReportFailure(concerned.c_str(), written);
            failed = failed || written != kStatusOk;
        }
        return failed ? 1 : 0;
    }
    catch (const std::bad_alloc&)
    {
        ReportOutOfMemory(concerned.c_str());
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
