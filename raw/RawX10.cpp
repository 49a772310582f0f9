// Loading an X10 RAF file: the two packed fields at the end of the file, and
// the composite mosaic on the diagonal lattice.
#include "raw/RawX10.h"

#include "bmp/PlatformFile.h"
#include "raw/LargeBuffers.h"

#include <algorithm>
#include <cstring>

void UnpackSamples(const uint8_t* packed, int64_t groupCount, uint16_t* samples)
{
    // The samples are the consecutive 12-bit fields of the bytes read as one
    // little-endian bit stream: sample i is bits 12i to 12i + 11. Four groups
    // (12 bytes, 8 samples) are taken from one 64-bit and one 32-bit word,
    // assembled from bytes so that the host's byte order does not matter.
    int64_t g = 0;
    for (; g + 4 <= groupCount; g += 4)
    {
        uint64_t low = 0;
        for (int b = 7; b >= 0; --b)
            low = low << 8 | packed[b];
        const uint32_t high = uint32_t{packed[8]} | uint32_t{packed[9]} << 8 | uint32_t{packed[10]} << 16 |
                              uint32_t{packed[11]} << 24;
        samples[0] = static_cast<uint16_t>(low & 0xFFF);
        samples[1] = static_cast<uint16_t>(low >> 12 & 0xFFF);
        samples[2] = static_cast<uint16_t>(low >> 24 & 0xFFF);
        samples[3] = static_cast<uint16_t>(low >> 36 & 0xFFF);
        samples[4] = static_cast<uint16_t>(low >> 48 & 0xFFF);
        samples[5] = static_cast<uint16_t>(low >> 60 | (high & 0xFF) << 4);
        samples[6] = static_cast<uint16_t>(high >> 8 & 0xFFF);
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

int32_t CRawX10::Load(const char* path)
{
    // The header of the file is never parsed: the sensor data is found at a
    // fixed distance from its end. The tail is
    //   field 0 block (kBlockBytes) | gap (kGapBytes) | field 1 block (kBlockBytes)
    // and the field 1 block ends with the last byte of the file.
    int64_t fileSize = 0;
    std::unique_ptr<std::FILE, FileCloser> file(platform::OpenRegularFileForReading(path, fileSize));
    if (!file)
        return 1;
    // A file that cannot hold both blocks would only give black images.
    if (fileSize < kTailBytes)
        return 1;

    const int64_t samplesPerField = int64_t{m_width} * m_height;
    const int64_t groupsPerField = samplesPerField / 2;
    if (groupsPerField * 3 != kBlockBytes)
        return 1;

    // Both blocks and the gap between them are read with one request, into
    // a scratch buffer that the image writers reuse afterwards.
    const ScratchBuffer tail = AcquireScratchBuffer(static_cast<size_t>(kTailBytes));
    if (!platform::SeekTo(file.get(), fileSize - kTailBytes))
        return 1;
    if (std::fread(tail.get(), 1, static_cast<size_t>(kTailBytes), file.get()) != static_cast<size_t>(kTailBytes))
        return 1;

    m_file = std::move(file);
    m_path = path;
    // Every sample of both fields is written by the unpacking.
    m_field0 = MakeLargeSampleBuffer(static_cast<size_t>(samplesPerField));
    m_field1 = MakeLargeSampleBuffer(static_cast<size_t>(samplesPerField));
    UnpackSamples(tail.get(), groupsPerField, m_field0.get());
    UnpackSamples(tail.get() + kBlockBytes + kGapBytes, groupsPerField, m_field1.get());

    BuildMosaic();
    return 0;
}

namespace
{

// floor(n / 2) for any sign of n.
int64_t HalfRoundedDown(int64_t n)
{
    return n >= 0 ? n / 2 : -((1 - n) / 2);
}

}  // namespace

void CRawX10::BuildMosaic()
{
    // Each field position (y, x) goes to the element
    //   L = (x + y) * a + (m_width + 2 - x + y)
    // for field 0 and to L + a, one row further south, for field 1. Along a
    // field row the cells run down and to the left, along a field column down
    // and to the right. The rule is applied to the element index as a whole:
    // for three positions per field the column term reaches a or a + 1, and
    // the sample runs on into column 0 or 1 of a later row.
    //
    // The mosaic is written row by row, each element once: mosaic row r holds
    // the field-0 anti-diagonal x + y = r at columns m_width + 2 - r + 2y and
    // the field-1 anti-diagonal x + y = r - 1 at columns m_width + 3 - r + 2y,
    // as far as the column term stays below a, and zeros everywhere else. The
    // reads walk the anti-diagonals with a stride of m_width - 1 samples; the
    // 2 * m_height cache lines they touch serve the next rows as well. The few
    // samples whose column term reaches a are placed last.
    const int64_t a = MosaicSide();
    const int64_t w = m_width;
    const int64_t h = m_height;
    m_mosaic = MakeLargeSampleBuffer(static_cast<size_t>(a * a));
    uint16_t* mosaic = m_mosaic.get();
    const uint16_t* field0 = m_field0.get();
    const uint16_t* field1 = m_field1.get();
    for (int64_t r = 0; r < a; ++r)
    {
        uint16_t* row = mosaic + r * a;
        std::fill(row, row + a, uint16_t{0});
        // Field 0: x = r - y with 0 <= x < w and 0 <= y < h, column below a.
        const int64_t first0 = std::max<int64_t>(0, r - w + 1);
        const int64_t last0 = std::min({h - 1, r, HalfRoundedDown(h + r - 3)});
        for (int64_t y = first0; y <= last0; ++y)
            row[w + 2 - r + 2 * y] = field0[y * w + (r - y)];
        // Field 1: x = r - 1 - y.
        const int64_t first1 = std::max<int64_t>(0, r - w);
        const int64_t last1 = std::min({h - 1, r - 1, HalfRoundedDown(h + r - 4)});
        for (int64_t y = first1; y <= last1; ++y)
            row[w + 3 - r + 2 * y] = field1[y * w + (r - 1 - y)];
    }
    // The positions whose column term m_width + 2 - x + y is a or more: only
    // x <= y + 2 - m_height, so y >= m_height - 2.
    for (int64_t y = std::max<int64_t>(0, h - 2); y < h; ++y)
        for (int64_t x = 0; x < w && x <= y + 2 - h; ++x)
        {
            const int64_t element = (x + y) * a + (w + 2 - x + y);
            mosaic[element] = field0[y * w + x];
            mosaic[element + a] = field1[y * w + x];
        }
}
