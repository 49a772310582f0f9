// diagraw-probe: the numbers behind diagraw's images, printed; no file is
// written.
//
//   info FILE [--json]      what the file is: size, signature, RAF header,
//                           the Exif of its preview
//   stats FILE [--area X Y W H] [--json]
//                           the samples of each field and filter colour, of
//                           all the file or of the cells an area shows
//   cell FILE X Y [--json]  why pixel (X, Y) of FILE.bmp has its colour
//   pair A B, ptc --dark D1 D2 FLAT1A FLAT1B ..., defects --darks FILES |
//   --flats FILES, fields FILE  [--area X Y W H] [--json | --csv]
//                           the sensor across frames (sensor/): temporal
//                           noise, photon transfer, stacks and defects, and
//                           the two fields of one frame
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
#include "sensor/FieldComparison.h"
#include "sensor/FramePair.h"
#include "sensor/FrameSeries.h"
#include "sensor/FrameStack.h"
#include "sensor/PhotonTransfer.h"
#include "sensor/SensorReports.h"
#include "sensor/StackFigures.h"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

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

ReportForm FormOf(const ProbeArguments& arguments)
{
    return arguments.json ? ReportForm::Json : arguments.csv ? ReportForm::Csv : ReportForm::Table;
}

// What the figures were taken over, for the reports.
AnalysedSamples AnalysedOf(const ProbeArguments& arguments, const SampleSelection& selection)
{
    return {arguments.hasArea ? &arguments.area : nullptr, &selection};
}

// The frames of one analysis, checked before any is loaded: what each
// one's Exif says (files that cannot be opened fail here, named), and that
// they share camera and ISO. kExitSuccess, or the status of the failure
// reported.
int ReadFrameFacts(const std::vector<const char*>& paths, std::vector<FrameFacts>& facts)
{
    for (const char* path : paths)
    {
        FileHeader header;
        ExifMetadata exif;
        const Status status = ReadHeaderAndExif(path, header, exif);
        if (status != kStatusOk)
            return ReportFailure(kProgram, path, status);
        facts.push_back(FactsOfFrame(path, exif));
    }
    if (const std::optional<FrameRefusal> refusal = RefusalOfFrames(facts))
        return ReportFailure(kProgram, facts[refusal->frame].name, refusal->reason);
    return kExitSuccess;
}

// Loads the fields of path into raw (next: as the next frame of a series,
// CRawX10::LoadNextFields): kExitSuccess, or the failure reported.
int LoadFrame(const char* path, CRawX10& raw, bool next = false)
{
    const Status status = next ? raw.LoadNextFields(path) : raw.LoadFields(path);
    return status == kStatusOk ? kExitSuccess : ReportFailure(kProgram, path, DescribeInputFailure(raw, status));
}

// The samples of the area (or all), once the area is found inside the
// image: kExitSuccess, or the failure reported against path.
int SelectSamples(const ProbeArguments& arguments, const char* path, SampleSelection& selection)
{
    constexpr int32_t kSide = CRawX10::kMosaicSide;
    const ImageArea* area = arguments.hasArea ? &arguments.area : nullptr;
    if (area != nullptr)
    {
        const Status inside = CheckArea(*area, kSide);
        if (inside != kStatusOk)
            return ReportFailure(kProgram, path, DescribeAreaProblem(inside, *area, kSide));
    }
    selection = SamplesOfArea(CRawX10::kFieldWidth, CRawX10::kFieldHeight, area);
    return kExitSuccess;
}

// The figures of the pair of frames a, b, whose facts were read, loaded
// into frames (the memory of the pair before).
int PairFiguresOf(const char* a, const char* b, const SampleSelection& selection, CRawX10 (&frames)[2],
                  ChannelPairFigures& figures)
{
    int exit = LoadFrame(a, frames[0], true);
    if (exit == kExitSuccess)
        exit = LoadFrame(b, frames[1], true);
    if (exit == kExitSuccess)
        figures = ComputePairFigures(frames[0].Samples(), frames[1].Samples(), selection, &frames[0].Workers());
    return exit;
}

// The frames of pairs (A B, A B, ...), their facts read and each pair's
// exposures alike: kExitSuccess, or the failure reported.
int CheckPairs(const std::vector<const char*>& paths, std::vector<FrameFacts>& facts)
{
    int exit = ReadFrameFacts(paths, facts);
    for (size_t i = 0; exit == kExitSuccess && i + 1 < facts.size(); i += 2)
        if (const std::optional<std::string> refusal = RefusalOfPair(facts[i], facts[i + 1]))
            exit = ReportFailure(kProgram, facts[i + 1].name, *refusal);
    return exit;
}

// The figures of each pair of arguments.frames (pair: one, ptc: the dark
// pair and the flat pairs), loaded one pair at a time once every frame's
// facts are read and found alike.
int ReadPairs(const ProbeArguments& arguments, std::vector<FrameFacts>& facts, SampleSelection& selection,
              std::vector<ChannelPairFigures>& pairs)
{
    int exit = CheckPairs(arguments.frames, facts);
    if (exit == kExitSuccess)
        exit = SelectSamples(arguments, arguments.frames[0], selection);
    CRawX10 frames[2];
    for (size_t i = 0; exit == kExitSuccess && i + 1 < arguments.frames.size(); i += 2)
    {
        pairs.emplace_back();
        exit = PairFiguresOf(arguments.frames[i], arguments.frames[i + 1], selection, frames, pairs.back());
    }
    return exit;
}

// pair and ptc: the figures of each pair, then the pair's report or the
// curve fitted through the flat pairs.
int RunPairs(const ProbeArguments& arguments)
{
    std::vector<FrameFacts> facts;
    SampleSelection selection;
    std::vector<ChannelPairFigures> pairs;
    const int exit = ReadPairs(arguments, facts, selection, pairs);
    if (exit != kExitSuccess)
        return exit;
    if (arguments.command == ProbeCommand::Pair)
        return PrintText(kProgram, PairReport(pairs[0], AnalysedOf(arguments, selection), FormOf(arguments)));
    std::vector<double> exposures;
    for (size_t i = 2; i < facts.size(); i += 2)
        exposures.push_back(facts[i].ExposureSeconds());
    std::array<PtcFigures, kChannels> figures;
    for (size_t channel = 0; channel < figures.size(); ++channel)
    {
        std::vector<PairFigures> flats;
        for (size_t p = 1; p < pairs.size(); ++p)
            flats.push_back(pairs[p][channel]);
        figures[channel] = FitPhotonTransfer(pairs[0][channel], flats, exposures);
    }
    return PrintText(kProgram, PtcReport(figures, AnalysedOf(arguments, selection), FormOf(arguments)));
}

// Reads the frames at paths one at a time into a stack of selection's
// samples and gives its figures.
int StackFiguresOf(const std::vector<const char*>& paths, StackKind kind, const ProbeArguments& arguments,
                   const SampleSelection& selection, StackFigures& figures)
{
    FrameStack stack = EmptyStack(selection);
    CRawX10 raw;  // one loader, whose workers also add each frame
    for (const char* path : paths)
    {
        const int exit = LoadFrame(path, raw, true);
        if (exit != kExitSuccess)
            return exit;
        if (!AddFrame(stack, raw.Samples(), &raw.Workers()))
            return ReportFailure(kProgram, path, "more than " + std::to_string(kMaxStackFrames) + " frames in one stack");
    }
    figures = ComputeStackFigures(stack, kind, {arguments.sigma, arguments.deadBelow}, &raw.Workers());
    return kExitSuccess;
}

int RunDefects(const ProbeArguments& arguments)
{
    std::vector<const char*> all = arguments.darks;
    all.insert(all.end(), arguments.flats.begin(), arguments.flats.end());
    std::vector<FrameFacts> facts;
    SampleSelection selection;
    int exit = ReadFrameFacts(all, facts);
    if (exit == kExitSuccess)
        exit = SelectSamples(arguments, all[0], selection);
    // One stack at a time: the darks' figures are kept, their stack is not.
    StackFigures darks;
    StackFigures flats;
    if (exit == kExitSuccess && !arguments.darks.empty())
        exit = StackFiguresOf(arguments.darks, StackKind::Darks, arguments, selection, darks);
    if (exit == kExitSuccess && !arguments.flats.empty())
        exit = StackFiguresOf(arguments.flats, StackKind::Flats, arguments, selection, flats);
    if (exit != kExitSuccess)
        return exit;
    const DefectsInput input = {arguments.darks.empty() ? nullptr : &darks,
                                arguments.flats.empty() ? nullptr : &flats, arguments.gain};
    return PrintText(kProgram, DefectsReport(input, AnalysedOf(arguments, selection), FormOf(arguments)));
}

int RunFields(const ProbeArguments& arguments)
{
    SampleSelection selection;
    CRawX10 raw;
    int exit = SelectSamples(arguments, arguments.file, selection);
    if (exit == kExitSuccess)
        exit = LoadFrame(arguments.file, raw);
    if (exit != kExitSuccess)
        return exit;
    return PrintText(kProgram, FieldsReport(CompareFields(raw.Samples(), selection), AnalysedOf(arguments, selection),
                                            FormOf(arguments)));
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
    case ProbeCommand::Pair:
    case ProbeCommand::Ptc:
        return RunPairs(arguments);
    case ProbeCommand::Defects:
        return RunDefects(arguments);
    case ProbeCommand::Fields:
        return RunFields(arguments);
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
        return ReportOutOfMemory(kProgram, arguments.file != nullptr ? arguments.file : "frames");
    }
}
