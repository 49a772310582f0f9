#include "programs/CommandLine.h"

#include "platform/TerminalText.h"
#include "raw/InputFailure.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace
{

bool Exists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

}  // namespace

const char* ProgramName(const char* invocation)
{
    const char* backslash = std::strrchr(invocation, '\\');
    return backslash != nullptr ? backslash + 1 : invocation;
}

void PrintBanner()
{
    std::printf("diagraw, the X10 raw field and mosaic inspector v" DIAGRAW_VERSION "\n");
}

void PrintUsage(const char* programName)
{
    std::printf("Usage:\n");
    std::printf("%s: <.raf>\n", programName);
}

Request RequestOf(const char* argument)
{
    const bool help = std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
    const bool version = std::strcmp(argument, "--version") == 0;
    if ((!help && !version) || Exists(argument))
        return Request::Convert;
    return help ? Request::Help : Request::Version;
}

void PrintHelp(const char* programName)
{
    PrintUsage(programName);
    std::printf(
        "\n"
        "Turns one raw file of the Fujifilm X10 into four BMP images beside it,\n"
        "named after the input path as given:\n"
        "  <.raf>.f0.bmp   field 0, 2944 x 2144, each sample in the channel of its colour\n"
        "  <.raf>.f1.bmp   field 1, the same way\n"
        "  <.raf>.src.bmp  the raw diagonal mosaic, 5088 x 5088, mirrored left to right\n"
        "  <.raf>.bmp      the demosaiced full-colour image, 5088 x 5088, mirrored alike\n"
        "\n"
        "Exit status: 0 when all four images were written; 1 when the argument is\n"
        "missing, the input cannot be read, or an image could not be written (the\n"
        "others are still written). Every failure is reported on standard error.\n"
        "\n"
        "  -h, --help     this text\n"
        "      --version  the version\n"
        "A file of either name is converted instead.\n");
}

void PrintVersion()
{
    std::printf("diagraw " DIAGRAW_VERSION "\n");
}

void ReportIgnoredArguments(int count)
{
    std::fprintf(stderr, "diagraw: %d further argument%s ignored; diagraw converts one file per run\n", count,
                 count == 1 ? "" : "s");
}

void ReportInputFailure(const CRawX10& raw, const char* path, Status status)
{
    std::fprintf(stderr, "diagraw: %s: %s\n", EscapedForTerminal(path).c_str(), DescribeInputFailure(raw, status).c_str());
}

void ReportFailure(const char* name, Status status)
{
    std::fprintf(stderr, "diagraw: %s: %s\n", EscapedForTerminal(name).c_str(), DescribeStatus(status));
}

void ReportOutOfMemory(const char* name)
{
    std::fprintf(stderr, "diagraw: %s: out of memory\n", EscapedForTerminal(name).c_str());
}

void WarnAboutInput(const CRawX10& raw, const char* path)
{
    FileHeader header;
    if (ReadFileHeader(raw.m_file.get(), raw.m_fileSize, header) != kStatusOk)
        return;
    const std::string warning = InputWarningOf(header);
    if (!warning.empty())
        std::fprintf(stderr, "diagraw: %s: warning: %s\n", EscapedForTerminal(path).c_str(), warning.c_str());
}
