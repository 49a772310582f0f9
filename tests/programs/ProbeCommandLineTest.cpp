// diagraw-probe as a process: the one-line failures with their exit
// statuses (the help and the version: tests/programs/FrontEndTest.cpp), and the --json output: the same text as the report
// computed in this process, and JSON that Python's parser reads with every
// key in it.
#include "metadata/ExifMetadata.h"
#include "platform/Status.h"
#include "probe/CellReport.h"
#include "probe/FieldStats.h"
#include "probe/FileInfo.h"
#include "probe/JsonWriter.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"
#include "tools/RafContainer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace testsupport;

namespace
{

struct FailureCase
{
    std::vector<std::string> arguments;
    int exitStatus;
    std::string message;  // the line on standard error after "diagraw-probe: "
};

TEST(ProbeCommandLine, FailuresPrintOneLineAndExitWithTheirStatus)
{
    TempDir dir;
    const std::string chart = (dir / "chart.raf").string();
    const std::string tiny = (dir / "tiny.raf").string();
    const std::string missing = (dir / "missing.raf").string();
    ASSERT_TRUE(WriteChartFile(chart));
    WriteFile(tiny, std::vector<uint8_t>(100));
    const std::string outside = ") lies outside the 5088 x 5088 image";
    const std::string seeHelp = " (see diagraw-probe --help)";
    const FailureCase cases[] = {
        {{"stats", missing}, 1, missing + ": " + DescribeStatus(ENOENT)},
#if !defined(_WIN32)
        {{"stats", missing + "\t\x7f\n"}, 1, missing + "\\t\\x7f\\n: " + DescribeStatus(ENOENT)},
#endif
        {{"cell", tiny, "1", "1"}, 1, tiny + ": file too short: 100 bytes, at least 18,937,856 needed"},
        {{"cell", chart, "5088", "0"}, 1, chart + ": pixel (5088, 0" + outside},
        {{"cell", chart, "0", "5088"}, 1, chart + ": pixel (0, 5088" + outside},
        {{"cell", chart, "-1", "7"}, 1, chart + ": pixel (-1, 7" + outside},
        {{"cell", chart, "3", "-99999999999"}, 1, chart + ": pixel (3, -99999999999" + outside},
        {{}, 2, "command: missing" + seeHelp},
        {{"show", chart}, 2, "show: unknown command" + seeHelp},
        {{"stats", chart, "--csv"}, 2, "--csv: unknown option" + seeHelp},
        {{"stats", "--json"}, 2, "stats: expects FILE.raf" + seeHelp},
        {{"cell", chart, "1"}, 2, "cell: expects FILE.raf X Y" + seeHelp},
        {{"cell", chart, "1x", "1"}, 2, "1x: X is not a whole number" + seeHelp},
        {{"cell", chart, "1", "-"}, 2, "-: Y is not a whole number" + seeHelp},
        {{"info", missing}, 1, missing + ": " + DescribeStatus(ENOENT)},
        {{"info", dir.Path().string()}, 1, dir.Path().string() + ": " + DescribeStatus(EISDIR)},
        {{"stats", chart, "--area", "0", "0", "0", "9"}, 1, chart + ": the area 0 x 9 is empty"},
        {{"stats", chart, "--area", "5000", "-1", "9", "9"}, 1,
         chart + ": the area 9 x 9 at (5000, -1) reaches outside the 5088 x 5088 image"},
        {{"stats", chart, "--area", "1", "2", "3"}, 2, "--area: expects X Y W H" + seeHelp},
        {{"stats", chart, "--area", "1", "2", "3", "w"}, 2, "w: not a whole number" + seeHelp},
        {{"cell", chart, "--area", "1", "2", "3", "4"}, 2, "--area: unknown option" + seeHelp},
        {{"pair", chart}, 2, "pair: expects A.raf B.raf" + seeHelp},
        {{"pair", chart, chart, "--json", "--csv"}, 2, "--csv: and --json cannot both be given" + seeHelp},
        {{"ptc", chart, chart}, 2, "ptc: expects --dark D1 D2" + seeHelp},
        {{"ptc", "--dark", chart, chart, chart}, 2,
         "ptc: expects --dark D1 D2 FLAT1A FLAT1B [FLAT2A FLAT2B ...]" + seeHelp},
        {{"defects", "--darks"}, 2, "--darks: expects FILE..." + seeHelp},
        {{"defects", "--sigma", "8"}, 2, "defects: expects --darks FILE... or --flats FILE..." + seeHelp},
        {{"defects", "--darks", chart, "--sigma", "0"}, 2, "--sigma: must be above 0" + seeHelp},
        {{"defects", "--darks", chart, "--dead-below", "1"}, 2, "--dead-below: must lie between 0 and 1" + seeHelp},
        {{"defects", "--darks", chart, "--gain", "x"}, 2, "x: not a number" + seeHelp},
        {{"defects", "extra", "--darks", chart}, 2,
         "defects: expects --darks FILE... | --flats FILE... [--darks FILE...]" + seeHelp},
        {{"fields", chart, "--sigma", "3"}, 2, "--sigma: unknown option" + seeHelp},
        {{"pair", chart, missing}, 1, missing + ": " + DescribeStatus(ENOENT)},
        {{"defects", "--darks", chart, tiny}, 1, tiny + ": file too short: 100 bytes, at least 18,937,856 needed"},
        {{"fields", chart, "--area", "0", "0", "0", "9"}, 1, chart + ": the area 0 x 9 is empty"},
    };
    for (const FailureCase& c : cases)
    {
        std::vector<std::string> argv = {kProbeExe};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult result = RunProcess(argv);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.message;
        EXPECT_EQ(result.err, "diagraw-probe: " + c.message + "\n");
        EXPECT_EQ(result.out, "");
    }
}

#if !defined(_WIN32)
// A name holding control bytes (an xterm title sequence, ESC ] 0 ; ... BEL,
// and a line break) reaches every table escaped as the failure lines show
// it; the tables are otherwise those of the same file under a plain name.
TEST(ProbeCommandLine, TablesShowNamesEscaped)
{
    TempDir dir;
    const std::string plain = (dir / "plain.raf").string();
    const std::string odd = (dir / "x\x1b]0;owned\a\n.raf").string();
    const std::string shown = (dir / "x\\x1b]0;owned\\x07\\n.raf").string();
    ASSERT_TRUE(WriteChartFile(plain));
    std::filesystem::create_hard_link(plain, odd);
    const std::vector<std::string> commands[] = {
        {"info"}, {"stats"}, {"stats", "--area", "2000", "2000", "6", "6"}, {"cell", "2000", "2000"}};
    for (const std::vector<std::string>& command : commands)
    {
        const auto run = [&](const std::string& file) {
            std::vector<std::string> argv = {kProbeExe, command[0], file};
            argv.insert(argv.end(), command.begin() + 1, command.end());
            return RunProcess(argv);
        };
        const ProcessResult expected = run(plain);
        const ProcessResult escaped = run(odd);
        ASSERT_EQ(expected.exitStatus, 0) << command[0];
        std::string text = expected.out;
        for (size_t at = text.find(plain); at != std::string::npos; at = text.find(plain, at + shown.size()))
            text.replace(at, plain.size(), shown);
        EXPECT_EQ(escaped.out, text) << command[0];
    }
}
#endif

// Strings in JSON are escaped by its rules: the quote, the backslash and
// every control character; other bytes pass as they are.
TEST(ProbeJson, StringsEscapedByJsonRules)
{
    const std::pair<std::string, std::string> strings[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
        {std::string("\x00\x01\x1b\x1f", 4), "\"\\u0000\\u0001\\u001b\\u001f\""},
        {"\n\t\r", "\"\\u000a\\u0009\\u000d\""},
        {"\x7f \xc3\xa9", "\"\x7f \xc3\xa9\""},
    };
    for (const auto& [text, json] : strings)
    {
        CJsonWriter writer;
        writer.String(text);
        EXPECT_EQ(writer.Text(), json);
    }
}

#ifndef _WIN32  // the Python of the build machine reads the output

// Exits with 0 when the JSON file named first parses and holds every path
// named after it ("fields.0.colours.red.p50").
constexpr const char* kReader =
    "import json, sys\n"
    "value = json.load(open(sys.argv[1]))\n"
    "for path in sys.argv[2:]:\n"
    "    at = value\n"
    "    for key in path.split('.'):\n"
    "        at = at[int(key)] if isinstance(at, list) else at[key]\n";

void ExpectJson(const TempDir& dir, std::vector<std::string> probe, const std::string& expected,
                const std::vector<std::string>& paths)
{
    probe.insert(probe.begin(), kProbeExe);
    const ProcessResult output = RunProcess(probe);
    ASSERT_EQ(output.exitStatus, 0) << output.err;
    EXPECT_EQ(output.out, expected);
    const auto json = dir / "output.json";
    WriteFile(json, std::vector<uint8_t>(output.out.begin(), output.out.end()));
    std::vector<std::string> reader = {"/usr/bin/env", "python3", "-c", kReader, json.string()};
    reader.insert(reader.end(), paths.begin(), paths.end());
    const ProcessResult read = RunProcess(reader);
    EXPECT_EQ(read.exitStatus, 0) << read.err;
}

TEST(ProbeJson, StatsAndCellsOfTheChart)
{
    TempDir dir;
    const std::string chart = (dir / "chart.raf").string();
    ASSERT_TRUE(WriteChartFile(chart));

    CRawX10 raw;
    ASSERT_EQ(raw.LoadFields(chart.c_str()), kStatusOk);
    const FieldStats stats[2] = {ComputeFieldStats(raw.m_field0.get(), raw.m_width, raw.m_height),
                                 ComputeFieldStats(raw.m_field1.get(), raw.m_width, raw.m_height)};
    std::vector<std::string> paths = {"size", "header_bytes", "fields.0.field", "fields.1.field"};
    for (const char* colour : {"red", "green", "blue"})
        for (const char* key : {"count", "min", "max", "mean", "stddev", "zeros", "clipped", "p1", "p50", "p99",
                                "histogram.63"})
            paths.push_back(std::string("fields.1.colours.") + colour + "." + key);
    ExpectJson(dir, {"stats", chart, "--json"}, StatsJson(raw, stats), paths);

    // A demosaiced cell (x and y apart, so that a swap shows), then pixels
    // that show no cell or a cell outside the window.
    const std::vector<std::string> explained = {
        "row", "column", "site_class", "colour", "field", "field_row", "field_column", "raw", "white_balanced",
        "neighbourhood.4.4", "gradients.NW", "threshold", "usable", "estimates.blue", "count", "pixel.red"};
    for (const auto& [x, y] : {std::pair{2000, 1500}, {0, 9}, {2000, 5087}, {5081, 9}})
    {
        CRawX10 loaded;
        ASSERT_EQ(loaded.Load(chart.c_str()), kStatusOk);
        const PixelExplanation e = ExplainPixel(loaded.Samples(), x, y);
        ExpectJson(dir, {"cell", "--json", chart, std::to_string(x), std::to_string(y)}, PixelJson(e),
                   e.demosaiced ? explained : std::vector<std::string>{"demosaiced", "reason", "pixel.blue"});
    }
}

// What a file is, reported with exit status 0 whatever it is: the synth's
// RAF, a JPEG, and a RAF whose sections lie past the end.
TEST(ProbeJson, InfoOnARafAJpegAndAnImpossibleHeader)
{
    TempDir dir;
    std::vector<uint8_t> raf = RafPrefixFor(CRawX10::kTailBytes);
    raf.resize(raf.size() + static_cast<size_t>(CRawX10::kTailBytes));
    std::vector<uint8_t> impossible = raf;
    impossible.resize(5000);
    WriteFile(dir / "synth.raf", raf);
    WriteFile(dir / "photo.jpg", SmallGreyJpeg());
    WriteFile(dir / "cut.raf", impossible);
    const std::vector<std::string> keys = {"size", "header_bytes", "signature", "raf"};
    const std::vector<std::string> rafKeys = {"raf.complete", "raf.camera_model", "raf.preview.place",
                                              "raf.raw_block.length", "raf.tail_in_raw_block"};
    for (const char* name : {"synth.raf", "photo.jpg", "cut.raf"})
    {
        const std::string path = (dir / name).string();
        FileHeader header;
        ExifMetadata exif;
        ASSERT_EQ(ReadHeaderAndExif(path.c_str(), header, exif), kStatusOk);
        std::vector<std::string> paths = keys;
        if (header.signature == FileSignature::Raf)
            paths.insert(paths.end(), rafKeys.begin(), rafKeys.end());
        if (!exif.Empty())
            paths.insert(paths.end(), {"exif.model", "exif.exposure_time", "exif.flash_fired", "exif.software"});
        ExpectJson(dir, {"info", path, "--json"}, InfoJson(header, exif), paths);
        const ProcessResult text = RunProcess({kProbeExe, "info", path});
        EXPECT_EQ(text.exitStatus, 0);
        EXPECT_EQ(text.out, InfoTable(path, header, exif));
    }
    const std::string rawBlockAt = std::to_string(raf.size() - static_cast<size_t>(CRawX10::kTailBytes));
    EXPECT_NE(InfoTable("cut.raf", ParseFileHeader(impossible.data(), kRafHeaderBytes, 5000), {})
                  .find("raw block          offset " + rawBlockAt + ", length 18937856: impossible, it would end at byte " +
                        std::to_string(raf.size()) + ", past the end of the file (5000 bytes)\n"),
              std::string::npos);
}

#endif

}  // namespace
