#include "raw/PackedSamples.h"

void UnpackSamples(const uint8_t* packed, int64_t groupCount, uint16_t* samples)
{
    // Four groups (12 bytes, 8 samples) are taken from one 64-bit and one
    // 32-bit word, assembled from bytes so that the host's byte order does
    // not matter.
    int64_t g = 0;
    for (; g + 4 <= groupCount; g += 4)
    {
        uint64_t low = 0;
        for (int b = 7; b >= 0; --b)
            low = low << 8 | packed[b];
        const uint32_t high = uint32_t{packed[8]} | uint32_t{packed[9]} << 8 | uint32_t{packed[10]} << 16 |
                              uint32_t{packed[11]} << 24;
        samples[0] = static_cast<uint16_t>(low & kSampleMaximum);
        samples[1] = static_cast<uint16_t>(low >> 12 & kSampleMaximum);
        samples[2] = static_cast<uint16_t>(low >> 24 & kSampleMaximum);
        samples[3] = static_cast<uint16_t>(low >> 36 & kSampleMaximum);
        samples[4] = static_cast<uint16_t>(low >> 48 & kSampleMaximum);
        samples[5] = static_cast<uint16_t>(low >> 60 | (high & 0xFF) << 4);
        samples[6] = static_cast<uint16_t>(high >> 8 & kSampleMaximum);
        samples[7] = static_cast<uint16_t>(high >> 20);
        packed += 12;
        samples += 8;
    }
    for (; g < groupCount; ++g)
    {
        const uint32_t b0 = packed[0];
        const uint32_t b1 = packed[1];
        const uint32_t b2 = packed[2];
        samples[0] = static_cast<uint16_t>(b0 | (b1 & 0x0F) << 8);
        samples[1] = static_cast<uint16_t>(b1 >> 4 | b2 << 4);
        packed += 3;
        samples += 2;
    }
}

void PackSamples(const uint16_t* samples, int64_t count, uint8_t* packed)
{
    for (int64_t i = 0; i + 1 < count; i += 2)
    {
        const uint32_t a = samples[i] & kSampleMaximum;
        const uint32_t b = samples[i + 1] & kSampleMaximum;
        *packed++ = static_cast<uint8_t>(a & 0xFF);
        *packed++ = static_cast<uint8_t>(a >> 8 | (b & 0x0F) << 4);
        *packed++ = static_cast<uint8_t>(b >> 4);
    }
}
