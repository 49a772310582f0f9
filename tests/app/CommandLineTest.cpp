// The command line, run as a process: the banner, the usage text, the exit
// statuses, the refused inputs and the four images of a good run.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace
{

constexpr const char* kVersion = " v0.3";
constexpr uintmax_t kFieldImageBytes = 25'247'798;
constexpr uintmax_t kMosaicImageBytes = 103'551'030;
constexpr uintmax_t kTailBytes = 18'937'856;

// The four outputs of a run on stem, in the order they are written, with
// their sizes.
struct Output
{
    const char* suffix;
    uintmax_t bytes;
};

constexpr Output kOutputs[] = {
    {".f0.bmp", kFieldImageBytes},
    {".f1.bmp", kFieldImageBytes},
    {".src.bmp", kMosaicImageBytes},
    {".bmp", kMosaicImageBytes},
};

std::set<std::string> NamesIn(const std::filesystem::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// True when the two files hold the same bytes; compared in chunks, as the
// images are large.
bool SameContents(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::ifstream inA(a, std::ios::binary);
    std::ifstream inB(b, std::ios::binary);
    std::vector<char> chunkA(1 << 20);
    std::vector<char> chunkB(1 << 20);
    while (inA && inB)
    {
        inA.read(chunkA.data(), static_cast<std::streamsize>(chunkA.size()));
        inB.read(chunkB.data(), static_cast<std::streamsize>(chunkB.size()));
        if (inA.gcount() != inB.gcount() || !std::equal(chunkA.begin(), chunkA.begin() + inA.gcount(), chunkB.begin()))
            return false;
    }
    return inA.eof() && inB.eof();
}

// The output holds exactly one line, the banner: a title naming diagraw
// followed by the version.
void ExpectBannerOnly(const std::string& out)
{
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    const std::string line = out.substr(0, out.size() - 1);
    EXPECT_NE(line.find("diagraw"), std::string::npos) << line;
    ASSERT_GE(line.size(), std::string(kVersion).size());
    EXPECT_EQ(line.substr(line.size() - std::string(kVersion).size()), kVersion) << line;
}

std::string BannerOf(const std::string& out)
{
    return out.substr(0, out.find('\n') + 1);
}

// --- No argument --------------------------------------------------------

struct UsageCase
{
    const char* name;
    const char* invocation;  // the child's argv[0]
    const char* shownName;   // the name the usage line must show
};

class Usage : public testing::TestWithParam<UsageCase>
{
};

TEST_P(Usage, PrintsBannerAndUsageWithTheNameAfterTheLastBackslash)
{
    TempDir dir;
    const ProcessResult result = RunProcess({kDiagrawExe}, std::chrono::seconds(20), GetParam().invocation, dir.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "");
    const std::string banner = BannerOf(result.out);
    ExpectBannerOnly(banner);
    EXPECT_EQ(result.out.substr(banner.size()), std::string("Usage:\n") + GetParam().shownName + ": <.raf>\n");
    EXPECT_TRUE(NamesIn(dir.Path()).empty());
}

// Only the backslash separates: a forward slash stays part of the name.
INSTANTIATE_TEST_SUITE_P(ProgramNames, Usage,
                         testing::Values(UsageCase{"WindowsPath", "D:\\tools\\prog.exe", "prog.exe"},
                                         UsageCase{"BareName", "prog", "prog"},
                                         UsageCase{"ForwardSlashes", "./bin/prog", "./bin/prog"},
                                         UsageCase{"MixedSlashes", "C:/tools\\bin/prog", "bin/prog"},
                                         UsageCase{"NetworkPath", "\\\\server\\share\\diagraw.exe", "diagraw.exe"},
                                         UsageCase{"TrailingBackslash", "tools\\", ""}),
                         [](const testing::TestParamInfo<UsageCase>& instance) { return std::string(instance.param.name); });

// --- Inputs that are refused ------------------------------------------------

enum class BadInput { Missing, Empty, Tiny, OneByteShort, Directory, Fifo };

std::string BadInputName(const testing::TestParamInfo<BadInput>& instance)
{
    switch (instance.param)
    {
    case BadInput::Missing:
        return "Missing";
    case BadInput::Empty:
        return "Empty";
    case BadInput::Tiny:
        return "Tiny";
    case BadInput::OneByteShort:
        return "OneByteShort";
    case BadInput::Directory:
        return "Directory";
    case BadInput::Fifo:
        break;
    }
    return "Fifo";
}

class RefusedInputRun : public testing::TestWithParam<BadInput>
{
};

TEST_P(RefusedInputRun, EndsWithStatus1AfterTheBannerAloneAndWritesNothing)
{
    TempDir dir;
    const auto input = dir / "input.raf";
    switch (GetParam())
    {
    case BadInput::Missing:
        break;
    case BadInput::Empty:
        WriteFile(input, {});
        break;
    case BadInput::Tiny:
        WriteFile(input, std::vector<uint8_t>(100, 0x5A));
        break;
    case BadInput::OneByteShort:
        WriteFile(input, {});
        std::filesystem::resize_file(input, kTailBytes - 1);
        break;
    case BadInput::Directory:
        std::filesystem::create_directory(input);
        break;
    case BadInput::Fifo:
        ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
        break;
    }
    const std::set<std::string> before = NamesIn(dir.Path());
    const ProcessResult result = RunProcess({kDiagrawExe, input.string()}, std::chrono::seconds(20));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "");
    ExpectBannerOnly(result.out);
    EXPECT_EQ(NamesIn(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RefusedInputRun,
                         testing::Values(BadInput::Missing, BadInput::Empty, BadInput::Tiny, BadInput::OneByteShort,
                                         BadInput::Directory, BadInput::Fifo),
                         BadInputName);

TEST(CommandLine, UnreadableFileIsRefused)
{
    // The superuser reads every file: the program then runs as nobody,
    // through setpriv. The directory is open to everyone, so that a wrongly
    // accepted input would leave images behind.
    TempDir dir;
    const auto input = dir / "locked.raf";
    WriteFile(input, {});
    std::filesystem::resize_file(input, kTailBytes);
    std::filesystem::permissions(input, std::filesystem::perms::none);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    std::vector<std::string> argv = {kDiagrawExe, input.string()};
    if (geteuid() == 0)
    {
        if (access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "running as root without setpriv";
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    const ProcessResult result = RunProcess(argv, std::chrono::seconds(60));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "");
    ExpectBannerOnly(result.out);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"locked.raf"});
}

TEST(CommandLine, SecondArgumentIsNotUsedWhenTheFirstIsMissing)
{
    TempDir dir;
    ASSERT_TRUE(WriteChartFile(dir / "chart.raf"));
    const ProcessResult result =
        RunProcess({kDiagrawExe, (dir / "missing.raf").string(), (dir / "chart.raf").string()}, std::chrono::seconds(60));
    EXPECT_EQ(result.exitStatus, 1);
    ExpectBannerOnly(result.out);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"chart.raf"});
}

// --- Good runs on the chart ---------------------------------------------------

// Two full runs on the chart in one test (each writes 257 MB): one with the
// path alone, relative to the working directory, and one with further
// arguments, which must change nothing.
TEST(CommandLine, ChartRunWithAndWithoutFurtherArguments)
{
    TempDir plainDir;
    TempDir extraDir;
    ASSERT_TRUE(WriteChartFile(plainDir / "chart.raf"));
    std::filesystem::copy_file(plainDir / "chart.raf", extraDir / "chart.raf");
    // An older image of one of the names must be replaced.
    WriteFile(plainDir / "chart.raf.bmp", std::vector<uint8_t>(10, 0x11));
    const ProcessResult plain =
        RunProcess({kDiagrawExe, "chart.raf"}, std::chrono::seconds(240), std::string(), plainDir.Path());
    const ProcessResult extra = RunProcess({kDiagrawExe, "chart.raf", "second.raf", "--third"},
                                           std::chrono::seconds(240), std::string(), extraDir.Path());

    EXPECT_EQ(plain.exitStatus, 0);
    EXPECT_EQ(plain.err, "");
    ExpectBannerOnly(plain.out);

    // The four images, named after the unchanged path, complete, written in
    // the order of the pipeline, and nothing else.
    std::set<std::string> expectedNames = {"chart.raf"};
    std::filesystem::file_time_type previous = std::filesystem::file_time_type::min();
    for (const Output& output : kOutputs)
    {
        const std::string name = std::string("chart.raf") + output.suffix;
        expectedNames.insert(name);
        ASSERT_TRUE(std::filesystem::exists(plainDir / name)) << name;
        EXPECT_EQ(std::filesystem::file_size(plainDir / name), output.bytes) << name;
        const auto written = std::filesystem::last_write_time(plainDir / name);
        EXPECT_LE(previous, written) << name << " written before the image before it";
        previous = written;
    }
    EXPECT_EQ(NamesIn(plainDir.Path()), expectedNames);

    EXPECT_EQ(extra.exitStatus, plain.exitStatus);
    EXPECT_EQ(extra.out, plain.out);
    EXPECT_EQ(extra.err, plain.err);
    EXPECT_EQ(NamesIn(extraDir.Path()), expectedNames);
    for (const Output& output : kOutputs)
    {
        const std::string name = std::string("chart.raf") + output.suffix;
        EXPECT_TRUE(SameContents(extraDir / name, plainDir / name)) << name;
    }
}

}  // namespace
