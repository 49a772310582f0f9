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

// What the Exif block says of the shot beyond its fixed values: the
// exposure time in seconds as a fraction, and the ISO speed. The defaults
// are those of the chart's file.
struct ExifShot
{
    uint32_t exposureNumerator = 1;
    uint32_t exposureDenominator = 250;
    uint16_t iso = 200;

    bool operator==(const ExifShot&) const = default;
};

// The shortest and the longest exposure that ExifShotFor takes.
inline constexpr double kShortestExposureSeconds = 1e-6;
inline constexpr double kLongestExposureSeconds = 1e5;

// The shot of an exposure of seconds at iso: the exposure as 1/N where
// seconds is the reciprocal of a whole number N (to 1 part in 10^12), else
// as round(seconds * 10^k) / 10^k reduced to lowest terms, k the largest up
// to 9 whose numerator fits 32 bits (so within 5 * 10^-10 s below 4 s, and
// a whole number of seconds as N/1). Seconds outside kShortestExposureSeconds
// to kLongestExposureSeconds are taken as the nearer of the two.
ExifShot ExifShotFor(double seconds, uint16_t iso);

// The preview of the container: SmallGreyJpeg with an APP1 segment after
// its SOI, holding an Exif block written with libexif, little-endian, of
// these values (docs/diagraw-synth.md lists them too):
//   first IFD:  Make "FUJIFILM", Model "X10", Orientation 1, Software
//               "diagraw-synth", DateTime "2011:11:05 10:30:00"
//   Exif IFD:   DateTimeOriginal "2011:11:05 10:30:00", ExposureTime and
//               ISOSpeedRatings of the shot (1/250 and 200 by default),
//               FNumber 28/10, ExposureBiasValue -2/3, Flash 16 (off, did
//               not fire), FocalLength 71/10, WhiteBalance 0 (auto),
//               FocalLengthIn35mmFilm 28
// Built without libexif it is SmallGreyJpeg as it is.
const std::vector<uint8_t>& SynthPreviewJpeg();
std::vector<uint8_t> SynthPreviewJpegFor(const ExifShot& shot);

// The bytes that go before tail (the 18,937,856 bytes diagraw reads) to
// make the whole RAF file; the header's fields describe that file, the
// preview's Exif block the shot.
std::vector<uint8_t> RafPrefixFor(int64_t tailBytes, const ExifShot& shot = ExifShot());
