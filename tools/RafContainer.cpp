#include "tools/RafContainer.h"

#include "raw/RafHeader.h"

#include <cstring>
#include <string>

namespace
{

constexpr uint32_t kPreviewOffset = 160;  // after the 108-byte header, rounded up
constexpr uint32_t kRawHeaderBytes = 32;

void PutBigEndian32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void PutText(std::vector<uint8_t>& bytes, size_t at, const std::string& text)
{
    std::memcpy(bytes.data() + at, text.data(), text.size());
}

}  // namespace

const std::vector<uint8_t>& SmallGreyJpeg()
{
    // Written by hand, segment by segment. One 8 x 8 block of one component:
    // its DC difference is 0, which after the level shift of 128 makes every
    // pixel 128, and no AC coefficient follows. Each Huffman table holds one
    // code, "0", of length 1: symbol 0 (DC category 0) and symbol 0 (AC end
    // of block). So the scan is the bits 0 0, padded with ones: 0x3F.
    static const std::vector<uint8_t> kJpeg = {
        0xFF, 0xD8,                    // SOI
        0xFF, 0xDB, 0x00, 0x43, 0x00,  // DQT, 8-bit table 0 of 64 ones:
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08,  // SOF0: 8 bits, 8 rows, 8 columns
        0x01, 0x01, 0x11, 0x00,                                // one component: id 1, 1 x 1, table 0
        0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // DHT DC 0
        0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // DHT AC 0
        0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,  // SOS: component 1, tables 0/0, 0-63
        0x3F,                                                        // the scan
        0xFF, 0xD9};                                                 // EOI
    return kJpeg;
}

std::vector<uint8_t> RafPrefixFor(int64_t tailBytes)
{
    const std::vector<uint8_t>& jpeg = SmallGreyJpeg();
    const auto jpegBytes = static_cast<uint32_t>(jpeg.size());
    const uint32_t rawHeaderOffset = kPreviewOffset + jpegBytes;
    const uint32_t rawBlockOffset = rawHeaderOffset + kRawHeaderBytes;
    std::vector<uint8_t> prefix(rawBlockOffset, 0);
    PutText(prefix, 0, kRafMagic);
    PutText(prefix, 16, "0201");      // format version
    PutText(prefix, 20, "DIAGRAW0");  // camera ID
    PutText(prefix, 28, "X10");       // camera model, NUL-terminated by the zeros after it
    PutText(prefix, 60, "0100");      // directory version
    PutBigEndian32(prefix, 84, kPreviewOffset);
    PutBigEndian32(prefix, 88, jpegBytes);
    PutBigEndian32(prefix, 92, rawHeaderOffset);
    PutBigEndian32(prefix, 96, kRawHeaderBytes);
    PutBigEndian32(prefix, 100, rawBlockOffset);
    PutBigEndian32(prefix, 104, static_cast<uint32_t>(tailBytes));
    std::memcpy(prefix.data() + kPreviewOffset, jpeg.data(), jpeg.size());
    return prefix;
}
