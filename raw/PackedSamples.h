// The X10's packed 12-bit samples: two samples in each group of three bytes
// b0, b1, b2, the first b0 with the low nibble of b1 above it, the second the
// high nibble of b1 with b2 above it. Read as one little-endian bit stream,
// sample i is bits 12i to 12i + 11.
#pragma once

#include <cstdint>

// The largest value a 12-bit sample holds.
inline constexpr uint16_t kSampleMaximum = 4095;

// Bytes that count samples (count even) take packed.
constexpr int64_t PackedBytesOf(int64_t count)
{
    return count * 3 / 2;
}

// Unpacks groupCount groups of three bytes into 2 * groupCount samples.
void UnpackSamples(const uint8_t* packed, int64_t groupCount, uint16_t* samples);

// Packs count samples (count even) into PackedBytesOf(count) bytes, keeping
// the low 12 bits of each: the exact inverse of UnpackSamples.
void PackSamples(const uint16_t* samples, int64_t count, uint8_t* packed);
