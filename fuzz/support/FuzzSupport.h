// What the fuzz targets share: a failed property ends the run with abort(),
// which libFuzzer (and the replay program) reports with the input; the
// input read as arguments or as the start of a file; a check of JSON text.
#pragma once

#include "raw/RafHeader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

void Require(bool holds, const char* property);

// The input cut at its NUL bytes into at most 12 arguments, after argv[0];
// argv points into arguments.
struct Arguments
{
    std::vector<std::string> arguments;
    std::vector<const char*> argv;
    int Count() const { return static_cast<int>(argv.size()); }
};
Arguments ArgumentsOf(const uint8_t* data, size_t size, const char* program);

// The input as the first bytes of a file, whose size is the input's size
// plus the value of its last three bytes (so that the sections of a header
// can lie inside the file).
FileHeader HeaderOfInput(const uint8_t* data, size_t size);

// Whether text is one JSON value and a newline, all of it ASCII.
bool IsAsciiJsonLine(const std::string& text);

// Whether text holds a byte below 0x20 other than the newline, or 0x7F.
bool HoldsControlByte(const std::string& text);
