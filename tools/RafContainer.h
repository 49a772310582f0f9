// A RAF-like container around a raw tail, for the tests of everything that
// reads a file's header (raw/RafHeader.h): the RAF magic, camera model
// "X10", a small valid JPEG as the embedded preview, a short raw header of
// zeros, and a raw block that is exactly the tail, at the end of the file.
#pragma once

#include <cstdint>
#include <vector>

// The embedded preview: an 8 x 8 baseline JPEG of one grey (128).
const std::vector<uint8_t>& SmallGreyJpeg();

// The bytes that go before tail (the 18,937,856 bytes diagraw reads) to
// make the whole RAF file; the header's fields describe that file.
std::vector<uint8_t> RafPrefixFor(int64_t tailBytes);
