// diagraw: turns one X10 RAF file into four BMP images for inspection.
//
//   load -> field previews (.f0.bmp, .f1.bmp) -> mosaic preview (.src.bmp)
//        -> demosaic (.bmp)
//
// Exit status: 0 when every output was written; 1 for a missing argument, an
// input that cannot be read, memory exhaustion, or any output that could not
// be written. Nothing but the banner and the usage text is ever printed.
#include "platform/Files.h"
#include "raw/RawX10.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{

// The program's name as the usage line shows it: the invocation path after
// its last backslash, or the whole path when it holds none.
const char* ProgramName(const char* invocation)
{
    const char* backslash = std::strrchr(invocation, '\\');
    return backslash != nullptr ? backslash + 1 : invocation;
}

int RunPipeline(const char* path)
{
    CRawX10 raw;
    if (raw.Load(path) != kStatusOk)
        return 1;
    // Every stage runs even when an earlier output could not be written; the
    // mosaic preview must precede the demosaic, which changes the mosaic.
    bool failed = raw.SaveFieldPreview(raw.m_field0.get()) != kStatusOk;
    failed = raw.SaveFieldPreview(raw.m_field1.get()) != kStatusOk || failed;
    failed = raw.SaveMosaicPreview() != kStatusOk || failed;
    failed = raw.Demosaic() != kStatusOk || failed;
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::printf("diagraw, the X10 raw field and mosaic inspector v0.3\n");
    if (argc < 2)
    {
        std::printf("Usage:\n");
        std::printf("%s: <.raf>\n", ProgramName(argc > 0 && argv[0] != nullptr ? argv[0] : "diagraw"));
        return 1;
    }
    platform::PrepareProcess();
    try
    {
        return RunPipeline(argv[1]);
    }
    catch (const std::bad_alloc&)
    {
        return 1;
    }
}
