#include "tools/RafContainer.h"

#include "raw/RafHeader.h"

#ifdef DIAGRAW_HAVE_LIBEXIF
#include <libexif/exif-data.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <memory>
#include <new>
#include <string>

namespace
{

constexpr uint32_t kPreviewOffset = 160;  // after the 108-byte header, rounded up
constexpr uint32_t kRawHeaderBytes = 32;

void PutBigEndian32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void PutText(std::vector<uint8_t>& bytes, size_t at, const std::string& text)
{
    std::memcpy(bytes.data() + at, text.data(), text.size());
}

#ifdef DIAGRAW_HAVE_LIBEXIF

struct ExifReleaser
{
    void operator()(ExifData* data) const { exif_data_unref(data); }
    void operator()(ExifMem* mem) const { exif_mem_unref(mem); }
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

// A new entry of tag in ifd, of count values of format, its bytes zero
// until the caller sets them.
unsigned char* AddEntry(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned long count)
{
    const std::unique_ptr<ExifMem, ExifReleaser> mem(exif_mem_new_default());
    ExifEntry* entry = mem ? exif_entry_new_mem(mem.get()) : nullptr;
    const auto bytes = static_cast<unsigned int>(exif_format_get_size(format) * count);
    void* values = entry ? exif_mem_alloc(mem.get(), bytes) : nullptr;
    if (values == nullptr)
    {
        if (entry != nullptr)
            exif_entry_unref(entry);
        throw std::bad_alloc();
    }
    entry->tag = tag;
    entry->format = format;
    entry->components = count;
    entry->data = static_cast<unsigned char*>(values);
    entry->size = bytes;
    exif_content_add_entry(data->ifd[ifd], entry);
    exif_entry_unref(entry);  // the IFD holds it now
    return static_cast<unsigned char*>(values);
}

void AddText(ExifData* data, ExifIfd ifd, ExifTag tag, const char* text)
{
    const size_t length = std::strlen(text) + 1;  // with its NUL
    std::memcpy(AddEntry(data, ifd, tag, EXIF_FORMAT_ASCII, length), text, length);
}

void AddShort(ExifData* data, ExifIfd ifd, ExifTag tag, uint16_t value)
{
    exif_set_short(AddEntry(data, ifd, tag, EXIF_FORMAT_SHORT, 1), exif_data_get_byte_order(data), value);
}

void AddFraction(ExifData* data, ExifTag tag, uint32_t numerator, uint32_t denominator)
{
    exif_set_rational(AddEntry(data, EXIF_IFD_EXIF, tag, EXIF_FORMAT_RATIONAL, 1), exif_data_get_byte_order(data),
                      {numerator, denominator});
}

// The APP1 segment of the synth's Exif block (the values of RafContainer.h).
std::vector<uint8_t> SynthExifSegment(const ExifShot& shot)
{
    const std::unique_ptr<ExifData, ExifReleaser> data(exif_data_new());
    if (!data)
        throw std::bad_alloc();
    ExifData* exif = data.get();
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(exif, EXIF_BYTE_ORDER_INTEL);
    constexpr const char* kShot = "2011:11:05 10:30:00";
    AddText(exif, EXIF_IFD_0, EXIF_TAG_MAKE, "FUJIFILM");
    AddText(exif, EXIF_IFD_0, EXIF_TAG_MODEL, "X10");
    AddShort(exif, EXIF_IFD_0, EXIF_TAG_ORIENTATION, 1);
    AddText(exif, EXIF_IFD_0, EXIF_TAG_SOFTWARE, "diagraw-synth");
    AddText(exif, EXIF_IFD_0, EXIF_TAG_DATE_TIME, kShot);
    AddText(exif, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, kShot);
    AddFraction(exif, EXIF_TAG_EXPOSURE_TIME, shot.exposureNumerator, shot.exposureDenominator);
    AddFraction(exif, EXIF_TAG_FNUMBER, 28, 10);
    AddShort(exif, EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, shot.iso);
    exif_set_srational(AddEntry(exif, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_BIAS_VALUE, EXIF_FORMAT_SRATIONAL, 1),
                       EXIF_BYTE_ORDER_INTEL, {-2, 3});
    AddShort(exif, EXIF_IFD_EXIF, EXIF_TAG_FLASH, 0x10);
    AddFraction(exif, EXIF_TAG_FOCAL_LENGTH, 71, 10);
    AddShort(exif, EXIF_IFD_EXIF, EXIF_TAG_WHITE_BALANCE, 0);
    AddShort(exif, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 28);
    unsigned char* saved = nullptr;
    unsigned int savedBytes = 0;
    exif_data_save_data(exif, &saved, &savedBytes);  // "Exif\0\0" and the TIFF structure
    const std::unique_ptr<unsigned char, ExifReleaser> block(saved);
    if (!block || savedBytes == 0 || savedBytes > 65533)
        throw std::bad_alloc();
    const size_t length = size_t{savedBytes} + 2;
    std::vector<uint8_t> segment = {0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    segment.insert(segment.end(), saved, saved + savedBytes);
    return segment;
}

#endif

}  // namespace

ExifShot ExifShotFor(double seconds, uint16_t iso)
{
    constexpr double kLargestFraction = 4294967295.0;
    const double clamped = seconds >= kShortestExposureSeconds ? std::min(seconds, kLongestExposureSeconds)
                                                               : kShortestExposureSeconds;  // NaN too
    ExifShot shot;
    shot.iso = iso;
    const double reciprocal = std::round(1 / clamped);
    if (reciprocal >= 1 && reciprocal <= kLargestFraction && std::abs(reciprocal * clamped - 1) <= 1e-12)
    {
        shot.exposureNumerator = 1;
        shot.exposureDenominator = static_cast<uint32_t>(reciprocal);
        return shot;
    }
    uint64_t denominator = 1'000'000'000;
    while (denominator > 1 && std::round(clamped * static_cast<double>(denominator)) > kLargestFraction)
        denominator /= 10;
    const auto numerator = static_cast<uint64_t>(std::round(clamped * static_cast<double>(denominator)));
    const uint64_t common = std::gcd(numerator, denominator);
    shot.exposureNumerator = static_cast<uint32_t>(numerator / common);
    shot.exposureDenominator = static_cast<uint32_t>(denominator / common);
    return shot;
}

std::vector<uint8_t> SynthPreviewJpegFor([[maybe_unused]] const ExifShot& shot)
{
    std::vector<uint8_t> jpeg = SmallGreyJpeg();
#ifdef DIAGRAW_HAVE_LIBEXIF
    const std::vector<uint8_t> segment = SynthExifSegment(shot);
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());  // right after the SOI
#endif
    return jpeg;
}

const std::vector<uint8_t>& SynthPreviewJpeg()
{
    static const std::vector<uint8_t> kPreview = SynthPreviewJpegFor(ExifShot());
    return kPreview;
}

const std::vector<uint8_t>& SmallGreyJpeg()
{
    // Written by hand, segment by segment. One 8 x 8 block of one component:
    // its DC difference is 0, which after the level shift of 128 makes every
    // pixel 128, and no AC coefficient follows. Each Huffman table holds one
    // code, "0", of length 1: symbol 0 (DC category 0) and symbol 0 (AC end
    // of block). So the scan is the bits 0 0, padded with ones: 0x3F.
    static const std::vector<uint8_t> kJpeg = {
        0xFF, 0xD8,                    // SOI
        0xFF, 0xDB, 0x00, 0x43, 0x00,  // DQT, 8-bit table 0 of 64 ones:
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08,  // SOF0: 8 bits, 8 rows, 8 columns
        0x01, 0x01, 0x11, 0x00,                                // one component: id 1, 1 x 1, table 0
        0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // DHT DC 0
        0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // DHT AC 0
        0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,  // SOS: component 1, tables 0/0, 0-63
        0x3F,                                                        // the scan
        0xFF, 0xD9};                                                 // EOI
    return kJpeg;
}

std::vector<uint8_t> RafPrefixFor(int64_t tailBytes, const ExifShot& shot)
{
    const std::vector<uint8_t> jpeg = shot == ExifShot() ? SynthPreviewJpeg() : SynthPreviewJpegFor(shot);
    const auto jpegBytes = static_cast<uint32_t>(jpeg.size());
    const uint32_t rawHeaderOffset = kPreviewOffset + jpegBytes;
    const uint32_t rawBlockOffset = rawHeaderOffset + kRawHeaderBytes;
    std::vector<uint8_t> prefix(rawBlockOffset, 0);
    PutText(prefix, 0, kRafMagic);
    PutText(prefix, 16, "0201");      // format version
    PutText(prefix, 20, "DIAGRAW0");  // camera ID
    PutText(prefix, 28, "X10");       // camera model, NUL-terminated by the zeros after it
    PutText(prefix, 60, "0100");      // directory version
    PutBigEndian32(prefix, 84, kPreviewOffset);
    PutBigEndian32(prefix, 88, jpegBytes);
    PutBigEndian32(prefix, 92, rawHeaderOffset);
    PutBigEndian32(prefix, 96, kRawHeaderBytes);
    PutBigEndian32(prefix, 100, rawBlockOffset);
    PutBigEndian32(prefix, 104, static_cast<uint32_t>(tailBytes));
    std::memcpy(prefix.data() + kPreviewOffset, jpeg.data(), jpeg.size());
    return prefix;
}
