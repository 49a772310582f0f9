// Why an input could not be loaded, in the words of diagraw's messages.
//
// The reason is DescribeStatus's text (platform/Status.h); for a file that is
// too short it also gives the file's size and the size needed, with
// thousands separators: "file too short: 100 bytes, at least 18,937,856
// needed". Every program's message and the Python module's exceptions use
// it, so that they all say the same.
#pragma once

#include "platform/Status.h"

#include <cstdint>
#include <string>

class CRawX10;

// raw is the object whose Load or LoadFields returned status (not kStatusOk).
std::string DescribeInputFailure(const CRawX10& raw, Status status);

// The same for a caller that kept only the size of the file (fileSize, which
// counts for kStatusInputTooShort alone).
std::string DescribeInputFailure(Status status, int64_t fileSize);
