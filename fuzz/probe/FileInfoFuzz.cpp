// The report of `diagraw-probe info` on any first bytes of a file of any
// size, with the Exif of the preview where the input holds it: the table
// holds no control byte and the JSON object parses, all of it ASCII.
#include "FuzzSupport.h"

#include "metadata/ExifMetadata.h"
#include "probe/FileInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FileHeader header = HeaderOfInput(data, size);
    const ExifMetadata exif = ExifOfFileBytes(data, size, header);
    const std::string table = InfoTable("FILE.raf", header, exif);
    Require(!HoldsControlByte(table), "the table holds no control byte");
    Require(table.find("  " + std::to_string(header.size) + " bytes\n") != std::string::npos,
            "the table gives the file's size");
    const std::string json = InfoJson(header, exif);
    Require(IsAsciiJsonLine(json), "the JSON parses and is ASCII");
    Require(IsAsciiJsonLine(ExifJson(exif)), "the Exif JSON parses and is ASCII");
    Require(exif.Empty() == (json.find("\"exif\": {") == std::string::npos), "an exif key exactly with Exif");
    Require(json.rfind("{\"size\": " + std::to_string(header.size) + ", ", 0) == 0, "the JSON gives the size first");
    return 0;
}
