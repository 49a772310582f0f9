// diagraw-export as a process: every kind of the synth's RAF is read back by
// an independent reader (Pillow, with Debian's Python) and compared, sample
// for sample, with the library's arrays; the same input gives the same
// bytes; failures print one line with their exit status.
#include "demosaic/Demosaic.h"
#include "demosaic/Upright.h"
#include "raw/RawX10.h"
#include "tools/RafContainer.h"

#include "TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <tuple>

using namespace testsupport;

namespace
{

const char* const kExportExe = DIAGRAW_EXPORT_EXE;

// For each file named: "<mode> <width> <height> <tags>" on one line, and its
// samples as Pillow unpacks them (16-bit grey little-endian, RGB as bytes)
// in <file>.samples.
constexpr const char* kReader =
    "import sys\n"
    "from PIL import Image\n"
    "for name in sys.argv[1:]:\n"
    "    image = Image.open(name)\n"
    "    image.load()\n"
    "    tags = sorted(image.tag_v2.keys()) if hasattr(image, 'tag_v2') else []\n"
    "    print(image.mode, image.size[0], image.size[1], tags)\n"
    "    open(name + '.samples', 'wb').write(image.tobytes())\n";

std::vector<uint8_t> LittleEndian(const uint16_t* samples, size_t count)
{
    std::vector<uint8_t> bytes(2 * count);
    for (size_t i = 0; i < count; ++i)
    {
        bytes[2 * i] = static_cast<uint8_t>(samples[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(samples[i] >> 8);
    }
    return bytes;
}

std::string RunExport(const std::vector<std::string>& arguments, int expectedStatus)
{
    std::vector<std::string> argv = {kExportExe};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const ProcessResult run = RunProcess(argv);
    EXPECT_EQ(run.exitStatus, expectedStatus) << run.err;
    EXPECT_EQ(run.out, "");
    return run.err;
}

TEST(Export, EveryKindReadsBackWithTheLibrarysValues)
{
    TempDir dir;
    const std::string input = (dir / "synth.raf").string();
    ASSERT_EQ(RunProcess({kSynthExe, "--raf", input}).exitStatus, 0);
    const char* const kinds[] = {"field0", "field1", "fields", "mosaic", "balanced", "image", "upright", "preview"};
    std::vector<std::string> reader = {"/usr/bin/python3", "-c", kReader};
    for (const char* kind : kinds)
    {
        RunExport({input, kind, (dir / kind).string()}, 0);
        reader.push_back((dir / kind).string());
    }
    RunExport({"--compress", input, "mosaic", (dir / "mosaic.deflate").string()}, 0);
    reader.push_back((dir / "mosaic.deflate").string());
    const ProcessResult read = RunProcess(reader);
    ASSERT_EQ(read.exitStatus, 0) << read.err;
    const std::string tags = " [256, 257, 258, 259, 262, 270, 273, 277, 278, 279, 282, 283, 284, 296, 305]\n";
    EXPECT_EQ(read.out, "I;16 2944 2144" + tags + "I;16 2944 2144" + tags + "I;16 5888 2144" + tags +
                            "I;16 5088 5088" + tags +
                            "I;16 5088 5088" + tags + "RGB 5088 5088" + tags + "RGB 5888 4288" + tags +
                            "L 8 8 []\nI;16 5088 5088" + tags);
    const auto samplesOf = [&](const std::string& name) { return ReadFile(dir / (name + ".samples")); };

    CRawX10 raw;
    ASSERT_EQ(raw.Load(input.c_str()), kStatusOk);
    const size_t fieldSamples = static_cast<size_t>(raw.m_width) * static_cast<size_t>(raw.m_height);
    EXPECT_TRUE(samplesOf("field0") == LittleEndian(raw.m_field0.get(), fieldSamples));
    EXPECT_TRUE(samplesOf("field1") == LittleEndian(raw.m_field1.get(), fieldSamples));
    // fields: each row is field 0's row, then field 1's.
    const std::vector<uint8_t> fields = samplesOf("fields");
    const std::vector<uint8_t> single[2] = {samplesOf("field0"), samplesOf("field1")};
    const size_t fieldRowBytes = 2 * static_cast<size_t>(raw.m_width);
    ASSERT_EQ(fields.size(), 4 * fieldSamples);
    for (size_t y = 0; y < static_cast<size_t>(raw.m_height); ++y)
        for (size_t f = 0; f < 2; ++f)
            ASSERT_TRUE(std::equal(fields.begin() + static_cast<ptrdiff_t>((2 * y + f) * fieldRowBytes),
                                   fields.begin() + static_cast<ptrdiff_t>((2 * y + f + 1) * fieldRowBytes),
                                   single[f].begin() + static_cast<ptrdiff_t>(y * fieldRowBytes)))
                << "row " << y << " of field " << f;
    const int32_t side = raw.MosaicSide();
    const size_t cells = static_cast<size_t>(side) * static_cast<size_t>(side);
    EXPECT_TRUE(samplesOf("mosaic") == LittleEndian(raw.m_mosaic.get(), cells));
    EXPECT_TRUE(samplesOf("mosaic.deflate") == samplesOf("mosaic"));
    WhiteBalanceWindow(raw.m_mosaic.get(), side);
    EXPECT_TRUE(samplesOf("balanced") == LittleEndian(raw.m_mosaic.get(), cells));

    // image: the .bmp's rows, bottom-up BGR0, turned into top-down RGB.
    std::vector<uint8_t> bmpRows(cells * 4);
    RenderBalancedRows(MosaicRows{raw.m_mosaic.get(), raw.MosaicSide()}, 0, side, bmpRows.data());
    std::vector<uint8_t> image(cells * 3);
    for (size_t y = 0; y < static_cast<size_t>(side); ++y)
        for (size_t x = 0; x < static_cast<size_t>(side); ++x)
            for (size_t k = 0; k < 3; ++k)
                image[(y * static_cast<size_t>(side) + x) * 3 + k] =
                    bmpRows[((static_cast<size_t>(side) - 1 - y) * static_cast<size_t>(side) + x) * 4 + 2 - k];
    EXPECT_TRUE(samplesOf("image") == image);

    // upright: the library's view, itself checked against its definition
    // in tests/demosaic/UprightTest.cpp.
    std::vector<uint8_t> upright(4 * fieldSamples * 3);
    RenderUprightRows(DemosaicFieldCells(raw.Samples(), raw.Workers()), 0, 2 * raw.m_height, upright.data());
    EXPECT_TRUE(samplesOf("upright") == upright);

    EXPECT_TRUE(ReadFile(dir / "preview") == SynthPreviewJpeg());
    EXPECT_TRUE(samplesOf("preview") == std::vector<uint8_t>(64, 128));
}

TEST(Export, SameInputSameBytesAndFailuresInOneLine)
{
    TempDir dir;
    const std::string chart = (dir / "chart.raf").string();
    ASSERT_TRUE(WriteChartFile(chart));
    const std::string first = (dir / "first.tif").string();
    const std::string second = (dir / "second.tif").string();
    for (const bool compress : {false, true})
    {
        for (const std::string& out : {first, second})
            RunExport(compress ? std::vector<std::string>{"--compress", chart, "field1", out}
                               : std::vector<std::string>{chart, "field1", out},
                      0);
        EXPECT_TRUE(ReadFile(first) == ReadFile(second)) << compress;
    }

    const std::string missing = (dir / "missing.raf").string();
    WriteFile(dir / "tiny.raf", std::vector<uint8_t>(100));
    const std::string out = (dir / "out").string();
    const std::string seeHelp = " (see diagraw-export --help)\n";
    EXPECT_EQ(RunExport({chart, "preview", out}, 1),
              "diagraw-export: " + chart + ": no embedded preview: not a RAF file (signature: unknown)\n");
    // A RAF whose header gives the preview no length, or places it past the
    // end of the file.
    for (const auto& [name, at, why] : {std::tuple{"empty.raf", 88, "its length in the header is 0"},
                                        std::tuple{"far.raf", 84, "the header places it past the end of the file"}})
    {
        std::vector<uint8_t> raf = RafPrefixFor(CRawX10::kTailBytes);
        raf.resize(raf.size() + static_cast<size_t>(CRawX10::kTailBytes));
        std::fill_n(raf.begin() + at, 4, at == 88 ? 0 : 0x7f);
        const std::string path = (dir / name).string();
        WriteFile(path, raf);
        EXPECT_EQ(RunExport({path, "preview", out}, 1), "diagraw-export: " + path + ": no embedded preview: " + why + "\n");
    }
    EXPECT_EQ(RunExport({missing, "mosaic", out}, 1), "diagraw-export: " + missing + ": No such file or directory\n");
    EXPECT_EQ(RunExport({(dir / "tiny.raf").string(), "field0", out}, 1),
              "diagraw-export: " + (dir / "tiny.raf").string() + ": file too short: 100 bytes, at least 18,937,856 needed\n");
    EXPECT_EQ(RunExport({chart, "upright", (dir / "no" / "such" / "dir.tif").string()}, 1),
              "diagraw-export: " + (dir / "no" / "such" / "dir.tif").string() + ": No such file or directory\n");
    EXPECT_EQ(RunExport({chart, "jpeg", out}, 2),
              "diagraw-export: jpeg: unknown kind; one of field0, field1, fields, mosaic, balanced, image, upright, "
              "preview" + seeHelp);
    EXPECT_EQ(RunExport({chart, "image"}, 2), "diagraw-export: command line: expects FILE.raf KIND OUT" + seeHelp);
    EXPECT_EQ(RunExport({"--deflate", chart, "image", out}, 2), "diagraw-export: --deflate: unknown option" + seeHelp);
    EXPECT_FALSE(std::filesystem::exists(out));
}

// OUT that is the input, under its own name or through a link either way,
// is refused before anything is rendered and the input stays as it was; so
// is an OUT taken by a FIFO, which stays, and a name that cannot be a file.
TEST(Export, OutputThatIsTheInputOrCannotBeAFileIsRefusedFirst)
{
    TempDir dir;
    const std::filesystem::path input = dir / "synth.raf";
    ASSERT_EQ(RunProcess({kSynthExe, "--raf", input.string()}).exitStatus, 0);
    const std::vector<uint8_t> original = ReadFile(input);
    std::filesystem::create_symlink("synth.raf", dir / "symlink.raf");
    std::filesystem::create_hard_link(input, dir / "hard.raf");
    ASSERT_EQ(mkfifo((dir / "fifo.tif").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "sub");
    const std::string isInput = "is the input file, which is never replaced";
    const struct
    {
        const char* file;
        const char* kind;
        std::string out;
        std::string reason;
    } cases[] = {
        {"synth.raf", "preview", "synth.raf", isInput},    {"synth.raf", "field0", "synth.raf", isInput},
        {"synth.raf", "upright", "symlink.raf", isInput},  {"synth.raf", "mosaic", "hard.raf", isInput},
        {"symlink.raf", "preview", "synth.raf", isInput},  {"synth.raf", "image", "fifo.tif", "not a regular file"},
        {"synth.raf", "field1", "sub/", "Is a directory"}, {"synth.raf", "field1", std::string(256, 'n'), "File name too long"},
    };
    for (const auto& c : cases)
    {
        const std::string out = (dir / c.out).string();
        EXPECT_EQ(RunExport({(dir / c.file).string(), c.kind, out}, 1), "diagraw-export: " + out + ": " + c.reason + "\n");
    }
    EXPECT_TRUE(ReadFile(input) == original);
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.tif"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 5) << "no other file may appear";
}

}  // namespace
