// Unpacking of the packed 12-bit samples (two samples in three bytes) and
// the chart writer's packing, which must be its exact inverse.
#include "raw/PackedSamples.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace
{

struct GroupCase
{
    std::array<uint8_t, 3> bytes;
    uint16_t first;
    uint16_t second;
};

class UnpackGroup : public testing::TestWithParam<GroupCase>
{
};

TEST_P(UnpackGroup, GivesBothSamples)
{
    const GroupCase& group = GetParam();
    uint16_t samples[2] = {0xFFFF, 0xFFFF};
    UnpackSamples(group.bytes.data(), 1, samples);
    EXPECT_EQ(samples[0], group.first);
    EXPECT_EQ(samples[1], group.second);
}

// The first sample is b0 with the low nibble of b1 above it, the second the
// high nibble of b1 with b2 above it.
INSTANTIATE_TEST_SUITE_P(Examples, UnpackGroup,
                         testing::Values(GroupCase{{0x12, 0x34, 0x56}, 0x412, 0x563},
                                         GroupCase{{0xFF, 0xFF, 0xFF}, 4095, 4095},
                                         GroupCase{{0x00, 0xF0, 0x00}, 0, 15},
                                         GroupCase{{0x00, 0x0F, 0x00}, 3840, 0},
                                         GroupCase{{0x00, 0x00, 0x00}, 0, 0},
                                         GroupCase{{0x01, 0x00, 0x00}, 1, 0},
                                         GroupCase{{0x00, 0x00, 0x80}, 0, 2048}));

TEST(Unpack, EveryBitOfAGroupLandsInExactlyOneSampleBit)
{
    // Bits 0-7 of b0 are bits 0-7 of the first sample, bits 0-3 of b1 its
    // bits 8-11; bits 4-7 of b1 are bits 0-3 of the second sample, b2 its
    // bits 4-11.
    for (int bit = 0; bit < 24; ++bit)
    {
        std::array<uint8_t, 3> bytes{};
        bytes[bit / 8] = static_cast<uint8_t>(1u << (bit % 8));
        uint16_t samples[2] = {};
        UnpackSamples(bytes.data(), 1, samples);
        const uint32_t both = samples[0] | uint32_t{samples[1]} << 12;
        EXPECT_EQ(both, 1u << bit) << "bit " << bit;
    }
}

TEST(Unpack, ConsecutiveGroupsFillConsecutiveSamples)
{
    const std::vector<uint8_t> bytes = {0x12, 0x34, 0x56, 0xFF, 0x0F, 0x00, 0x00, 0xF0, 0xAB};
    std::vector<uint16_t> samples(7, 0xBEEF);
    UnpackSamples(bytes.data(), 3, samples.data());
    EXPECT_EQ(samples, (std::vector<uint16_t>{0x412, 0x563, 0xFFF, 0x000, 0x000, 0xABF, 0xBEEF}));
}

TEST(Pack, RoundTripsEverySampleValueInBothPositions)
{
    // Every 12-bit value, once as the first and once as the second sample of
    // a group.
    std::vector<uint16_t> samples;
    for (uint16_t v = 0; v < 4096; ++v)
    {
        samples.push_back(v);
        samples.push_back(static_cast<uint16_t>(4095 - v));
    }
    for (uint16_t v = 0; v < 4096; ++v)
    {
        samples.push_back(static_cast<uint16_t>((v * 2741) % 4096));
        samples.push_back(v);
    }
    std::vector<uint8_t> packed(samples.size() / 2 * 3, 0xCD);
    PackSamples(samples.data(), static_cast<int64_t>(samples.size()), packed.data());
    std::vector<uint16_t> unpacked(samples.size());
    UnpackSamples(packed.data(), static_cast<int64_t>(packed.size() / 3), unpacked.data());
    EXPECT_EQ(unpacked, samples);
}

TEST(Pack, RepacksRandomBytesUnchanged)
{
    // Three bytes hold exactly two 12-bit samples, so unpacking and packing
    // again must give back any byte string.
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> bytes(3 * 4096);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(byte(random));
    std::vector<uint16_t> samples(bytes.size() / 3 * 2);
    UnpackSamples(bytes.data(), static_cast<int64_t>(bytes.size() / 3), samples.data());
    for (const uint16_t sample : samples)
        ASSERT_LE(sample, 4095);
    std::vector<uint8_t> repacked(bytes.size());
    PackSamples(samples.data(), static_cast<int64_t>(samples.size()), repacked.data());
    EXPECT_EQ(repacked, bytes);
}

}  // namespace
