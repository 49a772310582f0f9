// The file header reader on any first bytes of a file of any size: every
// field as the bytes give it, every section placed against the file's size,
// and every text it hands on printable. The Exif reader then takes the
// preview the header places, and the input itself as a JPEG and as an Exif
// block: whatever they hold, each fact it keeps is one that makes sense.
#include "FuzzSupport.h"

#include "metadata/ExifMetadata.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cstring>

namespace
{

uint32_t BigEndianAt(const uint8_t* data, size_t at)
{
    return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
}

bool Printable(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

void RequireSoundFacts(const ExifMetadata& exif)
{
    for (const std::optional<std::string>* text : {&exif.make, &exif.model, &exif.software})
        Require(!*text || (!(*text)->empty() && (*text)->find('\0') == std::string::npos &&
                           (*text)->back() != ' ' && Printable(PrintableHeaderText(**text))),
                "an Exif text is cut at its NUL and its spaces");
    Require(!exif.dateTime || (exif.dateTime->size() == 19 && (*exif.dateTime)[10] == 'T'), "a date in ISO form");
    for (const std::optional<ExifFraction>* fraction : {&exif.exposureTime, &exif.fNumber, &exif.focalLength})
        Require(!*fraction || ((*fraction)->numerator != 0 && (*fraction)->denominator != 0), "a positive fraction");
    Require(exif.iso != 0u && exif.focalLength35mm != 0u, "no zero ISO or 35 mm length");
    Require(!exif.orientation || (*exif.orientation >= 1 && *exif.orientation <= 8), "an orientation of 1 to 8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FileHeader header = HeaderOfInput(data, size);
    Require(header.size >= static_cast<int64_t>(size), "the size is the file's");
    const bool raf = size >= 16 && std::memcmp(data, "FUJIFILMCCD-RAW ", 16) == 0;
    Require(raf == (header.signature == FileSignature::Raf), "a RAF exactly when it starts with the magic");
    Require(header.rafFieldsComplete == (raf && size >= kRafHeaderBytes), "the fields read when all are there");
    const RafSection* const sections[] = {&header.preview, &header.rawHeader, &header.rawBlock};
    for (size_t i = 0; i < 3; ++i)
    {
        const RafSection& section = *sections[i];
        if (!header.rafFieldsComplete)
        {
            Require(section.length == 0 && section.place == SectionPlace::Absent, "no section without fields");
            continue;
        }
        Require(section.offset == BigEndianAt(data, 84 + 8 * i), "the offset as the bytes give it");
        Require(section.length == BigEndianAt(data, 88 + 8 * i), "the length as the bytes give it");
        Require((section.place == SectionPlace::Absent) == (section.length == 0), "absent when empty");
        if (section.place == SectionPlace::Inside)
            Require(int64_t{section.offset} < header.size && section.End() <= header.size, "inside the file");
        if (section.place == SectionPlace::PastEnd)
            Require(section.End() > header.size, "past the end of the file");
    }
    if (header.tailInRawBlock)
        Require(header.rawBlock.place == SectionPlace::Inside &&
                    header.rawBlock.offset <= header.size - CRawX10::kTailBytes,
                "the tail inside the raw block");
    Require(header.cameraModel.size() <= 32 && header.cameraModel.find('\0') == std::string::npos,
            "the model ends at its first NUL");
    for (const std::string* text : {&header.formatVersion, &header.cameraId, &header.cameraModel,
                                    &header.directoryVersion})
        Require(Printable(PrintableHeaderText(*text)), "header text printable");
    const std::string warning = InputWarningOf(header);
    Require(Printable(warning), "the warning printable");
    Require(warning.empty() == (header.signature == FileSignature::Unknown ||
                                (raf && (!header.rafFieldsComplete || header.cameraModel == kX10Model))),
            "a warning for every other kind of file");

    const ExifMetadata preview = ExifOfFileBytes(data, size, header);
    Require(preview.Empty() || (header.preview.place == SectionPlace::Inside && header.preview.offset < size),
            "Exif only from a preview inside the file");
    RequireSoundFacts(preview);
    RequireSoundFacts(ExifOfJpeg(data, size));
    RequireSoundFacts(ExifOfBlock(data, size));
    return 0;
}
