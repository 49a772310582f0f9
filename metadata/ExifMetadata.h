// What the camera wrote about the shot: the Exif block of a RAF's embedded
// JPEG preview (raw/RafHeader.h places the preview), read with libexif.
//
// Only the facts below are kept, each where the block holds it in a form
// that makes sense; an entry of the wrong type, an impossible value (a zero
// denominator, an orientation outside 1 to 8, a date that is no date) is
// left out as if it were not there, and a block that libexif cannot make
// sense of gives no facts at all. Nothing here fails on what a file holds.
//
// Bounds: the preview's offset and length come from the header and are
// trusted no further than the file's size; at most kExifSearchBytes of the
// preview are read, and libexif sees only the one APP1 segment that holds
// the block (at most 65,533 bytes).
//
// Threads: every call works on its own libexif objects; any number of
// threads may read different files at once. Built without libexif (the
// Windows cross build), every reader reports no facts (ExifReadingBuilt).
#pragma once

#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

struct FileHeader;

// Whether this build reads Exif at all (it was built with libexif).
bool ExifReadingBuilt();

// An unsigned Exif fraction; the reader keeps none whose denominator is 0.
struct ExifFraction
{
    uint32_t numerator = 0;
    uint32_t denominator = 1;
    double Value() const { return static_cast<double>(numerator) / denominator; }
};

struct ExifMetadata
{
    // The texts as the block holds them, up to their first NUL, trailing
    // spaces cut; an empty one is left out.
    std::optional<std::string> make;
    std::optional<std::string> model;
    std::optional<std::string> software;
    // When the shot was taken (DateTimeOriginal, else the first IFD's
    // DateTime), as "YYYY-MM-DDTHH:MM:SS".
    std::optional<std::string> dateTime;
    std::optional<ExifFraction> exposureTime;  // seconds, never 0
    std::optional<ExifFraction> fNumber;       // never 0
    std::optional<uint32_t> iso;               // never 0
    std::optional<ExifFraction> focalLength;   // millimetres, never 0
    std::optional<uint32_t> focalLength35mm;   // millimetres, never 0 (0 means unknown)
    std::optional<double> exposureBias;        // EV
    std::optional<uint16_t> flash;             // the Exif bits: bit 0 set when it fired
    std::optional<uint16_t> orientation;       // 1 to 8
    std::optional<bool> manualWhiteBalance;    // false for auto

    // True when no fact was found: the file has no Exif metadata.
    bool Empty() const;
};

// Bytes of the preview searched for its Exif segment: room for SOI, an APP0
// and the APP1, each of the largest size a segment can have.
inline constexpr size_t kExifSearchBytes = 2 + 3 * (2 + 65535);

// The facts of one APP1 payload, which starts with "Exif\0\0"; count is
// capped at 65,533 bytes, the most a segment holds.
ExifMetadata ExifOfBlock(const uint8_t* block, size_t count);

// The facts of the first Exif segment among the first count bytes of a
// JPEG, found by walking its segments up to the start of the scan.
ExifMetadata ExifOfJpeg(const uint8_t* jpeg, size_t count);

// The facts of the preview of a file whose first count bytes are at bytes
// (the whole file, or only its start), header having been parsed from them:
// none when the file is no RAF, or its preview lies outside the file.
ExifMetadata ExifOfFileBytes(const uint8_t* bytes, size_t count, const FileHeader& header);

// The same from an open stream of the size the header gives (platform::ReadAt:
// the stream's position stays). A read that fails is a failure; what the
// bytes hold never is.
Status ReadExif(std::FILE* stream, const FileHeader& header, ExifMetadata& metadata);

// The header of the regular file at path (ReadFileHeader) and the Exif of
// its preview, from one opening of the file.
Status ReadHeaderAndExif(const char* path, FileHeader& header, ExifMetadata& metadata);
