#include "raw/RafHeader.h"

#include "platform/Files.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace
{

constexpr uint8_t kJpegMagic[] = {0xFF, 0xD8, 0xFF};
constexpr uint8_t kPngMagic[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Classic TIFF (42) and BigTIFF (43), in either byte order.
constexpr uint8_t kTiffMagics[][4] = {{'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
constexpr size_t kSectionFields = 84;  // byte of the first offset

bool StartsWith(const uint8_t* bytes, size_t count, const void* magic, size_t length)
{
    return count >= length && std::memcmp(bytes, magic, length) == 0;
}

FileSignature SignatureOf(const uint8_t* bytes, size_t count)
{
    if (StartsWith(bytes, count, kRafMagic, sizeof kRafMagic - 1))
        return FileSignature::Raf;
    if (StartsWith(bytes, count, kJpegMagic, sizeof kJpegMagic))
        return FileSignature::Jpeg;
    if (StartsWith(bytes, count, kPngMagic, sizeof kPngMagic))
        return FileSignature::Png;
    for (const auto& magic : kTiffMagics)
        if (StartsWith(bytes, count, magic, sizeof magic))
            return FileSignature::Tiff;
    return FileSignature::Unknown;
}

uint32_t BigEndian32(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]};
}

RafSection SectionAt(const uint8_t* fields, int64_t fileSize)
{
    RafSection section;
    section.offset = BigEndian32(fields);
    section.length = BigEndian32(fields + 4);
    if (section.length == 0)
        section.place = SectionPlace::Absent;
    else
        section.place = section.End() <= fileSize ? SectionPlace::Inside : SectionPlace::PastEnd;
    return section;
}

}  // namespace

const char* NameOfSignature(FileSignature signature)
{
    constexpr const char* kNames[] = {"RAF", "JPEG", "TIFF", "PNG", "unknown"};
    return kNames[static_cast<int>(signature)];
}

std::string InputWarningOf(const FileHeader& header)
{
    constexpr const char* kConsequence = "; the images will probably show noise";
    switch (header.signature)
    {
    case FileSignature::Raf:
        if (!header.rafFieldsComplete || header.cameraModel == kX10Model)
            return std::string();
        return "a RAF file of the camera model \"" + PrintableHeaderText(header.cameraModel) +
               "\", not of the X10" + kConsequence;
    case FileSignature::Jpeg:
    case FileSignature::Tiff:
    case FileSignature::Png:
        return std::string("a ") + NameOfSignature(header.signature) + " file, not an X10 raw file" + kConsequence;
    case FileSignature::Unknown:
        break;
    }
    return std::string();
}

std::string PrintableHeaderText(const std::string& text)
{
    std::string printable;
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            printable += "\\\\";
        else if (byte >= 0x20 && byte < 0x7F)
            printable += c;
        else
        {
            constexpr char kHex[] = "0123456789abcdef";
            printable += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return printable;
}

FileHeader ParseFileHeader(const uint8_t* bytes, size_t count, int64_t fileSize)
{
    FileHeader header;
    header.size = fileSize;
    header.signature = SignatureOf(bytes, count);
    if (header.signature != FileSignature::Raf || count < kRafHeaderBytes)
        return header;
    header.rafFieldsComplete = true;
    const auto text = [&](size_t first, size_t length) {
        return std::string(reinterpret_cast<const char*>(bytes) + first, length);
    };
    header.formatVersion = text(16, 4);
    header.cameraId = text(20, 8);
    const auto* model = static_cast<const uint8_t*>(std::memchr(bytes + 28, 0, 32));
    header.cameraModel = text(28, model != nullptr ? static_cast<size_t>(model - (bytes + 28)) : 32);
    header.directoryVersion = text(60, 4);
    header.preview = SectionAt(bytes + kSectionFields, fileSize);
    header.rawHeader = SectionAt(bytes + kSectionFields + 8, fileSize);
    header.rawBlock = SectionAt(bytes + kSectionFields + 16, fileSize);
    const int64_t tailStart = fileSize - CRawX10::kTailBytes;
    header.tailInRawBlock = tailStart >= 0 && header.rawBlock.place == SectionPlace::Inside &&
                            header.rawBlock.offset <= tailStart && header.rawBlock.End() >= fileSize;
    return header;
}

Status ReadFileHeader(std::FILE* stream, int64_t size, FileHeader& header)
{
    uint8_t bytes[kRafHeaderBytes];
    const auto count = static_cast<size_t>(std::min<int64_t>(size, kRafHeaderBytes));
    const Status status = platform::ReadAt(stream, 0, bytes, count);
    if (status != kStatusOk)
        return status;
    header = ParseFileHeader(bytes, count, size);
    return kStatusOk;
}

Status ReadFileHeader(const char* path, FileHeader& header)
{
    std::unique_ptr<std::FILE, FileCloser> stream;
    return OpenWithHeader(path, stream, header);
}

Status OpenWithHeader(const char* path, std::unique_ptr<std::FILE, FileCloser>& stream, FileHeader& header)
{
    std::FILE* opened = nullptr;
    int64_t size = 0;
    Status status = platform::OpenInput(path, opened, size);
    if (status != kStatusOk)
        return status;
    stream.reset(opened);
    status = ReadFileHeader(stream.get(), size, header);
    if (status != kStatusOk)
        stream.reset();
    return status;
}
