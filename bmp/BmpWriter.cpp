#include "bmp/BmpWriter.h"

#include "bmp/PlatformFile.h"

#include <cstring>
#include <string>

namespace
{

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace

void FillBmpHeader(uint8_t* header, int32_t width, int32_t height)
{
    const uint32_t pixelBytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4u;
    std::memset(header, 0, kBmpHeaderBytes);
    // File header (14 bytes).
    Put16(header + 0, 0x4D42);  // "BM"
    Put32(header + 2, pixelBytes + kBmpHeaderBytes);
    Put32(header + 10, kBmpHeaderBytes);
    // Information header (40 bytes); resolution and palette fields stay 0.
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<uint32_t>(width));
    Put32(header + 22, static_cast<uint32_t>(height));  // positive: rows bottom-up
    Put16(header + 26, 1);                              // colour planes
    Put16(header + 28, 32);                             // bits per pixel
    Put32(header + 34, pixelBytes);
}

int32_t SaveBmp32(const char* name, int32_t width, int32_t height, const uint8_t* pixels)
{
    if (name == nullptr || pixels == nullptr || width <= 0 || height <= 0)
        return 0;
    const uint64_t pixelBytes = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * 4u;
    if (pixelBytes + kBmpHeaderBytes > UINT32_MAX)
        return 0;  // the header's size fields could not hold it

    const std::string finalName = name;
    std::string tempName;
    const platform::OutputHandle file = platform::CreateTempBeside(finalName, tempName);
    if (file == platform::kInvalidOutput)
        return 0;

    uint8_t header[kBmpHeaderBytes];
    FillBmpHeader(header, width, height);
    bool written = platform::WriteAll(file, header, sizeof header) &&
                   platform::WriteAll(file, pixels, static_cast<size_t>(pixelBytes));
    written = platform::CloseOutput(file) && written;
    if (written && platform::ReplaceWithTemp(tempName, finalName))
        return 1;
    platform::RemoveFile(tempName);
    return 0;
}
