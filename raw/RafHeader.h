// What a file says it is: its signature, and for a RAF the fields of its
// header, each offset and length checked against the file's size.
//
// The conversion never reads any of this (it takes the fixed tail of the
// file, raw/RawX10.h); the header serves diagraw's warning, diagraw-probe
// info and the preview export. A RAF header is big-endian:
//   bytes  0-15  the magic "FUJIFILMCCD-RAW " (with the trailing space)
//   bytes 16-19  format version, 4 ASCII characters
//   bytes 20-27  camera ID, 8 ASCII characters
//   bytes 28-59  camera model, NUL-terminated
//   bytes 60-63  directory version, 4 ASCII characters
//   bytes 64-83  unused
//   bytes 84-107 six 32-bit fields: offset and length of the embedded JPEG,
//                of the raw header and of the raw block
// Nothing beyond the file's size is ever read, whatever the header holds.
// Failures: the readers return a Status (platform/Status.h); a file that is
// not a RAF, or a RAF whose fields are impossible, is no failure.
#pragma once

#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The first bytes of every RAF file, without a terminating NUL in the file.
inline constexpr char kRafMagic[] = "FUJIFILMCCD-RAW ";

enum class FileSignature : uint8_t { Raf, Jpeg, Tiff, Png, Unknown };

// "RAF", "JPEG", "TIFF", "PNG" or "unknown".
const char* NameOfSignature(FileSignature signature);

// Where a part of the file lies, by its header.
enum class SectionPlace : uint8_t
{
    Absent,   // length 0
    Inside,   // offset + length <= the file's size
    PastEnd,  // offset + length > the file's size (summed in 64 bits, so no wrap hides it)
};

struct RafSection
{
    uint32_t offset = 0;
    uint32_t length = 0;
    SectionPlace place = SectionPlace::Absent;
    int64_t End() const { return int64_t{offset} + length; }
};

struct FileHeader
{
    int64_t size = 0;  // bytes in the file
    FileSignature signature = FileSignature::Unknown;
    // For a RAF: whether the file is long enough to hold the fields below
    // (kRafHeaderBytes); the fields are empty or zero otherwise.
    bool rafFieldsComplete = false;
    std::string formatVersion;     // the bytes as they are, 4
    std::string cameraId;          // 8
    std::string cameraModel;       // up to the first NUL, at most 32
    std::string directoryVersion;  // 4
    RafSection preview;            // the embedded JPEG
    RafSection rawHeader;
    RafSection rawBlock;
    // The tail that diagraw reads (the last 18,937,856 bytes) lies inside
    // the raw block; false when either lies outside the file.
    bool tailInRawBlock = false;
};

// Bytes of a RAF header up to the end of its six offset and length fields.
inline constexpr size_t kRafHeaderBytes = 108;

// The model name of the camera diagraw reads.
inline constexpr const char* kX10Model = "X10";

// The header of the first count bytes of a file of fileSize bytes (count is
// at most fileSize and may be less than kRafHeaderBytes).
FileHeader ParseFileHeader(const uint8_t* bytes, size_t count, int64_t fileSize);

// Why a file of this header is probably not what diagraw reads, or an empty
// text: a RAF of a camera model other than the X10, or a JPEG, TIFF or PNG
// file. A file without a signature it knows (a bare tail) passes.
std::string InputWarningOf(const FileHeader& header);

// A header text for a message or a report: printable ASCII as it is, a
// backslash as "\\" and every other byte as "\xHH".
std::string PrintableHeaderText(const std::string& text);

// Reads the first bytes of an open stream of size bytes (platform::ReadAt:
// the stream's own position stays) and parses them.
Status ReadFileHeader(std::FILE* stream, int64_t size, FileHeader& header);

// The same for the regular file at path, which it opens and closes itself.
Status ReadFileHeader(const char* path, FileHeader& header);

// Opens the regular file at path (platform::OpenInput) and reads its header,
// handing the open stream on to read more of the file; on failure the
// stream is closed.
struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
Status OpenWithHeader(const char* path, std::unique_ptr<std::FILE, FileCloser>& stream, FileHeader& header);
