#include "formats/BmpWriter.h"

#include "platform/Files.h"

#include <cerrno>
#include <cstring>

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

Status WriteBmpRows(const std::string& name, int32_t width, int32_t height,
                    const std::function<Status(const PixelSink& sink)>& writeRows)
{
    if (width <= 0 || height <= 0)
        return EINVAL;
    const uint64_t pixelBytes = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * 4u;
    if (pixelBytes + kBmpHeaderBytes > UINT32_MAX)
        return EFBIG;

    platform::COutputFile file;
    Status status = file.Create(name);
    if (status != kStatusOk)
        return status;
    uint8_t header[kBmpHeaderBytes];
    FillBmpHeader(header, width, height);
    status = file.Write(header, sizeof header);
    if (status == kStatusOk)
        status = writeRows([&](const void* bytes, size_t count) { return file.Write(bytes, count); });
    if (status == kStatusOk)
        status = file.Commit();
    return status;
}

Status WriteBmpFile(const std::string& name, int32_t width, int32_t height, const uint8_t* pixels)
{
    return WriteBmpRows(name, width, height, [&](const PixelSink& sink) {
        return sink(pixels, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    });
}

int32_t SaveBmp32(const char* name, int32_t width, int32_t height, const uint8_t* pixels)
{
    if (name == nullptr || pixels == nullptr)
        return 0;
    return WriteBmpFile(name, width, height, pixels) == kStatusOk ? 1 : 0;
}
