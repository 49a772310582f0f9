// The command line, run as a process: the banner and the usage text, every
// message on standard error with its exit status (refused inputs, images that
// cannot be written, help and version), and the four images of a good run.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <ostream>
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

// --- What every run says -------------------------------------------------------

// One case of the table: what the directory holds, the arguments, and what
// the run must print, leave behind and end with. "{dir}" in an argument or a
// line stands for the case's directory.
struct Diagnosis
{
    const char* name;
    void (*prepare)(const std::filesystem::path& dir);
    std::vector<std::string> arguments;
    bool asNobody;                    // run as an ordinary user (files of mode 000 stay unread)
    int status;
    const char* out;                  // "banner", "help" or "version"
    std::vector<std::string> errors;  // the lines on standard error
    std::vector<std::string> images;  // the images written whole, by suffix
};

void PrintTo(const Diagnosis& diagnosis, std::ostream* out)
{
    *out << diagnosis.name;
}

std::string Expand(std::string text, const std::filesystem::path& dir)
{
    for (size_t at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}"))
        text.replace(at, 5, dir.string());
    return text;
}

void Sized(const std::filesystem::path& path, uintmax_t bytes)
{
    WriteFile(path, {});
    std::filesystem::resize_file(path, bytes);
}

void Chart(const std::filesystem::path& dir)
{
    ASSERT_TRUE(WriteChartFile(dir / "in.raf"));
}

// A name so long that ".f0.bmp" just fits the file system's limit for one
// name and ".src.bmp" is one character too many.
std::string LongestName()
{
    return std::string(255 - 7 - 4, 'n') + ".raf";
}

const std::string kLongName = LongestName();

const Diagnosis kDiagnoses[] = {
    {"MissingInput", nullptr, {"{dir}/in.raf"}, false, 1, "banner",
     {"diagraw: {dir}/in.raf: No such file or directory"}, {}},
    {"Directory", [](const std::filesystem::path& dir) { std::filesystem::create_directory(dir / "in.raf"); },
     {"{dir}/in.raf"}, false, 1, "banner", {"diagraw: {dir}/in.raf: Is a directory"}, {}},
    {"FifoWithoutWaitingForAWriter", [](const std::filesystem::path& dir) { mkfifo((dir / "in.raf").c_str(), 0600); },
     {"{dir}/in.raf"}, false, 1, "banner", {"diagraw: {dir}/in.raf: not a regular file"}, {}},
    {"Empty", [](const std::filesystem::path& dir) { Sized(dir / "in.raf", 0); }, {"{dir}/in.raf"}, false, 1,
     "banner", {"diagraw: {dir}/in.raf: file too short: 0 bytes, at least 18,937,856 needed"}, {}},
    {"OneByteShort", [](const std::filesystem::path& dir) { Sized(dir / "in.raf", kTailBytes - 1); },
     {"{dir}/in.raf"}, false, 1, "banner",
     {"diagraw: {dir}/in.raf: file too short: 18,937,855 bytes, at least 18,937,856 needed"}, {}},
    {"Unreadable",
     [](const std::filesystem::path& dir) {
         Sized(dir / "in.raf", kTailBytes);
         std::filesystem::permissions(dir / "in.raf", std::filesystem::perms::none);
     },
     {"{dir}/in.raf"}, true, 1, "banner", {"diagraw: {dir}/in.raf: Permission denied"}, {}},
    // Control characters and a backslash in the name are shown escaped.
    {"ControlCharactersEscaped", nullptr, {"{dir}/in\n\x1b[2J\\x.raf"}, false, 1, "banner",
     {"diagraw: {dir}/in\\n\\x1b[2J\\\\x.raf: No such file or directory"}, {}},
    {"Help", nullptr, {"--help"}, false, 0, "help", {}, {}},
    {"HelpShort", nullptr, {"-h"}, false, 0, "help", {}, {}},
    {"Version", nullptr, {"--version"}, false, 0, "version", {}, {}},
    // A file of that name is an input like any other.
    {"FileNamedHelp", [](const std::filesystem::path& dir) { Sized(dir / "--help", 100); }, {"--help"}, false, 1,
     "banner", {"diagraw: --help: file too short: 100 bytes, at least 18,937,856 needed"}, {}},
    {"ImageNamesTakenByDirectories",
     [](const std::filesystem::path& dir) {
         Chart(dir);
         std::filesystem::create_directory(dir / "in.raf.f1.bmp");
         std::filesystem::create_directory(dir / "in.raf.bmp");
     },
     {"{dir}/in.raf"}, false, 1, "banner",
     {"diagraw: {dir}/in.raf.f1.bmp: Is a directory", "diagraw: {dir}/in.raf.bmp: Is a directory"},
     {".f0.bmp", ".src.bmp"}},
    {"ImageNameTooLong", [](const std::filesystem::path& dir) { ASSERT_TRUE(WriteChartFile(dir / kLongName)); },
     {kLongName}, false, 1, "banner", {"diagraw: " + kLongName + ".src.bmp: File name too long"},
     {".f0.bmp", ".f1.bmp", ".bmp"}},
    // Refused before anything is rendered, the FIFO and the input staying
    // as they are; the other images are written.
    {"ImageNameTakenByAFifo",
     [](const std::filesystem::path& dir) {
         Chart(dir);
         mkfifo((dir / "in.raf.src.bmp").c_str(), 0600);
     },
     {"{dir}/in.raf"}, false, 1, "banner", {"diagraw: {dir}/in.raf.src.bmp: not a regular file"},
     {".f0.bmp", ".f1.bmp", ".bmp"}},
    {"InputUnderAnImageName",
     [](const std::filesystem::path& dir) {
         ASSERT_TRUE(WriteChartFile(dir / "in.raf.bmp"));
         std::filesystem::create_symlink("in.raf.bmp", dir / "in.raf");
     },
     {"{dir}/in.raf"}, false, 1, "banner", {"diagraw: {dir}/in.raf.bmp: is the input file, which is never replaced"},
     {".f0.bmp", ".f1.bmp", ".src.bmp"}},
    {"ReadOnlyDirectory", Chart, {"{dir}/in.raf"}, true, 1, "banner",
     {"diagraw: {dir}/in.raf.f0.bmp: Permission denied", "diagraw: {dir}/in.raf.f1.bmp: Permission denied",
      "diagraw: {dir}/in.raf.src.bmp: Permission denied", "diagraw: {dir}/in.raf.bmp: Permission denied"},
     {}},
};

class Diagnostics : public testing::TestWithParam<Diagnosis>
{
};

INSTANTIATE_TEST_SUITE_P(Cases, Diagnostics, testing::ValuesIn(kDiagnoses),
                         [](const auto& instance) { return std::string(instance.param.name); });

// Each case prints what it must on both outputs, ends with its status, writes
// its images whole and leaves nothing else: no temporary, no partial image.
TEST_P(Diagnostics, PrintsItsLinesAndEndsWithItsStatus)
{
    const Diagnosis& diagnosis = GetParam();
    TempDir dir;
    if (diagnosis.prepare != nullptr)
        diagnosis.prepare(dir.Path());
    std::vector<std::string> argv = {kDiagrawExe};
    for (const std::string& argument : diagnosis.arguments)
        argv.push_back(Expand(argument, dir.Path()));
    if (diagnosis.asNobody && geteuid() == 0)
    {
        // The superuser reads and writes everything: the program runs as
        // nobody, in a directory it may read but not write.
        if (access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "running as root without setpriv";
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                     std::filesystem::perms::group_exec |
                                                     std::filesystem::perms::others_read |
                                                     std::filesystem::perms::others_exec);
    }
    const std::set<std::string> before = NamesIn(dir.Path());
    const ProcessResult result = RunProcess(argv, std::chrono::seconds(120), std::string(), dir.Path());
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, diagnosis.status);

    const std::string out = diagnosis.out;
    if (out == "version")
    {
        EXPECT_EQ(result.out, "diagraw 0.3\n");
    }
    else if (out == "help")
    {
        const std::string usage = "Usage:\n" + std::string(kDiagrawExe) + ": <.raf>\n";
        EXPECT_EQ(result.out.substr(BannerOf(result.out).size(), usage.size()), usage) << result.out;
        for (const Output& output : kOutputs)
            EXPECT_NE(result.out.find(std::string("<.raf>") + output.suffix + " "), std::string::npos) << output.suffix;
    }
    else
    {
        ExpectBannerOnly(result.out);
    }

    std::string errors;
    for (const std::string& line : diagnosis.errors)
        errors += Expand(line, dir.Path()) + "\n";
    EXPECT_EQ(result.err, errors);

    std::set<std::string> after = before;
    const std::string stem = diagnosis.arguments.empty() ? "" : Expand(diagnosis.arguments[0], dir.Path());
    for (const std::string& suffix : diagnosis.images)
    {
        std::filesystem::path image = stem + suffix;
        if (image.is_relative())
            image = dir.Path() / image;
        after.insert(image.filename().string());
        const Output& output = *std::find_if(std::begin(kOutputs), std::end(kOutputs),
                                             [&](const Output& o) { return suffix == o.suffix; });
        EXPECT_EQ(std::filesystem::exists(image) ? std::filesystem::file_size(image) : 0, output.bytes) << suffix;
    }
    EXPECT_EQ(NamesIn(dir.Path()), after) << "no other file may appear or go";
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
    EXPECT_EQ(extra.err, "diagraw: 2 further arguments ignored; diagraw converts one file per run\n");
    EXPECT_EQ(NamesIn(extraDir.Path()), expectedNames);
    for (const Output& output : kOutputs)
    {
        const std::string name = std::string("chart.raf") + output.suffix;
        EXPECT_TRUE(SameContents(extraDir / name, plainDir / name)) << name;
    }
}

}  // namespace
