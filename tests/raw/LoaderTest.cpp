// The raw field loader: where in the file the two blocks are read, and what
// a refused input leaves behind.
#include "raw/RawX10.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

using namespace testsupport;

namespace
{

constexpr int64_t kTailBytes = 18'937'856;
constexpr int64_t kBlockBytes = 9'467'904;
constexpr int64_t kGapBytes = 2'048;
constexpr int64_t kFieldSamples = 2944 * 2144;

// A byte that depends on its offset in the file, so that a block read from
// the wrong place or a gap not skipped shows up in the samples.
uint8_t ByteAtOffset(int64_t offset)
{
    uint64_t z = static_cast<uint64_t>(offset) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint8_t>(z >> 56);
}

std::vector<uint8_t> BytesAtOffsets(int64_t first, int64_t count)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        bytes[static_cast<size_t>(i)] = ByteAtOffset(first + i);
    return bytes;
}

// Sample k of a block, straight from the packing: two samples per three
// bytes, the first b0 + 256 (b1 mod 16), the second b1 div 16 + 16 b2.
uint16_t SampleOfBlock(const uint8_t* block, int64_t k)
{
    const uint8_t* group = block + 3 * (k / 2);
    if (k % 2 == 0)
        return static_cast<uint16_t>(group[0] + 256 * (group[1] % 16));
    return static_cast<uint16_t>(group[1] / 16 + 16 * group[2]);
}

// Both fields of raw must be the two blocks of tail, the last kTailBytes of
// the file it was loaded from.
void ExpectFieldsFromTail(const CRawX10& raw, const std::vector<uint8_t>& tail)
{
    ASSERT_EQ(static_cast<int64_t>(tail.size()), kTailBytes);
    ASSERT_NE(raw.m_field0, nullptr);
    ASSERT_NE(raw.m_field1, nullptr);
    const uint8_t* block0 = tail.data();
    const uint8_t* block1 = tail.data() + kBlockBytes + kGapBytes;
    int64_t wrong0 = 0;
    int64_t wrong1 = 0;
    for (int64_t k = 0; k < kFieldSamples; ++k)
    {
        wrong0 += raw.m_field0[k] != SampleOfBlock(block0, k);
        wrong1 += raw.m_field1[k] != SampleOfBlock(block1, k);
    }
    EXPECT_EQ(wrong0, 0) << "field 0 samples not from bytes 0 to 9,467,903 of the tail";
    EXPECT_EQ(wrong1, 0) << "field 1 samples not from the last 9,467,904 bytes";
}

// A refused input leaves the object as it was constructed.
void ExpectUntouched(const CRawX10& raw)
{
    EXPECT_EQ(raw.m_file, nullptr);
    EXPECT_EQ(raw.m_field0, nullptr);
    EXPECT_EQ(raw.m_field1, nullptr);
    EXPECT_EQ(raw.m_mosaic, nullptr);
    EXPECT_EQ(raw.m_path, "");
}

TEST(LoaderBlocks, FileOfExactlyTheTailSize)
{
    TempDir dir;
    const auto path = dir / "exact.raf";
    const std::vector<uint8_t> file = BytesAtOffsets(0, kTailBytes);
    WriteFile(path, file);
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.c_str()), kStatusOk);
    ExpectFieldsFromTail(raw, file);
    EXPECT_NE(raw.m_file, nullptr);
    EXPECT_EQ(raw.m_path, path.string());
    ASSERT_NE(raw.m_mosaic, nullptr);
    // The loader ends by building the mosaic: field-0 position (0, 0) is its
    // top corner.
    EXPECT_EQ(raw.m_mosaic[2946], raw.m_field0[0]);

    // Hand-checked ends: field 0 starts at byte 0, field 1 at byte 9,469,952
    // and ends with the high nibble of the second-to-last byte and the last.
    EXPECT_EQ(raw.m_field0[0], file[0] | (file[1] & 0x0F) << 8);
    EXPECT_EQ(raw.m_field1[0], file[9'469'952] | (file[9'469'953] & 0x0F) << 8);
    EXPECT_EQ(raw.m_field0[kFieldSamples - 1], file[9'467'902] >> 4 | file[9'467'903] << 4);
    EXPECT_EQ(raw.m_field1[2143 * 2944 + 2943], file[kTailBytes - 2] >> 4 | file[kTailBytes - 1] << 4);
}

TEST(LoaderBlocks, LongerFileGivesOnlyItsTail)
{
    // An odd-sized head before the tail: nothing of it may be read.
    const int64_t head = 1'234'567;
    TempDir dir;
    const auto path = dir / "long.raf";
    const std::vector<uint8_t> file = BytesAtOffsets(0, head + kTailBytes);
    WriteFile(path, file);
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.c_str()), kStatusOk);
    ExpectFieldsFromTail(raw, std::vector<uint8_t>(file.begin() + head, file.end()));
}

TEST(LoaderBlocks, GapBetweenTheBlocksIsIgnored)
{
    TempDir dir;
    const auto path = dir / "gap.raf";
    std::vector<uint8_t> file(kTailBytes, 0);
    std::fill(file.begin() + kBlockBytes, file.begin() + kBlockBytes + kGapBytes, 0xFF);
    WriteFile(path, file);
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.c_str()), kStatusOk);
    EXPECT_TRUE(std::all_of(raw.m_field0.get(), raw.m_field0.get() + kFieldSamples, [](uint16_t s) { return s == 0; }));
    EXPECT_TRUE(std::all_of(raw.m_field1.get(), raw.m_field1.get() + kFieldSamples, [](uint16_t s) { return s == 0; }));
}

// The next frame of a series lands in the memory of the one before, whole;
// a next frame that cannot be read leaves no field at all, not the old one.
TEST(LoaderBlocks, NextFieldsReuseTheMemoryAndFailCleanly)
{
    TempDir dir;
    const auto first = dir / "first.raf";
    const auto second = dir / "second.raf";
    WriteFile(first, BytesAtOffsets(0, kTailBytes));
    const std::vector<uint8_t> file = BytesAtOffsets(7, kTailBytes);
    WriteFile(second, file);
    CRawX10 raw;
    ASSERT_EQ(raw.LoadFields(first.c_str()), kStatusOk);
    const uint16_t* const memory[2] = {raw.m_field0.get(), raw.m_field1.get()};
    ASSERT_EQ(raw.LoadNextFields(second.c_str()), kStatusOk);
    EXPECT_EQ(raw.m_field0.get(), memory[0]);
    EXPECT_EQ(raw.m_field1.get(), memory[1]);
    ExpectFieldsFromTail(raw, file);
    EXPECT_EQ(raw.m_path, second.string());
    EXPECT_EQ(raw.LoadNextFields((dir / "missing.raf").c_str()), ENOENT);
    EXPECT_EQ(raw.m_field0, nullptr);
    EXPECT_EQ(raw.m_field1, nullptr);
    EXPECT_EQ(raw.m_path, "");
}

// Fields set to a shape that does not fill a block: a status of its own, for
// Load and LoadFields alike, and nothing kept.
TEST(LoaderBlocks, FieldShapeThatDoesNotFillABlockIsRefused)
{
    TempDir dir;
    const auto path = dir / "shape.raf";
    WriteFile(path, std::vector<uint8_t>(kTailBytes, 0));
    for (const bool wholeLoad : {true, false})
    {
        CRawX10 raw;
        raw.m_width = 100;
        EXPECT_EQ(wholeLoad ? raw.Load(path.c_str()) : raw.LoadFields(path.c_str()), kStatusGeometryMismatch);
        EXPECT_TRUE(raw.m_path.empty());
        EXPECT_EQ(raw.m_field0, nullptr);
    }
}

TEST(LoaderBlocks, FileOver2GiBIsReadAt64BitOffsets)
{
    // A sparse file: only the tail occupies the disk.
    const int64_t size = (int64_t{1} << 31) + 4'097 + kTailBytes;
    TempDir dir;
    const auto path = dir / "huge.raf";
    const std::vector<uint8_t> tail = BytesAtOffsets(size - kTailBytes, kTailBytes);
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(size - kTailBytes));
        out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
        ASSERT_TRUE(out.good());
    }
    ASSERT_EQ(static_cast<int64_t>(std::filesystem::file_size(path)), size);
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.c_str()), kStatusOk);
    ExpectFieldsFromTail(raw, tail);
}

// A refused input leaves the object as constructed, whatever the reason (the
// process tests of the command line go through every kind of input refused).
TEST(LoaderRefusal, LeavesTheObjectAsConstructed)
{
    TempDir dir;
    const auto path = dir / "short.raf";
    WriteFile(path, {});
    std::filesystem::resize_file(path, static_cast<uintmax_t>(kTailBytes - 1));
    CRawX10 shortFile;
    EXPECT_EQ(shortFile.Load(path.c_str()), kStatusInputTooShort);
    EXPECT_EQ(shortFile.m_fileSize, kTailBytes - 1);
    ExpectUntouched(shortFile);

    CRawX10 missing;
    EXPECT_EQ(missing.Load((dir / "missing.raf").c_str()), ENOENT);
    ExpectUntouched(missing);
}

}  // namespace
