// The report of `diagraw-probe info` on any first bytes of a file of any
// size: the table holds no control byte and the JSON object parses, all of
// it ASCII.
#include "FuzzSupport.h"

#include "probe/FileInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FileHeader header = HeaderOfInput(data, size);
    const std::string table = InfoTable("FILE.raf", header);
    Require(!HoldsControlByte(table), "the table holds no control byte");
    Require(table.find("  " + std::to_string(header.size) + " bytes\n") != std::string::npos,
            "the table gives the file's size");
    const std::string json = InfoJson(header);
    Require(IsAsciiJsonLine(json), "the JSON parses and is ASCII");
    Require(json.rfind("{\"size\": " + std::to_string(header.size) + ", ", 0) == 0, "the JSON gives the size first");
    return 0;
}
