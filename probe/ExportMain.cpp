// diagraw-export: writes one kind of image of an X10 raw file as a TIFF, or
// copies its embedded JPEG (probe/Export.h); one output file, whole or not
// at all.
//
//   diagraw-export [--compress] FILE KIND OUT
//
// Exit status: 0 when OUT was written; 1 when the input cannot be read, has
// no preview, memory runs out or OUT cannot be written, with one line
// "diagraw-export: <name>: <reason>" on standard error; 2 for a wrong
// command line, also with one line.
#include "platform/Files.h"
#include "probe/Export.h"
#include "probe/Messages.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace
{

constexpr const char* kProgram = "diagraw-export";

constexpr const char* kHelp =
    "Usage:\n"
    "  diagraw-export [--compress] FILE.raf KIND OUT\n"
    "  diagraw-export --help | --version\n"
    "\n"
    "Writes one file, OUT, from FILE.raf:\n"
    "  field0, field1  16-bit grey TIFF, 2944 x 2144, a field's samples unscaled\n"
    "  mosaic          16-bit grey TIFF, 5088 x 5088, the raw composite mosaic,\n"
    "                  north up, not mirrored\n"
    "  balanced        the same after the demosaic's white balance\n"
    "  image           8-bit RGB TIFF, 5088 x 5088, the pixels of FILE.raf.bmp\n"
    "  upright         8-bit RGB TIFF, 5888 x 4288, the demosaiced photo upright\n"
    "  preview         the embedded JPEG of a RAF, byte for byte\n"
    "--compress        deflate the TIFF (lossless)\n"
    "\n"
    "OUT appears whole or not at all. Exit status: 0 success, 1 unreadable\n"
    "input, no preview or OUT not written, 2 wrong usage.\n";

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
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return Print(kHelp);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return Print(std::string(kProgram) + " " + DIAGRAW_EXPORT_VERSION + "\n");
    bool deflate = false;
    std::vector<const char*> operands;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--compress") == 0)
            deflate = true;
        else if (std::strncmp(argv[i], "--", 2) == 0)
            return UsageError(argv[i], "unknown option");
        else
            operands.push_back(argv[i]);
    }
    if (operands.size() != 3)
        return UsageError("command line", "expects FILE.raf KIND OUT");
    ExportKind kind = ExportKind::Preview;
    if (!ExportKindOf(operands[1], kind))
        return UsageError(operands[1], "unknown kind; one of field0, field1, mosaic, balanced, image, upright, preview");
    const char* input = operands[0];
    const std::string output = operands[2];
    try
    {
        const ExportResult result =
            ExportFile(input, kind, output, deflate, std::string(kProgram) + " " + DIAGRAW_EXPORT_VERSION);
        if (result.status == kStatusOk)
            return 0;
        return Fail(1, result.outputFailed ? output : std::string(input),
                    result.reason.empty() ? DescribeStatus(result.status) : result.reason);
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
