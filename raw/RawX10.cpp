// Loading an X10 RAF file: the two packed fields at the end of the file, and
// the composite mosaic on the diagonal lattice.
#include "raw/RawX10.h"

#include "bmp/PlatformFile.h"

#include <cstring>
#include <vector>

void UnpackSamples(const uint8_t* packed, int64_t groupCount, uint16_t* samples)
{
    for (int64_t g = 0; g < groupCount; ++g)
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

    // Both blocks and the gap between them are read with one request.
    std::vector<uint8_t> tail(static_cast<size_t>(kTailBytes));
    if (!platform::SeekTo(file.get(), fileSize - kTailBytes))
        return 1;
    if (std::fread(tail.data(), 1, tail.size(), file.get()) != tail.size())
        return 1;

    m_file = std::move(file);
    m_path = path;
    m_field0 = std::make_unique_for_overwrite<uint16_t[]>(static_cast<size_t>(samplesPerField));
    m_field1 = std::make_unique_for_overwrite<uint16_t[]>(static_cast<size_t>(samplesPerField));
    UnpackSamples(tail.data(), groupsPerField, m_field0.get());
    UnpackSamples(tail.data() + kBlockBytes + kGapBytes, groupsPerField, m_field1.get());
    tail = {};

    BuildMosaic();
    return 0;
}

void CRawX10::BuildMosaic()
{
    // Each field position (y, x) goes to the element
    //   L = (x + y) * a + (m_width + 2 - x + y)
    // for field 0 and to L + a, one row further south, for field 1. Along a
    // field row the cells run down and to the left, along a field column down
    // and to the right. The rule is applied to the element index as a whole:
    // for three positions per field the column term reaches a or a + 1, and
    // the sample runs on into column 0 or 1 of a later row.
    const int64_t a = MosaicSide();
    m_mosaic = std::make_unique<uint16_t[]>(static_cast<size_t>(a * a));
    uint16_t* mosaic = m_mosaic.get();
    const uint16_t* field0 = m_field0.get();
    const uint16_t* field1 = m_field1.get();
    for (int64_t y = 0; y < m_height; ++y)
    {
        const uint16_t* row0 = field0 + y * m_width;
        const uint16_t* row1 = field1 + y * m_width;
        int64_t element = y * a + (m_width + 2 + y);  // L for x = 0
        for (int64_t x = 0; x < m_width; ++x)
        {
            mosaic[element] = row0[x];
            mosaic[element + a] = row1[x];
            element += a - 1;
        }
    }
}
