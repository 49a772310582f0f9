#include "programs/CommandLine.h"

#include "platform/TerminalText.h"
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

const char* BannerText()
{
    return "diagraw, the X10 raw field and mosaic inspector v" DIAGRAW_VERSION "\n";
}

std::string UsageText(const char* programName)
{
    return std::string("Usage:\n") + programName + ": <.raf>\n";
}

Request DiagrawRequestOf(int argc, const char* const* argv)
{
    const Request request = RequestOf(argc, argv);
    return request != Request::Run && Exists(argv[1]) ? Request::Run : request;
}

std::string HelpText(const char* programName)
{
    return UsageText(programName) +
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
           "A file of either name is converted instead.\n";
}

void ReportIgnoredArguments(int count)
{
    std::fprintf(stderr, "diagraw: %d further argument%s ignored; diagraw converts one file per run\n", count,
                 count == 1 ? "" : "s");
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
