// The outputs of a real run as the file system sees them: names beyond ASCII,
// older files of the same names, and (on Windows) a final name that another
// process holds open. These paths differ most between the POSIX and the
// Windows file layer, so the same checks run on both.
#include "TestSupport.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <set>

using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

constexpr uintmax_t kFieldPreviewBytes = 25'247'798;
constexpr uintmax_t kMosaicPreviewBytes = 103'551'030;
const char8_t* const kSuffixes[] = {u8".f0.bmp", u8".f1.bmp", u8".src.bmp", u8".bmp"};
constexpr uintmax_t kOutputBytes[] = {kFieldPreviewBytes, kFieldPreviewBytes, kMosaicPreviewBytes,
                                      kMosaicPreviewBytes};

// The path as UTF-8 bytes, as the command line carries it on both systems.
std::string Utf8(const fs::path& path)
{
    const std::u8string bytes = path.u8string();
    return std::string(bytes.begin(), bytes.end());
}

fs::path WithSuffix(const fs::path& input, const char8_t* suffix)
{
    return fs::path(input.u8string() + suffix);
}

std::set<fs::path> NamesIn(const fs::path& directory)
{
    std::set<fs::path> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename());
    return names;
}

// Puts the chart, written under a plain name, at input.
void PlaceChart(const TempDir& scratch, const fs::path& input)
{
    ASSERT_TRUE(WriteChartFile(scratch / "chart.raf"));
    fs::create_directories(input.parent_path());
    fs::rename(scratch / "chart.raf", input);
}

}  // namespace

// Directory and file name hold letters of three scripts; every older output
// is longer than the new one and must be replaced whole, and no temporary may
// remain beside them.
TEST(OutputReplace, NonAsciiNamesAndOlderOutputsAreReplacedWhole)
{
    TempDir dir;
    const fs::path input = dir.Path() / u8"Bilder-λ-写真" / u8"chärt-λ-€.raf";
    PlaceChart(dir, input);
    const std::vector<uint8_t> older(kMosaicPreviewBytes + 1000, 0xA5);
    for (const char8_t* suffix : kSuffixes)
        WriteFile(WithSuffix(input, suffix), older);

    const ProcessResult run = RunProcess({kDiagrawExe, Utf8(input)});
    ASSERT_EQ(run.exitStatus, 0) << run.out;

    std::set<fs::path> expected = {input.filename()};
    for (size_t i = 0; i < std::size(kSuffixes); ++i)
    {
        const fs::path output = WithSuffix(input, kSuffixes[i]);
        EXPECT_EQ(fs::file_size(output), kOutputBytes[i]) << Utf8(output);
        expected.insert(output.filename());
    }
    EXPECT_EQ(NamesIn(input.parent_path()), expected);
}

#ifdef _WIN32
// A viewer that keeps an image open without sharing blocks its replacement:
// that image stays as it was, the other three are written, the exit status
// says that one failed, and the temporary is gone.
TEST(OutputReplace, OutputHeldOpenElsewhereIsLeftAsItWas)
{
    TempDir dir;
    const fs::path input = dir / "held.raf";
    PlaceChart(dir, input);
    const fs::path held = WithSuffix(input, u8".src.bmp");
    WriteFile(held, {'o', 'l', 'd'});
    const HANDLE viewer = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    const ProcessResult run = RunProcess({kDiagrawExe, Utf8(input)});
    CloseHandle(viewer);

    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(ReadFile(held), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(fs::file_size(WithSuffix(input, u8".f0.bmp")), kFieldPreviewBytes);
    EXPECT_EQ(fs::file_size(WithSuffix(input, u8".f1.bmp")), kFieldPreviewBytes);
    EXPECT_EQ(fs::file_size(WithSuffix(input, u8".bmp")), kMosaicPreviewBytes);
    EXPECT_EQ(NamesIn(dir.Path()).size(), 5u) << "a temporary was left behind";
}
#endif
