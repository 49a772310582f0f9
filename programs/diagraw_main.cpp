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
#include "platform/Files.h"
#include "raw/RawX10.h"

#include <iterator>
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

// Runs one stage and reports its failure; running out of memory fails its
// image alone, like a failed write, since a later stage may need less.
// Returns whether the image was written.
bool RunStage(const Stage& stage, CRawX10& raw, const char* path)
{
    const std::string image = OutputNameOf(path, stage.image);
    try
    {
        const Status written = stage.run(raw);
        if (written != kStatusOk)
            ReportFailure(image.c_str(), written);
        return written == kStatusOk;
    }
    catch (const std::bad_alloc&)
    {
        ReportOutOfMemory(image.c_str());
        return false;
    }
}

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
        // Every output name is checked before anything is rendered: an image
        // whose name cannot take it (or that names the input) is not made.
        // Every other stage runs, even when an earlier image could not be
        // written.
        bool failed = false;
        bool usable[std::size(kStages)] = {};
        for (size_t i = 0; i < std::size(kStages); ++i)
        {
            const std::string image = OutputNameOf(path, kStages[i].image);
            const Status checked = platform::CheckOutputName(image, raw.m_file.get());
            if (checked != kStatusOk)
                ReportFailure(image.c_str(), checked);
            usable[i] = checked == kStatusOk;
            failed = failed || !usable[i];
        }
        for (size_t i = 0; i < std::size(kStages); ++i)
            failed = (usable[i] && !RunStage(kStages[i], raw, path)) || failed;
        return failed ? 1 : 0;
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
