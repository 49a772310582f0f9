// The BMP writer: header fields, pixel data taken unchanged, and output files
// that appear whole under their final name or not at all.
#include "TestSupport.h"

#include "formats/BmpWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

uint32_t LittleEndianAt(const uint8_t* bytes, int offset, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[offset + i];
    return value;
}

// Names in a directory, sorted; temporaries left behind would show up here.
std::set<std::string> NamesIn(const fs::path& directory)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

// Pixel bytes that differ from byte to byte, the fourth byte of each pixel
// included, so that any reordering or conversion would show.
std::vector<uint8_t> PatternPixels(int32_t width, int32_t height, uint8_t seed)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    uint32_t state = 0x9E3779B9u ^ seed;
    for (auto& byte : pixels)
    {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return pixels;
}

struct ImageSize
{
    int32_t width;
    int32_t height;
    uint32_t fileBytes;  // worked out by hand, not by the writer's formula
};

class BmpSizes : public ::testing::TestWithParam<ImageSize>
{
};

INSTANTIATE_TEST_SUITE_P(ProgramImages, BmpSizes,
                         ::testing::Values(ImageSize{2944, 2144, 25'247'798}, ImageSize{5088, 5088, 103'551'030},
                                           ImageSize{1, 1, 58}),
                         [](const auto& instance) {
                             return std::to_string(instance.param.width) + "x" + std::to_string(instance.param.height);
                         });

}  // namespace

TEST_P(BmpSizes, HeaderFieldsCoverAllBytes)
{
    const ImageSize size = GetParam();
    uint8_t header[kBmpHeaderBytes];
    std::memset(header, 0xAB, sizeof header);  // every byte must be set
    FillBmpHeader(header, size.width, size.height);

    struct Field
    {
        int offset;
        int size;
        uint32_t value;
    };
    const Field fields[] = {
        {0, 2, 0x4D42},  // "BM"
        {2, 4, size.fileBytes},
        {6, 2, 0},
        {8, 2, 0},
        {10, 4, 54},
        {14, 4, 40},
        {18, 4, static_cast<uint32_t>(size.width)},
        {22, 4, static_cast<uint32_t>(size.height)},  // positive: bottom-up rows
        {26, 2, 1},
        {28, 2, 32},
        {30, 4, 0},
        {34, 4, size.fileBytes - 54},
        {38, 4, 0},
        {42, 4, 0},
        {46, 4, 0},
        {50, 4, 0},
    };
    int covered = 0;
    for (const Field& field : fields)
    {
        EXPECT_EQ(field.offset, covered) << "fields must tile the header";
        EXPECT_EQ(LittleEndianAt(header, field.offset, field.size), field.value) << "offset " << field.offset;
        covered = field.offset + field.size;
    }
    EXPECT_EQ(covered, kBmpHeaderBytes);
    EXPECT_EQ(header[0], 'B');
    EXPECT_EQ(header[1], 'M');
}

TEST_P(BmpSizes, FileHoldsHeaderThenPixelsUnchanged)
{
    const ImageSize size = GetParam();
    TempDir dir;
    const fs::path name = dir / "image.bmp";
    const std::vector<uint8_t> pixels = PatternPixels(size.width, size.height, 1);
    ASSERT_NE(SaveBmp32(name.c_str(), size.width, size.height, pixels.data()), 0);

    const std::vector<uint8_t> file = ReadFile(name);
    ASSERT_EQ(file.size(), size.fileBytes);
    uint8_t header[kBmpHeaderBytes];
    FillBmpHeader(header, size.width, size.height);
    EXPECT_TRUE(std::equal(header, header + kBmpHeaderBytes, file.begin()));
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), file.begin() + kBmpHeaderBytes));
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"image.bmp"});
}

TEST(BmpWriter, OnePixelFileEndsWithItsFourBytes)
{
    TempDir dir;
    const fs::path name = dir / "one.bmp";
    const uint8_t pixel[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_NE(SaveBmp32(name.c_str(), 1, 1, pixel), 0);
    const std::vector<uint8_t> file = ReadFile(name);
    ASSERT_EQ(file.size(), 58u);
    EXPECT_EQ(std::vector<uint8_t>(file.end() - 4, file.end()), std::vector<uint8_t>(pixel, pixel + 4));
}

TEST(BmpWriter, ReplacesLongerExistingFile)
{
    TempDir dir;
    const fs::path name = dir / "old.bmp";
    WriteFile(name, std::vector<uint8_t>(100'000, 0xEE));
    const std::vector<uint8_t> pixels = PatternPixels(3, 2, 2);
    ASSERT_NE(SaveBmp32(name.c_str(), 3, 2, pixels.data()), 0);
    const std::vector<uint8_t> file = ReadFile(name);
    ASSERT_EQ(file.size(), 54u + 3 * 2 * 4);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), file.begin() + kBmpHeaderBytes));
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"old.bmp"});
}

// The writer's own refusals: no name, no pixels, a directory that does not
// exist, a name that ends in a slash. The result is 0 and nothing is made.
// (Images that the program cannot write are the process tests' cases.)
TEST(BmpWriter, FailedCreationLeavesNothingBehind)
{
    TempDir dir;
    const std::vector<uint8_t> pixels = PatternPixels(4, 4, 3);
    const std::string name = (dir / "x.bmp").string();
    EXPECT_EQ(SaveBmp32(nullptr, 4, 4, pixels.data()), 0);
    EXPECT_EQ(SaveBmp32(name.c_str(), 4, 4, nullptr), 0);
    EXPECT_EQ(SaveBmp32((dir / "no-such-dir" / "x.bmp").string().c_str(), 4, 4, pixels.data()), 0);
    EXPECT_EQ(SaveBmp32((name + "/").c_str(), 4, 4, pixels.data()), 0);
    EXPECT_TRUE(NamesIn(dir.Path()).empty());
}

// A write that fails half-way (here: the file size limit is reached, so the
// system first stores only part of the pixels and then refuses the rest) must
// neither leave a truncated file under the final name nor take the partial
// count for completion. Run in a child so that the limit stays there.
TEST(BmpWriter, WriteFailingHalfWayKeepsExistingFile)
{
    TempDir dir;
    const fs::path name = dir / "kept.bmp";
    const std::vector<uint8_t> before(500, 0x5A);
    WriteFile(name, before);
    const std::vector<uint8_t> pixels = PatternPixels(64, 64, 4);  // 16,438 bytes with the header

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(2);
        _exit(SaveBmp32(name.c_str(), 64, 64, pixels.data()) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: no limit";
    EXPECT_EQ(ReadFile(name), before);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"kept.bmp"});
}

// The output has the mode of any newly created file: 0666 less the umask, not
// the temporary's private 0600; and the process's umask is left as it was.
TEST(BmpWriter, FinalModeIsNewFileModeUnderUmask)
{
    const struct
    {
        mode_t mask;
        mode_t mode;
    } cases[] = {{0000, 0666}, {0022, 0644}, {0027, 0640}, {0077, 0600}, {0002, 0664}};
    const std::vector<uint8_t> pixels = PatternPixels(2, 2, 5);
    TempDir dir;
    const mode_t saved = umask(0);
    for (const auto& expected : cases)
    {
        umask(expected.mask);
        const fs::path name = dir / ("mode" + std::to_string(expected.mask) + ".bmp");
        ASSERT_NE(SaveBmp32(name.c_str(), 2, 2, pixels.data()), 0);
        struct stat info{};
        ASSERT_EQ(stat(name.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, expected.mode) << std::oct << "umask " << expected.mask;
        EXPECT_EQ(umask(expected.mask), expected.mask) << "the writer changed the umask";
    }
    umask(saved);
}

// Two processes writing the same final name at once each use their own
// temporary: every write succeeds, and the file is always one whole image.
TEST(BmpWriter, ConcurrentWritersDoNotCollide)
{
    TempDir dir;
    const fs::path name = dir / "shared.bmp";
    constexpr int32_t kSide = 256;
    const std::vector<uint8_t> images[2] = {PatternPixels(kSide, kSide, 6), PatternPixels(kSide, kSide, 7)};
    pid_t children[2];
    for (int i = 0; i < 2; ++i)
    {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0)
        {
            int failures = 0;
            for (int round = 0; round < 40; ++round)
                failures += SaveBmp32(name.c_str(), kSide, kSide, images[i].data()) == 0 ? 1 : 0;
            _exit(failures > 0 ? 1 : 0);
        }
    }
    for (const pid_t child : children)
    {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
    }
    const std::vector<uint8_t> file = ReadFile(name);
    ASSERT_EQ(file.size(), 54u + kSide * kSide * 4);
    const bool first = std::equal(images[0].begin(), images[0].end(), file.begin() + kBmpHeaderBytes);
    const bool second = std::equal(images[1].begin(), images[1].end(), file.begin() + kBmpHeaderBytes);
    EXPECT_TRUE(first || second);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"shared.bmp"});
}
