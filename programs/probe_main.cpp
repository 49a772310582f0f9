// diagraw-probe: the numbers behind diagraw's images, printed; no file is
// written.
//
//   info FILE [--json]      what the file is: size, signature, RAF header,
//                           the Exif of its preview
//   stats FILE [--area X Y W H] [--json]
//                           the samples of each field and filter colour, of
//                           all the file or of the cells an area shows
//   cell FILE X Y [--json]  why pixel (X, Y) of FILE.bmp has its colour
//
// FILE is read as diagraw reads it; info reads its header instead. Exit
// status: 0 on success (whatever info finds the file to be); 1 when the file
// cannot be read, X or Y or the area lies outside the image, memory runs out
// or the output cannot be written, with one line on standard error; 2 for a
// wrong command line, also with one line.
#include "metadata/ExifMetadata.h"
#include "probe/AreaStats.h"
#include "probe/CellReport.h"
#include "probe/FieldStats.h"
#include "probe/FileInfo.h"
#include "programs/FrontEnd.h"
#include "programs/ProbeArguments.h"
#include "raw/InputFailure.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <new>
#include <string>

namespace
{

constexpr const char* kProgram = "diagraw-probe";

int RunInfo(const char* path, bool json)
{
    FileHeader header;
    ExifMetadata exif;
    const Status status = ReadHeaderAndExif(path, header, exif);
    if (status != kStatusOk)
        return ReportFailure(kProgram, path, status);
    return PrintText(kProgram, json ? InfoJson(header, exif) : InfoTable(path, header, exif));
}

int RunStats(const char* path, bool json, const ImageArea* area)
{
    CRawX10 raw;
    const Status status = raw.LoadFields(path);
    if (status != kStatusOk)
        return ReportFailure(kProgram, path, DescribeInputFailure(raw, status));
    if (area != nullptr)
    {
        const Status inside = CheckArea(*area, raw.MosaicSide());
        if (inside != kStatusOk)
            return ReportFailure(kProgram, path, DescribeAreaProblem(inside, *area, raw.MosaicSide()));
        const AreaStats stats = ComputeAreaStats(raw, *area);
        return PrintText(kProgram, json ? StatsJson(raw, stats.fields, [&](CJsonWriter& out) { AreaKeys(out, stats); })
                                        : StatsTable(raw, stats.fields, AreaRows(raw, stats)));
    }
    const FieldStats stats[2] = {ComputeFieldStats(raw.m_field0.get(), raw.m_width, raw.m_height),
                                 ComputeFieldStats(raw.m_field1.get(), raw.m_width, raw.m_height)};
    return PrintText(kProgram, json ? StatsJson(raw, stats) : StatsTable(raw, stats));
}

// (x, y) is the pixel given as xText, yText.
int RunCell(const char* path, const char* xText, const char* yText, int32_t x, int32_t y, bool json)
{
    CRawX10 raw;
    const Status status = raw.LoadFields(path);  // the explanation reads the fields alone
    if (status != kStatusOk)
        return ReportFailure(kProgram, path, DescribeInputFailure(raw, status));
    const int32_t side = raw.MosaicSide();
    if (x < 0 || x >= side || y < 0 || y >= side)
        return ReportFailure(kProgram, path, PixelOutsideImage(xText, yText, side));
    const PixelExplanation explanation = ExplainPixel(raw.Samples(), x, y);
    return PrintText(kProgram, json ? PixelJson(explanation) : PixelTable(raw, explanation));
}

int Run(const ProbeArguments& arguments)
{
    const char* const path = arguments.file;
    switch (arguments.command)
    {
    case ProbeCommand::Info:
        return RunInfo(path, arguments.json);
    case ProbeCommand::Stats:
        return RunStats(path, arguments.json, arguments.hasArea ? &arguments.area : nullptr);
    case ProbeCommand::Cell:
        break;
    }
    return RunCell(path, arguments.xText, arguments.yText, arguments.x, arguments.y, arguments.json);
}

}  // namespace

int main(int argc, char** argv)
{
    const Request request = RequestOf(argc, argv);
    if (request != Request::Run)
        return PrintRequested(kProgram, request, ProbeHelp());
    const ProbeArguments arguments = ParseProbeArguments(argc, argv);
    if (arguments.problem.Found())
        return ReportUsageProblem(kProgram, arguments.problem);
    try
    {
        return Run(arguments);
    }
    catch (const std::bad_alloc&)
    {
        return ReportOutOfMemory(kProgram, arguments.file);
    }
}
