// A RAF-like container around a raw tail, for the tests of everything that
// reads a file's header (raw/RafHeader.h): the RAF magic, camera model
// "X10", a small valid JPEG with an Exif block as the embedded preview, a
// short raw header of zeros, and a raw block that is exactly the tail, at
// the end of the file.
#pragma once

#include <cstdint>
#include <vector>

// The embedded preview: an 8 x 8 baseline JPEG of one grey (128).
const std::vector<uint8_t>& SmallGreyJpeg();

// The preview of the container: SmallGreyJpeg with an APP1 segment after
// its SOI, holding an Exif block written with libexif, little-endian, of
// these fixed values (docs/diagraw-synth.md lists them too):
//   first IFD:  Make "FUJIFILM", Model "X10", Orientation 1, Software
//               "diagraw-synth", DateTime "2011:11:05 10:30:00"
//   Exif IFD:   DateTimeOriginal "2011:11:05 10:30:00", ExposureTime 1/250,
//               FNumber 28/10, ISOSpeedRatings 200, ExposureBiasValue -2/3,
//               Flash 16 (off, did not fire), FocalLength 71/10,
//               WhiteBalance 0 (auto), FocalLengthIn35mmFilm 28
// Built without libexif it is SmallGreyJpeg as it is.
const std::vector<uint8_t>& SynthPreviewJpeg();

// The bytes that go before tail (the 18,937,856 bytes diagraw reads) to
// make the whole RAF file; the header's fields describe that file.
std::vector<uint8_t> RafPrefixFor(int64_t tailBytes);
